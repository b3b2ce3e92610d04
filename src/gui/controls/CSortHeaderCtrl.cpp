#include "controls/CSortHeaderCtrl.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>

namespace tarvo::gui {

namespace {

// A line from (x1, y1) towards (x2, y2), leaving out the end point like a move-to/line-to pair.
void segment(QPainter* painter, int x1, int y1, int x2, int y2) {
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int error = dx + dy;
    int x = x1;
    int y = y1;
    // Bounded by the line's length; the end point itself is not drawn.
    for (int steps = 0; steps <= dx - dy && !(x == x2 && y == y2); ++steps) {
        painter->drawPoint(x, y);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
}

}  // namespace

CSortHeaderCtrl::CSortHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CSortHeaderCtrl::SetSortArrow(int column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
    if (column >= 0) ownerDrawn_.insert(column);
    viewport()->update();
}

void CSortHeaderCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = logicalIndexAt(event->position().toPoint());
    viewport()->update();
    QHeaderView::mousePressEvent(event);
}

void CSortHeaderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    pressed_ = -1;
    viewport()->update();
    QHeaderView::mouseReleaseEvent(event);
}

void CSortHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!ownerDrawn_.contains(logicalIndex)) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    DrawItem(painter, rect, logicalIndex);
}

void CSortHeaderCtrl::DrawItem(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    painter->setClipRect(rect);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(rect, palette().button());
    // The divider the style draws between its sections, so owner-drawn items sit in line.
    painter->setPen(palette().mid().color());
    painter->drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());

    const QString label =
        model() != nullptr ? model()->headerData(logicalIndex, orientation()).toString().left(255)
                           : QString();
    const QVariant alignValue =
        model() != nullptr ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole)
                           : QVariant();
    const auto align =
        alignValue.isValid() ? Qt::Alignment(alignValue.toInt()) : defaultAlignment();
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (align & Qt::AlignHCenter) {
        horizontal = Qt::AlignHCenter;
    } else if (align & Qt::AlignRight) {
        horizontal = Qt::AlignRight;
    }

    // Rectangle edges as exclusive right/bottom, the way the arrow coordinates are given.
    int left = rect.left();
    int top = rect.top();
    int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();
    if (pressed_ == logicalIndex) {
        left += 1;
        top += 2;
        right += 1;
    }
    const int o = (bottom - rect.top()) / 4;
    const bool sorted = logicalIndex == sortColumn_;
    if (sorted) right -= 3 * o;
    left += o;
    right -= o;
    if (left < right) {
        painter->setPen(palette().buttonText().color());
        painter->setFont(font());
        const QRect labelRect(left, top, right - left, bottom - top);
        const QString shown = fontMetrics().elidedText(label, Qt::ElideRight, labelRect.width());
        painter->drawText(
            labelRect, static_cast<int>(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), shown);
    }

    if (sorted) {
        const int R = rect.left() + rect.width();
        const int B = bottom;
        const QPen highlight(palette().light().color(), 1);
        const QPen shadow(palette().dark().color(), 1);
        if (ascending_) {
            painter->setPen(highlight);
            segment(painter, R - 2 * o, o, R - o, B - o - 1);
            segment(painter, R - o, B - o - 1, R - 3 * o - 2, B - o - 1);
            painter->setPen(shadow);
            segment(painter, R - 3 * o - 1, B - o - 1, R - 2 * o, o - 1);
        } else {
            painter->setPen(highlight);
            segment(painter, R - o - 1, o, R - 2 * o - 1, B - o);
            painter->setPen(shadow);
            segment(painter, R - 2 * o - 2, B - o, R - 3 * o - 1, o);
            segment(painter, R - 3 * o - 1, o, R - o - 1, o);
        }
    }
    painter->restore();
}

}  // namespace tarvo::gui

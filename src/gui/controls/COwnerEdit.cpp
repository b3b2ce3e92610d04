#include "controls/COwnerEdit.h"

#include <QPaintEvent>
#include <QPainter>

#include "controls/CMemDC.h"

namespace tarvo::gui {

const QColor COwnerEdit::kHoverColour(187, 200, 143);

COwnerEdit::COwnerEdit(QWidget* parent) : COwnerEdit(QString(), parent) {}

COwnerEdit::COwnerEdit(const QString& contents, QWidget* parent) : CTrackControl(contents, parent) {
    // The style draws no frame; the border below takes its place and the text keeps clear of it.
    setFrame(false);
    setTextMargins(kBorder, kBorder, kBorder, kBorder);
}

void COwnerEdit::HoverEntered() {
    update();
}

void COwnerEdit::HoverLeft() {
    update();
}

void COwnerEdit::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    QPainter target(this);
    CMemDC dc(target, event->rect());
    drawBorder(dc.painter());
}

void COwnerEdit::drawBorder(QPainter& painter) const {
    const QRect outer = rect();
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    QColor outerColour;
    QColor innerColour;
    if (isHovered()) {
        outerColour = Qt::black;
        innerColour = kHoverColour;
    } else {
        // Flat sunken edge: button shadow outside, button face inside.
        outerColour = palette().color(QPalette::Dark);
        innerColour = palette().color(QPalette::Button);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(outerColour, 0));
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(innerColour, 0));
    if (inner.isValid()) painter.drawRect(inner.adjusted(0, 0, -1, -1));
    painter.restore();
}

}  // namespace tarvo::gui

#include "controls/CXPButton.h"

#include <QBitmap>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QResizeEvent>

#include <algorithm>

#include "controls/CMemDC.h"

namespace tarvo::gui {

const QColor CXPButton::kOutlineColour(55, 98, 6);
const CXPButton::FramePens CXPButton::kHoverPens = {{{QColor(159, 175, 127), 3},
                                                     {QColor(160, 180, 130), 3},
                                                     {QColor(161, 190, 143), 2},
                                                     {QColor(140, 155, 0), 2}}};
const CXPButton::FramePens CXPButton::kFocusPens = {{{QColor(153, 198, 252), 3},
                                                     {QColor(162, 189, 252), 3},
                                                     {QColor(162, 201, 255), 2},
                                                     {QColor(162, 201, 255), 2}}};

namespace {

// The rounded outline of a w × h button: its pixels, and with the inside, the window's shape.
QPainterPath roundedOutline(int w, int h) {
    QPainterPath path;
    const qreal r = CXPButton::kCornerEllipse / 2.0;
    path.addRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), r, r);
    return path;
}

// A line of a wide pen, flat-ended, from (x0, y0) towards (x1, y1) without the end point; the
// pen's width is spread across the line, the odd pixel before it.
void wideLine(QPainter& dc, const CXPButton::FramePen& pen, int x0, int y0, int x1, int y1) {
    const int before = pen.width / 2;
    if (x0 == x1) {
        const int top = std::min(y0, y1 + 1);
        const int bottom = std::max(y0 + 1, y1);  // one past the last pixel
        if (bottom > top) dc.fillRect(x0 - before, top, pen.width, bottom - top, pen.colour);
    } else {
        const int left = std::min(x0, x1 + 1);
        const int right = std::max(x0 + 1, x1);
        if (right > left) dc.fillRect(left, y0 - before, right - left, pen.width, pen.colour);
    }
}

// The system focus rectangle: every other pixel of the one-pixel border inverted, the pattern
// fixed to the widget so that it does not crawl.
void focusRectangle(QPainter& dc, const EdgeRect& r) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    dc.save();
    dc.setCompositionMode(QPainter::RasterOp_NotDestination);
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0) dc.fillRect(x, y, 1, 1, Qt::black);
    };
    for (int x = r.left; x < r.right; ++x) {
        dot(x, r.top);
        if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        dot(r.left, y);
        if (r.right - 1 > r.left) dot(r.right - 1, y);
    }
    dc.restore();
}

}  // namespace

CXPButton::CXPButton(QWidget* parent) : QPushButton(parent) {
    init();
}

CXPButton::CXPButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    init();
}

void CXPButton::init() {
    setMouseTracking(true);
    // Every pixel inside the mask is painted: no background erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverTimeMs);
    connect(&hoverTimer_, &QTimer::timeout, this, [this] {
        if (tracking_ == 0 || !isEnabled()) return;
        hover_ = 1;
        update();
    });
    updateMask();
}

QColor CXPButton::gradientColour(int i, bool hover, bool emphasis) {
    const int redGreen = hover ? 255 - i / 4 : 255 - i / 3;
    int blue = 255 - i / 5;
    if (emphasis) blue = hover ? 255 - i / 3 : 255 - i / 4;
    return {redGreen, redGreen, blue};
}

bool CXPButton::event(QEvent* e) {
    switch (e->type()) {
        case QEvent::MouseMove:
            // The hover look waits for the mouse to rest; a pass across does not light it. Qt
            // shows a disabled widget its mouse moves too: a disabled button takes no hover.
            if (tracking_ == 0 && isEnabled()) {
                tracking_ = 1;
                hoverTimer_.start();
            }
            break;
        case QEvent::EnabledChange:
            if (isEnabled()) break;
            [[fallthrough]];  // disabled under the mouse: the hover look goes at once
        case QEvent::Leave:
            if (tracking_ == 0 && hover_ == 0) break;
            hoverTimer_.stop();
            hover_ = 0;
            tracking_ = 0;
            update();
            break;
        default:
            break;
    }
    return QPushButton::event(e);
}

void CXPButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    updateMask();
}

void CXPButton::updateMask() {
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        clearMask();
        return;
    }
    QBitmap shape(w, h);
    shape.fill(Qt::color0);
    QPainter p(&shape);
    p.setPen(Qt::color1);
    p.setBrush(Qt::color1);
    p.drawPath(roundedOutline(w, h));
    p.end();
    setMask(shape);
}

void CXPButton::paintEvent(QPaintEvent* event) {
    QPainter target(this);
    CMemDC dc(target, event->rect());
    drawItem(dc.painter());
}

void CXPButton::drawItem(QPainter& dc) {
    EdgeRect r{0, 0, width(), height()};
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);

    // Outline; the inside takes the drawing context's default white brush.
    dc.setPen(QPen(kOutlineColour, 1));
    dc.setBrush(Qt::white);
    dc.drawPath(roundedOutline(r.right, r.bottom));

    focus_ = hasFocus() ? 1 : 0;
    emphasis_ = (hasFocus() || isDown() || isDefault()) ? 1 : 0;

    r.left += kEdge;
    r.right -= kEdge;
    r.top += kEdge;
    r.bottom -= kEdge;
    FillGradient(dc, r);
    if (hover_ != 0 || focus_ != 0) DrawInnerFrame(dc, r);

    // Centred on the shrunk rectangle, each half truncated like the integers it is made of.
    const QFontMetrics metrics(font());
    const int flags = Qt::TextShowMnemonic | Qt::TextSingleLine | Qt::AlignLeft | Qt::AlignTop;
    const QString label = text();
    const QSize size = metrics.size(flags, label);
    int x = (r.left + r.right) / 2 - size.width() / 2;
    int y = (r.top + r.bottom) / 2 - size.height() / 2;
    if (isDown()) {
        ++x;
        ++y;
    }
    dc.setFont(font());
    dc.setBackgroundMode(Qt::TransparentMode);
    const QRect at(x, y, size.width(), size.height());
    if (isEnabled()) {
        dc.setPen(palette().color(QPalette::ButtonText));
        dc.drawText(at, flags, label);
    } else {
        // Embossed: a highlight copy one pixel down and right under a shadow-coloured one.
        dc.setPen(palette().color(QPalette::Light));
        dc.drawText(at.translated(1, 1), flags, label);
        dc.setPen(palette().color(QPalette::Dark));
        dc.drawText(at, flags, label);
    }
    dc.restore();
}

void CXPButton::FillGradient(QPainter& dc, const EdgeRect& rect) {
    const int height = rect.bottom - rect.top;
    if (height <= 0) return;
    std::array<QColor, kBrushes> brushes;
    for (int i = 0; i < kBrushes; ++i)
        brushes[static_cast<std::size_t>(i)] = gradientColour(i, hover_ != 0, emphasis_ != 0);
    // height + 1 rows: the bottom row takes the last brush.
    for (int y = rect.top; y <= rect.bottom; ++y) {
        const int brush = (y - rect.top) * (kBrushes - 1) / height;
        dc.fillRect(rect.left, y, rect.right - rect.left, 1,
                    brushes[static_cast<std::size_t>(brush)]);
    }
}

void CXPButton::DrawInnerFrame(QPainter& dc, const EdgeRect& rect) {
    const bool focusLook = focus_ != 0 && hover_ == 0;
    const FramePens& pens = focusLook ? kFocusPens : kHoverPens;
    wideLine(dc, pens[0], rect.left, rect.bottom - 1, rect.left, rect.top + 1);
    wideLine(dc, pens[1], rect.right - 1, rect.bottom - 1, rect.right - 1, rect.top);
    wideLine(dc, pens[2], rect.left - 1, rect.top, rect.right - 1, rect.top);
    wideLine(dc, pens[3], rect.left, rect.bottom, rect.right - 1, rect.bottom);
    if (focusLook) focusRectangle(dc, rect);
}

}  // namespace tarvo::gui

#include "wall/OverlayLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace tarvo::gui {

OverlayLabel::OverlayLabel(QColor background, QWidget* parent)
    : QLabel(parent), background_(background) {
    // The padding around the text (1 pixel above and below, 3 beside), counted in the size hints.
    setContentsMargins(3, 1, 3, 1);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void OverlayLabel::changeEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
        case QEvent::EnabledChange:
            stale_ = true;
            break;
        default:
            break;
    }
    QLabel::changeEvent(event);
}

void OverlayLabel::paintEvent(QPaintEvent* /*event*/) {
    const qreal ratio = devicePixelRatioF();
    if (stale_ || drawn_.isNull() || drawnSize_ != size() || drawnRatio_ != ratio ||
        drawnText_ != text()) {
        drawn_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        if (drawn_.isNull()) return;  // out of memory: no label this time
        drawn_.setDevicePixelRatio(ratio);
        drawn_.fill(background_);
        QPainter painter(&drawn_);
        painter.setFont(font());
        const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
        style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                              foregroundRole());
        drawnSize_ = size();
        drawnRatio_ = ratio;
        drawnText_ = text();
        stale_ = false;
    }
    QPainter(this).drawImage(0, 0, drawn_);
}

}  // namespace tarvo::gui

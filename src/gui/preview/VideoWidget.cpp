#include "preview/VideoWidget.h"

#include <QColor>
#include <QFontMetrics>
#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>

#include <utility>

namespace tarvo::gui {

VideoWidget::VideoWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("video"));
    // Every pixel is painted each time; nothing behind needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

QSize VideoWidget::pictureSize() const {
    std::lock_guard lock(mutex_);
    return target_;
}

void VideoWidget::present(QImage& picture) {
    {
        std::lock_guard lock(mutex_);
        std::swap(shown_, picture);
    }
    ++presented_;
    // One queued repaint at a time; it paints whatever picture is newest when it runs. Pending
    // calls to a widget that is gone are dropped by Qt. A named slot rather than a lambda: the
    // call then carries no state made on this thread that the window's thread would read.
    if (!repaintPending_.exchange(true))
        QMetaObject::invokeMethod(this, "repaintPicture", Qt::QueuedConnection);
}

void VideoWidget::repaintPicture() {
    repaintPending_ = false;
    update();
}

QImage VideoWidget::currentPicture() const {
    std::lock_guard lock(mutex_);
    return shown_.copy();
}

void VideoWidget::setNotice(const QString& text) {
    if (text == notice_) return;
    notice_ = text;
    update();
}

void VideoWidget::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    {
        std::lock_guard lock(mutex_);
        if (shown_.isNull()) {
            painter.fillRect(rect(), Qt::black);
        } else if (shown_.size() == size()) {
            painter.drawImage(0, 0, shown_);
        } else {
            // Only while the window is being resized: the next picture comes at the new size.
            painter.drawImage(rect(), shown_);
        }
        if (paintObserver_) paintObserver_(shown_);
    }
    if (notice_.isEmpty()) return;
    // A band across the top, dark enough to read on any picture, leaving the rest in view.
    const QFontMetrics metrics(font());
    const int margin = metrics.height() / 2;
    const QRect band(0, 0, width(), metrics.height() + 2 * margin);
    painter.fillRect(band, QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    painter.drawText(band.adjusted(margin, 0, -margin, 0), Qt::AlignCenter | Qt::TextSingleLine,
                     metrics.elidedText(notice_, Qt::ElideRight, band.width() - 2 * margin));
}

void VideoWidget::resizeEvent(QResizeEvent* event) {
    {
        std::lock_guard lock(mutex_);
        target_ = event->size();
    }
    QWidget::resizeEvent(event);
}

}  // namespace tarvo::gui

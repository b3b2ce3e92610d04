#include "controls/CMemDC.h"

#include <QPaintDevice>

namespace tarvo::gui {

bool CMemDC::drawsDirectly(const QPaintDevice* device) {
    if (device == nullptr) return true;
    const int type = device->devType();
    return type == QInternal::Printer || type == QInternal::Picture;
}

CMemDC::CMemDC(QPainter& target, const QRect& area) : target_(target), rect_(area) {
    if (target.hasClipping()) rect_ &= target.clipBoundingRect().toAlignedRect();
    if (drawsDirectly(target.device()) || rect_.isEmpty()) return;

    const qreal ratio = target.device()->devicePixelRatioF();
    bitmap_ = QImage(rect_.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    bitmap_.setDevicePixelRatio(ratio);
    // Whatever the caller leaves unpainted shows what was on the target before.
    bitmap_.fill(Qt::transparent);
    memory_.emplace(&bitmap_);
    memory_->translate(-rect_.topLeft());
    memory_->setFont(target.font());
    memory_->setPen(target.pen());
    memory_->setBrush(target.brush());
    memory_->setLayoutDirection(target.layoutDirection());
}

CMemDC::~CMemDC() {
    if (!memory_) return;
    memory_->end();
    memory_.reset();
    target_.drawImage(rect_.topLeft(), bitmap_);
}

}  // namespace tarvo::gui

#include "preview/SwsImageRenderer.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include "preview/VideoWidget.h"

namespace tarvo::gui {

SwsImageRenderer::~SwsImageRenderer() {
    sws_freeContext(scaler_);
}

void SwsImageRenderer::initialise(void* window) {
    std::lock_guard lock(mutex_);
    view_ = static_cast<VideoWidget*>(window);
}

bool SwsImageRenderer::setUpSurface(int width, int height) {
    std::lock_guard lock(mutex_);
    ready_ = false;
    width_ = width;
    height_ = height;
    // A reply may claim any size; refuse what no window could show.
    if (view_ == nullptr || width < 2 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        sws_isSupportedInput(AV_PIX_FMT_YUYV422) == 0 ||
        sws_isSupportedOutput(AV_PIX_FMT_RGB32) == 0) {
        return false;
    }
    ready_ = true;
    return true;
}

void SwsImageRenderer::draw(const std::uint8_t* yuyv) {
    std::lock_guard lock(mutex_);
    if (!ready_ || yuyv == nullptr) return;
    const QSize target = view_->pictureSize();
    if (target.isEmpty()) return;
    if (next_.size() != target) next_ = QImage(target, QImage::Format_RGB32);
    if (next_.isNull()) return;  // out of memory: skip the picture
    // Bilinear keeps the picture sharp enough to focus by while a 4K picture shrinks to the
    // screen; the context is kept while the window keeps its size.
    // YUYV pairs pixels: of an odd width the last, unpaired column is left out, so that no row
    // is read past its width × 2 bytes.
    scaler_ = sws_getCachedContext(scaler_, width_ & ~1, height_, AV_PIX_FMT_YUYV422,
                                   target.width(), target.height(), AV_PIX_FMT_RGB32, SWS_BILINEAR,
                                   nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return;
    const std::uint8_t* const source[4] = {yuyv, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {width_ * 2, 0, 0, 0};
    std::uint8_t* const dest[4] = {next_.bits(), nullptr, nullptr, nullptr};
    const int destStride[4] = {static_cast<int>(next_.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler_, source, sourceStride, 0, height_, dest, destStride);
    view_->present(next_);
}

}  // namespace tarvo::gui

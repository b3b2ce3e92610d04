#include "preview/SwsImageRenderer.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>
#include <new>
#include <system_error>

#include "preview/VideoWidget.h"

namespace tarvo::gui {

SwsImageRenderer::~SwsImageRenderer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    sws_freeContext(scaler_);
}

void SwsImageRenderer::initialise(void* window) {
    std::lock_guard lock(mutex_);
    view_ = static_cast<VideoWidget*>(window);
}

bool SwsImageRenderer::setUpSurface(int width, int height) {
    std::lock_guard lock(mutex_);
    // Once per renderer: the conversion thread reads the size without the lock.
    if (ready_ || thread_.joinable()) return false;
    // A reply may claim any size; refuse what no window could show.
    if (view_ == nullptr || width < 2 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        sws_isSupportedInput(AV_PIX_FMT_YUYV422) == 0 ||
        sws_isSupportedOutput(AV_PIX_FMT_RGB32) == 0) {
        return false;
    }
    const std::size_t bytes =
        static_cast<std::size_t>(width) * 2 * static_cast<std::size_t>(height);
    try {
        handOver_.resize(bytes);
        working_.resize(bytes);
        width_ = width;
        height_ = height;
        thread_ = std::thread([this] { convertLoop(); });
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::system_error&) {
        return false;
    }
    ready_ = true;
    return true;
}

void SwsImageRenderer::draw(const std::uint8_t* yuyv) {
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || yuyv == nullptr) return;
        // The only work on the decode thread: one copy of the picture.
        std::memcpy(handOver_.data(), yuyv, handOver_.size());
        replaced_ += waiting_ ? 1 : 0;
        waiting_ = true;
        ++drawn_;
    }
    wake_.notify_one();
}

std::uint64_t SwsImageRenderer::drawn() const {
    std::lock_guard lock(mutex_);
    return drawn_;
}

std::uint64_t SwsImageRenderer::replaced() const {
    std::lock_guard lock(mutex_);
    return replaced_;
}

void SwsImageRenderer::convertLoop() {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return waiting_ || stopping_; });
            if (stopping_) return;
            handOver_.swap(working_);
            waiting_ = false;
        }
        convert(working_.data());
    }
}

void SwsImageRenderer::convert(const std::uint8_t* yuyv) {
    const QSize target = view_->pictureSize();
    if (target.isEmpty()) return;
    if (next_.size() != target) next_ = QImage(target, QImage::Format_RGB32);
    if (next_.isNull()) return;  // out of memory: skip the picture
    // YUYV pairs pixels: of an odd width the last, unpaired column is left out, so that no row
    // is read past its width × 2 bytes. Bilinear keeps the picture sharp enough to focus by
    // while a 4K picture shrinks to the screen; the context is kept while the size stays.
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

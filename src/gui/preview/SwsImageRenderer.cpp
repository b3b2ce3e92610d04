#include "preview/SwsImageRenderer.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>
#include <new>
#include <system_error>

#include "core/preview/YuyvScale.h"
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
    ready_ = false;
    // A reply may claim any size; refuse what no window could show.
    if (view_ == nullptr || width < 2 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        sws_isSupportedInput(AV_PIX_FMT_YUYV422) == 0 ||
        sws_isSupportedOutput(AV_PIX_FMT_RGB32) == 0) {
        return false;
    }
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { convertLoop(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    width_ = width;
    height_ = height;
    ready_ = true;
    return true;
}

void SwsImageRenderer::draw(const std::uint8_t* yuyv) {
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || yuyv == nullptr) return;
        const std::size_t bytes =
            static_cast<std::size_t>(width_) * 2 * static_cast<std::size_t>(height_);
        try {
            handOver_.resize(bytes);  // allocates only when the size changed
        } catch (const std::bad_alloc&) {
            return;
        }
        // The only work on the decode thread: one copy of the picture.
        std::memcpy(handOver_.data(), yuyv, bytes);
        handOverWidth_ = width_;
        handOverHeight_ = height_;
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
            workingWidth_ = handOverWidth_;
            workingHeight_ = handOverHeight_;
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
    // Bilinear keeps the picture sharp enough to focus by while a 4K picture shrinks to the
    // screen; the scaler is kept while the sizes stay.
    if (!preview::scaleYuyv(scaler_, scratch_, yuyv, workingWidth_, workingHeight_, next_.bits(),
                            static_cast<int>(next_.bytesPerLine()), target.width(), target.height(),
                            AV_PIX_FMT_RGB32, SWS_BILINEAR))
        return;
    view_->present(next_);
}

}  // namespace tarvo::gui

#include "preview/SwsImageRenderer.h"

extern "C" {
#include <libswscale/swscale.h>
}

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
}

SwsImageRenderer::Tuning SwsImageRenderer::tileTuning() {
    return {false, {true, SWS_BILINEAR}};
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
        sws_isSupportedOutput(AV_PIX_FMT_RGB32) == 0) {
        return false;
    }
    if (tuning_.ownThread && !thread_.joinable()) {
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

void SwsImageRenderer::draw(const preview::Picture& picture) {
    if (!tuning_.ownThread) {
        {
            std::lock_guard lock(mutex_);
            if (!ready_ || picture.empty() || picture.width() != width_ ||
                picture.height() != height_)
                return;
            ++drawn_;
        }
        // Only the decode thread draws, so the conversion needs no lock of its own.
        convert(picture);
        return;
    }
    // The only work on the decode thread: a reference to the decoder's picture.
    preview::Picture taken = picture;
    preview::Picture dropped;  // released outside the lock
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || taken.empty() || taken.width() != width_ || taken.height() != height_)
            return;
        replaced_ += handOver_.empty() ? 0 : 1;
        dropped = std::move(handOver_);
        handOver_ = std::move(taken);
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
            wake_.wait(lock, [this] { return !handOver_.empty() || stopping_; });
            if (stopping_) return;
            working_ = std::move(handOver_);
            handOver_ = preview::Picture();
        }
        convert(working_);
        // The decoder may have its frame back as soon as it is converted.
        working_ = preview::Picture();
    }
}

void SwsImageRenderer::convert(const preview::Picture& in) {
    if (scaler_.scale(in, view_->pictureSize(), next_)) view_->present(next_);
}

}  // namespace tarvo::gui

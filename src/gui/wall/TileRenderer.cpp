#include "wall/TileRenderer.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <system_error>

#include "preview/VideoWidget.h"

namespace tarvo::gui {

TileRenderer::~TileRenderer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TileRenderer::initialise(void* window) {
    std::lock_guard lock(workMutex_);
    view_ = static_cast<VideoWidget*>(window);
}

void TileRenderer::detach() {
    std::lock_guard lock(workMutex_);
    view_ = nullptr;
}

bool TileRenderer::setUpSurface(int width, int height) {
    std::lock_guard lock(mutex_);
    ready_ = false;
    // A reply may claim any size; refuse what no tile could show.
    if (width < 2 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        sws_isSupportedOutput(AV_PIX_FMT_RGB32) == 0)
        return false;
    width_ = width;
    height_ = height;
    ready_ = true;
    return true;
}

void TileRenderer::draw(const preview::Picture& picture) {
    const bool large = static_cast<long>(picture.width()) * picture.height() >= kOwnThreadPixels;
    preview::Picture taken = large ? picture : preview::Picture();
    preview::Picture dropped;  // released outside the lock
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || picture.empty() || picture.width() != width_ || picture.height() != height_)
            return;
        if (large) {
            if (!thread_.joinable()) {
                try {
                    thread_ = std::thread([this] { convertLoop(); });
                } catch (const std::system_error&) {
                    return;  // no thread: the picture is not shown
                }
            }
            // A reference to the decoder's picture; the decode thread goes on at once.
            dropped = std::move(handOver_);
            handOver_ = std::move(taken);
        }
    }
    if (large) {
        wake_.notify_one();
    } else {
        work(picture);
    }
}

TileRenderer::Readout TileRenderer::readout() const {
    std::lock_guard lock(mutex_);
    return readout_;
}

void TileRenderer::convertLoop() {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !handOver_.empty() || stopping_; });
            if (stopping_) return;
            working_ = std::move(handOver_);
            handOver_ = preview::Picture();
        }
        work(working_);
        // The decoder may have its frame back as soon as it is shown and checked.
        working_ = preview::Picture();
    }
}

void TileRenderer::work(const preview::Picture& picture) {
    std::lock_guard lock(workMutex_);
    checkIfDue(picture);
    if (view_ != nullptr && scaler_.scale(picture, view_->pictureSize(), next_))
        view_->present(next_);
}

void TileRenderer::checkIfDue(const preview::Picture& picture) {
    const auto now = preview::PictureCheck::Clock::now();
    const auto every = selected_.load() ? kSelectedCheckEvery : kCheckEvery;
    if (lastCheck_ != preview::PictureCheck::Clock::time_point{} && now - lastCheck_ < every)
        return;
    lastCheck_ = now;
    const preview::PictureVerdict verdict = check_.check(picture, now);
    std::lock_guard lock(mutex_);
    readout_.verdict = verdict;
    ++readout_.checks;
    readout_.bestSharpness = std::max(readout_.bestSharpness, verdict.figures.sharpness);
}

}  // namespace tarvo::gui

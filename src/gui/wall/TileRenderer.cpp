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
    sws_freeContext(scaler_);
}

void TileRenderer::initialise(void* window) {
    std::lock_guard lock(viewMutex_);
    view_ = static_cast<VideoWidget*>(window);
}

void TileRenderer::detach() {
    std::lock_guard lock(viewMutex_);
    view_ = nullptr;
}

bool TileRenderer::setUpSurface(int width, int height) {
    std::lock_guard lock(mutex_);
    ready_ = false;
    // A reply may claim any size; refuse what no tile could show.
    if (width < 2 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        sws_isSupportedOutput(AV_PIX_FMT_RGB32) == 0)
        return false;
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

void TileRenderer::draw(const preview::Picture& picture) {
    // The only work on the decode thread: a reference to the decoder's picture.
    preview::Picture taken = picture;
    preview::Picture dropped;  // released outside the lock
    {
        std::lock_guard lock(mutex_);
        if (!ready_ || taken.empty() || taken.width() != width_ || taken.height() != height_)
            return;
        dropped = std::move(handOver_);
        handOver_ = std::move(taken);
    }
    wake_.notify_one();
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
        checkIfDue();
        {
            std::lock_guard lock(viewMutex_);
            if (view_ != nullptr) convert(view_);
        }
        // The decoder may have its frame back as soon as it is shown and checked.
        working_ = preview::Picture();
    }
}

void TileRenderer::checkIfDue() {
    const auto now = preview::PictureCheck::Clock::now();
    const auto every = selected_.load() ? kSelectedCheckEvery : kCheckEvery;
    if (readout_.checks > 0 && now - lastCheck_ < every) return;  // checks_ is only ours to write
    lastCheck_ = now;
    const preview::PictureVerdict verdict = check_.check(working_, now);
    std::lock_guard lock(mutex_);
    readout_.verdict = verdict;
    ++readout_.checks;
    readout_.bestSharpness = std::max(readout_.bestSharpness, verdict.figures.sharpness);
}

void TileRenderer::convert(VideoWidget* view) {
    const QSize target = view->pictureSize();
    if (target.isEmpty()) return;
    if (next_.size() != target) next_ = QImage(target, QImage::Format_RGB32);
    if (next_.isNull()) return;  // out of memory: skip the picture
    const preview::Picture& in = working_;
    // Fast bilinear: a tile is small, and sixteen of them share the cores.
    scaler_ = sws_getCachedContext(scaler_, in.width(), in.height(),
                                   static_cast<AVPixelFormat>(in.pixelFormat()), target.width(),
                                   target.height(), AV_PIX_FMT_RGB32, SWS_FAST_BILINEAR, nullptr,
                                   nullptr, nullptr);
    if (scaler_ == nullptr) return;
    const preview::SwsColour colour = preview::swsColourOf(in);
    (void)sws_setColorspaceDetails(scaler_, colour.coefficients, colour.fullRange,
                                   sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    const std::uint8_t* const planes[4] = {in.plane(0), in.plane(1), in.plane(2), nullptr};
    const int strides[4] = {in.stride(0), in.stride(1), in.stride(2), 0};
    std::uint8_t* const dest[4] = {next_.bits(), nullptr, nullptr, nullptr};
    const int destStride[4] = {static_cast<int>(next_.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler_, planes, strides, 0, in.height(), dest, destStride) != target.height())
        return;
    view->present(next_);
}

}  // namespace tarvo::gui

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

namespace {
// Rows of the planar hand-over start at multiples of this; libswscale reads no further past a
// row's end.
constexpr std::size_t kRowStep = 64;
}  // namespace

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

std::uint8_t* SwsImageRenderer::handOverSpace(const Layout& layout, std::size_t bytes) {
    if (!ready_) return nullptr;
    try {
        handOver_.resize(bytes);  // allocates only when the size changed
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    handOverLayout_ = layout;
    return handOver_.data();
}

void SwsImageRenderer::handedOver() {
    replaced_ += waiting_ ? 1 : 0;
    waiting_ = true;
    ++drawn_;
}

void SwsImageRenderer::draw(const std::uint8_t* yuyv) {
    {
        std::lock_guard lock(mutex_);
        if (yuyv == nullptr) return;
        const std::size_t bytes =
            static_cast<std::size_t>(width_) * 2 * static_cast<std::size_t>(height_);
        std::uint8_t* space = handOverSpace({false, width_, height_, 0, 0}, bytes);
        if (space == nullptr) return;
        // The only work on the decode thread: one copy of the picture.
        std::memcpy(space, yuyv, bytes);
        handedOver();
    }
    wake_.notify_one();
}

void SwsImageRenderer::drawPlanar(const preview::PlanarPicture& picture) {
    {
        std::lock_guard lock(mutex_);
        // Planes of another size than the surface's would be read past their end.
        if (picture.y == nullptr || picture.u == nullptr || picture.v == nullptr ||
            picture.width != width_ || picture.height != height_)
            return;
        const auto rows = static_cast<std::size_t>(height_);
        const auto chromaRows = static_cast<std::size_t>((height_ + 1) / 2);
        const auto chromaWidth = static_cast<std::size_t>((width_ + 1) / 2);
        // libswscale reads rows in blocks, past the end of a row of other widths: the strides
        // leave room for that, and so does the slack after the last plane.
        const std::size_t yStride =
            (static_cast<std::size_t>(width_) + kRowStep - 1) & ~(kRowStep - 1);
        const std::size_t chromaStride = (chromaWidth + kRowStep - 1) & ~(kRowStep - 1);
        const std::size_t bytes = yStride * rows + chromaStride * chromaRows * 2 + kRowStep;
        std::uint8_t* space = handOverSpace(
            {true, width_, height_, static_cast<int>(yStride), static_cast<int>(chromaStride)},
            bytes);
        if (space == nullptr) return;
        // The only work on the decode thread: one copy of the picture.
        const auto copyPlane = [](std::uint8_t* to, std::size_t toStride, const std::uint8_t* from,
                                  int fromStride, std::size_t width, std::size_t count) {
            for (std::size_t row = 0; row < count; ++row)
                std::memcpy(to + row * toStride,
                            from + static_cast<std::ptrdiff_t>(row) * fromStride, width);
        };
        copyPlane(space, yStride, picture.y, picture.yStride, static_cast<std::size_t>(width_),
                  rows);
        std::uint8_t* u = space + yStride * rows;
        std::uint8_t* v = u + chromaStride * chromaRows;
        copyPlane(u, chromaStride, picture.u, picture.chromaStride, chromaWidth, chromaRows);
        copyPlane(v, chromaStride, picture.v, picture.chromaStride, chromaWidth, chromaRows);
        handedOver();
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
            workingLayout_ = handOverLayout_;
            waiting_ = false;
        }
        convert();
    }
}

void SwsImageRenderer::convert() {
    const QSize target = view_->pictureSize();
    if (target.isEmpty()) return;
    if (next_.size() != target) next_ = QImage(target, QImage::Format_RGB32);
    if (next_.isNull()) return;  // out of memory: skip the picture
    // Bilinear keeps the picture sharp enough to focus by while a 4K picture shrinks to the
    // screen; the scaler is kept while the sizes stay.
    const Layout& in = workingLayout_;
    if (in.planar) {
        scaler_ = sws_getCachedContext(scaler_, in.width, in.height, AV_PIX_FMT_YUV420P,
                                       target.width(), target.height(), AV_PIX_FMT_RGB32,
                                       SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (scaler_ == nullptr) return;
        const std::uint8_t* y = working_.data();
        const std::uint8_t* u = y + static_cast<std::size_t>(in.yStride) * in.height;
        const std::uint8_t* v =
            u + static_cast<std::size_t>(in.chromaStride) * ((in.height + 1) / 2);
        const std::uint8_t* const planes[4] = {y, u, v, nullptr};
        const int strides[4] = {in.yStride, in.chromaStride, in.chromaStride, 0};
        std::uint8_t* const dest[4] = {next_.bits(), nullptr, nullptr, nullptr};
        const int destStride[4] = {static_cast<int>(next_.bytesPerLine()), 0, 0, 0};
        if (sws_scale(scaler_, planes, strides, 0, in.height, dest, destStride) != target.height())
            return;
    } else if (!preview::scaleYuyv(scaler_, scratch_, working_.data(), in.width, in.height,
                                   next_.bits(), static_cast<int>(next_.bytesPerLine()),
                                   target.width(), target.height(), AV_PIX_FMT_RGB32,
                                   SWS_BILINEAR)) {
        return;
    }
    view_->present(next_);
}

}  // namespace tarvo::gui

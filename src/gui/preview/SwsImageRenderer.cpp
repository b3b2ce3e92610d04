#include "preview/SwsImageRenderer.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
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
    sws_freeContext(scaler_);
    sws_freeContext(converter_);
    av_freep(&scaled_[0]);
}

SwsImageRenderer::Tuning SwsImageRenderer::tileTuning() {
    return {false, true, SWS_BILINEAR};
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
    // The only work on the decode thread: a reference to the decoder's picture.
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

bool SwsImageRenderer::scaleYuv(const preview::Picture& in, QSize target) {
    const auto format = static_cast<AVPixelFormat>(in.pixelFormat());
    if (scaledSize_ != target || scaledFormat_ != in.pixelFormat()) {
        av_freep(&scaled_[0]);
        scaledSize_ = QSize();
        if (av_image_alloc(scaled_, scaledStride_, target.width(), target.height(), format, 64) < 0)
            return false;
        scaledSize_ = target;
        scaledFormat_ = in.pixelFormat();
    }
    // Same layout and range in and out: only the size changes here.
    scaler_ = sws_getCachedContext(scaler_, in.width(), in.height(), format, target.width(),
                                   target.height(), format, tuning_.scaleFlags, nullptr, nullptr,
                                   nullptr);
    if (scaler_ == nullptr) return false;
    const std::uint8_t* const planes[4] = {in.plane(0), in.plane(1), in.plane(2), nullptr};
    const int strides[4] = {in.stride(0), in.stride(1), in.stride(2), 0};
    return sws_scale(scaler_, planes, strides, 0, in.height(), scaled_, scaledStride_) ==
           target.height();
}

namespace {

// Rows of this many pixels at least: libswscale's vector YUV to RGB conversion writes whole
// groups of 8 pixels, past the end of a row (and of the last row) of another width.
constexpr int kRowPixelsStep = 16;

// An RGB picture whose rows have room for those groups (64-byte aligned, as libswscale likes).
QImage paddedImage(QSize size) {
    const int rowPixels = (size.width() + kRowPixelsStep - 1) / kRowPixelsStep * kRowPixelsStep;
    const qsizetype stride = static_cast<qsizetype>(rowPixels) * 4;
    auto* bytes = static_cast<uchar*>(
        av_malloc(static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height())));
    if (bytes == nullptr) return {};
    return QImage(
        bytes, size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void* data) { av_free(data); }, bytes);
}

bool isPadded(const QImage& image, QSize size) {
    // Not shared either: writing into a shared picture would copy it without the padding.
    return !image.isNull() && image.size() == size && image.isDetached() &&
           image.bytesPerLine() >= static_cast<qsizetype>((size.width() + kRowPixelsStep - 1) /
                                                          kRowPixelsStep * kRowPixelsStep * 4);
}

}  // namespace

void SwsImageRenderer::convert(const preview::Picture& in) {
    const QSize target = view_->pictureSize();
    if (target.isEmpty()) return;
    if (!isPadded(next_, target)) next_ = paddedImage(target);
    if (next_.isNull()) return;  // out of memory: skip the picture
    const bool twoSteps = tuning_.scaleThenConvert && target != QSize(in.width(), in.height());
    if (twoSteps && !scaleYuv(in, target)) return;
    // Bilinear keeps the picture sharp enough to focus by while a 4K picture shrinks to the
    // screen; the scaler is kept while the sizes stay.
    SwsContext*& rgb = twoSteps ? converter_ : scaler_;
    const Told wanted{twoSteps ? target.width() : in.width(),
                      twoSteps ? target.height() : in.height(),
                      in.pixelFormat(),
                      target.width(),
                      target.height(),
                      twoSteps ? SWS_POINT : tuning_.scaleFlags,
                      twoSteps,
                      preview::swsColourOf(in)};
    rgb = sws_getCachedContext(
        rgb, wanted.sourceWidth, wanted.sourceHeight, static_cast<AVPixelFormat>(wanted.format),
        wanted.width, wanted.height, AV_PIX_FMT_RGB32, wanted.flags, nullptr, nullptr, nullptr);
    if (rgb == nullptr) {
        told_ = Told();
        return;
    }
    // Told when the scaler or the colours changed: a scaler made again for another size starts
    // from limited-range BT.601, and telling it again rebuilds its tables (a reallocation and
    // many kilobytes written, per picture and tile).
    if (!(wanted == told_)) {
        (void)sws_setColorspaceDetails(rgb, wanted.colour.coefficients, wanted.colour.fullRange,
                                       sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        told_ = wanted;
    }
    const std::uint8_t* const planes[4] = {in.plane(0), in.plane(1), in.plane(2), nullptr};
    const int strides[4] = {in.stride(0), in.stride(1), in.stride(2), 0};
    std::uint8_t* const dest[4] = {next_.bits(), nullptr, nullptr, nullptr};
    const int destStride[4] = {static_cast<int>(next_.bytesPerLine()), 0, 0, 0};
    const bool done =
        twoSteps
            ? sws_scale(rgb, scaled_, scaledStride_, 0, target.height(), dest, destStride) ==
                  target.height()
            : sws_scale(rgb, planes, strides, 0, in.height(), dest, destStride) == target.height();
    if (!done) return;
    view_->present(next_);
}

}  // namespace tarvo::gui

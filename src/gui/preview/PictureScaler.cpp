#include "preview/PictureScaler.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstddef>

namespace tarvo::gui {

PictureScaler::~PictureScaler() {
    sws_freeContext(scaler_);
    sws_freeContext(converter_);
    av_freep(&scaled_[0]);
    av_freep(&halved_[0]);
}

bool PictureScaler::scaleYuv(const Planes& in, QSize target) {
    const auto format = static_cast<AVPixelFormat>(in.format);
    if (scaledSize_ != target || scaledFormat_ != in.format) {
        av_freep(&scaled_[0]);
        scaledSize_ = QSize();
        if (av_image_alloc(scaled_, scaledStride_, target.width(), target.height(), format, 64) < 0)
            return false;
        scaledSize_ = target;
        scaledFormat_ = in.format;
    }
    // Same layout and range in and out: only the size changes here.
    scaler_ =
        sws_getCachedContext(scaler_, in.width, in.height, format, target.width(), target.height(),
                             format, tuning_.scaleFlags, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return false;
    return sws_scale(scaler_, in.data, in.stride, 0, in.height, scaled_, scaledStride_) ==
           target.height();
}

namespace {

// `out` (outWidth x outHeight) = the mean of each 2x2 block of `in` (inWidth x inHeight), rounded;
// a block cut by the right or bottom edge repeats its last column or row. The inner loop has no
// branch, so the compiler vectorises it.
void halvePlane(const std::uint8_t* in, int inStride, int inWidth, int inHeight, std::uint8_t* out,
                int outStride, int outWidth, int outHeight) {
    const int whole = std::min(outWidth, inWidth / 2);
    for (int y = 0; y < outHeight; ++y) {
        const std::uint8_t* top =
            in + static_cast<std::ptrdiff_t>(std::min(2 * y, inHeight - 1)) * inStride;
        const std::uint8_t* bottom =
            in + static_cast<std::ptrdiff_t>(std::min(2 * y + 1, inHeight - 1)) * inStride;
        std::uint8_t* row = out + static_cast<std::ptrdiff_t>(y) * outStride;
        for (int x = 0; x < whole; ++x)
            row[x] = static_cast<std::uint8_t>(
                (top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1] + 2) >> 2);
        for (int x = whole; x < outWidth; ++x) {
            const int left = std::min(2 * x, inWidth - 1);
            const int right = std::min(2 * x + 1, inWidth - 1);
            row[x] = static_cast<std::uint8_t>(
                (top[left] + top[right] + bottom[left] + bottom[right] + 2) >> 2);
        }
    }
}

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

bool PictureScaler::halve(const preview::Picture& in, QSize target, Planes& out) {
    const auto format = static_cast<AVPixelFormat>(in.pixelFormat());
    if (!tuning_.halveFirst || (format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P) ||
        in.width() < 2 * target.width() || in.height() < 2 * target.height())
        return false;
    const QSize half(in.width() / 2, in.height() / 2);
    if (halvedSize_ != half) {
        av_freep(&halved_[0]);
        halvedSize_ = QSize();
        if (av_image_alloc(halved_, halvedStride_, half.width(), half.height(), format, 64) < 0)
            return false;
        halvedSize_ = half;
    }
    const auto chroma = [](int side) { return (side + 1) / 2; };
    halvePlane(in.plane(0), in.stride(0), in.width(), in.height(), halved_[0], halvedStride_[0],
               half.width(), half.height());
    for (int p = 1; p <= 2; ++p)
        halvePlane(in.plane(p), in.stride(p), chroma(in.width()), chroma(in.height()), halved_[p],
                   halvedStride_[p], chroma(half.width()), chroma(half.height()));
    out = Planes{{halved_[0], halved_[1], halved_[2], nullptr},
                 {halvedStride_[0], halvedStride_[1], halvedStride_[2], 0},
                 half.width(),
                 half.height(),
                 in.pixelFormat()};
    return true;
}

bool PictureScaler::scale(const preview::Picture& in, QSize target, QImage& out) {
    if (target.isEmpty() || in.empty()) return false;
    if (!isPadded(out, target)) out = paddedImage(target);
    if (out.isNull()) return false;  // out of memory: skip the picture
    const bool twoSteps = tuning_.scaleThenConvert && target != QSize(in.width(), in.height());
    if (twoSteps) {
        Planes source;
        if (!halve(in, target, source)) {
            source = Planes{{in.plane(0), in.plane(1), in.plane(2), nullptr},
                            {in.stride(0), in.stride(1), in.stride(2), 0},
                            in.width(),
                            in.height(),
                            in.pixelFormat()};
        }
        if (!scaleYuv(source, target)) return false;
    }
    // The scalers are kept while the sizes stay.
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
        return false;
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
    std::uint8_t* const dest[4] = {out.bits(), nullptr, nullptr, nullptr};
    const int destStride[4] = {static_cast<int>(out.bytesPerLine()), 0, 0, 0};
    const bool done =
        twoSteps
            ? sws_scale(rgb, scaled_, scaledStride_, 0, target.height(), dest, destStride) ==
                  target.height()
            : sws_scale(rgb, planes, strides, 0, in.height(), dest, destStride) == target.height();
    return done;
}

}  // namespace tarvo::gui

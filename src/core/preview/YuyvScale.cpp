#include "core/preview/YuyvScale.h"

#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace tarvo::preview {

namespace {
// Widths libswscale reads exactly, and the room it needs after the last row of any other.
constexpr int kExactWidthStep = 16;
constexpr std::size_t kReadSlack = 64;
}  // namespace

bool scaleYuyv(SwsContext*& cache, std::vector<std::uint8_t>& scratch, const std::uint8_t* yuyv,
               int width, int height, std::uint8_t* out, int outStride, int outWidth, int outHeight,
               int outFormat, int flags) {
    const int sourceWidth = scaledSourceWidth(width);
    if (yuyv == nullptr || out == nullptr || sourceWidth <= 0 || height <= 0 || outWidth <= 0 ||
        outHeight <= 0)
        return false;
    cache = sws_getCachedContext(cache, sourceWidth, height, AV_PIX_FMT_YUYV422, outWidth,
                                 outHeight, static_cast<AVPixelFormat>(outFormat), flags, nullptr,
                                 nullptr, nullptr);
    if (cache == nullptr) return false;
    const std::uint8_t* source = yuyv;
    if (width % kExactWidthStep != 0) {
        const std::size_t bytes =
            static_cast<std::size_t>(width) * 2 * static_cast<std::size_t>(height);
        scratch.resize(bytes + kReadSlack);  // allocates only when the size grows
        std::memcpy(scratch.data(), yuyv, bytes);
        source = scratch.data();
    }
    const std::uint8_t* const planes[4] = {source, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {width * 2, 0, 0, 0};
    std::uint8_t* const dest[4] = {out, nullptr, nullptr, nullptr};
    const int destStride[4] = {outStride, 0, 0, 0};
    return sws_scale(cache, planes, sourceStride, 0, height, dest, destStride) == outHeight;
}

}  // namespace tarvo::preview

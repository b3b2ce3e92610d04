#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include <cstring>
#include <memory>

#include "core/preview/LibavHandles.h"
#include "core/preview/Picture.h"
#include "sim/TestPattern.h"

// The simulator's test pattern read back from a decoded picture as the renderers get it.
namespace tarvo::test {

inline sim::pattern::Luma lumaOf(const preview::Picture& picture) {
    return {picture.plane(0), picture.stride(0), 1};
}

inline bool hasRedQuarter(const preview::Picture& picture, int tolerance = 16) {
    return !picture.empty() &&
           sim::pattern::hasRedQuarter(picture.plane(0), picture.stride(0), picture.plane(1),
                                       picture.plane(2), picture.stride(1), picture.width(),
                                       picture.height(), tolerance);
}

// A 4:2:0 picture of one colour, laid out as a decoder lays its pictures out (rows padded),
// tagged with `range` and `colorspace` (an AVColorSpace).
inline preview::Picture solidPicture(int width, int height, std::uint8_t y, std::uint8_t u,
                                     std::uint8_t v, AVColorRange range = AVCOL_RANGE_MPEG,
                                     AVColorSpace colorspace = AVCOL_SPC_BT470BG) {
    const preview::FrameHandle frame(av_frame_alloc());
    if (!frame) return {};
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    frame->color_range = range;
    frame->colorspace = colorspace;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
    const int chromaRows = (height + 1) / 2;
    std::memset(frame->data[0], y, static_cast<std::size_t>(frame->linesize[0]) * height);
    std::memset(frame->data[1], u, static_cast<std::size_t>(frame->linesize[1]) * chromaRows);
    std::memset(frame->data[2], v, static_cast<std::size_t>(frame->linesize[2]) * chromaRows);
    return preview::Picture::referenceTo(*frame);
}

}  // namespace tarvo::test

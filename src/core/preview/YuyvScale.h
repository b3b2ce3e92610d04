#pragma once

#include <cstdint>
#include <vector>

struct SwsContext;

namespace tarvo::preview {

// One packed YUYV picture (rows of width × 2 bytes, nothing after the last) converted, and
// scaled, by libswscale into `out` (outWidth × outHeight, rows of outStride bytes, pixel format
// `outFormat`, an AVPixelFormat). `cache` keeps the scaler between calls of the same sizes; free
// it with sws_freeContext. False when libswscale refuses.
//
// libswscale reads a row in blocks of pixels: of a width that is not a multiple of 16 it reads
// up to 32 bytes past the row's end, which for the last row is past the picture. Such pictures
// are converted from a copy in `scratch`, which has room after the last row. Of an odd width
// the last, unpaired column is left out (YUYV has no pair for it).
bool scaleYuyv(SwsContext*& cache, std::vector<std::uint8_t>& scratch, const std::uint8_t* yuyv,
               int width, int height, std::uint8_t* out, int outStride, int outWidth, int outHeight,
               int outFormat, int flags);

// The width scaleYuyv converts of a picture `width` wide.
inline int scaledSourceWidth(int width) {
    return width & ~1;
}

}  // namespace tarvo::preview

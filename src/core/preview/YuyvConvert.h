#pragma once

#include <cstdint>

namespace tarvo::preview {

// One planar 4:2:0 picture as a decoder hands it out.
struct PlanarPicture {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* u = nullptr;
    const std::uint8_t* v = nullptr;
    int yStride = 0;
    int chromaStride = 0;  // of both chroma planes
    int width = 0;
    int height = 0;
};

// Planar 4:2:0 to packed YUYV (Y0 U Y1 V), destination rows of width × 2 bytes. Each chroma
// sample serves its pixel pair in both rows it covers (repeated, not interpolated). Any width
// and height: an odd last column carries Y and U, an odd last row uses the chroma row above it.
// Reads width × height luma and ((width + 1) / 2) × ((height + 1) / 2) chroma samples.
void convertToYuyv(const PlanarPicture& in, std::uint8_t* out);

// The same, one byte at a time: the reference the fast paths are tested against.
void convertToYuyvScalar(const PlanarPicture& in, std::uint8_t* out);

// Which fast path convertToYuyv uses on this CPU: "avx2" or "sse2".
const char* yuyvConvertPath();
// Forces the SSE2 path (for tests and benchmarks); false goes back to the CPU's best.
void forceSse2YuyvConvert(bool force);

}  // namespace tarvo::preview

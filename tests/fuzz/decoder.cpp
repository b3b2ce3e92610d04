// The decoder layer fed arbitrary chunks, with an Init size of the input's choosing that need
// not match the pictures in the stream. Every picture handed out must be the whole buffer of
// the Init size, readable to its last byte.
//
// Input: byte 0 picks the codec (bit 0: H.265), bytes 1-4 the Init width and height (little
// endian, up to 640 × 480; below 8 Init fails and Decode must still be safe). Then chunks,
// each a 2-byte little-endian length and that many bytes; the length 0xFFFF instead resizes
// to the 4-byte size after it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/preview/AvPictureDecoder.h"
#include "core/preview/C264Decode.h"
#include "core/preview/CHI265Decode.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using tarvo::preview::AvPictureDecoder;

// Bounds on one input's work, so a run measures our code, not the decoder on huge streams.
constexpr std::size_t kMaxChunks = 64;
constexpr std::size_t kMaxBytes = 64 * 1024;
constexpr int kMaxResizes = 2;
constexpr unsigned kMaxWidth = 640;
constexpr unsigned kMaxHeight = 480;

unsigned le16(const std::uint8_t* p) {
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "decoder: %s\n", what);
    std::abort();
}

// Reads every byte of the picture, so a short or freed buffer shows up at once.
unsigned touch(const std::uint8_t* picture, std::size_t bytes) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes; ++i) sum += picture[i];
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);  // broken streams are the point here
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::unique_ptr<AvPictureDecoder> decoder;
    if ((data[0] & 1) != 0) {
        decoder = std::make_unique<tarvo::preview::CHI265Decode>();
    } else {
        decoder = std::make_unique<tarvo::preview::C264Decode>();
    }
    int width = static_cast<int>(le16(data + 1) % (kMaxWidth + 1));
    int height = static_cast<int>(le16(data + 3) % (kMaxHeight + 1));
    const bool ready = decoder->Init(width, height);
    const bool sizeValid =
        width >= AvPictureDecoder::kMinSide && height >= AvPictureDecoder::kMinSide;
    if (ready && !sizeValid) fail("Init accepted a size out of range");

    std::size_t at = 5;
    std::size_t chunks = 0;
    std::size_t bytes = 0;
    int resizes = 0;
    volatile unsigned sink = 0;
    while (at + 2 <= size && chunks < kMaxChunks && bytes < kMaxBytes) {
        const unsigned length = le16(data + at);
        at += 2;
        if (length == 0xFFFF) {
            if (at + 4 > size || resizes >= kMaxResizes) break;
            width = static_cast<int>(le16(data + at) % (kMaxWidth + 1));
            height = static_cast<int>(le16(data + at + 2) % (kMaxHeight + 1));
            at += 4;
            ++resizes;
            decoder->Resize(width, height);
            continue;
        }
        const std::size_t n = std::min<std::size_t>(length, size - at);
        std::uint8_t* picture = nullptr;
        decoder->Decode(data + at, static_cast<int>(n), &picture);
        at += n;
        bytes += n;
        ++chunks;
        if (picture == nullptr) continue;
        if (picture != decoder->picture()) fail("picture is not the decoder's buffer");
        if (decoder->width() != width || decoder->height() != height)
            fail("picture of another size than asked for");
        sink = sink + touch(picture,
                            static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2);
    }
    (void)sink;
    return 0;
}

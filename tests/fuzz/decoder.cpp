// The decoder layer fed arbitrary chunks, with an Init size of the input's choosing (any size a
// stream reply can claim, 0 to 65535 a side) that need not match the pictures in the stream.
// Every picture handed out must be the decoder's buffer, of the picture's own size within
// 8192 × 8192, readable to its last byte.
//
// Input: byte 0 picks the codec (bit 0: H.265), bytes 1-4 the Init width and height (little
// endian; out of range Init fails and Decode must still be safe). Then chunks, each a 2-byte
// little-endian length and that many bytes; the length 0xFFFF instead resizes to the 4-byte
// size after it, and 0xFFFE feeds the next chunk (1 + the byte after it) × 4 times, so that
// a short input can hand the parser more than it may keep (a stream without start codes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/preview/AvPictureDecoder.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using tarvo::preview::AvPictureDecoder;

// Bounds on one input's work, so a run measures our code, not the decoder on huge streams.
constexpr std::size_t kMaxChunks = 64;
constexpr std::size_t kMaxBytes = 24 * 1024 * 1024;  // beyond the parser's 16 MiB bound
constexpr std::size_t kMaxDecodes = 1024;
constexpr int kMaxResizes = 2;

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
    auto decoder = std::make_unique<AvPictureDecoder>(
        (data[0] & 1) != 0 ? tarvo::preview::CHI265Decode : tarvo::preview::C264Decode);
    int width = static_cast<int>(le16(data + 1));
    int height = static_cast<int>(le16(data + 3));
    const bool ready = decoder->Init(width, height);
    const auto valid = [](int side) {
        return side >= AvPictureDecoder::kMinSide && side <= AvPictureDecoder::kMaxSide;
    };
    if (ready && !(valid(width) && valid(height))) fail("Init accepted a size out of range");

    std::size_t at = 5;
    std::size_t chunks = 0;
    std::size_t bytes = 0;
    int resizes = 0;
    std::size_t decodes = 0;
    volatile unsigned sink = 0;
    while (at + 2 <= size && chunks < kMaxChunks && bytes < kMaxBytes) {
        unsigned length = le16(data + at);
        at += 2;
        if (length == 0xFFFF) {
            if (at + 4 > size || resizes >= kMaxResizes) break;
            width = static_cast<int>(le16(data + at));
            height = static_cast<int>(le16(data + at + 2));
            at += 4;
            ++resizes;
            decoder->Resize(width, height);
            continue;
        }
        std::size_t repeats = 1;
        if (length == 0xFFFE) {
            if (at + 3 > size) break;
            repeats = (static_cast<std::size_t>(data[at]) + 1) * 4;
            length = le16(data + at + 1);
            at += 3;
            if (length >= 0xFFFE) break;
        }
        const std::size_t n = std::min<std::size_t>(length, size - at);
        for (std::size_t i = 0; i < repeats && bytes < kMaxBytes && decodes < kMaxDecodes; ++i) {
            ++decodes;
            std::uint8_t* picture = nullptr;
            decoder->Decode(data + at, static_cast<int>(n), &picture);
            bytes += n + 1;
            if (picture == nullptr) continue;
            if (picture != decoder->picture()) fail("picture is not the decoder's buffer");
            const int w = decoder->pictureWidth();
            const int h = decoder->pictureHeight();
            if (w <= 0 || h <= 0 || w > AvPictureDecoder::kMaxPictureSide ||
                h > AvPictureDecoder::kMaxPictureSide)
                fail("picture of a size out of range");
            sink = sink +
                   touch(picture, static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 2);
        }
        at += n;
        ++chunks;
    }
    (void)sink;
    return 0;
}

#pragma once

#include <cstdint>
#include <mutex>

#include "core/preview/Picture.h"

namespace tarvo::preview {

// Turns compressed video chunks into pictures: packed YUYV through Decode, or the decoder's own
// frame by reference, with its colour range and matrix, through decodePicture. A picture has the
// size the stream's own pictures have (pictureWidth() × pictureHeight()), whatever size Init was
// given: what a device claims sizes nothing.
class CDecoder {
public:
    virtual ~CDecoder() = default;

    // Decodes one chunk: 0 when the decoder ran (with or without a picture), -1 without a
    // usable decoder. When a picture came out, `out` points at it (valid until the next Decode,
    // Resize or destruction); otherwise `out` is left as it was.
    virtual int Decode(const std::uint8_t* data, int length, std::uint8_t** out) = 0;
    // Decodes one chunk as Decode does, but hands out the decoder's own picture by reference,
    // unconverted: true when a picture came out, which `out` then holds (for as long as the
    // caller keeps it).
    virtual bool decodePicture(const std::uint8_t* data, int length, Picture& out) = 0;
    // Makes the decoder again for another size (nothing when the size is the same). Always 0.
    virtual int Resize(int width, int height) = 0;
    // False when the size is out of range or no decoder could be made.
    virtual bool Init(int width, int height) = 0;
    // The size of the picture last handed out (0 before the first).
    [[nodiscard]] virtual int pictureWidth() const = 0;
    [[nodiscard]] virtual int pictureHeight() const = 0;

    // Held around creating and destroying the library's decoder, when set.
    void SetLock(std::mutex* lock) { lock_ = lock; }

protected:
    std::mutex* lock_ = nullptr;
};

}  // namespace tarvo::preview

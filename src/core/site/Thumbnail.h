#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/preview/Picture.h"

namespace tarvo::site {

// A snapshot's thumbnail, made once per snapshot: the JPEG decoded once and scaled down once to
// fit `maxWidth` x `maxHeight` (its proportions kept, never enlarged) into RGB pixels (RGB24).
// The PDF paints these pixels as they are; the HTML file carries them coded once as JPEG at a
// high quality (jpeg()): a lossless PNG would make a report of hundreds of cameras some twenty
// times larger. Empty when `jpeg` is not a picture this program decodes or is larger than
// kMaxThumbnailSource pixels.
struct Thumbnail {
    preview::Picture image;
    int width = 0, height = 0;

    [[nodiscard]] bool empty() const { return image.empty(); }
    // The thumbnail as a JPEG file's bytes (empty for an empty thumbnail).
    [[nodiscard]] std::vector<std::uint8_t> jpeg() const;
};
Thumbnail makeThumbnail(std::span<const unsigned char> jpeg, int maxWidth, int maxHeight);

// Pictures larger than this (a 16K by 16K one) are not decoded: a damaged or hostile site file
// could otherwise claim a size that fills memory.
inline constexpr std::int64_t kMaxThumbnailSource = 16384LL * 16384LL;

}  // namespace tarvo::site

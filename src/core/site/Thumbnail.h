#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarvo::site {

// A picture's thumbnail: the JPEG `jpeg` decoded, scaled down to fit `maxWidth` x `maxHeight`
// (its proportions kept, never enlarged) and coded again as JPEG. Empty when `jpeg` is not a
// picture this program decodes or is larger than kMaxThumbnailSource pixels.
struct Thumbnail {
    std::vector<unsigned char> jpeg;
    int width = 0, height = 0;
};
Thumbnail makeThumbnail(std::span<const unsigned char> jpeg, int maxWidth, int maxHeight);

// Pictures larger than this (a 16K by 16K one) are not decoded: a damaged or hostile site file
// could otherwise claim a size that fills memory.
inline constexpr std::int64_t kMaxThumbnailSource = 16384LL * 16384LL;

}  // namespace tarvo::site

#pragma once

#include <cstdint>
#include <span>

namespace tarvo::preview {

// True when an Annex B chunk holds a picture a decoder can start from: an IDR slice in H.264
// (NAL type 5), an IRAP picture in H.265 (types 16 to 21).
bool startsDecoding(std::span<const std::uint8_t> chunk, bool hevc);

}  // namespace tarvo::preview

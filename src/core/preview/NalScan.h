#pragma once

#include <cstdint>
#include <span>

namespace tarvo::preview {

// True when an Annex B chunk holds a picture a decoder can start from: an IDR slice in H.264
// (NAL type 5), an IRAP picture in H.265 (types 16 to 21).
bool startsDecoding(std::span<const std::uint8_t> chunk, bool hevc);

// True when a chunk begins, at its first byte, with a start code and a NAL unit that only
// opens an access unit: a delimiter, parameter set or SEI, or the first slice of a picture.
bool startsAccessUnit(std::span<const std::uint8_t> chunk, bool hevc);

}  // namespace tarvo::preview

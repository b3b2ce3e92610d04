#include "core/preview/NalScan.h"

namespace tarvo::preview {

bool startsDecoding(std::span<const std::uint8_t> chunk, bool hevc) {
    // Every NAL unit follows a 00 00 01 start code (a 4-byte code ends the same way).
    for (std::size_t i = 0; i + 3 < chunk.size(); ++i) {
        if (chunk[i] != 0 || chunk[i + 1] != 0 || chunk[i + 2] != 1) continue;
        const std::uint8_t head = chunk[i + 3];
        if (hevc) {
            const int type = (head >> 1) & 0x3F;
            if (type >= 16 && type <= 21) return true;
        } else if ((head & 0x1F) == 5) {
            return true;
        }
        i += 2;
    }
    return false;
}

bool startsAccessUnit(std::span<const std::uint8_t> chunk, bool hevc) {
    std::size_t at = 0;
    if (chunk.size() >= 4 && chunk[0] == 0 && chunk[1] == 0 && chunk[2] == 0 && chunk[3] == 1) {
        at = 4;
    } else if (chunk.size() >= 3 && chunk[0] == 0 && chunk[1] == 0 && chunk[2] == 1) {
        at = 3;
    } else {
        return false;
    }
    if (hevc) {
        if (chunk.size() < at + 3) return false;
        const int type = (chunk[at] >> 1) & 0x3F;
        if (type >= 32 && type <= 35) return true;  // VPS, SPS, PPS, delimiter
        if (type == 39) return true;                // prefix SEI
        // A slice segment: first_slice_segment_in_pic_flag is the first bit after the header.
        return type <= 21 && (chunk[at + 2] & 0x80) != 0;
    }
    if (chunk.size() < at + 2) return false;
    const int type = chunk[at] & 0x1F;
    if (type >= 6 && type <= 9) return true;  // SEI, SPS, PPS, delimiter
    // A slice: first_mb_in_slice is 0 exactly when its Exp-Golomb code is the single bit 1.
    return (type == 1 || type == 5) && (chunk[at + 1] & 0x80) != 0;
}

}  // namespace tarvo::preview

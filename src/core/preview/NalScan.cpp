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

}  // namespace tarvo::preview

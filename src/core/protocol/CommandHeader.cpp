#include "core/protocol/CommandHeader.h"

#include "core/protocol/ByteIo.h"

namespace tarvo::protocol {

void CommandHeader::encode(std::span<std::uint8_t> out) const {
    ByteWriter w(out);
    w.u8(0, command);
    w.u8(1, tag);
    w.u16(2, target);
    w.u16(4, length);
}

CommandHeader CommandHeader::decode(std::span<const std::uint8_t> in) {
    const ByteReader r(in);
    return CommandHeader{r.u8(0), r.u8(1), r.u16(2), r.u16(4)};
}

}  // namespace tarvo::protocol

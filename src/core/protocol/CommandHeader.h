#pragma once

#include <cstdint>
#include <span>

namespace tarvo::protocol {

inline constexpr std::size_t kHeaderSize = 6;

// The 6-byte header of every device frame, UDP and TCP: command, tag, target, length,
// little-endian on the wire.
struct CommandHeader {
    std::uint8_t command = 0;
    std::uint8_t tag = 0;
    std::uint16_t target = 0;
    std::uint16_t length = 0;

    // Writes the six bytes at the start of `out` (which must hold at least six).
    void encode(std::span<std::uint8_t> out) const;
    // Reads from what arrived; missing bytes read as 0.
    static CommandHeader decode(std::span<const std::uint8_t> in);

    friend bool operator==(const CommandHeader&, const CommandHeader&) = default;
};

}  // namespace tarvo::protocol

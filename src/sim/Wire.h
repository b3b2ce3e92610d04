#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The simulator's own little-endian frame reader and writer. It deliberately shares no code with
// the program's protocol layer, so that a mistake there cannot hide behind the same mistake here.
namespace tarvo::sim::wire {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline constexpr std::size_t kHeaderSize = 6;
inline constexpr std::uint8_t kDiscover = 10;        // the search
inline constexpr std::uint8_t kDiscoverReply = 100;  // a device's answer to it
inline constexpr int kNvrType = 181;                 // the device type code of an NVR

struct Header {
    std::uint8_t command = 0;
    std::uint8_t tag = 0;
    std::uint16_t target = 0;
    std::uint16_t length = 0;
};

// Reads past the end give 0, as a zero-filled receive buffer would.
inline std::uint8_t getU8(ByteView bytes, std::size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

inline std::uint16_t getU16(ByteView bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(getU8(bytes, offset) | (getU8(bytes, offset + 1) << 8));
}

inline std::uint32_t getU32(ByteView bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(getU16(bytes, offset)) |
           (static_cast<std::uint32_t>(getU16(bytes, offset + 2)) << 16);
}

// Writers grow the buffer when needed.
inline void putU8(Bytes& bytes, std::size_t offset, std::uint8_t value) {
    if (bytes.size() < offset + 1) bytes.resize(offset + 1, 0);
    bytes[offset] = value;
}

inline void putU16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    putU8(bytes, offset, static_cast<std::uint8_t>(value & 0xFF));
    putU8(bytes, offset + 1, static_cast<std::uint8_t>(value >> 8));
}

inline void putU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    putU16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
    putU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

// Four octets in address order (first octet first); `address` is in host order.
inline void putAddress(Bytes& bytes, std::size_t offset, std::uint32_t address) {
    for (std::size_t i = 0; i < 4; ++i) {
        putU8(bytes, offset + i, static_cast<std::uint8_t>(address >> (24 - 8 * i)));
    }
}

inline std::uint32_t getAddress(ByteView bytes, std::size_t offset) {
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < 4; ++i) address = (address << 8) | getU8(bytes, offset + i);
    return address;
}

inline std::optional<Header> parseHeader(ByteView bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    return Header{getU8(bytes, 0), getU8(bytes, 1), getU16(bytes, 2), getU16(bytes, 4)};
}

// A frame of `totalLength` bytes (at least the header), zero-filled, header written.
inline Bytes makeFrame(std::uint8_t command, std::uint8_t tag, std::uint16_t target,
                       std::size_t totalLength) {
    Bytes frame(totalLength < kHeaderSize ? kHeaderSize : totalLength, 0);
    putU8(frame, 0, command);
    putU8(frame, 1, tag);
    putU16(frame, 2, target);
    putU16(frame, 4, static_cast<std::uint16_t>(frame.size()));
    return frame;
}

// The value a request carries in `target` for a device: its third octet in byte 2 and its
// fourth octet in byte 3 (`address` in host order).
inline std::uint16_t targetOf(std::uint32_t address) {
    const auto third = static_cast<std::uint16_t>((address >> 8) & 0xFF);
    const auto fourth = static_cast<std::uint16_t>(address & 0xFF);
    return static_cast<std::uint16_t>(third | (fourth << 8));
}

// Lower-case hex of the bytes, two digits each.
inline std::string hexOf(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
    return out;
}

// The bytes of a hex text (two digits a byte, either case); nullopt when it is not one.
inline std::optional<Bytes> parseHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    Bytes out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint8_t value = 0;
        const char* end = text.data() + i + 2;
        const auto [ptr, ec] = std::from_chars(text.data() + i, end, value, 16);
        if (ec != std::errc() || ptr != end) return std::nullopt;
        out.push_back(value);
    }
    return out;
}

}  // namespace tarvo::sim::wire

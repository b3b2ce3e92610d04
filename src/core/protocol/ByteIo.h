#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvo::protocol {

// Little-endian reads over received bytes. A byte beyond what arrived reads as 0.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    [[nodiscard]] std::uint8_t u8(std::size_t offset) const {
        return offset < bytes_.size() ? bytes_[offset] : 0;
    }
    [[nodiscard]] std::uint16_t u16(std::size_t offset) const {
        return static_cast<std::uint16_t>(u8(offset) | (u8(offset + 1) << 8));
    }
    [[nodiscard]] std::uint32_t u32(std::size_t offset) const {
        return static_cast<std::uint32_t>(u8(offset)) |
               (static_cast<std::uint32_t>(u8(offset + 1)) << 8) |
               (static_cast<std::uint32_t>(u8(offset + 2)) << 16) |
               (static_cast<std::uint32_t>(u8(offset + 3)) << 24);
    }
    // Copies `out.size()` bytes from `offset`; the part beyond what arrived becomes 0.
    void copy(std::size_t offset, std::span<std::uint8_t> out) const {
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = u8(offset + i);
    }
    [[nodiscard]] std::size_t size() const { return bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
};

// Little-endian writes into a zero-filled buffer; writes beyond its end are dropped.
class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

    void u8(std::size_t offset, std::uint8_t value) {
        if (offset < bytes_.size()) bytes_[offset] = value;
    }
    void u16(std::size_t offset, std::uint16_t value) {
        u8(offset, static_cast<std::uint8_t>(value));
        u8(offset + 1, static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::size_t offset, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i)
            u8(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void bytes(std::size_t offset, std::span<const std::uint8_t> data) {
        for (std::size_t i = 0; i < data.size(); ++i) u8(offset + i, data[i]);
    }

private:
    std::span<std::uint8_t> bytes_;
};

// IPv4 addresses in payloads travel as their four octets in address order (network order);
// in memory we keep them as the network-order 32-bit value that sockets use.
inline std::uint32_t readAddress(const ByteReader& in, std::size_t offset) {
    std::uint32_t value = 0;
    auto* out = reinterpret_cast<std::uint8_t*>(&value);
    for (std::size_t i = 0; i < 4; ++i) out[i] = in.u8(offset + i);
    return value;
}
inline void writeAddress(ByteWriter& out, std::size_t offset, std::uint32_t networkOrder) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(&networkOrder);
    for (std::size_t i = 0; i < 4; ++i) out.u8(offset + i, in[i]);
}

}  // namespace tarvo::protocol

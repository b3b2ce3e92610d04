#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarvo::protocol {

// The 28-byte network-parameters record of replies 180 and command 106.
// Addresses in network byte order, as sockets use them.
struct NetParams {
    static constexpr std::size_t kSize = 28;

    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    std::uint32_t gateway = 0;
    std::uint32_t dns = 0;
    std::uint16_t httpPort = 0;
    std::uint16_t reserved = 0;  // carried back unchanged
    std::uint32_t dhcp = 0;
    std::uint32_t opaque = 0;  // carried back unchanged

    void encode(std::span<std::uint8_t> out) const;
    static NetParams decode(std::span<const std::uint8_t> in);
    friend bool operator==(const NetParams&, const NetParams&) = default;
};

// The 132-byte cloud-settings record of reply 182 and command 123.
struct CloudRecord {
    static constexpr std::size_t kSize = 132;

    std::array<char, 64> identity{};  // narrow text, NUL-terminated
    std::array<char, 64> password{};  // narrow text, NUL-terminated
    std::int32_t deviceId = 0;

    void encode(std::span<std::uint8_t> out) const;
    static CloudRecord decode(std::span<const std::uint8_t> in);
    friend bool operator==(const CloudRecord&, const CloudRecord&) = default;
};

}  // namespace tarvo::protocol

#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/protocol/CommandHeader.h"
#include "core/protocol/NetParams.h"

namespace tarvo::protocol {

// One outgoing frame, built in a zero-filled buffer; `size` bytes go on the wire.
struct Frame {
    static constexpr std::size_t kCapacity = 138;  // the largest frame the program sends
    std::array<std::uint8_t, kCapacity> bytes{};
    std::size_t size = 0;

    [[nodiscard]] std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// `target` of a UDP command: third and fourth octet of the device's address, as the
// network-order address shifted right by 16 (an address text that is not an address gives
// 0xFFFF, as inet_addr's INADDR_NONE would). At most 31 characters of the text are used.
std::uint16_t targetFor(std::string_view addressText);
std::uint16_t targetFor(std::uint32_t networkOrderAddress);

// Receive filter: a frame is for this interface when its tag is 0 or the third or fourth
// octet of the interface's address.
bool passesReceiveFilter(std::uint8_t tag, std::uint32_t interfaceAddressNetworkOrder);

// UDP frames.
Frame discoveryRequest();                                    // 0A 00 00 00 06 00
Frame udpQuery(std::uint8_t command, std::uint16_t target);  // 6 bytes
Frame udpValue(std::uint8_t command, std::uint16_t target, std::uint32_t value);  // 10 bytes
Frame udpNetParams(std::uint16_t target, const NetParams& params);                // 106, 34 bytes
Frame udpCloud(std::uint16_t target, const CloudRecord& record);                  // 123, 138 bytes
// 0, 30 bytes: each text narrowed into 12 bytes with its NUL; one that does not fit is sent as
// 12 zero bytes.
Frame udpLogin(std::uint16_t target, std::u16string_view user, std::u16string_view password);

// TCP frames.
Frame tcpQuery(std::uint8_t command);  // 6 bytes: 103, 130, 231, 232
Frame tcpQueryWithTarget(std::uint8_t command, std::uint16_t target);  // 233 with its index
// 0, 30 bytes: tag 0x0B, target bytes 21 1C; narrow user and password, each cut to 12 bytes
// without a terminator.
Frame tcpLogin(std::string_view user, std::string_view password);
// Upload frame A (134 bytes): the narrow file name, 128 zero bytes when it does not fit with
// its NUL.
inline constexpr std::size_t kUploadNameBytes = 128;
Frame uploadNameFrame(std::uint8_t command, std::u16string_view fileName);
// Upload frame B (6 bytes): the file size's upper half in `target`, lower half in `length`.
Frame uploadSizeFrame(std::uint8_t command, std::uint32_t fileSize);

}  // namespace tarvo::protocol

#include "core/protocol/Frames.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string>

#include "core/protocol/ByteIo.h"
#include "core/protocol/CommandCodes.h"
#include "core/text/TextConvert.h"

namespace tarvo::protocol {

namespace {

Frame headerOnly(std::uint8_t command, std::uint8_t tag, std::uint16_t target, std::size_t size) {
    Frame f;
    f.size = size;
    CommandHeader{command, tag, target, static_cast<std::uint16_t>(size)}.encode(f.bytes);
    return f;
}

// Narrows `text` into a zeroed field of `width` bytes; it stays zero when it does not fit.
void putNarrowField(Frame& f, std::size_t offset, std::size_t width, std::u16string_view text) {
    std::array<char, 128> field{};
    if (text::narrowText(text, std::span<char>(field.data(), width)) == 1) {
        for (std::size_t i = 0; i < width; ++i)
            f.bytes[offset + i] = static_cast<std::uint8_t>(field[i]);
    }
}

}  // namespace

std::uint16_t targetFor(std::uint32_t networkOrderAddress) {
    // The network-order value read as a little-endian u32 has octets 3 and 4 in its upper
    // half; stored little-endian again, byte 2 is octet 3 and byte 3 octet 4.
    const auto* octets = reinterpret_cast<const std::uint8_t*>(&networkOrderAddress);
    return static_cast<std::uint16_t>(octets[2] | (octets[3] << 8));
}

std::uint16_t targetFor(std::string_view addressText) {
    const std::string text(addressText.substr(0, std::min<std::size_t>(addressText.size(), 31)));
    return targetFor(static_cast<std::uint32_t>(::inet_addr(text.c_str())));
}

bool passesReceiveFilter(std::uint8_t tag, std::uint32_t interfaceAddressNetworkOrder) {
    const auto* octets = reinterpret_cast<const std::uint8_t*>(&interfaceAddressNetworkOrder);
    return tag == 0 || tag == octets[2] || tag == octets[3];
}

Frame discoveryRequest() {
    return headerOnly(cmd::kDiscovery, 0, 0, 6);
}

Frame udpQuery(std::uint8_t command, std::uint16_t target) {
    return headerOnly(command, 0, target, 6);
}

Frame udpValue(std::uint8_t command, std::uint16_t target, std::uint32_t value) {
    Frame f = headerOnly(command, 0, target, 10);
    ByteWriter(f.bytes).u32(6, value);
    return f;
}

Frame udpNetParams(std::uint16_t target, const NetParams& params) {
    Frame f = headerOnly(cmd::kSetNetParams, 0, target, 6 + NetParams::kSize);
    params.encode(std::span<std::uint8_t>(f.bytes).subspan(6, NetParams::kSize));
    return f;
}

Frame udpCloud(std::uint16_t target, const CloudRecord& record) {
    Frame f = headerOnly(cmd::kSetCloud, 0, target, 6 + CloudRecord::kSize);
    record.encode(std::span<std::uint8_t>(f.bytes).subspan(6, CloudRecord::kSize));
    return f;
}

Frame udpLogin(std::uint16_t target, std::u16string_view user, std::u16string_view password) {
    Frame f = headerOnly(cmd::kUdpLogin, 0, target, 30);
    putNarrowField(f, 6, 12, user);
    putNarrowField(f, 18, 12, password);
    return f;
}

Frame tcpQuery(std::uint8_t command) {
    return headerOnly(command, 0, 0, 6);
}

Frame tcpQueryWithTarget(std::uint8_t command, std::uint16_t target) {
    return headerOnly(command, 0, target, 6);
}

Frame tcpLogin(std::string_view user, std::string_view password) {
    Frame f = headerOnly(cmd::kTcpLogin, 0x0B, 0x1C21, 30);
    std::copy_n(user.begin(), std::min<std::size_t>(user.size(), 12), f.bytes.begin() + 6);
    std::copy_n(password.begin(), std::min<std::size_t>(password.size(), 12), f.bytes.begin() + 18);
    return f;
}

Frame uploadNameFrame(std::uint8_t command, std::u16string_view fileName) {
    Frame f = headerOnly(command, 0, 0, 134);
    putNarrowField(f, 6, kUploadNameBytes, fileName);
    return f;
}

Frame uploadSizeFrame(std::uint8_t command, std::uint32_t fileSize) {
    Frame f;
    f.size = 6;
    CommandHeader{command, 0, static_cast<std::uint16_t>(fileSize >> 16),
                  static_cast<std::uint16_t>(fileSize & 0xFFFF)}
        .encode(f.bytes);
    return f;
}

}  // namespace tarvo::protocol

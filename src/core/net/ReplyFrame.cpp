#include "core/net/ReplyFrame.h"

#include <algorithm>
#include <cstring>

namespace tarvo::net {

namespace {

constexpr std::size_t kEthernetHeader = 14;
constexpr std::uint16_t kEtherTypeIPv4 = 0x0800;
constexpr std::uint8_t kProtocolUdp = 17;

// Big-endian (network order) fields; a byte past the end reads as 0.
std::uint32_t byteAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return at < bytes.size() ? bytes[at] : 0;
}
std::uint32_t be16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (byteAt(bytes, at) << 8) | byteAt(bytes, at + 1);
}

void putLe32(ReplyRecord& record, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        record[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t le32(std::span<const std::uint8_t, kReplyRecordSize> record, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{record[at + i]} << (8 * i);
    return value;
}

// Record layout: kind, three zero bytes, interface index, MAC, two zero bytes, IPv4 source
// (as it stood in the frame).
constexpr std::size_t kAtIndex = 4;
constexpr std::size_t kAtMac = 8;
constexpr std::size_t kAtSender = 16;

}  // namespace

std::optional<ReplyFrame> readReplyFrame(std::span<const std::uint8_t> frame, int interfaceIndex) {
    if (interfaceIndex <= 0) return std::nullopt;
    if (be16(frame, 12) != kEtherTypeIPv4) return std::nullopt;
    const std::uint32_t versionAndLength = byteAt(frame, kEthernetHeader);
    const std::size_t ipHeader = (versionAndLength & 0x0f) * 4;
    if ((versionAndLength >> 4) != 4 || ipHeader < 20) return std::nullopt;
    if (byteAt(frame, kEthernetHeader + 9) != kProtocolUdp) return std::nullopt;
    if ((be16(frame, kEthernetHeader + 6) & 0x1fff) != 0) return std::nullopt;  // a fragment
    const std::size_t udp = kEthernetHeader + ipHeader;
    // The command byte is the last one read: a frame cut before it is not a reply.
    if (frame.size() < udp + 9) return std::nullopt;
    if (be16(frame, udp + 2) != kReplyFramePort) return std::nullopt;
    if (frame[udp + 8] != kReplyFrameCode) return std::nullopt;
    ReplyFrame out;
    out.interfaceIndex = static_cast<std::uint32_t>(interfaceIndex);
    std::copy_n(frame.begin() + 6, out.mac.size(), out.mac.begin());
    // Kept as the bytes stand, as an in_addr holds them.
    std::memcpy(&out.sender, frame.data() + kEthernetHeader + 12, sizeof out.sender);
    return out;
}

ReplyRecord readyRecord() {
    ReplyRecord record{};
    record[0] = kRecordReady;
    return record;
}

ReplyRecord frameRecord(const ReplyFrame& frame) {
    ReplyRecord record{};
    record[0] = kRecordFrame;
    putLe32(record, kAtIndex, frame.interfaceIndex);
    std::copy(frame.mac.begin(), frame.mac.end(), record.begin() + kAtMac);
    putLe32(record, kAtSender, frame.sender);
    return record;
}

std::optional<ReplyFrame> readFrameRecord(std::span<const std::uint8_t, kReplyRecordSize> record) {
    if (record[0] != kRecordFrame || record[1] != 0 || record[2] != 0 || record[3] != 0 ||
        record[14] != 0 || record[15] != 0)
        return std::nullopt;
    ReplyFrame out;
    out.interfaceIndex = le32(record, kAtIndex);
    if (out.interfaceIndex == 0) return std::nullopt;
    std::copy_n(record.begin() + kAtMac, out.mac.size(), out.mac.begin());
    out.sender = le32(record, kAtSender);
    return out;
}

ReplyRecord syncRecord(std::uint32_t count) {
    ReplyRecord record{};
    record[0] = kRecordSync;
    putLe32(record, kAtIndex, count);
    return record;
}

std::optional<std::uint32_t> readSyncRecord(
    std::span<const std::uint8_t, kReplyRecordSize> record) {
    const bool zeros =
        std::all_of(record.begin() + 1, record.begin() + kAtIndex,
                    [](std::uint8_t b) { return b == 0; }) &&
        std::all_of(record.begin() + kAtMac, record.end(), [](std::uint8_t b) { return b == 0; });
    if (record[0] != kRecordSync || !zeros) return std::nullopt;
    return le32(record, kAtIndex);
}

bool isReadyRecord(std::span<const std::uint8_t, kReplyRecordSize> record) {
    return std::all_of(record.begin() + 1, record.end(), [](std::uint8_t b) { return b == 0; }) &&
           record[0] == kRecordReady;
}

}  // namespace tarvo::net

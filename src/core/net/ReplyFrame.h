#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tarvo::net {

// What the MAC helper reads from a discovery reply's own Ethernet frame and hands the programs
// over its pipe: nothing more.
struct ReplyFrame {
    std::uint32_t interfaceIndex = 0;
    std::array<std::uint8_t, 6> mac{};  // the frame's source
    std::uint32_t sender = 0;           // the IPv4 source, network byte order
    bool operator==(const ReplyFrame&) const = default;
};

// Discovery replies: UDP to this port whose first payload byte is the reply code.
inline constexpr std::uint16_t kReplyFramePort = 5250;
inline constexpr std::uint8_t kReplyFrameCode = 100;
// What the socket filter keeps of a frame: the Ethernet header, the longest IPv4 header, the UDP
// header and the command byte.
inline constexpr std::size_t kReplyFrameKept = 96;

// The reply in `frame` (bytes from the Ethernet header on, as a packet socket gives them), heard
// on interface `interfaceIndex`; nullopt for anything else (not IPv4, not UDP, a fragment, another
// port or command, too short, no interface). Bounded by the bytes given.
std::optional<ReplyFrame> readReplyFrame(std::span<const std::uint8_t> frame, int interfaceIndex);

// One record on the helper's pipe, of a fixed size (so one write is never split): a kind byte,
// then the fields little-endian.
inline constexpr std::size_t kReplyRecordSize = 20;
using ReplyRecord = std::array<std::uint8_t, kReplyRecordSize>;
inline constexpr std::uint8_t kRecordReady = 'R';  // the socket is open and filtered
inline constexpr std::uint8_t kRecordFrame = 'F';  // one reply's frame
// Every frame queued before the helper read the first `count` bytes of its stdin was passed on
// before this record: a reader that wrote a byte after taking a reply's datagram knows, once
// the count covers its byte, that the reply's frame (queued before the datagram) was passed on.
inline constexpr std::uint8_t kRecordSync = 'S';

ReplyRecord readyRecord();
ReplyRecord frameRecord(const ReplyFrame& frame);
ReplyRecord syncRecord(std::uint32_t count);
// A frame record's content; nullopt for a ready record or a record that is not well formed.
std::optional<ReplyFrame> readFrameRecord(std::span<const std::uint8_t, kReplyRecordSize> record);
bool isReadyRecord(std::span<const std::uint8_t, kReplyRecordSize> record);
std::optional<std::uint32_t> readSyncRecord(std::span<const std::uint8_t, kReplyRecordSize> record);

}  // namespace tarvo::net

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The stream connection (command port + 1): the 12-byte request, the 32-byte reply and the
// 18-byte media packet header. None of them uses the command frame header.
namespace tarvo::preview {

inline constexpr int kNvrType = 181;
inline constexpr std::size_t kStreamRequestSize = 12;
inline constexpr std::size_t kStreamReplySize = 32;
inline constexpr std::size_t kPacketHeaderSize = 18;
inline constexpr std::size_t kPacketLengthOffset = 6;

enum class PacketType : std::uint8_t { Video = 0, Other = 1 };

using StreamRequest = std::array<std::uint8_t, kStreamRequestSize>;

// An NVR is always asked for stream 1 with the 255/355 pair; a camera for the chosen stream.
StreamRequest streamRequest(int deviceType, int streamChoice);

struct StreamReply {
    int width = 0;
    int height = 0;
    int codecCode = 0;
};
// Reads width (offset 8), height (12) and codec code (26); missing bytes read as 0.
StreamReply parseStreamReply(std::span<const std::uint8_t> reply);

// The picture size a reply may claim, per side: what a preview window can show. A claim out of
// range (0, or above this) sizes nothing: the stream's own pictures are shown at their size.
inline constexpr int kMinClaimedSide = 8;
inline constexpr int kMaxClaimedSide = 8192;
bool claimsUsableSize(const StreamReply& reply);

// What a reply's size is used for: the size the decoder is set up with (it only picks the
// decoder's threads), and the surface set up before the first picture (0 × 0: none; the first
// picture sets it up at its own size).
struct StreamSizes {
    int decoderWidth = 0;
    int decoderHeight = 0;
    int surfaceWidth = 0;
    int surfaceHeight = 0;
};
// A claim out of range gives the decoder the threads of a common camera picture (1920 × 1080).
StreamSizes sizesFor(const StreamReply& reply);

// Codec codes 3 and 4 are H.265; everything else is decoded as H.264.
bool decodesAsHevc(int codecCode);

// "宽 x 高：W x H , 编码模式：H264" for codec codes 1 and 2, the H265 form for any other.
std::u16string previewTitle(int width, int height, int codecCode);

// Where the preview window goes: the picture size clamped to the screen, centred. Decoder and
// renderer keep the full picture size; only the window shrinks.
struct WindowPlacement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
WindowPlacement placeOnScreen(int videoWidth, int videoHeight, int screenWidth, int screenHeight);

// Packet header fields.
inline int packetType(const std::uint8_t* header) {
    return header[0] & 0x0F;
}
inline std::uint32_t packetPayloadLength(const std::uint8_t* header) {
    const std::uint8_t* p = header + kPacketLengthOffset;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace tarvo::preview

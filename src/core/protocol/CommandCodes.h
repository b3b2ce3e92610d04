#pragma once

#include <cstdint>

namespace tarvo::protocol {

inline constexpr const char* kGroupAddress = "233.0.0.1";
inline constexpr std::uint16_t kGroupPort = 5250;
inline constexpr std::uint16_t kCameraCommandPort = 5505;
inline constexpr std::uint16_t kNvrCommandPort = 5500;

namespace cmd {
// UDP, program -> device
inline constexpr std::uint8_t kUdpLogin = 0;
inline constexpr std::uint8_t kDiscovery = 10;
inline constexpr std::uint8_t kGetNetParams = 99;
inline constexpr std::uint8_t kSetNetParams = 106;
inline constexpr std::uint8_t kSetCloud = 123;
inline constexpr std::uint8_t kGetCloud = 124;
inline constexpr std::uint8_t kSetAudio = 128;
inline constexpr std::uint8_t kGetAudio = 129;
inline constexpr std::uint8_t kSetProtocol = 139;
inline constexpr std::uint8_t kGetCameraConfig1 = 140;
inline constexpr std::uint8_t kSetOverlay = 141;
inline constexpr std::uint8_t kGetCameraConfig2 = 142;
inline constexpr std::uint8_t kResolveMacConflict = 143;
inline constexpr std::uint8_t kSetMainResolution = 144;
inline constexpr std::uint8_t kGetMainResolution = 145;
inline constexpr std::uint8_t kOnvifSubStream = 148;  // query (6 bytes) and reply
inline constexpr std::uint8_t kSetOnvifSubStream = 149;
// UDP, device -> program
inline constexpr std::uint8_t kDiscoveryReply = 100;
inline constexpr std::uint8_t kNetParamsReply = 180;
inline constexpr std::uint8_t kUdpLoginReply = 181;
inline constexpr std::uint8_t kCloudReply = 182;
inline constexpr std::uint8_t kAudioReply = 183;
inline constexpr std::uint8_t kProtocolReply = 184;
inline constexpr std::uint8_t kOverlayReply = 185;
inline constexpr std::uint8_t kMacReassignedReply = 186;
inline constexpr std::uint8_t kMainResolutionReply = 187;
// TCP, command port
inline constexpr std::uint8_t kTcpLogin = 0;
inline constexpr std::uint8_t kCameraUpload = 102;
inline constexpr std::uint8_t kCameraVersion = 103;
inline constexpr std::uint8_t kReboot = 130;
inline constexpr std::uint8_t kNvrUpload = 230;
inline constexpr std::uint8_t kNvrVersion = 231;
inline constexpr std::uint8_t kGetNvrResolution = 232;
inline constexpr std::uint8_t kSetNvrResolution = 233;
}  // namespace cmd

}  // namespace tarvo::protocol

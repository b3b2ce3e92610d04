#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/UploadReceiver.h"
#include "sim/VideoClip.h"

namespace tarvo::sim {

// How a device spoils its UDP replies, for testing the program's handling of bad datagrams.
enum class ReplyShape {
    Normal,
    Short,       // the first 4 bytes only: less than a header
    NoNul,       // discovery reply: the name fills the datagram, no terminator
    Long,        // padded to 1024 bytes with 'Z' after the payload
    Empty,       // a 0-byte datagram
    ForeignTag,  // tag 0xEE, which no receiving interface accepts
    Stub,        // the command and tag only: a discovery reply without its type code
};

std::optional<ReplyShape> parseReplyShape(std::string_view text);
std::string_view replyShapeName(ReplyShape shape);

// The network parameters as the device keeps them. Addresses in host order.
struct NetSettings {
    std::uint32_t address = 0;
    std::uint32_t mask = 0xFFFFFF00;
    std::uint32_t gateway = 0;
    std::uint32_t dns = 0;
    std::uint16_t httpPort = 80;
    std::uint16_t reserved = 0;
    std::uint32_t dhcp = 0;
    std::uint32_t opaque = 0;
};

inline constexpr std::size_t kCloudRecordSize = 132;
inline constexpr std::size_t kCloudTextSize = 64;
using CloudRecord = std::array<std::uint8_t, kCloudRecordSize>;

// How a device's stream port misbehaves after `faultAfter` media packets.
enum class StreamFault {
    None,
    Stall,         // stops sending, keeps the connection open
    Reset,         // resets the connection (RST)
    Oversize,      // a packet header announcing more than a client slot holds
    Garbage,       // video packets of random bytes from then on
    Partial,       // a packet header and half the payload it announces, then nothing more
    PartialClose,  // the same, then an orderly close
    NoStartCodes,  // video packets of 2 MiB without a single start code from then on
};

std::optional<StreamFault> parseStreamFault(std::string_view text);
std::string_view streamFaultName(StreamFault fault);

// The main stream of a camera or NVR (sub-streams are D1 and CIF of the same codec).
struct VideoSettings {
    std::string codec = "h264";  // h264 | h265
    int width = 1280;
    int height = 720;
    int fps = 25;
    int bitrateKbps = 2000;
    int gop = 50;
    int codecCode = -1;      // byte 26 of the stream reply; -1: 1 for h264, 3 for h265
    int typeOneEvery = 1;    // a type-1 (non-video) packet after every N video packets; 0: none
    int otherTypeEvery = 0;  // a packet of type 7 after every N video packets; 0: none
    StreamFault fault = StreamFault::None;
    int faultAfter = 50;
    // What the stream reply claims, when not -1 (0 and sizes no picture has included): a reply
    // whose size differs from the pictures.
    int replyWidth = -1;
    int replyHeight = -1;
    // Nothing is sent for this long after the reply: a camera slow to bring its first picture.
    int startDelayMs = 0;
    // A recording played in a loop in place of the test pattern, on every stream; codec, size
    // and rate are the file's. `fileFrames`: its pictures, learnt when it was set.
    std::string file;
    int fileFrames = 0;
    // The stream request is taken and never answered; the connection stays open.
    bool replySilent = false;
    // What the test pattern shows on every stream (not a recording's).
    Scene scene = Scene::Normal;

    [[nodiscard]] int replyCodecCode() const {
        return codecCode >= 0 ? codecCode : (codec == "h265" ? 3 : 1);
    }
};

// One key=value setting, as given on the command line, in a fleet file or at run time.
using Setting = std::pair<std::string, std::string>;

// Everything a simulated device is configured with: identity, credentials, every stored value,
// and its fault switches. Texts are UTF-8; they are converted to the device encoding on the wire
// (see deviceText).
struct DeviceConfig {
    std::uint32_t ip = 0;  // host order
    std::string mac;
    int type = 100;
    std::string name;
    std::string version = "v00.00.22.06";
    std::string user = "admin";
    std::string password;
    std::uint16_t port = 5505;
    std::uint8_t tag = 0;
    int replyDelayMs = 0;
    int jitterMs = 0;
    int versionDelayMs = 0;  // added to replyDelayMs for the firmware version query
    // After a move, frames for the old address are still taken for this long: the program
    // sends the audio flag to the old address right after the new network parameters.
    int moveGraceMs = 1000;

    NetSettings net;
    std::uint32_t audio = 0;
    std::uint32_t protocol = 0;
    std::uint32_t overlay = 0;
    std::uint32_t onvifSubStream = 1;
    std::uint32_t resolution = 0;
    std::uint16_t outputResolution = 0;
    // Kept as raw bytes so that what the program wrote comes back byte for byte.
    CloudRecord cloud{};

    bool loginRefused = false;
    bool tcpSilent = false;
    // Every reply on the command port, and the stream port's 32-byte reply, goes out one byte
    // at a time with this many milliseconds between bytes (0: whole).
    int tcpTrickleMs = 0;
    // Lies on the command port: every reply announces this `length` instead of its own, and is
    // cut to this many bytes (-1: true length, whole reply). The connection stays open.
    int tcpReplyLength = -1;
    int tcpReplyCut = -1;
    bool noTcp = false;
    bool dropUdp = false;
    // Lies about a move: takes new network parameters as if it moved, but keeps answering on its
    // old address.
    bool stayOnMove = false;
    // After taking a firmware package (answer tag 1) the device restarts: silent on UDP and
    // TCP for this long, then back (running the package's version with uploadInstalls).
    // 0: it answers on at once.
    int rebootSeconds = 0;
    int duplicates = 0;
    std::optional<std::string> duplicateName;
    ReplyShape replyShape = ReplyShape::Normal;
    VideoSettings video;
    UploadSettings upload;

    // Applies one setting; returns an error text, empty on success. Changing `ip` here only
    // changes the field: moving a running device is the simulator's business.
    std::string apply(std::string_view key, std::string_view value);
    // The name of every setting apply() takes, aliases included.
    static std::vector<std::string> settingNames();
    // The "video.*" settings, without their prefix.
    std::string applyVideo(std::string_view key, std::string_view value);

    std::string cloudIdentity() const;
    std::string cloudPassword() const;
    std::int32_t cloudDeviceId() const;

    // The settings as JSON, in the shape a fleet file accepts.
    nlohmann::json toJson() const;

    // A device from settings; type-dependent defaults (port, name, gateway) are filled in for
    // what was not given. nullopt with `error` set when a setting is wrong or ip is missing.
    static std::optional<DeviceConfig> build(const std::vector<Setting>& settings,
                                             std::string& error);
};

// The bytes a device sends for a configured text (name, version, cloud identity or password):
// the UTF-8 text in the device encoding, or, written as "hex:1b5d...", exactly those bytes, so
// that a device can send what no encoding would produce. nullopt for bad hex.
std::optional<std::string> deviceText(std::string_view configured);

// Formatting and parsing of dotted IPv4 addresses in host order.
std::string formatAddress(std::uint32_t address);
std::optional<std::uint32_t> parseAddress(std::string_view text);

}  // namespace tarvo::sim

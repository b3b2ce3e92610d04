#include "sim/Device.h"

#include <algorithm>

#include "core/text/TextConvert.h"

namespace tarvo::sim {

namespace {

// Command codes, as the devices know them.
constexpr std::uint8_t kLogin = 0;
constexpr std::uint8_t kDiscover = 10;
constexpr std::uint8_t kDiscoverReply = 100;
constexpr std::uint8_t kGetNet = 99;
constexpr std::uint8_t kSetNet = 106;
constexpr std::uint8_t kSetCloud = 123;
constexpr std::uint8_t kGetCloud = 124;
constexpr std::uint8_t kSetAudio = 128;
constexpr std::uint8_t kGetAudio = 129;
constexpr std::uint8_t kSetProtocol = 139;
constexpr std::uint8_t kGetProtocol = 140;
constexpr std::uint8_t kSetOverlay = 141;
constexpr std::uint8_t kGetOverlay = 142;
constexpr std::uint8_t kResolveMacConflict = 143;
constexpr std::uint8_t kSetResolution = 144;
constexpr std::uint8_t kGetResolution = 145;
constexpr std::uint8_t kSubStream = 148;  // query (6 bytes) and reply (10 bytes)
constexpr std::uint8_t kSetSubStream = 149;
constexpr std::uint8_t kNetReply = 180;
constexpr std::uint8_t kLoginReply = 181;
constexpr std::uint8_t kCloudReply = 182;
constexpr std::uint8_t kAudioReply = 183;
constexpr std::uint8_t kProtocolReply = 184;
constexpr std::uint8_t kOverlayReply = 185;
constexpr std::uint8_t kMacReply = 186;
constexpr std::uint8_t kResolutionReply = 187;

constexpr std::uint8_t kVersion = 103;
constexpr std::uint8_t kReboot = 130;
constexpr std::uint8_t kNvrVersion = 231;
constexpr std::uint8_t kGetOutput = 232;
constexpr std::uint8_t kSetOutput = 233;

constexpr std::size_t kNetParamsSize = 28;
constexpr std::size_t kCredentialSize = 12;
constexpr std::size_t kLoginReplySize = 12;
constexpr std::size_t kLongDatagram = 1024;
constexpr std::uint8_t kForeignTag = 0xEE;
constexpr std::uint16_t kHighestOutputIndex = 5;
constexpr int kNvrType = 181;

// A credential field: up to its first NUL, or all 12 bytes when it has none.
std::string credentialField(wire::ByteView frame, std::size_t offset) {
    std::string field;
    for (std::size_t i = 0; i < kCredentialSize; ++i) {
        const std::uint8_t byte = wire::getU8(frame, offset + i);
        if (byte == 0) break;
        field += static_cast<char>(byte);
    }
    return field;
}

// What the device expects in a field: its credential in the device encoding, cut to 12 bytes.
std::string expectedCredential(const std::string& utf8) {
    std::string narrow = text::narrowString(text::fromUtf8(utf8));
    if (narrow.size() > kCredentialSize) narrow.resize(kCredentialSize);
    return narrow;
}

std::string readable(const std::string& deviceText) {
    return text::toUtf8(text::widenString(deviceText));
}

std::string_view transportName(Transport transport) {
    return transport == Transport::Tcp ? "tcp" : "udp";
}

}  // namespace

Device::Device(DeviceConfig config) : config_(std::move(config)) {}

bool Device::answersTo(std::uint16_t target, Clock::time_point now) const {
    if (target == this->target()) return true;
    return formerTarget_ && *formerTarget_ == target && now < formerUntil_;
}

void Device::record(Transport transport, wire::ByteView frame, std::uint16_t sourcePort) {
    if (received_.size() >= kReceivedCap) {
        received_.pop_front();
        ++receivedDropped_;
    }
    received_.push_back(
        ReceivedFrame{transport, wire::Bytes(frame.begin(), frame.end()), sourcePort});
}

void Device::moveTo(std::uint32_t address, Clock::time_point now) {
    formerTarget_ = target();
    formerUntil_ = now + std::chrono::milliseconds(config_.moveGraceMs);
    config_.ip = address;
    config_.net.address = address;
}

std::chrono::milliseconds Device::replyDelay(std::mt19937& random) const {
    int delay = config_.replyDelayMs;
    if (config_.jitterMs > 0) {
        delay += std::uniform_int_distribution<int>(0, config_.jitterMs)(random);
    }
    return std::chrono::milliseconds(delay);
}

bool Device::checkLogin(Transport transport, wire::ByteView frame, std::size_t offset) {
    const std::string user = credentialField(frame, offset);
    const std::string password = credentialField(frame, offset + kCredentialSize);
    const bool accepted = !config_.loginRefused && user == expectedCredential(config_.user) &&
                          password == expectedCredential(config_.password);
    logins_.push_back(LoginRecord{transport, user, password, accepted});
    return accepted;
}

wire::Bytes Device::discoveryReply(const std::string& name) const {
    const std::string narrow = deviceText(name).value_or(std::string());
    // The name with its terminator; without one when the shape asks for it.
    const std::size_t nul = config_.replyShape == ReplyShape::NoNul ? 0 : 1;
    auto frame =
        wire::makeFrame(kDiscoverReply, config_.tag, static_cast<std::uint16_t>(config_.type),
                        std::min(wire::kHeaderSize + narrow.size() + nul, kLongDatagram));
    for (std::size_t i = 0; i < narrow.size() && wire::kHeaderSize + i < frame.size(); ++i) {
        frame[wire::kHeaderSize + i] = static_cast<std::uint8_t>(narrow[i]);
    }
    return frame;
}

wire::Bytes Device::valueReply(std::uint8_t command, std::uint32_t value) const {
    auto frame = wire::makeFrame(command, config_.tag, target(), 10);
    wire::putU32(frame, 6, value);
    return frame;
}

wire::Bytes Device::shaped(wire::Bytes frame) const {
    switch (config_.replyShape) {
        case ReplyShape::Normal:
        case ReplyShape::NoNul:
            break;
        case ReplyShape::Short:
            frame.resize(4);
            break;
        case ReplyShape::Long: {
            const std::size_t used = std::min(frame.size(), kLongDatagram);
            frame.resize(kLongDatagram, 'Z');
            std::fill(frame.begin() + static_cast<std::ptrdiff_t>(used), frame.end(), 'Z');
            wire::putU16(frame, 4, static_cast<std::uint16_t>(kLongDatagram));
            break;
        }
        case ReplyShape::Empty:
            frame.clear();
            break;
        case ReplyShape::ForeignTag:
            frame[1] = kForeignTag;
            break;
        case ReplyShape::Stub:
            frame.resize(2);
            break;
    }
    return frame;
}

wire::Bytes Device::netParamsReply() const {
    auto bytes = wire::makeFrame(kNetReply, config_.tag, target(), 6 + kNetParamsSize);
    wire::putAddress(bytes, 6, config_.net.address);
    wire::putAddress(bytes, 10, config_.net.mask);
    wire::putAddress(bytes, 14, config_.net.gateway);
    wire::putAddress(bytes, 18, config_.net.dns);
    wire::putU16(bytes, 22, config_.net.httpPort);
    wire::putU16(bytes, 24, config_.net.reserved);
    wire::putU32(bytes, 26, config_.net.dhcp);
    wire::putU32(bytes, 30, config_.net.opaque);
    return bytes;
}

std::uint32_t Device::takeNetParams(wire::ByteView frame) {
    config_.net.address = wire::getAddress(frame, 6);
    config_.net.mask = wire::getAddress(frame, 10);
    config_.net.gateway = wire::getAddress(frame, 14);
    config_.net.dns = wire::getAddress(frame, 18);
    config_.net.httpPort = wire::getU16(frame, 22);
    config_.net.reserved = wire::getU16(frame, 24);
    config_.net.dhcp = wire::getU32(frame, 26);
    config_.net.opaque = wire::getU32(frame, 30);
    return config_.net.address;
}

void Device::takeValue(std::uint8_t command, std::uint32_t value) {
    if (command == kSetAudio) config_.audio = value;
    if (command == kSetProtocol) config_.protocol = value;
    if (command == kSetOverlay) config_.overlay = value;
    if (command == kSetResolution) config_.resolution = value;
    if (command == kSetSubStream) config_.onvifSubStream = value;
}

Device::UdpOutcome Device::handleUdp(const wire::Header& header, wire::ByteView frame) {
    UdpOutcome outcome;
    auto reply = [&](wire::Bytes bytes) { outcome.replies.push_back(shaped(std::move(bytes))); };
    switch (header.command) {
        case kDiscover:
            reply(discoveryReply(config_.name));
            for (int i = 0; i < config_.duplicates; ++i) {
                reply(discoveryReply(config_.duplicateName.value_or(config_.name)));
            }
            break;
        case kGetNet:
            reply(netParamsReply());
            break;
        case kSetNet:
            if (frame.size() >= 6 + kNetParamsSize) {
                const std::uint32_t address = takeNetParams(frame);
                if (address != config_.ip) outcome.newAddress = address;
            }
            break;
        case kGetAudio:
            reply(valueReply(kAudioReply, config_.audio));
            break;
        case kLogin: {
            const bool accepted = checkLogin(Transport::Udp, frame, 6);
            auto bytes = wire::makeFrame(kLoginReply, config_.tag, target(), 7);
            bytes[6] = accepted ? 1 : 0;
            reply(std::move(bytes));
            break;
        }
        case kGetCloud: {
            auto bytes = wire::makeFrame(kCloudReply, config_.tag, target(), 6 + kCloudRecordSize);
            std::copy(config_.cloud.begin(), config_.cloud.end(), bytes.begin() + 6);
            reply(std::move(bytes));
            break;
        }
        case kSetCloud:
            if (frame.size() >= 6 + kCloudRecordSize) {
                std::copy_n(frame.begin() + 6, kCloudRecordSize, config_.cloud.begin());
            }
            break;
        case kGetProtocol:
            reply(valueReply(kProtocolReply, config_.protocol));
            break;
        case kGetOverlay:
            reply(valueReply(kOverlayReply, config_.overlay));
            break;
        case kSubStream:
            // The query is header-only; a 148 carrying a value is another device's reply.
            if (frame.size() < 10) reply(valueReply(kSubStream, config_.onvifSubStream));
            break;
        case kGetResolution:
            reply(valueReply(kResolutionReply, config_.resolution));
            break;
        case kResolveMacConflict:
            ++macResets_;
            reply(wire::makeFrame(kMacReply, config_.tag, target(), 6));
            break;
        case kSetAudio:
        case kSetProtocol:
        case kSetOverlay:
        case kSetResolution:
        case kSetSubStream:
            if (frame.size() >= 10) takeValue(header.command, wire::getU32(frame, 6));
            break;
        default:
            break;  // replies of other devices and unknown commands: seen, not answered
    }
    return outcome;
}

Device::TcpOutcome Device::handleTcp(const wire::Header& header, wire::ByteView frame,
                                     bool& loggedIn) {
    TcpOutcome outcome;
    switch (header.command) {
        case kLogin: {
            loggedIn = checkLogin(Transport::Tcp, frame, 6);
            auto bytes = wire::makeFrame(kLogin, config_.tag, 0, kLoginReplySize);
            bytes[8] = loggedIn ? 1 : 0;
            outcome.reply = std::move(bytes);
            break;
        }
        case kVersion:
        case kNvrVersion: {
            if (header.command == kNvrVersion && config_.type != kNvrType) break;
            const std::string narrow = deviceText(config_.version).value_or(std::string());
            auto bytes = wire::makeFrame(header.command, config_.tag, 0,
                                         std::min<std::size_t>(6 + narrow.size() + 1, 0xFFFF));
            std::copy_n(narrow.begin(), bytes.size() - 7, bytes.begin() + 6);
            outcome.reply = std::move(bytes);
            outcome.extraDelay = std::chrono::milliseconds(config_.versionDelayMs);
            break;
        }
        case kReboot:
            // A device reboots only for a logged-in peer; then it drops the connection.
            if (!loggedIn) break;
            ++reboots_;
            outcome.reply = wire::makeFrame(kReboot, config_.tag, 0, 6);
            outcome.closeAfterReply = true;
            break;
        case kGetOutput:
            outcome.reply = wire::makeFrame(kGetOutput, config_.tag, config_.outputResolution, 6);
            break;
        case kSetOutput:
            if (header.target <= kHighestOutputIndex) config_.outputResolution = header.target;
            break;
        default:
            break;
    }
    if (config_.tcpSilent) outcome = TcpOutcome{};
    return outcome;
}

void Device::clearReceived() {
    received_.clear();
    receivedDropped_ = 0;
}

void Device::clearAll() {
    clearReceived();
    logins_.clear();
    reboots_ = 0;
    macResets_ = 0;
    uploads.clear();
}

nlohmann::json Device::toJson() const {
    nlohmann::json out = config_.toJson();
    out["tcpListening"] = tcpListening;
    if (!tcpError.empty()) out["tcpError"] = tcpError;
    out["reboots"] = reboots_;
    out["rebooting"] = rebooting(Clock::now());
    out["macResets"] = macResets_;
    nlohmann::json logins = nlohmann::json::array();
    for (const auto& login : logins_) {
        logins.push_back({{"transport", transportName(login.transport)},
                          {"user", readable(login.user)},
                          {"password", readable(login.password)},
                          {"accepted", login.accepted}});
    }
    out["logins"] = std::move(logins);
    nlohmann::json received = nlohmann::json::array();
    for (const auto& frame : received_) {
        received.push_back({{"transport", transportName(frame.transport)},
                            {"command", wire::getU8(frame.bytes, 0)},
                            {"length", wire::getU16(frame.bytes, 4)},
                            {"hex", wire::hexOf(frame.bytes)}});
        if (frame.transport == Transport::Udp) received.back()["sourcePort"] = frame.sourcePort;
    }
    out["received"] = std::move(received);
    out["receivedDropped"] = receivedDropped_;
    out["uploads"] = uploads.toJson();
    return out;
}

}  // namespace tarvo::sim

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/DeviceConfig.h"
#include "sim/Wire.h"

namespace tarvo::sim {

enum class Transport { Udp, Tcp };

// One simulated device: its configuration, what it has seen, and how it answers a frame.
// It knows nothing of sockets; the simulator carries its replies.
class Device {
public:
    using Clock = std::chrono::steady_clock;

    // Frames kept per device for the control interface; older ones are dropped first.
    static constexpr std::size_t kReceivedCap = 10'000;

    explicit Device(DeviceConfig config);

    DeviceConfig& config() { return config_; }
    const DeviceConfig& config() const { return config_; }

    // The `target` value of requests meant for this device.
    std::uint16_t target() const { return wire::targetOf(config_.ip); }
    // True when a request with this `target` is for the device: its own address, or the
    // address it has just left while the grace period lasts.
    bool answersTo(std::uint16_t target, Clock::time_point now) const;

    bool inMoveGrace(Clock::time_point now) const { return formerTarget_ && now < formerUntil_; }

    // `sourcePort`: the UDP port the frame came from (0 for TCP).
    void record(Transport transport, wire::ByteView frame, std::uint16_t sourcePort = 0);

    struct UdpOutcome {
        std::vector<wire::Bytes> replies;  // in sending order
        // Set when a network-parameters write gave the device another address.
        std::optional<std::uint32_t> newAddress;
    };
    UdpOutcome handleUdp(const wire::Header& header, wire::ByteView frame);

    struct TcpOutcome {
        std::optional<wire::Bytes> reply;
        bool closeAfterReply = false;
        std::chrono::milliseconds extraDelay{0};  // on top of the device's reply delay
    };
    // `loggedIn` belongs to the connection: a reboot is taken only after a good login.
    TcpOutcome handleTcp(const wire::Header& header, wire::ByteView frame, bool& loggedIn);

    // Moves the device; frames for the old address are still taken for moveGraceMs.
    void moveTo(std::uint32_t address, Clock::time_point now);

    // Delay before a reply goes out: replyDelayMs plus up to jitterMs.
    std::chrono::milliseconds replyDelay(std::mt19937& random) const;

    void clearReceived();
    void clearAll();

    nlohmann::json toJson() const;

    // Firmware uploads seen on the command port.
    UploadLog uploads;

    bool tcpListening = false;
    // Restarting after a firmware upload: silent on UDP and TCP until then.
    Clock::time_point rebootingUntil{};
    [[nodiscard]] bool rebooting(Clock::time_point now) const { return now < rebootingUntil; }
    std::string tcpError;

private:
    struct LoginRecord {
        Transport transport = Transport::Tcp;
        std::string user;
        std::string password;
        bool accepted = false;
    };
    struct ReceivedFrame {
        Transport transport = Transport::Udp;
        wire::Bytes bytes;
        std::uint16_t sourcePort = 0;
    };

    // Compares the 12-byte user and password fields at `offset` with the credentials.
    bool checkLogin(Transport transport, wire::ByteView frame, std::size_t offset);
    wire::Bytes discoveryReply(const std::string& name) const;
    wire::Bytes valueReply(std::uint8_t command, std::uint32_t value) const;
    wire::Bytes shaped(wire::Bytes frame) const;
    wire::Bytes netParamsReply() const;
    // Keeps the network parameters of a 99 frame (its length checked); the address they name.
    std::uint32_t takeNetParams(wire::ByteView frame);
    // Keeps the value of one of the single-value writes (audio, protocol, overlay...).
    void takeValue(std::uint8_t command, std::uint32_t value);

    DeviceConfig config_;
    std::optional<std::uint16_t> formerTarget_;
    Clock::time_point formerUntil_{};
    int reboots_ = 0;
    int macResets_ = 0;
    std::vector<LoginRecord> logins_;
    std::deque<ReceivedFrame> received_;
    std::uint64_t receivedDropped_ = 0;
};

}  // namespace tarvo::sim

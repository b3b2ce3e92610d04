#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/net/Socket.h"
#include "sim/Device.h"
#include "sim/EventLoop.h"
#include "sim/VideoClip.h"

namespace tarvo::sim {

// The stream ports (command port + 1) of cameras and NVRs: the 12-byte request is checked,
// the 32-byte reply gives width, height and codec code, then media packets follow at the
// stream's frame rate: one type-0 packet per encoded picture (18-byte header, payload), type-1
// packets in between, and the device's stream fault when it is due.
//
// Media packet header as sent here: byte 0 type (high nibble 1 on key pictures), length at 6,
// the picture's running number at 10 and the sending time (steady clock, ms, low 32 bits) at
// 14; clients read only the type and the length.
class StreamService {
public:
    // A client that does not keep up loses pictures up to the next key picture once this much
    // is waiting to be sent.
    static constexpr std::size_t kMaxBacklog = 8 * 1024 * 1024;
    static constexpr std::size_t kTypeOnePayload = 160;
    // A length that no 3 MiB client slot can hold (3 MiB - 18 + 1).
    static constexpr std::uint32_t kOversizeLength = 0x300000 - 18 + 1;
    static constexpr std::uint32_t kNoStartCodePayload = 2 * 1024 * 1024;

    StreamService(EventLoop& loop, VideoLibrary& library, std::mt19937& random)
        : loop_(loop), library_(library), random_(random) {}
    ~StreamService() { closeAll(); }
    StreamService(const StreamService&) = delete;
    StreamService& operator=(const StreamService&) = delete;

    // Opens (or re-opens) the device's stream listener; DVRs and devices without TCP get none.
    bool listen(Device& device);
    void closeListener(Device& device);
    void closeAll();

    // {"listening", "requests": [{"hex", "accepted"}], "connections", "packetsSent",
    //  "framesSent", "framesDropped", "faults"}.
    nlohmann::json stateOf(const Device& device) const;
    void clear(const Device& device);

    // The picture format a request for `streamChoice` gets from this device.
    static VideoFormat formatFor(const DeviceConfig& config, int streamChoice, bool nvrRequest);

private:
    struct Stats {
        bool listening = false;
        std::deque<std::pair<std::string, bool>> requests;
        int connections = 0;
        std::uint64_t packetsSent = 0;
        std::uint64_t framesSent = 0;
        std::uint64_t framesDropped = 0;
        std::uint64_t faults = 0;
    };
    struct Connection {
        std::uint64_t id = 0;
        net::Socket socket;
        Device* device = nullptr;
        std::vector<std::uint8_t> request;
        bool streaming = false;
        bool stalled = false;
        bool closeWhenSent = false;  // an orderly close once the output is out
        bool writing = false;
        bool waitKey = false;
        std::shared_ptr<const VideoClip> clip;
        std::uint64_t position = 0;  // pictures sent or dropped so far
        std::uint64_t videoPackets = 0;
        EventLoop::Clock::time_point start;
        EventLoop::TimerId timer = 0;
        EventLoop::TimerId idleTimer = 0;
        std::vector<std::uint8_t> output;
        std::size_t outputSent = 0;
    };

    void accept(Device& device, int listenFd);
    void onEvents(std::uint64_t id, std::uint32_t events);
    bool takeRequest(Connection& connection);
    void scheduleNext(Connection& connection, EventLoop::Clock::time_point when);
    void tick(std::uint64_t id);
    // False when the connection is to be closed.
    bool sendPicture(Connection& connection);
    // The device's stream fault when it is due in place of this picture: whether the connection
    // stays; nullopt when the picture goes as usual.
    std::optional<bool> sendFault(Connection& connection, const VideoClip::Frame& frame,
                                  std::uint32_t number);
    // The picture's packet (or, under the garbage fault, random bytes of its size).
    void appendPicture(Connection& connection, const VideoClip::Frame& frame, std::uint32_t number);
    // The packets of other types the device sends between pictures.
    void appendOtherTypes(Connection& connection, std::uint32_t number);
    // `length` is what the header announces; normally the payload's size.
    void appendPacket(Connection& connection, std::uint8_t typeByte, std::uint32_t length,
                      std::span<const std::uint8_t> payload, std::uint32_t number);
    bool flush(Connection& connection);
    void closeConnection(std::uint64_t id, bool reset = false);

    EventLoop& loop_;
    VideoLibrary& library_;
    std::mt19937& random_;
    std::unordered_map<Device*, net::Socket> listeners_;
    std::unordered_map<const Device*, Stats> stats_;
    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::uint64_t nextId_ = 1;
};

}  // namespace tarvo::sim

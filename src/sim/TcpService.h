#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>

#include "core/net/Socket.h"
#include "sim/Device.h"
#include "sim/EventLoop.h"
#include "sim/UploadReceiver.h"

namespace tarvo::sim {

// The devices' command ports: one listener per device on its address and port, and the
// connections they accept. Frames are read whole (header, then the rest of `length`), handed
// to the device, and its reply is written after the device's reply delay.
class TcpService {
public:
    static constexpr auto kIdleTimeout = std::chrono::seconds(30);

    TcpService(EventLoop& loop, std::mt19937& random) : loop_(loop), random_(random) {}
    ~TcpService() { closeAll(); }
    TcpService(const TcpService&) = delete;
    TcpService& operator=(const TcpService&) = delete;

    // Opens (or re-opens, after a move or a port change) the device's listener; closes it when
    // the device has noTcp. Failures are noted on the device.
    bool listen(Device& device);
    void closeListener(Device& device);
    void closeAll();

private:
    // The most read from a connection at once (uploads at a set rate read less).
    static constexpr std::size_t kReadChunk = 65536;
    struct Connection {
        std::uint64_t id = 0;
        net::Socket socket;
        Device* device = nullptr;
        wire::Bytes input;
        wire::Bytes output;
        bool loggedIn = false;
        bool closeAfterFlush = false;
        bool writing = false;
        bool finished = false;   // failed, or done after closeAfterFlush: close it
        int repliesWaiting = 0;  // delayed replies not yet in `output`
        EventLoop::Clock::time_point lastActivity;
        EventLoop::Clock::time_point lastReplyDue;
        EventLoop::TimerId idleTimer = 0;
        // A firmware upload in progress: its bytes are not frames (TcpServiceUpload.cpp).
        std::unique_ptr<UploadReceiver> upload;
        bool readPaused = false;
    };

    void accept(Device& device, int listenFd);
    // The device restarts after taking a package (rebootSeconds): silent, then back with
    // `version` when it installs what it took. Connection `keep` sends its answer first.
    void reboot(Device& device, std::optional<std::string> version, std::uint64_t keep);
    void onEvents(std::uint64_t id, std::uint32_t events);
    bool readInput(Connection& connection);
    void takeFrames(Connection& connection);
    void queueReply(Connection& connection, wire::Bytes reply, bool closeAfter,
                    std::chrono::milliseconds extraDelay = {});
    // Puts `bytes` on the wire at `due`, after everything delivered before it.
    void deliverAt(Connection& connection, EventLoop::Clock::time_point due, wire::Bytes bytes);
    bool flush(Connection& connection);
    void armIdleTimer(Connection& connection, std::chrono::milliseconds wait);
    void closeConnection(std::uint64_t id);
    // Upload mode: feeds the receiver from `input` at `used`; false when frames go on.
    bool takeUpload(Connection& connection, std::size_t& used);
    std::size_t readLimit(const Connection& connection) const;
    void pauseReading(Connection& connection, std::chrono::milliseconds wait);
    void updateWatch(Connection& connection);

    EventLoop& loop_;
    std::mt19937& random_;
    std::unordered_map<Device*, net::Socket> listeners_;
    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::uint64_t nextId_ = 1;
};

}  // namespace tarvo::sim

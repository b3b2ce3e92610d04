#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/net/Socket.h"
#include "sim/Wire.h"

namespace tarvo::sim {

// The group socket: bound to 233.0.0.1:5250 beside the program under test, joined on every
// multicast-capable interface. Replies leave through the same socket, so their source port is
// 5250, with the device's address as source (IP_PKTINFO). Multicast loops back, so the channel
// remembers what it sent and drops those datagrams when they come back.
class UdpChannel {
public:
    static constexpr std::uint16_t kPort = 5250;

    struct Datagram {
        std::uint32_t source = 0;  // host order
        std::uint16_t sourcePort = 0;
        int interfaceIndex = 0;
        wire::Bytes bytes;
    };

    bool open(std::string& error);
    void close() { socket_.close(); }
    [[nodiscard]] int fd() const { return socket_.fd(); }
    [[nodiscard]] const std::vector<std::string>& joinedInterfaces() const { return joined_; }

    // One datagram; false when none is waiting (or the socket failed). Own echoes are skipped.
    bool receive(Datagram& datagram);

    // Sends to the group from `source` (host order) on `interfaceIndex` (0: by route). A full
    // socket buffer queues the datagram until flush().
    void send(std::uint32_t source, int interfaceIndex, wire::Bytes bytes);
    void flush();
    [[nodiscard]] bool hasQueued() const { return !queue_.empty(); }

    // Datagrams handed to the system, and those given up (send error or queue full), so far.
    [[nodiscard]] std::uint64_t sentCount() const { return sent_; }
    [[nodiscard]] std::uint64_t droppedCount() const { return dropped_; }
    [[nodiscard]] std::size_t queuedCount() const { return queue_.size(); }

private:
    struct Outgoing {
        std::uint32_t source = 0;
        int interfaceIndex = 0;
        wire::Bytes bytes;
    };
    enum class SendResult { Sent, Busy, Failed };

    SendResult sendNow(const Outgoing& outgoing);
    static std::uint64_t echoKey(std::uint32_t source, wire::ByteView bytes);
    void expireEchoes();
    void rememberEcho(const Outgoing& outgoing);

    net::Socket socket_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(65536);
    std::vector<std::string> joined_;
    std::deque<Outgoing> queue_;
    // Datagrams sent recently, by source and content, waiting for their looped-back copy.
    // Per key the send times not yet matched by an echo, oldest first.
    std::unordered_map<std::uint64_t, std::deque<std::chrono::steady_clock::time_point>>
        pendingEchoes_;
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::uint64_t>> echoOrder_;
    std::uint64_t sent_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace tarvo::sim

#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <span>
#include <utility>

namespace tarvo::net {

// One datagram as recvmsg left it.
struct ReceivedDatagram {
    long size = -1;  // -1: nothing read, errno tells why
    sockaddr_in from{};
    // The interface it arrived on, where the socket reports it (IP_PKTINFO); else 0.
    unsigned interfaceIndex = 0;
};

// Owns one POSIX socket descriptor. Closing shuts the socket down first, so that a receive
// blocked on it in another thread returns instead of waiting for its time-out.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { close(); }

    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Socket& operator=(Socket&& other) noexcept;

    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    // Wakes every thread blocked on the socket; the descriptor stays open.
    void shutdown() const;
    // shutdown() then close(); the slot becomes invalid.
    void close();
    int release() { return std::exchange(fd_, -1); }

    // Send and receive time-outs (SO_SNDTIMEO / SO_RCVTIMEO), in milliseconds.
    bool setTimeouts(int sendMs, int receiveMs) const;
    bool setBlocking(bool blocking) const;

    // Reads one datagram into `buffer` (a longer one is cut to its size).
    ReceivedDatagram receiveDatagram(std::span<std::uint8_t> buffer) const;

private:
    int fd_ = -1;
};

}  // namespace tarvo::net

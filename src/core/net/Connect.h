#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/net/Socket.h"

namespace tarvo::net {

inline constexpr int kConnectWaitMs = 4000;
inline constexpr int kCommandIoTimeoutMs = 5000;

// IPv4 address of a dotted text (inet_addr rules), else of a host name (first address).
// Network byte order. Empty or unresolvable: nullopt.
std::optional<std::uint32_t> resolveIPv4(std::string_view host);

// TCP connect that gives up after kConnectWaitMs. On true `slot` holds a connected, blocking
// socket whose send and receive time-outs are `ioTimeoutMs`; on false it is invalid.
// An empty host fails at once and leaves the slot untouched. A refused or failed connection
// is reported as failure as soon as the system knows, not only after the wait.
bool connectWithTimeout(std::string_view host, std::uint16_t port, Socket& slot,
                        int ioTimeoutMs = kCommandIoTimeoutMs);

// The same procedure without the empty-host test (the upload dialogs use it on their own slot).
bool connectSocket(std::string_view host, std::uint16_t port, Socket& slot, int ioTimeoutMs,
                   int waitMs = kConnectWaitMs);

// One send of the whole buffer; never raises SIGPIPE. Returns bytes sent or -1.
long sendBytes(const Socket& socket, const void* data, std::size_t size);
// One receive; -1 on error or time-out, 0 when the peer closed.
long receiveOnce(const Socket& socket, void* data, std::size_t capacity);

// How a bounded receive ended.
enum class ReceiveEnd {
    Complete,  // the buffer is full
    Closed,    // the peer closed first (or the socket was shut down from another thread)
    Failed,    // a receive error
    TimedOut,  // the time allowed ran out first
};
struct Received {
    std::size_t count = 0;  // bytes at the front of the buffer
    ReceiveEnd end = ReceiveEnd::Failed;
};

// Receives until `buffer` is full, joining the pieces a reply may arrive in, and gives up at
// `deadline`: the wait is bounded for the whole buffer, so a peer that sends a byte now and
// then cannot hold the caller longer than that.
Received receiveFull(const Socket& socket, std::span<std::uint8_t> buffer,
                     std::chrono::steady_clock::time_point deadline);
Received receiveFull(const Socket& socket, std::span<std::uint8_t> buffer, int timeoutMs);
// Waits until bytes arrive (or `deadline`), then takes what has arrived, up to the buffer's
// size: a count above 0 with Complete, or 0 with how the wait ended.
Received receiveSome(const Socket& socket, std::span<std::uint8_t> buffer,
                     std::chrono::steady_clock::time_point deadline);
// Takes what has already arrived, up to the buffer's size, without waiting.
std::size_t receiveAvailable(const Socket& socket, std::span<std::uint8_t> buffer);

}  // namespace tarvo::net

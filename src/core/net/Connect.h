#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
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

}  // namespace tarvo::net

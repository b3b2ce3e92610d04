#include "core/net/Connect.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>

#include "core/net/Clock.h"

namespace tarvo::net {

std::optional<std::uint32_t> resolveIPv4(std::string_view host) {
    if (host.empty()) return std::nullopt;
    const std::string text(host);
    const in_addr_t numeric = ::inet_addr(text.c_str());
    if (numeric != INADDR_NONE) return numeric;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    std::optional<std::uint32_t> result;
    for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
            result = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    ::freeaddrinfo(found);
    return result;
}

namespace {

// Waits until the non-blocking connect finished; true only when it succeeded.
bool waitConnected(const Socket& socket, int waitMs) {
    const std::uint32_t start = tickMs();
    for (;;) {
        const int elapsed = static_cast<int>(tickMs() - start);
        const int left = waitMs - elapsed;
        if (left <= 0) return false;
        pollfd pfd{socket.fd(), POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        // Writable also means "failed" on Linux: ask the socket what happened.
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) return false;
        return error == 0;
    }
}

}  // namespace

bool connectSocket(std::string_view host, std::uint16_t port, Socket& slot, int ioTimeoutMs,
                   int waitMs) {
    slot.close();
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket) return false;
    if (!socket.setTimeouts(ioTimeoutMs, ioTimeoutMs)) return false;
    const auto address = resolveIPv4(host);
    if (!address) return false;
    if (!socket.setBlocking(false)) return false;

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = *address;
    const int started =
        ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (started != 0 && errno != EINPROGRESS && errno != EINTR) return false;
    const bool connected = started == 0 || waitConnected(socket, waitMs);
    if (!socket.setBlocking(true) || !connected) return false;
    slot = std::move(socket);
    return true;
}

bool connectWithTimeout(std::string_view host, std::uint16_t port, Socket& slot, int ioTimeoutMs) {
    if (host.empty()) return false;
    return connectSocket(host, port, slot, ioTimeoutMs);
}

long sendBytes(const Socket& socket, const void* data, std::size_t size) {
    if (!socket) return -1;
    for (;;) {
        const ssize_t sent = ::send(socket.fd(), data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        return static_cast<long>(sent);
    }
}

long receiveOnce(const Socket& socket, void* data, std::size_t capacity) {
    if (!socket) return -1;
    for (;;) {
        const ssize_t got = ::recv(socket.fd(), data, capacity, 0);
        if (got < 0 && errno == EINTR) continue;
        return static_cast<long>(got);
    }
}

Received receiveSome(const Socket& socket, std::span<std::uint8_t> buffer,
                     std::chrono::steady_clock::time_point deadline) {
    Received result;
    if (!socket) return result;
    if (buffer.empty()) {
        result.end = ReceiveEnd::Complete;
        return result;
    }
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.end = ReceiveEnd::TimedOut;
            return result;
        }
        pollfd pfd{socket.fd(), POLLIN, 0};
        const int ready =
            ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) {
            result.end = ReceiveEnd::Failed;
            return result;
        }
        if (ready <= 0) continue;  // the clock decides at the top
        // Never blocks: the socket's own receive time-out must not restart the wait.
        const ssize_t got = ::recv(socket.fd(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
            result.count = static_cast<std::size_t>(got);
            result.end = ReceiveEnd::Complete;
            return result;
        }
        if (got == 0) {
            result.end = ReceiveEnd::Closed;
            return result;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        result.end = ReceiveEnd::Failed;
        return result;
    }
}

Received receiveFull(const Socket& socket, std::span<std::uint8_t> buffer,
                     std::chrono::steady_clock::time_point deadline) {
    Received result;
    while (result.count < buffer.size()) {
        const Received piece = receiveSome(socket, buffer.subspan(result.count), deadline);
        if (piece.count == 0) {
            result.end = piece.end;
            return result;
        }
        result.count += piece.count;
    }
    result.end = ReceiveEnd::Complete;
    return result;
}

Received receiveFull(const Socket& socket, std::span<std::uint8_t> buffer, int timeoutMs) {
    return receiveFull(socket, buffer,
                       std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
}

std::size_t receiveAvailable(const Socket& socket, std::span<std::uint8_t> buffer) {
    std::size_t count = 0;
    while (socket && count < buffer.size()) {
        const ssize_t got =
            ::recv(socket.fd(), buffer.data() + count, buffer.size() - count, MSG_DONTWAIT);
        if (got > 0) {
            count += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        break;
    }
    return count;
}

}  // namespace tarvo::net

#include "sim/TcpService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace tarvo::sim {

namespace {

constexpr int kCommandBacklog = 128;
constexpr int kAcceptsPerWake = 64;
constexpr int kReadsPerWake = 16;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

}  // namespace

bool TcpService::listen(Device& device) {
    closeListener(device);
    device.tcpError.clear();
    if (device.config().noTcp) return true;

    net::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) {
        device.tcpError = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(device.config().port);
    address.sin_addr.s_addr = htonl(device.config().ip);
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.fd(), kCommandBacklog) != 0) {
        device.tcpError = "listen on " + formatAddress(device.config().ip) + ":" +
                          std::to_string(device.config().port) + ": " + std::strerror(errno);
        return false;
    }
    const int fd = socket.fd();
    Device* owner = &device;
    if (!loop_.add(fd, EPOLLIN, [this, owner, fd](std::uint32_t) { accept(*owner, fd); })) {
        device.tcpError = "cannot watch the listener";
        return false;
    }
    listeners_[&device] = std::move(socket);
    device.tcpListening = true;
    return true;
}

void TcpService::closeListener(Device& device) {
    device.tcpListening = false;
    const auto found = listeners_.find(&device);
    if (found == listeners_.end()) return;
    loop_.remove(found->second.fd());
    listeners_.erase(found);
}

void TcpService::closeAll() {
    for (auto& [device, socket] : listeners_) {
        loop_.remove(socket.fd());
        device->tcpListening = false;
    }
    listeners_.clear();
    while (!connections_.empty()) closeConnection(connections_.begin()->first);
}

void TcpService::accept(Device& device, int listenFd) {
    for (int i = 0; i < kAcceptsPerWake; ++i) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: the listener would stay readable and spin the loop.
                // Rest it a moment instead.
                std::cerr << "tarvo-sim: accept: " << std::strerror(errno) << "\n";
                Device* owner = &device;
                loop_.remove(listenFd);
                loop_.after(kAcceptPause, [this, owner, listenFd] {
                    const auto found = listeners_.find(owner);
                    if (found == listeners_.end() || found->second.fd() != listenFd) return;
                    loop_.add(listenFd, EPOLLIN,
                              [this, owner, listenFd](std::uint32_t) { accept(*owner, listenFd); });
                });
            }
            return;
        }
        // Replies are written whole, or byte by byte on purpose: never held back for more.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->id = nextId_++;
        connection->socket = net::Socket(fd);
        connection->device = &device;
        connection->lastActivity = EventLoop::Clock::now();
        const std::uint64_t id = connection->id;
        if (!loop_.add(fd, EPOLLIN, [this, id](std::uint32_t events) { onEvents(id, events); })) {
            continue;  // the socket closes with `connection`
        }
        Connection& stored = *connection;
        connections_.emplace(id, std::move(connection));
        armIdleTimer(stored, kIdleTimeout);
    }
}

void TcpService::armIdleTimer(Connection& connection, std::chrono::milliseconds wait) {
    const std::uint64_t id = connection.id;
    connection.idleTimer = loop_.after(wait, [this, id] {
        const auto found = connections_.find(id);
        if (found == connections_.end()) return;
        const auto idle = EventLoop::Clock::now() - found->second->lastActivity;
        if (idle >= kIdleTimeout) {
            closeConnection(id);
            return;
        }
        armIdleTimer(*found->second,
                     std::chrono::ceil<std::chrono::milliseconds>(kIdleTimeout - idle));
    });
}

void TcpService::onEvents(std::uint64_t id, std::uint32_t events) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    bool keep = (events & EPOLLERR) == 0;
    if (keep && (events & EPOLLOUT) != 0) keep = flush(connection);
    if (keep && connection.readPaused && (events & (EPOLLHUP | EPOLLRDHUP)) != 0) keep = false;
    if (keep && !connection.readPaused && (events & (EPOLLIN | EPOLLHUP)) != 0) {
        keep = readInput(connection);
    }
    if (keep && connection.closeAfterFlush) keep = flush(connection);
    if (!keep || connection.finished) closeConnection(id);
}

bool TcpService::readInput(Connection& connection) {
    std::array<std::uint8_t, kReadChunk> chunk{};
    for (int i = 0; i < kReadsPerWake; ++i) {
        const ssize_t got = ::recv(connection.socket.fd(), chunk.data(), readLimit(connection), 0);
        if (got > 0) {
            connection.lastActivity = EventLoop::Clock::now();
            // After a reboot the device takes nothing more from this peer.
            if (!connection.closeAfterFlush) {
                connection.input.insert(connection.input.end(), chunk.begin(), chunk.begin() + got);
            }
            takeFrames(connection);
            if (connection.finished || connection.readPaused) return true;
            continue;
        }
        if (got == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true;
}

void TcpService::takeFrames(Connection& connection) {
    Device& device = *connection.device;
    std::size_t used = 0;
    while (!connection.closeAfterFlush && !takeUpload(connection, used) &&
           connection.input.size() - used >= wire::kHeaderSize) {
        const wire::ByteView rest(connection.input.data() + used, connection.input.size() - used);
        const auto header = wire::parseHeader(rest);
        if (header->length < wire::kHeaderSize) {
            // No frame can be that short; nothing after it can be trusted.
            device.record(Transport::Tcp, rest.first(wire::kHeaderSize));
            connection.input.clear();
            connection.closeAfterFlush = true;
            return;
        }
        if (rest.size() < header->length) break;
        const wire::ByteView frame = rest.first(header->length);
        device.record(Transport::Tcp, frame);
        if (UploadReceiver::startsUpload(header->command, header->length, device.config().type)) {
            connection.upload =
                std::make_unique<UploadReceiver>(frame, device.config().upload, device.uploads);
            used += header->length;
            // A device that talks out of turn: bytes before it has read the package.
            if (!device.config().upload.leftover.empty()) {
                deliverAt(connection, EventLoop::Clock::now(), device.config().upload.leftover);
            }
            continue;
        }
        auto outcome = device.handleTcp(*header, frame, connection.loggedIn);
        used += header->length;
        if (outcome.reply)
            queueReply(connection, std::move(*outcome.reply), outcome.closeAfterReply,
                       outcome.extraDelay);
    }
    connection.input.erase(connection.input.begin(),
                           connection.input.begin() + static_cast<std::ptrdiff_t>(used));
}

void TcpService::queueReply(Connection& connection, wire::Bytes reply, bool closeAfter,
                            std::chrono::milliseconds extraDelay) {
    const DeviceConfig& config = connection.device->config();
    if (config.tcpReplyLength >= 0 && reply.size() >= wire::kHeaderSize) {
        wire::putU16(reply, 4, static_cast<std::uint16_t>(config.tcpReplyLength));
    }
    if (config.tcpReplyCut >= 0 && reply.size() > static_cast<std::size_t>(config.tcpReplyCut)) {
        reply.resize(static_cast<std::size_t>(config.tcpReplyCut));
    }
    const auto now = EventLoop::Clock::now();
    // Replies keep the order of their requests, whatever the jitter says.
    const auto due = std::max(now + connection.device->replyDelay(random_) + extraDelay,
                              connection.lastReplyDue);
    if (closeAfter) connection.closeAfterFlush = true;
    const auto trickle = std::chrono::milliseconds(connection.device->config().tcpTrickleMs);
    if (trickle.count() == 0 || reply.size() <= 1) {
        connection.lastReplyDue = due;
        deliverAt(connection, due, std::move(reply));
        return;
    }
    // One byte at a time: each its own delivery, so that the peer's reads see every byte alone.
    // Counted as waiting until all are scheduled, so that a close after the reply cannot
    // follow its first byte.
    ++connection.repliesWaiting;
    auto when = due;
    for (std::size_t i = 0; i < reply.size(); ++i, when += trickle) {
        deliverAt(connection, when, wire::Bytes{reply[i]});
    }
    --connection.repliesWaiting;
    connection.lastReplyDue = when - trickle;
}

void TcpService::deliverAt(Connection& connection, EventLoop::Clock::time_point due,
                           wire::Bytes bytes) {
    if (due <= EventLoop::Clock::now() && connection.repliesWaiting == 0) {
        connection.output.insert(connection.output.end(), bytes.begin(), bytes.end());
        // The caller is still working on this connection: it closes it when finished.
        if (!flush(connection)) connection.finished = true;
        return;
    }
    const std::uint64_t id = connection.id;
    ++connection.repliesWaiting;
    // At the due time itself, so that equal and rising due times keep their order.
    loop_.at(due, [this, id, bytes = std::move(bytes)] {
        const auto found = connections_.find(id);
        if (found == connections_.end()) return;
        Connection& target = *found->second;
        --target.repliesWaiting;
        target.output.insert(target.output.end(), bytes.begin(), bytes.end());
        if (!flush(target)) closeConnection(id);
    });
}

bool TcpService::flush(Connection& connection) {
    while (!connection.output.empty()) {
        const ssize_t sent = ::send(connection.socket.fd(), connection.output.data(),
                                    connection.output.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            return false;
        }
        connection.output.erase(connection.output.begin(), connection.output.begin() + sent);
    }
    const bool pending = !connection.output.empty();
    if (pending != connection.writing) {
        connection.writing = pending;
        updateWatch(connection);
    }
    // Close once everything promised has gone out (a reply may still wait for its delay).
    if (!pending && connection.closeAfterFlush && connection.repliesWaiting == 0) return false;
    return true;
}

void TcpService::closeConnection(std::uint64_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    loop_.remove(found->second->socket.fd());
    loop_.cancel(found->second->idleTimer);
    if (found->second->upload) found->second->upload->brokenOff();
    connections_.erase(found);  // closes the socket
}

}  // namespace tarvo::sim

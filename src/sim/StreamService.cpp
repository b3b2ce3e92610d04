#include "sim/StreamService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>

#include "sim/Wire.h"

namespace tarvo::sim {

namespace {

constexpr int kBacklog = 64;
constexpr std::size_t kRequestSize = 12;
constexpr std::size_t kReplySize = 32;
constexpr std::size_t kHeaderSize = 18;
constexpr std::size_t kRequestsKept = 100;
constexpr auto kRequestWait = std::chrono::seconds(10);
// While the first loop of a clip is still being encoded, look again this often.
constexpr auto kEncoderWait = std::chrono::milliseconds(5);

std::uint32_t steadyMs() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          EventLoop::Clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

VideoFormat StreamService::formatFor(const DeviceConfig& config, int streamChoice,
                                     bool nvrRequest) {
    const VideoSettings& v = config.video;
    VideoFormat format{v.codec, v.width, v.height, v.fps, v.bitrateKbps, v.gop, {}, 0, v.scene};
    if (!v.file.empty()) {
        // A recording has the one stream it was recorded with.
        format.file = v.file;
        format.fileFrames = v.fileFrames;
        return format;
    }
    if (!nvrRequest && streamChoice == 1) {
        format.width = 704;
        format.height = 576;
        format.bitrateKbps = std::min(v.bitrateKbps, 1024);
    } else if (!nvrRequest && streamChoice == 2) {
        format.width = 352;
        format.height = 288;
        format.bitrateKbps = std::min(v.bitrateKbps, 512);
    }
    return format;
}

bool StreamService::listen(Device& device) {
    closeListener(device);
    const DeviceConfig& config = device.config();
    if (config.noTcp || config.type == 31 || config.port == 0xFFFF) return true;
    const std::uint16_t port = static_cast<std::uint16_t>(config.port + 1);

    net::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) {
        device.tcpError = std::string("stream socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(config.ip);
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.fd(), kBacklog) != 0) {
        device.tcpError = "listen on " + formatAddress(config.ip) + ":" + std::to_string(port) +
                          ": " + std::strerror(errno);
        return false;
    }
    const int fd = socket.fd();
    Device* owner = &device;
    if (!loop_.add(fd, EPOLLIN, [this, owner, fd](std::uint32_t) { accept(*owner, fd); })) {
        device.tcpError = "cannot watch the stream listener";
        return false;
    }
    listeners_[&device] = std::move(socket);
    stats_[&device].listening = true;
    return true;
}

void StreamService::closeListener(Device& device) {
    stats_[&device].listening = false;
    const auto found = listeners_.find(&device);
    if (found == listeners_.end()) return;
    loop_.remove(found->second.fd());
    listeners_.erase(found);
}

void StreamService::closeAll() {
    for (auto& [device, socket] : listeners_) {
        loop_.remove(socket.fd());
        stats_[device].listening = false;
    }
    listeners_.clear();
    while (!connections_.empty()) closeConnection(connections_.begin()->first);
}

nlohmann::json StreamService::stateOf(const Device& device) const {
    const auto found = stats_.find(&device);
    const Stats empty;
    const Stats& s = found != stats_.end() ? found->second : empty;
    auto requests = nlohmann::json::array();
    for (const auto& [hex, accepted] : s.requests)
        requests.push_back({{"hex", hex}, {"accepted", accepted}});
    return {{"listening", s.listening},
            {"requests", requests},
            {"connections", s.connections},
            {"packetsSent", s.packetsSent},
            {"framesSent", s.framesSent},
            {"framesDropped", s.framesDropped},
            {"faults", s.faults}};
}

void StreamService::clear(const Device& device) {
    const auto found = stats_.find(&device);
    if (found == stats_.end()) return;
    Stats& s = found->second;
    s.requests.clear();
    s.packetsSent = s.framesSent = s.framesDropped = s.faults = 0;
}

void StreamService::accept(Device& device, int listenFd) {
    for (int i = 0; i < kBacklog; ++i) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN, or out of descriptors: the next wake tries again
        auto connection = std::make_unique<Connection>();
        connection->id = nextId_++;
        connection->socket = net::Socket(fd);
        connection->device = &device;
        const std::uint64_t id = connection->id;
        if (!loop_.add(fd, EPOLLIN, [this, id](std::uint32_t events) { onEvents(id, events); }))
            continue;
        connection->idleTimer = loop_.after(
            std::chrono::duration_cast<std::chrono::milliseconds>(kRequestWait), [this, id] {
                const auto found = connections_.find(id);
                if (found != connections_.end() && !found->second->streaming) closeConnection(id);
            });
        ++stats_[&device].connections;
        connections_.emplace(id, std::move(connection));
    }
}

void StreamService::onEvents(std::uint64_t id, std::uint32_t events) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    bool keep = (events & EPOLLERR) == 0;
    if (keep && (events & EPOLLOUT) != 0) keep = flush(connection);
    if (keep && (events & (EPOLLIN | EPOLLHUP)) != 0) {
        std::array<std::uint8_t, 4096> chunk{};
        const ssize_t got = ::recv(connection.socket.fd(), chunk.data(), chunk.size(), 0);
        if (got == 0) {
            keep = false;
        } else if (got < 0) {
            keep = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        } else if (!connection.streaming) {
            const std::size_t take =
                std::min(static_cast<std::size_t>(got), kRequestSize - connection.request.size());
            connection.request.insert(connection.request.end(), chunk.begin(),
                                      chunk.begin() + static_cast<std::ptrdiff_t>(take));
            if (connection.request.size() == kRequestSize) keep = takeRequest(connection);
        }
        // Anything a client sends while streaming is ignored.
    }
    if (!keep) closeConnection(id);
}

bool StreamService::takeRequest(Connection& connection) {
    const auto& r = connection.request;
    const std::uint16_t channel = static_cast<std::uint16_t>(r[2] | (r[3] << 8));
    const std::uint32_t sum = wire::getU32(wire::ByteView(r.data(), r.size()), 4);
    const bool nvrRequest = channel == 255;
    const bool ok = r[0] == 0 && r[1] == 0 && (channel == 0 || nvrRequest) &&
                    sum == 100u + channel && r[8] <= 2 && (!nvrRequest || r[8] == 1) && r[9] == 0 &&
                    r[10] == 0 && r[11] == 0;
    Stats& stats = stats_[connection.device];
    stats.requests.emplace_back(wire::hexOf(r), ok);
    while (stats.requests.size() > kRequestsKept) stats.requests.pop_front();
    if (!ok) return false;
    // A camera that hangs in its stream set-up: the connection stays open and silent.
    if (connection.device->config().video.replySilent) return true;

    const VideoFormat format = formatFor(connection.device->config(), r[8], nvrRequest);
    connection.clip = library_.clip(format);
    std::vector<std::uint8_t> reply(kReplySize, 0);
    const VideoSettings& video = connection.device->config().video;
    wire::putU16(
        reply, 8,
        static_cast<std::uint16_t>(video.replyWidth >= 0 ? video.replyWidth : format.width));
    wire::putU16(
        reply, 12,
        static_cast<std::uint16_t>(video.replyHeight >= 0 ? video.replyHeight : format.height));
    reply[26] = static_cast<std::uint8_t>(connection.device->config().video.replyCodecCode());
    connection.streaming = true;
    const auto now = EventLoop::Clock::now();
    const auto trickle = std::chrono::milliseconds(connection.device->config().tcpTrickleMs);
    const auto startDelay = std::chrono::milliseconds(video.startDelayMs);
    if (trickle.count() == 0) {
        connection.output.insert(connection.output.end(), reply.begin(), reply.end());
        connection.start = now + startDelay;
        if (!flush(connection)) return false;
        scheduleNext(connection, connection.start);
        return true;
    }
    // The reply one byte at a time; the pictures follow once all of it is out.
    const std::uint64_t id = connection.id;
    for (std::size_t i = 0; i < reply.size(); ++i) {
        loop_.at(now + trickle * static_cast<long>(i), [this, id, byte = reply[i]] {
            const auto found = connections_.find(id);
            if (found == connections_.end()) return;
            found->second->output.push_back(byte);
            if (!flush(*found->second)) closeConnection(id);
        });
    }
    connection.start = now + trickle * static_cast<long>(reply.size()) + startDelay;
    scheduleNext(connection, connection.start);
    return true;
}

void StreamService::scheduleNext(Connection& connection, EventLoop::Clock::time_point when) {
    const std::uint64_t id = connection.id;
    connection.timer = loop_.at(when, [this, id] { tick(id); });
}

void StreamService::tick(std::uint64_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    connection.timer = 0;
    const VideoClip& clip = *connection.clip;
    if (clip.failed()) {
        std::cerr << "tarvo-sim: video " << clip.format().key() << ": " << clip.error() << "\n";
        closeConnection(id);
        return;
    }
    const int length = clip.format().loopLength();
    const auto index = static_cast<int>(connection.position % static_cast<std::uint64_t>(length));
    if (!clip.finished() && index >= clip.available()) {
        // The first loop is still being encoded: send this picture as soon as it exists.
        scheduleNext(connection, EventLoop::Clock::now() + kEncoderWait);
        return;
    }
    if (!sendPicture(connection)) {
        closeConnection(id, connection.device->config().video.fault == StreamFault::Reset);
        return;
    }
    if (connection.stalled) return;
    ++connection.position;
    const auto period = std::chrono::microseconds(1'000'000 / clip.format().fps);
    auto due = connection.start + period * static_cast<long>(connection.position);
    // After a long encoder wait, go on from now rather than sending a burst.
    const auto now = EventLoop::Clock::now();
    if (due + 4 * period < now) {
        connection.start = now - period * static_cast<long>(connection.position);
        due = now;
    }
    scheduleNext(connection, due);
}

bool StreamService::sendPicture(Connection& connection) {
    const VideoClip& clip = *connection.clip;
    const int length = clip.format().loopLength();
    const auto index = static_cast<int>(connection.position % static_cast<std::uint64_t>(length));
    const VideoClip::Frame& frame = clip.frame(index);
    const auto number = static_cast<std::uint32_t>(connection.position);
    if (const auto faulted = sendFault(connection, frame, number)) return *faulted;

    const std::size_t pending = connection.output.size() - connection.outputSent;
    if (pending > kMaxBacklog || (connection.waitKey && !frame.key)) {
        connection.waitKey = true;
        ++stats_[connection.device].framesDropped;
        return true;
    }
    connection.waitKey = false;
    appendPicture(connection, frame, number);
    appendOtherTypes(connection, number);
    return flush(connection);
}

std::optional<bool> StreamService::sendFault(Connection& connection, const VideoClip::Frame& frame,
                                             std::uint32_t number) {
    const VideoSettings& video = connection.device->config().video;
    if (video.fault == StreamFault::None ||
        connection.videoPackets < static_cast<std::uint64_t>(video.faultAfter))
        return std::nullopt;
    Stats& stats = stats_[connection.device];
    switch (video.fault) {
        case StreamFault::Stall:
            ++stats.faults;
            connection.stalled = true;
            return true;
        case StreamFault::Reset:
            ++stats.faults;
            return false;
        case StreamFault::Oversize: {
            ++stats.faults;
            const std::vector<std::uint8_t> junk(1000, 0xAB);
            // What the header promises never comes; the client has to give up on it.
            appendPacket(connection, 0, kOversizeLength, junk, number);
            connection.stalled = true;
            return flush(connection);
        }
        case StreamFault::Partial:
        case StreamFault::PartialClose: {
            ++stats.faults;
            // The header announces the whole picture; at least its last byte never comes.
            const std::span<const std::uint8_t> half(frame.data.data(), frame.data.size() / 2);
            appendPacket(connection, frame.key ? 0x10 : 0x00,
                         static_cast<std::uint32_t>(frame.data.size()), half, number);
            connection.stalled = true;
            connection.closeWhenSent = video.fault == StreamFault::PartialClose;
            return flush(connection);
        }
        case StreamFault::NoStartCodes: {
            ++stats.faults;
            // Never a 00 00 01: a parser looking for the next picture finds none.
            const std::vector<std::uint8_t> endless(kNoStartCodePayload, 0xA5);
            appendPacket(connection, 0x00, kNoStartCodePayload, endless, number);
            ++connection.videoPackets;
            return flush(connection);
        }
        case StreamFault::Garbage:  // in place of the picture's bytes, see appendPicture
        case StreamFault::None:
            break;
    }
    return std::nullopt;
}

void StreamService::appendPicture(Connection& connection, const VideoClip::Frame& frame,
                                  std::uint32_t number) {
    const VideoSettings& video = connection.device->config().video;
    Stats& stats = stats_[connection.device];
    const std::uint8_t typeByte = frame.key ? 0x10 : 0x00;
    if (video.fault == StreamFault::Garbage &&
        connection.videoPackets >= static_cast<std::uint64_t>(video.faultAfter)) {
        ++stats.faults;
        std::vector<std::uint8_t> garbage(frame.data.size());
        for (auto& b : garbage) b = static_cast<std::uint8_t>(random_());
        appendPacket(connection, typeByte, static_cast<std::uint32_t>(garbage.size()), garbage,
                     number);
    } else {
        appendPacket(connection, typeByte, static_cast<std::uint32_t>(frame.data.size()),
                     frame.data, number);
    }
    ++connection.videoPackets;
    ++stats.framesSent;
}

void StreamService::appendOtherTypes(Connection& connection, std::uint32_t number) {
    const VideoSettings& video = connection.device->config().video;
    if (video.typeOneEvery > 0 &&
        connection.videoPackets % static_cast<std::uint64_t>(video.typeOneEvery) == 0) {
        // Audio-like: 20 ms of G.711 silence.
        const std::array<std::uint8_t, kTypeOnePayload> audio = [] {
            std::array<std::uint8_t, kTypeOnePayload> a{};
            a.fill(0xD5);
            return a;
        }();
        appendPacket(connection, 0x01, kTypeOnePayload, audio, number);
    }
    if (video.otherTypeEvery > 0 &&
        connection.videoPackets % static_cast<std::uint64_t>(video.otherTypeEvery) == 0) {
        const std::array<std::uint8_t, 64> other{};
        appendPacket(connection, 0x07, other.size(), other, number);
    }
}

void StreamService::appendPacket(Connection& connection, std::uint8_t typeByte,
                                 std::uint32_t length, std::span<const std::uint8_t> payload,
                                 std::uint32_t number) {
    std::array<std::uint8_t, kHeaderSize> header{};
    header[0] = typeByte;
    const auto put32 = [&header](std::size_t offset, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i)
            header[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put32(6, length);
    put32(10, number);
    put32(14, steadyMs());
    connection.output.insert(connection.output.end(), header.begin(), header.end());
    connection.output.insert(connection.output.end(), payload.begin(), payload.end());
    ++stats_[connection.device].packetsSent;
}

bool StreamService::flush(Connection& connection) {
    while (connection.outputSent < connection.output.size()) {
        const ssize_t sent =
            ::send(connection.socket.fd(), connection.output.data() + connection.outputSent,
                   connection.output.size() - connection.outputSent, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            return false;
        }
        connection.outputSent += static_cast<std::size_t>(sent);
    }
    if (connection.outputSent == connection.output.size()) {
        connection.output.clear();
        connection.outputSent = 0;
    } else if (connection.outputSent > (1U << 20) &&
               connection.outputSent * 2 > connection.output.size()) {
        connection.output.erase(
            connection.output.begin(),
            connection.output.begin() + static_cast<std::ptrdiff_t>(connection.outputSent));
        connection.outputSent = 0;
    }
    const bool pending = connection.outputSent < connection.output.size();
    if (pending != connection.writing) {
        loop_.modify(connection.socket.fd(), pending ? (EPOLLIN | EPOLLOUT) : EPOLLIN);
        connection.writing = pending;
    }
    // A connection that is to end goes once its last byte is out.
    return pending || !connection.closeWhenSent;
}

void StreamService::closeConnection(std::uint64_t id, bool reset) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    loop_.remove(connection.socket.fd());
    if (connection.timer != 0) loop_.cancel(connection.timer);
    loop_.cancel(connection.idleTimer);
    if (reset) {
        // Linger with a zero time-out: close sends RST instead of FIN.
        const linger abort{1, 0};
        ::setsockopt(connection.socket.fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        // Closed without shutdown, which would send an orderly FIN first.
        ::close(connection.socket.release());
    }
    --stats_[connection.device].connections;
    connections_.erase(found);
}

}  // namespace tarvo::sim

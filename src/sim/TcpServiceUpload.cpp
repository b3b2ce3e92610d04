// The command port's upload mode: after frame A of a firmware upload, the connection carries
// frame B and raw file bytes, not frames, until the announced size has arrived.
#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/TcpService.h"

namespace tarvo::sim {

namespace {

// A slow reader reads a twentieth of its second's worth at a time.
constexpr std::uint32_t kRateSlices = 20;

}  // namespace

std::size_t TcpService::readLimit(const Connection& connection) const {
    if (!connection.upload || connection.upload->readRate() == 0) return kReadChunk;
    return std::clamp<std::size_t>(connection.upload->readRate() / kRateSlices, 1, kReadChunk);
}

bool TcpService::takeUpload(Connection& connection, std::size_t& used) {
    if (!connection.upload) return false;
    UploadReceiver& upload = *connection.upload;
    const wire::ByteView rest(connection.input.data() + used, connection.input.size() - used);
    const std::size_t taken = upload.feed(rest);
    used += taken;
    switch (upload.state()) {
        case UploadReceiver::State::Receiving:
            if (upload.readRate() > 0 && taken > 0) {
                pauseReading(connection, std::chrono::milliseconds(std::max<std::uint64_t>(
                                             1, taken * 1000 / upload.readRate())));
            }
            return true;
        case UploadReceiver::State::Done: {
            connection.device->record(Transport::Tcp, upload.frameB());
            auto answer = upload.answer();
            const auto version = upload.installedVersion();
            const bool restarts = upload.taken() && connection.device->config().rebootSeconds > 0;
            connection.upload.reset();
            if (restarts) {
                if (answer) queueReply(connection, std::move(*answer), true);
                reboot(*connection.device, version, connection.id);
                return false;
            }
            if (version) connection.device->config().version = *version;
            if (answer) queueReply(connection, std::move(*answer), false);
            return false;
        }
        case UploadReceiver::State::Reset: {
            // An abortive close: the peer sees a reset, not an orderly end.
            const linger abort{1, 0};
            ::setsockopt(connection.socket.fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            connection.finished = true;
            connection.upload.reset();
            return true;
        }
        case UploadReceiver::State::Stalled:
            pauseReading(connection, std::chrono::milliseconds(0));
            return true;
    }
    return true;
}

void TcpService::reboot(Device& device, std::optional<std::string> version, std::uint64_t keep) {
    const auto seconds = std::chrono::seconds(device.config().rebootSeconds);
    device.rebootingUntil = Device::Clock::now() + seconds;
    // Nothing listens while it restarts; its other connections drop at once, the upload's
    // once its answer is out.
    closeListener(device);
    std::vector<std::uint64_t> others;
    for (const auto& [id, connection] : connections_) {
        if (connection->device == &device && id != keep) others.push_back(id);
    }
    for (const std::uint64_t id : others) closeConnection(id);
    Device* target = &device;
    loop_.after(seconds, [this, target, version = std::move(version)] {
        if (version) target->config().version = *version;
        if (!listen(*target)) std::cerr << "tarvo-sim: " << target->tcpError << "\n";
    });
}

void TcpService::pauseReading(Connection& connection, std::chrono::milliseconds wait) {
    connection.readPaused = true;
    updateWatch(connection);
    if (wait.count() == 0) return;  // for good: the stalled device reads no more
    const std::uint64_t id = connection.id;
    loop_.after(wait, [this, id] {
        const auto found = connections_.find(id);
        if (found == connections_.end()) return;
        Connection& target = *found->second;
        target.readPaused = false;
        updateWatch(target);
    });
}

void TcpService::updateWatch(Connection& connection) {
    std::uint32_t events = connection.writing ? static_cast<std::uint32_t>(EPOLLOUT) : 0;
    // A paused reader still hears of the peer going away.
    events |= static_cast<std::uint32_t>(connection.readPaused ? EPOLLRDHUP : EPOLLIN);
    loop_.modify(connection.socket.fd(), events);
}

}  // namespace tarvo::sim

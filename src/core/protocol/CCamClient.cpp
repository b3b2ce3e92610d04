#include "core/protocol/CCamClient.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "core/net/Connect.h"
#include "core/ops/Notifier.h"
#include "core/protocol/ByteIo.h"
#include "core/protocol/CommandHeader.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"

namespace tarvo::protocol {

namespace {
std::string cut(const std::string& text, std::size_t maxBytes) {
    return text.substr(0, std::min(text.size(), maxBytes));
}

// A partial frame counts only when the peer closed after it: nothing more can come.
long countOf(const net::Received& received) {
    if (received.end == net::ReceiveEnd::Complete || received.end == net::ReceiveEnd::Closed) {
        return static_cast<long>(received.count);
    }
    return -1;
}
}  // namespace

long receiveReplyFrame(const net::Socket& socket, std::span<std::uint8_t> buffer, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::size_t headerSize = std::min(kHeaderSize, buffer.size());
    const net::Received header = net::receiveFull(socket, buffer.first(headerSize), deadline);
    if (header.end != net::ReceiveEnd::Complete) return countOf(header);

    const std::size_t announced = ByteReader(buffer.first(headerSize)).u16(4);
    const std::size_t frameSize = std::clamp(announced, headerSize, buffer.size());
    const net::Received rest =
        net::receiveFull(socket, buffer.subspan(headerSize, frameSize - headerSize), deadline);
    if (rest.end != net::ReceiveEnd::Complete) {
        const long got = countOf(rest);
        return got < 0 ? -1 : static_cast<long>(headerSize) + got;
    }
    return static_cast<long>(frameSize + net::receiveAvailable(socket, buffer.subspan(frameSize)));
}

CCamClient::CCamClient(const LoginInfo& info, ops::Notifier& notifier)
    : notifier_(notifier),
      deviceType_(info.deviceType),
      streamChoice_(info.streamChoice),
      address_(cut(info.address, 63)),
      user_(cut(info.user, 31)),
      password_(cut(info.password, 31)),
      commandPort_(info.port),
      streamPort_(static_cast<std::uint16_t>(info.port + 1)) {}

CCamClient::~CCamClient() = default;

int CCamClient::connect() {
    // A name that does not resolve fails silently; a device that cannot be reached is reported.
    // The connect wait is bounded like every other connection of the program, and replies are
    // awaited at most five seconds, so a silent device never freezes the window.
    if (!net::resolveIPv4(address_)) return -1;
    if (!net::connectSocket(address_, commandPort_, commandSocket_, net::kCommandIoTimeoutMs)) {
        notifier_.systemError(text::msg::kConnectCameraFailedEn);
        return -1;
    }
    return 0;
}

bool CCamClient::login() {
    const Frame frame = tcpLogin(user_, password_);
    if (!sendFrame(frame.view())) return false;
    std::array<std::uint8_t, 2048> reply{};
    const long got = receiveReply(reply);
    if (got < 0) return false;  // a closed connection reads as an empty, refusing reply
    const ByteReader in(std::span<const std::uint8_t>(reply.data(), static_cast<std::size_t>(got)));
    if (in.u8(8) != 0) return true;
    notifier_.message(text::msg::kControlFailed);
    return false;
}

bool CCamClient::sendFrame(std::span<const std::uint8_t> frame) {
    return net::sendBytes(commandSocket_, frame.data(), frame.size()) ==
           static_cast<long>(frame.size());
}

long CCamClient::receiveReply(std::span<std::uint8_t> buffer) {
    return receiveReplyFrame(commandSocket_, buffer, net::kCommandIoTimeoutMs);
}

void CCamClient::stop() {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    commandSocket_.close();
    streamSocket_.close();
}

}  // namespace tarvo::protocol

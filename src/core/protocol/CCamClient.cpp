#include "core/protocol/CCamClient.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "core/net/Connect.h"
#include "core/ops/Notifier.h"
#include "core/protocol/ByteIo.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"

namespace tarvo::protocol {

namespace {
std::string cut(const std::string& text, std::size_t maxBytes) {
    return text.substr(0, std::min(text.size(), maxBytes));
}
}  // namespace

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
    return net::receiveOnce(commandSocket_, buffer.data(), buffer.size());
}

void CCamClient::stop() {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    commandSocket_.close();
    streamSocket_.close();
}

}  // namespace tarvo::protocol

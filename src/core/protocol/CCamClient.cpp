#include "core/protocol/CCamClient.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "core/net/Connect.h"
#include "core/protocol/ByteIo.h"
#include "core/protocol/CommandHeader.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::protocol {

namespace {
std::string cut(const std::string& text, std::size_t maxBytes) {
    return text.substr(0, std::min(text.size(), maxBytes));
}

// The frame the header announces has arrived whole (a length below the header's own size
// announces nothing).
bool announcedFrameArrived(std::span<const std::uint8_t> received) {
    if (received.size() < kHeaderSize) return false;
    const std::size_t announced = ByteReader(received).u16(4);
    return announced >= kHeaderSize && received.size() >= announced;
}
}  // namespace

bool needsLoginResult(std::span<const std::uint8_t> received) {
    return received.size() > 8;
}

bool needsVersionText(std::span<const std::uint8_t> received) {
    return received.size() > 6 &&
           std::find(received.begin() + 6, received.end(), std::uint8_t{0}) != received.end();
}

bool needsUploadAnswer(std::span<const std::uint8_t> received) {
    return received.size() > 1;
}

bool needsAnyByte(std::span<const std::uint8_t> received) {
    return !received.empty();
}

ReplyRead receiveReply(const net::Socket& socket, std::span<std::uint8_t> buffer, int timeoutMs,
                       ReplyNeeds needs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    ReplyRead result;
    // One receive at a time, each taking what has come, so that the check sees every piece.
    while (result.count < buffer.size()) {
        const auto received = std::span<const std::uint8_t>(buffer.data(), result.count);
        if (needs(received) || announcedFrameArrived(received)) {
            result.enough = true;
            break;
        }
        const net::Received piece =
            net::receiveSome(socket, buffer.subspan(result.count), deadline);
        result.count += piece.count;
        if (piece.count == 0) {
            result.end = piece.end;
            return result;
        }
    }
    if (result.count == buffer.size()) result.enough = true;
    result.end = net::ReceiveEnd::Complete;
    result.count += net::receiveAvailable(socket, buffer.subspan(result.count));
    return result;
}

CCamClient::CCamClient(const LoginInfo& info)
    : deviceType_(info.deviceType),
      streamChoice_(info.streamChoice),
      address_(cut(info.address, 63)),
      user_(cut(info.user, 31)),
      password_(cut(info.password, 31)),
      commandPort_(info.port),
      streamPort_(static_cast<std::uint16_t>(info.port + 1)) {}

CCamClient::~CCamClient() = default;

Outcome CCamClient::connect() {
    // A name that does not resolve fails silently; a device that cannot be reached is reported.
    // The connect wait is bounded like every other connection of the program, and replies are
    // awaited at most five seconds, so a silent device never freezes the window.
    if (!net::resolveIPv4(address_)) return Outcome::silentFailure();
    if (!net::connectSocket(address_, commandPort_, commandSocket_, net::kCommandIoTimeoutMs))
        return Outcome::systemFailure(text::msg::kConnectCameraFailedEn);
    return Outcome::success();
}

Outcome CCamClient::login() {
    const Frame frame = tcpLogin(user_, password_);
    if (!sendFrame(frame.view())) return Outcome::silentFailure();
    std::array<std::uint8_t, 2048> reply{};
    const ReplyRead got = receiveReply(reply, needsLoginResult);
    if (got.unanswered()) return Outcome::failure(noAnswerText(address_, net::kCommandIoTimeoutMs));
    // A receive error is silent; a closed connection reads as an empty, refusing reply.
    if (!got.usable()) return Outcome::silentFailure();
    if (reply[8] != 0) return Outcome::success();
    return Outcome::refusedLogin(text::msg::kControlFailed);
}

bool CCamClient::sendFrame(std::span<const std::uint8_t> frame) {
    return net::sendBytes(commandSocket_, frame.data(), frame.size()) ==
           static_cast<long>(frame.size());
}

ReplyRead CCamClient::receiveReply(std::span<std::uint8_t> buffer, ReplyNeeds needs) {
    return protocol::receiveReply(commandSocket_, buffer, net::kCommandIoTimeoutMs, needs);
}

std::u16string noAnswerText(std::string_view address, int waitedMs) {
    return text::formatText(
        text::tr(text::msg::kNoAnswerFormat),
        {text::fromUtf8(address), text::fromUtf8(std::to_string((waitedMs + 999) / 1000))});
}

void CCamClient::stop() {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    commandSocket_.close();
    streamSocket_.close();
}

}  // namespace tarvo::protocol

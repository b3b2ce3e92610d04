#include "core/protocol/DeviceCommands.h"

#include <algorithm>
#include <array>

#include "core/net/Connect.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/Frames.h"
#include "core/protocol/VersionRules.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"

namespace tarvo::protocol {

namespace {

// connect + login of a fresh client; the caller stops it.
Outcome connectAndLogin(CCamClient& client) {
    Outcome connected = client.connect();
    if (!connected.ok) return connected;
    return client.login();
}

}  // namespace

std::string narrowCredential(std::u16string_view text) {
    std::array<char, 16> field{};
    text::narrowText(text, field);
    return std::string(text::fieldText(std::span<const char>(field)));
}

LoginInfo makeLoginInfo(std::string_view address, std::uint16_t port, std::u16string_view user,
                        std::u16string_view password, int streamChoice, int deviceType) {
    LoginInfo info;
    info.address = std::string(address.substr(0, std::min<std::size_t>(address.size(), 63)));
    info.port = port;
    info.user = narrowCredential(user);
    info.password = narrowCredential(password);
    info.streamChoice = streamChoice;
    info.deviceType = deviceType;
    return info;
}

Outcome loginCheck(const LoginInfo& info) {
    CCamClient client(info);
    Outcome accepted = connectAndLogin(client);
    client.stop();
    return accepted;
}

Outcome rebootDevice(const LoginInfo& info) {
    CCamClient client(info);
    Outcome sent = connectAndLogin(client);
    if (sent.ok) {
        if (client.sendFrame(tcpQuery(cmd::kReboot).view())) {
            std::array<std::uint8_t, 256> ignored{};
            client.receiveReply(ignored, needsAnyByte);
        } else {
            sent = Outcome::failure(text::msg::kControlFailed);
        }
    }
    client.stop();
    return sent;
}

std::u16string versionFromReply(std::span<const std::uint8_t> reply) {
    if (reply.size() <= 6) return {};
    const auto* bytes = reinterpret_cast<const char*>(reply.data()) + 6;
    std::array<char16_t, 64> field{};
    if (text::widenText(std::string_view(bytes, reply.size() - 6), field) != 1) return {};
    return std::u16string(text::fieldText(std::span<const char16_t>(field)));
}

Outcome checkCameraVersion(std::string_view address, std::uint16_t port, std::u16string& version) {
    version.clear();
    if (address.empty()) return Outcome::silentFailure();
    net::Socket socket;
    if (!net::connectWithTimeout(address, port, socket))
        return Outcome::failure(text::msg::kConnectCameraFailed);
    std::array<std::uint8_t, 260> reply{};
    ReplyRead got;
    const Frame query = tcpQuery(cmd::kCameraVersion);
    if (net::sendBytes(socket, query.bytes.data(), query.size) == static_cast<long>(query.size)) {
        got = receiveReply(socket, reply, net::kCommandIoTimeoutMs, needsVersionText);
    }
    socket.close();
    if (!got.usable() || got.count == 0) return Outcome::failure(text::msg::kVersionQueryFailed);
    const std::u16string full =
        versionFromReply(std::span<const std::uint8_t>(reply.data(), got.count));
    if (full.size() != kVersionTextLength) return Outcome::failure(text::msg::kVersionMalformed);
    version = full.substr(1, 11);
    if (meetsMinimumVersion(full)) return Outcome::success();
    return Outcome::failure(text::msg::kVersionTooLow);
}

}  // namespace tarvo::protocol

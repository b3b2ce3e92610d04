#include "core/protocol/DeviceCommands.h"

#include <algorithm>
#include <array>

#include "core/net/Connect.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/Frames.h"
#include "core/protocol/VersionRules.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"

namespace tarvo::protocol {

namespace {

// connect + login of a fresh client; the caller stops it.
bool connectAndLogin(CCamClient& client, text::Notifier& notifier) {
    return client.connect().report(notifier) && client.login().report(notifier);
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

bool loginCheck(const LoginInfo& info, text::Notifier& notifier) {
    CCamClient client(info);
    const bool accepted = connectAndLogin(client, notifier);
    client.stop();
    return accepted;
}

bool rebootDevice(const LoginInfo& info, text::Notifier& notifier) {
    CCamClient client(info);
    bool sent = false;
    if (connectAndLogin(client, notifier)) {
        if (client.sendFrame(tcpQuery(cmd::kReboot).view())) {
            sent = true;
            std::array<std::uint8_t, 256> ignored{};
            client.receiveReply(ignored, needsAnyByte);
        } else {
            notifier.message(text::msg::kControlFailed);
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

bool checkCameraVersion(std::string_view address, std::uint16_t port, std::u16string& version,
                        text::Notifier& notifier) {
    version.clear();
    if (address.empty()) return false;
    net::Socket socket;
    if (!net::connectWithTimeout(address, port, socket)) {
        notifier.message(text::msg::kConnectCameraFailed);
        return false;
    }
    std::array<std::uint8_t, 260> reply{};
    ReplyRead got;
    const Frame query = tcpQuery(cmd::kCameraVersion);
    if (net::sendBytes(socket, query.bytes.data(), query.size) == static_cast<long>(query.size)) {
        got = receiveReply(socket, reply, net::kCommandIoTimeoutMs, needsVersionText);
    }
    socket.close();
    if (!got.usable() || got.count == 0) {
        notifier.message(text::msg::kVersionQueryFailed);
        return false;
    }
    const std::u16string full =
        versionFromReply(std::span<const std::uint8_t>(reply.data(), got.count));
    if (full.size() != kVersionTextLength) {
        notifier.message(text::msg::kVersionMalformed);
        return false;
    }
    version = full.substr(1, 11);
    if (meetsMinimumVersion(full)) return true;
    notifier.message(text::msg::kVersionTooLow);
    return false;
}

}  // namespace tarvo::protocol

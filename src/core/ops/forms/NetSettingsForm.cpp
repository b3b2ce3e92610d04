#include "core/ops/forms/NetSettingsForm.h"

#include <arpa/inet.h>

#include <array>
#include <cstdlib>

#include "core/discovery/DeviceTypes.h"
#include "core/discovery/ReplyCache.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/UdpSession.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/text/UiTextTable.h"

namespace tarvo::ops {

namespace {

std::u16string ascii(const std::string& text) {
    return {text.begin(), text.end()};
}

}  // namespace

bool NetSettingsForm::showsDhcpAndAudio() const {
    return !discovery::isDecoderType(type_);
}

std::u16string NetSettingsForm::addressText() const {
    return ascii(net::formatIPv4(params_.address));
}
std::u16string NetSettingsForm::netmaskText() const {
    return ascii(net::formatIPv4(params_.netmask));
}
std::u16string NetSettingsForm::gatewayText() const {
    return ascii(net::formatIPv4(params_.gateway));
}
std::u16string NetSettingsForm::dnsText() const {
    return ascii(net::formatIPv4(params_.dns));
}

std::u16string NetSettingsForm::httpPortText() const {
    return ascii(std::to_string(static_cast<std::int16_t>(params_.httpPort)));
}

std::uint32_t NetSettingsForm::parseAddress(std::u16string_view text) {
    std::uint32_t address = 0;
    if (text.empty() || !net::parseIPv4(text::toUtf8(text), address)) return 0;
    return address;
}

std::uint16_t NetSettingsForm::parseHttpPort(std::u16string_view text) {
    // Read like the dialog's 10-byte buffer: a longer text counts as empty, junk as 0.
    std::array<char, 10> buffer{};
    if (text::narrowText(text, buffer) != 1) return 0;
    const long value = std::strtol(buffer.data(), nullptr, 10);
    return static_cast<std::uint16_t>(static_cast<unsigned long>(value) & 0xFFFF);
}

bool NetSettingsForm::sameSubnet(std::uint32_t address, std::uint32_t netmask,
                                 std::uint32_t gateway) {
    return (ntohl(netmask) & ntohl(gateway)) == (ntohl(netmask) & ntohl(address));
}

std::u16string_view NetSettingsForm::unusableValue(const NetSettingsEntry& entry) {
    // An empty field reads as 0.0.0.0, as it always has.
    const auto notAnAddress = [](std::u16string_view text) {
        std::uint32_t address = 0;
        return !text.empty() && !net::parseIPv4(text::toUtf8(text), address);
    };
    if (notAnAddress(entry.address)) return text::msg::kAddressNotAnAddress;
    if (notAnAddress(entry.netmask)) return text::msg::kNetmaskNotAnAddress;
    if (notAnAddress(entry.gateway)) return text::msg::kGatewayNotAnAddress;
    if (notAnAddress(entry.dns)) return text::msg::kDnsNotAnAddress;
    const std::uint32_t hostBits = ~ntohl(parseAddress(entry.netmask));
    if ((hostBits & (hostBits + 1)) != 0) return text::msg::kNetmaskNotContiguous;
    // A /31 or /32 has no network or broadcast address.
    if (hostBits >= 3) {
        const std::uint32_t host = ntohl(parseAddress(entry.address)) & hostBits;
        if (host == 0) return text::msg::kAddressIsNetworkAddress;
        if (host == hostBits) return text::msg::kAddressIsBroadcastAddress;
    }
    return {};
}

NetSettingsOutcome NetSettingsForm::ok(const NetSettingsEntry& entry, UdpSession& session,
                                       text::Notifier& notifier,
                                       const std::function<void(int)>& wait) {
    if (const auto fault = unusableValue(entry); !fault.empty()) {
        notifier.message(fault);
        return NetSettingsOutcome::Unusable;
    }
    // Only the device's own answer to this request counts, not one left from an earlier login.
    session.cache().expect(discovery::ReplyCache::Reply::Login, deviceIp_);
    session.send(deviceIp_,
                 protocol::udpLogin(protocol::targetFor(deviceIp_), entry.user, entry.password));
    wait(kLoginWaitMs);
    // This session's own answer: other devices may be logged in to at the same time.
    if (!session.cache().loginAccepted()) {
        notifier.message(text::fieldView(text::uiText().loginMismatch));
        return NetSettingsOutcome::LoginMismatch;
    }

    const std::uint32_t address = parseAddress(entry.address);
    const std::uint32_t netmask = parseAddress(entry.netmask);
    const std::uint32_t gateway = parseAddress(entry.gateway);
    const std::uint32_t dns = parseAddress(entry.dns);
    if (!sameSubnet(address, netmask, gateway)) {
        notifier.message(text::msg::kGatewayNotInSubnet);
        return NetSettingsOutcome::SubnetMismatch;
    }

    params_.address = address;
    params_.netmask = netmask;
    params_.gateway = gateway;
    params_.dns = dns;
    params_.httpPort = parseHttpPort(entry.httpPort);
    params_.dhcp = entry.dhcp ? 1 : 0;
    audio_ = entry.audio ? 1 : 0;
    return NetSettingsOutcome::Accepted;
}

}  // namespace tarvo::ops

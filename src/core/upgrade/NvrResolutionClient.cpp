#include "core/upgrade/NvrResolutionClient.h"

#include <algorithm>
#include <array>
#include <thread>

#include "core/net/Connect.h"
#include "core/protocol/ByteIo.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"

namespace tarvo::upgrade {

std::u16string_view NvrResolutionClient::resolutionText(int index) {
    if (index < 0 || index > kHighestIndex) return {};
    return text::msg::kNvrResolutions[static_cast<std::size_t>(index)];
}

void NvrResolutionClient::SetTarget(std::string_view address, int port) {
    const std::string_view text = address.substr(0, address.find('\0'));
    if (text.size() < 4) return;
    port_ = port < 0 ? kDefaultPort : port;
    address_ = std::string(text.substr(0, std::min<std::size_t>(text.size(), 47)));
}

bool NvrResolutionClient::connect() {
    return net::connectWithTimeout(address_, static_cast<std::uint16_t>(port_ & 0xFFFF), socket_);
}

bool NvrResolutionClient::QueryOutputResolution() {
    if (!socket_) return false;
    const protocol::Frame query = protocol::tcpQuery(protocol::cmd::kGetNvrResolution);
    if (net::sendBytes(socket_, query.bytes.data(), query.size) != static_cast<long>(query.size)) {
        return false;
    }
    std::array<std::uint8_t, 6> reply{};
    // All six bytes within the time-out, however they are split.
    if (net::receiveFull(socket_, reply, net::kCommandIoTimeoutMs).end !=
        net::ReceiveEnd::Complete) {
        return false;
    }
    const std::uint16_t index = protocol::ByteReader(reply).u16(2);
    if (index > kHighestIndex) return false;
    currentIndex_ = index;
    return true;
}

NvrResolutionClient::Listing NvrResolutionClient::FillResolutionList() {
    if (!connect()) return {0, text::msg::kNvrConnectFailed};
    if (!QueryOutputResolution()) return {0, text::msg::kNvrResolutionFailed};
    return {currentIndex_, {}};
}

bool NvrResolutionClient::ApplyOutputResolution(int selected, const Wait& wait) {
    if (!socket_ || selected < 0 || selected > kHighestIndex || selected == currentIndex_) {
        return false;
    }
    const protocol::Frame set = protocol::tcpQueryWithTarget(protocol::cmd::kSetNvrResolution,
                                                             static_cast<std::uint16_t>(selected));
    const bool sent =
        net::sendBytes(socket_, set.bytes.data(), set.size) == static_cast<long>(set.size);
    if (wait) {
        wait(kApplyWait);
    } else {
        std::this_thread::sleep_for(kApplyWait);
    }
    return sent;
}

}  // namespace tarvo::upgrade

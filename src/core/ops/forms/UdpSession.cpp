#include "core/ops/forms/UdpSession.h"

#include <mutex>

#include "core/discovery/DeviceTypes.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/net/NetworkInterfaces.h"

namespace tarvo::ops {

bool EngineSession::send(const std::string& address, const protocol::Frame& frame) {
    std::uint32_t device = 0;
    if (!net::parseIPv4(address, device)) return false;
    return engine_.sendCommandTo(device, frame);
}

discovery::ReplyCache& EngineSession::cache() {
    return engine_.replyCache();
}

void EngineSession::startSearch() {
    engine_.startSearch();
}

std::optional<std::u16string> EngineSession::type89Label(std::u16string_view address) {
    auto& table = engine_.table();
    std::lock_guard guard(table.lock());
    // An address is listed once.
    const int row = table.findRow(discovery::kColAddress, address);
    if (row < 0) return std::nullopt;
    const discovery::DeviceRow listed = table.row(row);
    if (listed.type != discovery::kTypeSelectableResolution) return std::nullopt;
    return listed.note;
}

std::vector<std::u16string> EngineSession::devicesSharingTarget(std::u16string_view address) {
    engine_.takeLateFrames();
    return engine_.table().devicesSharingTarget(address);
}

}  // namespace tarvo::ops

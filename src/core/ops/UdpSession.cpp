#include "core/ops/UdpSession.h"

#include <mutex>

#include "core/discovery/DiscoveryEngine.h"

namespace tarvo::ops {

bool EngineSession::send(const protocol::Frame& frame) {
    return engine_.sendCommand(frame);
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
    for (int row = 0; row < table.rowCount(); ++row) {
        if (table.text(row, discovery::kColAddress) == address &&
            table.text(row, discovery::kColType) == u"89") {
            return table.text(row, discovery::kColNote);
        }
    }
    return std::nullopt;
}

std::vector<std::u16string> EngineSession::devicesSharingTarget(std::u16string_view address) {
    engine_.takeLateFrames();
    return engine_.table().devicesSharingTarget(address);
}

}  // namespace tarvo::ops

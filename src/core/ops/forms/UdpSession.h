#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/discovery/ReplyCache.h"
#include "core/protocol/Frames.h"

namespace tarvo::discovery {
class DiscoveryEngine;
}

namespace tarvo::ops {

// The UDP side the settings sequences work through: commands to the group on the interface that
// heard the device, the values replies left, and a new search.
class UdpSession {
public:
    virtual ~UdpSession() = default;
    // Sends `frame`, meant for the device at `address`, where that device listens. False when
    // the send failed; a sequence then skips the rest of its group.
    virtual bool send(const std::string& address, const protocol::Frame& frame) = 0;
    virtual discovery::ReplyCache& cache() = 0;
    // A search at once, without the search button's debounce and wait.
    virtual void startSearch() = 0;
    // The note column of the first row listing `address` as a type-89 camera, if there is one.
    virtual std::optional<std::u16string> type89Label(std::u16string_view address) = 0;
    // The devices the last search heard that a command for `address` reaches, when that is more
    // than one (see DeviceTable::devicesSharingTarget).
    virtual std::vector<std::u16string> devicesSharingTarget(std::u16string_view address) {
        (void)address;
        return {};
    }
};

// UdpSession over the discovery engine and its device table.
class EngineSession final : public UdpSession {
public:
    explicit EngineSession(discovery::DiscoveryEngine& engine) : engine_(engine) {}
    bool send(const std::string& address, const protocol::Frame& frame) override;
    discovery::ReplyCache& cache() override;
    void startSearch() override;
    std::optional<std::u16string> type89Label(std::u16string_view address) override;
    std::vector<std::u16string> devicesSharingTarget(std::u16string_view address) override;

private:
    discovery::DiscoveryEngine& engine_;
};

}  // namespace tarvo::ops

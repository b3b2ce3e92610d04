#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/CliNotifier.h"
#include "core/discovery/DeviceTable.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/ops/UdpSession.h"

namespace tarvo::cli {

// Finds one device by a search on every local network, and keeps the discovery running so that
// UDP commands go out on the interface that heard it.
class DeviceFinder {
public:
    // How long a search listens at least before the device it found is taken.
    static constexpr int kSettleMs = 1000;

    explicit DeviceFinder(CliNotifier& notifier);
    ~DeviceFinder();

    // Searches until `address` answers or `seconds` passed. Its type code, or nothing (with a
    // line on stderr saying so).
    std::optional<int> find(const std::string& address, double seconds);

    discovery::DiscoveryEngine& engine() { return *engine_; }
    ops::UdpSession& session() { return *session_; }

private:
    discovery::DeviceTable table_{discovery::kColumnCount};
    net::SystemMacResolver resolver_;
    std::unique_ptr<discovery::DiscoveryEngine> engine_;
    std::unique_ptr<ops::EngineSession> session_;
};

}  // namespace tarvo::cli

#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliNotifier.h"
#include "core/discovery/DeviceTable.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/ops/forms/UdpSession.h"

namespace tarvo::cli {

// Finds devices by a search on every local network, and keeps the discovery running so that
// UDP commands go out on the interface that heard each.
class DeviceFinder {
public:
    explicit DeviceFinder(CliNotifier& notifier);
    ~DeviceFinder();

    // Searches until `address` answers or `seconds` passed. Its type code, or nothing (with a
    // line on stderr saying so).
    std::optional<int> find(const std::string& address, double seconds);
    // The same for several devices, from one search: a type code (or nothing, with a line on
    // stderr) per address.
    std::vector<std::optional<int>> findAll(const std::vector<std::string>& addresses,
                                            double seconds);

    discovery::DiscoveryEngine& engine() { return *engine_; }
    ops::UdpSession& session() { return *session_; }

private:
    discovery::DeviceTable table_;
    net::SystemMacResolver resolver_;
    std::unique_ptr<discovery::DiscoveryEngine> engine_;
    std::unique_ptr<ops::EngineSession> session_;
};

// --type CODE and --search-seconds S: how a command learns the device's type.
void addTypeOptions(CLI::App& sub, std::optional<int>& type, double& searchSeconds);

// The device's type code: `given` when the user named it (--type), else what a search of
// `seconds` heard from `address`; nullopt, with a line on stderr saying it did not answer.
std::optional<int> deviceTypeOf(const std::string& address, std::optional<int> given,
                                double seconds);

}  // namespace tarvo::cli

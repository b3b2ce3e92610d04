#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

#include "cli/DeviceCommandsCli.h"
#include "core/discovery/DeviceFilter.h"

namespace tarvo::cli {

// Adds `discover`: one search on every (or the chosen) local interface, then the device table.
// The filters that choose listed devices, as given on the command line.
struct DeviceFilterArgs {
    discovery::DeviceFilter filter;
    std::string name;
    std::string subnet;
    // Fills `filter` from the texts; throws CLI::ValidationError for a subnet that is none.
    void resolve();
};

// Adds --type, --name, --subnet and --other-subnet.
void addFilterOptions(CLI::App& sub, DeviceFilterArgs& filter);

void addDiscoverCommand(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

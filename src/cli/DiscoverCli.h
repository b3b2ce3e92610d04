#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/DeviceCommandsCli.h"

namespace tarvo::cli {

// Adds `discover`: one search on every (or the chosen) local interface, then the device table.
void addDiscoverCommand(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

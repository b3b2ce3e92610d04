#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/DeviceCommandsCli.h"

namespace tarvo::cli {

// Adds `upgrade` (firmware upload to a camera or, with --nvr, an NVR) and `nvr-resolution`.
void addUpgradeCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

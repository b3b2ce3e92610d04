#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/DeviceCommandsCli.h"

namespace tarvo::cli {

// Adds `net`, `camera` and `cloud`, each with `get` and `set` (and `camera fix-mac`).
void addSettingsCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/CommandResult.h"

namespace tarvo::cli {

// Adds `login`, `version` and `reboot`. Each sets `run` when chosen; it returns the exit status.
void addDeviceCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace tarvo::cli {

struct GlobalOptions {
    bool json = false;
};

// Adds `login`, `version` and `reboot`. Each sets `run` when chosen; it returns the exit status.
void addDeviceCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

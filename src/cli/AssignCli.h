#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/DeviceCommandsCli.h"

namespace tarvo::cli {

// Adds `assign` to `net`: new addresses for many devices, one after another.
void addAssignCommand(CLI::App& net, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

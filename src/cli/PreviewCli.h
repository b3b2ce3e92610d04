#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/DeviceCommandsCli.h"

namespace tarvo::cli {

// Adds `snapshot` (the first decoded picture as PNG) and `record` (the stream into MP4
// without re-encoding).
void addPreviewCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

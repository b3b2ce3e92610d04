#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/CommandResult.h"

namespace tarvo::cli {

// Adds `site` (status, plan import, plan show, apply), each on the site file --site names.
void addSiteCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

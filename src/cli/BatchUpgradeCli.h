#pragma once

#include "cli/CommandResult.h"
#include "cli/UpgradeCli.h"

namespace tarvo::cli {

// `upgrade IP... FILE`: one upload per device, each on its own connection, `--parallel` at
// once; a progress line per device, then a summary. Each device that took the package is waited
// for until its version, read back, is new (--wait); with --canary the first goes alone and a
// failure stops the rest. Exit status 0 when every device was upgraded, else that of the first
// device (in the order given) that was not.
int runBatchUpgrade(const GlobalOptions& global, const UpgradeArgs& args);

}  // namespace tarvo::cli

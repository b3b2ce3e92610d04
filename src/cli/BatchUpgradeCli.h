#pragma once

#include "cli/CommandResult.h"
#include "cli/UpgradeCli.h"

namespace tarvo::cli {

// `upgrade IP... FILE`: one upload per device, each on its own connection, `--parallel` at
// once; a progress line per device, then a summary. Exit status 0 when every device accepted
// the package, else that of the first device (in the order given) that did not.
int runBatchUpgrade(const GlobalOptions& global, const UpgradeArgs& args);

}  // namespace tarvo::cli

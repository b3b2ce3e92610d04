#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/DeviceCommandsCli.h"

namespace tarvo::cli {

struct UpgradeArgs;

// How many devices a batch works on at once unless told otherwise.
constexpr int kParallelDevices = 4;

// Runs `work(i)` for every i below `count`, at most `parallel` at once, and returns when all
// have ended.
void forEachDevice(std::size_t count, int parallel, const std::function<void(std::size_t)>& work);

// The type codes of several devices: `given` for all when the user named it, else what one
// search heard from each (nothing for those that did not answer).
std::vector<std::optional<int>> typesOf(const std::vector<std::string>& addresses,
                                        std::optional<int> given, double seconds);

// What one device of a batch did: its exit status, the lines for the summary, its JSON.
struct DeviceOutcome {
    int status = 0;
    std::vector<std::string> lines;
    nlohmann::json json;
};

// Several devices for one command: their types (typesOf), then `perDevice(address, type)` for
// each, `parallel` at once. Prints each device's lines (and with --json its object) in the
// order given. Exit status 0 when every device's was 0, else the first other one.
int forEachTarget(
    const GlobalOptions& global, const std::vector<std::string>& addresses,
    std::optional<int> given, double seconds, int parallel,
    const std::function<DeviceOutcome(const std::string&, std::optional<int>)>& perDevice);

// `upgrade IP... FILE`: one upload per device, each on its own connection, `--parallel` at
// once; a progress line per device, then a summary. Exit status 0 when every device accepted
// the package, else that of the first device (in the order given) that did not.
int runBatchUpgrade(const GlobalOptions& global, const UpgradeArgs& args);

}  // namespace tarvo::cli

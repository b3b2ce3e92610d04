#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandResult.h"

namespace tarvo::cli {

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

// Prints each device's lines on stderr, the first naming the device (and with --json its object
// on stdout), in the order given. Exit status 0 when every device's was 0, else the first other
// one.
int printOutcomes(const GlobalOptions& global, const std::vector<std::string>& addresses,
                  const std::vector<DeviceOutcome>& outcomes);

// Several devices for one command: their types (typesOf), then `perDevice(address, type)` for
// each, `parallel` at once; then printOutcomes.
int forEachTarget(
    const GlobalOptions& global, const std::vector<std::string>& addresses,
    std::optional<int> given, double seconds, int parallel,
    const std::function<DeviceOutcome(const std::string&, std::optional<int>)>& perDevice);

}  // namespace tarvo::cli

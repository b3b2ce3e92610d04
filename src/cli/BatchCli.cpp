#include "cli/BatchCli.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "cli/CliNotifier.h"
#include "cli/DeviceFinder.h"
#include "cli/JsonOutput.h"
#include "core/text/TerminalText.h"

namespace tarvo::cli {

int printOutcomes(const GlobalOptions& global, const std::vector<std::string>& addresses,
                  const std::vector<DeviceOutcome>& outcomes) {
    int status = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const DeviceOutcome& outcome = outcomes[i];
        if (status == 0) status = outcome.status;
        std::string text = text::escapeControls(addresses[i]) + ":";
        const char* separator = " ";
        for (const auto& line : outcome.lines) {
            text += separator + text::escapeControls(line);
            separator = "\n    ";
        }
        (void)std::fprintf(stderr, "%s\n", text.c_str());
        if (global.json) printJson(outcome.json);
    }
    return status;
}

void forEachDevice(std::size_t count, int parallel, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::mutex failedMutex;
    std::exception_ptr failed;  // the first error of a worker, thrown again once all have ended
    {
        const auto workers =
            std::min<std::size_t>(count, static_cast<std::size_t>(std::max(1, parallel)));
        std::vector<std::jthread> pool;
        pool.reserve(workers);
        for (std::size_t w = 0; w < workers; ++w) {
            pool.emplace_back([&] {
                for (std::size_t i = next++; i < count; i = next++) {
                    try {
                        work(i);
                    } catch (...) {
                        std::lock_guard guard(failedMutex);
                        if (!failed) failed = std::current_exception();
                    }
                }
            });
        }
    }
    if (failed) std::rethrow_exception(failed);
}

std::vector<std::optional<int>> typesOf(const std::vector<std::string>& addresses,
                                        std::optional<int> given, double seconds) {
    std::vector<std::optional<int>> types(addresses.size(), given);
    if (given) return types;
    // One search serves them all, however many devices the batch names.
    CliNotifier notifier(false);
    DeviceFinder finder(notifier);
    return finder.findAll(addresses, seconds);
}

int forEachTarget(
    const GlobalOptions& global, const std::vector<std::string>& addresses,
    std::optional<int> given, double seconds, int parallel,
    const std::function<DeviceOutcome(const std::string&, std::optional<int>)>& perDevice) {
    const auto types = typesOf(addresses, given, seconds);
    std::vector<DeviceOutcome> outcomes(addresses.size());
    forEachDevice(addresses.size(), parallel,
                  [&](std::size_t i) { outcomes[i] = perDevice(addresses[i], types[i]); });
    return printOutcomes(global, addresses, outcomes);
}

}  // namespace tarvo::cli

#pragma once

#include <CLI/CLI.hpp>

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/BatchCli.h"
#include "cli/CliNotifier.h"
#include "cli/CommandResult.h"
#include "cli/Credentials.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/upgrade/FirmwareUploader.h"

namespace tarvo::cli {

struct UpgradeArgs {
    std::vector<std::string> targets;  // as given; `ip` is the one device being worked on
    std::string ip;
    std::string file;
    bool nvr = false;
    std::optional<int> type;
    double searchSeconds = 3.0;
    std::optional<int> port;
    std::string user = "admin";
    Password password;
    int parallel = kParallelDevices;
    // One device first, the rest only once it came back with the new version.
    bool canary = false;
    // How long a device may take to come back after taking the package.
    int waitSeconds = 300;
    // After the first device, a failure does not stop the rest.
    bool keepGoing = false;
    std::string site;  // empty: no site records the upgrades
    // One device: the device's answer ends the command, its version is not read back.
    bool noWait = false;
};

// One device's upgrade as `upgrade IP FILE` runs it: login, package rules, connection, upload.
// Fills `result` (exit status and reported values) and returns the exit status; notes go to `note`,
// upload reports to `observer`; `attempt`, when given, receives what a batch keeps of it.
int upgradeDevice(const UpgradeArgs& args, CliNotifier& notifier, upgrade::UploadObserver& observer,
                  upgrade::FirmwareUploader::Connection connection,
                  const std::function<void(const std::string&)>& note, Outcome& result,
                  ops::UploadAttempt* attempt = nullptr);

// Adds `upgrade` (firmware upload to a camera or, with --nvr, an NVR) and `nvr-resolution`.
void addUpgradeCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run);

}  // namespace tarvo::cli

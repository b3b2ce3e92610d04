#include <CLI/CLI.hpp>

#include <exception>
#include <functional>
#include <iostream>

#include "cli/DeviceCommandsCli.h"
#include "cli/DiscoverCli.h"
#include "cli/PreviewCli.h"
#include "cli/SettingsCli.h"
#include "cli/UpgradeCli.h"

// tarvo-cli: the device operations from a shell. Exit status 0 only on success; the program's
// messages go to stderr, --json results to stdout.
int main(int argc, char** argv) try {
    CLI::App app{"Tarvo command line: find and manage IP cameras, NVRs, DVRs and decoders"};
    app.require_subcommand(1);
    app.fallthrough();  // global options also after the subcommand
    tarvo::cli::GlobalOptions global;
    app.add_flag("--json", global.json, "Print a machine-readable result on stdout");
    std::function<int()> run;
    tarvo::cli::addDiscoverCommand(app, global, run);
    tarvo::cli::addDeviceCommands(app, global, run);
    tarvo::cli::addPreviewCommands(app, global, run);
    tarvo::cli::addUpgradeCommands(app, global, run);
    tarvo::cli::addSettingsCommands(app, global, run);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }
    return run ? run() : 2;
} catch (const std::exception& e) {
    std::cerr << "tarvo-cli: " << e.what() << std::endl;
    return 1;
}

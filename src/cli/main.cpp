#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>

#include "TarvoVersion.h"
#include "cli/AssignCli.h"
#include "cli/CommandResult.h"
#include "cli/DeviceCommandsCli.h"
#include "cli/DiscoverCli.h"
#include "cli/JsonOutput.h"
#include "cli/PreviewCli.h"
#include "cli/SettingsCli.h"
#include "cli/SiteCli.h"
#include "cli/UpgradeCli.h"
#include "core/net/Capabilities.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"

namespace {

// Whether `text` has Chinese in it: the reasons the program gives itself are translated, CLI11's
// own are English whatever the language.
bool shownInChinese(const std::string& text) {
    const std::u16string wide = tarvo::text::fromUtf8(text);
    return std::any_of(wide.begin(), wide.end(), [](char16_t c) {
        return (c >= 0x3000 && c <= 0x303F) || (c >= 0x4E00 && c <= 0x9FFF) ||
               (c >= 0xFF00 && c <= 0xFFEF);
    });
}

// A parse failure in words the user can act on; CLI11's own text for the rest. The exit status:
// 0 after --help and --version, else 2.
// With --json the failure is also one JSON object on stdout, as every other outcome is.
int reportParseError(const CLI::App& app, const CLI::ParseError& e, bool json) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::string message;
    std::string command;
    const CLI::App* deepest = &app;
    while (!deepest->get_subcommands().empty()) {
        deepest = deepest->get_subcommands().front();
        command += (command.empty() ? "" : " ") + deepest->get_name();
    }
    const auto extras = app.remaining(true);
    const std::string what = e.what();
    const std::string convert = "Could not convert: ";
    if (deepest->get_require_subcommand_min() > 0 && !extras.empty() && extras.front()[0] != '-') {
        message = tarvo::cli::said(tarvo::text::msg::kUnknownCommandFormat, extras.front());
    } else if (dynamic_cast<const CLI::ConversionError*>(&e) && what.starts_with(convert) &&
               what.find(" = ") != std::string::npos) {
        const auto split = what.find(" = ");
        const std::string option = what.substr(convert.size(), split - convert.size());
        const std::string value = what.substr(split + 3);
        char* end = nullptr;
        std::strtod(value.c_str(), &end);
        const bool numeric = !value.empty() && end == value.c_str() + value.size();
        message = tarvo::cli::said(numeric ? tarvo::text::msg::kOptionOutOfRangeFormat
                                           : tarvo::text::msg::kOptionNotANumberFormat,
                                   option, value);
    }
    if (message.empty() && shownInChinese(what)) {
        // Our own reason (a check's or a callback's), in the language shown: the hint after it too.
        std::cerr << what << '\n' << tarvo::cli::said(tarvo::text::msg::kSeeHelp) << std::endl;
        message = what;
    } else if (message.empty()) {
        app.exit(e);
        message = what;
    } else {
        std::cerr << "tarvo-cli: " << tarvo::text::escapeControls(message) << "\n"
                  << tarvo::cli::said(tarvo::text::msg::kSeeHelp) << std::endl;
    }
    if (json) {
        tarvo::cli::printJson({{"command", command},
                               {"ok", false},
                               {"exitCode", tarvo::cli::exitcode::kUsage},
                               {"message", message}});
    }
    return tarvo::cli::exitcode::kUsage;
}

// Whether --json stands among the arguments: a command line that does not parse may not have
// set the flag yet.
bool asksForJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--") break;
        if (std::string_view(argv[i]) == "--json") return true;
    }
    return false;
}

}  // namespace

// tarvo-cli: the device operations from a shell. Exit status 0 only on success; the program's
// messages go to stderr, --json results to stdout.
int main(int argc, char** argv) try {
    // Before anything that loads plugins (FFmpeg, Qt for reports): a process run by root holds
    // no capability from here on. The reply frames come from the helper tarvo-macwatch, started
    // only by the commands that search.
    if (!tarvo::net::startWithoutCapabilities()) {
        std::cerr << tarvo::cli::said(tarvo::text::msg::kCapabilitiesNotDropped) << std::endl;
        return 1;
    }
    CLI::App app{"Tarvo command line: find and manage IP cameras, NVRs, DVRs and decoders"};
    app.require_subcommand(1);
    app.fallthrough();  // global options also after the subcommand
    app.set_version_flag("--version", std::string("tarvo-cli ") + tarvo::kVersion);
    tarvo::cli::GlobalOptions global;
    app.add_flag("--json", global.json, "Print a machine-readable result on stdout");
    std::function<int()> run;
    tarvo::cli::addDiscoverCommand(app, global, run);
    tarvo::cli::addDeviceCommands(app, global, run);
    tarvo::cli::addPreviewCommands(app, global, run);
    tarvo::cli::addUpgradeCommands(app, global, run);
    tarvo::cli::addSettingsCommands(app, global, run);
    tarvo::cli::addAssignCommand(*app.get_subcommand("net"), global, run);
    tarvo::cli::addSiteCommands(app, global, run);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return reportParseError(app, e, asksForJson(argc, argv));
    }
    return run ? run() : tarvo::cli::exitcode::kUsage;
} catch (const std::exception& e) {
    std::cerr << "tarvo-cli: " << e.what() << std::endl;
    return 1;
}

#include "cli/DeviceCommandsCli.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/BatchCli.h"
#include "cli/CliNotifier.h"
#include "cli/Credentials.h"
#include "cli/DeviceFinder.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::cli {

namespace {

struct DeviceArgs {
    std::vector<std::string> targets;  // `reboot` takes several; `ip` is the one worked on
    std::string ip;
    std::optional<std::uint16_t> port;
    std::optional<int> type;
    double searchSeconds = 3.0;
    std::string user = "admin";
    Password password;
    // Learnt before the command runs: the device's type code and the port to use.
    int foundType = 0;
    std::uint16_t usedPort = protocol::kCameraCommandPort;
};

void addTarget(CLI::App& sub, DeviceArgs& args, bool credentials, bool several = false) {
    if (several) {
        sub.add_option("IP", args.targets, "Device address; several at once")->required();
    } else {
        sub.add_option("IP", args.ip, "Device address")->required();
    }
    sub.add_option("--port", args.port, "Command port (default 5505, NVR 5500)");
    addTypeOptions(sub, args.type, args.searchSeconds);
    if (credentials) {
        sub.add_option("--user", args.user, "User name")->capture_default_str();
        addPasswordOptions(sub, args.password);
    }
}

// The device's type (searched unless given) and the window's rules for `command`; then the
// port: the one given, else the type's default. False when the command cannot go ahead.
bool prepare(DeviceArgs& args, const char* command, discovery::Operation operation) {
    const auto type = deviceTypeOf(args.ip, args.type, args.searchSeconds);
    if (!type) return false;
    const std::string refusal = discovery::refusalOf(args.ip, *type, command, operation);
    if (!refusal.empty()) {
        std::cerr << refusal << std::endl;
        return false;
    }
    args.foundType = *type;
    args.usedPort = args.port.value_or(discovery::capabilitiesOf(*type).defaultPort);
    return true;
}

protocol::LoginInfo loginInfoOf(const DeviceArgs& args) {
    return protocol::makeLoginInfo(args.ip, args.usedPort, text::fromUtf8(args.user),
                                   text::fromUtf8(args.password.value), 0, args.foundType);
}

// The command's outcome; `said` is its line after success (a catalogue text).
Outcome outcomeOf(const char* command, const DeviceArgs& args, bool ok,
                  std::u16string_view said = {}, nlohmann::json fields = nlohmann::json::object()) {
    fields["port"] = args.usedPort;
    return {command, args.ip, ok ? exitcode::kOk : exitcode::kFailed,
            ok && !said.empty() ? text::toUtf8(text::tr(said)) : std::string(), std::move(fields)};
}

int finishDevice(const GlobalOptions& global, const char* command, const DeviceArgs& args, bool ok,
                 const CliNotifier& notifier, std::u16string_view said = {},
                 nlohmann::json fields = nlohmann::json::object()) {
    return finish(global, outcomeOf(command, args, ok, said, std::move(fields)), &notifier);
}

// `reboot IP...`: every device as `reboot IP` does it, a result for each.
int rebootEach(const GlobalOptions& global, const DeviceArgs& args) {
    return forEachTarget(
        global, args.targets, args.type, args.searchSeconds, kParallelDevices,
        [&args](const std::string& address, std::optional<int> type) {
            DeviceArgs one = args;
            one.ip = address;
            one.type = type;
            CliNotifier notifier(false);
            const bool ok = type && prepare(one, "reboot", discovery::Operation::Reboot) &&
                            notifier.report(protocol::rebootDevice(loginInfoOf(one)));
            DeviceOutcome outcome{
                ok ? 0 : 1, {said(ok ? text::msg::kRebooting : text::msg::kRebootFailed)}, {}};
            for (const auto& e : notifier.entries()) outcome.lines.push_back(e.text);
            outcome.json =
                toJson(outcomeOf("reboot", one, ok, text::msg::kRebootStarted), &notifier);
            return outcome;
        });
}

}  // namespace

void addDeviceCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    auto login = std::make_shared<DeviceArgs>();
    CLI::App* loginCmd = app.add_subcommand("login", "Check user name and password over TCP");
    addTarget(*loginCmd, *login, true);
    loginCmd->callback([&global, &run, login] {
        login->password.resolve();
        run = [&global, login] {
            CliNotifier notifier;
            const bool ok = prepare(*login, "login", discovery::Operation::Login) &&
                            notifier.report(protocol::loginCheck(loginInfoOf(*login)));
            return finishDevice(global, "login", *login, ok, notifier, text::msg::kLoginAccepted);
        };
    });

    auto version = std::make_shared<DeviceArgs>();
    CLI::App* versionCmd =
        app.add_subcommand("version", "Read a camera's firmware version and check its minimum");
    addTarget(*versionCmd, *version, false);
    versionCmd->callback([&global, &run, version] {
        run = [&global, version] {
            CliNotifier notifier;
            std::u16string text;
            const bool ok =
                prepare(*version, "version", discovery::Operation::Version) &&
                notifier.report(protocol::checkCameraVersion(version->ip, version->usedPort, text));
            if (!global.json && !text.empty())
                std::cout << text::toUtf8(text::escapeControls(text)) << std::endl;
            return finishDevice(global, "version", *version, ok, notifier, {},
                                {{"version", text::toUtf8(text)}});
        };
    });

    auto reboot = std::make_shared<DeviceArgs>();
    CLI::App* rebootCmd = app.add_subcommand("reboot", "Log in and reboot the device");
    addTarget(*rebootCmd, *reboot, true, true);
    rebootCmd->callback([&global, &run, reboot] {
        reboot->password.resolve();
        run = [&global, reboot] {
            if (reboot->targets.size() > 1) return rebootEach(global, *reboot);
            reboot->ip = reboot->targets.front();
            CliNotifier notifier;
            const bool ok = prepare(*reboot, "reboot", discovery::Operation::Reboot) &&
                            notifier.report(protocol::rebootDevice(loginInfoOf(*reboot)));
            return finishDevice(global, "reboot", *reboot, ok, notifier, text::msg::kRebootStarted);
        };
    });
}

}  // namespace tarvo::cli

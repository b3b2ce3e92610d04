#include "cli/DeviceCommandsCli.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>

#include "cli/CliNotifier.h"
#include "cli/JsonOutput.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"

namespace tarvo::cli {

namespace {

struct DeviceArgs {
    std::string ip;
    std::uint16_t port = protocol::kCameraCommandPort;
    std::string user = "admin";
    std::string password;
};

void addTarget(CLI::App& sub, DeviceArgs& args, bool credentials) {
    sub.add_option("IP", args.ip, "Device address")->required();
    sub.add_option("--port", args.port, "Command port")->capture_default_str();
    if (credentials) {
        sub.add_option("--user", args.user, "User name")->capture_default_str();
        sub.add_option("--password", args.password, "Password (default: empty)");
    }
}

protocol::LoginInfo loginInfoOf(const DeviceArgs& args) {
    return protocol::makeLoginInfo(args.ip, args.port, text::fromUtf8(args.user),
                                   text::fromUtf8(args.password), 0, 0);
}

int finish(const GlobalOptions& global, const char* command, const DeviceArgs& args, bool ok,
           const CliNotifier& notifier, const nlohmann::json& extra = nlohmann::json::object()) {
    if (global.json) {
        nlohmann::json out = {
            {"command", command}, {"ip", args.ip}, {"port", args.port}, {"ok", ok}};
        auto messages = nlohmann::json::array();
        for (const auto& e : notifier.entries())
            messages.push_back({{"kind", e.kind}, {"text", e.text}});
        out["messages"] = messages;
        out.update(extra);
        printJson(out);
    }
    return ok ? 0 : 1;
}

}  // namespace

void addDeviceCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    auto login = std::make_shared<DeviceArgs>();
    CLI::App* loginCmd = app.add_subcommand("login", "Check user name and password over TCP");
    addTarget(*loginCmd, *login, true);
    loginCmd->callback([&global, &run, login] {
        run = [&global, login] {
            CliNotifier notifier;
            const bool ok = protocol::loginCheck(loginInfoOf(*login), notifier);
            return finish(global, "login", *login, ok, notifier);
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
                protocol::checkCameraVersion(version->ip, version->port, text, notifier);
            if (!global.json && !text.empty())
                std::cout << text::toUtf8(text::escapeControls(text)) << std::endl;
            return finish(global, "version", *version, ok, notifier,
                          {{"version", text::toUtf8(text)}});
        };
    });

    auto reboot = std::make_shared<DeviceArgs>();
    CLI::App* rebootCmd = app.add_subcommand("reboot", "Log in and reboot the device");
    addTarget(*rebootCmd, *reboot, true);
    rebootCmd->callback([&global, &run, reboot] {
        run = [&global, reboot] {
            CliNotifier notifier;
            const bool ok = protocol::rebootDevice(loginInfoOf(*reboot), notifier);
            return finish(global, "reboot", *reboot, ok, notifier);
        };
    });
}

}  // namespace tarvo::cli

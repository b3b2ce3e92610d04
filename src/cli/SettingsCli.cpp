#include "cli/SettingsCli.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "cli/CliNotifier.h"
#include "cli/CommandResult.h"
#include "cli/Credentials.h"
#include "cli/DeviceFinder.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"

namespace tarvo::cli {

namespace {

using json = nlohmann::json;

struct SettingsArgs {
    std::string ip;
    double searchSeconds = 3.0;
    std::uint16_t port = protocol::kCameraCommandPort;
    std::string user = "admin";
    Password password;
    // net set
    std::optional<std::string> newIp, mask, gateway, dns, dhcp, audio;
    // camera set
    std::optional<std::string> overlay, resolution, substream;
    // cloud set
    std::optional<std::string> cloudPassword, cloudPasswordFile;
};

void wait(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The settings windows, answered from the command line: `get` shows and cancels, `set` edits
// the values the options name and confirms through the same rules as the window.
class CliSettingsDialogs final : public ops::SettingsDialogs {
public:
    CliSettingsDialogs(const SettingsArgs& args, bool set, CliNotifier& notifier)
        : args_(args), set_(set), notifier_(notifier) {}

    bool runNetSettings(ops::NetSettingsForm& form, const NetCheck& check) override {
        const auto& p = form.netParams();
        showNet(form);
        // Without the device's own record the values above are zeros or left-overs: showing
        // them as the device's, or writing them back, would be wrong.
        if (!form.recordAnswered() || !form.audioAnswered()) {
            unanswered = true;
            shown = json::object();
            std::cerr << text::escapeControls(
                             said(text::msg::kSettingsUnansweredFormat, form.deviceIp()))
                      << std::endl;
            return false;
        }
        if (!set_) return false;
        ops::NetSettingsEntry e;
        e.user = text::fromUtf8(args_.user);
        e.password = text::fromUtf8(args_.password.value);
        e.address = text::fromUtf8(args_.newIp.value_or(net::formatIPv4(p.address)));
        e.netmask = text::fromUtf8(args_.mask.value_or(net::formatIPv4(p.netmask)));
        e.gateway = text::fromUtf8(args_.gateway.value_or(net::formatIPv4(p.gateway)));
        e.dns = text::fromUtf8(args_.dns.value_or(net::formatIPv4(p.dns)));
        e.httpPort = form.httpPortText();
        e.dhcp = args_.dhcp ? *args_.dhcp == "on" : p.dhcp != 0;
        e.audio = args_.audio ? *args_.audio == "on" : form.audio() != 0;
        if (sameAddress(e.address, p.address) && sameAddress(e.netmask, p.netmask) &&
            sameAddress(e.gateway, p.gateway) && sameAddress(e.dns, p.dns) &&
            e.dhcp == (p.dhcp != 0) && e.audio == (form.audio() != 0)) {
            nothingToChange = true;
            return false;
        }
        accepted = check(e, notifier_) == ops::NetSettingsOutcome::Accepted;
        if (accepted) showNet(form);  // what was written, not what was read
        return accepted;
    }

    bool runCameraConfig(ops::CameraConfigForm& form) override {
        cameraShown = true;
        showCamera(form);
        if (!set_) return false;
        int resolution = form.resolutionIndex();
        if (args_.resolution) {
            if (form.resolutionEnabled()) {
                resolution = *args_.resolution == "1mp" ? 1 : 0;
            } else {
                std::cerr << said(text::msg::kResolutionFixed) << std::endl;
            }
        }
        const int overlay = args_.overlay ? (*args_.overlay == "on" ? 0 : 1) : form.overlayIndex();
        const int substream =
            args_.substream ? (*args_.substream == "cif" ? 1 : 0) : form.subStreamIndex();
        if (overlay == form.overlayIndex() && resolution == form.resolutionIndex() &&
            substream == form.subStreamIndex()) {
            nothingToChange = true;
            return false;
        }
        form.accept(form.protocolIndex(), overlay, resolution, substream);
        showCamera(form);
        accepted = true;
        return true;
    }

    std::optional<ops::CloudEntry> runCloudSettings(const ops::CloudForm& form) override {
        shown = {{"identity", text::toUtf8(form.identityText())},
                 {"cloudPassword", text::toUtf8(form.passwordText())},
                 {"deviceId", form.record().deviceId}};
        if (!set_ || !args_.cloudPassword) return std::nullopt;
        return ops::CloudEntry{form.identityText(), text::fromUtf8(*args_.cloudPassword),
                               form.deviceIdText()};
    }

    void waitMs(int milliseconds) override { wait(milliseconds); }
    bool mayWrite() const override { return set_; }

    json shown = json::object();
    bool accepted = false;
    bool unanswered = false;
    bool cameraShown = false;      // the camera sent its options and they were shown
    bool nothingToChange = false;  // a set whose values the device already has: nothing sent

private:
    void showNet(const ops::NetSettingsForm& form) {
        const auto& p = form.netParams();
        shown = {{"ip", net::formatIPv4(p.address)},
                 {"mask", net::formatIPv4(p.netmask)},
                 {"gateway", net::formatIPv4(p.gateway)},
                 {"dns", net::formatIPv4(p.dns)},
                 {"httpPort", p.httpPort},
                 {"dhcp", p.dhcp != 0},
                 {"audio", form.audio() != 0}};
    }

    void showCamera(const ops::CameraConfigForm& form) {
        shown = {
            {"version", text::toUtf8(form.version())},
            {"protocol", text::toUtf8(text::tr(
                             ops::CameraConfigForm::kProtocolItems[form.protocolIndex() & 1]))},
            {"overlay", form.overlay() == 0 ? "on" : "off"},
            {"resolution", form.resolution() == 0 ? "all" : "1mp"},
            {"resolutionChangeable", form.resolutionEnabled()},
            {"substream", form.subStream() == 2 ? "cif" : "d1"}};
    }

    // Whether the address typed is the one the device has; text that is no address differs
    // (the form refuses it).
    static bool sameAddress(const std::u16string& typed, std::uint32_t current) {
        std::uint32_t value = 0;
        return net::parseIPv4(text::toUtf8(typed), value) && value == current;
    }

    const SettingsArgs& args_;
    bool set_;
    CliNotifier& notifier_;
};

int report(const GlobalOptions& global, const std::string& command, const SettingsArgs& args,
           bool ok, const json& values, const CliNotifier& notifier, std::string message = {}) {
    if (!global.json && ok && !values.empty()) {
        for (const auto& [key, value] : values.items()) {
            std::cout << key << ": "
                      << text::escapeControls(value.is_string() ? value.get<std::string>()
                                                                : value.dump())
                      << '\n';
        }
        std::cout.flush();
    }
    return finish(global,
                  {command,
                   args.ip,
                   ok ? exitcode::kOk : exitcode::kFailed,
                   std::move(message),
                   {{"values", values}}},
                  &notifier);
}

enum class Kind { Net, Camera, Cloud, FixMac };

int runSettings(const GlobalOptions& global, const SettingsArgs& args, Kind kind, bool set,
                const std::string& name) {
    text::buildUiText(text::chooseUiLanguage());
    CliNotifier notifier;
    // A password the device's field cannot hold is refused before anything is sent.
    if (kind == Kind::Cloud && set && args.cloudPassword &&
        !ops::CloudForm::passwordFits(text::fromUtf8(*args.cloudPassword))) {
        notifier.message(text::msg::kCloudPasswordTooLong);
        return report(global, name, args, false, {}, notifier);
    }
    DeviceFinder finder(notifier);
    const auto type = finder.find(args.ip, args.searchSeconds);
    if (!type) return report(global, name, args, false, {}, notifier);
    const discovery::Operation operation = kind == Kind::Net ? discovery::Operation::NetworkSettings
                                           : kind == Kind::Cloud
                                               ? discovery::Operation::Cloud
                                               : discovery::Operation::CameraConfig;
    if (const auto refusal = discovery::refusalOf(args.ip, *type, name, operation);
        !refusal.empty()) {
        std::cerr << refusal << std::endl;
        return report(global, name, args, false, {}, notifier);
    }
    CliSettingsDialogs dialogs(args, set, notifier);
    ops::SettingsFlows flows(dialogs, finder.session(), notifier);
    switch (kind) {
        case Kind::Net:
            flows.networkSettings(args.ip, *type);
            break;
        case Kind::Camera:
            // Options the camera did not send are not shown as its own (the flow told why).
            if (!flows.cameraConfig(args.ip, *type, args.port) && !dialogs.cameraShown)
                return report(global, name, args, false, {}, notifier);
            break;
        case Kind::Cloud: {
            const auto login =
                protocol::makeLoginInfo(args.ip, args.port, text::fromUtf8(args.user),
                                        text::fromUtf8(args.password.value), 0, *type);
            if (!notifier.report(protocol::loginCheck(login)))
                return report(global, name, args, false, {}, notifier);
            dialogs.accepted = flows.cloudSettings(args.ip);
            break;
        }
        case Kind::FixMac: {
            // The camera answers with its own message once it took a new MAC address.
            const std::size_t before = notifier.entries().size();
            if (!flows.fixMac(args.ip)) return report(global, name, args, false, {}, notifier);
            for (int i = 0; i < 100 && notifier.entries().size() == before; ++i) wait(20);
            return report(global, name, args, notifier.entries().size() > before, {}, notifier);
        }
    }
    if (dialogs.nothingToChange) {
        return report(global, name, args, true, dialogs.shown, notifier,
                      text::toUtf8(text::tr(text::msg::kNothingToChange)));
    }
    const bool ok = !dialogs.unanswered && (set ? dialogs.accepted : true);
    return report(global, name, args, ok, dialogs.shown, notifier);
}

CLI::App* addCommand(CLI::App& parent, const char* name, const char* help,
                     const std::shared_ptr<SettingsArgs>& args, bool credentials, bool port) {
    CLI::App* sub = parent.add_subcommand(name, help);
    sub->add_option("IP", args->ip, "Device address")->required();
    sub->add_option("--search-seconds", args->searchSeconds, "How long to search for the device")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 60.0));
    if (port) sub->add_option("--port", args->port, "Command port")->capture_default_str();
    if (credentials) {
        sub->add_option("--user", args->user, "User name")->capture_default_str();
        addPasswordOptions(*sub, args->password);
    }
    return sub;
}

// The secrets of a settings command, read as it is chosen: the login's password, and the new
// cloud password, which like the login's need not show on the command line.
void resolveSecrets(SettingsArgs& args, Kind kind, bool set) {
    args.password.resolve();
    if (args.cloudPasswordFile) {
        args.cloudPassword = readSecretFile(*args.cloudPasswordFile, "--cloud-password-file");
    } else if (args.cloudPassword) {
        warnVisibleSecret("--cloud-password", "--cloud-password-file, TARVO_CLOUD_PASSWORD");
    } else if (set && kind == Kind::Cloud) {
        if (const char* value = std::getenv("TARVO_CLOUD_PASSWORD")) {
            args.cloudPassword = value;
        } else {
            throw CLI::RequiredError(
                "--cloud-password, --cloud-password-file or "
                "TARVO_CLOUD_PASSWORD");
        }
    }
}

// Ties a settings command to its run.
struct Binder {
    const GlobalOptions& global;
    std::function<int()>& run;

    void operator()(CLI::App* sub, const std::shared_ptr<SettingsArgs>& args, Kind kind, bool set,
                    const std::string& name) const {
        sub->callback([&global = global, &run = run, args, kind, set, name] {
            resolveSecrets(*args, kind, set);
            run = [&global, args, kind, set, name] {
                return runSettings(global, *args, kind, set, name);
            };
        });
    }
};

// net get|set.
void addNetCommands(CLI::App& app, const Binder& bind) {
    const auto onOff = CLI::IsMember({"on", "off"});
    CLI::App* net = app.add_subcommand("net", "Network parameters of a camera or decoder (UDP)");
    net->require_subcommand(1);
    auto netGet = std::make_shared<SettingsArgs>();
    bind(addCommand(*net, "get", "Show address, mask, gateway, DNS, HTTP port, DHCP and audio",
                    netGet, false, false),
         netGet, Kind::Net, false, "net get");
    auto netSet = std::make_shared<SettingsArgs>();
    CLI::App* set =
        addCommand(*net, "set", "Change network parameters; the device moves to its new address",
                   netSet, true, false);
    set->add_option("--ip", netSet->newIp, "New address");
    set->add_option("--mask", netSet->mask, "Subnet mask");
    set->add_option("--gateway", netSet->gateway, "Gateway");
    set->add_option("--dns", netSet->dns, "DNS server");
    set->add_option("--dhcp", netSet->dhcp, "on|off")->check(onOff);
    set->add_option("--audio", netSet->audio, "on|off")->check(onOff);
    bind(set, netSet, Kind::Net, true, "net set");
}

// camera get|set|fix-mac.
void addCameraCommands(CLI::App& app, const Binder& bind) {
    const auto onOff = CLI::IsMember({"on", "off"});
    CLI::App* camera = app.add_subcommand(
        "camera", "Camera options: overlay, main-stream limit, ONVIF sub-stream");
    camera->require_subcommand(1);
    auto camGet = std::make_shared<SettingsArgs>();
    bind(addCommand(*camera, "get", "Show the camera's version and options", camGet, false, true),
         camGet, Kind::Camera, false, "camera get");
    auto camSet = std::make_shared<SettingsArgs>();
    CLI::App* cset = addCommand(*camera, "set", "Change camera options", camSet, false, true);
    cset->add_option("--overlay", camSet->overlay, "Date/time in the picture: on|off")
        ->check(onOff);
    cset->add_option("--resolution", camSet->resolution, "Main stream: all|1mp")
        ->check(CLI::IsMember({"all", "1mp"}));
    cset->add_option("--substream", camSet->substream, "ONVIF sub-stream: d1|cif")
        ->check(CLI::IsMember({"d1", "cif"}));
    bind(cset, camSet, Kind::Camera, true, "camera set");
    auto fix = std::make_shared<SettingsArgs>();
    bind(addCommand(*camera, "fix-mac", "Ask the camera to resolve a MAC address conflict", fix,
                    false, false),
         fix, Kind::FixMac, true, "camera fix-mac");
}

// cloud get|set.
void addCloudCommands(CLI::App& app, const Binder& bind) {
    CLI::App* cloud =
        app.add_subcommand("cloud", "Cloud connection password (after a login check)");
    cloud->require_subcommand(1);
    auto cloudGet = std::make_shared<SettingsArgs>();
    bind(addCommand(*cloud, "get", "Show the cloud identity, password and device ID", cloudGet,
                    true, true),
         cloudGet, Kind::Cloud, false, "cloud get");
    auto cloudSet = std::make_shared<SettingsArgs>();
    CLI::App* clset =
        addCommand(*cloud, "set", "Set the cloud connection password", cloudSet, true, true);
    CLI::Option* cloudPassword =
        clset->add_option("--cloud-password", cloudSet->cloudPassword,
                          "New cloud connection password (or $TARVO_CLOUD_PASSWORD). A value "
                          "written here is visible to every local user in the process list: "
                          "prefer --cloud-password-file or TARVO_CLOUD_PASSWORD");
    clset
        ->add_option("--cloud-password-file", cloudSet->cloudPasswordFile,
                     "Read the new cloud password from the first line of FILE")
        ->type_name("FILE")
        ->excludes(cloudPassword);
    bind(clset, cloudSet, Kind::Cloud, true, "cloud set");
}

}  // namespace

void addSettingsCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    const Binder bind{global, run};
    addNetCommands(app, bind);
    addCameraCommands(app, bind);
    addCloudCommands(app, bind);
}

}  // namespace tarvo::cli

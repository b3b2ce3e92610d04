#include "cli/UpgradeCli.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "cli/BatchCli.h"
#include "cli/BatchUpgradeCli.h"
#include "cli/CliNotifier.h"
#include "cli/CommandResult.h"
#include "cli/Credentials.h"
#include "cli/DeviceFinder.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DeviceTypes.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/site/SiteFile.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/NvrResolutionClient.h"
#include "core/upgrade/PackageRules.h"

namespace tarvo::cli {

namespace {

using Clock = std::chrono::steady_clock;

using exitcode::kBrokenOff;
using exitcode::kNoAnswer;
using exitcode::kNothingSent;
constexpr int kAccepted = exitcode::kOk;
constexpr int kRefused = exitcode::kFailed;  // the device answered, but not with 1

constexpr const char* kUpgradeFooter =
    "Each device that takes the package is waited for (--wait) until a search finds it again "
    "and its version, read back, is new (the package's, when its name gives one); the package "
    "is checked against every device first (its type, and a camera's type as its version ends): "
    "one it does not fit stops them all before anything is sent. Exit status: 0 every device "
    "was upgraded, 1 a device refused the package or took it and came back without the new "
    "version, 3 it did not answer, 4 the transfer broke off, 5 nothing was sent (login, "
    "connection, file, version, a package that does not fit, or not started after a failure "
    "with --canary), 2 usage; the status is that of the first device, in the order given, that "
    "did not succeed. With --no-wait (one device) the device's answer ends the command: 0 it "
    "accepted the package (answer tag 1).";

struct ResolutionArgs {
    std::string ip;
    std::optional<int> type;
    double searchSeconds = 3.0;
    std::optional<int> port;
    std::string user = "admin";
    std::string password;
    std::optional<std::string> set;
};

// The list's position of a resolution given by its number (0-5) or as the list shows it, with
// or without spaces, x or X ("1920x1080", "1920 x 1080").
std::optional<int> resolutionIndexOf(std::string_view value) {
    const auto& names = text::msg::kNvrResolutions;
    if (value.size() == 1 && value[0] >= '0' && value[0] < static_cast<char>('0' + names.size()))
        return value[0] - '0';
    std::string wanted;
    for (char c : value) {
        if (c != ' ') wanted += c == 'X' ? 'x' : c;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string name;
        for (char16_t c : names[i]) {
            if (c != u' ') name += static_cast<char>(c);
        }
        if (name == wanted) return static_cast<int>(i);
    }
    return std::nullopt;
}

std::string unknownResolution(const std::string& value) {
    std::u16string choices;
    for (const auto& name : text::msg::kNvrResolutions) {
        if (!choices.empty()) choices += u", ";
        for (char16_t c : name) {
            if (c != u' ') choices += c;
        }
    }
    return text::toUtf8(text::formatText(text::tr(text::msg::kNvrResolutionUnknownFormat),
                                         {text::fromUtf8(value), choices}));
}

std::string mebibytes(double bytes) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

std::string minutesSeconds(double seconds) {
    const long whole = std::lround(seconds);
    char text[32];
    (void)std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// Progress on stderr: a bar redrawn in place on a terminal, plain lines every tenth otherwise.
class ProgressPrinter final : public upgrade::UploadObserver {
public:
    explicit ProgressPrinter(bool enabled) : enabled_(enabled), tty_(stderrIsTerminal()) {}

    void uploadStarted(int /*progressUpper*/, std::uint32_t fileSize) override {
        std::lock_guard guard(mutex_);
        total_ = upgrade::pieceCount(fileSize);
        size_ = fileSize;
        started_ = Clock::now();
        lastDraw_ = {};
        lastTenth_ = 0;
        if (enabled_) print(0, 0, true);
    }
    void uploadProgress(int position, std::uint64_t bytesSent) override {
        std::lock_guard guard(mutex_);
        if (enabled_) print(static_cast<std::uint64_t>(position), bytesSent, false);
    }
    void uploadFinished(const upgrade::UploadOutcome& outcome) override {
        std::lock_guard guard(mutex_);
        if (enabled_ && tty_ && drawn_) (void)std::fputs("\n", stderr);
        outcome_ = outcome;
    }
    upgrade::UploadOutcome outcome() const {
        std::lock_guard guard(mutex_);
        return outcome_;
    }

private:
    void print(std::uint64_t pieces, std::uint64_t bytes, bool first) {
        const auto now = Clock::now();
        const bool last = pieces == total_;
        const double seconds = std::chrono::duration<double>(now - started_).count();
        const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
        const double left = rate > 0 ? static_cast<double>(size_ - bytes) / rate : 0.0;
        const std::string figures =
            said(text::msg::kUploadFiguresFormat, std::to_string(pieces), std::to_string(total_),
                 mebibytes(rate), pieces > 0 ? minutesSeconds(left) : std::string("-:--"));
        if (tty_) {
            if (!first && !last && now - lastDraw_ < std::chrono::milliseconds(100)) return;
            lastDraw_ = now;
            constexpr int kWidth = 30;
            const int filled = total_ == 0 ? kWidth : static_cast<int>(pieces * kWidth / total_);
            const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                                    std::string(static_cast<std::size_t>(kWidth - filled), '.');
            (void)std::fprintf(stderr, "\r[%s] %s   ", bar.c_str(), figures.c_str());
            drawn_ = true;
        } else {
            const std::uint64_t tenth = total_ == 0 ? 10 : pieces * 10 / total_;
            if (!first && !last && tenth == lastTenth_) return;
            lastTenth_ = tenth;
            (void)std::fprintf(stderr, "%s\n", said(text::msg::kUploadLineFormat, figures).c_str());
        }
        (void)std::fflush(stderr);
    }

    mutable std::mutex mutex_;
    const bool enabled_;
    const bool tty_;
    bool drawn_ = false;
    std::uint64_t total_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t lastTenth_ = 0;
    Clock::time_point started_{};
    Clock::time_point lastDraw_{};
    upgrade::UploadOutcome outcome_;
};

// Keeps the outcome for the caller and passes every report on.
class OutcomeKeeper final : public upgrade::UploadObserver {
public:
    explicit OutcomeKeeper(upgrade::UploadObserver& next) : next_(next) {}
    void uploadStarted(int upper, std::uint32_t size) override { next_.uploadStarted(upper, size); }
    void uploadProgress(int position, std::uint64_t bytes) override {
        next_.uploadProgress(position, bytes);
    }
    void uploadFinished(const upgrade::UploadOutcome& outcome) override {
        {
            std::lock_guard guard(mutex_);
            outcome_ = outcome;
        }
        next_.uploadFinished(outcome);
    }
    upgrade::UploadOutcome outcome() const {
        std::lock_guard guard(mutex_);
        return outcome_;
    }

private:
    upgrade::UploadObserver& next_;
    mutable std::mutex mutex_;
    upgrade::UploadOutcome outcome_;
};

// Notes may carry the device's version and the file's name: shown escaped.
void note(const std::string& text) {
    std::cerr << "tarvo-cli: " << text::escapeControls(text) << std::endl;
}

int exitStatusOf(upgrade::UploadStatus status) {
    using enum upgrade::UploadStatus;
    switch (status) {
        case Accepted:
            return kAccepted;
        case Refused:
            return kRefused;
        case NoAnswer:
            return kNoAnswer;
        case HeaderNotSent:
        case StreamFailed:
        case Cancelled:
            return kBrokenOff;
        default:
            return kNothingSent;
    }
}

// What the command line says of an upload that ended, beyond its status.
void noteOutcome(const upgrade::UploadOutcome& outcome, const std::u16string& version,
                 const std::u16string& fileName, const std::string& path,
                 const std::function<void(const std::string&)>& note) {
    using enum upgrade::UploadStatus;
    switch (outcome.status) {
        case WrongFile:
            note(said(text::msg::kCameraPackageNameFormat,
                      version.size() >= 2 ? text::toUtf8(version.substr(version.size() - 2))
                                          : said(text::msg::kUnknown)));
            break;
        case NotNewer:
            note(said(text::msg::kPackageNotNewerFormat,
                      text::toUtf8(fileName.size() > 11 ? fileName.substr(11, 11) : u""),
                      text::toUtf8(version)));
            break;
        case NoFile:
            note(said(text::msg::kNoFileNameFormat, path));
            break;
        case FileError:
            note(said(text::msg::kNotAPackageFormat, path));
            break;
        case FileTooLarge:
            note(said(text::msg::kPackageTooLargeFormat, path));
            break;
        case NotConnected:
            note(said(text::msg::kNoConnection));
            break;
        case HeaderNotSent:
            note(said(text::msg::kHeaderNotSent));
            break;
        case NoAnswer:
            note(said(text::msg::kAllSentNoAnswerFormat, std::to_string(outcome.bytesSent)));
            break;
        case Refused:
            note(said(text::msg::kPackageRefusedFormat, std::to_string(outcome.answerTag)));
            break;
        default:
            break;
    }
}

// The notes of a run that ended before its upload, and its status word (nothing was sent);
// nothing when the upload started.
std::optional<std::string> stoppedBeforeUpload(const ops::UpgradeProgress& steps,
                                               CliNotifier& notifier,
                                               const std::function<void(const std::string&)>& note,
                                               const std::string& ip, int port) {
    switch (steps.reached) {
        case ops::UpgradeStep::Package:
            steps.outcome.report(notifier);
            return std::string(upgrade::statusName(upgrade::UploadStatus::NameTooLong));
        case ops::UpgradeStep::PartRule:
            steps.outcome.report(notifier);
            note(said(text::msg::kNvrPartName));
            return "wrong-file";
        case ops::UpgradeStep::Login:
            notifier.report(steps.outcome);
            note(said(text::msg::kLoginFailedNothingSent));
            return "login-failed";
        case ops::UpgradeStep::Connect:
            note(said(text::msg::kCannotConnectFormat, ip, std::to_string(port)));
            return "not-connected";
        case ops::UpgradeStep::Version:
            notifier.report(steps.outcome);
            return "no-version";
        case ops::UpgradeStep::Start:
            note(said(text::msg::kUploadRunning));
            return "busy";
        case ops::UpgradeStep::Started:
            break;
    }
    return std::nullopt;
}

}  // namespace

int upgradeDevice(const UpgradeArgs& args, CliNotifier& notifier, upgrade::UploadObserver& observer,
                  upgrade::FirmwareUploader::Connection connection,
                  const std::function<void(const std::string&)>& note, Outcome& result,
                  ops::UploadAttempt* attempt) {
    // --nvr names the type; without either, the search tells it.
    const auto type =
        deviceTypeOf(args.ip, args.nvr ? std::optional<int>(discovery::kTypeNvr) : args.type,
                     args.searchSeconds);
    const std::string refusal =
        type ? discovery::refusalOf(args.ip, *type, "upgrade", discovery::Operation::Upgrade)
             : std::string();
    if (!type || !refusal.empty()) {
        if (!refusal.empty()) std::cerr << refusal << std::endl;
        if (attempt) *attempt = ops::attemptNotRun(args.ip, type);
        result.fields = {{"status", type ? "wrong-type" : "not-found"}};
        result.exitCode = kNothingSent;
        return kNothingSent;
    }
    const discovery::DeviceCapabilities& can = discovery::capabilitiesOf(*type);
    const bool nvr = can.upgrade == discovery::UpgradeKind::Nvr;
    const upgrade::UpgradeProfile& profile = nvr ? upgrade::nvrUpgrade() : upgrade::cameraUpgrade();
    const int port = args.port.value_or(can.defaultPort);
    result.fields = {{"port", port}, {"nvr", nvr}, {"type", *type}, {"file", args.file}};
    const auto done = [&](int status, const std::string& outcome) {
        result.fields["status"] = outcome;
        result.exitCode = status;
        return status;
    };

    std::error_code error;
    const std::string path = std::filesystem::absolute(args.file, error).string();
    const std::u16string fileName = text::fromUtf8(upgrade::fileNameOf(path));
    OutcomeKeeper progress(observer);
    upgrade::FirmwareUploader uploader(profile, progress, connection);
    uploader.SetTarget(port, args.ip);
    const ops::UpgradeRequest request{
        args.ip, uploader.port(),           *type,
        nvr,     text::fromUtf8(args.user), text::fromUtf8(args.password.value),
        path};
    const ops::UpgradeProgress steps = ops::runUpgrade(request, uploader);
    if (attempt) *attempt = ops::attemptOf(steps, nvr, std::nullopt);
    if (steps.part) note(text::toUtf8(text::tr(steps.part->text)));
    if (steps.reached > ops::UpgradeStep::Connect) {
        result.fields["version"] = text::toUtf8(steps.version);
        note(said(nvr ? text::msg::kNvrVersionFormat : text::msg::kCameraVersionFormat,
                  steps.version.empty() ? said(text::msg::kNoAnswerParenthesised)
                                        : text::toUtf8(steps.version)));
    }
    if (const auto word = stoppedBeforeUpload(steps, notifier, note, args.ip, port))
        return done(kNothingSent, *word);
    const std::u16string& version = steps.version;
    uploader.wait();
    const upgrade::UploadOutcome outcome = progress.outcome();
    if (attempt) *attempt = ops::attemptOf(steps, nvr, outcome);
    result.fields["bytesSent"] = outcome.bytesSent;
    result.fields["pieces"] = outcome.pieces;
    if (outcome.answered) result.fields["answerTag"] = outcome.answerTag;
    if (!outcome.message.empty()) notifier.message(outcome.message);

    noteOutcome(outcome, version, fileName, path, note);
    return done(exitStatusOf(outcome.status), upgrade::statusName(outcome.status));
}

namespace {

// A package that is not there is said to be missing before anything else happens: the rules
// that would otherwise judge its name would call it the wrong file.
std::optional<Outcome> missingPackage(const UpgradeArgs& args) {
    std::error_code error;
    if (std::filesystem::exists(args.file, error) || error) return std::nullopt;
    return Outcome{"upgrade",
                   args.targets.size() == 1 ? args.targets.front() : std::string(),
                   kNothingSent,
                   text::toUtf8(text::formatText(text::tr(text::msg::kUpgradeFileMissingFormat),
                                                 {text::fromUtf8(args.file)})),
                   {{"status", "no-such-file"}, {"file", args.file}}};
}

bool isAddress(const std::string& word) {
    in_addr address{};
    return ::inet_pton(AF_INET, word.c_str(), &address) == 1;
}

// Every address is one, and no device is named twice (it would take two uploads at once).
void checkTargets(const UpgradeArgs& args) {
    std::set<std::string> seen;
    for (const auto& target : args.targets) {
        if (!isAddress(target)) {
            throw CLI::ValidationError(text::toUtf8(
                text::formatText(text::tr(text::msg::kPlanBadAddress), {text::fromUtf8(target)})));
        }
        if (!seen.insert(target).second) {
            throw CLI::ValidationError(text::toUtf8(text::formatText(
                text::tr(text::msg::kGuardDuplicateAddressFormat), {text::fromUtf8(target)})));
        }
    }
}

// What a batch needs before its first frame: a package it can read, and a site it can write.
std::optional<Outcome> unusableBatch(const UpgradeArgs& args) {
    if (!std::ifstream(args.file, std::ios::binary).good() ||
        std::filesystem::is_directory(args.file)) {
        return Outcome{"upgrade",
                       {},
                       kNothingSent,
                       said(text::msg::kGuardPackageUnreadableFormat, args.file),
                       {{"status", "file-error"}, {"file", args.file}}};
    }
    if (args.site.empty()) return std::nullopt;
    try {
        (void)site::SiteFile::open(args.site, true);
    } catch (const site::SiteError& e) {
        return Outcome{"upgrade", {}, kNothingSent, e.what(), {{"status", "site-error"}}};
    }
    return std::nullopt;
}

int runUpgrade(const GlobalOptions& global, const UpgradeArgs& args) {
    CliNotifier notifier;
    ProgressPrinter progress(true);
    Outcome result{"upgrade", args.ip};
    upgradeDevice(args, notifier, progress, upgrade::FirmwareUploader::Connection::Shared, note,
                  result);
    return finish(global, result, &notifier);
}

int runResolution(const GlobalOptions& global, const ResolutionArgs& args) {
    Outcome outcome{"nvr-resolution", args.ip};
    const auto type = deviceTypeOf(args.ip, args.type, args.searchSeconds);
    const std::string refusal = type ? discovery::refusalOf(args.ip, *type, "nvr-resolution",
                                                            discovery::Operation::NvrResolution)
                                     : std::string();
    if (!refusal.empty()) std::cerr << refusal << std::endl;
    if (!type || !refusal.empty()) return finish(global, outcome);
    const int port = args.port.value_or(discovery::capabilitiesOf(*type).defaultPort);
    CliNotifier notifier;
    nlohmann::json& result = outcome.fields;
    result["port"] = port;
    const auto done = [&](bool ok) {
        outcome.exitCode = ok ? exitcode::kOk : exitcode::kFailed;
        return finish(global, outcome, &notifier);
    };

    // As the NVR configuration window: no login, 232 on a connection of its own.
    upgrade::NvrResolutionClient client;
    client.SetTarget(args.ip, port);
    if (!client.connect()) {
        notifier.message(text::msg::kNvrConnectFailed);
        return done(false);
    }
    if (!client.QueryOutputResolution()) {
        notifier.message(text::msg::kNvrResolutionFailed);
        return done(false);
    }
    const int current = client.currentIndex();
    const std::string currentText =
        text::toUtf8(upgrade::NvrResolutionClient::resolutionText(current));
    result["index"] = current;
    result["resolution"] = currentText;
    if (!global.json) std::cout << currentText << std::endl;
    if (!args.set) return done(true);

    const int wanted = *resolutionIndexOf(*args.set);
    if (wanted == current) {
        note(said(text::msg::kResolutionAlreadyFormat, currentText));
        return done(true);
    }
    const bool sent = client.ApplyOutputResolution(wanted);
    result["set"] = wanted;
    result["sent"] = sent;
    note(sent ? said(text::msg::kResolutionSetFormat,
                     text::toUtf8(upgrade::NvrResolutionClient::resolutionText(wanted)))
              : said(text::msg::kResolutionNotSent));
    return done(sent);
}

void addUpgradeCommand(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    auto upgradeArgs = std::make_shared<UpgradeArgs>();
    CLI::App* upgradeCmd = app.add_subcommand(
        "upgrade", "Upload a firmware package to a camera, or a part file to an NVR (--nvr)");
    upgradeCmd->add_option("IP", upgradeArgs->targets, "Device address; several upload at once")
        ->required();
    // The addresses take every word; the last of them is the file (see the callback).
    upgradeCmd->add_option("FILE", upgradeArgs->file, "Package or part file");
    upgradeCmd
        ->add_option("--parallel", upgradeArgs->parallel, "Uploads at once to several devices")
        ->capture_default_str()
        ->check(CLI::Range(1, 64));
    upgradeCmd->add_flag("--nvr", upgradeArgs->nvr, "The device is an NVR (port 5500, code 230)");
    addTypeOptions(*upgradeCmd, upgradeArgs->type, upgradeArgs->searchSeconds);
    upgradeCmd->add_option("--port", upgradeArgs->port, "Command port (5505, NVR 5500)")
        ->check(CLI::Range(1, 65535));
    upgradeCmd->add_option("--user", upgradeArgs->user, "User name")->capture_default_str();
    addPasswordOptions(*upgradeCmd, upgradeArgs->password);
    upgradeCmd->add_flag("--canary", upgradeArgs->canary,
                         "Upgrade the first device alone; the rest only once a search finds it "
                         "again running a new version (the package's, when its name gives one)");
    upgradeCmd
        ->add_option("--wait", upgradeArgs->waitSeconds,
                     "Seconds a device may take to come back with its new version")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600));
    upgradeCmd
        ->add_flag("--keep-going", upgradeArgs->keepGoing,
                   "With --canary: a failure after the first device does not stop the rest")
        ->needs("--canary");
    upgradeCmd->add_option("--site", upgradeArgs->site,
                           "Record each upgrade (old and new version) in this site file");
    upgradeCmd
        ->add_flag("--no-wait", upgradeArgs->noWait,
                   "One device: end at its answer (accepted or not), without reading its "
                   "version back")
        ->excludes("--canary", "--site", "--wait");
    upgradeCmd->footer(kUpgradeFooter);
    upgradeCmd->callback([&global, &run, upgradeArgs] {
        if (upgradeArgs->file.empty()) {
            // One word that is no address is the package given without its device.
            const std::string& last = upgradeArgs->targets.back();
            if (upgradeArgs->targets.size() == 1 && !isAddress(last)) {
                throw CLI::ValidationError(text::toUtf8(text::formatText(
                    text::tr(text::msg::kAddressMissingFormat), {text::fromUtf8(last)})));
            }
            if (upgradeArgs->targets.size() < 2 || isAddress(last))
                throw CLI::RequiredError("FILE");
            upgradeArgs->file = last;
            upgradeArgs->targets.pop_back();
        }
        if (upgradeArgs->noWait && upgradeArgs->targets.size() > 1)
            throw CLI::ValidationError(said(text::msg::kNoWaitOneDevice));
        if (!upgradeArgs->noWait) checkTargets(*upgradeArgs);
        upgradeArgs->password.resolve();
        run = [&global, upgradeArgs] {
            if (const auto missing = missingPackage(*upgradeArgs)) return finish(global, *missing);
            // One device goes the batch's way too (its version read back), unless the script
            // asked for the device's answer alone.
            if (upgradeArgs->noWait) {
                upgradeArgs->ip = upgradeArgs->targets.front();
                return runUpgrade(global, *upgradeArgs);
            }
            if (const auto refused = unusableBatch(*upgradeArgs)) return finish(global, *refused);
            return runBatchUpgrade(global, *upgradeArgs);
        };
    });
}

}  // namespace

void addUpgradeCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    addUpgradeCommand(app, global, run);
    auto resolutionArgs = std::make_shared<ResolutionArgs>();
    CLI::App* resolutionCmd = app.add_subcommand(
        "nvr-resolution", "Read, or with --set change, an NVR's output resolution");
    resolutionCmd->add_option("IP", resolutionArgs->ip, "NVR address")->required();
    resolutionCmd->add_option("--port", resolutionArgs->port, "Command port (default 5500)")
        ->check(CLI::Range(1, 65535));
    addTypeOptions(*resolutionCmd, resolutionArgs->type, resolutionArgs->searchSeconds);
    // Accepted for old scripts; the NVR configuration does not log in.
    resolutionCmd->add_option("--user", resolutionArgs->user, "Not used (no login)");
    resolutionCmd->add_option("--password", resolutionArgs->password, "Not used (no login)");
    resolutionCmd
        ->add_option("--set", resolutionArgs->set,
                     "New resolution, as listed (1920x1080) or by number: 0 1024 x 768, "
                     "1 1280 x 1024, 2 1366 x 768, 3 1400 x 900, 4 1920 x 1080, 5 3840 x 2160")
        ->check([](const std::string& value) {
            return resolutionIndexOf(value) ? std::string() : unknownResolution(value);
        });
    resolutionCmd->callback([&global, &run, resolutionArgs] {
        run = [&global, resolutionArgs] { return runResolution(global, *resolutionArgs); };
    });
}

}  // namespace tarvo::cli

#include "cli/BatchUpgradeCli.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/BatchCli.h"
#include "cli/CliNotifier.h"
#include "core/discovery/DeviceTypes.h"
#include "core/site/GuardedUpgrade.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/Translate.h"
#include "core/upgrade/PackageDigest.h"
#include "core/upgrade/PackageRules.h"

namespace tarvo::cli {

namespace {

using Clock = std::chrono::steady_clock;

// One line per device on stderr: redrawn in place on a terminal, plain lines (start, every
// tenth, end) otherwise.
class BatchProgress {
public:
    explicit BatchProgress(const std::vector<std::string>& addresses)
        : tty_(stderrIsTerminal()), lines_(addresses.size()) {
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            lines_[i].address = text::escapeControls(addresses[i]);
            lines_[i].state = "waiting";
        }
        std::lock_guard guard(mutex_);
        if (tty_) draw(true);
    }

    void started(std::size_t i, std::uint64_t pieces) {
        std::lock_guard guard(mutex_);
        lines_[i].total = pieces;
        lines_[i].state = "uploading";
        report(i, true);
    }
    void progress(std::size_t i, std::uint64_t pieces) {
        std::lock_guard guard(mutex_);
        lines_[i].done = pieces;
        report(i, pieces == lines_[i].total);
    }
    void ended(std::size_t i, const std::string& state) {
        std::lock_guard guard(mutex_);
        lines_[i].state = state;
        lines_[i].over = true;
        report(i, true);
    }
    void close() {
        std::lock_guard guard(mutex_);
        if (tty_) draw(true);
    }

private:
    struct Line {
        std::string address;
        std::string state;
        std::uint64_t total = 0;
        std::uint64_t done = 0;
        std::uint64_t lastTenth = 0;
        bool over = false;
    };

    std::string textOf(const Line& line) const {
        std::string out = line.address + "  ";
        if (line.total > 0 && !line.over) {
            constexpr std::uint64_t kWidth = 30;
            const std::uint64_t filled = std::min(line.done, line.total) * kWidth / line.total;
            out += "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
                   said(text::msg::kUploadPiecesFormat, std::to_string(line.done),
                        std::to_string(line.total));
        } else {
            out += line.state;
        }
        return out;
    }

    void report(std::size_t i, bool always) {
        Line& line = lines_[i];
        if (tty_) {
            const auto now = Clock::now();
            if (!always && now - lastDraw_ < std::chrono::milliseconds(100)) return;
            draw(false);
            return;
        }
        const std::uint64_t tenth = line.total == 0 ? 10 : line.done * 10 / line.total;
        if (!always && tenth == line.lastTenth) return;
        line.lastTenth = tenth;
        (void)std::fprintf(stderr, "%s\n",
                           said(text::msg::kUploadLineFormat, textOf(line)).c_str());
        (void)std::fflush(stderr);
    }

    void draw(bool first) {
        lastDraw_ = Clock::now();
        // Back to the first line of the block, then every line again.
        if (!first || drawn_) (void)std::fprintf(stderr, "\x1b[%zuA", lines_.size());
        for (const Line& line : lines_) {
            (void)std::fprintf(stderr, "\r\x1b[K%s\n", textOf(line).c_str());
        }
        drawn_ = true;
        (void)std::fflush(stderr);
    }

    const bool tty_;
    std::mutex mutex_;
    std::vector<Line> lines_;
    bool drawn_ = false;
    Clock::time_point lastDraw_{};
};

class DeviceProgress final : public upgrade::UploadObserver {
public:
    DeviceProgress(BatchProgress& batch, std::size_t index) : batch_(batch), index_(index) {}
    void uploadStarted(int /*progressUpper*/, std::uint32_t fileSize) override {
        batch_.started(index_, upgrade::pieceCount(fileSize));
    }
    void uploadProgress(int position, std::uint64_t /*bytesSent*/) override {
        batch_.progress(index_, static_cast<std::uint64_t>(position));
    }
    void uploadFinished(const upgrade::UploadOutcome& /*outcome*/) override {}

private:
    BatchProgress& batch_;
    const std::size_t index_;
};

const char* readBackKey(site::ReadBack state) {
    switch (state) {
        case site::ReadBack::NewVersion:
            return "upgraded";
        case site::ReadBack::OldVersion:
            return "old-version";
        case site::ReadBack::OtherVersion:
            return "other-version";
        case site::ReadBack::NoVersion:
            return "no-version";
        case site::ReadBack::NotBack:
        case site::ReadBack::NotAsked:
            return "not-back";
    }
    return "not-back";
}

// A status word (the JSON's, kept in English for scripts) as the reader's language says it.
std::string statusText(std::string_view word) {
    namespace msg = text::msg;
    static const std::unordered_map<std::string_view, std::u16string_view> kWords{
        {"accepted", msg::kUpgradeStatusAccepted},
        {"refused", msg::kUpgradeStatusRefused},
        {"no-answer", msg::kUpgradeStatusNoAnswer},
        {"not-connected", msg::kUpgradeStatusNotConnected},
        {"no-file", msg::kUpgradeStatusNoFile},
        {"name-too-long", msg::kUpgradeStatusNameTooLong},
        {"not-newer", msg::kUpgradeStatusNotNewer},
        {"wrong-file", msg::kUpgradeStatusWrongFile},
        {"file-error", msg::kUpgradeStatusFileError},
        {"file-too-large", msg::kUpgradeStatusFileTooLarge},
        {"header-not-sent", msg::kUpgradeStatusHeaderNotSent},
        {"stream-failed", msg::kUpgradeStatusStreamFailed},
        {"cancelled", msg::kUpgradeStatusCancelled},
        {"not-found", msg::kUpgradeStatusNotFound},
        {"wrong-type", msg::kUpgradeStatusWrongType},
        {"login-failed", msg::kUpgradeStatusLoginFailed},
        {"busy", msg::kUpgradeStatusBusy},
        {"upgraded", msg::kUpgradeStatusUpgraded},
        {"old-version", msg::kUpgradeStatusOldVersion},
        {"other-version", msg::kUpgradeStatusOtherVersion},
        {"no-version", msg::kUpgradeStatusNoVersion},
        {"not-back", msg::kUpgradeStatusNotBack},
        {"not-started", msg::kUpgradeStatusNotStarted},
        {"package-misfit", msg::kUpgradeStatusMisfit},
    };
    const auto found = kWords.find(word);
    return found == kWords.end() ? std::string(word) : said(found->second);
}

// The state of one device's batch: what the command prints of it, and its progress line.
class BatchReport {
public:
    BatchReport(const UpgradeArgs& args, const std::vector<site::UpgradeTarget>& targets)
        : args_(args),
          targets_(targets),
          outcomes_(targets.size()),
          notes_(targets.size()),
          progress_(args.targets) {}

    // The upgrade sequence of device `i`, up to its answer.
    site::UploadAttempt upload(std::size_t i) {
        const std::string& address = targets_[i].address;
        DeviceOutcome& outcome = outcomes_[i];
        if (!targets_[i].type) {
            outcome.status = exitcode::kNothingSent;
            outcome.json =
                toJson({"upgrade", address, exitcode::kNothingSent, {}, {{"status", "not-found"}}});
            return ops::attemptNotRun(address, std::nullopt);
        }
        ops::UploadAttempt attempt;
        UpgradeArgs one = args_;
        one.ip = address;
        one.type = targets_[i].type;
        one.nvr = false;
        CliNotifier notifier(false);
        DeviceProgress observer(progress_, i);
        Outcome result{"upgrade", one.ip};
        std::vector<std::string>& notes = notes_[i];
        const auto note = [&notes](const std::string& text) { notes.push_back(text); };
        outcome.status =
            upgradeDevice(one, notifier, observer, upgrade::FirmwareUploader::Connection::Own, note,
                          result, &attempt);
        outcome.json = toJson(result, &notifier);
        for (const auto& e : notifier.entries()) notes.push_back(e.text);
        return attempt;
    }

    void waiting(std::size_t i) { progress_.ended(i, said(text::msg::kGuardWaiting)); }

    void finished(std::size_t i, const site::GuardedResult& r) {
        DeviceOutcome& outcome = outcomes_[i];
        if (r.upload.accepted) {
            outcome.json["oldVersion"] = text::toUtf8(r.upload.oldVersion);
            outcome.json["newVersion"] = text::toUtf8(r.newVersion);
            outcome.json["status"] = readBackKey(r.readBack);
            if (!r.upgraded()) {
                // Took the package, but is not running it: the upgrade failed.
                outcome.status = exitcode::kFailed;
                outcome.json["exitCode"] = outcome.status;
                outcome.json["ok"] = false;
            }
        }
        const std::string state = statusText(outcome.json.value("status", std::string("failed")));
        outcome.lines.push_back(state);
        outcome.lines.insert(outcome.lines.end(), notes_[i].begin(), notes_[i].end());
        if (r.upload.accepted) outcome.lines.push_back(text::toUtf8(r.text()));
        progress_.ended(i, state);
    }

    // Devices the batch did not start: those after a failure, or every one when the package
    // does not fit one of them.
    void notStarted(const std::vector<site::GuardedResult>& results) {
        progress_.close();
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (results[i].started) continue;
            const char* word = results[i].misfit ? "package-misfit" : "not-started";
            outcomes_[i].status = exitcode::kNothingSent;
            outcomes_[i].json =
                toJson({"upgrade",
                        targets_[i].address,
                        exitcode::kNothingSent,
                        {},
                        {{"status", word}, {"reason", text::toUtf8(results[i].text())}}});
            outcomes_[i].lines = {statusText(word), text::toUtf8(results[i].text())};
        }
    }

    std::vector<DeviceOutcome>& outcomes() { return outcomes_; }

private:
    const UpgradeArgs& args_;
    const std::vector<site::UpgradeTarget>& targets_;
    std::vector<DeviceOutcome> outcomes_;
    std::vector<std::vector<std::string>> notes_;
    BatchProgress progress_;
};

site::GuardedOptions optionsOf(const UpgradeArgs& args) {
    site::GuardedOptions options;
    options.packagePath = args.file;
    options.port = args.port;
    options.canary = args.canary;
    options.keepGoing = args.keepGoing;
    options.parallel = args.parallel;
    options.wait = std::chrono::seconds(args.waitSeconds);
    options.sitePath = args.site;
    if (!args.site.empty()) options.packageSha256 = upgrade::packageSha256(args.file).value_or("");
    return options;
}

void printLine(const std::string& line) {
    (void)std::fprintf(stderr, "%s\n", line.c_str());
}

// The summary after the devices' lines; the exit status, which a site that could not keep its
// record turns into a failure.
int summarise(const UpgradeArgs& args, const std::vector<site::GuardedResult>& results,
              const std::string& siteError, int status) {
    const auto accepted = std::count_if(results.begin(), results.end(),
                                        [](const auto& r) { return r.upload.accepted; });
    const auto upgraded =
        std::count_if(results.begin(), results.end(), [](const auto& r) { return r.upgraded(); });
    const std::string total = std::to_string(results.size());
    printLine(said(text::msg::kBatchAcceptedFormat, std::to_string(accepted), total));
    printLine(said(text::msg::kGuardUpgradedCountFormat, std::to_string(upgraded), total));
    const auto misfit =
        std::find_if(results.begin(), results.end(), [](const auto& r) { return r.misfit; });
    if (misfit != results.end()) {
        printLine(said(text::msg::kGuardNotStartedMisfitFormat, misfit->address));
    } else if (std::any_of(results.begin(), results.end(),
                           [](const auto& r) { return !r.started; })) {
        printLine(said(args.canary && !results.front().upgraded()
                           ? text::msg::kGuardCanaryFailed
                           : text::msg::kGuardStoppedFailed));
    }
    if (siteError.empty()) return status;
    printLine(said(text::msg::kGuardSiteFailedFormat, siteError));
    // The record was asked for: a run that could not keep it did not fully succeed.
    return status == exitcode::kOk ? exitcode::kFailed : status;
}

}  // namespace

int runBatchUpgrade(const GlobalOptions& global, const UpgradeArgs& args) {
    const std::optional<int> given = args.nvr ? std::optional<int>(discovery::kTypeNvr) : args.type;
    const auto targets = site::findUpgradeTargets(args.targets, given, args.searchSeconds);
    for (const auto& target : targets) {
        if (!target.type) {
            std::cerr << text::escapeControls(
                             said(text::msg::kDeviceNotHeardFormat, target.address))
                      << std::endl;
        }
    }
    BatchReport report(args, targets);
    site::GuardedHooks hooks;
    hooks.upload = [&](std::size_t i) { return report.upload(i); };
    hooks.waiting = [&](std::size_t i) { report.waiting(i); };
    hooks.finished = [&](std::size_t i, const site::GuardedResult& r) { report.finished(i, r); };
    std::string siteError;
    const auto results =
        site::runGuardedUpgrade(targets, optionsOf(args), hooks, nullptr, &siteError);
    report.notStarted(results);
    const int status = printOutcomes(global, args.targets, report.outcomes());
    return summarise(args, results, siteError, status);
}

}  // namespace tarvo::cli

#include "cli/BatchUpgradeCli.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
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

}  // namespace

int runBatchUpgrade(const GlobalOptions& global, const UpgradeArgs& args) {
    const auto& addresses = args.targets;
    const std::optional<int> given = args.nvr ? std::optional<int>(discovery::kTypeNvr) : args.type;
    const auto targets = site::findUpgradeTargets(addresses, given, args.searchSeconds);
    for (const auto& target : targets) {
        if (!target.type) {
            std::cerr << text::escapeControls(
                             said(text::msg::kDeviceNotHeardFormat, target.address))
                      << std::endl;
        }
    }
    std::vector<DeviceOutcome> outcomes(addresses.size());
    std::vector<std::vector<std::string>> notesOf(addresses.size());
    BatchProgress progress(addresses);

    site::GuardedOptions options;
    options.packagePath = args.file;
    options.port = args.port;
    options.canary = args.canary;
    options.keepGoing = args.keepGoing;
    options.parallel = args.parallel;
    options.wait = std::chrono::seconds(args.waitSeconds);
    options.sitePath = args.site;
    if (!args.site.empty()) options.packageSha256 = upgrade::packageSha256(args.file).value_or("");

    site::GuardedHooks hooks;
    hooks.upload = [&](std::size_t i) {
        DeviceOutcome& outcome = outcomes[i];
        std::vector<std::string>& notes = notesOf[i];
        const auto note = [&notes](const std::string& text) { notes.push_back(text); };
        site::UploadAttempt attempt;
        if (!targets[i].type) {
            outcome.status = exitcode::kNothingSent;
            outcome.json = toJson(
                {"upgrade", addresses[i], exitcode::kNothingSent, {}, {{"status", "not-found"}}});
            attempt.detail = text::tr(text::msg::kDeviceNotHeardFormat);
            attempt.detail = text::formatText(attempt.detail, {text::fromUtf8(addresses[i])});
        } else {
            UpgradeArgs one = args;
            one.ip = addresses[i];
            one.type = targets[i].type;
            one.nvr = false;
            CliNotifier notifier(false);
            DeviceProgress observer(progress, i);
            Outcome result{"upgrade", one.ip};
            outcome.status = upgradeDevice(
                one, notifier, observer, upgrade::FirmwareUploader::Connection::Own, note, result);
            outcome.json = toJson(result, &notifier);
            for (const auto& e : notifier.entries()) notes.push_back(e.text);
            attempt.accepted = outcome.status == exitcode::kOk;
            attempt.sentAnything = outcome.json.value("bytesSent", 0) > 0;
            attempt.oldVersion = text::fromUtf8(outcome.json.value("version", std::string()));
            const std::string state = outcome.json.value("status", std::string("failed"));
            attempt.detail = text::fromUtf8(notes.empty() ? state : state + ": " + notes.back());
        }
        return attempt;
    };
    hooks.waiting = [&](std::size_t i) { progress.ended(i, said(text::msg::kGuardWaiting)); };
    hooks.finished = [&](std::size_t i, const site::GuardedResult& r) {
        DeviceOutcome& outcome = outcomes[i];
        if (r.upload.accepted) {
            outcome.json["oldVersion"] = text::toUtf8(r.upload.oldVersion);
            outcome.json["newVersion"] = text::toUtf8(r.newVersion);
            if (!r.upgraded()) {
                // Took the package, but is not running it: the upgrade failed.
                outcome.status = exitcode::kFailed;
                outcome.json["exitCode"] = outcome.status;
                outcome.json["ok"] = false;
                outcome.json["status"] = readBackKey(r.readBack);
            } else {
                outcome.json["status"] = readBackKey(r.readBack);
            }
        }
        const std::string state = outcome.json.value("status", std::string("failed"));
        outcome.lines.push_back(state);
        outcome.lines.insert(outcome.lines.end(), notesOf[i].begin(), notesOf[i].end());
        if (r.upload.accepted) outcome.lines.push_back(text::toUtf8(r.text()));
        progress.ended(i, state);
    };
    std::string siteError;
    const auto results = site::runGuardedUpgrade(targets, options, hooks, nullptr, &siteError);
    progress.close();

    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i].started) continue;
        outcomes[i].status = exitcode::kNothingSent;
        outcomes[i].json = toJson(
            {"upgrade", addresses[i], exitcode::kNothingSent, {}, {{"status", "not-started"}}});
        outcomes[i].lines.push_back(said(text::msg::kGuardNotStarted));
    }
    const auto accepted = std::count_if(results.begin(), results.end(),
                                        [](const auto& r) { return r.upload.accepted; });
    const auto upgraded =
        std::count_if(results.begin(), results.end(), [](const auto& r) { return r.upgraded(); });
    const bool stopped =
        std::any_of(results.begin(), results.end(), [](const auto& r) { return !r.started; });
    const int status = printOutcomes(global, addresses, outcomes);
    (void)std::fprintf(stderr, "%s\n",
                       said(text::msg::kBatchAcceptedFormat, std::to_string(accepted),
                            std::to_string(outcomes.size()))
                           .c_str());
    (void)std::fprintf(stderr, "%s\n",
                       said(text::msg::kGuardUpgradedCountFormat, std::to_string(upgraded),
                            std::to_string(outcomes.size()))
                           .c_str());
    if (stopped) {
        (void)std::fprintf(
            stderr, "%s\n",
            said(args.canary && !results.front().upgraded() ? text::msg::kGuardCanaryFailed
                                                            : text::msg::kGuardStoppedFailed)
                .c_str());
    }
    if (!siteError.empty()) {
        (void)std::fprintf(stderr, "%s\n",
                           said(text::msg::kGuardSiteFailedFormat, siteError).c_str());
        // The record was asked for: a run that could not keep it did not fully succeed.
        if (status == exitcode::kOk) return exitcode::kFailed;
    }
    return status;
}

}  // namespace tarvo::cli

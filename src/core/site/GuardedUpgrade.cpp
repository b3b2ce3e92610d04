#include "core/site/GuardedUpgrade.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/discovery/SettledSearch.h"
#include "core/net/MacResolver.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/site/SiteFile.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/upgrade/PackageRules.h"

namespace tarvo::site {

namespace {

using Clock = std::chrono::steady_clock;

// How long one look for a device that is coming back listens at most.
constexpr double kLookSeconds = 1.0;

// Searches of a batch tell nobody of an interface they could not open: the look simply finds
// nothing, and the wait says so in the end.
class QuietNotifier final : public text::Notifier {
public:
    void message(std::u16string_view /*text*/) override {}
    void systemError(std::u16string_view /*text*/) override {}
};

// A search engine of its own per look-up, so that parallel waits do not clear each other's
// tables.
struct Searcher {
    discovery::DeviceTable table;
    net::SystemMacResolver resolver;
    QuietNotifier notifier;
    discovery::DiscoveryEngine engine{table, resolver, notifier};
    Searcher() { engine.openInterfaces(); }
    ~Searcher() { engine.closeInterfaces(); }
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;
};

std::u16string_view cut(std::u16string_view text, std::size_t from, std::size_t count) {
    return from >= text.size() ? std::u16string_view{} : text.substr(from, count);
}

// Sleeps `span` or until `stop` is set.
void pause(std::chrono::milliseconds span, const std::atomic<bool>* stop) {
    const auto end = Clock::now() + span;
    while (Clock::now() < end && !(stop && *stop)) {
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(50), end - Clock::now()));
    }
}

// The site's records for one device; every failure of the file is kept as text, never thrown:
// the batch goes on without its record.
class SiteRecord {
public:
    SiteRecord(const std::string& path, std::string* error, std::mutex& errorMutex)
        : error_(error), errorMutex_(errorMutex) {
        if (path.empty()) return;
        guard([&] { site_ = SiteFile::open(path, true); });
    }
    void begin(const ActionRecord& action) {
        if (site_) guard([&] { id_ = site_->beginAction(action); });
    }
    void observe(const std::vector<discovery::DeviceRow>& rows,
                 const std::unordered_map<std::string, std::string>& versions) {
        if (!site_ || rows.empty()) return;
        guard([&] { site_->recordSearch(rows, SiteFile::now(), versions); });
    }
    void finish(const ActionRecord& ended) {
        if (!site_ || id_ == 0) return;
        ActionRecord record = ended;
        record.id = id_;
        guard([&] { site_->finishAction(record); });
    }

private:
    template <typename F>
    void guard(F&& work) {
        try {
            work();
        } catch (const std::exception& e) {
            std::lock_guard lock(errorMutex_);
            if (error_ && error_->empty()) *error_ = e.what();
            site_.reset();
        }
    }

    std::unique_ptr<SiteFile> site_;
    std::int64_t id_ = 0;
    std::string* error_;
    std::mutex& errorMutex_;
};

// Runs `work(i)` for each index, at most `parallel` at once, each started only while `go()`.
void forEach(const std::vector<std::size_t>& indices, int parallel, const std::function<bool()>& go,
             const std::function<void(std::size_t)>& work) {
    std::mutex mutex;
    std::size_t next = 0;
    std::exception_ptr failed;
    {
        const auto workers =
            std::min<std::size_t>(indices.size(), static_cast<std::size_t>(std::max(1, parallel)));
        std::vector<std::jthread> pool;
        pool.reserve(workers);
        for (std::size_t w = 0; w < workers; ++w) {
            pool.emplace_back([&] {
                for (;;) {
                    std::size_t i = 0;
                    {
                        std::lock_guard guard(mutex);
                        if (next >= indices.size() || !go()) return;
                        i = indices[next++];
                    }
                    try {
                        work(i);
                    } catch (...) {
                        std::lock_guard guard(mutex);
                        if (!failed) failed = std::current_exception();
                    }
                }
            });
        }
    }
    if (failed) std::rethrow_exception(failed);
}

}  // namespace

std::vector<UpgradeTarget> findUpgradeTargets(const std::vector<std::string>& addresses,
                                              std::optional<int> given, double seconds) {
    std::vector<UpgradeTarget> out;
    out.reserve(addresses.size());
    for (const auto& address : addresses) out.push_back({address, given, {}});
    if (given) return out;
    Searcher searcher;
    std::vector<std::u16string> wanted;
    for (const auto& address : addresses) wanted.push_back(text::fromUtf8(address));
    const auto rows =
        discovery::searchUntilSettled(searcher.engine, searcher.table, wanted, seconds);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!rows[i]) continue;
        out[i].type = rows[i]->type;
        out[i].mac = text::toUtf8(rows[i]->mac);
    }
    return out;
}

std::u16string packageVersion(std::u16string_view fileName) {
    if (!upgrade::isCameraPackage(u"", fileName)) return {};
    return u"v" + std::u16string(fileName.substr(11, 11));
}

bool isUpgradedVersion(std::u16string_view before, std::u16string_view now,
                       std::u16string_view fileName) {
    if (now.empty() || now == before) return false;
    const std::u16string promised = packageVersion(fileName);
    // The leading letter is not compared, as the package rule does not compare it.
    return promised.empty() ||
           (now.size() == promised.size() && cut(now, 1, 11) == cut(promised, 1, 11));
}

text::Reason GuardedResult::reason() const {
    using text::Reason;
    if (!started) {
        if (misfit) return upload.detail;
        return stoppedBy.empty() ? Reason::said(text::msg::kGuardNotStarted)
                                 : Reason::said(text::msg::kGuardNotStartedMisfitFormat,
                                                {Reason::literal(stoppedBy)});
    }
    if (!upload.accepted)
        return upload.detail.empty() ? Reason::said(text::msg::kBatchFailed) : upload.detail;
    const Reason before = upload.oldVersion.empty()
                              ? Reason::said(text::msg::kUnknown)
                              : Reason::literal(text::toUtf8(upload.oldVersion));
    const Reason after = Reason::literal(text::toUtf8(newVersion));
    switch (readBack) {
        case ReadBack::NewVersion:
            return Reason::said(text::msg::kGuardUpgradedFormat, {before, after});
        case ReadBack::OldVersion:
            return Reason::said(text::msg::kGuardOldVersionFormat, {before});
        case ReadBack::OtherVersion:
            return Reason::said(text::msg::kGuardOtherVersionFormat, {before, after});
        case ReadBack::NoVersion:
            return Reason::said(text::msg::kGuardNoVersion);
        case ReadBack::NotBack:
        case ReadBack::NotAsked:
            break;
    }
    return Reason::said(text::msg::kGuardNotBack);
}

std::u16string GuardedResult::text() const {
    return text::show(reason());
}

std::string packageFileName(const std::string& packagePath) {
    return std::filesystem::path(packagePath).filename().string();
}

std::optional<text::Reason> packageMisfit(int type, std::string_view packagePath,
                                          std::u16string_view version) {
    using text::Reason;
    const discovery::DeviceCapabilities& can = discovery::capabilitiesOf(type);
    const std::u16string name = text::fromUtf8(packageFileName(std::string(packagePath)));
    if (can.upgrade == discovery::UpgradeKind::None)
        return Reason::said(text::msg::kGuardNoFirmwareFormat,
                            {Reason::literal(std::to_string(type))});
    if (!upgrade::fitsUploadNameField(name))
        return Reason::said(text::msg::kUpgradeFileNameTooLong);
    if (can.upgrade == discovery::UpgradeKind::Nvr) {
        if (!upgrade::nvrPartOf(name)) return Reason::said(text::msg::kWrongUpgradeFile);
        return std::nullopt;
    }
    if (!upgrade::isCameraPackage(version, name)) {
        const std::string kind =
            version.size() >= 2 ? text::toUtf8(version.substr(version.size() - 2)) : std::string();
        return Reason::said(
            text::msg::kCameraPackageNameFormat,
            {kind.empty() ? Reason::said(text::msg::kUnknown) : Reason::literal(kind)});
    }
    return std::nullopt;
}

namespace {

// The first device, in the order given, that the package does not fit; each camera is asked
// for its version (its type is the version's end), several at once.
std::optional<std::pair<std::size_t, text::Reason>> findMisfit(
    const std::vector<UpgradeTarget>& devices, const GuardedOptions& options,
    const std::atomic<bool>* stop) {
    std::vector<std::optional<text::Reason>> why(devices.size());
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].type) indices.push_back(i);  // one not heard fails on its own
    }
    constexpr int kQueriesAtOnce = 16;
    forEach(
        indices, kQueriesAtOnce, [&] { return !(stop && *stop); },
        [&](std::size_t i) {
            const int type = *devices[i].type;
            const discovery::DeviceCapabilities& can = discovery::capabilitiesOf(type);
            std::u16string version;
            if (can.upgrade == discovery::UpgradeKind::Camera) {
                const auto port =
                    static_cast<std::uint16_t>(options.port.value_or(can.defaultPort));
                version =
                    ops::openConnection(upgrade::cameraUpgrade(), devices[i].address, port).version;
                // A camera that does not say its version (a slow one) is no misfit: it fails on
                // its own, saying so, and holds nobody back.
                if (version.empty()) return;
            }
            why[i] = packageMisfit(type, options.packagePath, version);
        });
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (why[i]) return std::pair{i, std::move(*why[i])};
    }
    return std::nullopt;
}

// One batch: uploads on a pool of `parallel` workers, and one waiter that reads back every
// device that took its package, so that a rebooting device holds no upload slot.
class Batch {
public:
    Batch(const std::vector<UpgradeTarget>& devices, const GuardedOptions& options,
          const GuardedHooks& hooks, const std::atomic<bool>* stop, std::string* siteError)
        : devices_(devices),
          options_(options),
          hooks_(hooks),
          stop_(stop),
          siteError_(siteError),
          results_(devices.size()),
          done_(devices.size(), false),
          packageName_(packageFileName(options.packagePath)),
          fileName_(text::fromUtf8(packageName_)) {
        for (std::size_t i = 0; i < devices.size(); ++i) results_[i].address = devices[i].address;
    }

    std::vector<GuardedResult> run() {
        std::jthread waiter([this] { waitLoop(); });
        std::exception_ptr failed;
        try {
            uploadAll();
        } catch (...) {
            failed = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            uploadsOver_ = true;
        }
        changed_.notify_all();
        waiter.join();
        if (failed) std::rethrow_exception(failed);
        return std::move(results_);
    }

private:
    // A device on its way back: its record stays open until it is read back.
    struct Waiting {
        std::size_t index = 0;
        std::shared_ptr<SiteRecord> record;
        ActionRecord action;
        Clock::time_point deadline;
    };

    [[nodiscard]] bool stopped() const { return stop_ && *stop_; }

    void uploadAll() {
        std::vector<std::size_t> rest;
        for (std::size_t i = 0; i < devices_.size(); ++i) rest.push_back(i);
        if (options_.canary && !rest.empty()) {
            upload(rest.front());
            // The guard: nothing more goes out unless the first device came back upgraded.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return done_.front(); });
            if (!results_.front().upgraded()) return;
            rest.erase(rest.begin());
        }
        forEach(
            rest, options_.parallel, [this] { return !halted_ && !stopped(); },
            [this](std::size_t i) { upload(i); });
    }

    // On an upload worker: the action (committed before the first frame), the upload, then the
    // device goes to the waiter or is done.
    void upload(std::size_t i) {
        GuardedResult& result = results_[i];
        const UpgradeTarget& device = devices_[i];
        result.started = true;
        auto record = std::make_shared<SiteRecord>(options_.sitePath, siteError_, errorMutex_);
        ActionRecord action;
        action.mac = device.mac;
        action.address = device.address;
        action.kind = "upgrade";
        action.started = SiteFile::now();
        action.packageName = packageName_;
        action.packageSha256 = options_.packageSha256;
        record->begin(action);
        result.upload = hooks_.upload(i);
        if (!result.upload.accepted || stopped()) {
            finish(i, *record, action);
            return;
        }
        if (hooks_.waiting) hooks_.waiting(i);
        {
            std::lock_guard lock(mutex_);
            waiting_.push_back(
                {i, std::move(record), std::move(action), Clock::now() + options_.wait});
        }
        changed_.notify_all();
    }

    void finish(std::size_t i, SiteRecord& record, ActionRecord action) {
        GuardedResult& result = results_[i];
        action.outcome = result.upgraded() ? "ok" : "failed";
        action.detail = result.upgraded() ? std::string() : text::encodeReason(result.reason());
        action.oldValue = text::toUtf8(result.upload.oldVersion);
        action.newValue = text::toUtf8(result.newVersion);
        action.finished = SiteFile::now();
        record.finish(action);
        if (!result.upgraded() && options_.canary && !options_.keepGoing) halted_ = true;
        if (hooks_.finished) hooks_.finished(i, result);
        {
            std::lock_guard lock(mutex_);
            done_[i] = true;
        }
        changed_.notify_all();
    }

    // Until the uploads are over and no device is on its way back: one search for every device
    // waited for, its version asked of each that answered.
    void waitLoop() {
        std::unique_ptr<Searcher> searcher;
        SiteRecord observations(options_.sitePath, siteError_, errorMutex_);
        for (;;) {
            std::vector<Waiting> now;
            {
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, std::chrono::milliseconds(200),
                                  [&] { return !waiting_.empty() || uploadsOver_; });
                if (waiting_.empty()) {
                    if (uploadsOver_) return;
                    continue;
                }
                now = std::move(waiting_);
                waiting_.clear();
            }
            if (!searcher) searcher = std::make_unique<Searcher>();
            look(*searcher, observations, now);
            std::vector<Waiting> left;
            for (Waiting& w : now) {
                const bool over =
                    results_[w.index].upgraded() || stopped() || Clock::now() >= w.deadline;
                if (over) {
                    finish(w.index, *w.record, std::move(w.action));
                } else {
                    left.push_back(std::move(w));
                }
            }
            if (left.empty()) continue;
            {
                std::lock_guard lock(mutex_);
                for (Waiting& w : left) waiting_.push_back(std::move(w));
            }
            pause(options_.pollInterval, stop_);
        }
    }

    // One look for the devices in `now`; a version read is recorded as an observation.
    void look(Searcher& searcher, SiteRecord& observations, const std::vector<Waiting>& now) {
        if (stopped()) return;
        std::vector<std::u16string> addresses;
        for (const Waiting& w : now) addresses.push_back(text::fromUtf8(devices_[w.index].address));
        const auto rows =
            discovery::searchUntilSettled(searcher.engine, searcher.table, addresses, kLookSeconds);
        std::vector<std::size_t> heard;
        for (std::size_t k = 0; k < now.size(); ++k) {
            if (rows[k]) heard.push_back(k);
        }
        if (heard.empty()) return;
        std::vector<std::u16string> versions(now.size());
        forEach(
            heard, options_.parallel, [] { return true; },
            [&](std::size_t k) {
                const UpgradeTarget& device = devices_[now[k].index];
                const discovery::DeviceCapabilities& can =
                    discovery::capabilitiesOf(device.type.value_or(0));
                const auto port =
                    static_cast<std::uint16_t>(options_.port.value_or(can.defaultPort));
                const bool nvr = can.upgrade == discovery::UpgradeKind::Nvr;
                versions[k] =
                    ops::openConnection(nvr ? upgrade::nvrUpgrade() : upgrade::cameraUpgrade(),
                                        device.address, port)
                        .version;
            });
        std::unordered_map<std::string, std::string> seen;
        for (const std::size_t k : heard) {
            GuardedResult& result = results_[now[k].index];
            const std::u16string& version = versions[k];
            if (!version.empty() && !rows[k]->mac.empty())
                seen[text::toUtf8(rows[k]->mac)] = text::toUtf8(version);
            if (version.empty()) {
                result.readBack = ReadBack::NoVersion;
                continue;
            }
            result.newVersion = version;
            // The old version may still answer until the device restarts: looked for again.
            result.readBack = isUpgradedVersion(result.upload.oldVersion, version, fileName_)
                                  ? ReadBack::NewVersion
                              : version == result.upload.oldVersion ? ReadBack::OldVersion
                                                                    : ReadBack::OtherVersion;
        }
        std::vector<discovery::DeviceRow> table;
        {
            std::lock_guard guard(searcher.table.lock());
            table = searcher.table.rows();
        }
        observations.observe(table, seen);
    }

    const std::vector<UpgradeTarget>& devices_;
    const GuardedOptions& options_;
    const GuardedHooks& hooks_;
    const std::atomic<bool>* stop_;
    std::string* siteError_;
    std::vector<GuardedResult> results_;  // each written by the one thread that has its device
    std::mutex errorMutex_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Waiting> waiting_;  // guarded by mutex_
    std::vector<bool> done_;        // guarded by mutex_
    bool uploadsOver_ = false;      // guarded by mutex_
    std::atomic<bool> halted_{false};
    const std::string packageName_;
    const std::u16string fileName_;
};

}  // namespace

std::vector<GuardedResult> runGuardedUpgrade(const std::vector<UpgradeTarget>& devices,
                                             const GuardedOptions& options,
                                             const GuardedHooks& hooks,
                                             const std::atomic<bool>* stop,
                                             std::string* siteError) {
    if (auto misfit = findMisfit(devices, options, stop)) {
        std::vector<GuardedResult> results(devices.size());
        for (std::size_t i = 0; i < devices.size(); ++i) {
            results[i].address = devices[i].address;
            results[i].stoppedBy = devices[misfit->first].address;
        }
        results[misfit->first].misfit = true;
        results[misfit->first].upload.detail = std::move(misfit->second);
        return results;
    }
    if (stop && *stop) {
        std::vector<GuardedResult> results(devices.size());
        for (std::size_t i = 0; i < devices.size(); ++i) results[i].address = devices[i].address;
        return results;
    }
    return Batch(devices, options, hooks, stop, siteError).run();
}

}  // namespace tarvo::site

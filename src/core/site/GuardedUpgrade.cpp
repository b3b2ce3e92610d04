#include "core/site/GuardedUpgrade.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>

#include "core/discovery/DiscoveryEngine.h"
#include "core/discovery/SettledSearch.h"
#include "core/net/MacResolver.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/ops/presenter/DeviceCapabilities.h"
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
constexpr double kLookSeconds = 3.0;

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
    void observe(const std::vector<discovery::DeviceRow>& rows, const std::string& mac,
                 const std::u16string& version) {
        if (!site_ || rows.empty()) return;
        std::unordered_map<std::string, std::string> versions;
        if (!mac.empty() && !version.empty()) versions[mac] = text::toUtf8(version);
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

struct ReadBackResult {
    ReadBack state = ReadBack::NotBack;
    std::u16string version;
};

// Looks for the device now and then until it answers with an upgraded version or the wait is
// over; each version read is recorded as an observation.
ReadBackResult readBack(const UpgradeTarget& device, const GuardedOptions& options,
                        const std::u16string& before, SiteRecord& record,
                        const std::atomic<bool>* stop) {
    const ops::DeviceCapabilities& can = ops::capabilitiesOf(device.type.value_or(0));
    const bool nvr = can.upgrade == ops::UpgradeKind::Nvr;
    const auto port = static_cast<std::uint16_t>(options.port.value_or(can.defaultPort));
    const std::u16string fileName = text::fromUtf8(upgrade::fileNameOf(options.packagePath));
    const auto deadline = Clock::now() + options.wait;
    ReadBackResult result;
    Searcher searcher;
    while (!(stop && *stop)) {
        const auto left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0) break;
        const auto row = discovery::searchUntilSettled(searcher.engine, searcher.table,
                                                       text::fromUtf8(device.address),
                                                       std::min(left, kLookSeconds));
        if (row) {
            const std::u16string now =
                ops::openConnection(nvr ? upgrade::nvrUpgrade() : upgrade::cameraUpgrade(),
                                    device.address, port)
                    .version;
            std::vector<discovery::DeviceRow> rows;
            {
                std::lock_guard guard(searcher.table.lock());
                rows = searcher.table.rows();
            }
            record.observe(rows, text::toUtf8(row->mac), now);
            if (now.empty()) {
                result.state = ReadBack::NoVersion;
            } else {
                result.version = now;
                if (isUpgradedVersion(before, now, fileName)) {
                    result.state = ReadBack::NewVersion;
                    return result;
                }
                // The old version may still answer until the device restarts: look again.
                result.state = now == before ? ReadBack::OldVersion : ReadBack::OtherVersion;
            }
        }
        const auto rest =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pause(std::min(options.pollInterval, std::max(rest, std::chrono::milliseconds(0))), stop);
    }
    return result;
}

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

std::u16string GuardedResult::text() const {
    namespace msg = text::msg;
    if (!started) return text::tr(msg::kGuardNotStarted);
    if (!upload.accepted)
        return upload.detail.empty() ? text::tr(msg::kBatchFailed) : upload.detail;
    const std::u16string before =
        upload.oldVersion.empty() ? text::tr(msg::kUnknown) : upload.oldVersion;
    switch (readBack) {
        case ReadBack::NewVersion:
            return text::formatText(text::tr(msg::kGuardUpgradedFormat), {before, newVersion});
        case ReadBack::OldVersion:
            return text::formatText(text::tr(msg::kGuardOldVersionFormat), {before});
        case ReadBack::OtherVersion:
            return text::formatText(text::tr(msg::kGuardOtherVersionFormat), {before, newVersion});
        case ReadBack::NoVersion:
            return text::tr(msg::kGuardNoVersion);
        case ReadBack::NotBack:
        case ReadBack::NotAsked:
            return text::tr(msg::kGuardNotBack);
    }
    return {};
}

std::vector<GuardedResult> runGuardedUpgrade(const std::vector<UpgradeTarget>& devices,
                                             const GuardedOptions& options,
                                             const GuardedHooks& hooks,
                                             const std::atomic<bool>* stop,
                                             std::string* siteError) {
    std::vector<GuardedResult> results(devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i) results[i].address = devices[i].address;
    std::atomic<bool> halted{false};
    std::mutex errorMutex;
    const std::string packageName(upgrade::fileNameOf(options.packagePath));

    const auto work = [&](std::size_t i) {
        GuardedResult& result = results[i];
        const UpgradeTarget& device = devices[i];
        result.started = true;
        SiteRecord record(options.sitePath, siteError, errorMutex);
        ActionRecord action;
        action.mac = device.mac;
        action.address = device.address;
        action.kind = "upgrade";
        action.started = SiteFile::now();
        action.packageName = packageName;
        action.packageSha256 = options.packageSha256;
        record.begin(action);  // before the upgrade's first frame

        result.upload = hooks.upload(i);
        if (result.upload.accepted && !(stop && *stop)) {
            if (hooks.waiting) hooks.waiting(i);
            const ReadBackResult back =
                readBack(device, options, result.upload.oldVersion, record, stop);
            result.readBack = back.state;
            result.newVersion = back.version;
        }
        action.outcome = result.upgraded() ? "ok" : "failed";
        action.detail = result.upgraded() ? std::string() : text::toUtf8(result.text());
        action.oldValue = text::toUtf8(result.upload.oldVersion);
        action.newValue = text::toUtf8(result.newVersion);
        action.finished = SiteFile::now();
        record.finish(action);
        if (!result.upgraded() && options.canary && !options.keepGoing) halted = true;
        if (hooks.finished) hooks.finished(i, result);
    };
    const auto go = [&] { return !halted && !(stop && *stop); };

    std::vector<std::size_t> rest;
    for (std::size_t i = 0; i < devices.size(); ++i) rest.push_back(i);
    if (options.canary && !rest.empty()) {
        work(rest.front());
        rest.erase(rest.begin());
        // The guard: nothing more goes out unless the first device came back upgraded.
        if (!results.front().upgraded()) return results;
    }
    forEach(rest, options.parallel, go, work);
    return results;
}

}  // namespace tarvo::site

#include "core/site/SiteVerify.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "core/discovery/DeviceCapabilities.h"
#include "core/net/Connect.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/NalScan.h"
#include "core/preview/Picture.h"
#include "core/preview/PictureCheck.h"
#include "core/protocol/DeviceCommands.h"
#include "core/site/MacText.h"
#include "core/site/SiteFile.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/upgrade/FirmwareUploader.h"

namespace tarvo::site {

namespace {

using Clock = std::chrono::steady_clock;

// How often a worker looks at its stream and at the stop flag while it waits.
constexpr auto kPoll = std::chrono::milliseconds(20);
// A stream whose last picture is older than this at the end of the measurement has stalled.
constexpr auto kStallLimit = std::chrono::seconds(2);
// Snapshots larger than this are scaled down: enough to see where a camera points.
constexpr int kSnapshotMaxWidth = 1920;
constexpr int kSnapshotMaxHeight = 1080;

int millisSince(Clock::time_point start, Clock::time_point end = Clock::now()) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count());
}

using text::Reason;

// As typed: "1", "0.5", "20", the same in every locale.
std::string plain(double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("-");
}

// A catalogue text with literal values, kept as its key.
Reason saidReason(std::u16string_view format, std::initializer_list<std::string> values = {}) {
    std::vector<Reason> v;
    for (const auto& each : values) v.push_back(Reason::literal(each));
    return Reason::said(format, std::move(v));
}

// The stream's own messages ("connect error!", the decoder's) are not boxes here: the result
// says why in its own words. Only whether the stream port refused is kept.
class StreamNotes final : public text::Notifier {
public:
    void message(std::u16string_view text) override {
        if (text == text::msg::kStreamConnectError) streamConnectFailed = true;
    }
    void systemError(std::u16string_view) override {}
    bool streamConnectFailed = false;
};

// What the decode thread measures; read by the worker under the lock.
struct Meter {
    std::mutex mutex;
    bool hevc = false;
    std::chrono::milliseconds window{0};
    bool keyChunkSeen = false;  // a chunk a decoder can start from was decoded
    std::optional<Clock::time_point> firstKey;
    Clock::time_point lastPicture;
    std::uint64_t pictures = 0;  // after the first key picture, within the window
    std::uint64_t bytes = 0;     // video payload after the first key picture, within the window
    int width = 0;
    int height = 0;
    preview::Picture last;  // a reference to the decoder's frame, no copy
    // What the pictures within the window look like.
    preview::PictureCheck check;
    preview::PictureVerdict verdict;  // the last picture's
    std::uint64_t checked = 0;
    std::array<std::uint64_t, 8> flagged{};  // pictures with each flag, by its bit
};

// The picture fault a camera fails with: the last picture's flag, when it held for at least
// half of the pictures checked (frozen holds over its own window already), so that one odd
// picture fails nobody. Empty when the picture is fine.
Reason pictureFault(const Meter& m) {
    preview::PictureVerdict lasting = m.verdict;
    lasting.flags = 0;
    for (std::size_t bit = 0; bit < m.flagged.size(); ++bit) {
        const auto flag = static_cast<std::uint8_t>(1U << bit);
        if ((m.verdict.flags & flag) == 0) continue;
        if (flag == static_cast<std::uint8_t>(preview::PictureFlag::Frozen) ||
            2 * m.flagged[bit] >= m.checked)
            lasting.flags |= flag;
    }
    const auto reasons = lasting.reasons();
    return reasons.empty() ? Reason{} : reasons.front();
}

// Draws nothing; tells the meter of every picture.
class MeteringRenderer final : public preview::Renderer {
public:
    explicit MeteringRenderer(std::shared_ptr<Meter> meter) : meter_(std::move(meter)) {}
    void initialise(void*) override {}
    bool setUpSurface(int, int) override { return true; }
    void draw(const preview::Picture& picture) override {
        const auto now = Clock::now();
        std::lock_guard lock(meter_->mutex);
        if (!meter_->firstKey) {
            if (!meter_->keyChunkSeen) return;  // pictures made without a key picture
            meter_->firstKey = now;
            meter_->width = picture.width();
            meter_->height = picture.height();
        } else if (now - *meter_->firstKey <= meter_->window) {
            ++meter_->pictures;
            Meter& m = *meter_;
            m.verdict = m.check.check(picture, now);
            ++m.checked;
            for (std::size_t bit = 0; bit < m.flagged.size(); ++bit)
                m.flagged[bit] += (m.verdict.flags >> bit) & 1U;
        }
        meter_->lastPicture = now;
        meter_->last = picture;
    }

private:
    std::shared_ptr<Meter> meter_;
};

VerifyResult failed(VerifyResult r, Reason reason) {
    r.ok = false;
    r.reason = std::move(reason);
    return r;
}

// The figures measured from the first key picture up to `until`, taken under the meter's lock;
// a stall in r.reason, the last picture in `last`. Returns the picture's fault, if any.
Reason collectFigures(VerifyResult& r, Meter& meter, Clock::time_point firstKey,
                      Clock::time_point until, bool broken, preview::Picture& last) {
    std::lock_guard lock(meter.mutex);
    const double seconds = std::chrono::duration<double>(until - firstKey).count();
    r.figures.width = meter.width;
    r.figures.height = meter.height;
    r.figures.seconds = seconds;
    if (seconds > 0) {
        r.figures.fps = static_cast<double>(meter.pictures) / seconds;
        r.figures.kbps = static_cast<double>(meter.bytes) * 8.0 / 1000.0 / seconds;
    }
    if (!broken && until - meter.lastPicture > kStallLimit) {
        const double quiet = std::chrono::duration<double>(until - meter.lastPicture).count();
        r.reason = saidReason(text::msg::kVerifyStreamStalledFormat, {figureText(quiet, 1)});
    }
    last = meter.last;
    if (meter.checked > 0) {
        const auto& f = meter.verdict.figures;
        r.figures.brightness = f.brightness;
        r.figures.contrast = f.contrast;
        r.figures.sharpness = f.sharpness;
    }
    return pictureFault(meter);
}

// The stream part of a camera's verification, on the client that is logged in.
VerifyResult measureStream(VerifyResult r, preview::CCamStreamClient& client,
                           const std::shared_ptr<Meter>& meter, const StreamNotes& notes,
                           const VerifyOptions& options, Clock::time_point deadline,
                           const std::atomic<bool>& stop, std::vector<std::uint8_t>& snapshot) {
    client.setPacketTap([&client, meter](int type, std::span<const std::uint8_t>,
                                         std::span<const std::uint8_t> payload) {
        if (type != 0) return;
        const auto now = Clock::now();
        std::lock_guard lock(meter->mutex);
        if (!meter->keyChunkSeen)
            meter->keyChunkSeen =
                preview::startsDecoding(payload, preview::decodesAsHevc(client.reply().codecCode));
        if (meter->firstKey && now - *meter->firstKey <= meter->window)
            meter->bytes += payload.size();
    });
    const auto timedOut = [&] {
        return failed(std::move(r),
                      saidReason(text::msg::kNoKeyPictureWithinFormat, {plain(options.timeout)}));
    };
    if (Clock::now() >= deadline) return timedOut();
    // The stream's set-up waits no longer than the device's time-out leaves.
    client.setStartLimitMs(std::max(1, millisSince(Clock::now(), deadline)));
    const auto streamStart = Clock::now();
    if (!client.startStream()) {
        return failed(std::move(r), notes.streamConnectFailed
                                        ? saidReason(text::msg::kVerifyStreamConnectFailedFormat,
                                                     {std::to_string(client.streamPort())})
                                        : saidReason(text::msg::kVerifyNoStreamReply));
    }
    const auto streamEnded = [&] {
        return client.stats().receiveEnded && client.pendingPackets() == 0;
    };
    // Up to the first key picture, within the device's time-out.
    std::optional<Clock::time_point> firstKey;
    for (;;) {
        {
            std::lock_guard lock(meter->mutex);
            firstKey = meter->firstKey;
        }
        if (firstKey) break;
        if (stop.load()) return failed(std::move(r), saidReason(text::msg::kVerifyStopped));
        if (streamEnded())
            return failed(std::move(r), saidReason(text::msg::kStreamEndedBeforeKeyPicture));
        if (Clock::now() >= deadline) return timedOut();
        std::this_thread::sleep_for(kPoll);
    }
    r.figures.firstKeyMs = millisSince(streamStart, *firstKey);
    // Then the measurement.
    const auto end = *firstKey + meter->window;
    bool broken = false;
    while (Clock::now() < end) {
        if (stop.load()) return failed(std::move(r), saidReason(text::msg::kVerifyStopped));
        if (streamEnded()) {
            broken = true;
            break;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(kPoll, end - Clock::now()));
    }
    const auto measuredUntil = std::min(Clock::now(), end);
    preview::Picture last;
    Reason pictureFailure = collectFigures(r, *meter, *firstKey, measuredUntil, broken, last);
    if (broken) return failed(std::move(r), saidReason(text::msg::kVerifyStreamBroken));
    if (!r.reason.empty()) return r;  // stalled: not ok, with its reason
    // A picture that is wrong is kept too: it shows what the camera sees.
    snapshot = preview::jpegOf(last, kSnapshotMaxWidth, kSnapshotMaxHeight);
    if (snapshot.empty()) return failed(std::move(r), saidReason(text::msg::kVerifyNoSnapshot));
    if (!pictureFailure.empty()) return failed(std::move(r), std::move(pictureFailure));
    r.ok = true;
    return r;
}

}  // namespace

std::u16string VerifyResult::resultText() const {
    if (ok) return text::tr(text::msg::kVerifyPassed);
    return text::tr(text::msg::kVerifyFailed) + (reason.empty() ? u"" : u": " + text::show(reason));
}

std::vector<VerifyTarget> verifyTargets(const std::vector<discovery::DeviceRow>& heardRows,
                                        const std::vector<std::string>& addresses) {
    const auto heard = withDeviceMacs(heardRows);
    auto targetOf = [](const discovery::DeviceRow& row) {
        VerifyTarget t;
        t.address = text::toUtf8(row.address);
        t.mac = text::toUtf8(row.mac);
        t.name = text::toUtf8(row.name);
        t.type = row.type;
        for (const auto& m : row.conflictMacs)
            if (m != row.mac) t.conflictMacs.push_back(text::toUtf8(m));
        if (!t.conflictMacs.empty()) t.conflictMacs.insert(t.conflictMacs.begin(), t.mac);
        return t;
    };
    std::vector<VerifyTarget> out;
    if (addresses.empty()) {
        for (const auto& row : heard) out.push_back(targetOf(row));
        return out;
    }
    std::vector<std::string> seen;
    for (const auto& address : addresses) {
        if (std::find(seen.begin(), seen.end(), address) != seen.end()) continue;
        seen.push_back(address);
        const auto row = std::find_if(heard.begin(), heard.end(), [&](const auto& r) {
            return text::toUtf8(r.address) == address;
        });
        if (row != heard.end()) {
            out.push_back(targetOf(*row));
            continue;
        }
        VerifyTarget t;
        t.address = address;
        t.heard = false;
        out.push_back(std::move(t));
    }
    return out;
}

VerifyResult verifyDevice(const VerifyTarget& target, const VerifyOptions& options,
                          const std::atomic<bool>& stop, std::vector<std::uint8_t>& snapshot) {
    snapshot.clear();
    VerifyResult r;
    r.target = target;
    if (!target.heard)
        return failed(std::move(r), saidReason(text::msg::kDeviceNotHeardFormat, {target.address}));
    if (!target.conflictMacs.empty()) {
        // The answers could come from any of them: nothing is credited to one MAC.
        std::string macs;
        for (const auto& m : target.conflictMacs) macs += (macs.empty() ? "" : " ") + m;
        return failed(std::move(r),
                      saidReason(text::msg::kRowConflict).because(Reason::literal(macs)));
    }
    if (stop.load()) return failed(std::move(r), saidReason(text::msg::kVerifyStopped));
    const auto start = Clock::now();
    const auto deadline =
        start + std::chrono::milliseconds(static_cast<long>(options.timeout * 1000.0));
    const auto& caps = discovery::capabilitiesOf(target.type);
    const std::uint16_t port = options.port.value_or(caps.defaultPort);
    const auto info = protocol::makeLoginInfo(target.address, port, options.user, options.password,
                                              0, target.type);
    auto meter = std::make_shared<Meter>();
    meter->window = std::chrono::milliseconds(static_cast<long>(options.seconds * 1000.0));
    StreamNotes notes;
    preview::CCamStreamClient client(info, notes, std::make_unique<MeteringRenderer>(meter));
    auto finish = [&](VerifyResult result) {
        client.stop();
        return result;
    };

    auto t = Clock::now();
    if (!client.connect().ok) {
        return finish(failed(std::move(r), saidReason(text::msg::kVerifyConnectFailedFormat,
                                                      {target.address, std::to_string(port)})));
    }
    r.figures.connectMs = millisSince(t);
    if (caps.login) {
        if (stop.load()) return finish(failed(std::move(r), saidReason(text::msg::kVerifyStopped)));
        t = Clock::now();
        const protocol::Outcome login = client.login();
        if (!login.ok) {
            Reason why = login.loginRefused      ? saidReason(text::msg::kLoginRefusedNote)
                         : login.message.empty() ? saidReason(text::msg::kVerifyLoginBroken)
                                                 : Reason::recognise(login.message);
            return finish(failed(std::move(r), std::move(why)));
        }
        r.figures.loginMs = millisSince(t);
    }
    // Every device that takes firmware says its version.
    if (caps.upgrade != discovery::UpgradeKind::None) {
        if (stop.load()) return finish(failed(std::move(r), saidReason(text::msg::kVerifyStopped)));
        // On a connection of its own, as the version check and the upgrade windows ask it.
        net::Socket socket;
        std::u16string version;
        if (net::connectWithTimeout(target.address, port, socket)) {
            version = upgrade::queryVersion(caps.upgrade == discovery::UpgradeKind::Nvr
                                                ? upgrade::nvrUpgrade()
                                                : upgrade::cameraUpgrade(),
                                            socket);
        }
        socket.close();
        if (version.empty())
            return finish(failed(std::move(r), saidReason(text::msg::kVerifyNoVersion)));
        r.version = text::toUtf8(version);
    }
    // Cameras show their stream; NVRs, DVRs and decoders are checked without one.
    if (!caps.camera) {
        r.ok = true;
        return finish(std::move(r));
    }
    if (stop.load()) return finish(failed(std::move(r), saidReason(text::msg::kVerifyStopped)));
    return finish(
        measureStream(std::move(r), client, meter, notes, options, deadline, stop, snapshot));
}

namespace {

// A device no search heard is the site's only when the site knows one at that address; it then
// takes that device's MAC, name and type. Returns, by target, whether its verification is
// recorded.
std::vector<bool> matchUnheardToSite(const std::string& sitePath,
                                     std::vector<VerifyTarget>& targets) {
    std::vector<bool> recorded(targets.size(), !sitePath.empty());
    if (sitePath.empty() ||
        std::all_of(targets.begin(), targets.end(), [](const auto& t) { return t.heard; }))
        return recorded;
    std::vector<KnownDevice> known;
    try {
        known = SiteFile::open(sitePath, false)->knownDevices();
    } catch (const SiteError&) {
        // The workers open it again and say why.
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (targets[i].heard) continue;
        const auto k = std::find_if(known.begin(), known.end(), [&](const KnownDevice& d) {
            return d.address == targets[i].address;
        });
        recorded[i] = k != known.end();
        if (k != known.end()) {
            targets[i].mac = k->mac;
            targets[i].name = k->name;
            targets[i].type = k->type;
        }
    }
    return recorded;
}

// A worker's own connection to the site, or why it has none.
struct WorkerSite {
    std::unique_ptr<SiteFile> file;
    std::string error;
};

WorkerSite openWorkerSite(const std::string& sitePath) {
    WorkerSite site;
    if (sitePath.empty()) return site;
    try {
        site.file = SiteFile::open(sitePath, false);
    } catch (const SiteError& e) {
        site.error = e.what();
    }
    return site;
}

// Those not begun when the stop came are not begun at all: nothing sent, nothing recorded.
VerifyResult notBegun(const VerifyTarget& target) {
    VerifyResult r;
    r.target = target;
    r.reason = saidReason(text::msg::kVerifyStopped);
    return r;
}

// The site's record of a verification, begun before the device's first frame.
std::int64_t beginVerifyAction(const WorkerSite& site, const VerifyTarget& target) {
    if (!site.file) throw SiteError(site.error);
    ActionRecord action;
    action.mac = target.mac;
    action.address = target.address;
    action.kind = "verify";
    action.started = SiteFile::now();
    return site.file->beginAction(action);
}

// Finishes the record with the outcome, figures, version and snapshot; a site that cannot take
// it is said in r.siteError.
void finishVerifyAction(SiteFile& site, std::int64_t id, VerifyResult& r,
                        const std::vector<std::uint8_t>& snapshot) {
    ActionRecord done;
    done.id = id;
    done.outcome = r.ok ? "ok" : "failed";
    done.detail = r.ok ? std::string() : text::encodeReason(r.reason);
    done.finished = SiteFile::now();
    done.figures = r.figures.json();
    done.newValue = r.version;
    done.snapshot = snapshot;
    try {
        site.finishAction(done);
    } catch (const SiteError& e) {
        r.siteError = e.what();
    }
}

// One device's verification, recorded in the site where `recorded` says so.
VerifyResult verifyAndRecord(const VerifyTarget& target, bool recorded, const WorkerSite& site,
                             const VerifyOptions& options, const std::atomic<bool>& stop,
                             std::vector<std::uint8_t>& snapshot) {
    std::int64_t id = 0;
    if (recorded) {
        try {
            id = beginVerifyAction(site, target);
        } catch (const SiteError& e) {
            // Nothing is sent to a device whose verification cannot be recorded.
            VerifyResult r;
            r.target = target;
            r.siteError = e.what();
            r.reason = Reason::literal(r.siteError);
            return r;
        }
    }
    VerifyResult r = verifyDevice(target, options, stop, snapshot);
    r.actionId = id;
    r.snapshotBytes = snapshot.size();
    if (id != 0) finishVerifyAction(*site.file, id, r, snapshot);
    return r;
}

// Runs `work` on `parallel` threads (this one among them), no more than there are targets.
void runWorkers(int parallel, std::size_t targets, const std::function<void()>& work) {
    const int count = std::clamp(parallel, 1, kMaxVerifyParallel);
    std::vector<std::thread> workers;
    for (int w = 1; w < count && static_cast<std::size_t>(w) < targets; ++w)
        workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
}

// The versions read, as observations of the search that found the devices, so that a later
// visit sees a firmware that changed.
void recordVersions(const std::string& sitePath, const std::vector<discovery::DeviceRow>& heard,
                    const std::unordered_map<std::string, std::string>& versions,
                    std::vector<VerifyResult>& results) {
    if (sitePath.empty() || versions.empty()) return;
    try {
        SiteFile::open(sitePath, false)->recordSearch(heard, SiteFile::now(), versions);
    } catch (const SiteError& e) {
        for (auto& r : results)
            if (!r.version.empty() && r.siteError.empty()) r.siteError = e.what();
    }
}

}  // namespace

std::vector<VerifyResult> verifyDevices(const std::string& sitePath,
                                        const std::vector<discovery::DeviceRow>& heard,
                                        std::vector<VerifyTarget> targets,
                                        const VerifyOptions& options, VerifyObserver& observer,
                                        const std::atomic<bool>& stop) {
    const std::vector<bool> recorded = matchUnheardToSite(sitePath, targets);
    std::vector<VerifyResult> results(targets.size());
    std::mutex versionsMutex;
    std::unordered_map<std::string, std::string> versions;  // by MAC
    std::atomic<std::size_t> next{0};
    runWorkers(options.parallel, targets.size(), [&] {
        const WorkerSite site = openWorkerSite(sitePath);
        for (std::size_t i = next++; i < targets.size(); i = next++) {
            const VerifyTarget& target = targets[i];
            std::vector<std::uint8_t> snapshot;
            VerifyResult r =
                stop.load() ? notBegun(target)
                            : verifyAndRecord(target, recorded[i], site, options, stop, snapshot);
            if (!r.version.empty() && !target.mac.empty()) {
                std::lock_guard lock(versionsMutex);
                versions[target.mac] = r.version;
            }
            observer.verified(r, snapshot);
            results[i] = std::move(r);
        }
    });
    recordVersions(sitePath, heard, versions, results);
    return results;
}

}  // namespace tarvo::site

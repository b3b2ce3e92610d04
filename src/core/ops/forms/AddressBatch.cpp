#include "core/ops/forms/AddressBatch.h"

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/discovery/SettledSearch.h"
#include "core/net/MacResolver.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/AddressPlanner.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/ops/forms/UdpSession.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::ops {

namespace {

using Result = AddressAssignment::Result;

// How long one confirming search listens before it is repeated for the devices not yet seen.
constexpr auto kConfirmRound = std::chrono::milliseconds(1000);

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::optional<std::uint32_t> hostOrder(const std::string& dotted) {
    std::uint32_t address = 0;
    if (!net::parseIPv4(dotted, address)) return std::nullopt;
    return ntohl(address);
}

// Keeps the notifier's messages as the refusal's detail while passing them on.
class DetailNotifier final : public text::Notifier {
public:
    explicit DetailNotifier(text::Notifier& next) : next_(next) {}
    void message(std::u16string_view text) override {
        last = text;
        next_.message(text);
    }
    void systemError(std::u16string_view text) override {
        last = text;
        next_.systemError(text);
    }
    std::u16string last;

private:
    text::Notifier& next_;
};

// Passes messages on one at a time: several writers tell their refusals at once.
class LockedNotifier final : public text::Notifier {
public:
    explicit LockedNotifier(text::Notifier& next) : next_(next) {}
    void message(std::u16string_view text) override {
        std::lock_guard guard(lock_);
        next_.message(text);
    }
    void systemError(std::u16string_view text) override {
        std::lock_guard guard(lock_);
        next_.systemError(text);
    }

private:
    std::mutex lock_;
    text::Notifier& next_;
};

// One writer's side of the engine: a reply cache of its own, so that several devices can be
// asked at once, and no search of its own after the write (the batch confirms every move
// together). The guard reads the table of the search that settled before the writes.
class WriterSession final : public UdpSession {
public:
    explicit WriterSession(discovery::DiscoveryEngine& engine) : engine_(engine) {
        engine_.attachReplyCache(cache_);
    }
    ~WriterSession() override { engine_.detachReplyCache(cache_); }
    WriterSession(const WriterSession&) = delete;
    WriterSession& operator=(const WriterSession&) = delete;

    bool send(const std::string& address, const protocol::Frame& frame) override {
        std::uint32_t device = 0;
        return net::parseIPv4(address, device) && engine_.sendCommandTo(device, frame);
    }
    discovery::ReplyCache& cache() override { return cache_; }
    void startSearch() override {}
    std::optional<std::u16string> type89Label(std::u16string_view) override { return {}; }
    std::vector<std::u16string> devicesSharingTarget(std::u16string_view address) override {
        engine_.takeLateFrames();
        return engine_.table().devicesSharingTarget(address);
    }

private:
    discovery::DiscoveryEngine& engine_;
    discovery::ReplyCache cache_;
};

// The network settings window, answered with the batch's values.
class BatchDialogs final : public SettingsDialogs {
public:
    BatchDialogs(const AddressAssignment& assignment, const AddressBatchEntry& entry,
                 text::Notifier& notifier, const discovery::ReplyCache& cache)
        : assignment_(assignment), entry_(entry), notifier_(notifier), cache_(cache) {}

    bool runNetSettings(NetSettingsForm& form, const NetCheck& check) override {
        // Without the device's own record its other values would be written back as zeros.
        if (!form.recordAnswered() || !form.audioAnswered()) {
            notifier_.message(text::msg::kNetParamsUnanswered);
            return false;
        }
        const auto& p = form.netParams();
        auto value = [](const std::optional<std::string>& given, std::uint32_t current) {
            return text::fromUtf8(given.value_or(net::formatIPv4(current)));
        };
        NetSettingsEntry e;
        e.user = entry_.user;
        e.password = entry_.password;
        e.address = text::fromUtf8(assignment_.newAddress);
        e.netmask = value(entry_.mask, p.netmask);
        e.gateway = value(entry_.gateway, p.gateway);
        e.dns = value(entry_.dns, p.dns);
        e.httpPort = form.httpPortText();
        e.dhcp = false;  // a fixed address is what the batch gives
        e.audio = form.audio() != 0;
        return check(e, notifier_) == NetSettingsOutcome::Accepted;
    }
    bool runCameraConfig(CameraConfigForm&) override { return false; }
    std::optional<CloudEntry> runCloudSettings(const CloudForm&) override { return {}; }
    // No one watches a batch's window: its waits end as soon as the device asked has answered.
    void waitMs(int milliseconds) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!cache_.allAnswered() && std::chrono::steady_clock::now() < end) sleepMs(5);
    }

private:
    const AddressAssignment& assignment_;
    const AddressBatchEntry& entry_;
    text::Notifier& notifier_;
    const discovery::ReplyCache& cache_;
};

// One device through the network settings sequence: Written or Refused, with the refusal's
// reason.
void writeOne(AddressAssignment& a, const AddressBatchEntry& entry, WriterSession& session,
              text::Notifier& next) {
    DetailNotifier notifier(next);
    BatchDialogs dialogs(a, entry, notifier, session.cache());
    SettingsFlows flows(dialogs, session, notifier);
    const bool written = flows.networkSettings(a.oldAddress, a.type);
    a.result = written ? Result::Written : Result::Refused;
    a.detail = written ? text::Reason() : text::Reason::recognise(notifier.last);
}

bool onNetworkOf(std::uint32_t address, const std::vector<net::LocalInterface>& interfaces) {
    return std::any_of(interfaces.begin(), interfaces.end(), [&](const auto& iface) {
        return net::sameSubnet(address, iface.address, iface.netmask);
    });
}

}  // namespace

AddressBatch::AddressBatch(text::Notifier& notifier)
    : notifier_(notifier),
      resolver_(std::make_unique<net::SystemMacResolver>()),
      engine_(std::make_unique<discovery::DiscoveryEngine>(table_, *resolver_, notifier)) {}

AddressBatch::~AddressBatch() {
    engine_->closeInterfaces();
}

std::vector<discovery::DeviceRow> AddressBatch::search(double seconds) {
    if (engine_->interfaceCount() == 0 && engine_->openInterfaces() == 0) {
        notifier_.message(text::msg::kAssignNotFound);
        return {};
    }
    engine_->startSearch();
    sleepMs(static_cast<int>(seconds * 1000));
    std::lock_guard guard(table_.lock());
    lastSearch_ = table_.rows();
    return lastSearch_;
}

std::vector<AddressAssignment> AddressBatch::plan(const std::vector<discovery::DeviceRow>& chosen,
                                                  std::uint32_t start, std::uint32_t mask) const {
    const auto interfaces = engine_->interfaces();
    std::unordered_set<std::uint32_t> taken;
    for (const auto& row : lastSearch_) {
        if (const auto a = hostOrder(text::toUtf8(row.address))) taken.insert(*a);
    }
    for (const auto& iface : interfaces) taken.insert(ntohl(iface.address));
    std::vector<AddressAssignment> out;
    std::size_t wanted = 0;
    for (const auto& row : chosen) {
        AddressAssignment a;
        a.oldAddress = text::toUtf8(row.address);
        a.mac = row.mac;
        a.type = row.type;
        const bool heard = std::any_of(lastSearch_.begin(), lastSearch_.end(),
                                       [&](const auto& r) { return r.address == row.address; });
        const bool camera = discovery::capabilitiesOf(row.type).networkSettings;
        a.result = !heard ? Result::NotFound : !camera ? Result::NotCamera : Result::Planned;
        wanted += a.result == Result::Planned ? 1 : 0;
        out.push_back(std::move(a));
    }
    const auto addresses = planAddresses(ntohl(start), ntohl(mask), wanted, taken);
    std::size_t next = 0;
    for (auto& a : out) {
        if (a.result != Result::Planned) continue;
        if (next < addresses.size()) {
            const std::uint32_t address = htonl(addresses[next++]);
            a.newAddress = net::formatIPv4(address);
            a.searchOnly = !onNetworkOf(address, interfaces);
        } else {
            a.result = Result::NoAddress;
        }
    }
    return out;
}

std::vector<std::vector<std::size_t>> AddressBatch::writeWaves(
    const std::vector<AddressAssignment>& assignments, const std::vector<std::size_t>& chosen,
    std::vector<std::size_t>& refused) {
    std::vector<std::vector<std::size_t>> waves;
    std::vector<std::size_t> pending = chosen;
    while (!pending.empty()) {
        // Those that wait for no one still pending.
        std::vector<std::size_t> wave;
        for (const std::size_t a : pending) {
            const auto target = protocol::targetFor(assignments[a].newAddress);
            const bool waits = std::any_of(pending.begin(), pending.end(), [&](std::size_t b) {
                return b != a && protocol::targetFor(assignments[b].oldAddress) == target;
            });
            if (!waits) wave.push_back(a);
        }
        if (wave.empty()) {
            refused = std::move(pending);
            break;
        }
        std::erase_if(pending, [&](std::size_t a) {
            return std::find(wave.begin(), wave.end(), a) != wave.end();
        });
        waves.push_back(std::move(wave));
    }
    return waves;
}

void AddressBatch::write(std::vector<AddressAssignment>& assignments,
                         const std::vector<AddressBatchEntry>& entries, double searchSeconds,
                         std::size_t parallel, const std::function<void(std::size_t)>& done) {
    std::vector<std::size_t> todo;
    std::vector<std::u16string> addresses;
    for (std::size_t i = 0; i < assignments.size(); ++i) {
        if (assignments[i].result != Result::Planned) continue;
        todo.push_back(i);
        addresses.push_back(text::fromUtf8(assignments[i].oldAddress));
    }
    if (todo.empty() || entries.empty()) return;
    // Each writer works on its own copy and hands it in under the lock, so that `done` may read
    // the whole list while others are still writing.
    std::mutex doneLock;
    const auto finished = [&](std::size_t i, const AddressAssignment& result) {
        std::lock_guard guard(doneLock);
        assignments[i] = result;
        if (done) done(i);
    };
    // One search that settled, so the guard knows every device a command would reach; no
    // search runs during the writes, so the table stays that search's.
    const auto rows = discovery::searchUntilSettled(*engine_, table_, addresses, searchSeconds);
    std::vector<std::size_t> ready;
    for (std::size_t k = 0; k < todo.size(); ++k) {
        if (rows[k]) {
            ready.push_back(todo[k]);
        } else {
            AddressAssignment missing = assignments[todo[k]];
            missing.result = Result::NotFound;
            finished(todo[k], missing);
        }
    }
    std::vector<std::size_t> cycle;
    const auto waves = writeWaves(assignments, ready, cycle);
    for (const std::size_t i : cycle) {
        AddressAssignment refused = assignments[i];
        refused.result = Result::Refused;
        refused.detail = text::Reason::said(text::msg::kSharedTargetRefused);
        finished(i, refused);
    }
    LockedNotifier notifier(notifier_);
    for (const auto& wave : waves) {
        std::atomic<std::size_t> next{0};
        const auto worker = [&] {
            WriterSession session(*engine_);
            for (std::size_t n = next++; n < wave.size(); n = next++) {
                const std::size_t i = wave[n];
                AddressAssignment a;
                {
                    std::lock_guard guard(doneLock);
                    a = assignments[i];
                }
                writeOne(a, entries.size() == 1 ? entries.front() : entries.at(i), session,
                         notifier);
                finished(i, a);
            }
        };
        const std::size_t writers = std::clamp<std::size_t>(parallel, 1, wave.size());
        std::vector<std::jthread> others;
        for (std::size_t t = 1; t < writers; ++t) others.emplace_back(worker);
        worker();
    }
}

void AddressBatch::confirm(std::vector<AddressAssignment>& assignments, double seconds) {
    using Clock = std::chrono::steady_clock;
    std::vector<AddressAssignment*> pending;
    for (auto& a : assignments)
        if (a.result == Result::Written) pending.push_back(&a);
    const auto end = Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    const auto seen = [&](const AddressAssignment& a) {
        std::lock_guard guard(table_.lock());
        const int at = table_.findRow(discovery::kColAddress, text::fromUtf8(a.newAddress));
        if (at < 0) return false;
        const auto& mac = table_.row(at).mac;
        return a.mac.empty() || mac.empty() || mac == a.mac;
    };
    // A round for all; a device that moved after a round's request answers the next one. Each
    // round listens its whole length, so the search recorded afterwards has settled.
    while (!pending.empty() && Clock::now() < end &&
           (engine_->interfaceCount() > 0 || engine_->openInterfaces() > 0)) {
        engine_->startSearch();
        const auto roundEnd = std::min(end, Clock::now() + kConfirmRound);
        while (Clock::now() < roundEnd) {
            sleepMs(20);
            std::erase_if(pending, [&](AddressAssignment* a) {
                if (!seen(*a)) return false;
                a->result = Result::Moved;
                return true;
            });
        }
    }
    for (auto* a : pending) a->result = Result::NotMoved;
    std::lock_guard guard(table_.lock());
    lastSearch_ = table_.rows();
}

std::vector<net::LocalInterface> AddressBatch::interfaces() const {
    return engine_->interfaces();
}

}  // namespace tarvo::ops

#include "core/ops/forms/AddressBatch.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <unordered_set>

#include "core/discovery/DeviceTypes.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/discovery/SettledSearch.h"
#include "core/net/MacResolver.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/AddressPlanner.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/ops/forms/UdpSession.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::ops {

namespace {

using Result = AddressAssignment::Result;

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

// The network settings window, answered with the batch's values.
class BatchDialogs final : public SettingsDialogs {
public:
    BatchDialogs(const AddressAssignment& assignment, const AddressBatchEntry& entry,
                 text::Notifier& notifier)
        : assignment_(assignment), entry_(entry), notifier_(notifier) {}

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
    void waitMs(int milliseconds) override { sleepMs(milliseconds); }

private:
    const AddressAssignment& assignment_;
    const AddressBatchEntry& entry_;
    text::Notifier& notifier_;
};

}  // namespace

std::u16string AddressAssignment::resultText() const {
    switch (result) {
        case Result::Planned:
            return text::tr(text::msg::kAssignPlanned);
        case Result::Written:
        case Result::Moved:
            return text::tr(text::msg::kAssignMoved);
        case Result::NotFound:
            return text::tr(text::msg::kAssignNotFound);
        case Result::NotCamera:
            return text::tr(text::msg::kAssignNotCamera);
        case Result::OtherLink:
            return text::tr(text::msg::kAssignOtherLink);
        case Result::NoAddress:
            return text::tr(text::msg::kAssignNoAddress);
        case Result::Refused:
            // The detail is the refusing step's message as the notifier got it: a catalogue
            // text, shown translated like the result it follows.
            return text::tr(text::msg::kAssignRefused) +
                   (detail.empty() ? u"" : u": " + text::tr(detail));
        case Result::NotMoved:
            return text::tr(text::msg::kAssignNotMoved);
    }
    return {};
}

AddressBatch::AddressBatch(text::Notifier& notifier)
    : notifier_(notifier),
      resolver_(std::make_unique<net::SystemMacResolver>()),
      engine_(std::make_unique<discovery::DiscoveryEngine>(table_, *resolver_, notifier)),
      session_(std::make_unique<EngineSession>(*engine_)) {}

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
    std::unordered_set<std::uint32_t> taken;
    for (const auto& row : lastSearch_) {
        if (const auto a = hostOrder(text::toUtf8(row.address))) taken.insert(*a);
    }
    // The interfaces whose network the new addresses lie in.
    std::vector<std::uint32_t> startLinks;
    for (const auto& iface : engine_->interfaces()) {
        if (net::sameSubnet(start, iface.address, iface.netmask))
            startLinks.push_back(iface.address);
    }
    std::vector<AddressAssignment> out;
    std::size_t wanted = 0;
    for (const auto& row : chosen) {
        AddressAssignment a;
        a.oldAddress = text::toUtf8(row.address);
        a.mac = row.mac;
        a.type = row.type;
        const auto heard = std::find_if(lastSearch_.begin(), lastSearch_.end(),
                                        [&](const auto& r) { return r.address == row.address; });
        const bool camera = row.type != discovery::kTypeDvr && row.type != discovery::kTypeNvr;
        const bool onStartLink =
            heard != lastSearch_.end() &&
            std::any_of(heard->heardOn.begin(), heard->heardOn.end(), [&](std::uint32_t each) {
                return std::find(startLinks.begin(), startLinks.end(), each) != startLinks.end();
            });
        a.result = heard == lastSearch_.end() ? Result::NotFound
                   : !camera                  ? Result::NotCamera
                   : !onStartLink             ? Result::OtherLink
                                              : Result::Planned;
        wanted += a.result == Result::Planned ? 1 : 0;
        out.push_back(std::move(a));
    }
    const auto addresses = planAddresses(ntohl(start), ntohl(mask), wanted, taken);
    std::size_t next = 0;
    for (auto& a : out) {
        if (a.result != Result::Planned) continue;
        if (next < addresses.size()) {
            a.newAddress = net::formatIPv4(htonl(addresses[next++]));
        } else {
            a.result = Result::NoAddress;
        }
    }
    return out;
}

void AddressBatch::write(AddressAssignment& assignment, const AddressBatchEntry& entry,
                         double searchSeconds) {
    if (assignment.result != Result::Planned) return;
    // A search that settled, so the guard below knows every device a command would reach.
    if (!discovery::searchUntilSettled(*engine_, table_, text::fromUtf8(assignment.oldAddress),
                                       searchSeconds)) {
        assignment.result = Result::NotFound;
        return;
    }
    DetailNotifier notifier(notifier_);
    BatchDialogs dialogs(assignment, entry, notifier);
    SettingsFlows flows(dialogs, *session_, notifier);
    const bool written = flows.networkSettings(assignment.oldAddress, assignment.type);
    assignment.result = written ? Result::Written : Result::Refused;
    assignment.detail = written ? std::u16string() : notifier.last;
}

void AddressBatch::confirm(std::vector<AddressAssignment>& assignments, double seconds) {
    const auto rows = search(seconds);
    for (auto& a : assignments) {
        if (a.result != Result::Written) continue;
        const auto at = std::find_if(rows.begin(), rows.end(), [&](const discovery::DeviceRow& r) {
            return text::toUtf8(r.address) == a.newAddress;
        });
        const bool same =
            at != rows.end() && (a.mac.empty() || at->mac.empty() || at->mac == a.mac);
        a.result = same ? Result::Moved : Result::NotMoved;
    }
}

std::vector<net::LocalInterface> AddressBatch::interfaces() const {
    return engine_->interfaces();
}

}  // namespace tarvo::ops

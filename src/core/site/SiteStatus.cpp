#include "core/site/SiteStatus.h"

#include <unordered_map>
#include <unordered_set>

#include "core/site/MacText.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

using HeardByMac = std::unordered_map<std::string, const discovery::DeviceRow*>;

// A device of the plan: missing, in place or elsewhere, as the search heard it.
DeviceStatus plannedStatus(const PlanRow& p, const HeardByMac& heardByMac) {
    DeviceStatus s;
    s.mac = p.mac;
    s.plannedAddress = p.address;
    s.name = p.name;
    s.location = p.location;
    s.note = p.note;
    const auto at = heardByMac.find(p.mac);
    if (at == heardByMac.end()) {
        s.state = DeviceStatus::State::Missing;
        return s;
    }
    s.address = text::toUtf8(at->second->address);
    s.type = at->second->type;
    if (s.name.empty()) s.name = text::toUtf8(at->second->name);
    s.state =
        s.address == p.address ? DeviceStatus::State::InPlace : DeviceStatus::State::Elsewhere;
    return s;
}

}  // namespace

std::vector<DeviceStatus> siteStatus(const std::vector<PlanRow>& plan,
                                     const std::vector<KnownDevice>& known,
                                     const std::vector<discovery::DeviceRow>& heardRows) {
    const auto heard = withDeviceMacs(heardRows);
    HeardByMac heardByMac;
    std::unordered_set<std::string> heardAddresses;
    for (const auto& row : heard) {
        const auto address = text::toUtf8(row.address);
        heardAddresses.insert(address);
        if (!row.mac.empty()) heardByMac.emplace(text::toUtf8(row.mac), &row);
        for (const auto& other : row.conflictMacs) heardByMac.emplace(text::toUtf8(other), &row);
    }
    std::unordered_map<std::string, const KnownDevice*> knownByMac;
    for (const auto& k : known)
        if (!k.mac.empty()) knownByMac.emplace(k.mac, &k);
    auto withHistory = [&](DeviceStatus& s) {
        const auto k = knownByMac.find(s.mac);
        if (k == knownByMac.end()) return;
        s.version = k->second->version;
        s.firmwareChanged = !k->second->version.empty() && !k->second->previousVersion.empty() &&
                            k->second->version != k->second->previousVersion;
        s.lastAddress = k->second->address;
        if (s.type == 0) s.type = k->second->type;
        if (s.name.empty()) s.name = k->second->name;
    };

    std::vector<DeviceStatus> out;
    out.reserve(plan.size() + heard.size());
    std::unordered_set<std::string> planned;
    for (const auto& p : plan) {
        planned.insert(p.mac);
        DeviceStatus s = plannedStatus(p, heardByMac);
        withHistory(s);
        out.push_back(std::move(s));
    }
    std::unordered_set<std::string> listed;
    for (const auto& row : heard) {
        std::vector<std::string> macs{text::toUtf8(row.mac)};
        for (const auto& m : row.conflictMacs)
            if (m != row.mac) macs.push_back(text::toUtf8(m));
        for (const auto& mac : macs) {
            if (planned.contains(mac) || (!mac.empty() && !listed.insert(mac).second)) continue;
            DeviceStatus s;
            s.mac = mac;
            s.address = text::toUtf8(row.address);
            s.name = text::toUtf8(row.name);
            s.type = row.type;
            withHistory(s);
            out.push_back(std::move(s));
        }
    }
    for (const auto& k : known) {
        const bool answering =
            k.mac.empty() ? heardAddresses.contains(k.address) : heardByMac.contains(k.mac);
        if (answering || planned.contains(k.mac)) continue;
        DeviceStatus s;
        s.state = DeviceStatus::State::Missing;
        s.mac = k.mac;
        s.name = k.name;
        s.type = k.type;
        s.lastAddress = k.address;
        withHistory(s);
        out.push_back(std::move(s));
    }
    return out;
}

std::u16string stateText(DeviceStatus::State state) {
    switch (state) {
        case DeviceStatus::State::InPlace:
            return text::tr(text::msg::kSiteInPlace);
        case DeviceStatus::State::Elsewhere:
            return text::tr(text::msg::kSiteElsewhere);
        case DeviceStatus::State::New:
            return text::tr(text::msg::kSiteNew);
        case DeviceStatus::State::Missing:
            return text::tr(text::msg::kSiteMissing);
    }
    return {};
}

const char* stateKey(DeviceStatus::State state) {
    switch (state) {
        case DeviceStatus::State::InPlace:
            return "in-place";
        case DeviceStatus::State::Elsewhere:
            return "elsewhere";
        case DeviceStatus::State::New:
            return "new";
        case DeviceStatus::State::Missing:
            return "missing";
    }
    return "";
}

}  // namespace tarvo::site

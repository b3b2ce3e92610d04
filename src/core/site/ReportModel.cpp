#include "core/site/ReportModel.h"

#include <algorithm>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "core/discovery/DeviceTypes.h"
#include "core/site/MacText.h"
#include "core/site/VerifyFigures.h"
#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

std::string words(std::u16string_view text) {
    return text::toUtf8(text::tr(text));
}

std::string words(std::u16string_view format, std::initializer_list<std::string> values) {
    std::vector<std::u16string> wide;
    for (const auto& v : values) wide.push_back(text::fromUtf8(v));
    // formatText takes up to nine values in an initializer list: spread them by hand.
    static const std::u16string none;
    auto at = [&](std::size_t i) -> const std::u16string& {
        return i < wide.size() ? wide[i] : none;
    };
    return text::toUtf8(
        text::formatText(text::tr(format), {at(0), at(1), at(2), at(3), at(4), at(5)}));
}

std::string count(int n) {
    return std::to_string(n);
}

// Devices are joined by MAC; one without (or with the all-zero MAC that older sites recorded
// for loopback devices' actions) by its address.
std::string keyOf(const std::string& mac, const std::string& address) {
    return mac.empty() || !parseMac(mac) ? "@" + address : mac;
}

// What the action log says of each device: its last verification, its last successful upgrade,
// and the last version an action read or wrote.
struct History {
    std::unordered_map<std::string, const ActionRecord*> verify, upgrade, version;

    explicit History(const std::vector<ActionRecord>& actions) {
        for (const auto& a : actions) {
            const std::string key = keyOf(a.mac, a.address);
            if (a.kind == "verify") verify[key] = &a;
            if (a.kind == "upgrade" && a.outcome == "ok") upgrade[key] = &a;
            if ((a.kind == "verify" || a.kind == "upgrade") && a.outcome == "ok" &&
                !a.newValue.empty())
                version[key] = &a;
        }
    }
    template <typename Map>
    static const ActionRecord* find(const Map& map, const std::string& key) {
        const auto at = map.find(key);
        return at == map.end() ? nullptr : at->second;
    }
};

// Whether the verification `v` was made on another firmware than the device runs now.
void judgeVerification(ReportDevice& d, const ActionRecord* upgrade) {
    if (!d.verification) return;
    const auto& v = *d.verification;
    // The log is in the order things happened: an upgrade recorded after the verification
    // began replaced the firmware it was made on.
    if (upgrade != nullptr && upgrade->id > v.id) {
        d.verificationOutdated = true;
        d.upgradeAfter = *upgrade;
        return;
    }
    // A version read since (by a search or another tool) that is not the verified one.
    d.verificationOutdated = !v.newValue.empty() && !d.firmware.empty() && v.newValue != d.firmware;
}

}  // namespace

std::string reportDate(std::int64_t seconds) {
    if (seconds <= 0) return "-";
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return "-";
    char buffer[32];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
    return std::string(buffer, n);
}

ReportModel::ReportModel(const SiteFile& site, std::int64_t madeAt)
    : madeAt_(madeAt), name_(site.name()), createdAt_(site.createdAt()) {
    actions_ = site.actionsWithoutSnapshots();
    join(site);
    summarise();
}

void ReportModel::join(const SiteFile& site) {
    const auto plan = site.plan();
    const auto known = site.knownDevices();
    const History history(actions_);
    std::unordered_map<std::string, const KnownDevice*> knownByMac;
    std::int64_t lastSearch = 0;
    for (const auto& k : known) {
        if (!k.mac.empty()) knownByMac.emplace(k.mac, &k);
        lastSearch = std::max(lastSearch, k.lastSeen);
    }
    const std::int64_t visit = lastSearch - kVisitSeconds;

    auto complete = [&](ReportDevice& d, const KnownDevice* k) {
        if (k != nullptr) {
            if (d.address.empty() || !k->address.empty()) d.address = k->address;
            if (d.name.empty()) d.name = k->name;
            d.type = k->type;
            d.firmware = k->version;
            d.lastSeen = k->lastSeen;
        }
        const bool heard = k != nullptr && k->lastSeen > 0 && k->lastSeen >= visit;
        using State = DeviceStatus::State;
        if (d.plannedAddress.empty())
            d.state = heard ? State::New : State::Missing;
        else if (!heard)
            d.state = State::Missing;
        else
            d.state = d.address == d.plannedAddress ? State::InPlace : State::Elsewhere;
        const std::string key = keyOf(d.mac, d.address);
        if (const auto* v = History::find(history.verify, key)) d.verification = *v;
        const auto* upgrade = History::find(history.upgrade, key);
        d.upgraded = upgrade != nullptr;
        // What an action read or wrote since the last search knew it is newer.
        if (const auto* v = History::find(history.version, key);
            v != nullptr && (d.firmware.empty() || v->finished >= d.lastSeen))
            d.firmware = v->newValue;
        judgeVerification(d, upgrade);
        devices_.push_back(std::move(d));
    };
    std::unordered_set<std::string> planned;
    for (const auto& p : plan) {
        planned.insert(p.mac);
        ReportDevice d;
        d.mac = p.mac;
        d.plannedAddress = p.address;
        d.name = p.name;
        d.location = p.location;
        d.note = p.note;
        const auto k = knownByMac.find(p.mac);
        complete(d, k == knownByMac.end() ? nullptr : k->second);
    }
    for (const auto& k : known) {
        if (!k.mac.empty() && planned.contains(k.mac)) continue;
        ReportDevice d;
        d.mac = k.mac;
        complete(d, &k);
    }
}

void ReportModel::summarise() {
    ReportSummary& s = summary_;
    using State = DeviceStatus::State;
    for (const auto& d : devices_) {
        if (!d.plannedAddress.empty()) ++s.planned;
        s.inPlace += d.state == State::InPlace ? 1 : 0;
        s.elsewhere += d.state == State::Elsewhere ? 1 : 0;
        s.missing += d.state == State::Missing && !d.plannedAddress.empty() ? 1 : 0;
        s.notPlanned += d.plannedAddress.empty() ? 1 : 0;
        const std::string outcome = d.verification ? d.verification->outcome : "";
        s.passed += outcome == "ok" ? 1 : 0;
        s.failed += outcome == "failed" ? 1 : 0;
        s.notVerified += outcome != "ok" && outcome != "failed" ? 1 : 0;
        s.outdated += d.verificationOutdated ? 1 : 0;
        s.upgraded += d.upgraded ? 1 : 0;
    }
    for (const auto& a : actions_) {
        ++s.actions;
        s.actionsOk += a.outcome == "ok" ? 1 : 0;
        s.actionsFailed += a.outcome == "failed" ? 1 : 0;
        s.actionsPending += a.outcome != "ok" && a.outcome != "failed" ? 1 : 0;
    }
}

std::vector<std::string> ReportModel::summaryLines() const {
    const ReportSummary& s = summary_;
    return {
        words(text::msg::kReportSummaryPlanFormat,
              {count(s.planned), count(s.inPlace), count(s.elsewhere), count(s.missing),
               count(s.notPlanned)}),
        words(text::msg::kReportSummaryVerifyFormat,
              {count(s.passed), count(s.failed), count(s.notVerified), count(s.outdated)}),
        words(text::msg::kReportSummaryUpgradedFormat, {count(s.upgraded)}),
        words(text::msg::kReportTotalActionsFormat,
              {count(s.actions), count(s.actionsOk), count(s.actionsFailed),
               count(s.actionsPending)}),
    };
}

namespace {

std::vector<std::string> figureWords(const VerifyFigures& f) {
    auto whole = [](double v) { return figureText(v, 0); };
    std::vector<std::string> out;
    if (f.connectMs) out.push_back(words(text::msg::kReportConnectFormat, {whole(*f.connectMs)}));
    if (f.loginMs) out.push_back(words(text::msg::kReportLoginFormat, {whole(*f.loginMs)}));
    if (f.firstKeyMs)
        out.push_back(words(text::msg::kReportFirstKeyFormat, {whole(*f.firstKeyMs)}));
    if (f.fps) out.push_back(words(text::msg::kReportFpsFormat, {figureText(*f.fps, 1)}));
    if (f.kbps) out.push_back(words(text::msg::kReportKbpsFormat, {whole(*f.kbps)}));
    if (f.width && f.height)
        out.push_back(words(text::msg::kReportSizeFormat, {whole(*f.width), whole(*f.height)}));
    if (f.seconds)
        out.push_back(words(text::msg::kReportSecondsFormat, {figureText(*f.seconds, 1)}));
    return out;
}

std::string outdatedWords(const ReportDevice& d) {
    const auto& v = *d.verification;
    const std::string verifiedOn = v.newValue.empty() ? "-" : v.newValue;
    if (d.upgradeAfter) {
        const auto& u = *d.upgradeAfter;
        return words(text::msg::kReportOutdatedUpgradeFormat,
                     {verifiedOn, reportDate(u.finished != 0 ? u.finished : u.started),
                      u.newValue.empty() ? "-" : u.newValue});
    }
    return words(text::msg::kReportOutdatedVersionFormat, {verifiedOn, d.firmware});
}

}  // namespace

DeviceWords ReportModel::wordsOf(const ReportDevice& d) {
    DeviceWords w;
    w.where = d.mac.empty() ? words(text::msg::kSiteNoMac) : d.mac;
    w.state = text::toUtf8(stateText(d.state));
    // Only the missing were not heard during the last visit: when they were, is worth saying.
    if (d.state == DeviceStatus::State::Missing) {
        w.seen = d.lastSeen > 0 ? words(text::msg::kReportLastSeenFormat, {reportDate(d.lastSeen)})
                                : words(text::msg::kReportNeverSeen);
    }
    if (!d.plannedAddress.empty() && d.plannedAddress != d.address && !d.address.empty())
        w.planned = words(text::msg::kReportPlannedFormat, {d.plannedAddress});
    w.type = d.type != 0 ? words(discovery::typeLabel(d.type)) : "-";
    if (!d.verification) {
        w.outcome = words(text::msg::kReportNotVerified);
        return w;
    }
    const auto& v = *d.verification;
    w.passed = v.outcome == "ok";
    w.failed = v.outcome == "failed";
    w.outcome = words(w.passed   ? text::msg::kVerifyPassed
                      : w.failed ? text::msg::kVerifyFailed
                                 : text::msg::kReportPending);
    w.verifiedAt = words(text::msg::kReportVerifiedAtFormat,
                         {reportDate(v.finished != 0 ? v.finished : v.started)});
    if (d.verificationOutdated) {
        w.outdated = words(text::msg::kReportOutdated);
        w.outdatedWhy = outdatedWords(d);
    }
    w.detail = text::toUtf8(text::showStored(v.detail));
    const auto figures = VerifyFigures::parse(v.figures);
    w.figures = figureWords(figures);
    for (const auto& picture : figures.pictureTexts())
        w.pictureFigures.push_back(text::toUtf8(picture));
    return w;
}

}  // namespace tarvo::site

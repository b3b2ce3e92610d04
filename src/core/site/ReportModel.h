#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/site/SiteFile.h"
#include "core/site/SiteStatus.h"

namespace tarvo::site {

// One device as the report shows it: the plan's and the searches' knowledge joined by MAC.
struct ReportDevice {
    std::string mac;  // empty: known only by its address
    std::string address, plannedAddress, name, location, note;
    int type = 0;
    std::string firmware;  // the version the site knows it runs now
    // Where the site last heard it, against the plan (see ReportModel).
    DeviceStatus::State state = DeviceStatus::State::New;
    std::int64_t lastSeen = 0;                 // 0: never heard
    std::optional<ActionRecord> verification;  // the last one, without its snapshot
    // The verification was made on a firmware the device no longer runs: a successful upgrade
    // came after it (`upgradeAfter`), or the version read since differs from the one recorded
    // with the verification.
    bool verificationOutdated = false;
    std::optional<ActionRecord> upgradeAfter;
    bool upgraded = false;  // a successful upgrade on record
};

// The figures at the top of the report.
struct ReportSummary {
    int planned = 0, inPlace = 0, elsewhere = 0, missing = 0, notPlanned = 0;
    int passed = 0, failed = 0, notVerified = 0, outdated = 0;
    int upgraded = 0;
    int actions = 0, actionsOk = 0, actionsFailed = 0, actionsPending = 0;
};

// A device's facts in words of the language shown (plain UTF-8, not yet escaped for any format).
struct DeviceWords {
    std::string where;    // MAC (or that it is not known)
    std::string state;    // site state
    std::string seen;     // when a missing device answered last (or that it never did)
    std::string planned;  // its planned address when it answers at another
    std::string type;
    std::string outcome;  // passed, failed, not finished, not verified
    bool passed = false, failed = false;
    std::string verifiedAt, detail;
    // That the verification is older than the firmware (short), and how (the versions).
    std::string outdated, outdatedWhy;
    std::vector<std::string> figures;  // each measured figure of the exchange and stream, short
    std::vector<std::string> pictureFigures;  // the last picture's figures, short
};

// What the report shows of a site, read once without its pictures: its devices (the plan in its
// order, then the devices the searches found beyond it), their state as the site last heard
// them, their last verification and whether it is older than their firmware, the action log and
// the summary. A device is missing when the site never heard it, or did not hear it during the
// last visit (the kVisitSeconds before the site's last search).
class ReportModel {
public:
    static constexpr std::int64_t kVisitSeconds = 12 * 3600;

    explicit ReportModel(const SiteFile& site, std::int64_t madeAt = SiteFile::now());

    [[nodiscard]] const std::string& siteName() const { return name_; }
    [[nodiscard]] std::int64_t madeAt() const { return madeAt_; }
    [[nodiscard]] std::int64_t createdAt() const { return createdAt_; }
    [[nodiscard]] const std::vector<ReportDevice>& devices() const { return devices_; }
    [[nodiscard]] const std::vector<ActionRecord>& actions() const { return actions_; }
    [[nodiscard]] const ReportSummary& summary() const { return summary_; }

    // A device's facts in words.
    [[nodiscard]] static DeviceWords wordsOf(const ReportDevice& device);
    // The summary in words, one line each.
    [[nodiscard]] std::vector<std::string> summaryLines() const;

private:
    void join(const SiteFile& site);
    void summarise();

    std::int64_t madeAt_;
    std::string name_;
    std::int64_t createdAt_ = 0;
    std::vector<ReportDevice> devices_;
    std::vector<ActionRecord> actions_;
    ReportSummary summary_;
};

// A time as the report shows it ("-" for none).
std::string reportDate(std::int64_t seconds);

}  // namespace tarvo::site

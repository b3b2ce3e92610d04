#pragma once

#include <string>
#include <vector>

#include "core/site/PlanReview.h"
#include "core/site/SiteFile.h"

namespace tarvo::text {
class Notifier;
}

namespace tarvo::site {

struct ApplyOptions {
    std::u16string user = u"admin";
    std::u16string password;
    double searchSeconds = 3.0;
    bool dryRun = false;
};

// How one step of the plan went.
struct ApplyResult {
    PlanStep step;
    enum class Outcome { Planned, InPlace, Moved, Refused, NotFound, NotMoved, NotSent };
    Outcome outcome = Outcome::NotSent;
    std::u16string detail;
    [[nodiscard]] bool failed() const {
        return outcome != Outcome::Planned && outcome != Outcome::InPlace &&
               outcome != Outcome::Moved;
    }
    [[nodiscard]] std::u16string text() const;
};

struct ApplyReport {
    PlanReview review;
    std::vector<ApplyResult> results;  // one a plan row, in the plan's order
    bool sent = false;                 // whether any frame went to a device
};

// Carries out the site's plan: a search (recorded in the site), the whole plan checked against
// it, and only when every row can be carried out (and not a dry run) each device moved through the
// network settings sequence, one after another, each move recorded as an action before its first
// frame and finished with its outcome, then confirmed by a search (same MAC at the new address).
// Blocking; front ends call it off their UI thread.
ApplyReport applyPlan(SiteFile& site, const ApplyOptions& options, text::Notifier& notifier);

}  // namespace tarvo::site

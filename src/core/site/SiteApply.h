#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/site/PlanReview.h"
#include "core/site/SiteFile.h"

namespace tarvo::text {
class Notifier;
}

namespace tarvo::site {

struct ApplyResult;

struct ApplyOptions {
    std::u16string user = u"admin";
    std::u16string password;
    double searchSeconds = 3.0;
    bool dryRun = false;
    // Told each row's result (its index in the plan's order) as soon as it is known, on the
    // applying thread: the review's verdict first, then each device as it is written and
    // confirmed.
    std::function<void(std::size_t, const ApplyResult&)> onResult;
};

// How one step of the plan went.
struct ApplyResult {
    PlanStep step;
    // Written: the device took its new parameters and waits for the confirming search.
    enum class Outcome { Planned, InPlace, Moved, Refused, NotFound, NotMoved, NotSent, Written };
    Outcome outcome = Outcome::NotSent;
    std::u16string detail;
    [[nodiscard]] bool failed() const {
        return outcome != Outcome::Planned && outcome != Outcome::InPlace &&
               outcome != Outcome::Moved && outcome != Outcome::Written;
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

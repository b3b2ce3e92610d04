#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/ops/forms/AddressAssignment.h"
#include "core/site/PlanReview.h"
#include "core/site/SiteFile.h"

namespace tarvo::text {
class Notifier;
}

namespace tarvo::site {

// How one row of the plan went: its line, its device's MAC, old and new address and result.
using ApplyResult = ops::AddressAssignment;

struct ApplyOptions {
    std::u16string user = u"admin";
    std::u16string password;
    double searchSeconds = 3.0;
    bool dryRun = false;
    // All or nothing: a device missing today or one that takes no addresses holds back the rest.
    bool strict = false;
    // Devices written at a time.
    std::size_t parallel = 8;
    // Told each row's result (its index in the plan's order) as soon as it is known: the
    // review's verdict first, then each device as it is written and confirmed. Calls come from
    // the applying thread or one of its writers, never two at once.
    std::function<void(std::size_t, const ApplyResult&)> onResult;
};

struct ApplyReport {
    PlanReview review;
    std::vector<ApplyResult> results;  // one a plan row, in the plan's order
    bool sent = false;                 // whether any frame went to a device

    // Planned devices not in place afterwards (missing, left alone, refused, not moved).
    [[nodiscard]] std::size_t notApplied() const;
};

// Carries out the site's plan: a search (recorded in the site), the whole plan checked against
// it, and only when the plan has no error (and it is not a dry run) the devices that answered
// moved through the network settings sequence, several at a time; each move recorded as an
// action before its first frame and finished with its outcome (a reason key), then all
// confirmed together by searches (same MAC at the new address). Devices absent today and those
// that take no addresses are left for a later apply, unless `strict`. Blocking; front ends call
// it off their UI thread.
ApplyReport applyPlan(SiteFile& site, const ApplyOptions& options, text::Notifier& notifier);

}  // namespace tarvo::site

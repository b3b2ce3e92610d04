#include "core/site/SiteApply.h"

#include <algorithm>
#include <optional>

#include "core/ops/forms/AddressBatch.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"

namespace tarvo::site {

namespace {

using Result = ApplyResult::Result;

std::optional<std::string> given(const std::string& value) {
    return value.empty() ? std::nullopt : std::optional<std::string>(value);
}

ApplyResult resultOf(const PlanStep& step) {
    ApplyResult r;
    r.line = step.row.line;
    r.mac = text::fromUtf8(step.row.mac);
    r.oldAddress = step.fromAddress;
    r.newAddress = step.row.address;
    r.type = step.type;
    r.searchOnly = step.searchOnly;
    switch (step.kind) {
        case PlanStep::Kind::Move:
            r.result = Result::Planned;
            break;
        case PlanStep::Kind::InPlace:
            r.result = Result::InPlace;
            break;
        case PlanStep::Kind::Missing:
            r.result = Result::NotFound;
            break;
        case PlanStep::Kind::NotMovable:
            r.result = Result::NotCamera;
            break;
    }
    return r;
}

}  // namespace

std::size_t ApplyReport::notApplied() const {
    return static_cast<std::size_t>(std::count_if(
        results.begin(), results.end(),
        [](const auto& r) { return r.result != Result::InPlace && r.result != Result::Moved; }));
}

ApplyReport applyPlan(SiteFile& site, const ApplyOptions& options, text::Notifier& notifier) {
    ApplyReport report;
    ops::AddressBatch batch(notifier);
    const auto heard = batch.search(options.searchSeconds);
    site.recordSearch(heard, SiteFile::now());
    report.review = reviewPlan(site.plan(), heard, batch.interfaces(), options.strict);
    std::vector<ops::AddressBatchEntry> entries;
    for (const auto& step : report.review.steps) {
        report.results.push_back(resultOf(step));
        entries.push_back({options.user, options.password, given(step.row.mask),
                           given(step.row.gateway), given(step.row.dns)});
    }
    // A plan with errors moves nobody: no row may read as planned then.
    if (!report.review.canApply()) {
        for (auto& r : report.results)
            if (r.result == Result::Planned) r.result = Result::NotSent;
    }
    const auto tell = [&](std::size_t i) {
        if (options.onResult) options.onResult(i, report.results[i]);
    };
    for (std::size_t i = 0; i < report.results.size(); ++i) tell(i);
    if (!report.review.canApply() || options.dryRun) return report;

    // Every move's action is on file before its first frame; each is finished as it ends.
    std::vector<std::int64_t> actions(report.results.size(), 0);
    for (std::size_t i = 0; i < report.results.size(); ++i) {
        const auto& r = report.results[i];
        if (r.result != Result::Planned) continue;
        ActionRecord action;
        action.mac = report.review.steps[i].row.mac;
        action.address = r.oldAddress;
        action.kind = "address";
        action.started = SiteFile::now();
        action.oldValue = r.oldAddress;
        action.newValue = r.newAddress;
        actions[i] = site.beginAction(action);
    }
    if (std::none_of(actions.begin(), actions.end(), [](auto id) { return id != 0; }))
        return report;
    // The batch tells one write at a time: the site's connection is used by one thread at once.
    batch.write(report.results, entries, options.searchSeconds, options.parallel,
                [&](std::size_t i) {
                    const auto& r = report.results[i];
                    // A device not found in the settled search got no frame.
                    report.sent = report.sent || r.result != Result::NotFound;
                    if (r.result != Result::Written) {
                        site.finishAction(actions[i], "failed", text::encodeReason(r.reason()),
                                          SiteFile::now());
                    }
                    tell(i);
                });
    batch.confirm(report.results, options.searchSeconds);
    site.recordSearch(batch.lastSearch(), SiteFile::now());
    for (std::size_t i = 0; i < report.results.size(); ++i) {
        const auto& r = report.results[i];
        if (r.result != Result::Moved && r.result != Result::NotMoved) continue;
        const bool moved = r.result == Result::Moved;
        site.finishAction(actions[i], moved ? "ok" : "failed",
                          moved ? "" : text::encodeReason(r.reason()), SiteFile::now());
        tell(i);
    }
    return report;
}

}  // namespace tarvo::site

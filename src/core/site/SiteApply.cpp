#include "core/site/SiteApply.h"

#include <algorithm>

#include "core/ops/forms/AddressBatch.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

using Assignment = ops::AddressAssignment;

std::optional<std::string> given(const std::string& value) {
    return value.empty() ? std::nullopt : std::optional<std::string>(value);
}

}  // namespace

std::u16string ApplyResult::text() const {
    switch (outcome) {
        case Outcome::Planned:
            return text::tr(text::msg::kAssignPlanned);
        case Outcome::InPlace:
            return text::tr(text::msg::kSiteInPlace);
        case Outcome::Moved:
            return text::tr(text::msg::kAssignMoved);
        case Outcome::Refused:
            return text::tr(text::msg::kAssignRefused) + (detail.empty() ? u"" : u": " + detail);
        case Outcome::NotFound:
            return text::tr(text::msg::kAssignNotFound);
        case Outcome::NotMoved:
            return text::tr(text::msg::kAssignNotMoved);
        case Outcome::NotSent:
            return detail;
        case Outcome::Written:
            return text::tr(text::msg::kSiteApplyWritten);
    }
    return {};
}

ApplyReport applyPlan(SiteFile& site, const ApplyOptions& options, text::Notifier& notifier) {
    ApplyReport report;
    ops::AddressBatch batch(notifier);
    const auto heard = batch.search(options.searchSeconds);
    site.recordSearch(heard, SiteFile::now());
    report.review = reviewPlan(site.plan(), heard, batch.interfaces());
    for (const auto& step : report.review.steps) {
        ApplyResult r;
        r.step = step;
        r.outcome = step.kind == PlanStep::Kind::InPlace ? ApplyResult::Outcome::InPlace
                    : step.kind == PlanStep::Kind::Move  ? ApplyResult::Outcome::Planned
                                                         : ApplyResult::Outcome::NotFound;
        report.results.push_back(std::move(r));
    }
    const auto tell = [&](const ApplyResult& r) {
        if (options.onResult)
            options.onResult(static_cast<std::size_t>(&r - report.results.data()), r);
    };
    for (const auto& r : report.results) tell(r);
    if (!report.review.canApply() || options.dryRun) return report;

    // Every move's action is on file before its first frame; each is finished as it ends.
    std::vector<Assignment> written;
    std::vector<std::pair<ApplyResult*, std::int64_t>> pending;
    for (auto& r : report.results) {
        if (r.outcome != ApplyResult::Outcome::Planned) continue;
        ActionRecord action;
        action.mac = r.step.row.mac;
        action.address = r.step.fromAddress;
        action.kind = "address";
        action.started = SiteFile::now();
        action.oldValue = r.step.fromAddress;
        action.newValue = r.step.row.address;
        const auto id = site.beginAction(action);
        Assignment a;
        a.oldAddress = r.step.fromAddress;
        a.mac = text::fromUtf8(r.step.row.mac);
        a.type = r.step.type;
        a.newAddress = r.step.row.address;
        a.result = Assignment::Result::Planned;
        const ops::AddressBatchEntry entry{options.user, options.password, given(r.step.row.mask),
                                           given(r.step.row.gateway), given(r.step.row.dns)};
        batch.write(a, entry, options.searchSeconds);
        report.sent = true;
        if (a.result == Assignment::Result::Written) {
            written.push_back(a);
            pending.emplace_back(&r, id);
            r.outcome = ApplyResult::Outcome::Written;
            tell(r);
            continue;
        }
        r.outcome = a.result == Assignment::Result::NotFound ? ApplyResult::Outcome::NotFound
                                                             : ApplyResult::Outcome::Refused;
        r.detail = a.detail;
        site.finishAction(id, "failed", text::toUtf8(r.text()), SiteFile::now());
        tell(r);
    }
    if (written.empty()) return report;
    batch.confirm(written, options.searchSeconds);
    site.recordSearch(batch.lastSearch(), SiteFile::now());
    for (std::size_t i = 0; i < written.size(); ++i) {
        auto& [r, id] = pending[i];
        const bool moved = written[i].result == Assignment::Result::Moved;
        r->outcome = moved ? ApplyResult::Outcome::Moved : ApplyResult::Outcome::NotMoved;
        site.finishAction(id, moved ? "ok" : "failed", moved ? "" : text::toUtf8(r->text()),
                          SiteFile::now());
        tell(*r);
    }
    return report;
}

}  // namespace tarvo::site

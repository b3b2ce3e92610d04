#include "core/site/PlanReview.h"

#include <algorithm>
#include <unordered_map>

#include "core/ops/presenter/DeviceCapabilities.h"
#include "core/site/MacText.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

std::u16string joined(const std::vector<std::u16string>& parts) {
    std::u16string out;
    for (const auto& p : parts) out += (out.empty() ? u"" : u", ") + p;
    return out;
}

}  // namespace

PlanReview reviewPlan(const std::vector<PlanRow>& plan,
                      const std::vector<discovery::DeviceRow>& heardRows,
                      const std::vector<net::LocalInterface>& interfaces) {
    const auto heard = withDeviceMacs(heardRows);
    PlanReview review;
    // Every row a MAC answered from (a conflict's other MACs included) and who holds each address.
    std::unordered_map<std::u16string, std::vector<const discovery::DeviceRow*>> byMac;
    std::unordered_map<std::u16string, const discovery::DeviceRow*> byAddress;
    for (const auto& row : heard) {
        byAddress.emplace(row.address, &row);
        if (!row.mac.empty()) byMac[row.mac].push_back(&row);
        for (const auto& other : row.conflictMacs)
            if (other != row.mac) byMac[other].push_back(&row);
    }
    std::unordered_map<std::u16string, bool> planned;
    for (const auto& row : plan) planned.emplace(text::fromUtf8(row.mac), true);

    for (const auto& row : plan) {
        auto problem = [&](std::u16string_view format, std::initializer_list<std::u16string> v) {
            review.problems.push_back({row.line, text::formatText(text::tr(format), v)});
        };
        const auto mac = text::fromUtf8(row.mac);
        const auto address = text::fromUtf8(row.address);
        PlanStep step;
        step.row = row;
        const auto found = byMac.find(mac);
        if (found == byMac.end()) {
            problem(text::msg::kPlanDeviceMissing, {mac});
            review.steps.push_back(std::move(step));
            continue;
        }
        const auto& rows = found->second;
        const discovery::DeviceRow& at = *rows.front();
        step.fromAddress = text::toUtf8(at.address);
        step.type = at.type;
        step.kind = at.address == address ? PlanStep::Kind::InPlace : PlanStep::Kind::Move;
        if (rows.size() > 1) {
            std::vector<std::u16string> addresses;
            addresses.reserve(rows.size());
            for (const auto* r : rows) addresses.push_back(r->address);
            problem(text::msg::kPlanMacTwice, {mac, joined(addresses)});
        } else if (at.conflictMacs.size() > 1) {
            problem(text::msg::kPlanConflict, {at.address, joined(at.conflictMacs)});
        }
        if (step.kind == PlanStep::Kind::Move) {
            if (!ops::allows(at.type, ops::Operation::NetworkSettings))
                problem(text::msg::kAssignNotCamera, {});
            const auto holder = byAddress.find(address);
            if (holder != byAddress.end() && holder->second->mac != mac)
                problem(text::msg::kPlanAddressTaken,
                        {address, holder->second->mac.empty() ? u"?" : holder->second->mac});
            std::uint32_t target = 0;
            net::parseIPv4(row.address, target);
            const bool reachable =
                interfaces.empty() ||
                std::any_of(interfaces.begin(), interfaces.end(), [&](const auto& iface) {
                    return std::find(at.heardOn.begin(), at.heardOn.end(), iface.address) !=
                               at.heardOn.end() &&
                           net::sameSubnet(target, iface.address, iface.netmask);
                });
            if (!reachable) problem(text::msg::kPlanOtherLink, {address});
        }
        review.steps.push_back(std::move(step));
    }
    for (const auto& row : heard) {
        if (row.mac.empty() || !planned.contains(row.mac)) review.unplanned.push_back(row);
    }
    return review;
}

}  // namespace tarvo::site

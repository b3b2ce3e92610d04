#include "core/site/PlanReview.h"

#include <arpa/inet.h>

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "core/discovery/DeviceCapabilities.h"
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

// Why no device can take `row`'s address, or nothing: not a unicast host address, or one of the
// computer's own.
std::optional<std::u16string> unusableAddress(const PlanRow& row,
                                              const std::vector<net::LocalInterface>& interfaces) {
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    const auto shown = text::fromUtf8(row.address);
    if (!net::parseIPv4(row.address, address))
        return text::formatText(text::tr(text::msg::kPlanBadAddress), {shown});
    const std::uint32_t host = ntohl(address);
    const std::uint32_t first = host >> 24;
    // 0.x, loopback, multicast and the reserved 240.x to 255.255.255.255.
    if (first == 0 || first == 127 || first >= 224)
        return text::formatText(text::tr(text::msg::kPlanAddressNotUnicast), {shown});
    if (!row.mask.empty() && net::parseIPv4(row.mask, mask)) {
        const std::uint32_t hostBits = ~ntohl(mask);
        if (hostBits >= 3 && ((host & hostBits) == 0 || (host & hostBits) == hostBits))
            return text::formatText(text::tr(text::msg::kPlanAddressNotHost),
                                    {shown, text::fromUtf8(row.mask)});
    }
    for (const auto& iface : interfaces) {
        if (iface.address == address)
            return text::formatText(text::tr(text::msg::kPlanAddressOwn), {shown});
    }
    return std::nullopt;
}

}  // namespace

bool PlanReview::complete() const {
    return std::all_of(steps.begin(), steps.end(), [](const PlanStep& s) {
        return s.kind == PlanStep::Kind::Move || s.kind == PlanStep::Kind::InPlace;
    });
}

PlanReview reviewPlan(const std::vector<PlanRow>& plan,
                      const std::vector<discovery::DeviceRow>& heardRows,
                      const std::vector<net::LocalInterface>& interfaces, bool strict) {
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
        if (const auto why = unusableAddress(row, interfaces))
            review.problems.push_back({row.line, *why});
        // Also for a device absent today: it would come back to a taken address.
        const auto holder = byAddress.find(address);
        if (holder != byAddress.end() && holder->second->mac != mac)
            problem(text::msg::kPlanAddressTaken,
                    {address, holder->second->mac.empty() ? u"?" : holder->second->mac});
        if (found == byMac.end()) {
            if (strict) problem(text::msg::kPlanDeviceMissing, {mac});
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
            if (!discovery::allows(at.type, discovery::Operation::NetworkSettings)) {
                step.kind = PlanStep::Kind::NotMovable;
                if (strict) problem(text::msg::kAssignNotCamera, {});
            }
        }
        if (step.kind == PlanStep::Kind::Move && !interfaces.empty()) {
            std::uint32_t target = 0;
            net::parseIPv4(row.address, target);
            step.searchOnly =
                std::none_of(interfaces.begin(), interfaces.end(), [&](const auto& iface) {
                    return net::sameSubnet(target, iface.address, iface.netmask);
                });
        }
        review.steps.push_back(std::move(step));
    }
    for (const auto& row : heard) {
        if (row.mac.empty() || !planned.contains(row.mac)) review.unplanned.push_back(row);
    }
    return review;
}

}  // namespace tarvo::site

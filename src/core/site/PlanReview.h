#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/net/NetworkInterfaces.h"
#include "core/site/PlanCsv.h"

namespace tarvo::site {

// What carrying out one plan row means for its device.
struct PlanStep {
    enum class Kind {
        Move,     // answers at another address: gets the planned one
        InPlace,  // answers at the planned address already: nothing to send
        Missing,  // did not answer the search
    };
    PlanRow row;
    Kind kind = Kind::Missing;
    std::string fromAddress;  // where it answered; empty when missing
    int type = 0;
};

// A plan set against the devices that answered: every step, the devices not in the plan, and
// every reason the plan cannot be carried out completely (nothing may be sent while any is
// left).
struct PlanReview {
    std::vector<PlanStep> steps;
    std::vector<discovery::DeviceRow> unplanned;
    std::vector<PlanProblem> problems;

    [[nodiscard]] bool canApply() const { return problems.empty(); }
};

// Checks the whole plan against one search's `heard` rows before anything is sent: each device
// answered, from one address and alone there; may take network settings; its new address is
// not answering from another device; and (when `interfaces` are given) the new address lies in
// the subnet of an interface that heard it, so it can still be reached afterwards. The plan's
// own checks (duplicates, masks, gateways) are readPlanCsv's.
PlanReview reviewPlan(const std::vector<PlanRow>& plan,
                      const std::vector<discovery::DeviceRow>& heard,
                      const std::vector<net::LocalInterface>& interfaces = {});

}  // namespace tarvo::site

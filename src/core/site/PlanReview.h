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
        Move,        // answers at another address: gets the planned one
        InPlace,     // answers at the planned address already: nothing to send
        Missing,     // did not answer the search: left for a later apply
        NotMovable,  // answers elsewhere but takes no network settings (NVR, DVR): left alone
    };
    PlanRow row;
    Kind kind = Kind::Missing;
    std::string fromAddress;  // where it answered; empty when missing
    int type = 0;
    // After the move the computer reaches the device only by search: no interface of the
    // computer is on its new network (preview, verification and the web page need one).
    bool searchOnly = false;
};

// A plan set against the devices that answered: every step, the devices not in the plan, and
// every error of the plan (nothing may be sent while any is left). Devices absent today and
// devices that take no addresses are no error: they are left for a later apply.
struct PlanReview {
    std::vector<PlanStep> steps;
    std::vector<discovery::DeviceRow> unplanned;
    std::vector<PlanProblem> problems;

    [[nodiscard]] bool canApply() const { return problems.empty(); }
    // Whether every step can be carried out today (none missing or left alone).
    [[nodiscard]] bool complete() const;
};

// Checks the whole plan against one search's `heard` rows before anything is sent: each device
// that answered did so from one address and alone there; each new address is a unicast address
// a device can take (not multicast, loopback, 0.x, the subnet's network or broadcast address, nor
// an address of the computer's `interfaces`) and is not answering from another device. The new
// address may lie on any network: the device is heard there by its MAC (searchOnly tells when
// the computer has no interface on it). `strict`: a missing device or one that takes no
// addresses is an error too. The plan's own checks (duplicates, masks, gateways) are
// readPlanCsv's.
PlanReview reviewPlan(const std::vector<PlanRow>& plan,
                      const std::vector<discovery::DeviceRow>& heard,
                      const std::vector<net::LocalInterface>& interfaces = {}, bool strict = false);

}  // namespace tarvo::site

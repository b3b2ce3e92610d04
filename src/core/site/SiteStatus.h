#pragma once

#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/site/PlanCsv.h"
#include "core/site/SiteFile.h"

namespace tarvo::site {

// One device of a site against what answers now.
struct DeviceStatus {
    enum class State {
        InPlace,    // planned, answering at its planned address
        Elsewhere,  // planned, answering at another address
        New,        // answering, not in the plan
        Missing,    // in the plan or seen before, not answering now
    };
    State state = State::New;
    std::string mac;             // empty: a device whose MAC is not known (kept by address)
    std::string address;         // where it answers now; empty when missing
    std::string plannedAddress;  // empty when not planned
    std::string lastAddress;     // where it answered last, for the missing
    std::string name, location;  // the plan's, else the device's own name
    std::string note;            // the plan's
    int type = 0;
    bool firmwareChanged = false;  // its version differs from the one recorded before
    std::string version;
};

// The site's devices against one search: the plan first in its order, then the devices not in
// the plan that answered, then the ones known from earlier searches that did not.
std::vector<DeviceStatus> siteStatus(const std::vector<PlanRow>& plan,
                                     const std::vector<KnownDevice>& known,
                                     const std::vector<discovery::DeviceRow>& heard);

// The state as the user reads it.
std::u16string stateText(DeviceStatus::State state);
// The state's key in machine-readable output ("in-place", "elsewhere", "new", "missing").
const char* stateKey(DeviceStatus::State state);

}  // namespace tarvo::site

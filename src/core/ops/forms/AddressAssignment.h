#pragma once

#include <string>

#include "core/text/Reason.h"

namespace tarvo::ops {

// One device's address move and how it went: a batch's row (net assign, the batch address
// window) and a site plan's row alike.
struct AddressAssignment {
    enum class Result {
        Planned,    // an address is planned; nothing sent yet
        InPlace,    // it answers at the planned address already: nothing to send
        Written,    // the device took the new parameters; not yet seen at its new address
        Moved,      // a search found it at its new address
        NotFound,   // it did not answer the search
        NotCamera,  // NVRs and DVRs have no such settings
        NoAddress,  // the subnet ran out of free addresses
        Refused,    // nothing was written: login, values or a shared target refused it
        NotMoved,   // it took the parameters but was not found at its new address
        NotSent,    // left alone: the batch was to be done completely or not at all
    };
    std::string oldAddress;  // where it answered; empty when it did not
    std::u16string mac;
    int type = 0;
    std::string newAddress;  // empty when none was planned
    int line = 0;            // the plan file's line, 0 outside a plan
    Result result = Result::NotFound;
    text::Reason detail;  // why a device refused, as the refusing step told it
    // The computer reaches the new address only by search (no interface on its network).
    bool searchOnly = false;

    [[nodiscard]] bool failed() const {
        return result != Result::Planned && result != Result::InPlace &&
               result != Result::Written && result != Result::Moved;
    }
    // The result with its detail, as a record keeps it.
    [[nodiscard]] text::Reason reason() const;
    // The result as the user reads it, in the language shown.
    [[nodiscard]] std::u16string resultText() const { return text::show(reason()); }
};

}  // namespace tarvo::ops

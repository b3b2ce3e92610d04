#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/net/NetworkInterfaces.h"

namespace tarvo::discovery {
class DiscoveryEngine;
}
namespace tarvo::net {
class SystemMacResolver;
}

namespace tarvo::text {
class Notifier;
}  // namespace tarvo::text

namespace tarvo::ops {

class EngineSession;

// One device of a batch address change and how it went.
struct AddressAssignment {
    enum class Result {
        Planned,    // an address is planned; nothing sent yet
        Written,    // the device took the new parameters; not yet seen at its new address
        Moved,      // a search found it at its new address
        NotFound,   // it did not answer the search
        NotCamera,  // NVRs and DVRs have no such settings
        OtherLink,  // heard on no interface whose subnet holds the start address
        NoAddress,  // the subnet ran out of free addresses
        Refused,    // nothing was written: login, values or a shared target refused it
        NotMoved,   // it took the parameters but was not found at its new address
    };
    std::string oldAddress;
    std::u16string mac;
    int type = 0;
    std::string newAddress;  // empty when none was planned
    Result result = Result::NotFound;
    std::u16string detail;  // the refusal's message as told (a catalogue text), if any

    [[nodiscard]] bool failed() const {
        return result != Result::Planned && result != Result::Written && result != Result::Moved;
    }
    // The result as the user reads it.
    [[nodiscard]] std::u16string resultText() const;
};

// What a batch writes besides each device's address. Unset values keep the device's own.
struct AddressBatchEntry {
    std::u16string user = u"admin";
    std::u16string password;
    std::optional<std::string> mask, gateway, dns;
};

// Gives many devices addresses one after another, each through the same login, subnet check and
// write as the network settings window, then confirms every move by a new search. Runs its own
// search on every local network; blocking, so front ends call it off their UI thread.
class AddressBatch {
public:
    explicit AddressBatch(text::Notifier& notifier);
    ~AddressBatch();
    AddressBatch(const AddressBatch&) = delete;
    AddressBatch& operator=(const AddressBatch&) = delete;

    // Searches for `seconds`; every device heard. Empty (with a message) when there is no local
    // network to search on.
    std::vector<discovery::DeviceRow> search(double seconds);
    // Assignments for `chosen` from `start` upward in the subnet of `start` and `mask` (dotted,
    // network order), skipping every address of the last search. NVRs and DVRs get none, nor
    // devices the last search did not hear, nor devices heard only on interfaces whose subnet
    // does not hold `start` (another link: the device could not be reached at its new address).
    std::vector<AddressAssignment> plan(const std::vector<discovery::DeviceRow>& chosen,
                                        std::uint32_t start, std::uint32_t mask) const;
    // Writes one planned assignment (searching for the device first, so that the guard against
    // writes that reach several devices sees a settled list). Its result becomes Written, or
    // NotFound or Refused.
    void write(AddressAssignment& assignment, const AddressBatchEntry& entry, double searchSeconds);
    // A search of `seconds`; each Written assignment becomes Moved when its MAC (or, without a
    // MAC, any device) answers at the new address, else NotMoved.
    void confirm(std::vector<AddressAssignment>& assignments, double seconds);
    // The rows of the last search, and the interfaces it ran on.
    [[nodiscard]] const std::vector<discovery::DeviceRow>& lastSearch() const {
        return lastSearch_;
    }
    [[nodiscard]] std::vector<net::LocalInterface> interfaces() const;

private:
    text::Notifier& notifier_;
    discovery::DeviceTable table_;
    std::unique_ptr<net::SystemMacResolver> resolver_;
    std::unique_ptr<discovery::DiscoveryEngine> engine_;
    std::unique_ptr<EngineSession> session_;
    std::vector<discovery::DeviceRow> lastSearch_;
};

}  // namespace tarvo::ops

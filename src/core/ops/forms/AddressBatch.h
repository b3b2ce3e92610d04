#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/AddressAssignment.h"

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

// What a batch writes besides each device's address. Unset values keep the device's own.
struct AddressBatchEntry {
    std::u16string user = u"admin";
    std::u16string password;
    std::optional<std::string> mask, gateway, dns;
};

// Gives many devices addresses, each through the same login, subnet check and write as the
// network settings window, several at a time, then confirms every move by searches. Runs its own
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
    static constexpr std::size_t kDefaultParallel = 8;

    // Assignments for `chosen` from `start` upward in the subnet of `start` and `mask` (dotted,
    // network order), skipping every address of the last search and the computer's own. NVRs and
    // DVRs get none, nor devices the last search did not hear. A device may go to a network the
    // computer is not on: it is heard there by its MAC (searchOnly tells).
    std::vector<AddressAssignment> plan(const std::vector<discovery::DeviceRow>& chosen,
                                        std::uint32_t start, std::uint32_t mask) const;
    // Writes every Planned assignment, `parallel` devices at a time, each with its own entry
    // (`entries` holds one, for all, or one an assignment). One search that settled comes first,
    // so that the guard against writes that reach several devices knows every device a command
    // would reach. Each Planned result becomes Written, NotFound or Refused; `done` is told each
    // one's index as it ends, on the writing thread.
    void write(std::vector<AddressAssignment>& assignments,
               const std::vector<AddressBatchEntry>& entries, double searchSeconds,
               std::size_t parallel = kDefaultParallel,
               const std::function<void(std::size_t)>& done = {});
    // The order of the writes of `chosen` (indices into `assignments`), in waves written one
    // after another: a frame for a device must not reach another device of the batch that has
    // moved already, so a device comes only after every device whose present address has the
    // command target of its new address. Devices that no order allows (two that swap targets)
    // are left out, in `refused`.
    static std::vector<std::vector<std::size_t>> writeWaves(
        const std::vector<AddressAssignment>& assignments, const std::vector<std::size_t>& chosen,
        std::vector<std::size_t>& refused);
    // Searches until every Written assignment's MAC (or, without a MAC, any device) answers at
    // its new address, or `seconds` passed: a search round for all, repeated for those not seen
    // yet. Each becomes Moved, or NotMoved.
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
    std::vector<discovery::DeviceRow> lastSearch_;
};

}  // namespace tarvo::ops

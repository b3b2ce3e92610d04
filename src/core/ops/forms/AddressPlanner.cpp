#include "core/ops/forms/AddressPlanner.h"

namespace tarvo::ops {

std::vector<std::uint32_t> planAddresses(std::uint32_t start, std::uint32_t mask, std::size_t count,
                                         const std::unordered_set<std::uint32_t>& taken) {
    const std::uint32_t network = start & mask;
    const std::uint32_t broadcast = network | ~mask;
    // A /31 or /32 has no network or broadcast address to keep free.
    const bool reserved = (~mask) > 1;
    std::vector<std::uint32_t> planned;
    // 64-bit, so that the walk ends at 255.255.255.255 instead of wrapping round.
    for (std::uint64_t a = start; a <= broadcast && planned.size() < count; ++a) {
        const auto address = static_cast<std::uint32_t>(a);
        if (reserved && (address == network || address == broadcast)) continue;
        if (taken.count(address) == 0) planned.push_back(address);
    }
    return planned;
}

}  // namespace tarvo::ops

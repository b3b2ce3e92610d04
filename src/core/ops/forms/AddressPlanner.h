#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace tarvo::ops {

// New addresses for `count` devices (host order): from `start` upward, skipping the addresses in
// `taken` (those that answered the search) and the subnet's network and broadcast addresses,
// never past the subnet that `start` and `mask` name. Fewer than `count` when the subnet runs
// out; none when `start` itself lies past the subnet's last usable address.
std::vector<std::uint32_t> planAddresses(std::uint32_t start, std::uint32_t mask, std::size_t count,
                                         const std::unordered_set<std::uint32_t>& taken);

}  // namespace tarvo::ops

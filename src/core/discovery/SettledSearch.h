#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/discovery/DiscoveryEngine.h"

namespace tarvo::discovery {

// How long a search listens at least before the device it looked for is taken: other devices
// that a command for that address would reach answer the same request, and are heard too.
inline constexpr int kSettleMs = 1000;

// Starts a search on the engine's open interfaces and waits until `address` is in `table` and
// the search has run kSettleMs (or `seconds`, when that is shorter), or until `seconds` passed.
// The device's row, or nothing when it did not answer in time.
std::optional<DeviceRow> searchUntilSettled(DiscoveryEngine& engine, const DeviceTable& table,
                                            std::u16string_view address, double seconds);
// The same for several devices at once: one search, waited on until every address is listed
// and the search has settled, or until `seconds` passed. One row (or nothing) per address.
std::vector<std::optional<DeviceRow>> searchUntilSettled(
    DiscoveryEngine& engine, const DeviceTable& table, const std::vector<std::u16string>& addresses,
    double seconds);

}  // namespace tarvo::discovery

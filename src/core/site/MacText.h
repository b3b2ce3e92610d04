#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/discovery/DeviceTable.h"

namespace tarvo::site {

// A MAC as labels print it and tools write it: aa:bb:cc:dd:ee:ff, AA-BB-CC-DD-EE-FF (one or two
// digits a group), aabb.ccdd.eeff, aabb-ccdd-eeff and aabbccddeeff, spaces around ignored.
// Returned as the device list shows MACs ("AA:BB:CC:DD:EE:FF"); nothing for anything else, and
// for the all-zero and broadcast MACs, which no device carries.
std::optional<std::string> parseMac(std::string_view text);

// The rows of a search with only the MACs that name a device: the all-zero MAC of a loopback
// frame (and any other that parseMac refuses) is cleared, so the device is kept by its address.
std::vector<discovery::DeviceRow> withDeviceMacs(std::vector<discovery::DeviceRow> rows);

}  // namespace tarvo::site

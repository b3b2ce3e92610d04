#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::site {

// A MAC as labels print it and tools write it: aa:bb:cc:dd:ee:ff, AA-BB-CC-DD-EE-FF (one or two
// digits a group), aabb.ccdd.eeff, aabb-ccdd-eeff and aabbccddeeff, spaces around ignored.
// Returned as the device list shows MACs ("AA:BB:CC:DD:EE:FF"); nothing for anything else, and
// for the all-zero and broadcast MACs, which no device carries.
std::optional<std::string> parseMac(std::string_view text);

}  // namespace tarvo::site

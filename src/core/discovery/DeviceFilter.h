#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/discovery/DeviceTable.h"

namespace tarvo::discovery {

// Which listed devices a batch command or an export takes; an empty filter takes all.
struct DeviceFilter {
    std::optional<int> type;
    std::u16string name;  // a part of the name, in any letter case
    // A subnet (host order): the device's address masked equals `network`.
    std::optional<std::uint32_t> network;
    std::uint32_t mask = 0;
    bool otherSubnetOnly = false;  // only devices outside the subnet that heard them

    [[nodiscard]] bool matches(const DeviceRow& row) const;
    // "10.0.0.0/8" or "192.168.1.0/255.255.255.0" into network and mask; false when not a
    // subnet. The address part is masked, so "192.168.1.7/24" names 192.168.1.0/24.
    bool setSubnet(std::string_view cidr);
};

}  // namespace tarvo::discovery

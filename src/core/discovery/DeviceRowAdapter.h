#pragma once

#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"

namespace tarvo::discovery {

// One listed device by its fields, as the list's cells read.
struct DeviceRow {
    int sequence = 0;
    std::u16string address;
    std::u16string mac;  // empty when no MAC was learned
    std::u16string name;
    std::u16string note;  // the type's label
    int type = 0;
    bool sameNetwork = true;  // false: the device lies outside the subnet that heard it
    std::vector<std::u16string> conflictMacs;
};

// The fields of each stored row.
std::vector<DeviceRow> toDeviceRows(const std::vector<RowTexts>& rows);

}  // namespace tarvo::discovery

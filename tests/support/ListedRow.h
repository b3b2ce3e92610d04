#pragma once

#include <string>
#include <utility>

#include "core/discovery/DeviceTable.h"

namespace tarvo::test {

// A device row as a search lists it, written out cell by cell.
inline discovery::DeviceRow listedRow(int sequence, std::u16string address, std::u16string mac = {},
                                      std::u16string name = {}, std::u16string note = {},
                                      int type = 0) {
    discovery::DeviceRow row;
    row.sequence = sequence;
    row.address = std::move(address);
    row.mac = std::move(mac);
    row.name = std::move(name);
    row.note = std::move(note);
    row.type = type;
    return row;
}

}  // namespace tarvo::test

#include "core/discovery/DeviceRowAdapter.h"

#include <cstdlib>

#include "core/discovery/DiscoveryEngine.h"
#include "core/text/TextConvert.h"

namespace tarvo::discovery {

std::vector<DeviceRow> toDeviceRows(const std::vector<RowTexts>& rows) {
    std::vector<DeviceRow> out;
    out.reserve(rows.size());
    for (const auto& texts : rows) {
        auto cell = [&](int c) {
            return static_cast<std::size_t>(c) < texts.cells.size()
                       ? texts.cells[static_cast<std::size_t>(c)]
                       : std::u16string();
        };
        auto number = [&](int c) {
            return static_cast<int>(std::strtol(text::toUtf8(cell(c)).c_str(), nullptr, 10));
        };
        out.push_back({number(kColSeq), cell(kColAddress), cell(kColMac), cell(kColName),
                       cell(kColNote), number(kColType), texts.sameNetwork, texts.conflictMacs});
    }
    return out;
}

}  // namespace tarvo::discovery

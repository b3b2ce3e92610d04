#include "core/discovery/SettledSearch.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace tarvo::discovery {

std::optional<DeviceRow> searchUntilSettled(DiscoveryEngine& engine, const DeviceTable& table,
                                            std::u16string_view address, double seconds) {
    engine.startSearch();
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    const auto settled = std::min(end, start + std::chrono::milliseconds(kSettleMs));
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        {
            std::lock_guard guard(table.lock());
            const int row = table.findRow(kColAddress, address);
            if (row >= 0 && now >= settled) return table.row(row);
        }
        if (now >= end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace tarvo::discovery

#include "core/discovery/SettledSearch.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace tarvo::discovery {

std::vector<std::optional<DeviceRow>> searchUntilSettled(
    DiscoveryEngine& engine, const DeviceTable& table, const std::vector<std::u16string>& addresses,
    double seconds) {
    engine.startSearch();
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    const auto settled = std::min(end, start + std::chrono::milliseconds(kSettleMs));
    std::vector<std::optional<DeviceRow>> rows(addresses.size());
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        bool all = true;
        {
            std::lock_guard guard(table.lock());
            for (std::size_t i = 0; i < addresses.size(); ++i) {
                const int row = table.findRow(kColAddress, addresses[i]);
                rows[i] = row >= 0 ? std::optional<DeviceRow>(table.row(row)) : std::nullopt;
                all = all && rows[i].has_value();
            }
        }
        if ((all && now >= settled) || now >= end) return rows;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<DeviceRow> searchUntilSettled(DiscoveryEngine& engine, const DeviceTable& table,
                                            std::u16string_view address, double seconds) {
    return searchUntilSettled(engine, table, std::vector<std::u16string>{std::u16string(address)},
                              seconds)
        .front();
}

}  // namespace tarvo::discovery

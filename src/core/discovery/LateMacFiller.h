#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/net/MacResolver.h"

namespace tarvo::discovery {

// Fills the MAC cell of a row listed while nothing knew the device's MAC: one datagram prompts
// the system to resolve the address, and the neighbour table is looked at again for a short
// while, off the receive threads. Bounded in addresses and in time.
class LateMacFiller {
public:
    static constexpr std::size_t kMaxPending = 256;
    static constexpr int kWatchMs = 1500;
    static constexpr int kPollMs = 50;

    LateMacFiller(DeviceTable& table, net::MacResolver& resolver)
        : table_(table), resolver_(resolver) {}
    ~LateMacFiller();
    LateMacFiller(const LateMacFiller&) = delete;
    LateMacFiller& operator=(const LateMacFiller&) = delete;

    // A row for `address` (network order) was just listed with an empty MAC cell. Never waits.
    void watch(std::uint32_t address);

private:
    struct Pending {
        std::uint32_t address;
        std::uint32_t since;
    };
    void run(const std::stop_token& stop);

    DeviceTable& table_;
    net::MacResolver& resolver_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::vector<Pending> pending_;  // guarded by mutex_
    std::jthread thread_;           // started with the first address
};

}  // namespace tarvo::discovery

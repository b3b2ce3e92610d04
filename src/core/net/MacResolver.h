#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/net/NetworkInterfaces.h"

namespace tarvo::net {

// Finds the hardware address of a device on a local network. Injectable for tests.
class MacResolver {
public:
    virtual ~MacResolver() = default;
    // `address` in network byte order. nullopt when the address cannot be resolved.
    virtual std::optional<MacAddress> resolve(std::uint32_t address) = 0;
};

// The system's view: a local address resolves to its interface's MAC; any other to the
// neighbour table entry, after provoking resolution with one datagram to the discard port
// and waiting up to `waitMs` for the entry to complete.
class SystemMacResolver final : public MacResolver {
public:
    explicit SystemMacResolver(int waitMs = 1000) : waitMs_(waitMs) {}
    std::optional<MacAddress> resolve(std::uint32_t address) override;

private:
    // The interface list, read again at most once a second: large sites resolve thousands of
    // addresses in a burst.
    std::vector<LocalInterface> interfaces();

    int waitMs_;
    std::mutex mutex_;
    std::vector<LocalInterface> interfaces_;
    std::uint32_t interfacesTick_ = 0;
    bool haveInterfaces_ = false;
};

std::string formatMac(const MacAddress& mac);

}  // namespace tarvo::net

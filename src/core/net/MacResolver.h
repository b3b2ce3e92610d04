#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/net/NetworkInterfaces.h"
#include "core/net/ReplyFrameTap.h"

namespace tarvo::net {

// Finds the hardware address of a device that answered a search. Nothing here waits for the
// network: a receive thread asks it for every new sender. Injectable for tests.
class MacResolver {
public:
    // The source MAC of one discovery reply's own frame.
    using FrameSink = ReplyFrameTap::FrameSink;

    virtual ~MacResolver() = default;
    // `address` in network byte order: a local address gives its interface's MAC, another the
    // neighbour table's complete entry; nullopt when neither knows it now.
    virtual std::optional<MacAddress> resolve(std::uint32_t address) = 0;
    // Prompts the system to resolve an address of a local subnet (resolve() may know it soon).
    virtual void solicit(std::uint32_t address) { (void)address; }
    // Starts reading the frames of discovery replies that arrive on `iface`. False where no MAC
    // helper reads frames (none found, or it has no CAP_NET_RAW) or for loopback.
    virtual bool watch(const LocalInterface& iface) {
        (void)iface;
        return false;
    }
    // Hands every discovery-reply frame that arrived on interface `index` since the last call
    // to `sink`. A reply's frame is queued before its datagram reaches the UDP socket, so a
    // receive thread that calls this after taking a reply sees that reply's frame.
    virtual void takeFrames(unsigned index, const FrameSink& sink) {
        (void)index;
        (void)sink;
    }
    // The same, for a receive thread that just took a reply from `sender`: where that reply's
    // frame is already at hand it is not waited for.
    virtual void takeFramesFor(unsigned index, std::uint32_t sender, const FrameSink& sink) {
        (void)sender;
        takeFrames(index, sink);
    }
};

// The system's view: own addresses, the neighbour table (SIOCGARP) and, where the MAC helper
// runs, the frames of the replies themselves.
class SystemMacResolver final : public MacResolver {
public:
    SystemMacResolver() = default;
    ~SystemMacResolver() override;
    SystemMacResolver(const SystemMacResolver&) = delete;
    SystemMacResolver& operator=(const SystemMacResolver&) = delete;

    std::optional<MacAddress> resolve(std::uint32_t address) override;
    void solicit(std::uint32_t address) override;
    bool watch(const LocalInterface& iface) override;
    void takeFrames(unsigned index, const FrameSink& sink) override;
    void takeFramesFor(unsigned index, std::uint32_t sender, const FrameSink& sink) override;

private:
    // The interface list, read again at most once a second: large sites resolve thousands of
    // addresses in a burst.
    std::vector<LocalInterface> interfaces();

    std::mutex mutex_;
    std::vector<LocalInterface> interfaces_;
    std::uint32_t interfacesTick_ = 0;
    bool haveInterfaces_ = false;
    // The shared tap's reader of each watched interface, by interface index.
    std::map<unsigned, ReplyFrameTap::ReaderId> readers_;  // guarded by mutex_
};

std::string formatMac(const MacAddress& mac);

}  // namespace tarvo::net

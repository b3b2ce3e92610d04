#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/net/NetworkInterfaces.h"
#include "core/net/Socket.h"

namespace tarvo::net {

// Finds the hardware address of a device that answered a search. Nothing here waits for the
// network: a receive thread asks it for every new sender. Injectable for tests.
class MacResolver {
public:
    // The source MAC of one discovery reply's own frame.
    using FrameSink = std::function<void(std::uint32_t sender, const MacAddress& mac)>;

    virtual ~MacResolver() = default;
    // `address` in network byte order: a local address gives its interface's MAC, another the
    // neighbour table's complete entry; nullopt when neither knows it now.
    virtual std::optional<MacAddress> resolve(std::uint32_t address) = 0;
    // Prompts the system to resolve an address of a local subnet (resolve() may know it soon).
    virtual void solicit(std::uint32_t address) { (void)address; }
    // Starts reading the frames of discovery replies that arrive on `iface`. False where the
    // process may not (a packet socket needs root or CAP_NET_RAW) or for loopback.
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
};

// Reads the source MAC of each discovery reply's Ethernet frame through a packet socket on one
// interface; the kernel filter keeps only UDP to port 5250 whose first payload byte is the
// discovery reply code.
class ReplyFrameTap {
public:
    // nullptr when the packet socket cannot be opened (no CAP_NET_RAW) or bound.
    static std::unique_ptr<ReplyFrameTap> open(unsigned interfaceIndex);
    // Reads what is queued now, without waiting.
    void take(const MacResolver::FrameSink& sink);

    explicit ReplyFrameTap(Socket socket) : socket_(std::move(socket)) {}

private:
    std::mutex mutex_;
    Socket socket_;
};

// The system's view: own addresses, the neighbour table (SIOCGARP) and, where the process may
// open packet sockets, the frames of the replies themselves.
class SystemMacResolver final : public MacResolver {
public:
    std::optional<MacAddress> resolve(std::uint32_t address) override;
    void solicit(std::uint32_t address) override;
    bool watch(const LocalInterface& iface) override;
    void takeFrames(unsigned index, const FrameSink& sink) override;

private:
    // The interface list, read again at most once a second: large sites resolve thousands of
    // addresses in a burst.
    std::vector<LocalInterface> interfaces();

    std::mutex mutex_;
    std::vector<LocalInterface> interfaces_;
    std::uint32_t interfacesTick_ = 0;
    bool haveInterfaces_ = false;
    std::map<unsigned, std::unique_ptr<ReplyFrameTap>> taps_;  // guarded by mutex_
};

std::string formatMac(const MacAddress& mac);

}  // namespace tarvo::net

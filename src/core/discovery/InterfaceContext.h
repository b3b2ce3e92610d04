#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "core/discovery/SearchDiagnosis.h"
#include "core/net/NetworkInterfaces.h"
#include "core/net/Socket.h"

namespace tarvo::discovery {

// One local IPv4 address with its two multicast sockets: the bound socket receives every
// reply of its interface and carries UDP commands; the join socket sends the discovery request.
class InterfaceContext {
public:
    // Opens both sockets; nullptr when any step fails.
    static std::unique_ptr<InterfaceContext> open(const net::LocalInterface& iface);

    ~InterfaceContext();
    InterfaceContext(const InterfaceContext&) = delete;
    InterfaceContext& operator=(const InterfaceContext&) = delete;

    [[nodiscard]] const net::Socket& boundSocket() const { return bound_; }
    [[nodiscard]] const net::Socket& joinSocket() const { return join_; }
    [[nodiscard]] const net::LocalInterface& interface() const { return iface_; }
    [[nodiscard]] const std::string& address() const { return addressText_; }
    // True when the bound socket could be tied to its device; otherwise frames of other
    // interfaces are told apart by their arrival interface.
    [[nodiscard]] bool boundToDevice() const { return boundToDevice_; }

    std::thread& thread() { return thread_; }
    std::atomic<bool>& stopping() { return stopping_; }

    // Wakes the receive thread and makes further sends fail; sockets stay open until destruction.
    void shutdown();

    // What this interface met in the current search.
    SearchCounters& counters() { return counters_; }
    [[nodiscard]] const SearchCounters& counters() const { return counters_; }
    // Whether the packet socket reads this interface's reply frames; set before its thread runs.
    void setFramesWatched(bool watched) { framesWatched_ = watched; }
    [[nodiscard]] bool framesWatched() const { return framesWatched_; }

private:
    explicit InterfaceContext(net::LocalInterface iface) : iface_(std::move(iface)) {}

    net::LocalInterface iface_;
    std::string addressText_;
    net::Socket bound_;
    net::Socket join_;
    bool boundToDevice_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    SearchCounters counters_;
    bool framesWatched_ = false;
};

}  // namespace tarvo::discovery

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/discovery/InterfaceContext.h"
#include "core/discovery/LateMacFiller.h"
#include "core/discovery/ReplyCache.h"
#include "core/discovery/SearchDiagnosis.h"
#include "core/net/MacResolver.h"
#include "core/protocol/Frames.h"

namespace tarvo::text {
class Notifier;
}

namespace tarvo::discovery {

// Finds devices on every local network and keeps the device table: one context and receive
// thread per local IPv4 address, the reply dispatch, the reply cache and the search state.
class DiscoveryEngine {
public:
    DiscoveryEngine(DeviceTable& table, net::MacResolver& macResolver, text::Notifier& notifier);
    ~DiscoveryEngine();
    DiscoveryEngine(const DiscoveryEngine&) = delete;
    DiscoveryEngine& operator=(const DiscoveryEngine&) = delete;

    // Opens the given interfaces (default: every local multicast-capable IPv4 address) and
    // starts their receive threads. An address that cannot be opened is reported with the
    // network start-up text and skipped. Returns the number opened.
    int openInterfaces();
    int openInterfaces(const std::vector<net::LocalInterface>& interfaces);

    // Clears the list when a reply came in since the last clear, lets replies in again and sends
    // the discovery request on every interface.
    void startSearch();
    // Drops discovery replies from now on (the search button sets it before its wait).
    void setIgnoreReplies(bool ignore) { ignoreReplies_.store(ignore); }
    [[nodiscard]] bool ignoreReplies() const { return ignoreReplies_.load(); }

    // Sends one UDP command for the device at `device` (network order) to the group: on an
    // interface that heard it in the search, else on the first interface whose subnet holds its
    // address, else on every interface. False when it left on none.
    bool sendCommandTo(std::uint32_t device, const protocol::Frame& frame);

    // Reads the reply frames still queued on every interface: a frame may be read after its
    // reply was taken, and its MAC (or the conflict it shows) then reaches the table only here or
    // with the next reply. Called before the table is read for conflicts.
    void takeLateFrames();

    // Closes every interface; the receive threads are woken and have ended when this returns.
    // A second call does nothing.
    void closeInterfaces();

    // One received datagram, as a receive thread hands it over (public for tests and fuzzing).
    void handleDatagram(InterfaceContext* context, std::uint32_t interfaceAddress,
                        std::span<const std::uint8_t> datagram, std::uint32_t sender);

    ReplyCache& replyCache() { return replyCache_; }
    // More caches that settings replies are offered to besides the window's own, so that
    // several devices can be asked at once (each cache takes replies of its own device only).
    // Detach before the cache goes.
    void attachReplyCache(ReplyCache& cache);
    void detachReplyCache(ReplyCache& cache);
    DeviceTable& table() { return table_; }
    [[nodiscard]] int interfaceCount() const;
    [[nodiscard]] std::vector<std::string> interfaceAddresses() const;
    // The open interfaces, in the order they were opened.
    [[nodiscard]] std::vector<net::LocalInterface> interfaces() const;
    // Replies handled (every datagram that passed the filter) since start; for benchmarks.
    [[nodiscard]] std::uint64_t datagramsHandled() const { return handled_.load(); }

    // Why the list shows what it shows: each interface's figures since the last startSearch,
    // and what looks wrong on this computer. Takes the table's lock for a moment.
    [[nodiscard]] SearchDiagnosis diagnosis() const;
    // Called on the searching thread after each startSearch has sent its requests. Set once,
    // before any search.
    void setSearchStarted(std::function<void()> started) { searchStarted_ = std::move(started); }

private:
    void receiveLoop(InterfaceContext* context);
    // `counts`: where the reply's fate is counted, null for none.
    void handleDiscoveryReply(InterfaceContext* context, SearchCounters* counts, int type,
                              std::uint32_t sender, std::span<const std::uint8_t> datagram);
    // False when the list was full and the reply made no row.
    bool addDevice(InterfaceContext* context, std::uint32_t sender, int type,
                   std::span<const std::uint8_t> name);
    // Records the reply frames that arrived on the interface; a second MAC for a listed address
    // marks its row as a conflict. Table lock held.
    // `sender`: the reply being listed (its frame is waited for, briefly); 0 for none.
    void takeReplyFrames(const InterfaceContext* context, std::uint32_t sender = 0);
    // A listed device answered on one more interface. Table lock held.
    void noteHeardOn(std::uint32_t sender, const std::u16string& address,
                     std::uint32_t interfaceAddress);
    void updateResolution(std::uint32_t sender, std::uint32_t value);
    bool sendOn(const InterfaceContext* context, const protocol::Frame& frame);

    DeviceTable& table_;
    net::MacResolver& macResolver_;
    // The receive threads report what they meet while a search runs (a full table, a MAC that
    // moved), long after any call returned, so the engine keeps a notifier.
    text::Notifier& notifier_;
    // Offers a settings reply to every cache; true when any took it.
    template <typename Offer>
    bool offerToCaches(const Offer& offer);

    ReplyCache replyCache_;
    std::mutex extraCachesLock_;
    std::vector<ReplyCache*> extraCaches_;

    mutable std::shared_mutex contextsLock_;
    std::vector<std::unique_ptr<InterfaceContext>> contexts_;

    std::atomic<bool> ignoreReplies_{true};
    std::atomic<bool> clearGate_{true};
    // Guarded by the table's lock.
    int deviceCounter_ = 0;
    // The distinct MACs whose frames carried discovery replies from each address in this search
    // (at most kMacsPerAddress each, for at most kMaxRows addresses).
    std::unordered_map<std::uint32_t, std::vector<net::MacAddress>> frameMacs_;
    // The interfaces that heard each listed address, as its row has them: a repeated reply
    // looks here instead of searching the table.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> heardOn_;
    bool tableFullTold_ = false;

    std::atomic<std::uint64_t> handled_{0};

    // Whether `sender` has a row now. Takes the table's lock.
    bool isListed(std::uint32_t sender);
    // Held from the duplicate test to the insertion of a type-89 camera's row.
    std::mutex resolutionQueryLock_;
    LateMacFiller macFiller_{table_, macResolver_};
    std::function<void()> searchStarted_;
};

}  // namespace tarvo::discovery

#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/net/NetworkInterfaces.h"

namespace tarvo::discovery {

// Why a reply that reached an interface made no row.
enum class DropReason : std::size_t {
    Malformed,   // a discovery reply without a device type code the list takes
    NotAsked,    // no search took it, its tag names another receiver, or nobody asked that device
    OverRowCap,  // the list already held DeviceTable::kMaxRows rows
};
inline constexpr std::size_t kDropReasons = 3;

// What one interface meets during a search. Its receive thread counts, the search's sender and
// readers on other threads look: relaxed atomics, so that the receive path takes no lock for it.
class SearchCounters {
public:
    void reset();
    void sent(bool ok, int error);
    void reply() { replies_.fetch_add(1, std::memory_order_relaxed); }
    void drop(DropReason reason) {
        dropped_[static_cast<std::size_t>(reason)].fetch_add(1, std::memory_order_relaxed);
    }

    [[nodiscard]] std::uint64_t requestsSent() const { return sent_.load(); }
    [[nodiscard]] std::uint64_t requestsFailed() const { return failed_.load(); }
    [[nodiscard]] int sendError() const { return sendError_.load(); }
    [[nodiscard]] std::uint64_t replies() const { return replies_.load(); }
    [[nodiscard]] std::uint64_t dropped(DropReason reason) const {
        return dropped_[static_cast<std::size_t>(reason)].load();
    }

private:
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> failed_{0};
    std::atomic<int> sendError_{0};  // errno of the last failed send
    std::atomic<std::uint64_t> replies_{0};
    std::array<std::atomic<std::uint64_t>, kDropReasons> dropped_{};
};

// The figures of one searched interface.
struct InterfaceFigures {
    std::string name;
    std::uint32_t address = 0;  // network order
    std::uint32_t netmask = 0;
    bool loopback = false;
    // Whether the packet socket reads this interface's reply frames (their MACs).
    bool frames = false;
    std::uint64_t requestsSent = 0;
    std::uint64_t requestsFailed = 0;
    int sendError = 0;
    // Reply frames that arrived (discovery and settings replies), taken or dropped.
    std::uint64_t replies = 0;
    int rows = 0;             // listed devices this interface heard
    int otherSubnetRows = 0;  // of them, outside its subnet
    int conflicts = 0;        // of them, answered by more than one MAC
    std::array<std::uint64_t, kDropReasons> dropped{};

    [[nodiscard]] std::uint64_t droppedTotal() const;
};

enum class Hint {
    NoInterface,       // nothing was searched
    NoMulticastRoute,  // the system routes 233.0.0.1 nowhere (global), or a send found no route
    SendFailed,        // the request left not on an interface
    InterfaceDown,     // down, or up without a link
    NoAddress,         // up with a link, but without an IPv4 address: not searched
    NoMulticast,       // not multicast-capable: not searched
    ContainerBridge,   // a searched interface that looks like a container or VM bridge
    Vpn,               // a searched interface that looks like a VPN
    NoPacketSocket,    // no MACs from other subnets, no conflicts
};

struct DiagnosisHint {
    Hint hint = Hint::NoInterface;
    std::string interfaceName;  // empty for the whole computer
    int error = 0;              // errno of SendFailed
};

// Why a search shows what it shows: per interface the figures, and what looks wrong.
struct SearchDiagnosis {
    std::vector<InterfaceFigures> interfaces;  // in the order they were opened
    std::vector<DiagnosisHint> hints;
    int rows = 0;  // listed devices (one per row, however many interfaces heard it)
    [[nodiscard]] std::uint64_t replies() const;
    [[nodiscard]] std::uint64_t dropped() const;
};

// How an interface looks from its name, the kernel's link kind ("veth", "wireguard"; may be
// empty) and link type.
enum class LinkLook { Ordinary, ContainerBridge, Vpn };
LinkLook linkLook(std::string_view name, std::string_view kind, int hardwareType,
                  bool pointToPoint);

// Completes `searched` (counters already filled) with the rows of the list and adds the hints
// that the system's interfaces and routes give.
SearchDiagnosis diagnose(std::vector<InterfaceFigures> searched, const std::vector<DeviceRow>& rows,
                         const std::vector<net::InterfaceState>& states, bool multicastRoute);

// Texts in the language shown. The one-line summary (interfaces, replies, rows, dropped).
std::u16string diagnosisSummary(const SearchDiagnosis& diagnosis);
// A table: the header line, then one line per interface.
std::vector<std::vector<std::u16string>> diagnosisTable(const SearchDiagnosis& diagnosis);
// One text per hint.
std::vector<std::u16string> hintTexts(const SearchDiagnosis& diagnosis);
// The name used in machine-readable output ("noMulticastRoute", ...).
std::string_view hintKey(Hint hint);
std::string_view dropReasonKey(DropReason reason);

}  // namespace tarvo::discovery

#include "core/discovery/SearchDiagnosis.h"

#include <net/if_arp.h>

#include <algorithm>
#include <cerrno>

#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::discovery {

namespace {

bool startsWith(std::string_view name, std::string_view prefix) {
    return name.substr(0, prefix.size()) == prefix;
}

std::u16string number(std::uint64_t value) {
    return text::fromUtf8(std::to_string(value));
}

std::u16string said(std::u16string_view format, const std::string& name) {
    return text::formatText(text::tr(format), {text::fromUtf8(name)});
}

bool heardBy(const DeviceRow& row, std::uint32_t address) {
    return std::find(row.heardOn.begin(), row.heardOn.end(), address) != row.heardOn.end();
}

}  // namespace

void SearchCounters::reset() {
    sent_.store(0);
    failed_.store(0);
    sendError_.store(0);
    replies_.store(0);
    for (auto& each : dropped_) each.store(0);
}

void SearchCounters::sent(bool ok, int error) {
    if (ok) {
        sent_.fetch_add(1);
        return;
    }
    failed_.fetch_add(1);
    sendError_.store(error);
}

std::uint64_t InterfaceFigures::droppedTotal() const {
    std::uint64_t total = 0;
    for (const auto each : dropped) total += each;
    return total;
}

std::uint64_t SearchDiagnosis::replies() const {
    std::uint64_t total = 0;
    for (const auto& each : interfaces) total += each.replies;
    return total;
}

std::uint64_t SearchDiagnosis::dropped() const {
    std::uint64_t total = 0;
    for (const auto& each : interfaces) total += each.droppedTotal();
    return total;
}

LinkLook linkLook(std::string_view name, std::string_view kind, int hardwareType,
                  bool pointToPoint) {
    if (kind == "veth") return LinkLook::ContainerBridge;
    if (kind == "wireguard" || kind == "tun" || kind == "ppp" || kind == "ipip" || kind == "gre")
        return LinkLook::Vpn;
    // The names container engines, hypervisors and VPN clients give their interfaces.
    for (const std::string_view prefix : {"docker", "br-", "virbr", "cni", "podman", "veth",
                                          "lxcbr", "lxdbr", "vmnet", "vboxnet"}) {
        if (startsWith(name, prefix)) return LinkLook::ContainerBridge;
    }
    for (const std::string_view prefix :
         {"tun", "tap", "wg", "ppp", "tailscale", "zt", "utun", "nordlynx", "proton", "ipsec"}) {
        if (startsWith(name, prefix)) return LinkLook::Vpn;
    }
    // Tunnels without an Ethernet header (tun, WireGuard), PPP links and point-to-point links.
    if (hardwareType == ARPHRD_NONE || hardwareType == ARPHRD_PPP ||
        hardwareType == ARPHRD_TUNNEL || hardwareType == ARPHRD_IPGRE || pointToPoint)
        return LinkLook::Vpn;
    return LinkLook::Ordinary;
}

SearchDiagnosis diagnose(std::vector<InterfaceFigures> searched, const std::vector<DeviceRow>& rows,
                         const std::vector<net::InterfaceState>& states, bool multicastRoute) {
    SearchDiagnosis out;
    out.rows = static_cast<int>(rows.size());
    for (auto& figures : searched) {
        for (const auto& row : rows) {
            if (!heardBy(row, figures.address)) continue;
            ++figures.rows;
            std::uint32_t address = 0;
            if (net::parseIPv4(text::toUtf8(row.address), address) &&
                !net::sameSubnet(address, figures.address, figures.netmask))
                ++figures.otherSubnetRows;
            if (!row.conflictMacs.empty()) ++figures.conflicts;
        }
    }
    out.interfaces = std::move(searched);
    auto hint = [&out](Hint which, const std::string& name = {}, int error = 0) {
        out.hints.push_back(DiagnosisHint{which, name, error});
    };

    if (out.interfaces.empty()) hint(Hint::NoInterface);
    if (!multicastRoute) hint(Hint::NoMulticastRoute);
    bool framesMissing = false;
    for (const auto& figures : out.interfaces) {
        if (figures.requestsFailed > 0) {
            const bool noRoute =
                figures.sendError == ENETUNREACH || figures.sendError == EHOSTUNREACH;
            hint(noRoute ? Hint::NoMulticastRoute : Hint::SendFailed, figures.name,
                 figures.sendError);
        }
        if (!figures.loopback && !figures.frames) framesMissing = true;
    }
    for (const auto& state : states) {
        if (state.loopback) continue;
        const LinkLook look =
            linkLook(state.name, state.kind, state.hardwareType, state.pointToPoint);
        const bool searchedHere =
            std::any_of(out.interfaces.begin(), out.interfaces.end(),
                        [&state](const InterfaceFigures& f) { return f.name == state.name; });
        if (searchedHere) {
            if (look == LinkLook::ContainerBridge) hint(Hint::ContainerBridge, state.name);
            if (look == LinkLook::Vpn) hint(Hint::Vpn, state.name);
        }
        // Containers' and VPNs' own links come and go, and a bridge's ports carry no address:
        // only what may lead to devices is told.
        if (look != LinkLook::Ordinary || state.master != 0) continue;
        const bool ethernet = state.hardwareType == ARPHRD_ETHER;
        if (!state.up || !state.running) {
            if (!state.addresses.empty() || ethernet) hint(Hint::InterfaceDown, state.name);
        } else if (state.addresses.empty()) {
            if (ethernet) hint(Hint::NoAddress, state.name);
        } else if (!state.multicast) {
            hint(Hint::NoMulticast, state.name);
        }
    }
    if (framesMissing) hint(Hint::NoPacketSocket);
    return out;
}

std::u16string diagnosisSummary(const SearchDiagnosis& diagnosis) {
    return text::formatText(
        text::tr(text::msg::kSearchSummaryFormat),
        {number(diagnosis.interfaces.size()), number(diagnosis.replies()),
         number(static_cast<std::uint64_t>(diagnosis.rows)), number(diagnosis.dropped())});
}

std::vector<std::vector<std::u16string>> diagnosisTable(const SearchDiagnosis& diagnosis) {
    namespace m = text::msg;
    std::vector<std::vector<std::u16string>> lines;
    std::vector<std::u16string> header;
    for (const auto title : {m::kDiagInterface, m::kDiagAddress, m::kDiagRequests, m::kDiagReplies,
                             m::kDiagRows, m::kDiagOtherSubnet, m::kDiagConflicts,
                             m::kDiagMalformed, m::kDiagNotAsked, m::kDiagOverRowCap})
        header.push_back(text::tr(title));
    lines.push_back(std::move(header));
    for (const auto& f : diagnosis.interfaces) {
        // Sent of tried, when a send failed.
        const std::u16string requests =
            f.requestsFailed == 0
                ? number(f.requestsSent)
                : text::fromUtf8(std::to_string(f.requestsSent) + "/" +
                                 std::to_string(f.requestsSent + f.requestsFailed));
        lines.push_back({text::fromUtf8(f.name), text::fromUtf8(net::formatIPv4(f.address)),
                         requests, number(f.replies), number(static_cast<std::uint64_t>(f.rows)),
                         number(static_cast<std::uint64_t>(f.otherSubnetRows)),
                         number(static_cast<std::uint64_t>(f.conflicts)),
                         number(f.dropped[static_cast<std::size_t>(DropReason::Malformed)]),
                         number(f.dropped[static_cast<std::size_t>(DropReason::NotAsked)]),
                         number(f.dropped[static_cast<std::size_t>(DropReason::OverRowCap)])});
    }
    return lines;
}

std::vector<std::u16string> hintTexts(const SearchDiagnosis& diagnosis) {
    namespace m = text::msg;
    std::vector<std::u16string> out;
    for (const auto& h : diagnosis.hints) {
        switch (h.hint) {
            case Hint::NoInterface:
                out.push_back(text::tr(m::kNoInterfaceToSearch));
                break;
            case Hint::NoMulticastRoute:
                out.push_back(h.interfaceName.empty()
                                  ? text::tr(m::kHintNoMulticastRoute)
                                  : said(m::kHintNoRouteOnFormat, h.interfaceName));
                break;
            case Hint::SendFailed:
                out.push_back(text::formatText(text::tr(m::kHintSendFailedFormat),
                                               {text::fromUtf8(h.interfaceName),
                                                number(static_cast<std::uint64_t>(h.error))}));
                break;
            case Hint::InterfaceDown:
                out.push_back(said(m::kHintInterfaceDownFormat, h.interfaceName));
                break;
            case Hint::NoAddress:
                out.push_back(said(m::kHintNoAddressFormat, h.interfaceName));
                break;
            case Hint::NoMulticast:
                out.push_back(said(m::kHintNoMulticastFormat, h.interfaceName));
                break;
            case Hint::ContainerBridge:
                out.push_back(said(m::kHintContainerBridgeFormat, h.interfaceName));
                break;
            case Hint::Vpn:
                out.push_back(said(m::kHintVpnFormat, h.interfaceName));
                break;
            case Hint::NoPacketSocket:
                out.push_back(text::tr(m::kHintNoPacketSocket));
                break;
        }
    }
    return out;
}

std::string_view hintKey(Hint hint) {
    switch (hint) {
        case Hint::NoInterface:
            return "noInterface";
        case Hint::NoMulticastRoute:
            return "noMulticastRoute";
        case Hint::SendFailed:
            return "sendFailed";
        case Hint::InterfaceDown:
            return "interfaceDown";
        case Hint::NoAddress:
            return "noAddress";
        case Hint::NoMulticast:
            return "noMulticast";
        case Hint::ContainerBridge:
            return "containerBridge";
        case Hint::Vpn:
            return "vpn";
        case Hint::NoPacketSocket:
            return "noPacketSocket";
    }
    return "";
}

std::string_view dropReasonKey(DropReason reason) {
    switch (reason) {
        case DropReason::Malformed:
            return "malformed";
        case DropReason::NotAsked:
            return "notAsked";
        case DropReason::OverRowCap:
            return "overRowCap";
    }
    return "";
}

}  // namespace tarvo::discovery

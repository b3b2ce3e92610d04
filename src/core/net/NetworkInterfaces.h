#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::net {

using MacAddress = std::array<std::uint8_t, 6>;

// One IPv4 address of a local interface. Addresses and masks in network byte order.
struct LocalInterface {
    std::string name;
    unsigned index = 0;
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    MacAddress mac{};
    bool loopback = false;
};

// IPv4 addresses of the interfaces that are up and multicast-capable, in interface order.
std::vector<LocalInterface> localInterfaces();
// Every IPv4 address of every interface that is up (for MAC lookup of local addresses).
std::vector<LocalInterface> allLocalAddresses();

std::string formatIPv4(std::uint32_t networkOrder);
// Strict dotted quad; false for anything else.
bool parseIPv4(const std::string& text, std::uint32_t& networkOrder);
bool sameSubnet(std::uint32_t a, std::uint32_t b, std::uint32_t netmask);

// What the system says of one interface, for telling why a search heard nothing there: down
// interfaces and those without an IPv4 address are listed too.
struct InterfaceState {
    std::string name;
    unsigned index = 0;
    std::vector<std::uint32_t> addresses;  // IPv4, network order
    bool up = false;
    bool running = false;  // carrier: a cable in, a link to the switch
    bool multicast = false;
    bool loopback = false;
    bool pointToPoint = false;
    int hardwareType = -1;  // the link's ARPHRD_* type; -1 when the system did not say
    std::string kind;       // the kernel's link kind ("veth", "bridge", "wireguard"), if any
    unsigned master = 0;    // the bridge or bond it is a port of; 0 for none
};

// Every interface of the system, in interface order.
std::vector<InterfaceState> interfaceStates();
// Whether the routing table has a way out for `group` (network order) when no interface is
// named, as a program without this one's per-interface sends would need. Sends nothing.
bool hasMulticastRoute(std::uint32_t group);

}  // namespace tarvo::net

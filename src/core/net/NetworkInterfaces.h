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

}  // namespace tarvo::net

#include "core/discovery/DeviceFilter.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cwctype>

#include "core/text/TextConvert.h"

namespace tarvo::discovery {

namespace {

std::optional<std::uint32_t> hostAddress(std::string_view text) {
    in_addr parsed{};
    const std::string copy(text);
    if (::inet_pton(AF_INET, copy.c_str(), &parsed) != 1) return std::nullopt;
    return ntohl(parsed.s_addr);
}

std::u16string folded(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) {
        if (c < 0xD800 || c > 0xDFFF) c = static_cast<char16_t>(std::towlower(c));
    }
    return out;
}

}  // namespace

bool DeviceFilter::matches(const DeviceRow& row) const {
    if (type && row.type != *type) return false;
    if (otherSubnetOnly && row.sameNetwork) return false;
    if (network) {
        const auto address = hostAddress(text::toUtf8(row.address));
        if (!address || (*address & mask) != *network) return false;
    }
    return name.empty() || folded(row.name).find(folded(name)) != std::u16string::npos;
}

bool DeviceFilter::setSubnet(std::string_view cidr) {
    const auto slash = cidr.find('/');
    if (slash == std::string_view::npos) return false;
    const auto address = hostAddress(cidr.substr(0, slash));
    const std::string_view suffix = cidr.substr(slash + 1);
    std::optional<std::uint32_t> bits;
    int prefix = -1;
    const auto [end, error] = std::from_chars(suffix.data(), suffix.data() + suffix.size(), prefix);
    if (error == std::errc() && end == suffix.data() + suffix.size() && prefix >= 0 &&
        prefix <= 32) {
        bits = prefix == 0 ? 0u : ~std::uint32_t{0} << (32 - prefix);
    } else if (const auto dotted = hostAddress(suffix);
               dotted && (~*dotted & (~*dotted + 1)) == 0) {  // ones, then zeros
        bits = dotted;
    }
    if (!address || !bits) return false;
    mask = *bits;
    network = *address & mask;
    return true;
}

}  // namespace tarvo::discovery

#include "core/site/MacText.h"

#include <array>
#include <cstdio>
#include <vector>

#include "core/text/TextConvert.h"

namespace tarvo::site {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const auto at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos) return parts;
        from = at + 1;
    }
}

// Appends the bytes that the hex digits of `group` make; false for a non-digit.
bool appendHex(std::string_view group, std::vector<int>& bytes) {
    if (group.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < group.size(); i += 2) {
        const int high = hexValue(group[i]);
        const int low = hexValue(group[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(high * 16 + low);
    }
    return true;
}

}  // namespace

std::optional<std::string> parseMac(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.size() > 17) return std::nullopt;
    std::vector<int> bytes;
    const auto colons = split(text, ':');
    const auto dashes = split(text, '-');
    const auto dots = split(text, '.');
    const auto& six = colons.size() == 6 ? colons : dashes;
    if (six.size() == 6) {
        for (auto group : six) {
            if (group.empty() || group.size() > 2) return std::nullopt;
            if (group.size() == 1 && !appendHex(std::string("0") + group[0], bytes))
                return std::nullopt;
            if (group.size() == 2 && !appendHex(group, bytes)) return std::nullopt;
        }
    } else {
        const auto& three = dots.size() == 3 ? dots : dashes;
        if (three.size() == 3) {
            for (auto group : three)
                if (group.size() != 4 || !appendHex(group, bytes)) return std::nullopt;
        } else if (text.size() != 12 || !appendHex(text, bytes)) {
            return std::nullopt;
        }
    }
    if (bytes.size() != 6) return std::nullopt;
    bool zero = true;
    bool broadcast = true;
    for (int b : bytes) {
        zero = zero && b == 0;
        broadcast = broadcast && b == 0xff;
    }
    if (zero || broadcast) return std::nullopt;
    std::array<char, 18> out{};
    (void)std::snprintf(out.data(), out.size(), "%02X:%02X:%02X:%02X:%02X:%02X", bytes[0], bytes[1],
                        bytes[2], bytes[3], bytes[4], bytes[5]);
    return std::string(out.data());
}

std::vector<discovery::DeviceRow> withDeviceMacs(std::vector<discovery::DeviceRow> rows) {
    const auto names = [](const std::u16string& mac) {
        return parseMac(text::toUtf8(mac)).has_value();
    };
    for (auto& row : rows) {
        if (!row.mac.empty() && !names(row.mac)) row.mac.clear();
        std::erase_if(row.conflictMacs, [&](const std::u16string& m) { return !names(m); });
    }
    return rows;
}

}  // namespace tarvo::site

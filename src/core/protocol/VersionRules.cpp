#include "core/protocol/VersionRules.h"

namespace tarvo::protocol {

std::optional<std::u16string_view> minimumVersionFor(std::u16string_view version) {
    if (version.size() < 2) return std::nullopt;
    const std::u16string_view type = version.substr(version.size() - 2);
    if (type == u"06") return u"v00.00.22.06";
    if (type == u"08") return u"v00.00.05.08";
    if (type == u"20") return u"v00.00.19.20";
    return std::nullopt;
}

bool versionAtLeast(std::u16string_view version, std::u16string_view minimum) {
    return version.compare(minimum) >= 0;
}

bool meetsMinimumVersion(std::u16string_view version) {
    const auto minimum = minimumVersionFor(version);
    return !minimum || versionAtLeast(version, *minimum);
}

}  // namespace tarvo::protocol

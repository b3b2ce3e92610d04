#include "core/text/SystemLocale.h"

#include <cstdlib>
#include <string_view>

namespace tarvo::text {

std::uint32_t localeIdFromName(const char* name) {
    if (name == nullptr) return kLocaleEnglishUs;
    const std::string_view text(name);
    if (text.starts_with("zh_CN")) return kLocaleChinaPrc;
    if (text.starts_with("zh_TW")) return kLocaleChinaTaiwan;
    return kLocaleEnglishUs;
}

const char* systemLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

std::uint32_t systemLocaleId() {
    return localeIdFromName(systemLocaleName());
}

}  // namespace tarvo::text

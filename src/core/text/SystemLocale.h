#pragma once

#include <cstdint>

namespace tarvo::text {

inline constexpr std::uint32_t kLocaleChinaPrc = 0x0804;
inline constexpr std::uint32_t kLocaleChinaTaiwan = 0x0404;
inline constexpr std::uint32_t kLocaleEnglishUs = 0x0409;

// The system's default locale as a Windows-style locale id, from the first of LC_ALL,
// LC_MESSAGES and LANG that is set: zh_CN -> 0x0804, zh_TW -> 0x0404, anything else -> 0x0409.
std::uint32_t systemLocaleId();
// The name that choice is made from ("de_DE.UTF-8"); "C" when none of them is set.
const char* systemLocaleName();
// The same mapping for one locale name ("zh_CN.UTF-8", "en_US", "C", ...).
std::uint32_t localeIdFromName(const char* name);

}  // namespace tarvo::text

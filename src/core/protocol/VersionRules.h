#pragma once

#include <optional>
#include <string_view>

namespace tarvo::protocol {

// A camera version reads like "v00.00.22.06": the middle pair is the release, the last pair
// the camera type.
inline constexpr std::size_t kVersionTextLength = 12;

// The lowest version a camera type must have for the configuration to work, by the version's
// last two characters; nullopt when the type has no minimum.
std::optional<std::u16string_view> minimumVersionFor(std::u16string_view version);

// True when `version` (with its leading v) is at or above its type's minimum, text comparison.
bool meetsMinimumVersion(std::u16string_view version);

// Plain text comparison of two versions written the same way.
bool versionAtLeast(std::u16string_view version, std::u16string_view minimum);

}  // namespace tarvo::protocol

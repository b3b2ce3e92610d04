#pragma once

#include <optional>
#include <string>

namespace tarvo::upgrade {

// The SHA-256 of the file at `path` in lower-case hex, read in pieces; nothing when it cannot
// be read to its end. Sites keep it with each upgrade, so that the package can be told later.
std::optional<std::string> packageSha256(const std::string& path);

}  // namespace tarvo::upgrade

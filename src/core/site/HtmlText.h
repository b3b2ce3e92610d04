#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarvo::site {

// `text` safe inside HTML: markup characters as entities, control and text-direction
// characters and invalid UTF-8 as U+FFFD.
std::string escapeHtml(std::string_view text);
// `bytes` in Base64 (RFC 4648, with padding).
std::string base64(std::span<const unsigned char> bytes);

}  // namespace tarvo::site

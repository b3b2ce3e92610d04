#include "core/text/TerminalText.h"

#include <cstdio>

namespace tarvo::text {

namespace {

bool needsEscape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// "\x1b" below 0x80 (and for stray bytes), "\u202e" above.
template <typename String>
void appendEscape(String& out, char32_t c, bool byte) {
    char buffer[8];
    const auto value = static_cast<unsigned>(c);
    const int n = byte || c < 0x80 ? std::snprintf(buffer, sizeof buffer, "\\x%02x", value)
                                   : std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
    out.append(buffer, buffer + n);
}

// The length of the well-formed UTF-8 sequence at the start of `s` and its code point; 0 when
// the first byte does not start one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t decodeUtf8(std::string_view s, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::u16string escapeControls(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out.append(text.substr(i, 2));
            ++i;
        } else if (needsEscape(c) || (c >= 0xD800 && c <= 0xDFFF)) {
            appendEscape(out, c, false);  // a lone surrogate too: it has no character
        } else {
            out += c;
        }
    }
    return out;
}

std::string escapeControls(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(utf8, c);
        if (length == 0) {
            appendEscape(out, static_cast<unsigned char>(utf8[0]), true);
            utf8.remove_prefix(1);
            continue;
        }
        if (needsEscape(c)) {
            appendEscape(out, c, false);
        } else {
            out.append(utf8.substr(0, length));
        }
        utf8.remove_prefix(length);
    }
    return out;
}

}  // namespace tarvo::text

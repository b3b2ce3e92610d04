#include "core/ops/forms/LoginForm.h"

#include <array>
#include <climits>
#include <string>

#include "core/text/TextConvert.h"

namespace tarvo::ops {

namespace {

template <typename Char>
int atoiLike(std::basic_string_view<Char> text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) break;  // saturate instead of overflowing
    }
    if (value > INT_MAX) value = negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

LoginPortCheck checkLoginPort(std::u16string_view fieldText) {
    LoginPortCheck result;
    if (fieldText.empty()) return result;
    std::array<char, 11> buffer{};
    text::narrowText(fieldText, buffer);
    result.port = atoiLike(text::fieldText(std::span<const char>(buffer)));
    result.valid = result.port >= kLoginPortMin && result.port <= kLoginPortMax;
    return result;
}

}  // namespace tarvo::ops

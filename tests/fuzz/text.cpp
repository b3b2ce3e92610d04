// The text conversions both ways, with every capacity up to the input's size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text/TextConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t capacity = data[0];
    const std::string_view narrow(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<char16_t> wide(capacity);
    if (tarvo::text::widenText(narrow, wide) == 1) {
        const auto text = tarvo::text::fieldText(std::span<const char16_t>(wide));
        std::vector<char> back(capacity * 4 + 1);
        (void)tarvo::text::narrowText(text, back);
    }
    std::u16string units((size - 1) / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
    std::vector<char> out(capacity);
    (void)tarvo::text::narrowText(units, out);
    (void)tarvo::text::toUtf8(units);
    (void)tarvo::text::fromUtf8(narrow);
    return 0;
}

#include "cli/TextTable.h"

#include <algorithm>
#include <iostream>
#include <string_view>

#include "core/text/TextConvert.h"

namespace tarvo::cli {

namespace {

std::size_t displayWidth(std::u16string_view text) {
    std::size_t width = 0;
    for (char16_t c : text) {
        if (c >= 0xDC00 && c <= 0xDFFF) continue;  // second half of a pair
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6);
        width += wide ? 2 : 1;
    }
    return width;
}

}  // namespace

void printTextTable(const std::vector<std::vector<std::u16string>>& lines) {
    printTextTable(lines, std::cout);
}

void printTextTable(const std::vector<std::vector<std::u16string>>& lines, std::ostream& stream) {
    std::vector<std::size_t> widths;
    for (const auto& line : lines) {
        if (widths.size() < line.size()) widths.resize(line.size(), 0);
        for (std::size_t c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(line[c]));
    }
    for (const auto& line : lines) {
        std::string out;
        for (std::size_t c = 0; c < line.size(); ++c) {
            out += text::toUtf8(line[c]);
            if (c + 1 < line.size()) out.append(widths[c] + 2 - displayWidth(line[c]), ' ');
        }
        stream << out << '\n';
    }
    stream.flush();
}

}  // namespace tarvo::cli

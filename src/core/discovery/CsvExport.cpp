#include "core/discovery/CsvExport.h"

#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"

namespace tarvo::discovery {

std::string csvField(std::u16string_view text) {
    std::string out = "\"";
    if (!text.empty() &&
        std::u16string_view(u"=+-@\t\r").find(text.front()) != std::u16string_view::npos) {
        out += '\'';
    }
    for (const char c : text::toUtf8(text)) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::vector<std::u16string> deviceListHeaders() {
    const auto& ui = text::uiText();
    return {std::u16string(text::fieldView(ui.colSeq)),
            std::u16string(text::fieldView(ui.colIpAddress)),
            text::tr(u"mac地址"),
            std::u16string(text::fieldView(ui.colName)),
            std::u16string(text::fieldView(ui.colNote)),
            text::tr(u"类型"),
            text::tr(text::msg::kCsvSubnetHeader),
            text::tr(text::msg::kListConflictHeader)};
}

std::vector<std::u16string> deviceListCells(const DeviceRow& row) {
    auto decimal = [](int n) { return text::fromUtf8(std::to_string(n)); };
    std::u16string conflict;
    for (const auto& mac : row.conflictMacs) conflict += (conflict.empty() ? u"" : u",") + mac;
    return {decimal(row.sequence),
            row.address,
            row.mac,
            row.name,
            text::tr(row.note),
            decimal(row.type),
            text::tr(row.sameNetwork ? text::msg::kCsvSameSubnet : text::msg::kCsvOtherSubnet),
            conflict};
}

std::string deviceListCsv(const std::vector<DeviceRow>& rows) {
    std::string out = "\xEF\xBB\xBF";
    // The columns the list shows, its address-conflict column included.
    auto line = [&out](const std::vector<std::u16string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) out += ',';
            out += csvField(fields[i]);
        }
        out += "\r\n";
    };
    line(deviceListHeaders());
    for (const auto& row : rows) line(deviceListCells(row));
    return out;
}

}  // namespace tarvo::discovery

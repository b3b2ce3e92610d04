#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace tarvo::text {

inline constexpr int kLanguageChinese = 2;
inline constexpr int kLanguageEnglish = 0;

// The language-dependent texts of the windows: fixed UTF-16 fields, NUL-terminated and
// zero-filled behind the text. Capacities count the terminator.
struct UiTextTable {
    template <std::size_t N>
    using Field = std::array<char16_t, N>;

    Field<64> loginMismatch{};
    Field<18> colSeq{};
    Field<18> colIpAddress{};
    Field<18> colName{};
    Field<18> colNote{};
    Field<18> btnModify{};
    Field<18> btnSearch{};
    Field<18> btnCancel{};
    Field<18> netIpAddress{};
    Field<18> netMask{};
    Field<18> netGateway{};
    Field<18> netDns{};
    Field<18> netPassword{};
    Field<18> netUser{};
    Field<18> netOk{};
    Field<18> logUser{};
    Field<18> logPassword{};
    Field<18> logStream{};
    Field<18> logMainStream{};
    Field<18> logSubStream{};
    Field<18> logOk{};
    Field<18> mainSearch{};
    Field<18> mainAbout{};
    Field<64> netTitle{};
    Field<64> netInitFailed{};
    Field<128> notSameNetwork{};
};

// The text of one field, up to its terminator.
template <std::size_t N>
std::u16string_view fieldView(const std::array<char16_t, N>& field) {
    std::size_t length = 0;
    while (length < N && field[length] != u'\0') ++length;
    return {field.data(), length};
}

// 2 for a Chinese (PRC) system locale, 0 for every other.
int chooseUiLanguage();
int chooseUiLanguageFor(std::uint32_t localeId);

// Builds the table for `language` (2 Chinese, anything else English) into the holder.
// 1 on success, 0 when no memory could be had (the holder then has no table).
int buildUiText(int language);

// Owns the current table. Readers that run before a table was built, or after a failed build,
// see empty texts.
class UiTextHolder {
public:
    static const UiTextTable* table();
    static void reset();
};

const UiTextTable& uiText();

}  // namespace tarvo::text

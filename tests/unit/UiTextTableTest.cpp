#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "core/discovery/CsvExport.h"
#include "core/discovery/DeviceTypes.h"
#include "core/ops/forms/AddressBatch.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"

using namespace tarvo::text;

namespace {
std::u16string_view v(const auto& field) {
    return fieldView(field);
}
}  // namespace

TEST(UiTextTable, ChineseForPrcLocaleOnly) {
    EXPECT_EQ(chooseUiLanguageFor(0x0804), 2);
    EXPECT_EQ(chooseUiLanguageFor(0x0404), 0);
    EXPECT_EQ(chooseUiLanguageFor(0x0409), 0);
}

// Language 2 builds the Chinese table, any other the English one; the English texts that a value
// follows keep their trailing blank, and the Chinese table has no network suffix.
TEST(UiTextTable, ChineseForLanguageTwoOnlyAndEnglishKeepsTrailingBlanks) {
    ASSERT_EQ(buildUiText(kLanguageChinese), 1);
    const UiTextTable zh = uiText();
    ASSERT_EQ(buildUiText(kLanguageEnglish), 1);
    const UiTextTable en = uiText();
    EXPECT_NE(v(zh.colSeq), v(en.colSeq));
    EXPECT_TRUE(v(zh.notSameNetwork).empty());
    EXPECT_TRUE(v(en.loginMismatch).ends_with(u' '));
    EXPECT_TRUE(v(en.notSameNetwork).ends_with(u' '));
    for (int language : {1, 3, 99}) {
        ASSERT_EQ(buildUiText(language), 1);
        EXPECT_EQ(v(uiText().colSeq), v(en.colSeq)) << language;
        EXPECT_EQ(v(uiText().notSameNetwork), v(en.notSameNetwork)) << language;
    }
}

TEST(UiTextTable, RebuildingShowsTheSecondLanguageAndResetLeavesEmptyTexts) {
    ASSERT_EQ(buildUiText(0), 1);
    ASSERT_EQ(buildUiText(2), 1);
    EXPECT_EQ(v(uiText().colSeq), u"序号");
    EXPECT_NE(UiTextHolder::table(), nullptr);
    UiTextHolder::reset();
    EXPECT_EQ(UiTextHolder::table(), nullptr);
    EXPECT_TRUE(v(uiText().colSeq).empty());  // readers fall back to empty texts
}

// Every text of the program has a finished English translation, and the table's Chinese texts
// translate to the table's own English ones; a text added without its English fails here.
TEST(UiTextTable, EveryTextHasItsEnglish) {
    const std::map<std::u16string_view, std::u16string_view> english(englishTexts().begin(),
                                                                     englishTexts().end());
    ASSERT_GT(sourceTexts().size(), 100u);
    for (const auto text : sourceTexts()) {
        const auto found = english.find(text);
        EXPECT_TRUE(found != english.end() && !found->second.empty()) << toUtf8(text);
    }
    ASSERT_EQ(buildUiText(kLanguageChinese), 1);
    const UiTextTable zh = uiText();
    EXPECT_EQ(tr(msg::kSelectDeviceFirst), msg::kSelectDeviceFirst);
    ASSERT_EQ(buildUiText(kLanguageEnglish), 1);
    const UiTextTable& en = uiText();
    const auto same = [&](auto field) { EXPECT_EQ(tr(v(zh.*field)), v(en.*field)); };
    using T = UiTextTable;
    for (auto field :
         {&T::colSeq,      &T::colIpAddress, &T::colName,       &T::colNote,      &T::btnModify,
          &T::btnSearch,   &T::btnCancel,    &T::netIpAddress,  &T::netMask,      &T::netGateway,
          &T::netDns,      &T::netPassword,  &T::netUser,       &T::netOk,        &T::logUser,
          &T::logPassword, &T::logStream,    &T::logMainStream, &T::logSubStream, &T::logOk,
          &T::mainSearch,  &T::mainAbout})
        same(field);
    for (auto field : {&T::loginMismatch, &T::netTitle, &T::netInitFailed}) same(field);
    EXPECT_EQ(formatText(tr(msg::kNoAnswerFormat), {u"127.0.0.5", u"5"}),
              u"Device 127.0.0.5 did not answer within 5 seconds");
}

namespace {

// The texts the original program shows in English whatever the language.
const std::vector<std::u16string_view> kEnglishInBothLanguages{
    msg::kErrorCaption,      msg::kConnectCameraFailedEn, msg::kControlFailed,
    msg::kDecoderInitFailed, msg::kStreamConnectError,    msg::kDisplayAdapterUnsupported,
};

bool isCjk(char16_t c) {
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
}

// What in `shown` belongs to the other language: a Chinese character in English; in Chinese an
// English phrase (two words in a row), or a word in a text without any Chinese. Names such as
// "NVR IP" or "uboot" stand inside Chinese texts: a word has a small letter and two letters.
std::string otherLanguage(std::u16string_view shown, int language) {
    if (language != kLanguageChinese) {
        const bool cjk = std::any_of(shown.begin(), shown.end(), isCjk);
        return cjk ? toUtf8(shown) : std::string();
    }
    const bool cjk = std::any_of(shown.begin(), shown.end(), isCjk);
    std::vector<std::size_t> words;  // lengths of the Latin words, 0 between runs of them
    std::size_t length = 0;
    bool small = false;
    for (const char16_t c : std::u16string(shown) + u'.') {
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (letter) {
            ++length;
            small = small || c >= u'a';
            continue;
        }
        if (length > 0) words.push_back(small ? length : 1);
        length = 0;
        small = false;
        if (c != u' ' && c != u',' && c != u':' && c != u';' && c != u'\'') words.push_back(0);
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        const bool word = words[i] >= 2;
        const bool phrase = word && i + 1 < words.size() && words[i + 1] >= 2;
        if (phrase || (word && !cjk)) return toUtf8(shown);
    }
    return {};
}

}  // namespace

// Every message as shown, built from its parts in each language, is in that language alone.
TEST(UiTextTable, EveryComposedMessageIsInOneLanguage) {
    using tarvo::ops::AddressAssignment;
    using Result = AddressAssignment::Result;
    for (const int language : {kLanguageChinese, kLanguageEnglish}) {
        ASSERT_EQ(buildUiText(language), 1);
        std::vector<std::u16string> shown;
        std::vector<std::u16string_view> parts(sourceTexts().begin(), sourceTexts().end());
        parts.insert(parts.end(), catalogueTexts().begin(), catalogueTexts().end());
        for (const auto part : parts) {
            if (std::find(kEnglishInBothLanguages.begin(), kEnglishInBothLanguages.end(), part) ==
                kEnglishInBothLanguages.end())
                shown.push_back(formatText(tr(part), {u"1", u"2", u"3"}));
        }
        // A refused batch address carries the message of the step that refused it.
        std::vector<std::u16string> details{u""};
        details.insert(details.end(), catalogueTexts().begin(), catalogueTexts().end());
        for (const bool write : {true, false})
            details.push_back(tarvo::ops::SettingsFlows::sharedTargetMessage(
                {u"127.0.0.5 00:11:22:33:44:55"}, write));
        for (int r = 0; r <= static_cast<int>(Result::NotSent); ++r) {
            for (const auto& detail : details) {
                if (std::find(kEnglishInBothLanguages.begin(), kEnglishInBothLanguages.end(),
                              detail) != kEnglishInBothLanguages.end())
                    continue;
                AddressAssignment a;
                a.result = static_cast<Result>(r);
                a.detail = tarvo::text::Reason::recognise(detail);
                shown.push_back(a.resultText());
            }
        }
        // The device list as the exported file and the command line show it.
        const auto headers = tarvo::discovery::deviceListHeaders();
        shown.insert(shown.end(), headers.begin(), headers.end());
        for (const int type : {31, 89, 100, 175, 180, 181}) {
            tarvo::discovery::DeviceRow row;
            row.note = tarvo::discovery::typeLabel(type);
            row.sameNetwork = type % 2 == 0;
            const auto cells = tarvo::discovery::deviceListCells(row);
            shown.insert(shown.end(), cells.begin(), cells.end());
        }
        for (const auto& text : shown) EXPECT_EQ(otherLanguage(text, language), "") << language;
    }
}

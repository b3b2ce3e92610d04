#include <gtest/gtest.h>

#include <map>

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

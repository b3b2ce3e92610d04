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

TEST(UiTextTable, ChineseTexts) {
    ASSERT_EQ(buildUiText(2), 1);
    const UiTextTable& t = uiText();
    EXPECT_EQ(v(t.colSeq), u"序号");
    EXPECT_EQ(v(t.colIpAddress), u"IP 地址");
    EXPECT_EQ(v(t.colName), u"名称");
    EXPECT_EQ(v(t.colNote), u"备注");
    EXPECT_EQ(v(t.loginMismatch), u"用户名密码错误");
    EXPECT_EQ(v(t.btnCancel), u"退出");
    EXPECT_EQ(v(t.netDns), u"DNS 服务器:");
    EXPECT_EQ(v(t.logOk), u"确定");
    EXPECT_EQ(v(t.netTitle), u"网络设置修改");
    EXPECT_EQ(v(t.netInitFailed), u"初始化网络失败");
    EXPECT_EQ(v(t.mainAbout), u"关于");
    EXPECT_TRUE(v(t.notSameNetwork).empty());
}

TEST(UiTextTable, EnglishTextsKeepTrailingBlanks) {
    for (int language : {0, 1, 3, 99}) {
        ASSERT_EQ(buildUiText(language), 1);
        const UiTextTable& t = uiText();
        EXPECT_EQ(v(t.loginMismatch), u"Username and password do not match ");
        EXPECT_EQ(v(t.notSameNetwork), u"does not belong to the same network ");
        EXPECT_EQ(v(t.netInitFailed), u"Failed to initialize the network");
        EXPECT_EQ(v(t.netTitle), u"Net Set And Modify");
        EXPECT_EQ(v(t.netIpAddress), u"IP Address:");
        EXPECT_EQ(v(t.netDns), u"DNS Server:");
        EXPECT_EQ(v(t.colSeq), u"Seq");
        EXPECT_EQ(v(t.colIpAddress), u"IP Address");
        EXPECT_EQ(v(t.logSubStream), u"Sub-stream");
        EXPECT_EQ(v(t.btnCancel), u"Cancel");
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

#include <gtest/gtest.h>

#include <array>

#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/text/SystemLocale.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"

using namespace tarvo::text;

TEST(NarrowText, WritesTextAndTerminatorOrLeavesDestinationUntouched) {
    std::array<char, 6> dest;
    dest.fill('#');
    EXPECT_EQ(narrowText(u"admin", dest), 1);  // 5 + NUL = 6: fits exactly
    EXPECT_EQ(std::string(dest.data()), "admin");

    dest.fill('#');
    EXPECT_EQ(narrowText(u"admin1", dest), 0);  // 7 bytes needed
    EXPECT_EQ(std::string(dest.data(), dest.size()), "######");

    // Capacity counts bytes of the device encoding: two Chinese characters take four.
    std::array<char, 5> cjk{};
    EXPECT_EQ(narrowText(u"名称", cjk), 1);
    EXPECT_EQ(std::string(cjk.data()), "\xC3\xFB\xB3\xC6");
    std::array<char, 4> small{};
    EXPECT_EQ(narrowText(u"名称", small), 0);
    EXPECT_EQ(small, (std::array<char, 4>{}));

    std::array<char, 1> onlyTerminator{'x'};
    EXPECT_EQ(narrowText(u"", onlyTerminator), 1);
    EXPECT_EQ(onlyTerminator[0], '\0');
    EXPECT_EQ(narrowText(u"", std::span<char>()), 0);
}

TEST(NarrowText, RejectsBrokenUtf16) {
    std::array<char, 16> dest{};
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(narrowText(lone, dest), 0);
    EXPECT_EQ(dest, (std::array<char, 16>{}));
}

TEST(WidenText, CapacityInUnitsWithTerminator) {
    std::array<char16_t, 3> dest;
    dest.fill(u'#');
    EXPECT_EQ(widenText("ab", dest), 1);
    EXPECT_EQ(std::u16string(dest.data()), u"ab");
    dest.fill(u'#');
    EXPECT_EQ(widenText("abc", dest), 0);
    EXPECT_EQ(dest, (std::array<char16_t, 3>{u'#', u'#', u'#'}));

    // Four GB18030 bytes are two units.
    EXPECT_EQ(widenText("\xC3\xFB\xB3\xC6", dest), 1);
    EXPECT_EQ(std::u16string(dest.data()), u"名称");

    // Read stops at the first NUL; without one, at the end of the bytes.
    std::array<char16_t, 64> wide{};
    EXPECT_EQ(widenText(std::string_view("cam\0junk", 8), wide), 1);
    EXPECT_EQ(std::u16string(wide.data()), u"cam");
}

TEST(WidenText, InvalidBytesBecomeReplacementCharacters) {
    std::array<char16_t, 8> dest{};
    EXPECT_EQ(widenText("a\xFF"
                        "b",
                        dest),
              1);
    EXPECT_EQ(std::u16string(dest.data()), u"a\uFFFDb");
    // A lead byte cut off at the end of the datagram.
    EXPECT_EQ(widenText("ab\xC3", dest), 1);
    EXPECT_EQ(std::u16string(dest.data()), u"ab\uFFFD");
}

TEST(TextConvert, RoundTripsAndUtf8) {
    const std::u16string name = u"前门摄像机 Cam-01 😀";
    EXPECT_EQ(widenString(narrowString(name)), name);
    EXPECT_EQ(fromUtf8(toUtf8(name)), name);
    EXPECT_EQ(toUtf8(u"序号"), "\xE5\xBA\x8F\xE5\x8F\xB7");
    EXPECT_EQ(fromUtf8("\xFF"
                       "a"),
              u"\uFFFDa");
}

TEST(EscapeControls, TerminalAndDirectionControlsBecomeEscapesAndNothingElseChanges) {
    using sv = std::string_view;
    // Clear screen, window title, clipboard write, hidden text; tab, line feed and DEL too.
    EXPECT_EQ(escapeControls(sv("\x1b[2J\x1b]0;t\x07\x1b]52;c;aGk=\x07\x1b[8mx\tb\nc\x7f")),
              "\\x1b[2J\\x1b]0;t\\x07\\x1b]52;c;aGk=\\x07\\x1b[8mx\\x09b\\x0ac\\x7f");
    // C1 controls as characters (8-bit CSI), the bidirectional controls; NBSP is text.
    EXPECT_EQ(escapeControls(sv("\xc2\x9b"
                                "1m\xc2\x80\xc2\x9f\xc2\xa0")),
              "\\u009b1m\\u0080\\u009f\xc2\xa0");
    EXPECT_EQ(escapeControls(sv("exe.\u202egpj\u202a\u202d\u2066\u2069\u200e\u200f\u061c")),
              "exe.\\u202egpj\\u202a\\u202d\\u2066\\u2069\\u200e\\u200f\\u061c");
    // Bytes that are not UTF-8: stray continuation, overlong, surrogate, cut-off sequence.
    EXPECT_EQ(escapeControls(sv("\xff\x80\xc0\xaf\xed\xa0\x80\xf5\x80\xe4\xb8")),
              "\\xff\\x80\\xc0\\xaf\\xed\\xa0\\x80\\xf5\\x80\\xe4\\xb8");
    EXPECT_EQ(escapeControls(sv("摄像机 😀 \\x1b \u2028")), "摄像机 😀 \\x1b \u2028");
    EXPECT_EQ(escapeControls(sv("")), "");

    // UTF-16: the same rules; pairs kept, a lone half escaped.
    EXPECT_EQ(escapeControls(std::u16string_view(u"\x1b名\u202e\U0001F600\u0085")),
              u"\\x1b名\\u202e\U0001F600\\u0085");
    const char16_t lone[] = {u'a', 0xDC00, 0xD800, 0};
    EXPECT_EQ(escapeControls(std::u16string_view(lone)), u"a\\udc00\\ud800");
}

TEST(SystemLocale, MapsLocaleNames) {
    EXPECT_EQ(localeIdFromName("zh_CN.UTF-8"), 0x0804u);
    EXPECT_EQ(localeIdFromName("zh_CN"), 0x0804u);
    EXPECT_EQ(localeIdFromName("zh_TW.UTF-8"), 0x0404u);
    EXPECT_EQ(localeIdFromName("en_US.UTF-8"), 0x0409u);
    EXPECT_EQ(localeIdFromName("C"), 0x0409u);
    EXPECT_EQ(localeIdFromName(nullptr), 0x0409u);
}

TEST(SystemLocale, FirstSetVariableWins) {
    ::setenv("LC_ALL", "", 1);
    ::setenv("LC_MESSAGES", "zh_CN.UTF-8", 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(systemLocaleId(), 0x0804u);
    ::setenv("LC_ALL", "zh_TW.UTF-8", 1);
    EXPECT_EQ(systemLocaleId(), 0x0404u);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("LANG");
    EXPECT_EQ(systemLocaleId(), 0x0409u);
}

// A told text is kept as its catalogue key and values, whichever language it was told in, and
// read back whole; what is no catalogue text, or a record from a newer program, stays readable.
TEST(Reason, RecognisedKeptAndShownInTheLanguageShown) {
    using tarvo::text::Reason;
    namespace msg = tarvo::text::msg;
    tarvo::text::buildUiText(tarvo::text::kLanguageEnglish);
    const auto refusal = tarvo::text::tr(msg::kAssignRefused) + u": " +
                         tarvo::text::formatText(tarvo::text::tr(msg::kVerifyConnectFailedFormat),
                                                 {u"10.0.0.9", u"5505"});
    const Reason r = Reason::recognise(refusal);
    EXPECT_EQ(r,
              Reason::said(msg::kAssignRefused)
                  .because(Reason::said(msg::kVerifyConnectFailedFormat,
                                        {Reason::literal("10.0.0.9"), Reason::literal("5505")})));
    const auto stored = tarvo::text::encodeReason(r);
    EXPECT_EQ(tarvo::text::decodeReason(stored), r);
    EXPECT_EQ(tarvo::text::showStored(stored), refusal);
    tarvo::text::buildUiText(tarvo::text::kLanguageChinese);
    EXPECT_EQ(tarvo::text::showStored(stored),
              std::u16string(msg::kAssignRefused) + u": " +
                  tarvo::text::formatText(msg::kVerifyConnectFailedFormat, {u"10.0.0.9", u"5505"}));

    EXPECT_EQ(Reason::recognise(u"{\"key\": 1}"), Reason::literal("{\"key\": 1}"));
    EXPECT_EQ(tarvo::text::showStored("{\"key\": 1}"), u"{\"key\": 1}");
    EXPECT_EQ(tarvo::text::showStored(R"({"key":"FromANewerProgram","values":["x"]})"),
              u"FromANewerProgram x");
    EXPECT_EQ(tarvo::text::showStored(R"({"key":"AssignRefused","values":[{"key":)"),
              u"{\"key\":\"AssignRefused\",\"values\":[{\"key\":");
}

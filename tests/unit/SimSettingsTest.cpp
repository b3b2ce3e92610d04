// The simulator's own word on what it takes: every device setting it accepts is named in its
// --help and in its manual page, and every option of --help in the manual page. The settings
// come from the simulator's own table, so one added there without a word in either fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunProcess.h"
#include "support/SimProcess.h"

using namespace tarvo;

namespace {

bool wordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// `name` as a word of its own: not part of a longer name ("mask" is not "netmask").
bool names(const std::string& text, const std::string& name) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        const auto end = at + name.size();
        const bool startsWord = at == 0 || (!wordChar(text[at - 1]) && text[at - 1] != '.');
        const bool endsWord = end == text.size() || !wordChar(text[end]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

// Every "--option" in `text`.
std::vector<std::string> optionsIn(const std::string& text) {
    std::vector<std::string> out;
    for (auto at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        auto end = at + 2;
        if (end >= text.size() || text[end] < 'a' || text[end] > 'z') continue;
        while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') || text[end] == '-'))
            ++end;
        out.push_back(text.substr(at, end - at));
        at = end - 2;
    }
    return out;
}

std::string manualPage() {
    const auto path = std::filesystem::path(TARVO_SOURCE_DIR) / "packaging/man/tarvo-sim.1.in";
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    // As it reads: without font changes, with plain hyphens.
    std::string plain;
    const std::string page = text.str();
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] == '\\' && i + 1 < page.size()) {
            const char next = page[i + 1];
            if (next == 'f' && i + 2 < page.size()) {
                i += 2;  // \fB, \fI, \fR, \fP
                continue;
            }
            if (next == '-') {
                plain += '-';
                ++i;
                continue;
            }
        }
        plain += page[i];
    }
    return plain;
}

}  // namespace

// Runs the simulator only to print its help and its list: no socket is opened.
TEST(SimSettings, EverySettingIsInTheHelpAndTheManualPage) {
    const std::string sim = test::SimProcess::executablePath();
    const auto list = test::runProcess({sim, "--list-settings"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    std::vector<std::string> settings;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) settings.push_back(line);
    // Identity, faults, uploads and video: the table is read whole.
    for (const char* expected : {"ip", "replyShape", "uploadInstalls", "video.codec"})
        EXPECT_NE(std::find(settings.begin(), settings.end(), expected), settings.end())
            << expected;

    const auto help = test::runProcess({sim, "--help"});
    ASSERT_EQ(help.exitCode, 0) << help.err;
    const std::string manual = manualPage();
    ASSERT_FALSE(manual.empty());
    EXPECT_TRUE(names(manual, "--list-settings") && names(help.out, "--list-settings"));
    // Every command-line option --help shows is in the manual page too.
    for (const auto& option : optionsIn(help.out))
        EXPECT_TRUE(names(manual, option)) << option << " is not in tarvo-sim(1)";
    for (const auto& setting : settings) {
        EXPECT_TRUE(names(help.out, setting)) << setting << " is not in tarvo-sim --help";
        EXPECT_TRUE(names(manual, setting)) << setting << " is not in tarvo-sim(1)";
    }
}

// The simulator's own word on what it takes: every device setting it accepts is named in its
// --help and in its manual page, and every option of --help in the manual page. The settings
// come from the simulator's own table, so one added there without a word in either fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunProcess.h"
#include "support/SimProcess.h"

using namespace tarvo;

namespace {

// `name` as a word of its own: not part of a longer name ("mask" is not "netmask").
bool names(const std::string& text, const std::string& name) {
    const std::regex word("(^|[^A-Za-z0-9.])" +
                          std::regex_replace(name, std::regex(R"(\.)"), R"(\.)") +
                          "($|[^A-Za-z0-9])");
    return std::regex_search(text, word);
}

std::string manualPage() {
    const auto path = std::filesystem::path(TARVO_SOURCE_DIR) / "packaging/man/tarvo-sim.1.in";
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    // As it reads: without font changes, with plain hyphens.
    const std::string plain = std::regex_replace(text.str(), std::regex(R"(\\f[BIRP])"), "");
    return std::regex_replace(plain, std::regex(R"(\\-)"), "-");
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
    const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option);
         it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(names(manual, it->str())) << it->str() << " is not in tarvo-sim(1)";
    for (const auto& setting : settings) {
        EXPECT_TRUE(names(help.out, setting)) << setting << " is not in tarvo-sim --help";
        EXPECT_TRUE(names(manual, setting)) << setting << " is not in tarvo-sim(1)";
    }
}

// A site's texts on the terminal: a plan's names and locations, and whatever a site file made
// elsewhere holds in its MACs and addresses, are shown as device texts are, their control
// characters escaped, in every command that prints them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/site/SiteFile.h"
#include "core/text/TerminalText.h"
#include "support/RunProcess.h"
#include "support/UniqueName.h"

using namespace tarvo;

namespace {

// A clipboard write, a screen clear and a colour: what a hostile text would make the terminal do.
const std::string kClipboard = "\x1b]52;c;cm0gLXJmIH4=\x07";
const std::string kClear = "\x1b[2J";
const std::string kRed = "\x1b[31m";

class SiteTerminalE2E : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tarvo-site-tty-" + test::uniqueName());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string site() const { return (dir_ / "s.tarvo-site").string(); }

    // The text every command below prints from the site, on stdout and stderr.
    std::vector<std::pair<std::string, std::string>> outputs() const {
        std::vector<std::pair<std::string, std::string>> out;
        const std::vector<std::vector<std::string>> commands{
            {"plan", "show"},
            {"status", "--seconds", "0.5"},
            {"status", "--csv", "--seconds", "0.5"},
            {"apply", "--dry-run", "--search-seconds", "0.5"}};
        for (const auto& command : commands) {
            std::vector<std::string> argv{TARVO_CLI_PATH, "site", "--site", site()};
            argv.insert(argv.end(), command.begin(), command.end());
            const auto r = test::runProcess(argv, std::chrono::seconds(30),
                                            {"LANG=en_US.UTF-8", "LC_ALL=", "TARVO_PASSWORD="});
            EXPECT_FALSE(r.timedOut) << command[0];
            std::string name;
            for (const auto& part : command) name += part + " ";
            out.emplace_back(name, r.out + r.err);
        }
        return out;
    }

    std::filesystem::path dir_;
};

// What reaches the terminal holds no escape or bell, and shows the hostile parts as escapes.
void expectEscaped(const std::string& command, const std::string& printed,
                   const std::vector<std::string>& shownAs) {
    // Shown escaped here too, should it fail.
    const std::string told = command + "\n" + text::escapeControls(printed);
    EXPECT_EQ(printed.find('\x1b'), std::string::npos) << told;
    EXPECT_EQ(printed.find('\x07'), std::string::npos) << told;
    for (const auto& part : shownAs) EXPECT_NE(printed.find(part), std::string::npos) << told;
}

}  // namespace

// A plan imported as usual: its names and locations are free text.
TEST_F(SiteTerminalE2E, NamesAndLocationsOfAPlan) {
    site::SiteFile::open(site())->replacePlan(
        {{2, "02:00:0A:FA:02:01", "10.250.0.40", "255.255.255.0", "10.250.0.1", "",
          "Gate" + kClipboard, "Hall" + kClear, ""}});
    for (const auto& [command, printed] : outputs()) {
        if (command.rfind("apply", 0) == 0) {
            expectEscaped(command, printed, {});  // names no name or location
        } else {
            expectEscaped(command, printed, {"Gate\\x1b]52;c;cm0gLXJmIH4=\\x07", "Hall\\x1b[2J"});
        }
    }
}

// A site file written by something else: its MACs, addresses, mask and gateway are read raw,
// and the CSV still keeps a formula from a spreadsheet.
TEST_F(SiteTerminalE2E, EveryFieldOfASiteFileMadeElsewhere) {
    site::SiteFile::open(site())->replacePlan(
        {{2, "02:00:0A:FA:02:02" + kClear, "10.250.0.41" + kClipboard, "255.255.255.0" + kRed,
          kRed + "10.250.0.1", "", "=HYPERLINK(\"x\")", "", ""}});
    for (const auto& [command, printed] : outputs()) {
        std::vector<std::string> shownAs{"02:00:0A:FA:02:02\\x1b[2J",
                                         "10.250.0.41\\x1b]52;c;cm0gLXJmIH4=\\x07"};
        if (command.rfind("plan", 0) == 0) {
            shownAs.push_back("255.255.255.0\\x1b[31m");
            shownAs.push_back("\\x1b[31m10.250.0.1");
        }
        expectEscaped(command, printed, shownAs);
        if (command.find("--csv") != std::string::npos) {
            EXPECT_NE(printed.find("\"'=HYPERLINK(\"\"x\"\")\""), std::string::npos)
                << text::escapeControls(printed);
        }
    }
}

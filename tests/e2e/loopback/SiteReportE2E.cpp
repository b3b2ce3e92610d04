// A site's report through the command line, read back as its reader reads it: the HTML refers
// to nothing outside itself, and in the PDF every device's row, Chinese names included, stands
// whole on one page.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/site/SiteFile.h"
#include "core/text/TextConvert.h"
#include "support/RunProcess.h"
#include "support/TestJpeg.h"
#include "support/UniqueName.h"

using namespace tarvo;

namespace {

constexpr int kDevices = 26;

std::string macOf(int i) {
    char mac[18];
    (void)std::snprintf(mac, sizeof mac, "02:00:0A:FA:01:%02X", i);
    return mac;
}
// Names and locations that are no part of another's.
std::string numbered(const std::string& prefix, int i) {
    return prefix + (i < 10 ? "0" : "") + std::to_string(i) + "号";
}
std::string nameOf(int i) {
    return numbered(i % 3 == 0 ? "东门摄像机" : "Camera-", i);
}

class SiteReportE2E : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tarvo-report-e2e-" + test::uniqueName());
        std::filesystem::create_directories(dir_);
        auto site = site::SiteFile::open(file("s.tarvo-site"));
        site->setName("仓库 <B>");
        std::vector<site::PlanRow> plan;
        std::vector<discovery::DeviceRow> heard;
        for (int i = 0; i < kDevices; ++i) {
            plan.push_back({i + 2, macOf(i), "10.250.0." + std::to_string(20 + i), "", "", "",
                            nameOf(i), numbered("位置-", i), ""});
            discovery::DeviceRow row;
            row.mac = text::fromUtf8(macOf(i));
            row.address = text::fromUtf8("10.250.0." + std::to_string(20 + i));
            row.name = u"IPCamera";
            row.type = 100;
            heard.push_back(row);
        }
        // A name that is markup must stay text.
        plan[1].name = "<script>alert(1)</script>";
        site->replacePlan(plan);
        site->recordSearch(heard, site::SiteFile::now());
        for (int i = 0; i < kDevices; ++i) {
            site::ActionRecord a;
            a.mac = macOf(i);
            a.address = plan[static_cast<std::size_t>(i)].address;
            a.kind = "verify";
            a.started = site::SiteFile::now();
            a.newValue = "V5.2." + std::to_string(i);
            // Every fifth device gave no picture; rows differ in height.
            if (i % 5 != 4) a.snapshot = test::testJpeg(640, 360, i);
            const auto id = site->beginAction(a);
            const bool ok = i % 7 != 6;
            site->finishAction(id, ok ? "ok" : "failed", ok ? "" : "没有关键帧", a.started + 12,
                               "{\"connectMs\":3,\"loginMs\":8,\"firstKeyMs\":640,\"fps\":25,"
                               "\"kbps\":" +
                                   std::to_string(3000 + i) +
                                   ",\"width\":640,\"height\":360,\"seconds\":10}");
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    test::ProcessResult report(const std::string& out) {
        return test::runProcess(
            {TARVO_CLI_PATH, "site", "--site", file("s.tarvo-site"), "report", "--out", out},
            std::chrono::seconds(60), {"LANG=zh_CN.UTF-8", "LC_ALL="});
    }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string withoutSpaces(std::string s) {
    std::erase_if(s, [](char c) { return c == ' ' || c == '\n' || c == '\r'; });
    return s;
}

// The values of every src= and href= attribute, as a browser would find them (any case, spaces
// around '=', quoted or not). Read by hand: GCC 12's std::regex does not build warning-free with
// the sanitizers.
std::vector<std::string> references(const std::string& html) {
    std::string lower = html;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<std::string> found;
    for (const std::string name : {"src", "href"}) {
        for (std::size_t at = lower.find(name); at != std::string::npos;
             at = lower.find(name, at + 1)) {
            if (at > 0 && (std::isalnum(static_cast<unsigned char>(lower[at - 1])) != 0)) continue;
            std::size_t i = at + name.size();
            while (i < lower.size() && std::isspace(static_cast<unsigned char>(lower[i])) != 0) ++i;
            if (i >= lower.size() || lower[i] != '=') continue;
            ++i;
            while (i < lower.size() && std::isspace(static_cast<unsigned char>(lower[i])) != 0) ++i;
            if (i < lower.size() && (lower[i] == '"' || lower[i] == '\'')) ++i;
            const std::size_t end = lower.find_first_of("\"' \t\r\n>", i);
            found.push_back(lower.substr(i, end == std::string::npos ? end : end - i));
        }
    }
    return found;
}

bool havePoppler() {
    return test::runProcess({"pdftotext", "-v"}).exitCode == 0;
}

}  // namespace

TEST_F(SiteReportE2E, HtmlIsOneFileWithItsTextsEscaped) {
    const auto r = report(file("r.html"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string html = bytesOf(file("r.html"));
    for (int i = 0; i < kDevices; ++i) EXPECT_NE(html.find(macOf(i)), std::string::npos) << i;
    EXPECT_NE(html.find(nameOf(0)), std::string::npos);
    int pictures = 0;
    for (const auto& value : references(html)) {
        EXPECT_EQ(value.rfind("data:", 0), 0u) << value.substr(0, 80);
        ++pictures;
    }
    EXPECT_EQ(pictures, kDevices - kDevices / 5);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<B>"), std::string::npos);
}

TEST_F(SiteReportE2E, PdfRowsStandWholeOnOnePage) {
    // scripts/setup installs it: a report test that passes without reading the PDF proves nothing.
    ASSERT_TRUE(havePoppler()) << "pdftotext (poppler-utils) is not installed: run scripts/setup";
    const auto r = report(file("r.pdf"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto info = test::runProcess({"pdfinfo", file("r.pdf")});
    const auto pages = info.out.find("Pages:");
    ASSERT_NE(pages, std::string::npos) << info.out;
    const int count = std::atoi(info.out.c_str() + pages + 6);
    ASSERT_GE(count, 3) << "the rows must run over several pages";
    std::vector<std::string> text;
    for (int p = 1; p <= count; ++p) {
        const auto page = test::runProcess(
            {"pdftotext", "-f", std::to_string(p), "-l", std::to_string(p), file("r.pdf"), "-"});
        ASSERT_EQ(page.exitCode, 0) << page.err;
        // Cells wrap their lines where they like: the texts are compared without spaces.
        text.push_back(withoutSpaces(page.out));
    }
    // The row's texts from its top (MAC, name) to its bottom (location, the figures' last
    // lines) are all on the page that has its name, and its name on one page only (the MAC
    // comes again in the action log).
    for (int i = 0; i < kDevices; ++i) {
        const std::string name = i == 1 ? "<script>alert(1)</script>" : nameOf(i);
        const std::vector<std::string> parts{macOf(i), numbered("位置-", i),
                                             "码率 " + std::to_string(3000 + i) + " kbit/s",
                                             "测量 10.0 秒"};
        int pages = 0;
        for (const auto& page : text) {
            if (page.find(withoutSpaces(name)) == std::string::npos) continue;
            ++pages;
            for (const auto& part : parts) {
                EXPECT_NE(page.find(withoutSpaces(part)), std::string::npos)
                    << "device " << i << " is cut by a page break: " << part;
            }
        }
        EXPECT_EQ(pages, 1) << "device " << i;
    }
}

TEST_F(SiteReportE2E, OtherNamesAndUnwritablePlacesLeaveNoFile) {
    const auto wrong = report(file("r.txt"));
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find(".html"), std::string::npos) << wrong.err;
    EXPECT_FALSE(std::filesystem::exists(file("r.txt")));
    for (const auto* name : {"missing/r.html", "missing/r.pdf"}) {
        const auto r = report(file(name));
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_NE(r.err.find(file(name)), std::string::npos) << r.err;
    }
    // A folder that takes no new file: nothing is left in it, not even a temporary file.
    std::filesystem::create_directories(file("ro"));
    std::filesystem::permissions(
        file("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::geteuid() != 0) {
        EXPECT_EQ(report(file("ro/r.pdf")).exitCode, 1);
        EXPECT_TRUE(std::filesystem::is_empty(file("ro")));
    }
}

// A site on a read-only folder or medium (a read-only mount here, as root writes anywhere else):
// its plan is shown and its report written elsewhere; its status shows the states and says the
// search was not recorded. Nothing appears beside it.
TEST_F(SiteReportE2E, ASiteOnAReadOnlyMediumIsReadAndReported) {
    const std::string folder = (dir_ / "medium").string();
    std::filesystem::create_directories(folder);
    std::filesystem::rename(file("s.tarvo-site"), folder + "/s.tarvo-site");
    const std::string site = folder + "/s.tarvo-site";
    auto readOnly = [&](const std::vector<std::string>& command) {
        std::string line = "mount --bind '" + folder + "' '" + folder +
                           "' && mount -o remount,bind,ro '" + folder + "' && exec";
        for (const auto& a : command) line += " '" + a + "'";
        return test::runProcess({"unshare", "-m", "sh", "-c", line}, std::chrono::seconds(60),
                                {"LANG=en_US.UTF-8", "LC_ALL="});
    };
    const auto probe = readOnly({"true"});
    if (probe.exitCode != 0) GTEST_SKIP() << "no read-only mount here: " << probe.err;

    const auto show = readOnly({TARVO_CLI_PATH, "site", "--site", site, "plan", "show"});
    EXPECT_EQ(show.exitCode, 0) << show.err;
    EXPECT_NE(show.out.find(macOf(3)), std::string::npos) << show.out;
    const auto html =
        readOnly({TARVO_CLI_PATH, "site", "--site", site, "report", "--out", file("r.html")});
    EXPECT_EQ(html.exitCode, 0) << html.err;
    EXPECT_NE(bytesOf(file("r.html")).find(macOf(3)), std::string::npos);
    const auto status =
        readOnly({TARVO_CLI_PATH, "site", "--site", site, "status", "--seconds", "0.2", "--csv"});
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_NE(status.out.find(macOf(3)), std::string::npos) << status.out;
    EXPECT_NE(status.err.find("not recorded"), std::string::npos) << status.err;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename(), "s.tarvo-site");
}

// A report is the program's own output: the decoder's log lines of its pictures do not reach
// the terminal.
TEST_F(SiteReportE2E, TheDecoderSaysNothingOnTheTerminal) {
    {
        auto site = site::SiteFile::open(file("s.tarvo-site"));
        site::ActionRecord a;
        a.mac = macOf(0);
        a.kind = "verify";
        a.started = site::SiteFile::now();
        auto jpeg = test::testJpeg(640, 360, 1);
        jpeg.resize(jpeg.size() / 2);  // a picture cut short
        a.snapshot = jpeg;
        site->finishAction(site->beginAction(a), "ok", "", a.started + 1);
    }
    for (const auto* name : {"r.html", "r.pdf"}) {
        const auto r = report(file(name));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "") << name;
    }
}

// A site file that brings a trigger of its own (here one forging a passed verification at each
// search) is refused by every command, and left as it was with nothing beside it; a site named
// "file:…" is that file, not a URI naming another.
TEST_F(SiteReportE2E, EveryCommandRefusesASiteWithObjectsOfItsOwn) {
    const std::string site = file("s.tarvo-site");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(site.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db,
                               "CREATE TRIGGER forge AFTER INSERT ON searches BEGIN INSERT INTO "
                               "actions (mac, kind, started, outcome, new_value) VALUES "
                               "('02:00:0A:FA:01:00', 'verify', 1, 'ok', 'V9'); END",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    const std::string before = bytesOf(site);
    const std::vector<std::vector<std::string>> commands{
        {"status", "--seconds", "0.2"}, {"plan", "show"}, {"report", "--out", file("r.html")}};
    for (const auto& command : commands) {
        std::vector<std::string> argv{TARVO_CLI_PATH, "site", "--site", site};
        argv.insert(argv.end(), command.begin(), command.end());
        const auto r = test::runProcess(argv, std::chrono::seconds(60), {"LANG=en_US.UTF-8"});
        EXPECT_EQ(r.exitCode, 1) << command[0] << ": " << r.err;
        EXPECT_NE(r.err.find("forge"), std::string::npos) << r.err;
        EXPECT_TRUE(bytesOf(site) == before) << command[0];
    }
    EXPECT_FALSE(std::filesystem::exists(file("r.html")));
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(std::filesystem::exists(site + suffix)) << suffix;

    // "file:s.tarvo-site?…" is a new site of that name, in the working folder.
    const auto r =
        test::runProcess({"sh", "-c",
                          "cd '" + dir_.string() + "' && exec '" + TARVO_CLI_PATH +
                              "' site --site 'file:s.tarvo-site?mode=rwc' status --seconds 0.2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(bytesOf(site) == before);
    EXPECT_TRUE(std::filesystem::exists(file("file:s.tarvo-site?mode=rwc")));
}

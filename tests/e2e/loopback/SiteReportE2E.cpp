// A site's report through the command line, read back as its reader reads it: the HTML refers
// to nothing outside itself, and in the PDF every device's row, Chinese names included, stands
// whole on one page.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <sys/resource.h>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/site/SiteFile.h"
#include "core/text/TextConvert.h"
#include "support/RunProcess.h"
#include "support/SimProcess.h"
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
                                   ",\"width\":640,\"height\":360,\"seconds\":10,"
                                   "\"brightness\":117.6,\"contrast\":48.25,\"sharpness\":" +
                                   std::to_string(2000 + i) + "}");
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    test::ProcessResult report(const std::string& out, const std::string& lang = "zh_CN.UTF-8",
                               const std::string& site = "s.tarvo-site") {
        return test::runProcess(
            {TARVO_CLI_PATH, "site", "--site", file(site), "report", "--out", out},
            std::chrono::seconds(90), {"LANG=" + lang, "LC_ALL="});
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
        const auto page = test::runProcess({"pdftotext", "-raw", "-f", std::to_string(p), "-l",
                                            std::to_string(p), file("r.pdf"), "-"});
        ASSERT_EQ(page.exitCode, 0) << page.err;
        // In the order the cells were drawn, each cell whole; cells wrap their lines where they
        // like: the texts are compared without spaces.
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

namespace {

// The lines of the PDF's text as laid out on its pages.
std::vector<std::string> layoutLines(const std::string& pdf) {
    const auto r = test::runProcess({"pdftotext", "-layout", pdf, "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The HTML of the device table's rows of `mac` (up to the next device's MAC).
std::string rowOf(const std::string& html, const std::string& mac) {
    const auto at = html.find(mac);
    if (at == std::string::npos) return {};
    const auto start = html.rfind("<tr>", at);
    const auto next = html.find("<span class=\"mac\">", at + mac.size());
    return html.substr(start, next == std::string::npos ? std::string::npos : next - start);
}

}  // namespace

// At the top, the summary counts the devices by their state and verification; each device's row
// says its state.
TEST_F(SiteReportE2E, SummaryAndStateColumnCountTheSite) {
    {
        auto site = site::SiteFile::open(file("s.tarvo-site"));
        auto plan = site->plan();
        plan[3].address = "10.250.0.99";  // heard at .23
        plan.push_back({40, macOf(200), "10.250.0.200", "", "", "", "未安装", "", "待安装"});
        plan.push_back({41, macOf(201), "10.250.0.201", "", "", "", "未安装2", "", ""});
        site->replacePlan(plan);
        discovery::DeviceRow extra;
        extra.mac = text::fromUtf8(macOf(202));
        extra.address = u"10.250.0.202";
        extra.type = 100;
        site->recordSearch({extra}, site::SiteFile::now());
    }
    ASSERT_EQ(report(file("r.html"), "en_US.UTF-8").exitCode, 0);
    const std::string html = bytesOf(file("r.html"));
    const auto summary = html.find(
        "Planned devices: 28 (in place 25, at another address 1, "
        "missing 2); not in the plan: 1");
    EXPECT_NE(summary, std::string::npos) << html.substr(0, 3000);
    EXPECT_LT(summary, html.find(macOf(0)));
    EXPECT_NE(html.find("Verification: 23 passed, 3 failed, 3 not verified; 0 verified before "
                        "their present firmware"),
              std::string::npos);
    EXPECT_NE(rowOf(html, macOf(0)).find("In place"), std::string::npos);
    EXPECT_NE(rowOf(html, macOf(3)).find("At another address"), std::string::npos);
    EXPECT_NE(rowOf(html, macOf(3)).find("planned 10.250.0.99"), std::string::npos)
        << rowOf(html, macOf(3));
    EXPECT_NE(rowOf(html, macOf(200)).find("待安装"), std::string::npos);  // the plan's note
    EXPECT_NE(rowOf(html, macOf(200)).find("Never answered"), std::string::npos);
    EXPECT_NE(rowOf(html, macOf(202)).find("Not in the plan"), std::string::npos);
}

// A verification's figures read on one line of the page, in either language, and the picture's
// on one line of their own.
TEST_F(SiteReportE2E, FiguresStandOnOneLine) {
    ASSERT_TRUE(havePoppler()) << "pdftotext (poppler-utils) is not installed: run scripts/setup";
    struct Language {
        std::string lang;
        std::vector<std::vector<std::string>> lines;  // what stands on one line, by line
    };
    const std::vector<Language> languages{
        {"zh_CN.UTF-8",
         {{"连接 3 ms", "首个关键帧 640 ms", "码率 30", "测量 10.0 秒"},
          {"亮度 118/255", "对比度 48", "清晰度 20"}}},
        {"en_US.UTF-8",
         {{"connect 3 ms", "640 ms", "kbit/s", "10.0 s"},
          {"brightness 118/255", "contrast 48", "sharpness 20"}}}};
    for (const auto& [lang, expected] : languages) {
        ASSERT_EQ(report(file("r.pdf"), lang).exitCode, 0) << lang;
        const auto pdf = layoutLines(file("r.pdf"));
        for (const auto& parts : expected) {
            int lines = 0;
            for (const auto& line : pdf) {
                if (line.find(parts[0]) == std::string::npos) continue;
                ++lines;
                for (const auto& part : parts)
                    EXPECT_NE(line.find(part), std::string::npos) << lang << ": " << line;
            }
            EXPECT_EQ(lines, kDevices) << lang << ": " << parts[0];
        }
    }
}

// A camera verified and then upgraded: its verification still shows its result, marked as older
// than the firmware it runs now, with the version it was made on and the upgrade's.
TEST_F(SiteReportE2E, AVerificationBeforeAnUpgradeIsMarkedOlderThanTheFirmware) {
    const std::string ip = "127.0.0.31";
    test::SimProcess sim(nlohmann::json{{"devices",
                                         {{{"ip", ip},
                                           {"type", 100},
                                           {"password", "pw"},
                                           {"version", "v00.00.02.08"},
                                           {"uploadInstalls", true}}}}});
    const std::string site = file("v.tarvo-site");
    const std::vector<std::string> english{"LANG=en_US.UTF-8", "LC_ALL="};
    const auto verify = test::runProcess({TARVO_CLI_PATH, "site", "--site", site, "verify", ip,
                                          "--password", "pw", "--seconds", "1"},
                                         std::chrono::seconds(60), english);
    ASSERT_EQ(verify.exitCode, 0) << verify.out << verify.err;
    ASSERT_EQ(report(file("before.html"), "en_US.UTF-8", "v.tarvo-site").exitCode, 0);
    const std::string before = bytesOf(file("before.html"));
    EXPECT_NE(before.find("Passed"), std::string::npos);
    EXPECT_EQ(before.find("Older than its firmware"), std::string::npos);

    const std::string package = file("IPC_update_00.00.03.08.img");
    std::ofstream(package, std::ios::binary) << std::string(100000, 'x');
    const auto upgrade = test::runProcess({TARVO_CLI_PATH, "upgrade", ip, package, "--password",
                                           "pw", "--wait", "30", "--site", site},
                                          std::chrono::seconds(90), english);
    ASSERT_EQ(upgrade.exitCode, 0) << upgrade.out << upgrade.err;

    ASSERT_EQ(report(file("after.html"), "en_US.UTF-8", "v.tarvo-site").exitCode, 0);
    const std::string after = bytesOf(file("after.html"));
    EXPECT_NE(after.find("Passed"), std::string::npos);
    EXPECT_NE(after.find("Older than its firmware: Verified on firmware v00.00.02.08; upgraded to "
                         "v00.00.03.08 on "),
              std::string::npos)
        << after;
    EXPECT_NE(after.find("0 not verified; 1 verified before their present firmware"),
              std::string::npos);
    EXPECT_NE(after.find("Devices upgraded: 1"), std::string::npos);
    ASSERT_EQ(report(file("after.pdf"), "zh_CN.UTF-8", "v.tarvo-site").exitCode, 0);
    const auto text = test::runProcess({"pdftotext", file("after.pdf"), "-"});
    EXPECT_NE(withoutSpaces(text.out).find("早于现在的固件"), std::string::npos) << text.out;
}

// A camera whose picture is black fails its verification: the command line and the report say
// why in the reader's language, and show the picture's figures beside the stream's.
TEST_F(SiteReportE2E, APictureThatFailsItsCheckShowsWhyAndItsFigures) {
    const std::string ip = "127.0.0.32";
    test::SimProcess sim(nlohmann::json{
        {"devices",
         {{{"ip", ip},
           {"type", 100},
           {"password", "pw"},
           {"video", {{"width", 704}, {"height", 576}, {"bitrate", 1024}, {"scene", "black"}}}}}}});
    const std::string site = file("black.tarvo-site");
    const auto verify = test::runProcess({TARVO_CLI_PATH, "site", "--site", site, "verify", ip,
                                          "--password", "pw", "--seconds", "1"},
                                         std::chrono::seconds(60), {"LANG=en_US.UTF-8", "LC_ALL="});
    EXPECT_NE(verify.exitCode, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find("Failed: picture is black (brightness "), std::string::npos)
        << verify.out;
    for (const char* figure : {"/255, contrast ", ", sharpness "})
        EXPECT_NE(verify.out.find(figure), std::string::npos) << figure << "\n" << verify.out;

    const std::vector<std::pair<std::string, std::vector<std::string>>> languages{
        {"zh_CN.UTF-8", {"画面全黑（亮度 ", "亮度&nbsp;", "对比度&nbsp;", "清晰度&nbsp;"}},
        {"en_US.UTF-8",
         {"picture is black (brightness ", "brightness&nbsp;", "contrast&nbsp;",
          "sharpness&nbsp;"}}};
    for (const auto& [lang, parts] : languages) {
        ASSERT_EQ(report(file("black.html"), lang, "black.tarvo-site").exitCode, 0) << lang;
        const std::string html = bytesOf(file("black.html"));
        for (const auto& part : parts)
            EXPECT_NE(html.find(part), std::string::npos) << lang << ": " << part;
    }
}

// 300 verified devices, each with its snapshot: both reports are written, each device's row
// whole, the PDF in a bounded number of pages and the HTML in a bounded size, within the
// test's time.
TEST_F(SiteReportE2E, ThreeHundredDevicesMakeABoundedReport) {
    constexpr int kMany = 300;
    const std::string big = file("big.tarvo-site");
    {
        auto site = site::SiteFile::open(big);
        std::vector<site::PlanRow> plan;
        std::vector<discovery::DeviceRow> heard;
        for (int i = 0; i < kMany; ++i) {
            char mac[18];
            (void)std::snprintf(mac, sizeof mac, "02:00:0B:00:%02X:%02X", i >> 8, i & 255);
            const std::string address =
                "10.20." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 10);
            plan.push_back({i + 2, mac, address, "", "", "", nameOf(i), numbered("位置-", i), ""});
            discovery::DeviceRow row;
            row.mac = text::fromUtf8(mac);
            row.address = text::fromUtf8(address);
            row.type = 89;
            heard.push_back(row);
        }
        site->replacePlan(plan);
        site->recordSearch(heard, site::SiteFile::now());
        std::vector<std::vector<unsigned char>> pictures;
        for (int k = 0; k < 4; ++k) pictures.push_back(test::testJpeg(1280, 720, k, 8));
        for (int i = 0; i < kMany; ++i) {
            site::ActionRecord a;
            a.mac = plan[static_cast<std::size_t>(i)].mac;
            a.kind = "verify";
            a.started = site::SiteFile::now();
            a.newValue = "V5.2";
            a.snapshot = pictures[static_cast<std::size_t>(i) % pictures.size()];
            site->finishAction(site->beginAction(a), "ok", "", a.started + 10,
                               R"({"connectMs":3,"fps":25,"kbps":4000,"width":1280,"height":720})");
        }
    }
    const auto pdf = report(file("big.pdf"), "zh_CN.UTF-8", "big.tarvo-site");
    ASSERT_EQ(pdf.exitCode, 0) << pdf.err;
    const auto html = report(file("big.html"), "en_US.UTF-8", "big.tarvo-site");
    ASSERT_EQ(html.exitCode, 0) << html.err;
    const auto info = test::runProcess({"pdfinfo", file("big.pdf")});
    const auto at = info.out.find("Pages:");
    ASSERT_NE(at, std::string::npos) << info.out;
    const int pages = std::atoi(info.out.c_str() + at + 6);
    // About seven rows a page, the action log after them.
    EXPECT_GE(pages, kMany / 10);
    EXPECT_LE(pages, kMany / 4);
    // A thumbnail of 256 x 144 a device, not the snapshot itself (about 100 KB here).
    EXPECT_LT(std::filesystem::file_size(file("big.html")),
              static_cast<std::uintmax_t>(kMany) * 40 * 1024);
    EXPECT_LT(std::filesystem::file_size(file("big.pdf")),
              static_cast<std::uintmax_t>(kMany) * 60 * 1024);
    // One picture at a time: the report's memory does not grow with the site's snapshots.
    rusage usage{};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 400L * 1024) << "KiB";
}

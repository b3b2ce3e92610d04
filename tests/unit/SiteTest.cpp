// Site files, address plans and the states of a site's devices.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "AllocationCount.h"
#include "core/preview/Picture.h"
#include "core/site/MacText.h"
#include "core/site/PlanCsv.h"
#include "core/site/PlanReview.h"
#include "core/site/SiteFile.h"
#include "core/site/SiteReport.h"
#include "core/site/SiteStatus.h"
#include "core/site/VerifyFigures.h"
#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"
#include "support/TestJpeg.h"

using namespace tarvo;
using site::PlanStep;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-site-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void sql(const std::string& path, const char* statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// True when SQLite left none of its side files beside `path`.
bool nothingBeside(const std::string& path) {
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (std::filesystem::exists(path + suffix)) return false;
    return true;
}

discovery::DeviceRow heardRow(const char* address, const char* mac, int type = 100) {
    discovery::DeviceRow row;
    row.address = text::fromUtf8(address);
    row.mac = text::fromUtf8(mac);
    row.type = type;
    return row;
}

site::PlanRow planRow(int line, const char* mac, const char* address) {
    site::PlanRow row;
    row.line = line;
    row.mac = mac;
    row.address = address;
    return row;
}

std::vector<int> problemLines(const std::vector<site::PlanProblem>& problems) {
    std::vector<int> lines;
    lines.reserve(problems.size());
    for (const auto& p : problems) lines.push_back(p.line);
    return lines;
}

}  // namespace

TEST(SitePlan, MacFormsOfLabelsAndTools) {
    for (const char* form : {"aa:bb:cc:0d:0e:0f", "AA-BB-CC-0D-0E-0F", "aabb.cc0d.0e0f",
                             "AABB-CC0D-0E0F", "aabbcc0d0e0f", " aa:bb:cc:d:e:f "}) {
        EXPECT_EQ(site::parseMac(form).value_or("none"), "AA:BB:CC:0D:0E:0F") << form;
    }
    for (const char* bad :
         {"", "aa:bb:cc:dd:ee", "aa:bb:cc:dd:ee:ff:00", "aa:bb-cc:dd:ee:ff", "gg:bb:cc:dd:ee:ff",
          "aabbccddeef", "00:00:00:00:00:00", "ff:ff:ff:ff:ff:ff", "aab.bcc.ddee.ff"}) {
        EXPECT_FALSE(site::parseMac(bad)) << bad;
    }
}

TEST(SitePlan, ReadsTheFilesSpreadsheetsSave) {
    // LibreOffice with a Chinese header: BOM, semicolons, CRLF, a quoted field holding the
    // separator, a quote and a line end; an empty row as spreadsheets leave them.
    const auto libre = site::readPlanCsv(
        "\xEF\xBB\xBF备注;MAC 地址;IP 地址;子网掩码;网关;名称\r\n"
        "\"a;\"\"b\"\"\r\nc\";aa-bb-cc-00-00-01;10.0.0.21;255.255.255.0;10.0.0.1;大门\r\n"
        ";;;;;\r\n"
        "x;aabb.cc00.0002;10.0.0.22;;;\r\n");
    ASSERT_TRUE(libre.problems.empty()) << text::toUtf8(libre.problems.front().text);
    ASSERT_EQ(libre.rows.size(), 2u);
    EXPECT_EQ(libre.rows[0].note, "a;\"b\"\r\nc");
    EXPECT_EQ(libre.rows[0].name, "大门");
    EXPECT_EQ(libre.rows[0].gateway, "10.0.0.1");
    EXPECT_EQ(libre.rows[1].mac, "AA:BB:CC:00:00:02");
    EXPECT_EQ(libre.rows[1].line, 5);

    // Excel's "Unicode text": UTF-16LE with BOM, tab-separated, English header.
    std::u16string wide = u"\uFEFFName\tMAC\tAddress\r\n东门\taabbcc000003\t10.0.0.23\r\n";
    std::string utf16;
    for (char16_t c : wide) {
        utf16 += static_cast<char>(c & 0xff);
        utf16 += static_cast<char>(c >> 8);
    }
    const auto excel = site::readPlanCsv(utf16);
    ASSERT_EQ(excel.rows.size(), 1u);
    EXPECT_EQ(excel.rows[0].name, "东门");
    EXPECT_EQ(excel.rows[0].address, "10.0.0.23");

    // Excel's plain CSV on a Chinese system: GB18030, commas, no BOM.
    const auto gb =
        site::readPlanCsv(text::narrowString(u"MAC,IP,位置\naa:bb:cc:00:00:04,10.0.0.24,北楼\n"));
    ASSERT_EQ(gb.rows.size(), 1u);
    EXPECT_EQ(gb.rows[0].location, "北楼");

    EXPECT_EQ(problemLines(site::readPlanCsv("name,ip\nx,10.0.0.1\n").problems),
              std::vector<int>{0});  // no MAC column
}

TEST(SitePlan, EveryBadRowIsNamedByItsLine) {
    const auto plan = site::readPlanCsv(
        "mac,ip,mask,gateway\n"
        "aa:bb:cc:00:00:01,10.0.0.21,255.255.255.0,10.0.0.1\n"  // good
        "zz,10.0.0.22,,\n"                                      // 3: not a MAC
        "aa:bb:cc:00:00:01,10.0.0.23,,\n"                       // 4: MAC again
        "aa:bb:cc:00:00:05,10.0.0.21,,\n"                       // 5: address again
        "aa:bb:cc:00:00:06,10.0.0.255,255.255.255.0,\n"         // 6: broadcast address
        "aa:bb:cc:00:00:07,10.0.0.27,255.255.255.0,10.0.1.1\n"  // 7: gateway elsewhere
        "aa:bb:cc:00:00:08,10.0.0.28,255.0.255.0,\n"            // 8: not a mask
        "aa:bb:cc:00:00:09,10.0.0.300,,\n");                    // 9: not an address
    EXPECT_EQ(problemLines(plan.problems), (std::vector<int>{3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(plan.rows.size(), 1u);
}

// Files made to hurt cost the reader no more than their length: each quote in an unquoted cell
// used to copy the cell so far, and every separator kept a cell of its own.
TEST(SitePlan, AHostileFileCostsItsLength) {
    if (!test::AllocationCount::works()) GTEST_SKIP() << "the sanitizers count allocations";
    (void)site::readPlanCsv("mac,ip\n");  // the header names, made once
    const std::vector<std::pair<const char*, std::string>> files{
        {"quotes", "MAC,IP\na" + std::string(1 << 16, '"') + ",10.0.0.1\n"},
        {"quoted quotes", "MAC,IP\n\"" + std::string(1 << 17, '"') + "\",10.0.0.1\n"},
        {"separators", "MAC,IP\n" + std::string(1 << 20, ',') + "\n"},
        {"separators in the header", std::string(1 << 20, ';') + "MAC;IP\n"},
        {"line ends", "MAC,IP\n" + std::string(1 << 16, '\n')},
    };
    for (const auto& [what, file] : files) {
        test::AllocationCount count;
        const auto plan = site::readPlanCsv(file);
        EXPECT_FALSE(plan.problems.empty()) << what;
        EXPECT_LE(count.bytes(), 8 * file.size()) << what;
        EXPECT_LE(count.allocations(), 100u) << what;
    }
}

// A problem names its field by the field's first characters, however long it is, and cuts no
// character in two.
TEST(SitePlan, AProblemShowsALongFieldCut) {
    const std::string mac(100000, 'z');
    std::string address;
    for (int i = 0; i < 50000; ++i) address += "北";
    const auto plan = site::readPlanCsv("MAC,IP,Gateway\n" + mac + "," + address + ",10.0.0.1\n" +
                                        "zz,10.0.0.2,1.2.3\n");
    ASSERT_EQ(plan.problems.size(), 4u);
    for (const auto& p : plan.problems) EXPECT_LT(p.text.size(), 120u) << text::toUtf8(p.text);
    EXPECT_NE(plan.problems[0].text.find(u"zzzzzzzzzz…"), std::u16string::npos);
    EXPECT_NE(plan.problems[1].text.find(u"北北北北北…"), std::u16string::npos);
    EXPECT_EQ(plan.problems[1].text.find(u'\uFFFD'), std::u16string::npos);
    // Short fields stand whole.
    EXPECT_NE(plan.problems[2].text.find(u"zz"), std::u16string::npos);
    EXPECT_EQ(plan.problems[2].text.find(u"…"), std::u16string::npos);
    EXPECT_NE(plan.problems[3].text.find(u"1.2.3"), std::u16string::npos);
}

// An address is read whole: what follows a NUL byte is no part of a valid address.
TEST(SitePlan, AnAddressWithANulIsRefused) {
    using namespace std::string_literals;
    const auto plan = site::readPlanCsv(
        "MAC,IP,Mask\n"
        "aa:bb:cc:00:00:01,10.0.0.1\0\x1b[2J,\n"
        "aa:bb:cc:00:00:02,10.0.0.2,255.255.255.0\0x\n"s);
    EXPECT_EQ(problemLines(plan.problems), (std::vector<int>{2, 3}));
    EXPECT_TRUE(plan.rows.empty());
}

// Plans past the most a file may hold are refused before anything else is said of them, and a
// file read from something without a size (a pipe) stops there too.
TEST(SitePlan, AFileTooLargeIsRefusedWhole) {
    std::string rows = "name\n";  // no MAC column either
    for (std::size_t i = 0; i < site::kMaxPlanRows; ++i) rows += "x\n";
    auto plan = site::readPlanCsv(rows);
    ASSERT_EQ(plan.problems.size(), 1u);
    EXPECT_EQ(plan.problems[0].text, text::tr(text::msg::kPlanTooLarge));
    plan = site::readPlanCsv(rows.substr(0, rows.size() - 2));
    ASSERT_EQ(plan.problems.size(), 1u);
    EXPECT_EQ(plan.problems[0].text, text::tr(text::msg::kPlanNoColumns));

    TempDir dir;
    const std::string fifo = dir.file("plan.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        // More than a plan may hold: the reader stops reading, and this waits to be killed.
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        const std::string block(1 << 16, ',');
        for (std::size_t sent = 0; fd >= 0 && sent <= site::kMaxPlanBytes; sent += block.size())
            if (::write(fd, block.data(), block.size()) < 0) break;
        ::_exit(0);
    }
    plan = site::readPlanFile(fifo);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    ASSERT_EQ(plan.problems.size(), 1u);
    EXPECT_EQ(plan.problems[0].text, text::tr(text::msg::kPlanTooLarge));
}

// A folder opens as a file would, and tells a size: it is no plan, not a plan too large.
TEST(SitePlan, AFolderIsUnreadable) {
    TempDir dir;
    const auto plan = site::readPlanFile(dir.file(""));
    ASSERT_EQ(plan.problems.size(), 1u);
    EXPECT_EQ(plan.problems[0].text, text::formatText(text::tr(text::msg::kPlanUnreadable),
                                                      {text::fromUtf8(dir.file(""))}));
}

// Errors of the plan block it; a device absent today, one that takes no addresses and a move to
// a network the computer is not on do not (the latter is noted), unless the apply is strict.
TEST(SitePlan, TheWholePlanIsCheckedAgainstWhatAnswered) {
    const std::vector<site::PlanRow> plan{
        planRow(2, "AA:00:00:00:00:01", "10.0.0.21"),    // moves
        planRow(3, "AA:00:00:00:00:02", "10.0.0.12"),    // already there
        planRow(4, "AA:00:00:00:00:03", "10.0.0.23"),    // did not answer
        planRow(5, "AA:00:00:00:00:04", "10.0.0.13"),    // taken by the unplanned device
        planRow(6, "AA:00:00:00:00:05", "10.0.0.25"),    // an NVR
        planRow(7, "AA:00:00:00:00:06", "192.168.9.9"),  // the site's camera network
        planRow(8, "AA:00:00:00:00:07", "10.0.0.16"),    // absent, its address taken meanwhile
    };
    std::vector<discovery::DeviceRow> heard{heardRow("10.0.0.11", "AA:00:00:00:00:01"),
                                            heardRow("10.0.0.12", "AA:00:00:00:00:02"),
                                            heardRow("10.0.0.13", "BB:00:00:00:00:01"),
                                            heardRow("10.0.0.14", "AA:00:00:00:00:04"),
                                            heardRow("10.0.0.15", "AA:00:00:00:00:05", 181),
                                            heardRow("10.0.0.16", "AA:00:00:00:00:06")};
    net::LocalInterface lan;
    net::parseIPv4("10.0.0.1", lan.address);
    net::parseIPv4("255.255.255.0", lan.netmask);
    for (auto& row : heard) row.heardOn = {lan.address};

    const auto review = site::reviewPlan(plan, heard, {lan});
    EXPECT_EQ(problemLines(review.problems), (std::vector<int>{5, 8}));
    ASSERT_EQ(review.steps.size(), 7u);
    EXPECT_EQ(review.steps[0].kind, PlanStep::Kind::Move);
    EXPECT_EQ(review.steps[0].fromAddress, "10.0.0.11");
    EXPECT_FALSE(review.steps[0].searchOnly);
    EXPECT_EQ(review.steps[1].kind, PlanStep::Kind::InPlace);
    EXPECT_EQ(review.steps[2].kind, PlanStep::Kind::Missing);
    EXPECT_EQ(review.steps[4].kind, PlanStep::Kind::NotMovable);
    EXPECT_EQ(review.steps[5].kind, PlanStep::Kind::Move);
    EXPECT_TRUE(review.steps[5].searchOnly);
    EXPECT_FALSE(review.complete());
    ASSERT_EQ(review.unplanned.size(), 1u);
    EXPECT_EQ(review.unplanned[0].address, u"10.0.0.13");

    // Without the two errors the rest goes ahead; strict, the absent camera and the NVR hold it.
    std::vector<site::PlanRow> good(plan.begin(), plan.begin() + 6);
    good.erase(good.begin() + 3);
    EXPECT_TRUE(site::reviewPlan(good, heard, {lan}).canApply());
    EXPECT_EQ(problemLines(site::reviewPlan(good, heard, {lan}, true).problems),
              (std::vector<int>{4, 6}));
}

// Each kind of address no device can take is refused before anything is sent.
TEST(SitePlan, AddressesNoDeviceCanTakeAreRefused) {
    auto withMask = [](site::PlanRow row) {
        row.mask = "255.255.255.0";
        return row;
    };
    const std::vector<site::PlanRow> plan{
        planRow(2, "AA:00:00:00:00:01", "0.1.2.3"),
        planRow(3, "AA:00:00:00:00:02", "127.0.0.5"),
        planRow(4, "AA:00:00:00:00:03", "224.0.0.9"),
        planRow(5, "AA:00:00:00:00:04", "239.255.1.1"),
        planRow(6, "AA:00:00:00:00:05", "255.255.255.255"),
        planRow(7, "AA:00:00:00:00:06", "240.0.0.1"),
        planRow(8, "AA:00:00:00:00:07", "10.0.0.1"),  // the computer's own
        withMask(planRow(9, "AA:00:00:00:00:08", "10.7.0.0")),
        withMask(planRow(10, "AA:00:00:00:00:09", "10.7.0.255")),
        withMask(planRow(11, "AA:00:00:00:00:0A", "10.7.0.254")),  // good
        planRow(12, "AA:00:00:00:00:0B", "223.255.255.254"),       // good
    };
    net::LocalInterface lan;
    net::parseIPv4("10.0.0.1", lan.address);
    net::parseIPv4("255.255.255.0", lan.netmask);
    const auto review = site::reviewPlan(plan, {}, {lan});
    EXPECT_EQ(problemLines(review.problems), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_NE(review.problems[6].text.find(u"10.0.0.1"), std::u16string::npos);
}

TEST(SiteFile, NewerCorruptAndForeignFilesAreRefusedAndLeftAlone) {
    TempDir dir;
    const auto path = dir.file("a.tarvo-site");
    site::SiteFile::open(path)->replacePlan({planRow(2, "AA:00:00:00:00:01", "10.0.0.21")});
    // An empty database becomes a site, at the current schema.
    const auto empty = dir.file("empty.tarvo-site");
    sql(empty, "PRAGMA user_version = 0");
    EXPECT_TRUE(site::SiteFile::open(empty)->plan().empty());

    sql(path, "PRAGMA user_version = 2");
    const auto newer = bytesOf(path);
    EXPECT_THROW(site::SiteFile::open(path), site::SiteError);
    EXPECT_EQ(bytesOf(path), newer);

    const auto foreign = dir.file("other.db");
    sql(foreign, "CREATE TABLE t (x)");
    const auto foreignBytes = bytesOf(foreign);
    EXPECT_THROW(site::SiteFile::open(foreign), site::SiteError);
    EXPECT_EQ(bytesOf(foreign), foreignBytes);

    sql(path, "PRAGMA user_version = 1");
    const auto truncated = dir.file("cut.tarvo-site");
    std::ofstream(truncated, std::ios::binary) << bytesOf(path).substr(0, 4096 * 3);
    const auto cut = bytesOf(truncated);
    EXPECT_THROW(site::SiteFile::open(truncated), site::SiteError);
    EXPECT_EQ(bytesOf(truncated), cut);
    // The copy is of a WAL file: SQLite's side files of the check go with the refusal.
    EXPECT_TRUE(nothingBeside(truncated));

    const auto textFile = dir.file("notes.tarvo-site");
    std::ofstream(textFile) << "MAC,IP\n";
    EXPECT_THROW(site::SiteFile::open(textFile), site::SiteError);
    EXPECT_EQ(bytesOf(textFile), "MAC,IP\n");
    EXPECT_EQ(site::SiteFile::open(path)->plan().size(), 1u);
}

TEST(SiteFile, DevicesWithoutMacJoinTheirMacAndFirmwareChangesShow) {
    TempDir dir;
    auto s = site::SiteFile::open(dir.file("s.tarvo-site"));
    s->recordSearch({heardRow("10.0.0.11", "")}, 100);
    s->recordSearch({heardRow("10.0.0.12", "AA:00:00:00:00:02")}, 150,
                    {{"AA:00:00:00:00:02", "v1"}});
    ASSERT_EQ(s->knownDevices().size(), 2u);
    EXPECT_EQ(s->knownDevices()[0].mac, "");
    s->recordSearch(
        {heardRow("10.0.0.11", "AA:00:00:00:00:01"), heardRow("10.0.0.12", "AA:00:00:00:00:02")},
        200, {{"AA:00:00:00:00:02", "v2"}});
    const auto known = s->knownDevices();
    ASSERT_EQ(known.size(), 2u);
    EXPECT_EQ(known[0].mac, "AA:00:00:00:00:01");
    EXPECT_EQ(known[0].lastSeen, 200);

    auto unmounted = planRow(4, "AA:00:00:00:00:03", "10.0.0.23");
    unmounted.note = "not yet mounted";
    s->replacePlan({planRow(2, "AA:00:00:00:00:01", "10.0.0.11"),
                    planRow(3, "AA:00:00:00:00:02", "10.0.0.22"), unmounted});
    const auto status = site::siteStatus(
        s->plan(), s->knownDevices(),
        {heardRow("10.0.0.11", "AA:00:00:00:00:01"), heardRow("10.0.0.12", "AA:00:00:00:00:02"),
         heardRow("10.0.0.30", "CC:00:00:00:00:01")});
    ASSERT_EQ(status.size(), 4u);
    using State = site::DeviceStatus::State;
    EXPECT_EQ(status[0].state, State::InPlace);
    EXPECT_EQ(status[1].state, State::Elsewhere);
    EXPECT_TRUE(status[1].firmwareChanged);
    EXPECT_FALSE(status[0].firmwareChanged);
    EXPECT_EQ(status[2].state, State::Missing);
    EXPECT_EQ(status[2].note, "not yet mounted");  // the plan's note goes where its device goes
    EXPECT_EQ(status[3].state, State::New);
    std::ostringstream report;
    site::SiteReport(*s).writeHtml(report);
    EXPECT_NE(report.str().find("not yet mounted"), std::string::npos);

    // Frames on loopback carry the all-zero MAC: two such devices stay two, kept by address.
    auto lo = site::SiteFile::open(dir.file("lo.tarvo-site"));
    lo->recordSearch(
        {heardRow("127.0.0.5", "00:00:00:00:00:00"), heardRow("127.0.0.6", "00:00:00:00:00:00")},
        100);
    ASSERT_EQ(lo->knownDevices().size(), 2u);
    EXPECT_EQ(lo->knownDevices()[1].mac, "");
    // An action on such a device (an upgrade names it by the MAC its frames carried) is the
    // device's, not one more device of MAC 00:00:00:00:00:00.
    site::ActionRecord upgrade;
    upgrade.mac = "00:00:00:00:00:00";
    upgrade.address = "127.0.0.6";
    upgrade.kind = "upgrade";
    upgrade.started = 101;
    lo->beginAction(upgrade);
    EXPECT_EQ(lo->knownDevices().size(), 2u);
    EXPECT_EQ(lo->actions().at(0).mac, "");
}

// The program killed in the middle of a plan import: what was committed before (the old plan,
// an action on record) is all there, nothing of the interrupted import is.
TEST(SiteFile, KilledMidActionKeepsWhatWasCommitted) {
    TempDir dir;
    const auto path = dir.file("s.tarvo-site");
    std::vector<site::PlanRow> big;
    for (int i = 0; i < 5000; ++i) {
        const std::string n = std::to_string(10000 + i);
        big.push_back(planRow(
            i + 2, ("AA:00:00:00:" + n.substr(1, 2) + ":" + n.substr(3, 2)).c_str(),
            ("10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)).c_str()));
    }
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        auto s = site::SiteFile::open(path);
        s->replacePlan({planRow(2, "AA:00:00:00:00:01", "10.0.0.21")});
        site::ActionRecord action;
        action.mac = "AA:00:00:00:00:01";
        action.kind = "address";
        action.started = 1;
        s->beginAction(action);
        s->replacePlan(big, [&](std::size_t done) {
            if (done != 2500) return;
            (void)!::write(ready[1], "x", 1);
            ::pause();  // killed here, half of the new plan written
        });
        ::_exit(0);
    }
    ::close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    const bool midway = ::poll(&wait, 1, 30000) == 1;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ASSERT_TRUE(midway);

    auto s = site::SiteFile::open(path);
    ASSERT_EQ(s->plan().size(), 1u);
    EXPECT_EQ(s->plan()[0].address, "10.0.0.21");
    ASSERT_EQ(s->actions().size(), 1u);
    EXPECT_EQ(s->actions()[0].outcome, "pending");
    s->replacePlan(big);
    EXPECT_EQ(s->plan().size(), big.size());
}

// The report's model: each device's state as the site last heard it, the summary's counts, and a
// verification made on a firmware the device no longer runs, told by an upgrade after it or by a
// version read since.
TEST(SiteReportTest, StatesSummaryAndVerificationsOlderThanTheFirmware) {
    TempDir dir;
    auto s = site::SiteFile::open(dir.file("s.tarvo-site"));
    s->replacePlan({planRow(2, "AA:00:00:00:00:01", "10.0.0.11"),    // in place, upgraded after
                    planRow(3, "AA:00:00:00:00:02", "10.0.0.12"),    // elsewhere, version since
                    planRow(4, "AA:00:00:00:00:03", "10.0.0.13"),    // never heard
                    planRow(5, "AA:00:00:00:00:04", "10.0.0.14"),    // heard on an earlier visit
                    planRow(6, "AA:00:00:00:00:05", "10.0.0.15")});  // upgraded, then verified
    const std::int64_t day = 24 * 3600, now = 100 * day;
    s->recordSearch({heardRow("10.0.0.14", "AA:00:00:00:00:04")}, now - 3 * day);
    s->recordSearch(
        {heardRow("10.0.0.11", "AA:00:00:00:00:01"), heardRow("10.0.0.99", "AA:00:00:00:00:02"),
         heardRow("10.0.0.15", "AA:00:00:00:00:05"), heardRow("10.0.0.40", "BB:00:00:00:00:01")},
        now - 600, {{"AA:00:00:00:00:02", "v1"}});
    auto act = [&](const char* mac, const char* kind, const char* outcome, const char* version,
                   std::int64_t time) {
        site::ActionRecord a;
        a.mac = mac;
        a.kind = kind;
        a.started = time;
        const auto id = s->beginAction(a);
        a.id = id;
        a.outcome = outcome;
        a.finished = time + 10;
        a.newValue = version;
        s->finishAction(a);
    };
    act("AA:00:00:00:00:01", "verify", "ok", "v1", now - 500);
    act("AA:00:00:00:00:01", "upgrade", "ok", "v2", now - 400);
    act("AA:00:00:00:00:02", "verify", "ok", "v0", now - 900);  // the search read v1 since
    act("AA:00:00:00:00:05", "upgrade", "ok", "v2", now - 300);
    act("AA:00:00:00:00:05", "verify", "failed", "v2", now - 200);
    act("BB:00:00:00:00:01", "upgrade", "failed", "", now - 100);

    text::buildUiText(text::kLanguageEnglish);
    const site::ReportModel model(*s, now);
    const auto& d = model.devices();
    ASSERT_EQ(d.size(), 6u);
    using State = site::DeviceStatus::State;
    EXPECT_EQ(d[0].state, State::InPlace);
    EXPECT_EQ(d[1].state, State::Elsewhere);
    EXPECT_EQ(d[2].state, State::Missing);
    EXPECT_EQ(d[3].state, State::Missing);
    EXPECT_EQ(d[4].state, State::InPlace);
    EXPECT_EQ(d[5].state, State::New);
    EXPECT_EQ(d[0].firmware, "v2");
    EXPECT_TRUE(d[0].verificationOutdated);
    EXPECT_TRUE(d[1].verificationOutdated);
    EXPECT_FALSE(d[4].verificationOutdated);
    EXPECT_FALSE(d[5].verificationOutdated);

    const auto& sum = model.summary();
    EXPECT_EQ(std::make_tuple(sum.planned, sum.inPlace, sum.elsewhere, sum.missing, sum.notPlanned),
              std::make_tuple(5, 2, 1, 2, 1));
    EXPECT_EQ(std::make_tuple(sum.passed, sum.failed, sum.notVerified, sum.outdated, sum.upgraded),
              std::make_tuple(2, 1, 3, 2, 2));
    EXPECT_EQ(std::make_tuple(sum.actions, sum.actionsOk, sum.actionsFailed),
              std::make_tuple(6, 4, 2));

    const auto upgraded = site::ReportModel::wordsOf(d[0]);
    EXPECT_EQ(upgraded.outcome, "Passed") << upgraded.outcome;
    EXPECT_EQ(upgraded.outdated, "Older than its firmware");
    EXPECT_NE(upgraded.outdatedWhy.find("Verified on firmware v1; upgraded to v2 on "),
              std::string::npos)
        << upgraded.outdatedWhy;
    EXPECT_EQ(site::ReportModel::wordsOf(d[1]).outdatedWhy,
              "Verified on firmware v0; it now runs v1");
    EXPECT_EQ(site::ReportModel::wordsOf(d[4]).outdated, "");
    EXPECT_NE(site::ReportModel::wordsOf(d[3]).seen.find("Last answered"), std::string::npos);
    EXPECT_EQ(site::ReportModel::wordsOf(d[2]).seen, "Never answered");
    text::buildUiText(text::kLanguageChinese);
    EXPECT_EQ(site::ReportModel::wordsOf(d[0]).outdated, "早于现在的固件");
}

// Pictures and figures of a site file are read as untrusted: a snapshot that is no picture (or
// a cut one) gives no thumbnail, and figures that are not numbers are left out.
TEST(SiteReportTest, ThumbnailsAndFiguresFromWhatTheFileHolds) {
    const auto jpeg = test::testJpeg(1920, 1080, 1);
    const auto thumbnail = site::makeThumbnail(jpeg, 256, 144);
    EXPECT_EQ(thumbnail.width, 256);
    EXPECT_EQ(thumbnail.height, 144);
    const auto coded = thumbnail.jpeg();
    ASSERT_GE(coded.size(), 2u);
    EXPECT_EQ(coded[0], 0xFF);
    EXPECT_EQ(coded[1], 0xD8);
    const std::vector<unsigned char> cut(jpeg.begin(), jpeg.begin() + 200);
    EXPECT_TRUE(site::makeThumbnail(cut, 256, 144).empty());
    const std::vector<unsigned char> text{'h', 'e', 'l', 'l', 'o'};
    EXPECT_TRUE(site::makeThumbnail(text, 256, 144).empty());

    const auto f =
        site::VerifyFigures::parse(R"({"fps": 25.5, "kbps": "fast", "width": 1920, "height": -1})");
    EXPECT_EQ(f.fps, 25.5);
    EXPECT_FALSE(f.kbps);
    EXPECT_EQ(f.width, 1920);
    EXPECT_FALSE(f.height);
    EXPECT_FALSE(site::VerifyFigures::parse("[1,2]").fps);
    EXPECT_FALSE(site::VerifyFigures::parse(R"({"fps": 25,00})").fps);
    EXPECT_EQ(site::escapeHtml("a<b>&\"\x1b\xE2\x80\xAE"), "a&lt;b&gt;&amp;&quot;\uFFFD\uFFFD");
}

namespace {

// A picture file decoded by libavcodec (nothing when it is none).
preview::Picture decoded(const std::vector<unsigned char>& bytes, AVCodecID codecId) {
    const AVCodec* codec = avcodec_find_decoder(codecId);
    const preview::CodecContextHandle context(avcodec_alloc_context3(codec));
    const preview::PacketHandle packet(av_packet_alloc());
    const preview::FrameHandle frame(av_frame_alloc());
    if (!context || !packet || !frame || avcodec_open2(context.get(), codec, nullptr) < 0 ||
        av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0)
        return {};
    std::copy(bytes.begin(), bytes.end(), packet->data);
    if (avcodec_send_packet(context.get(), packet.get()) < 0) return {};
    (void)avcodec_send_packet(context.get(), nullptr);
    if (avcodec_receive_frame(context.get(), frame.get()) < 0) return {};
    return preview::Picture::referenceTo(*frame);
}

// The RGB rows of a picture, without their padding.
std::vector<std::uint8_t> rgbRows(const preview::Picture& rgb) {
    std::vector<std::uint8_t> out;
    for (int y = 0; y < rgb.height(); ++y) {
        const std::uint8_t* row = rgb.plane(0) + static_cast<std::ptrdiff_t>(y) * rgb.stride(0);
        out.insert(out.end(), row, row + 3 * rgb.width());
    }
    return out;
}

}  // namespace

// A snapshot's thumbnail is scaled from it once and painted as it is: at the thumbnail's own size,
// the PDF is handed exactly the snapshot's decoded pixels, not those of a second JPEG generation.
TEST(SiteReportTest, AThumbnailIsNoSecondLossyGeneration) {
    const auto jpeg = test::testJpeg(256, 144, 5, 12, 4);
    const auto thumbnail = site::makeThumbnail(jpeg, 256, 144);
    ASSERT_EQ(thumbnail.width, 256);
    ASSERT_EQ(thumbnail.image.pixelFormat(), AV_PIX_FMT_RGB24);
    const auto snapshot =
        preview::convertedPicture(decoded(jpeg, AV_CODEC_ID_MJPEG), AV_PIX_FMT_RGB24);
    EXPECT_TRUE(rgbRows(thumbnail.image) == rgbRows(snapshot));
    // The HTML's copy is those pixels coded once.
    const auto html = decoded(thumbnail.jpeg(), AV_CODEC_ID_MJPEG);
    EXPECT_EQ(html.width(), 256);
}

// The window runs in the user's locale, LC_NUMERIC included: a decimal comma must not reach a
// record (it cut every figure after it), nor the words the figures are shown in.
TEST(SiteRecordTest, FiguresReadTheSameUnderADecimalCommaLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "scripts/setup generates de_DE.UTF-8";
    site::VerifyFigures f;
    f.connectMs = 3;
    f.fps = 25.0;
    f.kbps = 1024.5;
    f.width = 704;
    f.height = 576;
    f.seconds = 5.0;
    f.brightness = 84.25;  // the picture's figures round-trip too
    f.contrast = 43.5;
    f.sharpness = 13620.75;
    const std::string json = f.json();
    const auto back = site::VerifyFigures::parse(json);
    const std::u16string words = f.text();
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(json.find(','), json.find(",\""));  // every comma separates two figures
    EXPECT_EQ(back, f) << json;
    EXPECT_NE(words.find(u"25.0"), std::u16string::npos);
    EXPECT_NE(words.find(u"84/255"), std::u16string::npos) << text::toUtf8(words);
    EXPECT_NE(words.find(u"13621"), std::u16string::npos) << text::toUtf8(words);
}

// A site keeps why an action failed as a key with its values: a reader in either language reads
// it in their own, whoever wrote it; what older sites stored as text reads as recorded.
TEST(SiteRecordTest, StoredReasonsReadInTheReadersLanguage) {
    TempDir dir;
    auto s = site::SiteFile::open(dir.file("site.tarvo"));
    const auto keep = [&](const std::string& detail) {
        site::ActionRecord a;
        a.mac = "AA:BB:CC:00:00:01";
        a.address = "10.0.0.2";
        a.kind = "verify";
        a.started = 1;
        const auto id = s->beginAction(a);
        s->finishAction(id, "failed", detail, 2);
    };
    text::buildUiText(text::kLanguageEnglish);
    const auto told = text::formatText(text::msg::kDeviceNotHeardFormat, {u"10.0.0.2"});
    const auto toldInEnglish =
        text::formatText(text::tr(text::msg::kDeviceNotHeardFormat), {u"10.0.0.2"});
    keep(text::encodeReason(text::Reason::recognise(toldInEnglish)));  // as an English window
    keep("你选择了错误的升级文件");                                    // an older site's text
    const auto report = [&] {
        std::ostringstream out;
        site::SiteReport(*s).writeHtml(out);
        return out.str();
    };
    text::buildUiText(text::kLanguageChinese);
    const std::string chinese = report();
    text::buildUiText(text::kLanguageEnglish);
    const std::string english = report();
    EXPECT_NE(chinese.find(text::toUtf8(told)), std::string::npos);
    EXPECT_NE(english.find(text::toUtf8(toldInEnglish)), std::string::npos);
    EXPECT_EQ(english.find(text::toUtf8(told)), std::string::npos);
    EXPECT_NE(english.find("你选择了错误的升级文件"), std::string::npos);
}

// A site file mailed from elsewhere may carry objects of its own that would run inside the
// program: each is refused on open, by either kind of open, and the file is left exactly as it
// was with nothing beside it.
TEST(SiteFile, FilesWithObjectsOfTheirOwnAreRefusedUntouched) {
    const char* hostile[] = {
        // A forged "verify ok" recorded by the next search.
        "CREATE TRIGGER forge AFTER INSERT ON searches BEGIN INSERT INTO actions (mac, kind, "
        "started, outcome, new_value) VALUES ('AA:00:00:00:00:01', 'verify', 1, 'ok', 'v9'); END",
        // A plan without end that fills a temporary file.
        "DROP TABLE plan; CREATE VIEW plan (mac, line, address, mask, gateway, dns, name, "
        "location, note) AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
        "SELECT 'AA:00:00:00:00:01', i, '10.0.0.1', '', '', '', '', '', '' FROM n",
        // A search that never ends and keeps the write lock.
        "CREATE TRIGGER spin BEFORE INSERT ON searches BEGIN SELECT count(*) FROM (WITH "
        "RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n); END",
        // A full-text table whose own tables a trigger writes.
        "CREATE VIRTUAL TABLE notes USING fts5(body); CREATE TRIGGER fill AFTER INSERT ON "
        "searches BEGIN INSERT INTO notes_data VALUES (99, x'00'); END",
        // A table of this program's, changed.
        "DROP INDEX actions_by_device; CREATE INDEX actions_by_device ON actions (mac)",
        "CREATE TABLE extra (x)",
    };
    TempDir dir;
    int n = 0;
    for (const char* statements : hostile) {
        SCOPED_TRACE(statements);
        const auto path = dir.file("h" + std::to_string(n++) + ".tarvo-site");
        site::SiteFile::open(path)->replacePlan({planRow(2, "AA:00:00:00:00:01", "10.0.0.21")});
        sql(path, statements);
        ASSERT_TRUE(nothingBeside(path));
        const auto before = bytesOf(path);
        EXPECT_THROW(site::SiteFile::open(path), site::SiteError);
        EXPECT_THROW(site::SiteFile::open(path, false), site::SiteError);
        EXPECT_THROW(site::SiteFile::openReadOnly(path), site::SiteError);
        EXPECT_TRUE(bytesOf(path) == before);
        EXPECT_TRUE(nothingBeside(path));
    }
}

// A site name is a file name: "file:…" is not read as a URI (which skipped every check and
// wrote the site's tables into another file), and a dangling link makes no site at its target.
TEST(SiteFile, NamesAreFilesNeverUrisAndDanglingLinksAreRefused) {
    TempDir dir;
    const auto other = dir.file("other.db");
    sql(other, "CREATE TABLE mine (x); INSERT INTO mine VALUES (1)");
    const auto otherBytes = bytesOf(other);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_NO_THROW(site::SiteFile::open("file:other.db")->plan());
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(bytesOf(other) == otherBytes);
    EXPECT_TRUE(std::filesystem::exists(dir.file("file:other.db")));
    EXPECT_THROW(site::SiteFile::open("file:" + other), site::SiteError);
    EXPECT_TRUE(bytesOf(other) == otherBytes);

    const auto target = dir.file("moved.tarvo-site");
    const auto link = dir.file("link.tarvo-site");
    std::filesystem::create_symlink(target, link);
    EXPECT_THROW(site::SiteFile::open(link), site::SiteError);
    EXPECT_FALSE(std::filesystem::exists(target));
    // A link to a site is followed as before.
    site::SiteFile::open(target)->setName("Hall");
    EXPECT_EQ(site::SiteFile::open(link)->name(), "Hall");
}

// A snapshot stored as text passed the cap by its length in characters (up to its first NUL)
// and was read whole, however large.
TEST(SiteFile, SnapshotCapsCountBytesWhateverTheType) {
    TempDir dir;
    const auto path = dir.file("s.tarvo-site");
    site::ActionRecord verify;
    verify.mac = "AA:00:00:00:00:01";
    verify.kind = "verify";
    verify.started = 1;
    const auto id = site::SiteFile::open(path)->beginAction(verify);
    sql(path, "UPDATE actions SET snapshot = CAST(x'41' || zeroblob(40 * 1024 * 1024) AS TEXT)");
    const auto s = site::SiteFile::open(path);
    const auto actions = s->actionsWithoutSnapshots();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_NE(actions[0].snapshotBytes, 1);
    EXPECT_TRUE(s->actionSnapshot(id).empty());
    sql(path, "UPDATE actions SET snapshot = zeroblob(40 * 1024 * 1024)");
    EXPECT_EQ(s->actionsWithoutSnapshots()[0].snapshotBytes, 40 * 1024 * 1024);
    EXPECT_TRUE(s->actionSnapshot(id).empty());
}

namespace {

// In a child: `folder` made read-only (a read-only mount of its own, for root), then `body`.
// Returns the child's exit code; 77 when the folder could not be made read-only.
int inReadOnlyFolder(const std::string& folder, const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool readOnly =
            ::geteuid() != 0
                ? ::chmod(folder.c_str(), 0555) == 0
                : ::unshare(CLONE_NEWNS) == 0 &&
                      ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                      ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                      ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                              nullptr) == 0;
        if (!readOnly || ::access(folder.c_str(), W_OK) == 0) ::_exit(77);
        bool ok = false;
        try {
            ok = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    (void)::chmod(folder.c_str(), 0755);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// A site handed over on a read-only medium is read: its plan, its report; writes are refused.
TEST(SiteFile, ReadOnlyFolderSitesAreRead) {
    TempDir dir;
    const auto path = dir.file("s.tarvo-site");
    site::SiteFile::open(path)->replacePlan({planRow(2, "AA:00:00:00:00:01", "10.0.0.21")});
    // Read where it could be written, it is left as a writing program leaves it; a program
    // holding it open keeps its side files.
    EXPECT_EQ(site::SiteFile::openReadOnly(path)->plan().size(), 1u);
    EXPECT_TRUE(nothingBeside(path));
    {
        const auto writer = site::SiteFile::open(path, false);
        EXPECT_EQ(site::SiteFile::openReadOnly(path)->plan().size(), 1u);
        EXPECT_TRUE(std::filesystem::exists(path + "-wal"));
        writer->setName("Hall");
    }
    EXPECT_EQ(site::SiteFile::openReadOnly(path)->name(), "Hall");
    EXPECT_TRUE(nothingBeside(path));
    const int code = inReadOnlyFolder(dir.path(), [&] {
        const auto s = site::SiteFile::openReadOnly(path);
        const site::SiteReport report(*s);
        bool written = true;
        try {
            s->setName("x");
        } catch (const site::SiteError&) {
            written = false;
        }
        return s->readOnly() && s->plan().size() == 1 && report.devices().size() == 1 && !written;
    });
    if (code == 77) GTEST_SKIP() << "no read-only folder here";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(nothingBeside(path));
}

// Rewriting a report keeps the mode its owner gave it.
TEST(SiteReportTest, ARewrittenReportKeepsItsMode) {
    TempDir dir;
    const auto path = dir.file("s.tarvo-site");
    const auto s = site::SiteFile::open(path);
    const auto out = dir.file("r.html");
    std::ofstream(out) << "old";
    ASSERT_EQ(::chmod(out.c_str(), 0600), 0);
    site::writeHtmlReport(*s, out);
    struct stat info {};
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(bytesOf(out), "old");
}

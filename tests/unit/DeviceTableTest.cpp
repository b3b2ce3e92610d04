#include <gtest/gtest.h>

#include <clocale>
#include <map>

#include "core/discovery/CsvExport.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DeviceTable.h"
#include "core/discovery/DeviceTypes.h"
#include "core/text/TextConvert.h"
#include "support/ListedRow.h"

using namespace tarvo::discovery;
using tarvo::test::listedRow;

namespace {

std::vector<std::u16string> column(const DeviceTable& t, int c) {
    std::vector<std::u16string> out;
    for (int r = 0; r < t.rowCount(); ++r) out.push_back(t.text(r, c));
    return out;
}

class CountingListener : public DeviceTableListener {
public:
    void rowInserted(int, const DeviceRow&) override { ++inserted; }
    void cellChanged(int, int, const std::u16string&) override { ++changed; }
    void rowRemoved(int) override { ++removed; }
    void rowsSorted(const std::vector<int>& o, int, bool) override { order = o; }
    int inserted = 0, changed = 0, removed = 0;
    std::vector<int> order;
};

}  // namespace

TEST(CompareCellTexts, ShorterFirstThenNumbersThenCollation) {
    EXPECT_EQ(compareCellTexts(u"9", u"10", true), -1);
    EXPECT_EQ(compareCellTexts(u"10", u"9", true), 1);
    EXPECT_EQ(compareCellTexts(u"9", u"10", false), 1);
    EXPECT_EQ(compareCellTexts(u"10", u"9", false), -1);

    EXPECT_EQ(compareCellTexts(u"abc", u"abd", true), -1);
    EXPECT_EQ(compareCellTexts(u"abc", u"abd", false), 1);
    EXPECT_EQ(compareCellTexts(u"abc", u"abc", true), 0);

    // Ten digits do not fit the 10-byte buffer: both read as 0, so equal.
    EXPECT_EQ(compareCellTexts(u"1234567890", u"9876543210", true), 0);
    EXPECT_EQ(compareCellTexts(u"123456789", u"987654321", true), -1);
    EXPECT_EQ(compareCellTexts(u"", u"", true), 0);  // empty counts as digits
}

TEST(CompareCellTexts, DigitRuleIsDecidedByTheFirstTextAlone) {
    // A is digits, B is not: both are read as numbers (B up to its first non-digit).
    EXPECT_EQ(compareCellTexts(u"12", u"1x", true), 1);
    EXPECT_EQ(compareCellTexts(u"12", u"-5", true), 1);
    // A is not digits: plain text comparison, whatever B is.
    EXPECT_EQ(compareCellTexts(u"1x", u"12", true), 1);
    EXPECT_EQ(compareCellTexts(u"a1", u"99", true), 1);
}

TEST(DeviceTable, AddSetDeleteKeepTheStoredCopies) {
    DeviceTable t;
    CountingListener l;
    t.setListener(&l);
    EXPECT_EQ(t.AddItem(listedRow(1, u"10.0.0.2", u"mac", u"cam", u"note", 100)), 0);
    EXPECT_EQ(t.AddItem(listedRow(2, u"10.0.0.3")), 1);  // missing texts are empty
    EXPECT_EQ(t.text(1, kColNote), u"");
    EXPECT_EQ(t.SetItemText(0, 4, u"changed"), 1);
    EXPECT_EQ(t.text(0, 4), u"changed");
    EXPECT_EQ(t.SetItemText(5, 0, u"x"), 0);
    EXPECT_EQ(t.SetItemText(0, 6, u"x"), 0);
    EXPECT_EQ(t.findRow(1, u"10.0.0.3"), 1);
    EXPECT_TRUE(t.DeleteItem(0));
    EXPECT_FALSE(t.DeleteItem(3));
    EXPECT_EQ(t.rowCount(), 1);
    EXPECT_EQ(t.findRow(1, u"10.0.0.3"), 0);
    EXPECT_FALSE(t.hasAddress(u"10.0.0.2"));
    EXPECT_TRUE(t.hasAddress(u"10.0.0.3"));
    EXPECT_EQ(t.SetItemText(0, 1, u"10.0.0.9"), 1);
    EXPECT_FALSE(t.hasAddress(u"10.0.0.3"));
    EXPECT_TRUE(t.hasAddress(u"10.0.0.9"));
    EXPECT_EQ(t.findRow(1, u"10.0.0.9"), 0);
    EXPECT_EQ(l.inserted, 2);
    EXPECT_EQ(l.changed, 2);
    EXPECT_EQ(l.removed, 1);
    t.setListener(nullptr);
}

TEST(DeviceTable, ClickSequences) {
    std::setlocale(LC_COLLATE, "C.UTF-8");
    DeviceTable t;
    t.AddItem(listedRow(1, u"10.0.0.20", u"", u"b", u"", 9));
    t.AddItem(listedRow(2, u"10.0.0.3", u"", u"a", u"", 10));
    t.AddItem(listedRow(3, u"10.0.0.100", u"", u"c", u"", 100));

    t.columnClicked(5);  // first click: ascending
    EXPECT_EQ(column(t, 5), (std::vector<std::u16string>{u"9", u"10", u"100"}));
    EXPECT_EQ(t.sortColumn(), 5);
    EXPECT_TRUE(t.ascending());

    t.columnClicked(2);
    t.columnClicked(2);  // second click on the same column: descending
    EXPECT_EQ(t.sortColumn(), 2);
    EXPECT_FALSE(t.ascending());

    t.columnClicked(3);  // another column: ascending again
    EXPECT_EQ(t.sortColumn(), 3);
    EXPECT_TRUE(t.ascending());
    EXPECT_EQ(column(t, 3), (std::vector<std::u16string>{u"a", u"b", u"c"}));

    t.columnClicked(1);  // addresses: length first
    EXPECT_EQ(column(t, 1),
              (std::vector<std::u16string>{u"10.0.0.3", u"10.0.0.20", u"10.0.0.100"}));

    // A row added after a sort goes to the end, unsorted.
    t.AddItem(listedRow(4, u"10.0.0.1", u"", u"d", u"", 1));
    EXPECT_EQ(t.text(3, 1), u"10.0.0.1");
}

TEST(DeviceTable, SortSurvivesInconsistentMixedColumns) {
    // Mixed digit and text cells make the comparison non-transitive; the sort must still end
    // with every row present exactly once.
    DeviceTable t;
    const std::vector<std::u16string> cells{u"12", u"1x", u"a1", u"99", u"-5",
                                            u"",   u"7",  u"x",  u"10", u"0a"};
    for (int round = 0; round < 20; ++round) {
        for (const auto& c : cells) t.AddItem(listedRow(0, u"", u"", c));
    }
    t.Sort(kColName, true);
    t.Sort(kColName, false);
    EXPECT_EQ(t.rowCount(), 200);
    std::map<std::u16string, int> counts;
    for (int r = 0; r < t.rowCount(); ++r) ++counts[t.text(r, kColName)];
    for (const auto& c : cells) EXPECT_EQ(counts[c], 20);
}

TEST(DeviceTable, TargetReachesConflictsAndAddressesSharingTheLastTwoOctets) {
    DeviceTable table;
    table.AddItem(listedRow(1, u"127.0.5.20", u"02:00:00:00:00:01"));
    table.AddItem(listedRow(2, u"127.1.5.20", u""));
    table.AddItem(listedRow(3, u"127.0.5.21", u"02:00:00:00:00:03"));
    table.AddItem(listedRow(4, u"10.0.0.9", u"02:00:00:00:00:04"));
    EXPECT_EQ(table.devicesSharingTarget(u"127.1.5.20"),
              (std::vector<std::u16string>{u"127.0.5.20 02:00:00:00:00:01", u"127.1.5.20"}));
    EXPECT_TRUE(table.devicesSharingTarget(u"127.0.5.21").empty());
    ASSERT_TRUE(table.setConflict(3, {u"02:00:00:00:00:04", u"02:00:00:00:00:05"}));
    EXPECT_EQ(table.devicesSharingTarget(u"10.0.0.9"),
              (std::vector<std::u16string>{u"10.0.0.9 02:00:00:00:00:04",
                                           u"10.0.0.9 02:00:00:00:00:05"}));

    // Heard on different interfaces, the two x.x.5.20 rows are on different links: a frame for
    // one leaves where the other never hears it. A second interface of one link shares it.
    ASSERT_TRUE(table.addHeardOn(0, 1));
    ASSERT_TRUE(table.addHeardOn(1, 2));
    EXPECT_TRUE(table.devicesSharingTarget(u"127.1.5.20").empty());
    ASSERT_TRUE(table.addHeardOn(1, 1));
    EXPECT_FALSE(table.addHeardOn(1, 1));
    EXPECT_EQ(table.devicesSharingTarget(u"127.0.5.20").size(), 2u);
}

// Names with separators, quotes and line breaks come back whole from a spreadsheet reader; a name
// that starts like a formula stays text.
TEST(CsvExportTest, HostileNamesSurviveARoundTripAndNeverBecomeFormulas) {
    const std::vector<std::u16string> names{u"a,b", u"say \"hi\"", u"two\r\nlines", u"=1+1",  u"+x",
                                            u"-2",  u"@SUM(A1)",   u"\tx",          u"摄像机"};
    std::vector<DeviceRow> rows;
    for (const auto& name : names)
        rows.push_back({1, u"10.0.0.1", u"", name, u"", 100, false, {}, {}});
    // The list's conflict column travels too, its MACs in one field.
    rows.front().conflictMacs = {u"02:00:00:00:00:01", u"02:00:00:00:00:02"};
    const std::string csv = deviceListCsv(rows);
    ASSERT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);
    // A minimal RFC 4180 reader: fields of each record, in order.
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 3; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted && c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
            records.back().back() += c;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            records.back().emplace_back();
        } else if (!quoted && c == '\r' && csv[i + 1] == '\n') {
            records.emplace_back(1);
            ++i;
        } else {
            records.back().back() += c;
        }
    }
    records.pop_back();  // after the last line end
    ASSERT_EQ(records.size(), names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(records[i + 1].size(), 8u);
        const std::string name = tarvo::text::toUtf8(names[i]);
        const bool formula = std::string("=+-@\t").find(name[0]) != std::string::npos;
        EXPECT_EQ(records[i + 1][3], formula ? "'" + name : name);
    }
    EXPECT_EQ(records[1][7], "02:00:00:00:00:01,02:00:00:00:00:02");
    EXPECT_EQ(records[2][7], "");
}

// The one table every front end, the address batch and the site's verification ask: only
// cameras proper have a stream of their own to measure; decoders and the other listed types
// take the camera's commands; NVRs say their version through their own upgrade; DVRs take
// nothing over TCP.
TEST(DeviceCapabilities, EachKindOfDeviceTakesWhatItsTypeAllows) {
    for (const int camera : {80, 89, 100, 159}) {
        EXPECT_TRUE(capabilitiesOf(camera).camera) << camera;
        EXPECT_EQ(capabilitiesOf(camera).upgrade, UpgradeKind::Camera) << camera;
    }
    for (const int other : {160, 171, 172, 179, 198}) {
        EXPECT_FALSE(capabilitiesOf(other).camera) << other;
        EXPECT_TRUE(capabilitiesOf(other).networkSettings) << other;
        EXPECT_EQ(capabilitiesOf(other).upgrade, UpgradeKind::Camera) << other;
    }
    EXPECT_FALSE(allows(kTypeDecoderNoPreview, Operation::Preview));
    EXPECT_TRUE(allows(172, Operation::Preview));
    const DeviceCapabilities& nvr = capabilitiesOf(kTypeNvr);
    EXPECT_FALSE(nvr.camera || nvr.networkSettings || nvr.version);
    EXPECT_EQ(nvr.upgrade, UpgradeKind::Nvr);
    const DeviceCapabilities& dvr = capabilitiesOf(kTypeDvr);
    EXPECT_FALSE(dvr.camera || dvr.networkSettings || dvr.login || dvr.preview);
    EXPECT_EQ(dvr.upgrade, UpgradeKind::None);
}

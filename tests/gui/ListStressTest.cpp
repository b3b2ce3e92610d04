#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "GuiDriver.h"
#include "app/CTarvoDlg.h"
#include "controls/CSortListCtrl.h"
#include "core/discovery/DeviceTable.h"
#include "support/ListedRow.h"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

std::u16string u16(const std::string& s) {
    return {s.begin(), s.end()};
}

// Rows arriving from several receive threads while the user keeps sorting: the list ends up the
// same as the table, row for row, and the window's event loop never stalls for long.
TEST(DeviceListStress, ThousandRowsWhileSortingStayInStepAndResponsive) {
    discovery::DeviceTable table;
    gui::CSortListCtrl list;
    list.resize(600, 400);
    list.attach(table);
    for (int c = 0; c < 6; ++c) list.insertColumn(c, QString::number(c), 80);
    list.show();

    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed();
    qint64 longestStall = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestStall = std::max(longestStall, now - last);
        last = now;
    });
    heartbeat.start(2);

    int sorts = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        const int column = (sorts / 2) % 6;
        list.Sort(column, sorts % 2 == 0);
        ++sorts;
    });
    user.start(15);

    constexpr int kThreads = 4;
    constexpr int kPerThread = 250;
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const int n = t * kPerThread + i;
                {
                    std::lock_guard guard(table.lock());
                    const std::u16string address =
                        u16("10." + std::to_string(t) + ".0." + std::to_string(i));
                    if (table.findRow(1, address) < 0) {
                        table.AddItem(
                            test::listedRow(n + 1, address, u"00:00:00:00:00:00",
                                            u16("dev" + std::to_string((n * 7919) % 1000)),
                                            u"网络摄像机", 80 + n % 100));
                    }
                }
                std::this_thread::sleep_for(1ms);  // replies trickle in over a while
            }
            --running;
        });
    }
    EXPECT_TRUE(test::waitUntil([&] { return running.load() == 0; }, 30s))
        << running.load() << " reply threads still adding rows after 30 s";
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(
        test::waitUntil([&] { return list.listModel()->rowCount() == kThreads * kPerThread; }, 10s))
        << "the list shows " << list.listModel()->rowCount() << " rows";
    test::pump(50ms);
    user.stop();
    heartbeat.stop();
    test::pump(50ms);  // the last sort's reorder

    ASSERT_EQ(table.rowCount(), kThreads * kPerThread);
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int c = 0; c < 6; ++c) {
            ASSERT_EQ(list.listModel()->text(r, c).toStdU16String(), table.text(r, c))
                << "row " << r << " column " << c;
        }
    }
    EXPECT_GE(sorts, 5);
    std::printf(
        "1000 rows from %d threads with %d sorts in %lld ms; longest event-loop stall %lld ms\n",
        kThreads, sorts, static_cast<long long>(clock.elapsed()),
        static_cast<long long>(longestStall));
    RecordProperty("longestStallMs", static_cast<int>(longestStall));
    EXPECT_LT(longestStall, 1000);
}

}  // namespace

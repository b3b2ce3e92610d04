// Device-table costs: sorting a large site's list by each column, and inserting one row.
// Reference in the same run: std::sort of the same address texts by plain comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>
#include <random>
#include <string>

#include "core/discovery/DeviceTable.h"

using namespace tarvo::discovery;

namespace {

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

std::vector<DeviceRow> makeRows(int count) {
    std::mt19937 rng(7);
    std::vector<DeviceRow> rows;
    for (int i = 0; i < count; ++i) {
        const int a = static_cast<int>(rng() % 250) + 1;
        const int b = static_cast<int>(rng() % 250) + 1;
        const std::string ip = "10.1." + std::to_string(a) + "." + std::to_string(b);
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:00:0A:01:%02X:%02X", a, b);
        DeviceRow row;
        row.sequence = i + 1;
        row.address = u16(ip);
        row.mac = u16(mac);
        row.name = u"Camera " + u16(std::to_string(rng() % 1000));
        row.note = u"网络摄像机";
        row.type = static_cast<int>(80 + rng() % 100);
        rows.push_back(std::move(row));
    }
    return rows;
}

void fill(DeviceTable& table, const std::vector<DeviceRow>& rows) {
    for (const auto& r : rows) table.AddItem(r);
}

void BM_SortByColumn(benchmark::State& state) {
    std::setlocale(LC_COLLATE, "C.UTF-8");
    const auto rows = makeRows(static_cast<int>(state.range(0)));
    DeviceTable table;
    fill(table, rows);
    const int column = static_cast<int>(state.range(1));
    bool ascending = true;
    for (auto _ : state) {
        table.Sort(column, ascending);
        ascending = !ascending;
    }
    state.SetLabel("column " + std::to_string(column));
}
BENCHMARK(BM_SortByColumn)
    ->ArgsProduct({{1000, 5000}, {0, 1, 3, 4}})
    ->Unit(benchmark::kMillisecond);

void BM_ReferenceStdSort(benchmark::State& state) {
    const auto rows = makeRows(static_cast<int>(state.range(0)));
    std::vector<std::u16string> texts;
    for (const auto& r : rows) texts.push_back(r.address);
    bool ascending = true;
    for (auto _ : state) {
        if (ascending) {
            std::sort(texts.begin(), texts.end());
        } else {
            std::sort(texts.begin(), texts.end(), std::greater<>());
        }
        ascending = !ascending;
    }
}
BENCHMARK(BM_ReferenceStdSort)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_InsertRow(benchmark::State& state) {
    const auto rows = makeRows(5000);
    for (auto _ : state) {
        state.PauseTiming();
        DeviceTable table;
        state.ResumeTiming();
        for (const auto& r : rows) {
            // The duplicate test every insertion makes, then the insertion.
            benchmark::DoNotOptimize(table.findRow(kColAddress, r.address));
            table.AddItem(r);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}
BENCHMARK(BM_InsertRow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

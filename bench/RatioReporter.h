#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Console output plus, at the end, each benchmark's throughput divided by its reference's,
// both measured in this run (absolute numbers on these machines are noise).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // (subject, reference) benchmark names, as printed.
    explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
        : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions, the median stands for the benchmark; otherwise its one run.
        for (const auto& run : runs) {
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "median") continue;
            const std::string name = run.run_name.str();
            if (!aggregate && medians_.count(name) != 0) continue;
            const auto bytes = run.counters.find("bytes_per_second");
            const auto items = run.counters.find("items_per_second");
            if (bytes != run.counters.end()) {
                rates_[name] = bytes->second;
            } else if (items != run.counters.end()) {
                rates_[name] = items->second;
            }
            if (aggregate) medians_.insert(name);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatios (subject / reference, same run):\n");
        for (const auto& [subject, reference] : pairs_) {
            const auto s = rates_.find(subject);
            const auto r = rates_.find(reference);
            if (s == rates_.end() || r == rates_.end() || r->second == 0) continue;
            std::printf("  %-45s / %-45s = %.2f\n", subject.c_str(), reference.c_str(),
                        s->second / r->second);
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
    std::map<std::string, double> rates_;
    std::set<std::string> medians_;
};

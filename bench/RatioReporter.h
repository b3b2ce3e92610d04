#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Console output plus, at the end, each benchmark's throughput divided by its reference's,
// both measured in this run (absolute numbers on these machines are noise).
//
// When the single repetitions reach the reporter (--benchmark_report_aggregates_only=false),
// they are not printed; the reporter pairs the subject's and the reference's repetitions by
// index instead and also prints the smallest, median and largest of those paired ratios, which
// show how much the machine's load moved the figure.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // (subject, reference) benchmark names, as printed.
    explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
        : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions, the median stands for the benchmark; otherwise its one run.
        std::vector<Run> shown;
        for (const auto& run : runs) {
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            const std::string name = run.run_name.str();
            const auto bytes = run.counters.find("bytes_per_second");
            const auto items = run.counters.find("items_per_second");
            double rate = 0;
            if (bytes != run.counters.end()) {
                rate = bytes->second;
            } else if (items != run.counters.end()) {
                rate = items->second;
            }
            if (!aggregate && run.repetitions > 1) {
                auto& reps = repetitions_[name];
                const auto index = static_cast<std::size_t>(run.repetition_index);
                if (reps.size() <= index) reps.resize(index + 1, 0);
                reps[index] = rate;
                continue;  // the aggregates stand for it on the console
            }
            shown.push_back(run);
            if (aggregate && run.aggregate_name != "median") continue;
            if (!aggregate && medians_.count(name) != 0) continue;
            rates_[name] = rate;
            if (aggregate) medians_.insert(name);
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatios (subject / reference, same run):\n");
        for (const auto& [subject, reference] : pairs_) {
            const auto s = rates_.find(subject);
            const auto r = rates_.find(reference);
            if (s == rates_.end() || r == rates_.end() || r->second == 0) continue;
            std::printf("  %-45s / %-45s = %.2f", subject.c_str(), reference.c_str(),
                        s->second / r->second);
            const auto paired = pairedRatios(subject, reference);
            if (!paired.empty()) {
                std::printf("  (paired by repetition: min %.2f, median %.2f, max %.2f)",
                            paired.front(), paired[paired.size() / 2], paired.back());
            }
            std::printf("\n");
        }
    }

private:
    // The ratios of the repetitions with the same index, sorted; empty without repetitions.
    std::vector<double> pairedRatios(const std::string& subject,
                                     const std::string& reference) const {
        std::vector<double> out;
        const auto s = repetitions_.find(subject);
        const auto r = repetitions_.find(reference);
        if (s == repetitions_.end() || r == repetitions_.end()) return out;
        const std::size_t n = std::min(s->second.size(), r->second.size());
        for (std::size_t i = 0; i < n; ++i) {
            if (r->second[i] > 0) out.push_back(s->second[i] / r->second[i]);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    std::vector<std::pair<std::string, std::string>> pairs_;
    std::map<std::string, double> rates_;
    std::set<std::string> medians_;
    std::map<std::string, std::vector<double>> repetitions_;
};

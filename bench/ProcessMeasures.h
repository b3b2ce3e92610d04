#pragma once

// Small measurements the end-to-end benchmarks share: resident memory, the clock the simulator
// stamps its packets with, and percentiles of delays.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tarvo::bench {

// A figure of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); 0 when it cannot be read.
inline long statusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    const std::string wanted(key);
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(wanted, 0) == 0) return std::stol(line.substr(wanted.size()));
    }
    return 0;
}

// This process's resident memory.
inline long rssKiB() {
    return statusKiB("VmRSS:");
}

// Its peak resident memory since start, or since "5" was written to /proc/self/clear_refs.
inline long peakKiB() {
    return statusKiB("VmHWM:");
}

// Milliseconds of the steady clock, cut to 32 bits as the simulator stamps its packets.
inline std::uint32_t steadyMs() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// The value at fraction `p` (0..1) of the sorted values; -1 when there are none.
inline int percentile(std::vector<int> values, double p) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace tarvo::bench

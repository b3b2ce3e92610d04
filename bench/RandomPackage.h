#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace tarvo::bench {

// A camera package of `bytes` random bytes in a new folder under /tmp, named so that a
// v00.00.02.08 camera takes it. Returns its path, or "" when the folder cannot be made.
inline std::string writeRandomPackage(std::uint64_t bytes) {
    char pattern[] = "/tmp/tarvo-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return {};
    const std::string path = std::string(pattern) + "/IPC_update_00.00.03.08.img";
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> block(8192);
    for (std::uint64_t left = bytes; left > 0;) {
        for (auto& word : block) word = random();
        const auto n = std::min<std::uint64_t>(left, block.size() * 8);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        left -= n;
    }
    return path;
}

}  // namespace tarvo::bench

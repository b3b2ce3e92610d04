#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tarvo::test {

// Polls `condition` every 10 ms until it holds or `limit` passed; returns its last value.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace tarvo::test

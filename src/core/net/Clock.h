#pragma once

#include <chrono>
#include <cstdint>

namespace tarvo::net {

// Milliseconds of a monotonic clock; wraps like a 32-bit tick count, so compare ticks only by
// unsigned difference.
inline std::uint32_t tickMs() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace tarvo::net

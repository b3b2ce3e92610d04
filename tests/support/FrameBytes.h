#pragma once

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/protocol/Frames.h"

namespace tarvo::test {

// An IPv4 address in network order, as the engine keeps them.
inline std::uint32_t addr(const char* text) {
    return inet_addr(text);
}

// The bytes a frame sends.
inline std::vector<std::uint8_t> bytesOf(const protocol::Frame& f) {
    return {f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(f.size)};
}

}  // namespace tarvo::test

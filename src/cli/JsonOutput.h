#pragma once

#include <nlohmann/json.hpp>

#include <iostream>

namespace tarvo::cli {

// One --json result on stdout. Text that is not valid UTF-8 (a file name from an older system,
// say) is printed with U+FFFD in place of the bad bytes rather than failing the whole result.
inline void printJson(const nlohmann::json& result) {
    std::cout << result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

}  // namespace tarvo::cli

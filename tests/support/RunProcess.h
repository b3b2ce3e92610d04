#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace tarvo::test {

struct ProcessResult {
    int exitCode = -1;  // 128+N when signal N ended it
    std::string out;
    std::string err;
    std::chrono::milliseconds elapsed{0};
    bool timedOut = false;
};

// Runs a program to its end (killed after `limit`), collecting stdout and stderr.
// `env` entries ("NAME=value") are added to the current environment.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds limit = std::chrono::seconds(30),
                         const std::vector<std::string>& env = {});

}  // namespace tarvo::test

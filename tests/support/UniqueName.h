#pragma once

#include <random>
#include <string>

namespace tarvo::test {

// A part for the name of a test's temporary file or folder that no other test process shares:
// every test runs in a sandbox of its own where the process ids start again, so a name made of
// the process id meets the same name of a test running beside it.
inline std::string uniqueName() {
    std::random_device random;
    return std::to_string(random()) + "-" + std::to_string(random());
}

}  // namespace tarvo::test

#pragma once

#include <string>
#include <vector>

namespace tarvo::test {

// The names of this process's threads, sorted, Qt's pool threads (which come and go as Qt
// pleases) left out. Taken before and after an operation, a thread it left running shows as a
// name too many.
std::vector<std::string> threadNames();

}  // namespace tarvo::test

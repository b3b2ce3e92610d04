#include "support/ThreadNames.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

namespace tarvo::test {

std::vector<std::string> threadNames() {
    // A sanitizer runtime starts a helper thread with the process's first thread; it is made
    // here before any count, so that it is never taken for a leftover.
    static const bool started = [] {
        std::thread([] {}).join();
        return true;
    }();
    static_cast<void>(started);
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name != "Thread (pooled)") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tarvo::test

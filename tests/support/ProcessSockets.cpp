#include "support/ProcessSockets.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace tarvo::test {

namespace {

std::string procOf(pid_t pid) {
    return pid == 0 ? std::string("/proc/self") : "/proc/" + std::to_string(pid);
}

}  // namespace

int packetSocketOf(pid_t pid) {
    const std::string proc = procOf(pid);
    std::set<std::string> inodes;
    std::ifstream table(proc + "/net/packet");
    std::string line;
    std::getline(table, line);  // the header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string field;
        while (fields >> field) {
        }
        inodes.insert(field);  // the last column
    }
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator(proc + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (target.starts_with("socket:[") &&
            inodes.count(target.substr(8, target.size() - 9)) != 0)
            return std::stoi(fd.path().filename().string());
    }
    return -1;
}

std::vector<pid_t> macHelpersOf(pid_t pid) {
    std::vector<pid_t> out;
    std::error_code error;
    for (const auto& thread : std::filesystem::directory_iterator(procOf(pid) + "/task", error)) {
        std::ifstream children(thread.path() / "children");
        for (pid_t child = 0; children >> child;) {
            std::ifstream name("/proc/" + std::to_string(child) + "/comm");
            std::string comm;
            if (name >> comm && comm == "tarvo-macwatch") out.push_back(child);
        }
    }
    return out;
}

}  // namespace tarvo::test

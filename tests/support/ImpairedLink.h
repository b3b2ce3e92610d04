#pragma once

// A lossy, slow, reordering link in front of device host k of the sandbox, made by tarvo-impair:
//
//   test::ImpairedLink link(1, {.delayMs = 50, .jitterMs = 20, .reorder = 10});
//   ... talk to 10.250.0.11 ...
//   link.set({.lossIn = 20, .lossOut = 20});
//   EXPECT_GT(link.stats()["in"]["lost"], 0);
//
// The constructor replaces the host's link and returns once it is up again (same names, MACs
// and addresses); it throws std::runtime_error when the relay does not come up. Start the
// simulator in that host after the link: the old interface and its memberships are gone. The
// destructor ends the relay, and with it the host's link. Network tests only.

#include <sys/types.h>

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace tarvo::test {

struct ImpairSettings {
    double delayMs = 0;
    double jitterMs = 0;
    double lossIn = 0;   // percent of frames towards the host that are dropped
    double lossOut = 0;  // percent of frames from the host that are dropped
    double reorder = 0;  // percent of frames sent at once, ahead of those still held

    [[nodiscard]] std::string describe() const;
};

class ImpairedLink {
public:
    explicit ImpairedLink(int host, const ImpairSettings& settings = {}, std::uint64_t seed = 1);
    ~ImpairedLink();
    ImpairedLink(const ImpairedLink&) = delete;
    ImpairedLink& operator=(const ImpairedLink&) = delete;

    // New settings from now on (frames already held keep their times). Throws when refused.
    void set(const ImpairSettings& settings);
    // {"in": {"frames", "lost", "overflow", "sent", "writeErrors", "reordered"}, "out": {...}}.
    nlohmann::json stats();

    // The relay binary: $TARVO_IMPAIR, else the path the build recorded.
    static std::string executablePath();

private:
    std::string request(const std::string& line);
    std::string readLine();
    void stop();

    pid_t pid_ = -1;
    int toRelay_ = -1;
    int fromRelay_ = -1;
    std::string buffered_;
};

}  // namespace tarvo::test

// What discovery, the network settings sequence and the preview tolerate on a bad link: one
// camera behind an impaired link (device host 1), swept over loss and delay levels. Prints one
// table row per level. Run inside the sandbox with one host:
//
//   scripts/sandbox --hosts 1 -- build/release/bench/bench-impaired-link-sweep [--quick]
//
// search: share of single searches (one request, neighbour table flushed first, 3 s to answer)
// that listed the camera. settings: outcomes of `net set` (completed / failed with a message /
// write lost unnoticed / damaged). preview: pictures in 3 s at 25 fps and the time to the first.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/ImpairedLink.h"
#include "support/LinkProbes.h"
#include "support/RunProcess.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    test::requireSandboxOrExit();
    if (test::sandboxHostCount() < 1) {
        std::fprintf(stderr, "needs scripts/sandbox --hosts 1\n");
        return 2;
    }
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int searchTrials = quick ? 4 : 10;
    const int settingsTrials = quick ? 2 : 5;

    struct Level {
        double delay, jitter, loss;
    };
    std::vector<Level> levels;
    for (double loss : {0.0, 2.0, 5.0, 10.0, 20.0, 30.0, 50.0}) levels.push_back({0, 0, loss});
    for (double delay : {50.0, 100.0, 200.0, 350.0, 500.0}) levels.push_back({delay, delay / 5, 0});
    levels.push_back({100, 20, 10});

    test::ImpairedLink link(1, {}, 2024);
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
      {"ip": "10.250.0.11", "type": 100, "name": "far-cam", "password": "pw", "audio": 1,
       "netParams": {"mask": "255.255.255.0", "gateway": "10.250.0.1", "dns": "10.250.0.1"},
       "video": {"codec": "h264", "width": 320, "height": 240, "fps": 25, "gop": 25}}]})"),
                         options);
    const std::string ip = test::sandboxHostAddress(1);
    // The first preview waits for the clip to be encoded; do that before measuring.
    test::previewFor(ip, "pw", 2s);

    std::printf("%-22s | %-9s | %-40s | %-18s\n", "link (delay±jitter, loss)", "search",
                "settings (done/failed/lost/damaged)", "preview (pics, 1st)");
    std::printf("%s\n", std::string(100, '-').c_str());
    int damaged = 0;
    for (const auto& level : levels) {
        link.set({.delayMs = level.delay,
                  .jitterMs = level.jitter,
                  .lossIn = level.loss,
                  .lossOut = level.loss});
        int listed = 0;
        for (int i = 0; i < searchTrials; ++i) {
            test::runProcess({"ip", "neigh", "flush", "dev", "tvbr0"});
            listed += test::searchesUntilListed(ip, 1, 3s) == 1 ? 1 : 0;
        }
        std::map<test::SettingsAttempt::Verdict, int> outcomes;
        std::map<std::string, int> messages;
        for (int i = 0; i < settingsTrials; ++i) {
            const auto a =
                test::netSetAttempt(sim, ip, "pw", "10.250.0." + std::to_string(100 + i));
            ++outcomes[a.verdict];
            if (a.verdict == test::SettingsAttempt::Verdict::Damaged)
                std::fprintf(stderr, "damaged: %s\n", a.detail.c_str());
            if (!a.message.empty()) {
                std::string first = a.message.substr(0, a.message.find('\n'));
                ++messages[first.substr(0, 60)];
            }
        }
        damaged += outcomes[test::SettingsAttempt::Verdict::Damaged];
        const auto run = test::previewFor(ip, "pw", 3s);

        char linkText[64], searchText[32], settingsText[64], previewText[48];
        std::snprintf(linkText, sizeof linkText, "%4.0f±%-3.0f ms, %4.1f %%", level.delay,
                      level.jitter, level.loss);
        std::snprintf(searchText, sizeof searchText, "%d/%d", listed, searchTrials);
        using V = test::SettingsAttempt::Verdict;
        std::snprintf(settingsText, sizeof settingsText, "%d/%d/%d/%d of %d",
                      outcomes[V::Completed], outcomes[V::FailedClean], outcomes[V::Lost],
                      outcomes[V::Damaged], settingsTrials);
        if (run.firstPicture.count() >= 0) {
            std::snprintf(previewText, sizeof previewText, "%3llu, %5lld ms",
                          static_cast<unsigned long long>(run.pictures),
                          static_cast<long long>(run.firstPicture.count()));
        } else {
            std::snprintf(previewText, sizeof previewText, "none%s",
                          run.started ? "" : " (no stream)");
        }
        std::printf("%-22s | %-9s | %-40s | %-18s\n", linkText, searchText, settingsText,
                    previewText);
        for (const auto& [text, count] : messages)
            std::printf("%-22s   %-9s   message x%d: %s\n", "", "", count, text.c_str());
        std::fflush(stdout);
    }
    return damaged == 0 ? 0 : 1;
}

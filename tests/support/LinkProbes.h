#pragma once

// What the program gets done across one device host's link: a search, the network settings
// sequence and the live preview, each measured against the simulator that plays the device.
// Used by the impaired-link tests and the sweep in bench/.

#include <chrono>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace tarvo::test {

class SimProcess;

// Searches (the engine's single request each time, `perSearch` apart) until `ip` is listed, at
// most `maxSearches` times. Returns the number of searches it took, 0 when it never was.
int searchesUntilListed(const std::string& ip, int maxSearches,
                        std::chrono::milliseconds perSearch = std::chrono::milliseconds(1500));

// One `tarvo-cli net set IP --password PW --dns NEWDNS` against the device `ip` of `sim`, judged
// by what the device received and holds afterwards.
struct SettingsAttempt {
    enum class Verdict {
        Completed,    // exit 0; the record and the audio flag arrived once, the rest unchanged
        FailedClean,  // exit 1 with a message; nothing written
        Lost,         // exit 0 but the write never reached the device
        Damaged,      // the device holds values nobody asked for, or got a write twice
    };
    Verdict verdict = Verdict::Damaged;
    int exitCode = -1;
    std::string message;  // the CLI's stderr
    int recordWrites = 0;
    int audioWrites = 0;
    std::string detail;  // what differs, for Lost and Damaged
    std::chrono::milliseconds elapsed{0};
};
const char* verdictName(SettingsAttempt::Verdict verdict);

SettingsAttempt netSetAttempt(const SimProcess& sim, const std::string& ip,
                              const std::string& password, const std::string& newDns);

// A preview of the camera at `ip` (command port 5505) with the headless renderer for `length`.
struct PreviewRun {
    bool started = false;                        // the stream reply came
    std::uint64_t pictures = 0;                  // drawn within `length`
    std::chrono::milliseconds firstPicture{-1};  // from the start; -1 when none
    std::uint64_t decoderFaults = 0;
    bool receiveEnded = false;
};
PreviewRun previewFor(const std::string& ip, const std::string& password,
                      std::chrono::milliseconds length);

}  // namespace tarvo::test

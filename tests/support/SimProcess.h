#pragma once

// Runs the device simulator tarvo-sim as a child process for an end-to-end test:
//
//   tarvo::test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
//       {"ip": "127.0.0.2", "type": 100, "name": "Cam"}]})"));
//   ... run the program against 127.0.0.2 ...
//   EXPECT_EQ(sim.device("127.0.0.2")["reboots"], 1);
//
// The constructor writes the fleet file into a private temporary directory, starts the
// simulator and waits (bounded) until it printed READY; it throws std::runtime_error when the
// simulator does not come up. The destructor stops it (SIGTERM, SIGKILL after 2 s), reaps it and
// removes the directory. Network tests only: the simulator must run inside the sandbox.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tarvo::test {

// How SimProcess starts the simulator.
struct SimOptions {
    // More command-line arguments: --device, --count ..., --seed.
    std::vector<std::string> extraArgs;
    std::chrono::milliseconds readyTimeout{5000};
    // Device host k of the sandbox (scripts/sandbox --hosts N) to run in; 0: right here.
    int host = 0;
};

class SimProcess {
public:
    using Options = SimOptions;

    // A fleet as JSON: {"devices": [...]} or a bare array.
    explicit SimProcess(const nlohmann::json& fleet, Options options = {});
    // A fleet as JSON text, written to the fleet file as it stands:
    //   SimProcess sim(SimProcess::FleetText{R"({"devices": [{"ip": "127.0.0.2"}]})"});
    struct FleetText {
        std::string_view json;
    };
    explicit SimProcess(FleetText fleet, Options options = {});
    // No fleet file: the devices come from options.extraArgs alone.
    explicit SimProcess(Options options);
    ~SimProcess();

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] const std::string& controlPath() const { return controlPath_; }
    [[nodiscard]] const std::string& fleetPath() const { return fleetPath_; }

    // One control command line ("state", "clear", "set 127.0.0.2 dropUdp=true", ...); the
    // answer line as JSON. Throws std::runtime_error when the simulator does not answer.
    nlohmann::json command(const std::string& line) const;
    // {"devices": [...]}.
    nlohmann::json state() const;
    // The state of the device at `ip`; throws when there is none.
    nlohmann::json device(const std::string& ip) const;
    // "set IP settings" that must succeed (throws with the simulator's error otherwise).
    void set(const std::string& ip, const std::string& settings) const;
    // Forgets the frames received so far (with `all`: also logins and reboots).
    void clear(bool all = false) const;

    // Stops the simulator: SIGTERM, then SIGKILL after 2 s. Returns its exit status, 128+N when
    // signal N ended it, -1 when it was not running. Safe to call twice.
    int stop();

    // The simulator binary: $TARVO_SIM, else the path the build recorded.
    static std::string executablePath();

private:
    void start(const std::string* fleetText, Options options);
    void waitReady(std::chrono::milliseconds limit);
    void removeFiles();

    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::string directory_;
    std::string fleetPath_;
    std::string controlPath_;
};

}  // namespace tarvo::test

#include "support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "support/Sandbox.h"

namespace tarvo::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kCommandTimeout = std::chrono::seconds(10);
constexpr auto kTermGrace = std::chrono::seconds(2);
constexpr std::size_t kMaxAnswer = 512u * 1024 * 1024;

[[noreturn]] void failStarting(const std::string& what) {
    throw std::runtime_error("SimProcess: " + what);
}

// A short base directory: the control socket's path must fit into sockaddr_un.
std::string temporaryBase() {
    const char* fromEnv = std::getenv("TMPDIR");
    std::string base = fromEnv != nullptr && *fromEnv != '\0' ? fromEnv : "/tmp";
    if (base.size() > 60) base = "/tmp";
    return base;
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Waits for the child until `deadline`; true with `status` when it was reaped.
bool reapBefore(pid_t pid, Clock::time_point deadline, int& status) {
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    bool reaped = false;
    for (;;) {
        const pid_t result = ::waitpid(pid, &status, WNOHANG);
        if (result == pid) {
            reaped = true;
            break;
        }
        if (result < 0 && errno != EINTR) break;
        const int left = millisecondsUntil(deadline);
        if (left <= 0) break;
        if (pidFd >= 0) {
            pollfd watch{pidFd, POLLIN, 0};
            ::poll(&watch, 1, left);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 10)));
        }
    }
    if (pidFd >= 0) ::close(pidFd);
    return reaped;
}

}  // namespace

SimProcess::SimProcess(const nlohmann::json& fleet, Options options) {
    const std::string text = fleet.dump(2);
    start(&text, std::move(options));
}

SimProcess::SimProcess(FleetText fleet, Options options) {
    const std::string text(fleet.json);
    start(&text, std::move(options));
}

SimProcess::SimProcess(Options options) {
    start(nullptr, std::move(options));
}

SimProcess::~SimProcess() {
    stop();
    removeFiles();
}

std::string SimProcess::executablePath() {
    const char* fromEnv = std::getenv("TARVO_SIM");
    if (fromEnv != nullptr && *fromEnv != '\0') return fromEnv;
#ifdef TARVO_SIM_PATH
    return TARVO_SIM_PATH;
#else
    return "tarvo-sim";
#endif
}

void SimProcess::start(const std::string* fleetText, Options options) {
    try {
        std::string pattern = temporaryBase() + "/tarvo-sim-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            failStarting("cannot make a temporary directory: " + std::string(std::strerror(errno)));
        }
        directory_ = pattern;
        controlPath_ = directory_ + "/control.sock";

        std::vector<std::string> argv;
        if (options.host > 0) {
            std::string why;
            argv = hostCommandPrefix(options.host, why);
            if (argv.empty())
                failStarting("no device host " + std::to_string(options.host) + ": " + why);
        }
        argv.push_back(executablePath());
        if (fleetText != nullptr) {
            fleetPath_ = directory_ + "/fleet.json";
            std::ofstream out(fleetPath_, std::ios::trunc);
            out << *fleetText;
            out.close();
            if (!out) failStarting("cannot write " + fleetPath_);
            argv.push_back("--fleet");
            argv.push_back(fleetPath_);
        }
        argv.push_back("--control");
        argv.push_back(controlPath_);
        argv.insert(argv.end(), options.extraArgs.begin(), options.extraArgs.end());

        int pipeFds[2] = {-1, -1};
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            failStarting("pipe: " + std::string(std::strerror(errno)));
        // Everything the child needs is built before fork(): it only redirects and execs.
        std::vector<char*> args;
        for (auto& arg : argv) args.push_back(arg.data());
        args.push_back(nullptr);

        pid_ = ::fork();
        if (pid_ < 0) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            failStarting("fork: " + std::string(std::strerror(errno)));
        }
        if (pid_ == 0) {
            if (::dup2(pipeFds[1], STDOUT_FILENO) < 0) ::_exit(126);
            ::execvp(args[0], args.data());
            static const char message[] = "SimProcess: exec of the simulator failed\n";
            (void)!::write(STDERR_FILENO, message, sizeof message - 1);
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        stdoutFd_ = pipeFds[0];
        waitReady(options.readyTimeout);
    } catch (...) {
        stop();
        removeFiles();
        throw;
    }
}

void SimProcess::waitReady(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::string seen;
    for (;;) {
        const int left = millisecondsUntil(deadline);
        if (left <= 0) failStarting("the simulator did not report READY in time");
        pollfd watch{stdoutFd_, POLLIN, 0};
        const int ready = ::poll(&watch, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) failStarting("poll: " + std::string(std::strerror(errno)));
        if (ready == 0) continue;  // the deadline check above ends it
        char chunk[256];
        const ssize_t got = ::read(stdoutFd_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            int status = 0;
            const bool reaped = reapBefore(pid_, Clock::now() + std::chrono::seconds(1), status);
            if (reaped) pid_ = -1;
            failStarting("the simulator ended before READY" +
                         (reaped ? " (exit status " + std::to_string(decodeStatus(status)) + ")"
                                 : std::string()));
        }
        seen.append(chunk, static_cast<std::size_t>(got));
        if (seen.find("READY\n") != std::string::npos) return;
        if (seen.size() > 4096) seen.erase(0, seen.size() - 16);
    }
}

nlohmann::json SimProcess::command(const std::string& line) const {
    sockaddr_un address{};
    if (controlPath_.size() >= sizeof address.sun_path) failStarting("control path too long");
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, controlPath_.c_str(), controlPath_.size());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) failStarting("socket: " + std::string(std::strerror(errno)));
    std::string answer;
    std::string error;
    const auto deadline = Clock::now() + kCommandTimeout;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "connect to " + controlPath_ + ": " + std::strerror(errno);
    } else {
        const std::string request = line + "\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
            error = "send: " + std::string(std::strerror(errno));
        }
        char chunk[65536];
        while (error.empty()) {
            pollfd watch{fd, POLLIN, 0};
            const int ready = ::poll(&watch, 1, millisecondsUntil(deadline));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) {
                error = "no answer to '" + line + "' in time";
                break;
            }
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error = "recv: " + std::string(std::strerror(errno));
            if (got <= 0) break;
            answer.append(chunk, static_cast<std::size_t>(got));
            if (answer.size() > kMaxAnswer) error = "answer too large";
        }
    }
    ::close(fd);
    if (!error.empty()) failStarting(error);
    nlohmann::json parsed = nlohmann::json::parse(answer, nullptr, false);
    if (parsed.is_discarded())
        failStarting("answer to '" + line + "' is not JSON: " + answer.substr(0, 200));
    return parsed;
}

nlohmann::json SimProcess::state() const {
    return command("state");
}

nlohmann::json SimProcess::device(const std::string& ip) const {
    nlohmann::json answer = command("state " + ip);
    if (!answer.contains("devices") || !answer["devices"].is_array() || answer["devices"].empty()) {
        failStarting("no device " + ip + ": " + answer.dump());
    }
    return answer["devices"][0];
}

void SimProcess::set(const std::string& ip, const std::string& settings) const {
    const nlohmann::json answer = command("set " + ip + " " + settings);
    if (answer.value("ok", false) != true)
        failStarting("set " + ip + " " + settings + ": " + answer.dump());
}

void SimProcess::clear(bool all) const {
    const nlohmann::json answer = command(all ? "clear all" : "clear");
    if (answer.value("ok", false) != true) failStarting("clear: " + answer.dump());
}

int SimProcess::stop() {
    int result = -1;
    if (pid_ > 0) {
        int status = 0;
        ::kill(pid_, SIGTERM);
        bool reaped = reapBefore(pid_, Clock::now() + kTermGrace, status);
        if (!reaped) {
            ::kill(pid_, SIGKILL);
            pid_t waited = -1;
            while ((waited = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
            }
            reaped = waited == pid_;
        }
        if (reaped) result = decodeStatus(status);
        pid_ = -1;
    }
    if (stdoutFd_ >= 0) {
        ::close(stdoutFd_);
        stdoutFd_ = -1;
    }
    return result;
}

void SimProcess::removeFiles() {
    if (directory_.empty()) return;
    if (!fleetPath_.empty()) ::unlink(fleetPath_.c_str());
    ::unlink(controlPath_.c_str());  // left behind when the simulator had to be killed
    ::rmdir(directory_.c_str());
    directory_.clear();
}

}  // namespace tarvo::test

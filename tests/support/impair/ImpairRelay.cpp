// tarvo-impair: puts a lossy, slow, reordering link in front of one device host of the network
// sandbox, for tests of what the program tolerates on a bad wire.
//
//   scripts/sandbox --hosts N -- sh -c 'tarvo-impair K --delay 50 --jitter 20 & ...'
//
// The host's veth pair is replaced by two TAP devices with the same names, MACs and addresses
// (tvhK on the bridge, eth0 in the host) and this process forwards every Ethernet frame between
// them, holding each for delay ± jitter milliseconds, dropping it with the loss probability and
// sending it at once (ahead of those still held) with the reorder probability. Multicast passes
// like any other frame. Every random decision comes from a generator seeded with --seed, one per
// direction, three draws per frame whatever the settings, so a run with the same traffic makes
// the same decisions.
//
// "READY" goes to stdout once both links are up. With --control, stdin takes commands, one a
// line, each answered by one line on stdout:
//   set delay=MS jitter=MS loss=PCT loss-in=PCT loss-out=PCT reorder=PCT   -> ok | error ...
//   stats                                                                  -> {"in": {...}, "out":
//   {...}}
// and the end of stdin ends the relay. Otherwise it runs until SIGTERM/SIGINT/SIGHUP or
// --max-seconds. "in" is the direction towards the device host, "out" the one from it. When the
// relay ends, both TAP devices go with it and the host has no link until the next relay.
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <queue>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFrameMax = 65536;
constexpr int kReadBurst = 64;

struct Settings {
    double delayMs = 0;
    double jitterMs = 0;
    double lossIn = 0;  // percent
    double lossOut = 0;
    double reorder = 0;
    std::size_t limit = 1000;  // frames held per direction
};

struct Counters {
    std::uint64_t frames = 0;
    std::uint64_t lost = 0;
    std::uint64_t overflow = 0;
    std::uint64_t sent = 0;
    std::uint64_t writeErrors = 0;
    std::uint64_t reordered = 0;  // sent after a frame that arrived later
};

struct Held {
    Clock::time_point release;
    std::uint64_t seq;
    int direction;
    std::vector<std::uint8_t> frame;
    bool operator>(const Held& other) const {
        return release != other.release ? release > other.release : seq > other.seq;
    }
};

[[noreturn]] void die(const std::string& what) {
    std::cerr << "tarvo-impair: " << what << std::endl;
    std::exit(125);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::string value;
    std::getline(in, value);
    return value;
}

std::string macFor(int k, bool bridgeSide) {
    char text[32];
    std::snprintf(text, sizeof text, "02:00:0a:fa:%s:%02x", bridgeSide ? "01" : "00", 10 + k);
    return text;
}

// Runs `ip ARGS...` in the network namespace `nsFd` (-1: this one); its exit status.
int runIp(int nsFd, const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid < 0) die("fork failed");
    if (pid == 0) {
        if (nsFd >= 0 && ::setns(nsFd, CLONE_NEWNET) != 0) _exit(126);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("ip"));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0) ::dup2(devNull, STDERR_FILENO);
        ::execvp("ip", argv.data());
        _exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void mustIp(int nsFd, const std::vector<std::string>& args) {
    if (runIp(nsFd, args) != 0) {
        std::string line = "ip";
        for (const auto& a : args) line += " " + a;
        die("failed: " + line);
    }
}

// A TAP device named `name` in the network namespace this thread is in.
int openTap(const std::string& name) {
    const int fd = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) die("cannot open /dev/net/tun: " + std::string(std::strerror(errno)));
    ifreq request{};
    request.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    if (::ioctl(fd, TUNSETIFF, &request) != 0)
        die("cannot make TAP device " + name + ": " + std::strerror(errno));
    return fd;
}

bool parsePercent(const std::string& text, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !(v >= 0 && v <= 100)) return false;
    out = v;
    return true;
}

bool parseMs(const std::string& text, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !(v >= 0 && v <= 60000)) return false;
    out = v;
    return true;
}

// One "key=value" setting; false when the key or value is not understood.
bool applySetting(Settings& s, const std::string& key, const std::string& value) {
    double both = 0;
    if (key == "delay") return parseMs(value, s.delayMs);
    if (key == "jitter") return parseMs(value, s.jitterMs);
    if (key == "loss-in") return parsePercent(value, s.lossIn);
    if (key == "loss-out") return parsePercent(value, s.lossOut);
    if (key == "reorder") return parsePercent(value, s.reorder);
    if (key == "loss") {
        if (!parsePercent(value, both)) return false;
        s.lossIn = s.lossOut = both;
        return true;
    }
    if (key == "limit") {
        double v = 0;
        if (!parseMs(value, v) || v < 1) return false;
        s.limit = static_cast<std::size_t>(v);
        return true;
    }
    return false;
}

std::string countersJson(const Counters& c) {
    std::ostringstream out;
    out << "{\"frames\": " << c.frames << ", \"lost\": " << c.lost
        << ", \"overflow\": " << c.overflow << ", \"sent\": " << c.sent
        << ", \"writeErrors\": " << c.writeErrors << ", \"reordered\": " << c.reordered << "}";
    return out.str();
}

class Relay {
public:
    Relay(int bridgeFd, int hostFd, Settings settings, std::uint64_t seed)
        : fds_{bridgeFd, hostFd}, settings_(settings) {
        for (int d = 0; d < 2; ++d) rng_[d].seed(seed * 2 + static_cast<std::uint64_t>(d));
    }

    Settings& settings() { return settings_; }
    std::string statsJson() const {
        return "{\"in\": " + countersJson(counters_[0]) +
               ", \"out\": " + countersJson(counters_[1]) + "}";
    }

    // Reads what waits on side `from` (0 bridge, 1 host), a bounded burst.
    void readSide(int from) {
        const int direction = from;  // bridge -> host is "in"
        for (int i = 0; i < kReadBurst; ++i) {
            const ssize_t n = ::read(fds_[from], buffer_.data(), buffer_.size());
            if (n <= 0) return;
            take(direction, std::span<const std::uint8_t>(buffer_.data(), static_cast<size_t>(n)));
        }
    }

    // Sends every frame whose time has come; the time of the next one (max() if none).
    Clock::time_point flush() {
        const auto now = Clock::now();
        while (!queue_.empty() && queue_.top().release <= now) {
            const Held& h = queue_.top();
            Counters& c = counters_[h.direction];
            if (h.seq < maxSent_[h.direction]) ++c.reordered;
            maxSent_[h.direction] = std::max(maxSent_[h.direction], h.seq);
            const int out = fds_[1 - h.direction];
            if (::write(out, h.frame.data(), h.frame.size()) ==
                static_cast<ssize_t>(h.frame.size())) {
                ++c.sent;
            } else {
                ++c.writeErrors;
            }
            --held_[h.direction];
            queue_.pop();
        }
        return queue_.empty() ? Clock::time_point::max() : queue_.top().release;
    }

private:
    void take(int direction, std::span<const std::uint8_t> frame) {
        Counters& c = counters_[direction];
        ++c.frames;
        const std::uint64_t seq = ++seq_[direction];
        // Always three draws, so that one frame's decisions do not depend on the settings.
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double lossDraw = unit(rng_[direction]) * 100.0;
        const double jitterDraw = unit(rng_[direction]) * 2.0 - 1.0;
        const double reorderDraw = unit(rng_[direction]) * 100.0;
        const double loss = direction == 0 ? settings_.lossIn : settings_.lossOut;
        if (lossDraw < loss) {
            ++c.lost;
            return;
        }
        if (held_[direction] >= settings_.limit) {
            ++c.overflow;
            return;
        }
        double delay = settings_.delayMs + jitterDraw * settings_.jitterMs;
        if (reorderDraw < settings_.reorder) delay = 0;
        delay = std::max(delay, 0.0);
        const auto release =
            Clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(delay * 1000.0));
        queue_.push(Held{release, seq, direction, {frame.begin(), frame.end()}});
        ++held_[direction];
    }

    std::array<int, 2> fds_;
    Settings settings_;
    std::array<std::mt19937_64, 2> rng_;
    std::array<Counters, 2> counters_{};
    std::array<std::uint64_t, 2> seq_{};
    std::array<std::uint64_t, 2> maxSent_{};
    std::array<std::size_t, 2> held_{};
    std::priority_queue<Held, std::vector<Held>, std::greater<>> queue_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kFrameMax);
};

void usage() {
    std::cout << "usage: tarvo-impair K [--delay MS] [--jitter MS] [--loss PCT] [--loss-in PCT]\n"
                 "                      [--loss-out PCT] [--reorder PCT] [--limit FRAMES]\n"
                 "                      [--seed N] [--control] [--max-seconds S]\n"
                 "Replaces device host K's link with an impaired one; run inside scripts/sandbox.\n"
                 "in = towards the host, out = from it; loss and reorder in percent.\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        usage();
        return argc < 2 ? 2 : 0;
    }
    tarvo::test::requireSandboxOrExit();

    const int k = std::atoi(argv[1]);
    if (k < 1 || k > tarvo::test::sandboxHostCount()) die("no device host " + std::string(argv[1]));
    Settings settings;
    std::uint64_t seed = 1;
    bool control = false;
    double maxSeconds = 3600;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--control") {
            control = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || i + 1 >= argc) die("bad argument " + arg);
        const std::string value = argv[++i];
        if (arg == "--seed") {
            seed = std::strtoull(value.c_str(), nullptr, 10);
        } else if (arg == "--max-seconds") {
            if (!parseMs(value, maxSeconds) || maxSeconds <= 0) die("bad --max-seconds");
        } else if (!applySetting(settings, arg.substr(2), value)) {
            die("bad argument " + arg + " " + value);
        }
    }

    // Find the host's namespace the way scripts/sandbox-host does, and check it is still that one.
    const char* dirEnv = std::getenv("TARVO_SANDBOX_DIR");
    if (dirEnv == nullptr) die("TARVO_SANDBOX_DIR is not set");
    const std::string dir = dirEnv;
    const std::string pid = readFile(dir + "/host" + std::to_string(k) + ".pid");
    const std::string recorded = readFile(dir + "/host" + std::to_string(k) + ".netns");
    const std::string nsPath = "/proc/" + pid + "/ns/net";
    char link[128] = {};
    if (pid.empty() || ::readlink(nsPath.c_str(), link, sizeof link - 1) < 0 || recorded != link)
        die("device host " + std::to_string(k) + " is gone");
    const int hostNs = ::open(nsPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int ownNs = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (hostNs < 0 || ownNs < 0) die("cannot open the network namespaces");

    const std::string port = "tvh" + std::to_string(k);
    const std::string address = tarvo::test::sandboxHostAddress(k) + "/24";
    // Whatever link the host had (the sandbox's veth pair, or an earlier relay's TAPs) goes.
    runIp(-1, {"link", "del", port});
    runIp(hostNs, {"link", "del", "eth0"});

    const int bridgeFd = openTap(port);
    if (::setns(hostNs, CLONE_NEWNET) != 0) die("cannot enter the host's network namespace");
    const int hostFd = openTap("eth0");
    if (::setns(ownNs, CLONE_NEWNET) != 0) die("cannot return to the sandbox's namespace");

    mustIp(-1, {"link", "set", port, "address", macFor(k, true)});
    mustIp(-1, {"link", "set", port, "master", "tvbr0"});
    mustIp(-1, {"link", "set", port, "up"});
    mustIp(hostNs, {"link", "set", "eth0", "address", macFor(k, false)});
    mustIp(hostNs, {"link", "set", "eth0", "up"});
    mustIp(hostNs, {"addr", "add", address, "dev", "eth0"});
    mustIp(hostNs, {"route", "add", "default", "via", "10.250.0.1"});
    mustIp(hostNs, {"route", "add", "224.0.0.0/4", "dev", "eth0"});
    ::close(hostNs);
    ::close(ownNs);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) die("signalfd failed");
    ::signal(SIGPIPE, SIG_IGN);

    Relay relay(bridgeFd, hostFd, settings, seed);
    std::cout << "READY" << std::endl;

    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<std::int64_t>(maxSeconds * 1000));
    std::string pending;
    for (;;) {
        const auto next = std::min(relay.flush(), deadline);
        const auto now = Clock::now();
        if (now >= deadline) break;
        // The next frame may have fallen due since flush() looked.
        const auto wait =
            std::max(std::chrono::nanoseconds(0),
                     std::chrono::duration_cast<std::chrono::nanoseconds>(next - now));
        timespec timeout{static_cast<time_t>(wait.count() / 1'000'000'000),
                         static_cast<long>(wait.count() % 1'000'000'000)};
        std::array<pollfd, 4> watch{{{bridgeFd, POLLIN, 0},
                                     {hostFd, POLLIN, 0},
                                     {signalFd, POLLIN, 0},
                                     {control ? STDIN_FILENO : -1, POLLIN, 0}}};
        const int ready = ::ppoll(watch.data(), watch.size(), &timeout, nullptr);
        if (ready < 0 && errno != EINTR) die("poll failed");
        if (ready <= 0) continue;
        if (watch[2].revents != 0) break;
        if (watch[0].revents & POLLIN) relay.readSide(0);
        if (watch[1].revents & POLLIN) relay.readSide(1);
        if ((watch[0].revents | watch[1].revents) & (POLLERR | POLLNVAL))
            die("a TAP device went away");
        if (watch[3].revents != 0) {
            char chunk[512];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n <= 0) break;
            pending.append(chunk, static_cast<std::size_t>(n));
            if (pending.size() > 4096) die("control line too long");
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::istringstream line(pending.substr(0, end));
                pending.erase(0, end + 1);
                std::string word;
                line >> word;
                if (word == "stats") {
                    std::cout << relay.statsJson() << std::endl;
                } else if (word == "set") {
                    Settings next = relay.settings();
                    std::string item, bad;
                    while (line >> item) {
                        const auto eq = item.find('=');
                        if (eq == std::string::npos ||
                            !applySetting(next, item.substr(0, eq), item.substr(eq + 1)))
                            bad = item;
                    }
                    if (bad.empty()) {
                        relay.settings() = next;
                        std::cout << "ok" << std::endl;
                    } else {
                        std::cout << "error: " << bad << std::endl;
                    }
                } else {
                    std::cout << "error: unknown command " << word << std::endl;
                }
            }
        }
    }
    std::cerr << "tarvo-impair: " << relay.statsJson() << std::endl;
    return 0;
}

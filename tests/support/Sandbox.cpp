#include "Sandbox.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvo::test {
namespace {

constexpr int kMaxHosts = 64;

bool allowedInterface(const std::string& name) {
    return name == "lo" || name.rfind("tv", 0) == 0;
}

std::string envOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string(fallback);
}

std::string readFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return line;
}

std::string readLink(const std::string& path) {
    char buf[256];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

// Pid of host k's holder process, checked against the namespace the sandbox recorded for it.
// Returns -1 (with a reason) when the host does not exist or its holder is gone.
long hostHolderPid(int k, std::string& why) {
    if (envOr("TARVO_SANDBOX", "") != "1") {
        why = "not inside scripts/sandbox";
        return -1;
    }
    if (k < 1 || k > sandboxHostCount()) {
        why = "no device host " + std::to_string(k) + " (this sandbox has " +
              std::to_string(sandboxHostCount()) + "; use scripts/sandbox --hosts N)";
        return -1;
    }
    const std::string dir = envOr("TARVO_SANDBOX_DIR", "");
    if (dir.empty()) {
        why = "TARVO_SANDBOX_DIR is not set";
        return -1;
    }
    const std::string base = dir + "/host" + std::to_string(k);
    const std::string pidText = readFirstLine(base + ".pid");
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(pidText.c_str(), &end, 10);
    if (pidText.empty() || errno != 0 || *end != '\0' || pid <= 0) {
        why = "no valid pid file " + base + ".pid";
        return -1;
    }
    const std::string expected = readFirstLine(base + ".netns");
    if (expected.empty() || readLink("/proc/" + std::to_string(pid) + "/ns/net") != expected) {
        why = "device host " + std::to_string(k) + " is gone";
        return -1;
    }
    return pid;
}

}  // namespace

bool insideSandbox(std::string& why) {
    if (envOr("TARVO_SANDBOX", "") != "1") {
        why = "TARVO_SANDBOX is not 1";
        return false;
    }

    std::set<std::string> names;
    struct if_nameindex* list = if_nameindex();
    if (!list) {
        why = std::string("cannot list network interfaces: ") + std::strerror(errno);
        return false;
    }
    for (struct if_nameindex* i = list; i->if_index != 0 && i->if_name; ++i)
        names.insert(i->if_name);
    if_freenameindex(list);

    struct ifaddrs* addrs = nullptr;
    if (getifaddrs(&addrs) != 0) {
        why = std::string("cannot list network interfaces: ") + std::strerror(errno);
        return false;
    }
    for (struct ifaddrs* a = addrs; a; a = a->ifa_next) {
        if (a->ifa_name) names.insert(a->ifa_name);
    }
    freeifaddrs(addrs);

    if (names.empty()) {
        why = "no network interface visible at all";
        return false;
    }
    std::string foreign;
    for (const auto& n : names) {
        if (!allowedInterface(n)) foreign += (foreign.empty() ? "" : ", ") + n;
    }
    if (!foreign.empty()) {
        why = "interfaces outside the sandbox are visible: " + foreign;
        return false;
    }
    why.clear();
    return true;
}

void requireSandboxOrExit() {
    std::string why;
    if (insideSandbox(why)) return;
    std::fprintf(stderr, "network test refused: run it through scripts/sandbox (%s)\n",
                 why.c_str());
    std::fflush(nullptr);
    std::_Exit(2);
}

int sandboxHostCount() {
    if (envOr("TARVO_SANDBOX", "") != "1") return 0;
    const std::string text = envOr("TARVO_SANDBOX_HOSTS", "0");
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || n < 0 || n > kMaxHosts) return 0;
    return static_cast<int>(n);
}

std::string sandboxBridgeAddress() {
    return envOr("TARVO_SANDBOX_BRIDGE_ADDR", "10.250.0.1");
}

std::string sandboxHostAddress(int k) {
    if (k < 1 || k > kMaxHosts) return {};
    return "10.250.0." + std::to_string(10 + k);
}

std::string sandboxHostMac(int k) {
    if (k < 1 || k > kMaxHosts) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "02:00:0a:fa:00:%02x", 10 + k);
    return buf;
}

std::vector<std::string> sandboxHostAddresses() {
    std::vector<std::string> out;
    for (int k = 1; k <= sandboxHostCount(); ++k) out.push_back(sandboxHostAddress(k));
    return out;
}

std::vector<std::string> hostCommandPrefix(int k, std::string& why) {
    if (hostHolderPid(k, why) < 0) return {};
    const std::string tool = envOr("TARVO_SANDBOX_HOST_CMD", "");
    if (tool.empty() || ::access(tool.c_str(), X_OK) != 0) {
        why = "TARVO_SANDBOX_HOST_CMD does not name scripts/sandbox-host";
        return {};
    }
    return {tool, std::to_string(k)};
}

pid_t spawnInHost(int k, const std::vector<std::string>& argv, std::string& why) {
    if (argv.empty()) {
        why = "empty command";
        return -1;
    }
    const long holder = hostHolderPid(k, why);
    if (holder < 0) return -1;

    const std::string nsPath = "/proc/" + std::to_string(holder) + "/ns/net";
    const int nsFd = ::open(nsPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0) {
        why = "cannot open " + nsPath + ": " + std::strerror(errno);
        return -1;
    }

    // Everything the child needs is prepared here: after fork() it only calls setns and exec.
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const std::string hostVar = "TARVO_SANDBOX_HOST=" + std::to_string(k);
    std::vector<std::string> envStore;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "TARVO_SANDBOX_HOST=", 19) != 0) envStore.emplace_back(*e);
    }
    envStore.push_back(hostVar);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) {
        why = std::string("fork: ") + std::strerror(errno);
        ::close(nsFd);
        return -1;
    }
    if (pid == 0) {
        if (::setns(nsFd, CLONE_NEWNET) != 0) {
            static const char msg[] = "spawnInHost: setns failed\n";
            (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
            ::_exit(126);
        }
        // Like scripts/sandbox-host: a private mount namespace whose /sys shows this host's
        // interfaces. Not fatal when it fails; sockets and netlink see the host either way.
        if (::unshare(CLONE_NEWNS) == 0 &&
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
            (void)::mount("sysfs", "/sys", "sysfs", 0, nullptr);
        }
        ::execvpe(args[0], args.data(), envp.data());
        static const char msg[] = "spawnInHost: exec failed\n";
        (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
        ::_exit(127);
    }
    ::close(nsFd);
    return pid;
}

int waitInHostChild(pid_t pid, std::chrono::milliseconds limit) {
    if (pid <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Sleep on a pidfd until the child ends or the time is up; where pidfds are missing, look
    // every few milliseconds instead.
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    int status = 0;
    bool reaped = false;
    bool failed = false;
    while (!reaped && !failed) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            reaped = true;
        } else if (r < 0 && errno != EINTR) {
            failed = true;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            pid_t k;
            while ((k = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
            }
            reaped = k == pid;
            failed = !reaped;
        } else if (pidFd >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const auto ms = std::clamp<std::chrono::milliseconds::rep>(left.count(), 1, 1000);
            struct pollfd p {
                pidFd, POLLIN, 0
            };
            ::poll(&p, 1, static_cast<int>(ms));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (pidFd >= 0) ::close(pidFd);
    if (failed) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

int runInHost(int k, const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    std::string why;
    const pid_t pid = spawnInHost(k, argv, why);
    if (pid < 0) {
        std::fprintf(stderr, "runInHost(%d): %s\n", k, why.c_str());
        return -1;
    }
    return waitInHostChild(pid, limit);
}

}  // namespace tarvo::test

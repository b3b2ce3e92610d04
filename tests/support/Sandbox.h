#pragma once

// Guards and helpers for tests that open sockets. Such tests run only inside scripts/sandbox,
// a private network namespace where nothing can reach a real network:
//
//   scripts/sandbox [--hosts N] -- <test binary> ...
//
// With --hosts N the sandbox also has N device hosts (network namespaces of their own behind
// the bridge tvbr0, 10.250.0.1/24); host k (1-based) has eth0 = 10.250.0.(10+k), MAC
// 02:00:0a:fa:00:XX with XX = hex of 10+k. A test starts a simulator in host k with
// runInHost()/spawnInHost(), or builds a command line with hostCommandPrefix().

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tarvo::test {

// True only when TARVO_SANDBOX=1 and every network interface visible here is `lo` or starts
// with "tv" (the sandbox's bridge and ports). Otherwise false, with the reason in `why`.
bool insideSandbox(std::string& why);

// Prints "network test refused: run it through scripts/sandbox (<reason>)" to stderr and exits
// with status 2 unless insideSandbox() holds. Call it first thing in main() of a network test.
void requireSandboxOrExit();

// Number of device hosts of the current sandbox (TARVO_SANDBOX_HOSTS), 0 outside one.
int sandboxHostCount();

// Address of the sandbox's side of the bridge, "10.250.0.1".
std::string sandboxBridgeAddress();

// "10.250.0.(10+k)" for host k in 1..64 (whether or not the sandbox has that host).
std::string sandboxHostAddress(int k);

// "02:00:0a:fa:00:XX" (lower case) for host k in 1..64.
std::string sandboxHostMac(int k);

// Addresses of hosts 1..sandboxHostCount(), in order.
std::vector<std::string> sandboxHostAddresses();

// {"<path>/scripts/sandbox-host", "<k>"}: prefix that runs a command in host k (for a child
// started by other means, e.g. QProcess). Empty, with the reason in `why`, when there is no such
// host.
std::vector<std::string> hostCommandPrefix(int k, std::string& why);

// Starts argv (argv[0] looked up in PATH) in the network namespace of host k, with
// TARVO_SANDBOX_HOST=k added to its environment and a /sys that shows the host's interfaces.
// Returns the child's pid, or -1 with the reason in `why`. The caller reaps it (waitpid, or
// waitInHostChild below).
pid_t spawnInHost(int k, const std::vector<std::string>& argv, std::string& why);

// Waits for a child started by spawnInHost, at most `limit`; kills it (SIGKILL) when it runs
// longer. Returns its exit status, 128+N when a signal N ended it, or -1 on a wait error.
int waitInHostChild(pid_t pid, std::chrono::milliseconds limit);

// spawnInHost + waitInHostChild. Returns the exit status as above, or -1 when it could not be
// started (the reason goes to stderr).
int runInHost(int k, const std::vector<std::string>& argv,
              std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace tarvo::test

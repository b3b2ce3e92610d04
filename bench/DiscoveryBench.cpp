// One search against a simulated site of N devices (default 1,000 and 5,000) on the sandbox's
// loopback network. Reports devices listed and lost, the time from the request to the last row,
// and, as the reference measured in the same run, when a bare receive loop on the same group
// saw the last reply: a ratio near 1 means the receive path keeps up with the network.
// Run inside the sandbox: scripts/sandbox -- build/release/bench/bench-discovery [N...]
// With --link the devices sit behind a real link instead: one device host whose N addresses lie
// outside the computer's subnet, so that every reply's MAC must be found (from its frame, which
// the MAC helper passes on; the bench finds the build tree's helper):
//   scripts/sandbox --hosts 1 -- build/release/bench/bench-discovery --link 5000
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/net/Socket.h"
#include "support/RecordingNotifier.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Counts discovery replies from distinct senders, as plainly as a receiver can.
class ReferenceReceiver {
public:
    ReferenceReceiver(int expected, const char* interfaceAddress) : expected_(expected) {
        socket_ = net::Socket(::socket(AF_INET, SOCK_DGRAM, 0));
        int one = 1;
        ::setsockopt(socket_.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        int big = 8 << 20;
        ::setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
        timeval tv{0, 200000};
        ::setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(5250);
        ::inet_pton(AF_INET, "233.0.0.1", &local.sin_addr);
        ::bind(socket_.fd(), reinterpret_cast<sockaddr*>(&local), sizeof local);
        ip_mreqn m{};
        ::inet_pton(AF_INET, "233.0.0.1", &m.imr_multiaddr);
        ::inet_pton(AF_INET, interfaceAddress, &m.imr_address);
        ::setsockopt(socket_.fd(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
        thread_ = std::thread([this] { run(); });
    }
    ~ReferenceReceiver() {
        stop_ = true;
        thread_.join();
    }
    Clock::time_point last() const { return last_; }
    int seen() const { return static_cast<int>(senders_.size()); }

private:
    void run() {
        unsigned char buffer[1024];
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (!stop_ && seen() < expected_ && Clock::now() < end) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t got = ::recvfrom(socket_.fd(), buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&from), &len);
            if (got >= 6 && buffer[0] == 100) {
                senders_.insert(from.sin_addr.s_addr);
                last_ = Clock::now();
            }
        }
    }
    net::Socket socket_;
    int expected_;
    std::atomic<bool> stop_{false};
    std::set<std::uint32_t> senders_;
    Clock::time_point last_{};
    std::thread thread_;
};

// Times every insertion.
class InsertClock : public discovery::DeviceTableListener {
public:
    void rowInserted(int, const discovery::DeviceRow&) override {
        const auto now = Clock::now();
        if (count_++ == 0) first_ = now;
        last_ = now;
    }
    void cellChanged(int, int, const std::u16string&) override {}
    void rowRemoved(int) override {}
    void rowsSorted(const std::vector<int>&, int, bool) override {}
    int count() const { return count_.load(); }
    Clock::time_point first_{}, last_{};

private:
    std::atomic<int> count_{0};
};

double threadCpuMs(const std::thread::native_handle_type&) {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

int runOnce(int devices, bool link) {
    // Behind the link: host 1 answers from a /19 outside the bridge's /24 (a local route there).
    if (link && test::runInHost(
                    1, {"ip", "route", "replace", "local", "10.250.32.0/19", "dev", "lo"}) != 0) {
        std::fprintf(stderr, "cannot give device host 1 its addresses (run with --hosts 1)\n");
        return 1;
    }
    test::SimProcess sim(test::SimOptions{{"--count", std::to_string(devices), "--base-ip",
                                           link ? "10.250.32.1" : "127.1.0.1", "--type", "100"},
                                          std::chrono::milliseconds(20000),
                                          link ? 1 : 0});
    discovery::DeviceTable table;
    InsertClock clock;
    table.setListener(&clock);
    net::SystemMacResolver resolver;
    test::RecordingNotifier notifier;
    discovery::DiscoveryEngine engine(table, resolver, notifier);
    engine.openInterfaces();

    const char* bridge = std::getenv("TARVO_SANDBOX_BRIDGE_ADDR");
    ReferenceReceiver reference(devices, link && bridge != nullptr ? bridge : "127.0.0.1");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double cpuBefore = threadCpuMs({});
    const auto start = Clock::now();
    engine.startSearch();
    const auto deadline = start + std::chrono::seconds(20);
    while (clock.count() < devices && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double cpuAfter = threadCpuMs({});
    std::this_thread::sleep_for(
        std::chrono::milliseconds(200));  // anything late or doubled shows now
    engine.takeLateFrames();
    engine.closeInterfaces();
    table.setListener(nullptr);

    const int listed = table.rowCount();
    int withMac = 0;
    for (const auto& row : table.rows()) withMac += row.mac.empty() ? 0 : 1;
    const double toLast = ms(clock.last_ - start);
    const double refLast = ms(reference.last() - start);
    const double spread = ms(clock.last_ - clock.first_);
    std::printf(
        "devices %d: listed %d, lost %d, request->last row %.1f ms; reference receiver saw %d, "
        "last at %.1f ms;"
        " ratio %.2f\n",
        devices, listed, devices - listed, toLast, reference.seen(), refLast,
        refLast > 0 ? toLast / refLast : 0.0);
    std::printf(
        "  rows inserted at %.0f per second (first to last row %.1f ms); process CPU %.3f ms per "
        "device; %d rows with a MAC%s\n",
        spread > 0 ? listed / (spread / 1000.0) : 0.0, spread, (cpuAfter - cpuBefore) / devices,
        withMac, link ? " (every address behind the link)" : "");
    return listed == devices ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    test::requireSandboxOrExit();
    ::setenv("TARVO_MACWATCH", TARVO_MACWATCH_PATH, 0);
    std::vector<int> sizes;
    bool link = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--link") {
            link = true;
        } else {
            sizes.push_back(std::atoi(argv[i]));
        }
    }
    if (sizes.empty()) sizes = {1000, 5000};
    int status = 0;
    for (int n : sizes) status |= runOnce(n, link);
    return status;
}

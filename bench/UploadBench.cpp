// Firmware upload of a 64 MiB package to a simulated camera on the sandbox's loopback network.
// The upload paces itself (a 5 ms pause after each 32 KiB piece), so its lower bound is
// pieces × 5 ms + bytes ÷ loopback bandwidth, the bandwidth measured in the same run by a bare
// sender and reader on the same addresses. Reports the ratio (target: within 5 %), and this
// process's resident memory before and during the upload (it should stay flat).
// Run inside the sandbox: scripts/sandbox -- build/release/bench/bench-upload [MiB]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RandomPackage.h"
#include "core/net/Connect.h"
#include "core/net/Socket.h"
#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/PackageRules.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Bytes per second from a sender to a reader over loopback TCP, in 32 KiB sends, no pauses.
double loopbackBandwidth(std::uint64_t bytes) {
    net::Socket listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(0x7F000001);
    socklen_t length = sizeof where;
    if (::bind(listener.fd(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(listener.fd(), 1) != 0 ||
        ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        return 0;
    }
    std::thread reader([&] {
        net::Socket connection(::accept(listener.fd(), nullptr, nullptr));
        std::vector<char> buffer(65536);
        std::uint64_t left = bytes;
        while (left > 0) {
            const ssize_t got = ::recv(connection.fd(), buffer.data(), buffer.size(), 0);
            if (got <= 0) break;
            left -= static_cast<std::uint64_t>(got);
        }
    });
    net::Socket sender;
    double rate = 0;
    if (net::connectSocket("127.0.0.1", ntohs(where.sin_port), sender, 5000)) {
        std::vector<std::uint8_t> piece(upgrade::kPieceSize, 0x5A);
        const auto start = Clock::now();
        std::uint64_t sent = 0;
        while (sent < bytes) {
            const long n = net::sendBytes(sender, piece.data(),
                                          std::min<std::uint64_t>(piece.size(), bytes - sent));
            if (n <= 0) break;
            sent += static_cast<std::uint64_t>(n);
        }
        sender.shutdown();
        reader.join();
        rate = static_cast<double>(sent) / seconds(Clock::now() - start);
    } else {
        reader.detach();  // never reached: connecting to ourselves
    }
    return rate;
}

class Watch final : public upgrade::UploadObserver {
public:
    void uploadStarted(int, std::uint32_t) override {}
    void uploadProgress(int, std::uint64_t) override {}
    void uploadFinished(const upgrade::UploadOutcome& o) override { outcome = o; }
    upgrade::UploadOutcome outcome;
};

}  // namespace

int main(int argc, char** argv) try {
    test::requireSandboxOrExit();
    const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    const std::uint64_t size = mebibytes << 20;

    const std::string path = bench::writeRandomPackage(size);
    if (path.empty()) return 1;
    const std::string dir = std::filesystem::path(path).parent_path();

    int status = 0;
    {
        test::SimProcess sim(nlohmann::json::parse(
            R"({"devices": [{"ip": "127.0.0.2", "type": 100, "version": "v00.00.02.08"}]})"));
        const double bandwidth = loopbackBandwidth(size);

        Watch watch;
        upgrade::FirmwareUploader uploader(upgrade::cameraUpgrade(), watch);
        uploader.SetTarget(5505, "127.0.0.2");
        if (!uploader.connect()) {
            (void)std::fprintf(stderr, "bench-upload: cannot connect to the simulator\n");
            return 1;
        }
        uploader.QueryFirmwareVersion();

        const long before = residentKiB();
        std::atomic<bool> sampling{true};
        long peak = before;
        long low = before;
        std::thread sampler([&] {
            while (sampling) {
                const long now = residentKiB();
                peak = std::max(peak, now);
                low = std::min(low, now);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        const auto start = Clock::now();
        uploader.start(path);
        uploader.wait();
        const double took = seconds(Clock::now() - start);
        sampling = false;
        sampler.join();

        const auto pieces = upgrade::pieceCount(size);
        const double bound = static_cast<double>(pieces) * upgrade::kPiecePauseMs / 1000.0 +
                             static_cast<double>(size) / bandwidth;
        const double ratio = took / bound;
        const bool accepted = watch.outcome.status == upgrade::UploadStatus::Accepted;
        const nlohmann::json seen = sim.device("127.0.0.2")["uploads"][0];
        const auto received = seen["received"].get<std::uint64_t>();
        // Devices' flash writers need the pieces paced: the device must see at least 5 ms per
        // piece between the first and the last byte it read, whatever the program's constant.
        constexpr double kDevicePacingMs = 5.0;
        const double span = seen.value("spanMs", 0.0);
        const double paced =
            pieces > 1 ? span / (static_cast<double>(pieces - 1) * kDevicePacingMs) : 1.0;
        std::printf(
            "upload %llu MiB, %llu pieces: %.3f s (device answer: %s, received %llu bytes)\n",
            static_cast<unsigned long long>(mebibytes), static_cast<unsigned long long>(pieces),
            took, upgrade::statusName(watch.outcome.status),
            static_cast<unsigned long long>(received));
        std::printf(
            "loopback bandwidth %.2f GB/s; lower bound %.3f s (pauses %.3f s + bytes %.3f s)\n",
            bandwidth / 1e9, bound, static_cast<double>(pieces) * upgrade::kPiecePauseMs / 1000.0,
            static_cast<double>(size) / bandwidth);
        std::printf("ratio upload / lower bound: %.4f (target <= 1.05) %s\n", ratio,
                    ratio <= 1.05 ? "OK" : "MISSED");
        std::printf("resident memory: before %ld KiB, during %ld..%ld KiB, growth %ld KiB %s\n",
                    before, low, peak, peak - before, peak - before < 1024 ? "flat" : "NOT FLAT");
        std::printf("device read the pieces over %.0f ms: %.3f of the 5 ms pacing (>= 0.9) %s\n",
                    span, paced, paced >= 0.9 ? "OK" : "NOT PACED");
        if (!accepted || received != size || ratio > 1.05 || peak - before >= 1024 || paced < 0.9) {
            status = 1;
        }
    }
    std::filesystem::remove_all(dir);
    return status;
} catch (const std::exception& e) {
    (void)std::fprintf(stderr, "bench-upload: %s\n", e.what());
    return 1;
}

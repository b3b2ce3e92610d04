#include "cli/DeviceFinder.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "core/discovery/DeviceTypes.h"
#include "core/text/TextConvert.h"

namespace tarvo::cli {

DeviceFinder::DeviceFinder(CliNotifier& notifier)
    : engine_(std::make_unique<discovery::DiscoveryEngine>(table_, resolver_, notifier)),
      session_(std::make_unique<ops::EngineSession>(*engine_)) {}

DeviceFinder::~DeviceFinder() {
    engine_->closeInterfaces();
}

std::optional<int> DeviceFinder::find(const std::string& address, double seconds) {
    if (engine_->interfaceCount() == 0 && engine_->openInterfaces() == 0) {
        std::cerr << "no local network to search on" << std::endl;
        return std::nullopt;
    }
    engine_->startSearch();
    const std::u16string key = text::fromUtf8(address);
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    // Other devices that a command for this address would reach answer the same request; the
    // search goes on this long so that they are heard too.
    const auto settled = std::min(end, start + std::chrono::milliseconds(kSettleMs));
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        {
            std::lock_guard guard(table_.lock());
            const int row = table_.findRow(discovery::kColAddress, key);
            if (row >= 0 && now >= settled) return table_.row(row).type;
        }
        if (now >= end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::cerr << "device " << address << " did not answer the search on any local network"
              << std::endl;
    return std::nullopt;
}

void addTypeOptions(CLI::App& sub, std::optional<int>& type, double& searchSeconds) {
    sub.add_option("--type", type, "Device type code (default: from a search)")
        ->check(CLI::Range(0, 0xFFFF));
    sub.add_option("--search-seconds", searchSeconds, "How long to search for the device")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 60.0));
}

std::optional<int> deviceTypeOf(const std::string& address, std::optional<int> given,
                                double seconds) {
    if (given) return given;
    CliNotifier notifier;
    DeviceFinder finder(notifier);
    return finder.find(address, seconds);
}

bool typeAllows(const std::string& address, int type, const std::string& command, bool forNvr,
                bool forCameras) {
    const bool nvr = type == discovery::kTypeNvr;
    if (type != discovery::kTypeDvr && (nvr ? forNvr : forCameras)) return true;
    const char* kind = type == discovery::kTypeDvr ? "a DVR" : nvr ? "an NVR" : "not an NVR";
    std::cerr << address << " is " << kind << " (type " << type << "): " << command
              << (type == discovery::kTypeDvr ? " is not for DVRs"
                  : nvr                       ? " is for cameras and decoders"
                                              : " is for NVRs")
              << "; nothing sent" << std::endl;
    return false;
}

}  // namespace tarvo::cli

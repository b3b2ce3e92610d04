#include "cli/DeviceFinder.h"

#include <cstdlib>
#include <iostream>

#include "core/discovery/DeviceTypes.h"
#include "core/discovery/SettledSearch.h"
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
    if (const auto row =
            discovery::searchUntilSettled(*engine_, table_, text::fromUtf8(address), seconds))
        return row->type;
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

}  // namespace tarvo::cli

#include "cli/DeviceFinder.h"

#include "cli/CommandResult.h"

#include <cstdlib>
#include <iostream>

#include "core/discovery/DeviceTypes.h"
#include "core/discovery/SettledSearch.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::cli {

DeviceFinder::DeviceFinder(CliNotifier& notifier)
    : engine_(std::make_unique<discovery::DiscoveryEngine>(table_, resolver_, notifier)),
      session_(std::make_unique<ops::EngineSession>(*engine_)) {}

DeviceFinder::~DeviceFinder() {
    engine_->closeInterfaces();
}

std::optional<int> DeviceFinder::find(const std::string& address, double seconds) {
    return findAll({address}, seconds).front();
}

std::vector<std::optional<int>> DeviceFinder::findAll(const std::vector<std::string>& addresses,
                                                      double seconds) {
    std::vector<std::optional<int>> types(addresses.size());
    if (engine_->interfaceCount() == 0 && engine_->openInterfaces() == 0) {
        std::cerr << text::toUtf8(text::tr(text::msg::kNoInterfaceToSearch)) << std::endl;
        return types;
    }
    std::vector<std::u16string> wanted;
    wanted.reserve(addresses.size());
    for (const auto& address : addresses) wanted.push_back(text::fromUtf8(address));
    const auto rows = discovery::searchUntilSettled(*engine_, table_, wanted, seconds);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (rows[i]) {
            types[i] = rows[i]->type;
        } else {
            std::cerr << text::escapeControls(said(text::msg::kDeviceNotHeardFormat, addresses[i]))
                      << std::endl;
        }
    }
    return types;
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

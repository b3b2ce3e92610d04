#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/DeviceConfig.h"

namespace tarvo::sim {

// Collects the devices of a fleet from a fleet file, --device specs and the generator, and
// checks that no two of them share an address.
class FleetBuilder {
public:
    // A fleet file: {"devices": [ {...}, ... ]} or a bare array of device objects.
    bool addFile(const std::string& path);
    bool addJson(const nlohmann::json& fleet);
    // 'ip=127.0.0.2,type=100,name=Cam' (a comma inside a value is written "\,").
    bool addDeviceLine(std::string_view text);
    // `count` devices from `baseIp` on, skipping addresses ending in .0 and .255.
    bool generate(int count, std::string_view baseIp, int type, std::string_view namePrefix);

    [[nodiscard]] const std::string& error() const { return error_; }
    // The devices; fails (with error()) when two share an address or there are none.
    bool finish(std::vector<DeviceConfig>& devices);

    // Settings from one JSON device object: nested "netParams" and "cloud" objects are
    // flattened; the observation keys of a state dump are skipped so that a dump can be reused.
    static bool settingsFromJson(const nlohmann::json& object, std::vector<Setting>& settings,
                                 std::string& error);
    static std::vector<Setting> splitSettings(std::string_view text, char separator);

private:
    bool addDevice(const std::vector<Setting>& settings, std::string_view where);

    std::vector<DeviceConfig> devices_;
    std::string error_;
};

}  // namespace tarvo::sim

#include "sim/FleetBuilder.h"

#include <array>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace tarvo::sim {

namespace {

constexpr std::array<std::string_view, 9> kObservationKeys{
    "reboots",      "macResets", "logins",  "received", "receivedDropped",
    "tcpListening", "tcpError",  "uploads", "stream"};

bool isObservation(std::string_view key) {
    for (const auto observation : kObservationKeys) {
        if (observation == key) return true;
    }
    return false;
}

// JSON scalars as the text a --device setting would carry.
bool scalarText(const nlohmann::json& value, std::string& text) {
    if (value.is_string()) {
        text = value.get<std::string>();
    } else if (value.is_boolean()) {
        text = value.get<bool>() ? "true" : "false";
    } else if (value.is_number_integer() || value.is_number_unsigned()) {
        text = value.dump();
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool FleetBuilder::settingsFromJson(const nlohmann::json& object, std::vector<Setting>& settings,
                                    std::string& error) {
    if (!object.is_object()) {
        error = "a device must be a JSON object";
        return false;
    }
    const bool hasIp = object.contains("ip");
    for (const auto& [key, value] : object.items()) {
        if (isObservation(key)) continue;
        if (key == "netParams" || key == "cloud" || key == "video") {
            if (!value.is_object()) {
                error = key + " must be an object";
                return false;
            }
            for (const auto& [inner, innerValue] : value.items()) {
                // The record's address is where the device is; "ip" says that already.
                if (key == "netParams" && inner == "address" && hasIp) continue;
                std::string text;
                if (!scalarText(innerValue, text)) {
                    error = "bad value for " + key;
                    error += "." + inner;
                    return false;
                }
                settings.emplace_back(key == "netParams" ? inner : key + "." + inner, text);
            }
            continue;
        }
        if (key == "duplicateName" && value.is_null()) continue;
        std::string text;
        if (!scalarText(value, text)) {
            error = "bad value for " + key;
            return false;
        }
        settings.emplace_back(key, text);
    }
    return true;
}

std::vector<Setting> FleetBuilder::splitSettings(std::string_view text, char separator) {
    std::vector<Setting> settings;
    std::string item;
    const auto flush = [&] {
        if (item.empty()) return;
        const auto equals = item.find('=');
        if (equals == std::string::npos) {
            settings.emplace_back(item, "");
        } else {
            settings.emplace_back(item.substr(0, equals), item.substr(equals + 1));
        }
        item.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            item += text[++i];
        } else if (text[i] == separator) {
            flush();
        } else {
            item += text[i];
        }
    }
    flush();
    return settings;
}

bool FleetBuilder::addDevice(const std::vector<Setting>& settings, std::string_view where) {
    std::string error;
    auto config = DeviceConfig::build(settings, error);
    if (!config) {
        error_ = std::string(where) + ": " + error;
        return false;
    }
    devices_.push_back(std::move(*config));
    return true;
}

bool FleetBuilder::addFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        error_ = "cannot read fleet file " + path;
        return false;
    }
    const nlohmann::json fleet = nlohmann::json::parse(in, nullptr, false);
    if (fleet.is_discarded()) {
        error_ = "fleet file " + path + " is not valid JSON";
        return false;
    }
    return addJson(fleet);
}

bool FleetBuilder::addJson(const nlohmann::json& fleet) {
    const nlohmann::json* list = &fleet;
    if (fleet.is_object() && fleet.contains("devices")) list = &fleet.at("devices");
    if (!list->is_array()) {
        error_ = "a fleet is an array of devices or an object with a \"devices\" array";
        return false;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string where = "device " + std::to_string(i);
        std::vector<Setting> settings;
        std::string error;
        if (!settingsFromJson((*list)[i], settings, error)) {
            error_ = where;
            error_ += ": " + error;
            return false;
        }
        if (!addDevice(settings, where)) return false;
    }
    return true;
}

bool FleetBuilder::addDeviceLine(std::string_view text) {
    return addDevice(splitSettings(text, ','), "--device '" + std::string(text) + "'");
}

bool FleetBuilder::generate(int count, std::string_view baseIp, int type,
                            std::string_view namePrefix) {
    if (count < 1 || count > 5000) {
        error_ = "--count must lie between 1 and 5000";
        return false;
    }
    auto address = parseAddress(baseIp);
    if (!address) {
        error_ = "bad --base-ip '" + std::string(baseIp) + "'";
        return false;
    }
    std::uint32_t next = *address;
    for (int i = 0; i < count; ++i) {
        while ((next & 0xFF) == 0 || (next & 0xFF) == 255) ++next;
        if (next < *address) {
            error_ = "--count runs past the end of the address space";
            return false;
        }
        const std::vector<Setting> settings{
            {"ip", formatAddress(next)},
            {"type", std::to_string(type)},
            {"name", std::string(namePrefix) + std::to_string(i + 1)},
        };
        if (!addDevice(settings, "generated device " + std::to_string(i + 1))) return false;
        ++next;
    }
    return true;
}

bool FleetBuilder::finish(std::vector<DeviceConfig>& devices) {
    if (devices_.empty()) {
        error_ = "no devices: give --fleet, --device or --count";
        return false;
    }
    std::unordered_set<std::uint32_t> seen;
    for (const auto& device : devices_) {
        if (!seen.insert(device.ip).second) {
            error_ = "two devices share the address " + formatAddress(device.ip);
            return false;
        }
    }
    devices = std::move(devices_);
    devices_.clear();
    return true;
}

}  // namespace tarvo::sim

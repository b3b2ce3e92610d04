#include "sim/DeviceConfig.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>

#include "core/text/TextConvert.h"
#include "sim/VideoClip.h"
#include "sim/Wire.h"

namespace tarvo::sim {

namespace {

constexpr std::array<std::pair<ReplyShape, std::string_view>, 7> kShapes{{
    {ReplyShape::Normal, "normal"},
    {ReplyShape::Short, "short"},
    {ReplyShape::NoNul, "noNul"},
    {ReplyShape::Long, "long"},
    {ReplyShape::Empty, "empty"},
    {ReplyShape::ForeignTag, "foreignTag"},
    {ReplyShape::Stub, "stub"},
}};

constexpr std::array<std::pair<StreamFault, std::string_view>, 8> kStreamFaults{{
    {StreamFault::None, "none"},
    {StreamFault::Stall, "stall"},
    {StreamFault::Reset, "reset"},
    {StreamFault::Oversize, "oversize"},
    {StreamFault::Garbage, "garbage"},
    {StreamFault::Partial, "partial"},
    {StreamFault::PartialClose, "partialClose"},
    {StreamFault::NoStartCodes, "noStartCodes"},
}};

template <typename T>
std::optional<T> parseInteger(std::string_view text, long long min, long long max) {
    long long value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) {
        return std::nullopt;
    }
    return static_cast<T>(value);
}

std::optional<bool> parseBool(std::string_view text) {
    if (text == "true" || text == "1" || text == "on" || text == "yes") return true;
    if (text == "false" || text == "0" || text == "off" || text == "no") return false;
    return std::nullopt;
}

std::string badValue(std::string_view key, std::string_view value) {
    return "bad value for " + std::string(key) + ": '" + std::string(value) + "'";
}

// Writes `utf8` in the device encoding, NUL-terminated, into a 64-byte field of the record.
bool setCloudText(CloudRecord& record, std::size_t offset, std::string_view utf8) {
    const auto bytes = deviceText(utf8);
    if (!bytes || bytes->size() + 1 > kCloudTextSize) return false;
    const std::string& narrow = *bytes;
    std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(offset), kCloudTextSize, 0);
    std::copy(narrow.begin(), narrow.end(), record.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

std::string cloudText(const CloudRecord& record, std::size_t offset) {
    const auto* start = reinterpret_cast<const char*>(record.data()) + offset;
    const std::string_view field(start, kCloudTextSize);
    return text::toUtf8(text::widenString(field));
}

std::string defaultName(int type) {
    if (type == 181) return "NVR";
    if (type == 31) return "DVR";
    if (type >= 171 && type <= 179) return "Decoder";
    return "IPCamera";
}

// The setters of the settings table: each parses `value` for `key` into its field, or says why
// not.
using Setter = std::string (*)(DeviceConfig&, std::string_view key, std::string_view value);

template <typename T>
std::string setNumber(T& field, std::string_view key, std::string_view value, long long min,
                      long long max) {
    const auto parsed = parseInteger<T>(value, min, max);
    if (!parsed) return badValue(key, value);
    field = *parsed;
    return {};
}

std::string setAddress(std::uint32_t& field, std::string_view key, std::string_view value) {
    const auto parsed = parseAddress(value);
    if (!parsed) return badValue(key, value);
    field = *parsed;
    return {};
}

std::string setU32(std::uint32_t& field, std::string_view key, std::string_view value) {
    return setNumber(field, key, value, std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::uint32_t>::max());
}

std::string setU16(std::uint16_t& field, std::string_view key, std::string_view value) {
    return setNumber(field, key, value, 0, 0xFFFF);
}

std::string setMs(int& field, std::string_view key, std::string_view value) {
    return setNumber(field, key, value, 0, 600'000);
}

std::string setFlag(bool& field, std::string_view key, std::string_view value) {
    const auto parsed = parseBool(value);
    if (!parsed) return badValue(key, value);
    field = *parsed;
    return {};
}

// A text sent in the device encoding: one that cannot be sent is refused.
std::string setDeviceText(std::string& field, std::string_view key, std::string_view value) {
    field = value;
    return deviceText(value) ? std::string() : badValue(key, value);
}

std::string setCloudDeviceId(CloudRecord& cloud, std::string_view key, std::string_view value) {
    std::int32_t id = 0;
    std::string error = setNumber(id, key, value, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
    if (!error.empty()) return error;
    wire::Bytes bytes(4);
    wire::putU32(bytes, 0, static_cast<std::uint32_t>(id));
    std::copy(bytes.begin(), bytes.end(), cloud.begin() + 2 * kCloudTextSize);
    return {};
}

std::string setCloudField(CloudRecord& cloud, std::size_t offset, std::string_view key,
                          std::string_view value) {
    return setCloudText(cloud, offset, value) ? std::string() : badValue(key, value);
}

// Where the device is: its network parameters' address with it.
std::string setIp(DeviceConfig& config, std::string_view key, std::string_view value) {
    std::string error = setAddress(config.ip, key, value);
    if (error.empty()) config.net.address = config.ip;
    return error;
}

// Short names for the table's setters.
using K = std::string_view;
using V = std::string_view;
using C = DeviceConfig;

// Every device setting but the upload's and the video's, by the name a fleet file, --device and
// 'set' give it.
constexpr std::pair<std::string_view, Setter> kSettings[] = {
    {"ip", setIp},
    {"address", setIp},
    {"mac",
     [](C& c, K, V v) {
         c.mac = v;
         return std::string();
     }},
    {"type", [](C& c, K k, V v) { return setNumber(c.type, k, v, 0, 0xFFFF); }},
    {"name", [](C& c, K k, V v) { return setDeviceText(c.name, k, v); }},
    {"version", [](C& c, K k, V v) { return setDeviceText(c.version, k, v); }},
    {"user",
     [](C& c, K, V v) {
         c.user = v;
         return std::string();
     }},
    {"password",
     [](C& c, K, V v) {
         c.password = v;
         return std::string();
     }},
    {"port", [](C& c, K k, V v) { return setNumber(c.port, k, v, 1, 0xFFFF); }},
    {"tag", [](C& c, K k, V v) { return setNumber(c.tag, k, v, 0, 0xFF); }},
    {"replyDelayMs", [](C& c, K k, V v) { return setMs(c.replyDelayMs, k, v); }},
    {"jitterMs", [](C& c, K k, V v) { return setMs(c.jitterMs, k, v); }},
    {"versionDelayMs", [](C& c, K k, V v) { return setMs(c.versionDelayMs, k, v); }},
    {"moveGraceMs", [](C& c, K k, V v) { return setMs(c.moveGraceMs, k, v); }},
    {"tcpTrickleMs", [](C& c, K k, V v) { return setMs(c.tcpTrickleMs, k, v); }},
    {"tcpReplyLength", [](C& c, K k, V v) { return setNumber(c.tcpReplyLength, k, v, -1, 0xFFFF); }},
    {"tcpReplyCut", [](C& c, K k, V v) { return setNumber(c.tcpReplyCut, k, v, -1, 0xFFFF); }},
    {"mask", [](C& c, K k, V v) { return setAddress(c.net.mask, k, v); }},
    {"gateway", [](C& c, K k, V v) { return setAddress(c.net.gateway, k, v); }},
    {"dns", [](C& c, K k, V v) { return setAddress(c.net.dns, k, v); }},
    {"httpPort", [](C& c, K k, V v) { return setU16(c.net.httpPort, k, v); }},
    {"reserved", [](C& c, K k, V v) { return setU16(c.net.reserved, k, v); }},
    {"dhcp", [](C& c, K k, V v) { return setU32(c.net.dhcp, k, v); }},
    {"opaque", [](C& c, K k, V v) { return setU32(c.net.opaque, k, v); }},
    {"audio", [](C& c, K k, V v) { return setU32(c.audio, k, v); }},
    {"protocol", [](C& c, K k, V v) { return setU32(c.protocol, k, v); }},
    {"overlay", [](C& c, K k, V v) { return setU32(c.overlay, k, v); }},
    {"onvifSubStream", [](C& c, K k, V v) { return setU32(c.onvifSubStream, k, v); }},
    {"resolution", [](C& c, K k, V v) { return setU32(c.resolution, k, v); }},
    {"outputResolution", [](C& c, K k, V v) { return setU16(c.outputResolution, k, v); }},
    {"cloudIdentity", [](C& c, K k, V v) { return setCloudField(c.cloud, 0, k, v); }},
    {"cloud.identity", [](C& c, K k, V v) { return setCloudField(c.cloud, 0, k, v); }},
    {"cloudPassword", [](C& c, K k, V v) { return setCloudField(c.cloud, kCloudTextSize, k, v); }},
    {"cloud.password", [](C& c, K k, V v) { return setCloudField(c.cloud, kCloudTextSize, k, v); }},
    {"cloudDeviceId", [](C& c, K k, V v) { return setCloudDeviceId(c.cloud, k, v); }},
    {"cloud.deviceId", [](C& c, K k, V v) { return setCloudDeviceId(c.cloud, k, v); }},
    {"loginRefused", [](C& c, K k, V v) { return setFlag(c.loginRefused, k, v); }},
    {"tcpSilent", [](C& c, K k, V v) { return setFlag(c.tcpSilent, k, v); }},
    {"noTcp", [](C& c, K k, V v) { return setFlag(c.noTcp, k, v); }},
    {"dropUdp", [](C& c, K k, V v) { return setFlag(c.dropUdp, k, v); }},
    {"stayOnMove", [](C& c, K k, V v) { return setFlag(c.stayOnMove, k, v); }},
    {"rebootSeconds", [](C& c, K k, V v) { return setNumber(c.rebootSeconds, k, v, 0, 3600); }},
    {"duplicates", [](C& c, K k, V v) { return setNumber(c.duplicates, k, v, 0, 100); }},
    {"duplicateName",
     [](C& c, K, V v) {
         c.duplicateName = std::string(v);
         return std::string();
     }},
    {"replyShape",
     [](C& c, K k, V v) {
         const auto parsed = parseReplyShape(v);
         if (!parsed) return badValue(k, v);
         c.replyShape = *parsed;
         return std::string();
     }},
};

}  // namespace

std::optional<ReplyShape> parseReplyShape(std::string_view text) {
    for (const auto& [shape, name] : kShapes) {
        if (name == text) return shape;
    }
    return std::nullopt;
}

std::string_view replyShapeName(ReplyShape shape) {
    for (const auto& [candidate, name] : kShapes) {
        if (candidate == shape) return name;
    }
    return "normal";
}

std::optional<StreamFault> parseStreamFault(std::string_view text) {
    for (const auto& [fault, name] : kStreamFaults) {
        if (name == text) return fault;
    }
    return std::nullopt;
}

std::string_view streamFaultName(StreamFault fault) {
    for (const auto& [candidate, name] : kStreamFaults) {
        if (candidate == fault) return name;
    }
    return "none";
}

std::optional<std::string> deviceText(std::string_view configured) {
    constexpr std::string_view kHex = "hex:";
    if (!configured.starts_with(kHex)) return text::narrowString(text::fromUtf8(configured));
    configured.remove_prefix(kHex.size());
    const auto bytes = wire::parseHex(configured);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::string formatAddress(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::optional<std::uint32_t> parseAddress(std::string_view text) {
    if (text.size() > 15) return std::nullopt;
    const std::string copy(text);
    in_addr parsed{};
    if (::inet_pton(AF_INET, copy.c_str(), &parsed) != 1) return std::nullopt;
    return ntohl(parsed.s_addr);
}

std::string DeviceConfig::cloudIdentity() const {
    return cloudText(cloud, 0);
}
std::string DeviceConfig::cloudPassword() const {
    return cloudText(cloud, kCloudTextSize);
}
std::int32_t DeviceConfig::cloudDeviceId() const {
    return static_cast<std::int32_t>(wire::getU32(cloud, 2 * kCloudTextSize));
}

std::string DeviceConfig::apply(std::string_view key, std::string_view value) {
    for (const auto& [name, set] : kSettings) {
        if (name == key) return set(*this, key, value);
    }
    if (auto uploadError = upload.apply(key, value)) return *uploadError;
    if (key.starts_with("video.")) return applyVideo(key.substr(6), value);
    return "unknown setting '" + std::string(key) + "'";
}

std::vector<std::string> DeviceConfig::settingNames() {
    std::vector<std::string> names;
    for (const auto& [name, set] : kSettings) names.emplace_back(name);
    for (const std::string_view name : UploadSettings::names()) names.emplace_back(name);
    // Every video setting is in the device's own record, which a fleet file gives back.
    const nlohmann::json record = DeviceConfig().toJson();
    for (const auto& [name, value] : record.at("video").items()) names.push_back("video." + name);
    return names;
}

std::string DeviceConfig::applyVideo(std::string_view key, std::string_view value) {
    const auto setInt = [&](int& field, int min, int max) -> std::string {
        const auto parsed = parseInteger<int>(value, min, max);
        if (!parsed) return badValue("video." + std::string(key), value);
        field = *parsed;
        return {};
    };
    if (key == "codec") {
        if (value != "h264" && value != "h265") return badValue("video.codec", value);
        video.codec = value;
        return {};
    }
    // Even sizes: the encoders take 4:2:0 pictures.
    if (key == "width" || key == "height") {
        int& field = key == "width" ? video.width : video.height;
        int parsed = 0;
        std::string error = setInt(parsed, 16, 8192);
        if (!error.empty() || parsed % 2 != 0) return badValue("video." + std::string(key), value);
        field = parsed;
        return {};
    }
    if (key == "fps") return setInt(video.fps, 1, 120);
    if (key == "bitrate") return setInt(video.bitrateKbps, 16, 200'000);
    if (key == "gop") return setInt(video.gop, 1, 600);
    if (key == "codecCode") return setInt(video.codecCode, -1, 255);
    if (key == "typeOneEvery") return setInt(video.typeOneEvery, 0, 1000);
    if (key == "otherTypeEvery") return setInt(video.otherTypeEvery, 0, 1000);
    if (key == "faultAfter") return setInt(video.faultAfter, 0, 1'000'000);
    if (key == "replyWidth") return setInt(video.replyWidth, -1, 0xFFFF);
    if (key == "replyHeight") return setInt(video.replyHeight, -1, 0xFFFF);
    if (key == "startDelayMs") return setInt(video.startDelayMs, 0, 3'600'000);
    if (key == "file") {
        if (value.empty()) {
            video.file.clear();
            video.fileFrames = 0;
            return {};
        }
        // Read now, so that a file that cannot be played is refused with the setting and the
        // stream reply can give the file's own size and codec.
        std::string error;
        const StreamFileInfo info = probeStreamFile(std::string(value), error);
        if (info.codec.empty()) return "video.file: " + error;
        video.file = value;
        video.fileFrames = info.frames;
        video.codec = info.codec;
        video.width = info.width;
        video.height = info.height;
        video.fps = info.fps;
        return {};
    }
    if (key == "replySilent") {
        const auto parsed = parseBool(value);
        if (!parsed) return badValue("video.replySilent", value);
        video.replySilent = *parsed;
        return {};
    }
    if (key == "scene") {
        const auto parsed = parseScene(value);
        if (!parsed) return badValue("video.scene", value);
        video.scene = *parsed;
        return {};
    }
    if (key == "fault") {
        const auto parsed = parseStreamFault(value);
        if (!parsed) return badValue("video.fault", value);
        video.fault = *parsed;
        return {};
    }
    return "unknown setting 'video." + std::string(key) + "'";
}

nlohmann::json DeviceConfig::toJson() const {
    nlohmann::json out;
    out["ip"] = formatAddress(ip);
    out["mac"] = mac;
    out["type"] = type;
    out["name"] = name;
    out["version"] = version;
    out["user"] = user;
    out["password"] = password;
    out["port"] = port;
    out["tag"] = tag;
    out["replyDelayMs"] = replyDelayMs;
    out["jitterMs"] = jitterMs;
    out["versionDelayMs"] = versionDelayMs;
    out["moveGraceMs"] = moveGraceMs;
    out["netParams"] = {
        {"address", formatAddress(net.address)},
        {"mask", formatAddress(net.mask)},
        {"gateway", formatAddress(net.gateway)},
        {"dns", formatAddress(net.dns)},
        {"httpPort", net.httpPort},
        {"reserved", net.reserved},
        {"dhcp", net.dhcp},
        {"opaque", net.opaque},
    };
    out["audio"] = audio;
    out["protocol"] = protocol;
    out["overlay"] = overlay;
    out["onvifSubStream"] = onvifSubStream;
    out["resolution"] = resolution;
    out["outputResolution"] = outputResolution;
    out["cloud"] = {
        {"identity", cloudIdentity()},
        {"password", cloudPassword()},
        {"deviceId", cloudDeviceId()},
    };
    out["loginRefused"] = loginRefused;
    out["tcpSilent"] = tcpSilent;
    out["tcpTrickleMs"] = tcpTrickleMs;
    out["tcpReplyLength"] = tcpReplyLength;
    out["tcpReplyCut"] = tcpReplyCut;
    out["noTcp"] = noTcp;
    out["rebootSeconds"] = rebootSeconds;
    out["dropUdp"] = dropUdp;
    out["stayOnMove"] = stayOnMove;
    out["duplicates"] = duplicates;
    out["duplicateName"] = duplicateName ? nlohmann::json(*duplicateName) : nlohmann::json();
    out["replyShape"] = replyShapeName(replyShape);
    upload.addTo(out);
    out["video"] = {
        {"codec", video.codec},
        {"width", video.width},
        {"height", video.height},
        {"fps", video.fps},
        {"bitrate", video.bitrateKbps},
        {"gop", video.gop},
        {"codecCode", video.codecCode},
        {"typeOneEvery", video.typeOneEvery},
        {"otherTypeEvery", video.otherTypeEvery},
        {"fault", streamFaultName(video.fault)},
        {"faultAfter", video.faultAfter},
        {"replyWidth", video.replyWidth},
        {"replyHeight", video.replyHeight},
        {"startDelayMs", video.startDelayMs},
        {"file", video.file},
        {"replySilent", video.replySilent},
        {"scene", sceneName(video.scene)},
    };
    return out;
}

std::optional<DeviceConfig> DeviceConfig::build(const std::vector<Setting>& settings,
                                                std::string& error) {
    DeviceConfig config;
    std::set<std::string, std::less<>> given;
    for (const auto& [key, value] : settings) {
        error = config.apply(key, value);
        if (!error.empty()) return std::nullopt;
        given.insert(key == "address" ? "ip" : key);
    }
    if (!given.contains("ip")) {
        error = "a device needs an ip";
        return std::nullopt;
    }
    if (!given.contains("port")) config.port = config.type == 181 ? 5500 : 5505;
    if (!given.contains("name")) config.name = defaultName(config.type);
    if (!given.contains("mac")) {
        // Informational only: the MAC the program sees comes from the host.
        char text[18] = {};
        (void)std::snprintf(text, sizeof text, "02:00:%02X:%02X:%02X:%02X", config.ip >> 24,
                            (config.ip >> 16) & 0xFF, (config.ip >> 8) & 0xFF, config.ip & 0xFF);
        config.mac = text;
    }
    const std::uint32_t subnet = config.ip & config.net.mask;
    if (!given.contains("gateway")) {
        config.net.gateway = subnet | 1;
        if (config.net.gateway == config.ip) config.net.gateway = subnet | 254;
    }
    if (!given.contains("dns")) config.net.dns = config.net.gateway;
    error.clear();
    return config;
}

}  // namespace tarvo::sim

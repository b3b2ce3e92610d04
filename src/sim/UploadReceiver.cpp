#include "sim/UploadReceiver.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "core/text/TextConvert.h"

namespace tarvo::sim {

namespace {

constexpr std::uint8_t kCameraUpload = 102;
constexpr std::uint8_t kNvrUpload = 230;
constexpr std::uint16_t kFrameALength = 134;
constexpr std::size_t kNameField = 128;

template <typename T>
std::optional<T> parseNumber(std::string_view text, T min, T max) {
    T value{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value < min ||
        value > max) {
        return std::nullopt;
    }
    return value;
}

// A file name that stays inside the save directory.
std::string safeFileName(const std::string& name, std::size_t index) {
    std::string safe;
    for (const char c : name) safe += (c == '/' || c == '\0') ? '_' : c;
    if (safe.empty() || safe == "." || safe == "..") safe = "upload.bin";
    return std::to_string(index) + "-" + safe;
}

}  // namespace

namespace {

std::string badUploadValue(std::string_view key, std::string_view value) {
    return "bad value for " + std::string(key) + ": '" + std::string(value) + "'";
}

std::string setUploadFlag(bool& field, std::string_view key, std::string_view value) {
    if (value == "true" || value == "1" || value == "on" || value == "yes") {
        field = true;
    } else if (value == "false" || value == "0" || value == "off" || value == "no") {
        field = false;
    } else {
        return badUploadValue(key, value);
    }
    return {};
}

std::string setByteCount(std::int64_t& field, std::string_view key, std::string_view value) {
    const auto parsed =
        parseNumber<std::int64_t>(value, -1, std::numeric_limits<std::int64_t>::max());
    if (!parsed) return badUploadValue(key, value);
    field = *parsed;
    return {};
}

// The upload settings by name, each with its setter.
using UploadSetter = std::string (*)(UploadSettings&, std::string_view key, std::string_view value);
using U = UploadSettings;  // short, for the table below

constexpr std::pair<std::string_view, UploadSetter> kUploadSettings[] = {
    {"uploadRefused",
     [](U& u, std::string_view k, std::string_view v) { return setUploadFlag(u.refused, k, v); }},
    {"uploadNoAnswer",
     [](U& u, std::string_view k, std::string_view v) { return setUploadFlag(u.noAnswer, k, v); }},
    {"uploadInstalls",
     [](U& u, std::string_view k, std::string_view v) { return setUploadFlag(u.installs, k, v); }},
    {"uploadResetAfter",
     [](U& u, std::string_view k, std::string_view v) { return setByteCount(u.resetAfter, k, v); }},
    {"uploadStallAfter",
     [](U& u, std::string_view k, std::string_view v) { return setByteCount(u.stallAfter, k, v); }},
    {"uploadReadRate",
     [](U& u, std::string_view k, std::string_view v) {
         const auto parsed = parseNumber<std::uint32_t>(v, 0, 1u << 30);
         if (!parsed) return badUploadValue(k, v);
         u.readRate = *parsed;
         return std::string();
     }},
    {"uploadLeftover",
     [](U& u, std::string_view k, std::string_view v) {
         auto bytes = wire::parseHex(v);
         if (!bytes) return badUploadValue(k, v);
         u.leftover = std::move(*bytes);
         return std::string();
     }},
    {"uploadSaveDir",
     [](U& u, std::string_view, std::string_view v) {
         u.saveDir = v;
         return std::string();
     }},
};

}  // namespace

std::optional<std::string> UploadSettings::apply(std::string_view key, std::string_view value) {
    for (const auto& [name, set] : kUploadSettings) {
        if (name == key) return set(*this, key, value);
    }
    return std::nullopt;
}

std::vector<std::string_view> UploadSettings::names() {
    std::vector<std::string_view> out;
    for (const auto& [name, set] : kUploadSettings) out.push_back(name);
    return out;
}

void UploadSettings::addTo(nlohmann::json& out) const {
    out["uploadRefused"] = refused;
    out["uploadNoAnswer"] = noAnswer;
    out["uploadResetAfter"] = resetAfter;
    out["uploadStallAfter"] = stallAfter;
    out["uploadReadRate"] = readRate;
    out["uploadSaveDir"] = saveDir;
    out["uploadLeftover"] = wire::hexOf(leftover);
    out["uploadInstalls"] = installs;
}

nlohmann::json UploadRecord::toJson() const {
    nlohmann::json out{
        {"command", command},     {"name", name},           {"nameHex", nameHex},
        {"sizeKnown", sizeKnown}, {"announced", announced}, {"received", received},
        {"sha256", sha256},       {"complete", complete},   {"answered", answered},
        {"reset", reset},         {"stalled", stalled},     {"brokenOff", brokenOff},
    };
    if (answered) out["answerTag"] = answerTag;
    if (received > 0) {
        out["spanMs"] = std::chrono::duration<double, std::milli>(lastByte - firstByte).count();
    }
    if (!savedPath.empty()) out["savedPath"] = savedPath;
    return out;
}

std::shared_ptr<UploadRecord> UploadLog::add() {
    if (records_.size() >= kCap) records_.erase(records_.begin());
    records_.push_back(std::make_shared<UploadRecord>());
    return records_.back();
}

nlohmann::json UploadLog::toJson() const {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& record : records_) out.push_back(record->toJson());
    return out;
}

bool UploadReceiver::startsUpload(std::uint8_t command, std::uint16_t length, int type) {
    if (length != kFrameALength) return false;
    return type == wire::kNvrType ? command == kNvrUpload : command == kCameraUpload;
}

UploadReceiver::UploadReceiver(wire::ByteView frameA, const UploadSettings& settings,
                               UploadLog& log)
    : settings_(settings), record_(log.add()) {
    record_->command = wire::getU8(frameA, 0);
    std::string narrow;
    for (std::size_t i = 0; i < kNameField; ++i) {
        const std::uint8_t byte = wire::getU8(frameA, wire::kHeaderSize + i);
        if (byte == 0) break;
        narrow += static_cast<char>(byte);
    }
    record_->name = text::toUtf8(text::widenString(narrow));
    record_->nameHex = wire::hexOf(frameA.subspan(std::min(frameA.size(), wire::kHeaderSize)));
    record_->sha256 = hash_.hex();
    if (!settings_.saveDir.empty()) {
        static std::size_t saves = 0;
        record_->savedPath = settings_.saveDir + "/" + safeFileName(record_->name, ++saves);
        saved_.open(record_->savedPath, std::ios::binary | std::ios::trunc);
        if (!saved_) record_->savedPath = "(cannot write " + record_->savedPath + ")";
    }
}

std::size_t UploadReceiver::feed(wire::ByteView bytes) {
    std::size_t used = 0;
    while (state_ == State::Receiving && used < bytes.size()) {
        if (!record_->sizeKnown) {
            const std::size_t take =
                std::min(wire::kHeaderSize - header_.size(), bytes.size() - used);
            header_.insert(header_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(used),
                           bytes.begin() + static_cast<std::ptrdiff_t>(used + take));
            used += take;
            if (header_.size() == wire::kHeaderSize) {
                record_->sizeKnown = true;
                record_->announced = (static_cast<std::uint32_t>(wire::getU16(header_, 2)) << 16) |
                                     wire::getU16(header_, 4);
                if (record_->announced == 0) finishData();
            }
            continue;
        }
        std::uint64_t want = record_->announced - record_->received;
        // Faults cut in at an exact byte count.
        for (const std::int64_t limit : {settings_.resetAfter, settings_.stallAfter}) {
            if (limit >= 0 && static_cast<std::uint64_t>(limit) >= record_->received) {
                want = std::min<std::uint64_t>(
                    want, static_cast<std::uint64_t>(limit) - record_->received);
            }
        }
        const auto take =
            static_cast<std::size_t>(std::min<std::uint64_t>(want, bytes.size() - used));
        const wire::ByteView data = bytes.subspan(used, take);
        if (take > 0) {
            record_->lastByte = std::chrono::steady_clock::now();
            if (record_->received == 0) record_->firstByte = record_->lastByte;
        }
        hash_.update(data);
        if (saved_.is_open())
            saved_.write(reinterpret_cast<const char*>(data.data()),
                         static_cast<std::streamsize>(data.size()));
        record_->received += take;
        used += take;
        const auto reached = [&](std::int64_t limit) {
            return limit >= 0 && record_->received == static_cast<std::uint64_t>(limit) &&
                   record_->received < record_->announced;
        };
        if (reached(settings_.resetAfter)) {
            record_->reset = true;
            record_->sha256 = hash_.hex();
            state_ = State::Reset;
        } else if (reached(settings_.stallAfter)) {
            record_->stalled = true;
            record_->sha256 = hash_.hex();
            state_ = State::Stalled;
        } else if (record_->received == record_->announced) {
            finishData();
        }
    }
    return used;
}

void UploadReceiver::finishData() {
    record_->complete = true;
    record_->sha256 = hash_.hex();
    if (saved_.is_open()) saved_.close();
    if (!settings_.noAnswer) {
        record_->answered = true;
        record_->answerTag = settings_.refused ? 0 : 1;
    }
    state_ = State::Done;
}

std::optional<wire::Bytes> UploadReceiver::answer() const {
    if (state_ != State::Done || !record_->answered) return std::nullopt;
    return wire::makeFrame(record_->command, record_->answerTag, 0, wire::kHeaderSize);
}

void UploadReceiver::brokenOff() {
    if (record_->complete || record_->reset) return;
    record_->brokenOff = true;
    record_->sha256 = hash_.hex();
}

bool UploadReceiver::taken() const {
    return state_ == State::Done && record_->answered && record_->answerTag == 1;
}

std::optional<std::string> UploadReceiver::installedVersion() const {
    if (!settings_.installs || state_ != State::Done || !record_->answered ||
        record_->answerTag != 1 || record_->name.size() < 22) {
        return std::nullopt;
    }
    const std::string version = record_->name.substr(11, 11);
    for (std::size_t i = 0; i < version.size(); ++i) {
        const char c = version[i];
        if (i % 3 == 2 ? c != '.' : (c < '0' || c > '9')) return std::nullopt;
    }
    return "v" + version;
}

}  // namespace tarvo::sim

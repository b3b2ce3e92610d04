#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/Sha256.h"
#include "sim/Wire.h"

namespace tarvo::sim {

// How a device takes a firmware upload, from the fleet (keys "upload...").
struct UploadSettings {
    bool refused = false;          // uploadRefused: answer tag 0 instead of 1
    bool noAnswer = false;         // uploadNoAnswer: take everything, answer nothing
    std::int64_t resetAfter = -1;  // uploadResetAfter: reset the connection after N file bytes
    std::int64_t stallAfter = -1;  // uploadStallAfter: stop reading after N file bytes
    std::uint32_t readRate = 0;    // uploadReadRate: bytes per second, 0 as fast as it comes
    std::string saveDir;           // uploadSaveDir: keep each upload there; empty: nothing written
    wire::Bytes leftover;          // uploadLeftover (hex): sent at frame A, before the package
    // uploadInstalls: a package taken (tag 1) whose name carries a version (NN.NN.NN.NN from
    // its 12th character) becomes the device's version, as a camera runs it after its restart.
    // Off, the device keeps its old version: one whose upgrade did not take.
    bool installs = false;

    // nullopt when `key` is not an upload setting; else the error text (empty: applied).
    std::optional<std::string> apply(std::string_view key, std::string_view value);
    // The names apply() takes.
    static std::vector<std::string_view> names();
    void addTo(nlohmann::json& out) const;
};

// What one upload brought.
struct UploadRecord {
    std::uint8_t command = 0;
    std::string name;        // frame A's file name, UTF-8
    std::string nameHex;     // its 128 bytes as they came
    bool sizeKnown = false;  // frame B arrived
    std::uint32_t announced = 0;
    std::uint64_t received = 0;
    std::string sha256;  // of the file bytes received so far
    bool complete = false;
    bool answered = false;
    std::uint8_t answerTag = 0;
    bool reset = false;      // the device reset the connection (fault)
    bool stalled = false;    // the device stopped reading (fault)
    bool brokenOff = false;  // the peer went away before the end
    std::string savedPath;
    // From the first file byte read to the last: how the pieces were paced.
    std::chrono::steady_clock::time_point firstByte{};
    std::chrono::steady_clock::time_point lastByte{};

    nlohmann::json toJson() const;
};

// The uploads a device has seen, oldest first, kept for the control interface.
class UploadLog {
public:
    static constexpr std::size_t kCap = 100;
    std::shared_ptr<UploadRecord> add();
    void clear() { records_.clear(); }
    nlohmann::json toJson() const;

private:
    std::vector<std::shared_ptr<UploadRecord>> records_;
};

// One upload on one connection: frame A has arrived; then frame B (6 bytes, the size in
// `target` and `length`), then exactly the announced bytes, then the 6-byte answer.
class UploadReceiver {
public:
    // True when a frame starts an upload on a device of `type`: 102 on cameras, 230 on NVRs.
    static bool startsUpload(std::uint8_t command, std::uint16_t length, int type);

    UploadReceiver(wire::ByteView frameA, const UploadSettings& settings, UploadLog& log);

    enum class State { Receiving, Done, Reset, Stalled };

    // Takes what it can of `bytes` (frame B, then file data); the count taken.
    std::size_t feed(wire::ByteView bytes);
    [[nodiscard]] State state() const { return state_; }
    // After Done: the answer to send, or nullopt when the device keeps silent.
    [[nodiscard]] std::optional<wire::Bytes> answer() const;
    // At most this many bytes per read keep the read rate (0: no limit).
    [[nodiscard]] std::uint32_t readRate() const { return settings_.readRate; }
    [[nodiscard]] const wire::Bytes& frameB() const { return header_; }
    // The connection ended before the upload did.
    void brokenOff();
    // After Done: the device took the package (answered tag 1).
    [[nodiscard]] bool taken() const;
    // After Done: the version the device runs from now on, when it installs what it took.
    [[nodiscard]] std::optional<std::string> installedVersion() const;

private:
    void finishData();

    UploadSettings settings_;
    std::shared_ptr<UploadRecord> record_;
    wire::Bytes header_;
    Sha256 hash_;
    std::ofstream saved_;
    State state_ = State::Receiving;
};

}  // namespace tarvo::sim

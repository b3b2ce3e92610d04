#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/DeviceConfig.h"
#include "sim/EventLoop.h"
#include "sim/UdpChannel.h"
#include "sim/Wire.h"

namespace tarvo::sim {

// What a discovery flood sends. Sources are `sources` consecutive addresses from `base` on,
// skipping those that end in .0 or .255; the replies go round them, so every source answers
// again and again while the flood lasts.
struct FloodSettings {
    int rate = 0;  // discovery replies a second; 0: no flood
    int durationMs = 1000;
    int sources = 1000;
    std::uint32_t base = 0x7F020001;  // 127.2.0.1
    int type = 100;
    std::string namePrefix = "Flood-";
    // What is sent: discovery replies (100), or any other reply code, sprayed unasked from the
    // sources, each frame with the source's own target and `payload` after the header (for 100,
    // a non-empty payload replaces the name).
    int command = 100;
    wire::Bytes payload;

    // Applies one setting (rate, durationMs, sources, base, type, name, command, payload); an
    // error text, empty on success.
    std::string apply(std::string_view key, std::string_view value);
    nlohmann::json toJson() const;
};

// A crowd of phantom devices that answers every search with a burst of discovery replies (or
// of any other reply, as a spoofing host would) at a fixed rate, for testing how the program's
// receive path holds up and what it believes. A search while a burst runs starts it again from
// the beginning. The phantoms take no commands.
class DiscoveryFlood {
public:
    // `sent` runs after every batch, so that the owner can watch the socket for a full queue.
    DiscoveryFlood(EventLoop& loop, UdpChannel& udp, std::function<void()> sent)
        : loop_(loop), udp_(udp), sent_(std::move(sent)) {}
    ~DiscoveryFlood() { stop(); }
    DiscoveryFlood(const DiscoveryFlood&) = delete;
    DiscoveryFlood& operator=(const DiscoveryFlood&) = delete;

    // New settings for the next search; a burst in progress ends. Checked as a whole: a bad
    // setting changes nothing. An error text, empty on success.
    std::string configure(const std::vector<Setting>& settings);
    [[nodiscard]] bool enabled() const { return settings_.rate > 0; }

    // A discovery request came in on `interfaceIndex`.
    void answer(int interfaceIndex);
    void stop();

    // Settings, "running", "runs" (bursts started) and "generated" (replies made, all bursts).
    nlohmann::json toJson() const;

private:
    void tick();

    EventLoop& loop_;
    UdpChannel& udp_;
    std::function<void()> sent_;
    FloodSettings settings_;
    std::vector<std::uint32_t> addresses_;
    std::vector<wire::Bytes> replies_;  // one per source, made once
    bool running_ = false;
    int interfaceIndex_ = 0;
    EventLoop::Clock::time_point start_;
    std::uint64_t runTotal_ = 0;  // replies this burst sends
    std::uint64_t runSent_ = 0;
    std::uint64_t generated_ = 0;
    std::uint64_t runs_ = 0;
    std::size_t next_ = 0;  // the source of the next reply
    EventLoop::TimerId timer_ = 0;
};

}  // namespace tarvo::sim

#include "sim/DiscoveryFlood.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <optional>

#include "core/text/TextConvert.h"

namespace tarvo::sim {

namespace {

constexpr auto kTick = std::chrono::milliseconds(2);
// At most this many replies per wake, so that the rest of the simulator keeps its turn even
// when the loop has fallen behind.
constexpr std::uint64_t kBatch = 4096;
constexpr int kMaxRate = 100'000;
constexpr int kMaxSources = 1'000'000;
constexpr int kMaxDurationMs = 600'000;
constexpr std::size_t kMaxPayload = 1024 - wire::kHeaderSize;

bool parseInt(std::string_view text, int min, int max, int& out) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) return false;
    out = value;
    return true;
}

// Phantom sources: loopback addresses, or, on a sandbox's device host (whose replies cross the
// sandbox's bridge only), addresses of the sandbox's own 10.250/16, e.g. another subnet of the
// link.
bool floodSourceAllowed(std::uint32_t address) {
    if ((address >> 24) == 127) return true;
    const char* sandbox = std::getenv("TARVO_SANDBOX");
    return sandbox != nullptr && std::string_view(sandbox) == "1" && (address >> 16) == 0x0AFA;
}

}  // namespace

std::string FloodSettings::apply(std::string_view key, std::string_view value) {
    const auto bad = [&] {
        return "bad value for flood " + std::string(key) + ": '" + std::string(value) + "'";
    };
    if (key == "rate") return parseInt(value, 0, kMaxRate, rate) ? std::string() : bad();
    if (key == "durationMs") {
        return parseInt(value, 1, kMaxDurationMs, durationMs) ? std::string() : bad();
    }
    if (key == "sources") return parseInt(value, 1, kMaxSources, sources) ? std::string() : bad();
    if (key == "type") return parseInt(value, 0, 0xFFFF, type) ? std::string() : bad();
    if (key == "base") {
        const auto parsed = parseAddress(value);
        if (!parsed || !floodSourceAllowed(*parsed))
            return bad() + " (a 127.x.y.z address; 10.250.x.y inside the sandbox)";
        base = *parsed;
        return {};
    }
    if (key == "name") {
        namePrefix = value;
        return {};
    }
    if (key == "command") return parseInt(value, 0, 0xFF, command) ? std::string() : bad();
    if (key == "payload") {
        const auto bytes = wire::parseHex(value);
        if (!bytes || bytes->size() > kMaxPayload) return bad() + " (hex bytes, at most 1018)";
        payload = *bytes;
        return {};
    }
    return "unknown flood setting '" + std::string(key) +
           "'; settings: rate, durationMs, sources, base, type, name, command, payload";
}

nlohmann::json FloodSettings::toJson() const {
    return {{"rate", rate},       {"durationMs", durationMs},
            {"sources", sources}, {"base", formatAddress(base)},
            {"type", type},       {"name", namePrefix},
            {"command", command}, {"payload", wire::hexOf(payload)}};
}

std::string DiscoveryFlood::configure(const std::vector<Setting>& settings) {
    FloodSettings updated = settings_;
    for (const auto& [key, value] : settings) {
        std::string error = updated.apply(key, value);
        if (!error.empty()) return error;
    }
    // Every source must stay inside the range its base lies in.
    std::vector<std::uint32_t> addresses;
    addresses.reserve(static_cast<std::size_t>(updated.sources));
    for (std::uint32_t address = updated.base;
         addresses.size() < static_cast<std::size_t>(updated.sources); ++address) {
        if (!floodSourceAllowed(address)) return "flood sources run past the end of their range";
        const std::uint32_t last = address & 0xFF;
        if (last != 0 && last != 255) addresses.push_back(address);
    }

    stop();
    settings_ = std::move(updated);
    addresses_ = std::move(addresses);
    replies_.clear();
    replies_.reserve(addresses_.size());
    for (std::size_t i = 0; i < addresses_.size(); ++i) {
        const bool discovery = settings_.command == wire::kDiscoverReply;
        if (!discovery || !settings_.payload.empty()) {
            auto frame = wire::makeFrame(static_cast<std::uint8_t>(settings_.command), 0,
                                         discovery ? static_cast<std::uint16_t>(settings_.type)
                                                   : wire::targetOf(addresses_[i]),
                                         wire::kHeaderSize + settings_.payload.size());
            std::copy(settings_.payload.begin(), settings_.payload.end(),
                      frame.begin() + static_cast<std::ptrdiff_t>(wire::kHeaderSize));
            replies_.push_back(std::move(frame));
            continue;
        }
        const std::string name =
            text::narrowString(text::fromUtf8(settings_.namePrefix + std::to_string(i + 1)));
        auto frame =
            wire::makeFrame(wire::kDiscoverReply, 0, static_cast<std::uint16_t>(settings_.type),
                            std::min<std::size_t>(wire::kHeaderSize + name.size() + 1, 1024));
        std::copy_n(name.begin(), std::min(name.size(), frame.size() - wire::kHeaderSize - 1),
                    frame.begin() + static_cast<std::ptrdiff_t>(wire::kHeaderSize));
        replies_.push_back(std::move(frame));
    }
    return {};
}

void DiscoveryFlood::answer(int interfaceIndex) {
    if (!enabled() || replies_.empty()) return;
    stop();
    running_ = true;
    interfaceIndex_ = interfaceIndex;
    start_ = EventLoop::Clock::now();
    runTotal_ = static_cast<std::uint64_t>(settings_.rate) *
                static_cast<std::uint64_t>(settings_.durationMs) / 1000;
    runSent_ = 0;
    next_ = 0;
    ++runs_;
    tick();
}

void DiscoveryFlood::stop() {
    if (timer_ != 0) loop_.cancel(timer_);
    timer_ = 0;
    running_ = false;
}

void DiscoveryFlood::tick() {
    timer_ = 0;
    if (!running_) return;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(EventLoop::Clock::now() - start_)
            .count();
    const std::uint64_t due = std::min<std::uint64_t>(
        runTotal_, static_cast<std::uint64_t>(elapsed) *
                       static_cast<std::uint64_t>(settings_.rate) / 1'000'000);
    const std::uint64_t batch = std::min<std::uint64_t>(due - std::min(due, runSent_), kBatch);
    for (std::uint64_t i = 0; i < batch; ++i) {
        udp_.send(addresses_[next_], interfaceIndex_, replies_[next_]);
        next_ = (next_ + 1) % replies_.size();
    }
    runSent_ += batch;
    generated_ += batch;
    if (batch > 0 && sent_) sent_();
    if (runSent_ >= runTotal_) {
        running_ = false;
        return;
    }
    timer_ = loop_.after(kTick, [this] { tick(); });
}

nlohmann::json DiscoveryFlood::toJson() const {
    nlohmann::json out = settings_.toJson();
    out["running"] = running_;
    out["runs"] = runs_;
    out["generated"] = generated_;
    return out;
}

}  // namespace tarvo::sim

#include "core/discovery/ReplyCache.h"

#include <string>
#include <utility>

#include "core/net/NetworkInterfaces.h"

namespace tarvo::discovery {

std::atomic<int> g_loginAccepted{0};

namespace {

std::size_t index(ReplyCache::Reply reply) {
    return static_cast<std::size_t>(reply);
}

}  // namespace

void ReplyCache::expect(Reply reply, std::uint32_t device) {
    std::lock_guard guard(mutex_);
    expected_[index(reply)] = Expectation{device, false};
    switch (reply) {
        case Reply::NetParams:
            netParams_ = {};
            break;
        case Reply::Audio:
            audio_ = 0;
            break;
        case Reply::Protocol:
            protocol_ = 0;
            break;
        case Reply::Overlay:
            overlay_ = 0;
            break;
        case Reply::OnvifSubStream:
            onvifSubStream_ = 1;
            break;
        case Reply::Cloud:
            cloud_ = {};
            break;
        case Reply::Login:
            g_loginAccepted.store(0);
            break;
        case Reply::Count:
            break;
    }
}

void ReplyCache::expect(Reply reply, std::string_view device) {
    std::uint32_t address = 0;
    if (!net::parseIPv4(std::string(device), address)) address = 0;
    expect(reply, address);
}

bool ReplyCache::answered(Reply reply) const {
    std::lock_guard guard(mutex_);
    return expected_[index(reply)].answered;
}

bool ReplyCache::accepts(Reply reply, std::uint32_t sender) {
    Expectation& e = expected_[index(reply)];
    if (e.device == 0 || sender != e.device) return false;
    e.answered = true;
    return true;
}

bool ReplyCache::offerNetParams(std::uint32_t sender, const protocol::NetParams& value) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::NetParams, sender)) return false;
    netParams_ = value;
    return true;
}
bool ReplyCache::offerAudio(std::uint32_t sender, std::uint32_t value) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::Audio, sender)) return false;
    audio_ = value;
    return true;
}
bool ReplyCache::offerProtocol(std::uint32_t sender, std::uint32_t value) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::Protocol, sender)) return false;
    protocol_ = value;
    return true;
}
bool ReplyCache::offerOverlay(std::uint32_t sender, std::uint32_t value) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::Overlay, sender)) return false;
    overlay_ = value;
    return true;
}
bool ReplyCache::offerOnvifSubStream(std::uint32_t sender, std::uint32_t value) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::OnvifSubStream, sender)) return false;
    onvifSubStream_ = value;
    return true;
}
bool ReplyCache::offerCloud(std::uint32_t sender, const protocol::CloudRecord& value) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::Cloud, sender)) return false;
    cloud_ = value;
    return true;
}
bool ReplyCache::offerLogin(std::uint32_t sender, bool accepted) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::Login, sender)) return false;
    g_loginAccepted.store(accepted ? 1 : 0);
    return true;
}

void ReplyCache::expectMacReassigned(std::uint32_t device) {
    std::lock_guard guard(mutex_);
    if (device != macDevice_) macAnswersDue_ = 0;
    macDevice_ = device;
    if (device != 0) ++macAnswersDue_;
}

bool ReplyCache::takeMacReassigned(std::uint32_t sender) {
    std::lock_guard guard(mutex_);
    if (macAnswersDue_ == 0 || sender != macDevice_) return false;
    --macAnswersDue_;
    return true;
}

protocol::NetParams ReplyCache::netParams() const {
    std::lock_guard guard(mutex_);
    return netParams_;
}
std::uint32_t ReplyCache::audio() const {
    std::lock_guard guard(mutex_);
    return audio_;
}
std::uint32_t ReplyCache::protocolSupport() const {
    std::lock_guard guard(mutex_);
    return protocol_;
}
std::uint32_t ReplyCache::overlay() const {
    std::lock_guard guard(mutex_);
    return overlay_;
}
std::uint32_t ReplyCache::onvifSubStream() const {
    std::lock_guard guard(mutex_);
    return onvifSubStream_;
}
protocol::CloudRecord ReplyCache::cloud() const {
    std::lock_guard guard(mutex_);
    return cloud_;
}

protocol::NetParams ReplyCache::takeNetParams() {
    std::lock_guard guard(mutex_);
    return std::exchange(netParams_, protocol::NetParams{});
}
protocol::CloudRecord ReplyCache::takeCloud() {
    std::lock_guard guard(mutex_);
    return std::exchange(cloud_, protocol::CloudRecord{});
}

}  // namespace tarvo::discovery

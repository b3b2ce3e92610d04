#include "core/discovery/ReplyCache.h"

#include <algorithm>
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
            loginAccepted_ = false;
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

bool ReplyCache::allAnswered() const {
    std::lock_guard guard(mutex_);
    return std::all_of(expected_.begin(), expected_.end(),
                       [](const Expectation& e) { return e.device == 0 || e.answered; });
}

bool ReplyCache::loginAccepted() const {
    std::lock_guard guard(mutex_);
    return loginAccepted_;
}

bool ReplyCache::accepts(Reply reply, std::uint32_t sender) {
    Expectation& e = expected_[index(reply)];
    if (e.device == 0 || sender != e.device) return false;
    e.answered = true;
    return true;
}

template <typename T>
bool ReplyCache::offer(Reply reply, std::uint32_t sender, T& field, const T& value) {
    std::lock_guard guard(mutex_);
    if (!accepts(reply, sender)) return false;
    field = value;
    return true;
}

template <typename T>
T ReplyCache::read(const T& field) const {
    std::lock_guard guard(mutex_);
    return field;
}

bool ReplyCache::offerNetParams(std::uint32_t sender, const protocol::NetParams& value) {
    return offer(Reply::NetParams, sender, netParams_, value);
}
bool ReplyCache::offerAudio(std::uint32_t sender, std::uint32_t value) {
    return offer(Reply::Audio, sender, audio_, value);
}
bool ReplyCache::offerProtocol(std::uint32_t sender, std::uint32_t value) {
    return offer(Reply::Protocol, sender, protocol_, value);
}
bool ReplyCache::offerOverlay(std::uint32_t sender, std::uint32_t value) {
    return offer(Reply::Overlay, sender, overlay_, value);
}
bool ReplyCache::offerOnvifSubStream(std::uint32_t sender, std::uint32_t value) {
    return offer(Reply::OnvifSubStream, sender, onvifSubStream_, value);
}
bool ReplyCache::offerCloud(std::uint32_t sender, const protocol::CloudRecord& value) {
    return offer(Reply::Cloud, sender, cloud_, value);
}
bool ReplyCache::offerLogin(std::uint32_t sender, bool accepted) {
    std::lock_guard guard(mutex_);
    if (!accepts(Reply::Login, sender)) return false;
    loginAccepted_ = accepted;
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
    return read(netParams_);
}
std::uint32_t ReplyCache::audio() const {
    return read(audio_);
}
std::uint32_t ReplyCache::protocolSupport() const {
    return read(protocol_);
}
std::uint32_t ReplyCache::overlay() const {
    return read(overlay_);
}
std::uint32_t ReplyCache::onvifSubStream() const {
    return read(onvifSubStream_);
}
protocol::CloudRecord ReplyCache::cloud() const {
    return read(cloud_);
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

#include "core/discovery/ReplyCache.h"

#include <utility>

namespace tarvo::discovery {

std::atomic<int> g_loginAccepted{0};

void ReplyCache::setNetParams(const protocol::NetParams& value) {
    std::lock_guard guard(mutex_);
    netParams_ = value;
    ++netParamsUpdates_;
}
void ReplyCache::setAudio(std::uint32_t value) {
    std::lock_guard guard(mutex_);
    audio_ = value;
    ++audioUpdates_;
}
void ReplyCache::setProtocol(std::uint32_t value) {
    std::lock_guard guard(mutex_);
    protocol_ = value;
}
void ReplyCache::setOverlay(std::uint32_t value) {
    std::lock_guard guard(mutex_);
    overlay_ = value;
}
void ReplyCache::setOnvifSubStream(std::uint32_t value) {
    std::lock_guard guard(mutex_);
    onvifSubStream_ = value;
}
void ReplyCache::setCloud(const protocol::CloudRecord& value) {
    std::lock_guard guard(mutex_);
    cloud_ = value;
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

std::uint64_t ReplyCache::netParamsUpdates() const {
    std::lock_guard guard(mutex_);
    return netParamsUpdates_;
}
std::uint64_t ReplyCache::audioUpdates() const {
    std::lock_guard guard(mutex_);
    return audioUpdates_;
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

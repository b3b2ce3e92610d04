#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/protocol/NetParams.h"

namespace tarvo::discovery {

// The values UDP replies leave for the next settings dialog. Receive threads write, the window
// reads after its fixed waits; a small mutex keeps each value whole.
class ReplyCache {
public:
    void setNetParams(const protocol::NetParams& value);
    void setAudio(std::uint32_t value);
    void setProtocol(std::uint32_t value);
    void setOverlay(std::uint32_t value);
    void setOnvifSubStream(std::uint32_t value);
    void setCloud(const protocol::CloudRecord& value);

    [[nodiscard]] protocol::NetParams netParams() const;
    [[nodiscard]] std::uint32_t audio() const;
    [[nodiscard]] std::uint32_t protocolSupport() const;
    [[nodiscard]] std::uint32_t overlay() const;
    [[nodiscard]] std::uint32_t onvifSubStream() const;
    [[nodiscard]] protocol::CloudRecord cloud() const;

    // How often each value was set so far: a reader compares the count before a query with the
    // one after its wait to tell an answer from a value left over (or never set).
    [[nodiscard]] std::uint64_t netParamsUpdates() const;
    [[nodiscard]] std::uint64_t audioUpdates() const;

    // Hand-over reads that clear the record afterwards.
    protocol::NetParams takeNetParams();
    protocol::CloudRecord takeCloud();

private:
    mutable std::mutex mutex_;
    protocol::NetParams netParams_{};
    std::uint32_t audio_ = 0;
    std::uint64_t netParamsUpdates_ = 0;
    std::uint64_t audioUpdates_ = 0;
    std::uint32_t protocol_ = 0;
    std::uint32_t overlay_ = 0;
    std::uint32_t onvifSubStream_ = 1;
    protocol::CloudRecord cloud_{};
};

// The last UDP login result (reply 181): 1 accepted, 0 otherwise. Sending a login does not clear
// it.
extern std::atomic<int> g_loginAccepted;

}  // namespace tarvo::discovery

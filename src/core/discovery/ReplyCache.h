#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "core/protocol/NetParams.h"

namespace tarvo::discovery {

// The values UDP replies leave for the next settings dialog. Receive threads write, the window
// reads after its fixed waits; a small mutex keeps each value whole.
//
// Replies are not paired with requests on the wire, and every device on the link sees every
// query, so an entry takes a reply only from the device that was asked, and only once the
// query is on its way: `expect` names the device and resets the entry just before the query.
// Anything else (another device, a spoofing host, a late answer to an earlier query) is dropped.
class ReplyCache {
public:
    enum class Reply { NetParams, Audio, Protocol, Overlay, OnvifSubStream, Cloud, Login, Count };

    // Called before the query to `device` (network order) goes out: the entry returns to its
    // initial value (the login flag to refused) and takes replies from that address only.
    void expect(Reply reply, std::uint32_t device);
    // The same with the device's dotted address; a text that is no address expects nobody.
    void expect(Reply reply, std::string_view device);
    // Whether the device asked has answered since its `expect`.
    [[nodiscard]] bool answered(Reply reply) const;
    // Whether every entry that expects a device has its answer (a wait may end early then).
    [[nodiscard]] bool allAnswered() const;
    // This cache's own last login result (g_loginAccepted is the last of any cache's).
    [[nodiscard]] bool loginAccepted() const;

    // A reply from `sender` (network order) as a receive thread hands it over; true when it was
    // taken, false when it came from anyone but the device asked.
    bool offerNetParams(std::uint32_t sender, const protocol::NetParams& value);
    bool offerAudio(std::uint32_t sender, std::uint32_t value);
    bool offerProtocol(std::uint32_t sender, std::uint32_t value);
    bool offerOverlay(std::uint32_t sender, std::uint32_t value);
    bool offerOnvifSubStream(std::uint32_t sender, std::uint32_t value);
    bool offerCloud(std::uint32_t sender, const protocol::CloudRecord& value);
    // Sets g_loginAccepted.
    bool offerLogin(std::uint32_t sender, bool accepted);

    // The MAC conflict repair: each request sent to `device` lets one answer through; the
    // device's repeats and anyone else's answers are dropped.
    void expectMacReassigned(std::uint32_t device);
    bool takeMacReassigned(std::uint32_t sender);

    [[nodiscard]] protocol::NetParams netParams() const;
    [[nodiscard]] std::uint32_t audio() const;
    [[nodiscard]] std::uint32_t protocolSupport() const;
    [[nodiscard]] std::uint32_t overlay() const;
    [[nodiscard]] std::uint32_t onvifSubStream() const;
    [[nodiscard]] protocol::CloudRecord cloud() const;

    // Hand-over reads that clear the record afterwards.
    protocol::NetParams takeNetParams();
    protocol::CloudRecord takeCloud();

private:
    struct Expectation {
        std::uint32_t device = 0;  // 0: nobody
        bool answered = false;
    };
    // Marks the entry answered when `sender` is the device it expects. Lock held.
    bool accepts(Reply reply, std::uint32_t sender);
    // Stores `value` in `field` when `sender` is the device expected for `reply`.
    template <typename T>
    bool offer(Reply reply, std::uint32_t sender, T& field, const T& value);
    // A copy of `field`, read under the lock.
    template <typename T>
    T read(const T& field) const;

    mutable std::mutex mutex_;
    std::array<Expectation, static_cast<std::size_t>(Reply::Count)> expected_{};
    protocol::NetParams netParams_{};
    std::uint32_t audio_ = 0;
    std::uint32_t protocol_ = 0;
    std::uint32_t overlay_ = 0;
    std::uint32_t onvifSubStream_ = 1;
    protocol::CloudRecord cloud_{};
    bool loginAccepted_ = false;
    std::uint32_t macDevice_ = 0;
    std::uint32_t macAnswersDue_ = 0;
};

// The last UDP login result (reply 181) of the device asked: 1 accepted, 0 otherwise. Reset to 0
// before every login request.
extern std::atomic<int> g_loginAccepted;

}  // namespace tarvo::discovery

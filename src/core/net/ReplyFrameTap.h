#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "core/net/NetworkInterfaces.h"
#include "core/net/Socket.h"

namespace tarvo::net {

// The process's one packet socket: the source MAC of each discovery reply's Ethernet frame, on
// every Ethernet interface at once. A packet socket needs CAP_NET_RAW when it is opened, and
// the programs give every capability up right after start-up, so there is one, opened first,
// and every reader takes its copy of the frames from here.
class ReplyFrameTap {
public:
    // The source MAC of one discovery reply's own frame.
    using FrameSink = std::function<void(std::uint32_t sender, const MacAddress& mac)>;
    using ReaderId = std::uint64_t;

    // Opened on the first call (where the process may open a packet socket then); later calls
    // give the same tap, available or not.
    static ReplyFrameTap& shared();

    [[nodiscard]] bool available() const { return socket_.valid(); }
    // A reader of the replies that arrive on interface `interfaceIndex` from now on; 0 when the
    // tap is not available.
    ReaderId subscribe(unsigned interfaceIndex);
    void unsubscribe(ReaderId reader);
    // Hands `reader` every reply frame of its interface that arrived since its last call. A
    // reply's frame is queued here before its datagram reaches any UDP socket, so a receive
    // thread that calls this after taking a reply sees that reply's frame.
    void take(ReaderId reader, const FrameSink& sink);

    explicit ReplyFrameTap(Socket socket) : socket_(std::move(socket)) {}

private:
    struct Reader {
        unsigned interfaceIndex = 0;
        std::deque<std::pair<std::uint32_t, MacAddress>> frames;
    };
    // Moves what the socket holds now to the readers of each frame's interface. Lock held.
    void drain();

    std::mutex mutex_;
    Socket socket_;
    std::map<ReaderId, Reader> readers_;  // guarded by mutex_
    ReaderId nextReader_ = 1;             // guarded by mutex_
};

}  // namespace tarvo::net

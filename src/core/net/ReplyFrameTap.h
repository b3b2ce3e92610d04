#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "core/net/NetworkInterfaces.h"
#include "core/net/ReplyFrame.h"

namespace tarvo::net {

// The source MAC of each discovery reply's Ethernet frame, on every Ethernet interface at once.
// The programs hold no capability and no packet socket: the helper tarvo-macwatch, the one file
// given CAP_NET_RAW, reads the frames and passes on what is needed over a pipe. It is started
// by the first reader (only what searches asks) and runs until the process ends.
class ReplyFrameTap {
public:
    // The source MAC of one discovery reply's own frame.
    using FrameSink = std::function<void(std::uint32_t sender, const MacAddress& mac)>;
    using ReaderId = std::uint64_t;

    // Where the helper is: $TARVO_MACWATCH when set (a build tree, tests), else
    // <program folder>/../lib/tarvo/tarvo-macwatch, else <program folder>/../macwatch/ (the
    // build tree's layout).
    static std::string helperPath();

    static ReplyFrameTap& shared();

    // The tap of the helper at `helper`, started on the first subscribe().
    explicit ReplyFrameTap(std::string helper) : helper_(std::move(helper)) {}
    ~ReplyFrameTap();
    ReplyFrameTap(const ReplyFrameTap&) = delete;
    ReplyFrameTap& operator=(const ReplyFrameTap&) = delete;

    // A reader of the replies that arrive on interface `interfaceIndex` from now on; 0 when no
    // helper reads frames (none found, it lacks its capability, or it ended).
    ReaderId subscribe(unsigned interfaceIndex);
    void unsubscribe(ReaderId reader);
    // Hands `reader` every reply frame of its interface that arrived since its last call. A
    // reply's frame is queued for the helper before its datagram reaches any UDP socket, and
    // the helper is asked to pass on all it holds first (a wait of a round trip, bounded), so
    // a receive thread that calls this after taking a reply sees that reply's frame.
    // `sender` (0: none) is the reply the caller just took: when its frame is already here the
    // helper is not asked.
    void take(ReaderId reader, const FrameSink& sink, std::uint32_t sender = 0);

private:
    struct Reader {
        unsigned interfaceIndex = 0;
        std::deque<std::pair<std::uint32_t, MacAddress>> frames;
    };
    enum class State { NotStarted, Starting, Running, Failed };
    // Starts the helper and waits (bounded) for its first record. Lock held.
    void start(std::unique_lock<std::mutex>& guard);
    void readRecords();
    void deliver(const ReplyFrame& frame);  // lock held
    // Asks the helper for all it holds and waits (bounded) for its answer. Lock held.
    void catchUp(std::unique_lock<std::mutex>& guard);
    void stop();

    const std::string helper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::NotStarted;     // guarded by mutex_
    std::map<ReaderId, Reader> readers_;  // guarded by mutex_
    ReaderId nextReader_ = 1;             // guarded by mutex_
    std::uint32_t syncAsked_ = 0;         // guarded by mutex_: bytes written to the helper
    std::uint32_t syncDone_ = 0;          // guarded by mutex_: bytes it answered for
    pid_t pid_ = -1;
    int toHelper_ = -1;    // the helper's stdin: closing it ends the helper
    int fromHelper_ = -1;  // its stdout
    std::thread reader_;
};

}  // namespace tarvo::net

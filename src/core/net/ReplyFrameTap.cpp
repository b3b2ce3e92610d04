#include "core/net/ReplyFrameTap.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstring>

namespace tarvo::net {

namespace {

// What the frame filter looks for: UDP to the group port whose first payload byte is the
// discovery reply code.
constexpr std::uint32_t kReplyPort = 5250;
constexpr std::uint32_t kReplyCode = 100;
// Room for several thousand reply frames between two reads of a busy link (each frame is
// charged at its whole buffer size, a few kilobytes, however little of it is kept).
constexpr int kTapBufferBytes = 32 << 20;
// A reader that stops asking keeps at most this many frames (the oldest go first).
constexpr std::size_t kReaderFrames = 1 << 16;
// One drain reads at most what the kernel buffer can hold, even while frames keep coming.
constexpr int kDrainFrames = 1 << 17;
// Ancillary loads of the filter: the link type and the direction of the frame.
constexpr auto kLinkType = static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_HATYPE);
constexpr auto kFrameDirection = static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE);

Socket openSocket() {
    // Protocol 0 takes no frame until the bind below, when the filter is already in place.
    Socket socket(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket) return {};
    // Offsets from the start of the Ethernet frame; X holds the IPv4 header length. Only
    // Ethernet links carry the header the offsets assume (loopback and tunnels do not), and
    // the program's own sends are of no interest.
    std::array<sock_filter, 15> program{{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kLinkType),               //
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ARPHRD_ETHER, 0, 11),    //
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kFrameDirection),         //
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_OUTGOING, 9, 0),  //
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 23),                      // IPv4 protocol
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IPPROTO_UDP, 0, 7),      //
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 20),                      // fragment offset
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 0x1fff, 5, 0),          //
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 14),                     // X = header length
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 16),                      // UDP destination port
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kReplyPort, 0, 2),       //
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 22),                      // command byte
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kReplyCode, 1, 0),       //
        BPF_STMT(BPF_RET | BPF_K, 0),                                // drop
        BPF_STMT(BPF_RET | BPF_K, 64),  // keep the Ethernet header and the IPv4 source
    }};
    sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (::setsockopt(socket.fd(), SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter) != 0)
        return {};
    // The socket outlives the capabilities, in a process that loads plugins: code in it may not
    // widen the filter to read other traffic.
    const int locked = 1;
    if (::setsockopt(socket.fd(), SOL_SOCKET, SO_LOCK_FILTER, &locked, sizeof locked) != 0)
        return {};
    // The deep buffer needs CAP_NET_ADMIN, which only root has, and only now.
    const int bytes = kTapBufferBytes;
    if (::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        (void)::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    // Every interface, also those that come up later: the socket cannot be opened again then.
    sockaddr_ll where{};
    where.sll_family = AF_PACKET;
    where.sll_protocol = htons(ETH_P_IP);
    where.sll_ifindex = 0;
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0)
        return {};
    return socket;
}

}  // namespace

ReplyFrameTap& ReplyFrameTap::shared() {
    static ReplyFrameTap tap(openSocket());
    return tap;
}

ReplyFrameTap::ReaderId ReplyFrameTap::subscribe(unsigned interfaceIndex) {
    if (!available()) return 0;
    std::lock_guard guard(mutex_);
    // What is queued now arrived before this reader asked: it goes to the readers before it.
    drain();
    const ReaderId id = nextReader_++;
    readers_[id].interfaceIndex = interfaceIndex;
    return id;
}

void ReplyFrameTap::unsubscribe(ReaderId reader) {
    std::lock_guard guard(mutex_);
    readers_.erase(reader);
}

void ReplyFrameTap::drain() {
    std::array<std::uint8_t, 64> frame{};
    for (int n = 0; n < kDrainFrames; ++n) {
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(socket_.fd(), frame.data(), frame.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) return;  // nothing more queued (or the socket failed: nothing to read)
        if (got < 30 || from.sll_pkttype == PACKET_OUTGOING || from.sll_ifindex <= 0) continue;
        MacAddress mac{};
        std::memcpy(mac.data(), frame.data() + 6, mac.size());
        std::uint32_t sender = 0;
        std::memcpy(&sender, frame.data() + 26, sizeof sender);
        for (auto& [id, reader] : readers_) {
            if (reader.interfaceIndex != static_cast<unsigned>(from.sll_ifindex)) continue;
            if (reader.frames.size() >= kReaderFrames) reader.frames.pop_front();
            reader.frames.emplace_back(sender, mac);
        }
    }
}

void ReplyFrameTap::take(ReaderId reader, const FrameSink& sink) {
    std::deque<std::pair<std::uint32_t, MacAddress>> frames;
    {
        std::lock_guard guard(mutex_);
        const auto found = readers_.find(reader);
        if (found == readers_.end()) return;
        drain();
        frames.swap(found->second.frames);
    }
    // Outside the lock: the sink takes the device table's.
    for (const auto& [sender, mac] : frames) sink(sender, mac);
}

}  // namespace tarvo::net

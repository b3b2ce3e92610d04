// tarvo-macwatch: the one file of the package given CAP_NET_RAW. It opens a packet socket whose
// filter lets through discovery replies alone and is locked, gives up every capability, and
// writes to its parent (its stdout, a pipe) the interface index, source MAC and IPv4 source of
// each reply frame. It sends nothing and takes no option; a byte on stdin only asks it to pass
// on what is queued now. It ends when its parent closes the pipe or its stdin.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "core/net/Capabilities.h"
#include "core/net/ReplyFrame.h"

namespace {

using tarvo::net::kReplyFrameCode;
using tarvo::net::kReplyFrameKept;
using tarvo::net::kReplyFramePort;
using tarvo::net::ReplyRecord;

// Exit statuses the parent may tell apart.
constexpr int kUsage = 2;
constexpr int kNoSocket = 3;
constexpr int kStillPrivileged = 4;

// Room for several thousand reply frames between two reads of a busy link (each frame is
// charged at its whole buffer size, a few kilobytes, however little of it is kept).
constexpr int kBufferBytes = 32 << 20;
// Frames read before stdin and stdout are looked at again.
constexpr int kFramesPerTurn = 256;
// Before a sync record: what the kernel buffer can hold, even while frames keep coming.
constexpr int kFramesPerSync = 1 << 17;
// Ancillary loads of the filter: the link type and the direction of the frame.
constexpr auto kLinkType = static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_HATYPE);
constexpr auto kFrameDirection = static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE);

bool setOption(int fd, int name, const void* value, socklen_t size) {
    return ::setsockopt(fd, SOL_SOCKET, name, value, size) == 0;
}

// The socket with its filter attached and locked, bound to IPv4 on every interface (also those
// that come up later: it cannot be opened again once the capability is gone); -1 on failure.
int openSocket() {
    // Protocol 0 takes no frame until the bind below, when the filter is already in place.
    const int fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    // Offsets from the start of the Ethernet frame; X holds the IPv4 header length. Only
    // Ethernet links carry the header the offsets assume (loopback and tunnels do not), and
    // frames the computer sends are of no interest.
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
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kReplyFramePort, 0, 2),  //
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 22),                      // command byte
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kReplyFrameCode, 1, 0),  //
        BPF_STMT(BPF_RET | BPF_K, 0),                                // drop
        BPF_STMT(BPF_RET | BPF_K, static_cast<std::uint32_t>(kReplyFrameKept)),  // keep the headers
    }};
    sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    const int locked = 1;
    const int bytes = kBufferBytes;
    sockaddr_ll where{};
    where.sll_family = AF_PACKET;
    where.sll_protocol = htons(ETH_P_IP);
    where.sll_ifindex = 0;
    if (!setOption(fd, SO_ATTACH_FILTER, &filter, sizeof filter) ||
        !setOption(fd, SO_LOCK_FILTER, &locked, sizeof locked)) {
        ::close(fd);
        return -1;
    }
    // The deep buffer needs CAP_NET_ADMIN, which only root has, and only now.
    if (!setOption(fd, SO_RCVBUFFORCE, &bytes, sizeof bytes))
        (void)setOption(fd, SO_RCVBUF, &bytes, sizeof bytes);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes all of `bytes` to stdout; false once the parent is gone.
bool writeAll(const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t wrote = ::write(STDOUT_FILENO, bytes, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        bytes += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return true;
}

// Reads what is queued (at most `limit` frames) and writes one record per reply, then `tail`
// when given; false once the parent is gone.
bool forwardFrames(int socket, int limit, const ReplyRecord* tail = nullptr) {
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, kReplyFrameKept> frame{};
    for (int n = 0; n < limit; ++n) {
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(socket, frame.data(), frame.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) break;  // nothing more queued now
        if (from.sll_pkttype == PACKET_OUTGOING) continue;
        const auto reply = tarvo::net::readReplyFrame(
            std::span<const std::uint8_t>(frame.data(), static_cast<std::size_t>(got)),
            from.sll_ifindex);
        if (!reply) continue;
        const ReplyRecord record = tarvo::net::frameRecord(*reply);
        out.insert(out.end(), record.begin(), record.end());
    }
    if (tail != nullptr) out.insert(out.end(), tail->begin(), tail->end());
    return out.empty() || writeAll(out.data(), out.size());
}

// Until stdin ends or stdout's reader is gone. Each read of stdin asks for what is queued now,
// then a sync record counting the bytes read so far.
int watch(int socket) {
    std::uint32_t asked = 0;
    for (;;) {
        std::array<pollfd, 3> wait{
            {{socket, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}, {STDOUT_FILENO, 0, 0}}};
        if (::poll(wait.data(), wait.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if ((wait[2].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return 0;
        if ((wait[0].revents & (POLLERR | POLLNVAL)) != 0) return 1;
        if (wait[1].revents != 0) {
            std::array<char, 256> asks{};
            const ssize_t got = ::read(STDIN_FILENO, asks.data(), asks.size());
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return 0;
            if (got > 0) {
                asked += static_cast<std::uint32_t>(got);
                const ReplyRecord sync = tarvo::net::syncRecord(asked);
                if (!forwardFrames(socket, kFramesPerSync, &sync)) return 0;
                continue;
            }
        }
        if ((wait[0].revents & POLLIN) != 0 && !forwardFrames(socket, kFramesPerTurn)) return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    (void)argv;
    if (argc != 1) {
        std::fprintf(stderr,
                     "tarvo-macwatch: takes no option (%d given); tarvo and tarvo-cli start it\n",
                     argc - 1);
        return kUsage;
    }
    // Nothing the parent left open stays: only the socket below and the two pipes.
    (void)::syscall(SYS_close_range, 3U, ~0U, 0U);
    // A closed pipe is an answer of write(), not a signal.
    (void)::signal(SIGPIPE, SIG_IGN);
    const int socket = openSocket();
    if (!tarvo::net::dropCapabilities()) return kStillPrivileged;
    if (socket < 0) return kNoSocket;  // no capability: the parent reads the neighbour table
    const ReplyRecord ready = tarvo::net::readyRecord();
    if (!writeAll(ready.data(), ready.size())) return 0;
    return watch(socket);
}

#include "sim/NetworkCheck.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "core/net/Socket.h"

namespace tarvo::sim {

namespace {

// The link's name and kind from its attributes; the kind stays empty for hardware.
void readLink(const nlmsghdr& message, std::string& name, std::string& kind) {
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
    int left = static_cast<int>(message.nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof *info));
    for (const auto* a = IFLA_RTA(info); left > 0 && RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        const auto* data = static_cast<const char*>(RTA_DATA(a));
        const auto size = static_cast<std::size_t>(RTA_PAYLOAD(a));
        if (a->rta_type == IFLA_IFNAME) {
            name.assign(data, strnlen(data, size));
        } else if (a->rta_type == IFLA_LINKINFO) {
            int nestedLeft = static_cast<int>(size);
            for (const auto* n = static_cast<const rtattr*>(RTA_DATA(a));
                 nestedLeft > 0 && RTA_OK(n, nestedLeft); n = RTA_NEXT(n, nestedLeft)) {
                if (n->rta_type != IFLA_INFO_KIND) continue;
                const auto* kindData = static_cast<const char*>(RTA_DATA(n));
                kind.assign(kindData, strnlen(kindData, RTA_PAYLOAD(n)));
            }
        }
    }
}

}  // namespace

bool hardwareInterfaces(std::vector<std::string>& names, std::string& error) {
    names.clear();
    const net::Socket socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!socket) {
        error = std::string("cannot ask the kernel for the network interfaces: ") +
                std::strerror(errno);
        return false;
    }
    const timeval wait{2, 0};
    (void)::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.info.ifi_family = AF_UNSPEC;
    if (::send(socket.fd(), &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request)) {
        error = std::string("cannot ask the kernel for the network interfaces: ") +
                std::strerror(errno);
        return false;
    }
    alignas(nlmsghdr) std::array<char, 32768> buffer{};
    // Bounded: a namespace has far fewer links than this many replies could carry.
    for (int reads = 0; reads < 4096; ++reads) {
        const ssize_t got = ::recv(socket.fd(), buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        const auto total = static_cast<std::size_t>(got);
        // Every header and every message's length is checked against what was received.
        for (std::size_t offset = 0, step = 0; offset + sizeof(nlmsghdr) <= total; offset += step) {
            const auto* m = reinterpret_cast<const nlmsghdr*>(buffer.data() + offset);
            if (m->nlmsg_len < sizeof(nlmsghdr) || m->nlmsg_len > total - offset) break;
            step = NLMSG_ALIGN(m->nlmsg_len);
            if (m->nlmsg_type == NLMSG_DONE) return true;
            if (m->nlmsg_type == NLMSG_ERROR) break;
            if (m->nlmsg_type != RTM_NEWLINK || m->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
                continue;
            const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(m));
            if ((info->ifi_flags & IFF_LOOPBACK) != 0) continue;
            std::string name;
            std::string kind;
            readLink(*m, name, kind);
            if (kind.empty()) names.push_back(name);
        }
    }
    error = "the kernel did not list the network interfaces";
    return false;
}

}  // namespace tarvo::sim

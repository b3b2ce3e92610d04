#include "core/net/KernelLinks.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "core/net/Socket.h"

namespace tarvo::net {

namespace {

std::string attributeText(const rtattr& attribute) {
    const auto* data = static_cast<const char*>(RTA_DATA(&attribute));
    return {data, ::strnlen(data, RTA_PAYLOAD(&attribute))};
}

// The link of one RTM_NEWLINK message, whose length was checked against what arrived.
KernelLink linkOf(const nlmsghdr& message) {
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
    KernelLink link;
    link.index = static_cast<unsigned>(info->ifi_index);
    link.flags = info->ifi_flags;
    int left = static_cast<int>(message.nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof *info));
    for (const auto* a = IFLA_RTA(info); left > 0 && RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        if (a->rta_type == IFLA_IFNAME) {
            link.name = attributeText(*a);
        } else if (a->rta_type == IFLA_MASTER && RTA_PAYLOAD(a) >= sizeof(std::uint32_t)) {
            std::uint32_t master = 0;
            std::memcpy(&master, RTA_DATA(a), sizeof master);
            link.master = master;
        } else if (a->rta_type == IFLA_LINKINFO) {
            int nestedLeft = static_cast<int>(RTA_PAYLOAD(a));
            for (const auto* n = static_cast<const rtattr*>(RTA_DATA(a));
                 nestedLeft > 0 && RTA_OK(n, nestedLeft); n = RTA_NEXT(n, nestedLeft)) {
                if (n->rta_type == IFLA_INFO_KIND) link.kind = attributeText(*n);
            }
        }
    }
    return link;
}

bool askForLinks(const Socket& socket) {
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
    return ::send(socket.fd(), &request, sizeof request, 0) == static_cast<ssize_t>(sizeof request);
}

enum class Part { More, Done, Failed };

// The links of one datagram of the dump; every header and every message's length is checked
// against what was received.
Part readPart(const char* data, std::size_t total, std::vector<KernelLink>& links) {
    for (std::size_t offset = 0, step = 0; offset + sizeof(nlmsghdr) <= total; offset += step) {
        const auto* m = reinterpret_cast<const nlmsghdr*>(data + offset);
        if (m->nlmsg_len < sizeof(nlmsghdr) || m->nlmsg_len > total - offset) return Part::More;
        step = NLMSG_ALIGN(m->nlmsg_len);
        if (m->nlmsg_type == NLMSG_DONE) return Part::Done;
        if (m->nlmsg_type == NLMSG_ERROR) return Part::Failed;
        if (m->nlmsg_type != RTM_NEWLINK || m->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
            continue;
        links.push_back(linkOf(*m));
    }
    return Part::More;
}

}  // namespace

bool kernelLinks(std::vector<KernelLink>& links, std::string& error) {
    links.clear();
    const Socket socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!socket || !askForLinks(socket)) {
        error = std::string("cannot ask the kernel for the network interfaces: ") +
                std::strerror(errno);
        return false;
    }
    std::vector<nlmsghdr> buffer(32768 / sizeof(nlmsghdr));  // aligned for the headers
    const std::size_t size = buffer.size() * sizeof(nlmsghdr);
    // Bounded: a namespace has far fewer links than this many replies could carry.
    for (int reads = 0; reads < 4096; ++reads) {
        const ssize_t got = ::recv(socket.fd(), buffer.data(), size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        const Part part = readPart(reinterpret_cast<const char*>(buffer.data()),
                                   static_cast<std::size_t>(got), links);
        if (part == Part::Done) return true;
        if (part == Part::Failed) break;
    }
    error = "the kernel did not list the network interfaces";
    return false;
}

}  // namespace tarvo::net

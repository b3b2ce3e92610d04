#include "sim/ControlServer.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace tarvo::sim {

bool ControlServer::open(const std::string& path, std::string& error) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "control socket path is empty or too long: " + path;
        return false;
    }
    // Only a socket left over from a run that was killed is taken away; any other file at the
    // path is someone's data.
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && !S_ISSOCK(existing.st_mode)) {
        error = "control socket path " + path + " exists and is not a socket; left as it is";
        return false;
    }
    listener_ = net::Socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener_) {
        error = std::string("control socket: ") + std::strerror(errno);
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    if (S_ISSOCK(existing.st_mode)) ::unlink(path.c_str());
    if (::bind(listener_.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.fd(), 16) != 0) {
        error = "control socket " + path + ": " + std::strerror(errno);
        listener_.close();
        return false;
    }
    path_ = path;
    if (!loop_.add(listener_.fd(), EPOLLIN, [this](std::uint32_t) { accept(); })) {
        error = "cannot watch the control socket";
        close();
        return false;
    }
    return true;
}

void ControlServer::close() {
    while (!clients_.empty()) drop(clients_.begin()->first);
    if (listener_) {
        loop_.remove(listener_.fd());
        listener_.close();
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

void ControlServer::accept() {
    for (int i = 0; i < 16; ++i) {
        const int fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;
        }
        auto client = std::make_unique<Client>();
        client->socket = net::Socket(fd);
        const std::uint64_t id = nextId_++;
        if (!loop_.add(fd, EPOLLIN, [this, id](std::uint32_t events) { onEvents(id, events); })) {
            continue;
        }
        client->timer = loop_.after(kTimeout, [this, id] { drop(id); });
        clients_.emplace(id, std::move(client));
    }
}

void ControlServer::onEvents(std::uint64_t id, std::uint32_t events) {
    const auto found = clients_.find(id);
    if (found == clients_.end()) return;
    Client& client = *found->second;
    bool keep = (events & EPOLLERR) == 0;
    if (keep && !client.answered && (events & (EPOLLIN | EPOLLHUP)) != 0) keep = readLine(client);
    if (keep && client.answered) keep = writeAnswer(client);
    if (!keep) drop(id);
}

bool ControlServer::readLine(Client& client) {
    std::array<char, 4096> chunk{};
    for (;;) {
        const ssize_t got = ::recv(client.socket.fd(), chunk.data(), chunk.size(), 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        // A peer that closed its side without a newline still gets its answer.
        const bool ended = got == 0;
        client.input.append(chunk.data(), static_cast<std::size_t>(got));
        const auto newline = client.input.find('\n');
        if (newline == std::string::npos && !ended) {
            if (client.input.size() > kMaxLine) return false;
            continue;
        }
        std::string line = client.input.substr(0, newline);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() && ended) return false;
        client.output = executor_(line);
        client.output += '\n';
        client.answered = true;
        loop_.modify(client.socket.fd(), EPOLLOUT);
        return true;
    }
}

bool ControlServer::writeAnswer(Client& client) {
    while (client.sent < client.output.size()) {
        const ssize_t sent = ::send(client.socket.fd(), client.output.data() + client.sent,
                                    client.output.size() - client.sent, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        client.sent += static_cast<std::size_t>(sent);
    }
    return false;  // answered in full: close
}

void ControlServer::drop(std::uint64_t id) {
    const auto found = clients_.find(id);
    if (found == clients_.end()) return;
    loop_.remove(found->second->socket.fd());
    loop_.cancel(found->second->timer);
    clients_.erase(found);
}

}  // namespace tarvo::sim

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/net/Socket.h"
#include "sim/EventLoop.h"

namespace tarvo::sim {

// The control socket: a Unix stream socket that takes one command line per connection and
// answers with one line, then closes. Slow or silent peers are dropped after a time-out.
class ControlServer {
public:
    using Executor = std::function<std::string(std::string_view line)>;

    static constexpr std::size_t kMaxLine = 64 * 1024;
    static constexpr auto kTimeout = std::chrono::seconds(10);

    ControlServer(EventLoop& loop, Executor executor)
        : loop_(loop), executor_(std::move(executor)) {}
    ~ControlServer() { close(); }
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool open(const std::string& path, std::string& error);
    void close();

private:
    struct Client {
        net::Socket socket;
        std::string input;
        std::string output;
        std::size_t sent = 0;
        bool answered = false;
        EventLoop::TimerId timer = 0;
    };

    void accept();
    void onEvents(std::uint64_t id, std::uint32_t events);
    // False when the client is done (answered in full) or broken.
    bool readLine(Client& client);
    bool writeAnswer(Client& client);
    void drop(std::uint64_t id);

    EventLoop& loop_;
    Executor executor_;
    net::Socket listener_;
    std::string path_;
    std::unordered_map<std::uint64_t, std::unique_ptr<Client>> clients_;
    std::uint64_t nextId_ = 1;
};

}  // namespace tarvo::sim

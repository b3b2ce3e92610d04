#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

namespace tarvo::sim {

// One epoll loop with a timer queue; everything in the simulator runs on the thread that calls
// run(). Handlers may add and remove descriptors and timers while they run.
class EventLoop {
public:
    using Clock = std::chrono::steady_clock;
    using Handler = std::function<void(std::uint32_t events)>;
    using TimerId = std::uint64_t;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    [[nodiscard]] bool valid() const { return epollFd_ >= 0; }

    // Level-triggered watch of `fd`; the caller keeps owning the descriptor and removes the
    // watch before closing it.
    bool add(int fd, std::uint32_t events, Handler handler);
    bool modify(int fd, std::uint32_t events);
    void remove(int fd);

    TimerId after(std::chrono::milliseconds delay, std::function<void()> task);
    // Tasks due at the same time run in the order they were added.
    TimerId at(Clock::time_point when, std::function<void()> task);
    void cancel(TimerId id);

    // Runs until stop(); false when epoll fails.
    bool run();
    void stop() { stopped_ = true; }

private:
    struct Watch {
        int fd = -1;
        std::uint64_t key = 0;
        std::shared_ptr<Handler> handler;
    };

    int nextTimeoutMs() const;
    void runDueTimers();

    int epollFd_ = -1;
    bool stopped_ = false;
    std::uint64_t nextKey_ = 1;
    std::unordered_map<int, Watch> watchesByFd_;
    std::unordered_map<std::uint64_t, int> fdByKey_;
    TimerId nextTimer_ = 1;
    std::multimap<Clock::time_point, TimerId> timerQueue_;
    std::unordered_map<TimerId, std::function<void()>> timers_;
};

}  // namespace tarvo::sim

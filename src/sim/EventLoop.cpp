#include "sim/EventLoop.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace tarvo::sim {

EventLoop::EventLoop() : epollFd_(::epoll_create1(EPOLL_CLOEXEC)) {}

EventLoop::~EventLoop() {
    if (epollFd_ >= 0) ::close(epollFd_);
}

bool EventLoop::add(int fd, std::uint32_t events, Handler handler) {
    if (fd < 0 || watchesByFd_.contains(fd)) return false;
    const std::uint64_t key = nextKey_++;
    // The epoll cookie is a registration key, not the descriptor: a descriptor closed and
    // reused inside one batch of events must not receive its predecessor's events.
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0) return false;
    watchesByFd_[fd] = Watch{fd, key, std::make_shared<Handler>(std::move(handler))};
    fdByKey_[key] = fd;
    return true;
}

bool EventLoop::modify(int fd, std::uint32_t events) {
    const auto found = watchesByFd_.find(fd);
    if (found == watchesByFd_.end()) return false;
    epoll_event event{};
    event.events = events;
    event.data.u64 = found->second.key;
    return ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &event) == 0;
}

void EventLoop::remove(int fd) {
    const auto found = watchesByFd_.find(fd);
    if (found == watchesByFd_.end()) return;
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    fdByKey_.erase(found->second.key);
    watchesByFd_.erase(found);
}

EventLoop::TimerId EventLoop::after(std::chrono::milliseconds delay, std::function<void()> task) {
    return at(Clock::now() + delay, std::move(task));
}

EventLoop::TimerId EventLoop::at(Clock::time_point when, std::function<void()> task) {
    const TimerId id = nextTimer_++;
    timerQueue_.emplace(when, id);
    timers_.emplace(id, std::move(task));
    return id;
}

void EventLoop::cancel(TimerId id) {
    timers_.erase(id);
}

int EventLoop::nextTimeoutMs() const {
    if (timerQueue_.empty()) return -1;
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(timerQueue_.begin()->first - Clock::now());
    if (wait.count() <= 0) return 0;
    return wait.count() > 60'000 ? 60'000 : static_cast<int>(wait.count());
}

void EventLoop::runDueTimers() {
    // Only the timers due now: a task that schedules another for "now" runs it next round,
    // after the sockets had their turn.
    const auto now = Clock::now();
    std::vector<TimerId> due;
    while (!timerQueue_.empty() && timerQueue_.begin()->first <= now) {
        due.push_back(timerQueue_.begin()->second);
        timerQueue_.erase(timerQueue_.begin());
    }
    for (const TimerId id : due) {
        const auto found = timers_.find(id);
        if (found == timers_.end()) continue;  // cancelled
        auto task = std::move(found->second);
        timers_.erase(found);
        task();
        if (stopped_) return;
    }
}

bool EventLoop::run() {
    std::array<epoll_event, 256> events{};
    while (!stopped_) {
        const int count =
            ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), nextTimeoutMs());
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (int i = 0; i < count && !stopped_; ++i) {
            const auto key = fdByKey_.find(events[static_cast<std::size_t>(i)].data.u64);
            if (key == fdByKey_.end()) continue;  // removed by an earlier handler
            // Hold the handler: it may remove its own watch while it runs.
            const std::shared_ptr<Handler> handler = watchesByFd_.at(key->second).handler;
            (*handler)(events[static_cast<std::size_t>(i)].events);
        }
        if (!stopped_) runDueTimers();
    }
    return true;
}

}  // namespace tarvo::sim

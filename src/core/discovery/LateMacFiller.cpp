#include "core/discovery/LateMacFiller.h"

#include <algorithm>
#include <chrono>

#include "core/net/Clock.h"

namespace tarvo::discovery {

LateMacFiller::~LateMacFiller() {
    if (thread_.joinable()) {
        thread_.request_stop();
        wake_.notify_all();
        thread_.join();
    }
}

void LateMacFiller::watch(std::uint32_t address) {
    {
        std::lock_guard guard(mutex_);
        if (pending_.size() >= kMaxPending) return;
        pending_.push_back({address, net::tickMs()});
        if (!thread_.joinable())
            thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }
    resolver_.solicit(address);
    wake_.notify_all();
}

void LateMacFiller::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        wake_.wait(lock, stop, [this] { return !pending_.empty(); });
        if (stop.stop_requested()) return;
        wake_.wait_for(lock, stop, std::chrono::milliseconds(kPollMs), [] { return false; });
        std::vector<Pending> looking = pending_;
        lock.unlock();
        std::vector<std::uint32_t> done;
        const std::uint32_t now = net::tickMs();
        for (const auto& entry : looking) {
            const auto mac = resolver_.resolve(entry.address);
            if (!mac && static_cast<int>(now - entry.since) < kWatchMs) continue;
            done.push_back(entry.address);
            if (!mac) continue;
            const std::string dotted = net::formatIPv4(entry.address);
            const std::u16string address(dotted.begin(), dotted.end());
            const std::string text = net::formatMac(*mac);
            std::lock_guard guard(table_.lock());
            const int row = table_.findRow(kColAddress, address);
            if (row >= 0 && table_.text(row, kColMac).empty())
                table_.SetItemText(row, kColMac, std::u16string(text.begin(), text.end()));
        }
        lock.lock();
        std::erase_if(pending_, [&](const Pending& p) {
            return std::find(done.begin(), done.end(), p.address) != done.end();
        });
    }
}

}  // namespace tarvo::discovery

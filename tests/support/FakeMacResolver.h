#pragma once

#include <map>
#include <mutex>

#include "core/net/MacResolver.h"

namespace tarvo::test {

// Resolves every address to a MAC made from its octets, except those marked unresolvable.
class FakeMacResolver final : public net::MacResolver {
public:
    std::optional<net::MacAddress> resolve(std::uint32_t address) override {
        std::lock_guard guard(mutex_);
        ++calls_;
        if (failing_.count(address) != 0) return std::nullopt;
        const auto* o = reinterpret_cast<const std::uint8_t*>(&address);
        return net::MacAddress{0x02, 0x00, o[0], o[1], o[2], o[3]};
    }
    void fail(std::uint32_t address) {
        std::lock_guard guard(mutex_);
        failing_[address] = true;
    }
    int calls() const {
        std::lock_guard guard(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::uint32_t, bool> failing_;
    int calls_ = 0;
};

}  // namespace tarvo::test

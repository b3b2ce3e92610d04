#pragma once

#include <cstddef>

namespace tarvo::test {

// The heap allocations (operator new) this thread makes while one of these lives: how many, and
// their bytes all told (what is freed meanwhile still counts). Sanitizer builds bring operator
// new of their own and count nothing.
class AllocationCount {
public:
    AllocationCount();
    ~AllocationCount();
    AllocationCount(const AllocationCount&) = delete;
    AllocationCount& operator=(const AllocationCount&) = delete;

    [[nodiscard]] std::size_t allocations() const;
    [[nodiscard]] std::size_t bytes() const;

    // False where sanitizers count the allocations themselves.
    static bool works();

private:
    std::size_t allocationsBefore_ = 0;
    std::size_t bytesBefore_ = 0;
    bool wasCounting_ = false;
};

}  // namespace tarvo::test

#include "AllocationCount.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool counting = false;
thread_local std::size_t allocationCount = 0;
thread_local std::size_t allocatedBytes = 0;

}  // namespace

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#if !defined(__has_feature)
#define TARVO_COUNT_ALLOCATIONS 1
#elif !__has_feature(address_sanitizer) && !__has_feature(thread_sanitizer)
#define TARVO_COUNT_ALLOCATIONS 1
#endif
#endif

#ifdef TARVO_COUNT_ALLOCATIONS
// The replaceable allocation functions; the others (nothrow, arrays) come back to these.
void* operator new(std::size_t size) {
    if (counting) {
        ++allocationCount;
        allocatedBytes += size;
    }
    for (;;) {
        if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
#endif

namespace tarvo::test {

AllocationCount::AllocationCount()
    : allocationsBefore_(allocationCount), bytesBefore_(allocatedBytes), wasCounting_(counting) {
    counting = true;
}

AllocationCount::~AllocationCount() {
    counting = wasCounting_;
}

std::size_t AllocationCount::allocations() const {
    return allocationCount - allocationsBefore_;
}

std::size_t AllocationCount::bytes() const {
    return allocatedBytes - bytesBefore_;
}

bool AllocationCount::works() {
#ifdef TARVO_COUNT_ALLOCATIONS
    return true;
#else
    return false;
#endif
}

}  // namespace tarvo::test

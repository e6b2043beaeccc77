#include "player/allocation.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<long> allocationsBeforeFailure{-1};
}

void *allocateZeroed(size_t count, size_t size) {
    long left = allocationsBeforeFailure.load(std::memory_order_relaxed);
    if (left == 0)
        return nullptr;
    if (left > 0)
        allocationsBeforeFailure.store(left - 1, std::memory_order_relaxed);
    return std::calloc(count, size);
}

void releaseMemory(void *memory) {
    std::free(memory);
}

void failAllocationsAfter(long successes) {
    allocationsBeforeFailure.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}

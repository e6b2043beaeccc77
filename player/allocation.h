#pragma once

// Every record and buffer of the song tree and of playback is allocated
// zero-filled here, so tests can make any allocation fail and check that
// nothing leaks on the way out.

#include <cstddef>

// calloc; null on failure or when a test has asked for failures.
void *allocateZeroed(size_t count, size_t size);
void releaseMemory(void *memory);

// For tests: the next `successes` allocations succeed and every later one
// fails, until called again with a negative count.
void failAllocationsAfter(long successes);

#include "runtime/memory.h"

#include <cstdlib>

#ifdef KV_FUZZING
#include <malloc.h>

#include <atomic>

static std::atomic<size_t> LiveBytes{0};

void SetMemAllocLiveBytes(size_t bytes)
{
    LiveBytes = bytes;
}
#endif

void *MemAlloc(size_t size, int clear)
{
    if (size == 0) return nullptr;
#ifdef KV_FUZZING
    if (size > FUZZ_MAX_BLOCK || LiveBytes.load() + size > FUZZ_MAX_LIVE) return nullptr;
    void *block = clear ? calloc(1, size) : malloc(size);
    if (block) LiveBytes += malloc_usable_size(block);
    return block;
#else
    return clear ? calloc(1, size) : malloc(size);
#endif
}

void MemFree(void *block)
{
#ifdef KV_FUZZING
    // Blocks the platform made with malloc come here too: the count never goes below 0.
    if (block) {
        size_t n = malloc_usable_size(block), live = LiveBytes.load();
        while (!LiveBytes.compare_exchange_weak(live, live > n ? live - n : 0)) {
        }
    }
#endif
    free(block);
}

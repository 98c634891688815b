// General allocator of records and objects.
#pragma once
#include <cstddef>

// Returns a block of `size` bytes (zeroed when `clear` is non-zero), or nullptr
// when size is 0 or memory is exhausted.
void *MemAlloc(size_t size, int clear);
// Frees a block from MemAlloc; nullptr is ignored.
void MemFree(void *block);

#ifdef KV_FUZZING
// Under the fuzzers memory is small, so that a script's huge but well-formed requests fail as
// they would on a small machine instead of exhausting the fuzzer: MemAlloc and the
// interpreter's allocator refuse a block above FUZZ_MAX_BLOCK bytes, MemAlloc refuses one
// that would take its live blocks above FUZZ_MAX_LIVE, and the interpreter's allocator one
// that would take the state's memory above FUZZ_MAX_LIVE.
constexpr size_t FUZZ_MAX_BLOCK = (size_t)64 << 20;
constexpr size_t FUZZ_MAX_LIVE = (size_t)384 << 20;
// Bytes of the MemAlloc blocks not yet given to MemFree (a fuzz target sets it back to 0
// when every object of its last input is gone).
void SetMemAllocLiveBytes(size_t bytes);
#endif

// General allocator of records and objects.
#pragma once
#include <cstddef>

// Returns a block of `size` bytes (zeroed when `clear` is non-zero), or nullptr
// when size is 0 or memory is exhausted.
void *MemAlloc(size_t size, int clear);
// Frees a block from MemAlloc; nullptr is ignored.
void MemFree(void *block);

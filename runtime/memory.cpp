#include "runtime/memory.h"

#include <cstdlib>

void *MemAlloc(size_t size, int clear)
{
    if (size == 0) return nullptr;
    return clear ? calloc(1, size) : malloc(size);
}

void MemFree(void *block)
{
    free(block);
}

// The memblock library's query for other libraries (its commands are registered by
// OpenMemBlockLib, runtime/libraries.h).
#pragma once

#include <cstdint>

#include "runtime/handler_support.h"

// The number of memory blocks.
int CountMemBlocks(void);
// The size of a block: 0, 1180 (error number set) or 1041 for a handle.
int GetMemBlockSize(ObjectId id, int32_t *size);

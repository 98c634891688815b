// The memblock library's query for other libraries (its commands are registered by
// OpenMemBlockLib, runtime/libraries.h).
#pragma once

// The number of memory blocks.
int CountMemBlocks(void);

// Whole font files read through the file layer, and bounded big-endian reads from them.
#pragma once
#include <cstddef>
#include <cstdint>

// Reads a file (path or ":::chunk" name) of at most maxSize bytes into a new MemAlloc'd buffer.
// 1 with *data and *size, or 0 (missing, unreadable, empty or too large).
int ReadWholeFontFile(const char *name, size_t maxSize, uint8_t **data, size_t *size);

// Big-endian fields of a buffer: 1 with the value when offset + width lies inside, else 0.
int PeekBE16(const uint8_t *data, size_t size, uint64_t offset, uint32_t *value);
int PeekBE32(const uint8_t *data, size_t size, uint64_t offset, uint32_t *value);
// 1 when count bytes from offset lie inside size.
inline int InsideBuffer(size_t size, uint64_t offset, uint64_t count)
{
    return offset <= size && count <= size - offset;
}

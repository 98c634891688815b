// Whole font files and bounded big-endian reads.
#include "text/font_file.h"

#include "runtime/filelayer.h"
#include "runtime/memory.h"

int ReadWholeFontFile(const char *name, size_t maxSize, uint8_t **data, size_t *size)
{
    *data = nullptr;
    *size = 0;
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) return 0;
    FSeek(fh, 0, FSEEK_END);
    int64_t length = FSeek(fh, 0, FSEEK_START);
    if (length <= 0 || (uint64_t)length > maxSize) {
        FClose(fh);
        return 0;
    }
    uint8_t *buffer = (uint8_t *)MemAlloc((size_t)length, 0);
    if (!buffer || FRead(fh, buffer, (size_t)length) != (size_t)length) {
        MemFree(buffer);
        FClose(fh);
        return 0;
    }
    FClose(fh);
    *data = buffer;
    *size = (size_t)length;
    return 1;
}

int PeekBE16(const uint8_t *data, size_t size, uint64_t offset, uint32_t *value)
{
    if (!InsideBuffer(size, offset, 2)) return 0;
    *value = (uint32_t)data[offset] << 8 | data[offset + 1];
    return 1;
}

int PeekBE32(const uint8_t *data, size_t size, uint64_t offset, uint32_t *value)
{
    if (!InsideBuffer(size, offset, 4)) return 0;
    *value = (uint32_t)data[offset] << 24 | (uint32_t)data[offset + 1] << 16 | (uint32_t)data[offset + 2] << 8 |
             data[offset + 3];
    return 1;
}

#include "runtime/endian.h"

#include "runtime/filelayer.h"

static uint32_t GetByte(FileHandle *fh)
{
    return (uint32_t)FGetC(fh) & 0xff;
}

uint32_t ReadBE32(FileHandle *fh)
{
    uint32_t v = GetByte(fh) << 24;
    v |= GetByte(fh) << 16;
    v |= GetByte(fh) << 8;
    return v | GetByte(fh);
}

uint32_t ReadLE32(FileHandle *fh)
{
    uint32_t v = GetByte(fh);
    v |= GetByte(fh) << 8;
    v |= GetByte(fh) << 16;
    return v | GetByte(fh) << 24;
}

int16_t ReadBE16(FileHandle *fh)
{
    uint32_t v = GetByte(fh) << 8;
    return (int16_t)(uint16_t)(v | GetByte(fh));
}

int16_t ReadLE16(FileHandle *fh)
{
    uint32_t v = GetByte(fh);
    return (int16_t)(uint16_t)(v | GetByte(fh) << 8);
}

static int PutBytes(FileHandle *fh, const int *bytes, int n)
{
    int ok = 1;
    for (int i = 0; i < n; i++)
        if (FPutC(fh, bytes[i]) < 0) ok = 0;
    return ok;
}

int WriteBE32(FileHandle *fh, uint32_t v)
{
    const int b[4] = {(int)(v >> 24) & 0xff, (int)(v >> 16) & 0xff, (int)(v >> 8) & 0xff, (int)v & 0xff};
    return PutBytes(fh, b, 4);
}

int WriteLE32(FileHandle *fh, uint32_t v)
{
    const int b[4] = {(int)v & 0xff, (int)(v >> 8) & 0xff, (int)(v >> 16) & 0xff, (int)(v >> 24) & 0xff};
    return PutBytes(fh, b, 4);
}

int WriteBE16(FileHandle *fh, uint16_t v)
{
    const int b[2] = {(v >> 8) & 0xff, v & 0xff};
    return PutBytes(fh, b, 2);
}

int WriteLE16(FileHandle *fh, uint16_t v)
{
    const int b[2] = {v & 0xff, (v >> 8) & 0xff};
    return PutBytes(fh, b, 2);
}

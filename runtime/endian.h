// Big- and little-endian numbers in files, byte by byte through FGetC and FPutC.
// Readers past the end see -1 bytes; callers check FEof when the end matters.
#pragma once
#include <cstdint>

struct FileHandle;

uint32_t ReadBE32(FileHandle *fh);
uint32_t ReadLE32(FileHandle *fh);
int16_t ReadBE16(FileHandle *fh);
int16_t ReadLE16(FileHandle *fh);

// Each returns 1 when every byte was written, else 0.
int WriteBE32(FileHandle *fh, uint32_t value);
int WriteLE32(FileHandle *fh, uint32_t value);
int WriteBE16(FileHandle *fh, uint16_t value);
int WriteLE16(FileHandle *fh, uint16_t value);

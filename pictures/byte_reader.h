// Buffered byte reading over a FileHandle for the picture and animation readers: one block read
// through the file layer serves many single-byte reads. The handle's own position is only
// brought in line with the reader's by ByteReaderSync.
#pragma once
#include <cstddef>
#include <cstdint>

struct FileHandle;

enum { BYTE_READER_BLOCK = 16384 };

struct ByteReader {
  FileHandle *fh;
  int64_t base;    // file position of buf[0]
  size_t pos;      // next byte in buf
  size_t len;      // valid bytes in buf
  uint8_t buf[BYTE_READER_BLOCK];
};

// Starts at the handle's current position.
void ByteReaderInit(ByteReader *br, FileHandle *fh);
// The logical position in the file.
inline int64_t ByteReaderTell(const ByteReader *br) { return br->base + (int64_t)br->pos; }
// Refills the block; 0 at the end of the file.
int ByteReaderFill(ByteReader *br);
// One byte, or -1 at the end of the file.
inline int ByteReaderGet(ByteReader *br) {
  if (br->pos >= br->len && !ByteReaderFill(br)) return -1;
  return br->buf[br->pos++];
}
// Up to n bytes into dst (dst may be none: the bytes are passed over); the count read.
size_t ByteReaderRead(ByteReader *br, void *dst, size_t n);
// Moves to an absolute file position (clamped by the file layer to the file).
void ByteReaderSeek(ByteReader *br, int64_t position);
// Leaves the handle at the reader's logical position.
void ByteReaderSync(ByteReader *br);
// Big-endian numbers; bytes past the end read as 0.
uint32_t ByteReaderBE32(ByteReader *br);
uint32_t ByteReaderBE16(ByteReader *br);

// Buffered byte reading for the picture and animation readers.
#include "pictures/byte_reader.h"

#include <cstring>

#include "runtime/filelayer.h"

void ByteReaderInit(ByteReader *br, FileHandle *fh) {
  br->fh = fh;
  br->base = FSeek(fh, 0, FSEEK_CURRENT);
  br->pos = br->len = 0;
}

int ByteReaderFill(ByteReader *br) {
  br->base += (int64_t)br->len;
  br->pos = 0;
  br->len = FRead(br->fh, br->buf, sizeof br->buf);
  return br->len > 0;
}

size_t ByteReaderRead(ByteReader *br, void *dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (br->pos >= br->len && !ByteReaderFill(br)) break;
    size_t take = br->len - br->pos;
    if (take > n - done) take = n - done;
    if (dst) memcpy((uint8_t *)dst + done, br->buf + br->pos, take);
    br->pos += take;
    done += take;
  }
  return done;
}

void ByteReaderSeek(ByteReader *br, int64_t position) {
  if (position >= br->base && position <= br->base + (int64_t)br->len) {
    br->pos = (size_t)(position - br->base);
    return;
  }
  FSeek(br->fh, position, FSEEK_START);
  br->base = FSeek(br->fh, 0, FSEEK_CURRENT);
  br->pos = br->len = 0;
}

void ByteReaderSync(ByteReader *br) {
  FSeek(br->fh, ByteReaderTell(br), FSEEK_START);
  br->base = ByteReaderTell(br);
  br->pos = br->len = 0;
}

static uint32_t Byte(ByteReader *br) {
  int c = ByteReaderGet(br);
  return c < 0 ? 0 : (uint32_t)c;
}

uint32_t ByteReaderBE32(ByteReader *br) {
  uint32_t v = Byte(br) << 24;
  v |= Byte(br) << 16;
  v |= Byte(br) << 8;
  return v | Byte(br);
}
uint32_t ByteReaderBE16(ByteReader *br) {
  uint32_t v = Byte(br) << 8;
  return v | Byte(br);
}

// Windows BMP pictures: 1, 4, 8 or 24 bits a pixel, rows bottom-up, 8-bit pictures plain or RLE8.
#include <cstring>

#include "pictures/byte_reader.h"
#include "pictures/picture_readers.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

struct BmpHeader {
  uint32_t dataOffset, headerSize, compression, coloursUsed;
  int32_t width, height;
  int bits;
};

static bool ReadHeader(ByteReader *br, BmpHeader *hd) {
  uint8_t b[54];
  if (ByteReaderRead(br, b, sizeof b) != sizeof b || b[0] != 'B' || b[1] != 'M') return false;
  auto le32 = [&](int at) { return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24; };
  hd->dataOffset = le32(10);
  hd->headerSize = le32(14);
  hd->width = (int32_t)le32(18);
  hd->height = (int32_t)le32(22);
  hd->bits = b[28] | b[29] << 8;
  hd->compression = le32(30);
  hd->coloursUsed = le32(46);
  return true;
}

// Plain rows, the first stored row becoming the bottom one. Indexed pictures fill index bytes,
// 24-bit ones the output words. A row cut short by the end of the file is kept as far as it
// goes; the rows above it stay 0.
static int ReadPlainRows(ByteReader *br, const BmpHeader *hd, uint8_t *index, uint32_t *out) {
  const int32_t w = hd->width, h = hd->height;
  const size_t stored = hd->bits == 24 ? (size_t)w * 3 : ((size_t)w * (size_t)hd->bits + 7) / 8;
  const size_t stride = (stored + 3) & ~(size_t)3;
  uint8_t *row = (uint8_t *)MemAlloc(stride, 0);
  if (!row) return 1000;
  for (int32_t s = 0; s < h; s++) {
    memset(row, 0, stride);
    const size_t got = ByteReaderRead(br, row, stride);
    if (got == 0) break;
    const int32_t y = h - 1 - s;
    if (hd->bits == 24) {
      uint32_t *o = out + (size_t)y * (size_t)w;
      for (int32_t x = 0; x < w; x++) {
        const uint8_t *p = row + (size_t)x * 3;
        o[x] = (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
      }
    } else {
      uint8_t *o = index + (size_t)y * (size_t)w;
      for (int32_t x = 0; x < w; x++) {
        if (hd->bits == 8) o[x] = row[x];
        else if (hd->bits == 4) o[x] = (uint8_t)(x & 1 ? row[x >> 1] & 15 : row[x >> 1] >> 4);
        else o[x] = (uint8_t)(row[x >> 3] >> (7 - (x & 7)) & 1);
      }
    }
    if (got < stride) break;
  }
  MemFree(row);
  return 0;
}

// RLE8: counted runs and escapes (end of line, end of bitmap, delta, absolute runs), bounded by
// the real length of the file. Rows never reached stay index 0.
static int ReadRLE8(ByteReader *br, const BmpHeader *hd, int64_t fileLength, uint8_t *index) {
  const int32_t w = hd->width, h = hd->height;
  const int32_t rowLen = (w + 3) & ~3;
  uint8_t *row = (uint8_t *)MemAlloc((size_t)rowLen, 1);
  if (!row) return 1000;
  const int64_t limit = fileLength - (int64_t)hd->dataOffset;
  int64_t used = 0;
  int32_t cur = 0, x = 0;
  auto get = [&]() {
    used++;
    return ByteReaderGet(br);
  };
  auto store = [&]() {
    memcpy(index + (size_t)(h - 1 - cur) * (size_t)w, row, (size_t)w);
    memset(row, 0, (size_t)rowLen);
  };
  auto put = [&](int v) {
    if (x < rowLen) row[x] = (uint8_t)v;
    if (x <= rowLen) x++;
  };
  bool pending = false;  // the current row holds pixels not stored yet
  while (cur < h && used < limit) {
    const int c = get();
    if (c < 0) break;
    if (c > 0) {
      const int v = get();
      if (v < 0) break;
      for (int k = 0; k < c; k++) put(v);
      pending = true;
      continue;
    }
    const int e = get();
    if (e < 0) break;
    if (e == 0 || e == 1) {
      store();
      pending = false;
      cur++;
      x = 0;
      if (e == 1) break;
    } else if (e == 2) {
      const int dx = get(), dy = get();
      if (dx < 0 || dy < 0) break;
      if (dy > 0) {
        store();
        pending = false;
        cur += dy;
      }
      x = x + dx > rowLen ? rowLen : x + dx;
    } else {
      int k = 0;
      for (; k < e; k++) {
        const int v = get();
        if (v < 0) break;
        put(v);
      }
      if (k < e) break;
      if (e & 1) get();
      pending = true;
    }
  }
  if (pending && cur < h) store();
  MemFree(row);
  return 0;
}

static int DecodeBMP(FileHandle *fh, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palOut) {
  ByteReader *br = (ByteReader *)MemAlloc(sizeof(ByteReader), 0);
  if (!br) return 1000;
  ByteReaderInit(br, fh);
  BmpHeader hd;
  int err = 0;
  if (!ReadHeader(br, &hd)) err = 1358;
  else err = CheckPictureSize(hd.width, hd.height);  // top-down pictures (negative height) too
  if (!err && ((hd.bits != 1 && hd.bits != 4 && hd.bits != 8 && hd.bits != 24) || hd.compression > 1)) err = 1358;
  if (err || !pixels) {
    MemFree(br);
    if (!err) {
      *width = hd.width;
      *height = hd.height;
    }
    return err;
  }

  const size_t count = (size_t)hd.width * (size_t)hd.height;
  const bool indexed = hd.bits <= 8;
  uint32_t *out = (uint32_t *)MemAlloc(count * 4, 1);
  uint8_t *index = indexed ? (uint8_t *)MemAlloc(count, 1) : nullptr;
  uint32_t *table = indexed ? (uint32_t *)MemAlloc(256 * 4, 1) : nullptr;
  if (!out || (indexed && (!index || !table))) err = 1000;
  if (!err) {
    ByteReaderSeek(br, hd.dataOffset);
    if (hd.bits == 8 && hd.compression == 1) err = ReadRLE8(br, &hd, fh->size, index);
    else err = ReadPlainRows(br, &hd, index, out);
  }
  if (!err && indexed) {
    // The palette stands behind the information header, whatever its size.
    uint32_t n = hd.coloursUsed ? hd.coloursUsed : 1u << hd.bits;
    if (n > 256) n = 256;
    ByteReaderSeek(br, 14 + (int64_t)hd.headerSize);
    for (uint32_t i = 0; i < n; i++) {
      uint8_t q[4];
      if (ByteReaderRead(br, q, 4) != 4) break;
      table[i] = (uint32_t)q[2] << 16 | (uint32_t)q[1] << 8 | q[0];
    }
    for (size_t i = 0; i < count; i++) out[i] = table[index[i]];
  }
  MemFree(br);
  MemFree(index);
  if (err) {
    MemFree(out);
    MemFree(table);
    return err;
  }
  if (palOut) *palOut = table;
  else MemFree(table);
  *pixels = out;
  *width = hd.width;
  *height = hd.height;
  return 0;
}

int ReadBMP(const char *name, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palette) {
  return ReadPictureFile(name, DecodeBMP, width, height, pixels, palette);
}

// IFF chunk search, BODY readers and planar pixel conversion shared by the ILBM and ANIM readers.
#include "pictures/iff_planar.h"

#include <cstring>

#include "pictures/byte_reader.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

static uint32_t FourCC(const char id[4]) {
  return (uint32_t)(uint8_t)id[0] << 24 | (uint32_t)(uint8_t)id[1] << 16 | (uint32_t)(uint8_t)id[2] << 8 |
         (uint8_t)id[3];
}

// The readers are heap records: a block buffer is too large for every caller's stack.
static ByteReader *NewReader(FileHandle *fh) {
  ByteReader *br = (ByteReader *)MemAlloc(sizeof(ByteReader), 0);
  if (br) ByteReaderInit(br, fh);
  return br;
}

void ParseBMHD(const uint8_t *b, IffBitmapHeader *hd) {
  hd->width = b[0] << 8 | b[1];
  hd->height = b[2] << 8 | b[3];
  hd->planes = b[8];
  hd->masking = b[9];
  hd->compression = b[10];
}

bool FindIFFChunk(FileHandle *fh, const char id[4]) {
  const uint32_t want = FourCC(id), body = FourCC("BODY");
  ByteReader *br = NewReader(fh);
  if (!br) return false;
  bool found = false;
  for (int scan = 0; scan < 2 && !found; scan++) {
    if (fh->size >= 0 && ByteReaderTell(br) >= fh->size) ByteReaderSeek(br, 12);
    uint32_t window = 0;
    int seen = 0, stop = 0;
    for (;;) {
      const int c = ByteReaderGet(br);
      if (c < 0) break;
      window = window << 8 | (uint32_t)c;
      if (++seen < 4) continue;
      if (window == want) {
        found = true;
        break;
      }
      if (window == body) {
        ByteReaderSeek(br, ByteReaderTell(br) - 4);
        stop = 1;
        break;
      }
    }
    if (stop) break;
  }
  ByteReaderSync(br);
  MemFree(br);
  return found;
}

bool UnpackByteRun1Row(ByteReader *br, uint8_t *dst, size_t n) {
  size_t got = 0;
  while (got < n) {
    const int c = ByteReaderGet(br);
    if (c < 0) return false;
    const int8_t control = (int8_t)c;
    if (control >= 0) {
      const size_t count = (size_t)control + 1, take = count < n - got ? count : n - got;
      if (ByteReaderRead(br, dst ? dst + got : nullptr, take) != take) return false;
      if (count > take && ByteReaderRead(br, nullptr, count - take) != count - take) return false;
      got += take;
    } else if (control != -128) {
      const int v = ByteReaderGet(br);
      if (v < 0) return false;
      const size_t count = (size_t)(1 - control), take = count < n - got ? count : n - got;
      if (dst) memset(dst + got, v, take);
      got += take;
    }
  }
  return true;
}

static bool ReadBody(FileHandle *fh, uint8_t *planes, int32_t width, int32_t height, int32_t nPlanes, int masking,
                     bool packed) {
  ByteReader *br = NewReader(fh);
  if (!br) return false;
  const size_t rowBytes = (size_t)PlaneRowBytes(width);
  bool complete = true;
  for (int32_t y = 0; y < height && complete; y++) {
    for (int32_t p = 0; p <= nPlanes && complete; p++) {
      uint8_t *dst = nullptr;
      if (p < nPlanes) dst = planes + ((size_t)p * (size_t)height + (size_t)y) * rowBytes;
      else if (masking != 1) break;
      if (packed) complete = UnpackByteRun1Row(br, dst, rowBytes);
      else complete = ByteReaderRead(br, dst, rowBytes) == rowBytes;
    }
  }
  ByteReaderSync(br);
  MemFree(br);
  return complete;
}

bool ReadBodyPlain(FileHandle *fh, uint8_t *planes, int32_t width, int32_t height, int32_t nPlanes, int masking) {
  return ReadBody(fh, planes, width, height, nPlanes, masking, false);
}

bool ReadBodyByteRun1(FileHandle *fh, uint8_t *planes, int32_t width, int32_t height, int32_t nPlanes,
                      int masking) {
  return ReadBody(fh, planes, width, height, nPlanes, masking, true);
}

size_t PackByteRun1(const uint8_t *src, size_t n, uint8_t *dst) {
  if (n == 0) return 0;
  size_t out = 0;
  size_t start = 0, length = 1;  // the open packet: src[start .. start + length)
  size_t equalRun = 1;           // equal bytes at the end of an open literal
  bool run = false;
  auto putLiteral = [&](size_t from, size_t count) {
    dst[out++] = (uint8_t)(count - 1);
    memcpy(dst + out, src + from, count);
    out += count;
  };
  auto putRun = [&](uint8_t value, size_t count) {
    dst[out++] = (uint8_t)(int8_t)(1 - (int)count);
    dst[out++] = value;
  };
  for (size_t i = 1; i < n; i++) {
    const uint8_t c = src[i];
    if (!run) {
      if (length == 128) {
        putLiteral(start, 128);
        start = i;
        length = equalRun = 1;
        continue;
      }
      length++;
      if (c != src[i - 1]) {
        equalRun = 1;
        continue;
      }
      equalRun++;
      if (equalRun == length || equalRun >= 3) {
        if (length > equalRun) putLiteral(start, length - equalRun);
        start = i + 1 - equalRun;
        length = equalRun;
        run = true;
      }
    } else if (c != src[start] || length == 128) {
      putRun(src[start], length);
      start = i;
      length = equalRun = 1;
      run = false;
    } else {
      length++;
    }
  }
  if (run) putRun(src[start], length);
  else putLiteral(start, length);
  return out;
}

// Byte i of Spread[b] is bit (7 - i) of b: the eight pixels of a plane byte, one a byte.
struct SpreadTable {
  uint64_t v[256];
  SpreadTable() {
    for (int b = 0; b < 256; b++) {
      uint64_t s = 0;
      for (int i = 0; i < 8; i++) s |= (uint64_t)((b >> (7 - i)) & 1) << (8 * i);
      v[b] = s;
    }
  }
};
static const SpreadTable kSpread;

void PlanarToChunky(const uint8_t *planes, int32_t width, int32_t height, int32_t nPlanes, int32_t rowBytes,
                    uint8_t *out, int32_t outRowLength) {
  const size_t planeSize = (size_t)rowBytes * (size_t)height;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *row = planes + (size_t)y * (size_t)rowBytes;
    uint8_t *o = out + (size_t)y * (size_t)outRowLength;
    for (int32_t x = 0; x < width; x += 8) {
      uint64_t acc = 0;
      const uint8_t *p = row + (x >> 3);
      for (int32_t k = 0; k < nPlanes; k++, p += planeSize) acc |= kSpread.v[*p] << k;
      const int32_t n = width - x < 8 ? width - x : 8;
      for (int32_t i = 0; i < n; i++) o[x + i] = (uint8_t)(acc >> (8 * i));
    }
  }
}

void Planar24ToRGB(const uint8_t *planes, int32_t width, int32_t height, int32_t rowBytes, uint32_t *out) {
  const size_t planeSize = (size_t)rowBytes * (size_t)height;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *row = planes + (size_t)y * (size_t)rowBytes;
    uint32_t *o = out + (size_t)y * (size_t)width;
    for (int32_t x = 0; x < width; x += 8) {
      uint64_t c[3] = {0, 0, 0};
      const uint8_t *p = row + (x >> 3);
      for (int ch = 0; ch < 3; ch++)
        for (int k = 0; k < 8; k++, p += planeSize) c[ch] |= kSpread.v[*p] << k;
      const int32_t n = width - x < 8 ? width - x : 8;
      for (int32_t i = 0; i < n; i++) {
        const int s = 8 * i;
        o[x + i] = (uint32_t)(uint8_t)(c[0] >> s) << 16 | (uint32_t)(uint8_t)(c[1] >> s) << 8 | (uint8_t)(c[2] >> s);
      }
    }
  }
}

void ChunkyToRGB(const uint8_t *index, uint32_t *out, const uint32_t *palette, int32_t width, int32_t height) {
  const size_t n = (size_t)width * (size_t)height;
  for (size_t i = 0; i < n; i++) out[i] = palette[index[i]];
}

// bits: 4 for HAM6, 6 for HAM8; a component value v becomes v << (8 - bits).
static void DecodeHAMRows(const uint8_t *index, uint32_t *out, const uint32_t *palette, int32_t width,
                          int32_t height, int bits) {
  const uint32_t low = (1u << bits) - 1;
  for (int32_t y = 0; y < height; y++) {
    uint32_t r = 0, g = 0, b = 0;
    const uint8_t *in = index + (size_t)y * (size_t)width;
    uint32_t *o = out + (size_t)y * (size_t)width;
    for (int32_t x = 0; x < width; x++) {
      const uint32_t v = in[x] & low;
      switch ((in[x] >> bits) & 3) {
        case 0: {
          const uint32_t c = palette[v];
          r = c >> 16 & 0xFF;
          g = c >> 8 & 0xFF;
          b = c & 0xFF;
          break;
        }
        case 1: b = v << (8 - bits); break;
        case 2: r = v << (8 - bits); break;
        default: g = v << (8 - bits); break;
      }
      o[x] = r << 16 | g << 8 | b;
    }
  }
}

void DecodeHAM6Rows(const uint8_t *index, uint32_t *out, const uint32_t *palette, int32_t width, int32_t height) {
  DecodeHAMRows(index, out, palette, width, height, 4);
}

void DecodeHAM8Rows(const uint8_t *index, uint32_t *out, const uint32_t *palette, int32_t width, int32_t height) {
  DecodeHAMRows(index, out, palette, width, height, 6);
}

void ExtraHalfBrite(uint32_t *palette) {
  for (int i = 0; i < 32; i++) palette[32 + i] = (palette[i] >> 1) & 0x7F7F7F;
}

int ReadCMAPEntries(ByteReader *br, uint32_t size, uint32_t *palette) {
  const uint32_t entries = size / 3;
  uint32_t i = 0;
  for (; i < entries && i < 256; i++) {
    uint8_t rgb[3];
    if (ByteReaderRead(br, rgb, 3) != 3) break;
    palette[i] = (uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2];
  }
  if (entries > 256) ByteReaderRead(br, nullptr, (size_t)(entries - 256) * 3);
  return (int)i;
}

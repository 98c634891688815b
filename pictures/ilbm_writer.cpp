// Writes 32-bit pixels as a 24-plane IFF ILBM with ByteRun1 compression and no CMAP or CAMG.
#include <cstring>

#include "pictures/iff_planar.h"
#include "pictures/picture_readers.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

static void PutBE32(uint8_t *p, uint32_t v) {
  p[0] = (uint8_t)(v >> 24);
  p[1] = (uint8_t)(v >> 16);
  p[2] = (uint8_t)(v >> 8);
  p[3] = (uint8_t)v;
}
static void PutBE16(uint8_t *p, uint32_t v) {
  p[0] = (uint8_t)(v >> 8);
  p[1] = (uint8_t)v;
}

// One picture row split into 24 plane rows: bit k of red goes to plane k, of green to 8 + k, of
// blue to 16 + k; bits past the width stay 0.
static void SplitRow(const uint32_t *row, int32_t width, int32_t rowBytes, uint8_t *planes) {
  memset(planes, 0, (size_t)rowBytes * 24);
  for (int32_t x = 0; x < width; x++) {
    const uint32_t c = row[x];
    const uint32_t rgb[3] = {c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF};
    const uint8_t bit = (uint8_t)(0x80 >> (x & 7));
    for (int ch = 0; ch < 3; ch++)
      for (int k = 0; k < 8; k++)
        if (rgb[ch] >> k & 1) planes[(size_t)(ch * 8 + k) * (size_t)rowBytes + (size_t)(x >> 3)] |= bit;
  }
}

static bool WriteAll(FileHandle *fh, const void *data, size_t n) { return FWrite(fh, data, n) == n; }

// The whole file behind an open handle; false when a write fails.
static int WriteILBMFile(FileHandle *fh, const uint32_t *pixels, int32_t width, int32_t height, uint8_t *planes,
                         uint8_t *packed) {
  uint8_t hd[48] = {};
  memcpy(hd, "FORM", 4);
  memcpy(hd + 8, "ILBMBMHD", 8);
  PutBE32(hd + 16, 20);
  PutBE16(hd + 20, (uint32_t)width);
  PutBE16(hd + 22, (uint32_t)height);
  hd[28] = 24;  // planes; masking 0
  hd[30] = 1;   // ByteRun1
  hd[34] = hd[35] = 1;
  PutBE16(hd + 36, (uint32_t)width);
  PutBE16(hd + 38, (uint32_t)height);
  memcpy(hd + 40, "BODY", 4);
  if (!WriteAll(fh, hd, sizeof hd)) return 0;

  const int32_t rowBytes = PlaneRowBytes(width);
  uint64_t body = 0;
  for (int32_t y = 0; y < height; y++) {
    SplitRow(pixels + (size_t)y * (size_t)width, width, rowBytes, planes);
    for (int p = 0; p < 24; p++) {
      const size_t n = PackByteRun1(planes + (size_t)p * (size_t)rowBytes, (size_t)rowBytes, packed);
      if (!WriteAll(fh, packed, n)) return 0;
      body += n;
    }
  }
  // Above 4 GB the chunk sizes would wrap: 65535 x 65535 pictures of noise could get there.
  if (body + 41 > 0xFFFFFFFFu) return 0;
  if ((body & 1) && FPutC(fh, 0) < 0) return 0;
  uint8_t size[4];
  PutBE32(size, (uint32_t)(40 + body + (body & 1)));
  FSeek(fh, 4, FSEEK_START);
  if (!WriteAll(fh, size, 4)) return 0;
  PutBE32(size, (uint32_t)body);
  FSeek(fh, 44, FSEEK_START);
  return WriteAll(fh, size, 4);
}

int WriteILBM(const char *name, const uint32_t *pixels, int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > 65535 || height > 65535 || !pixels) return 1055;
  const int32_t rowBytes = PlaneRowBytes(width);
  uint8_t *planes = (uint8_t *)MemAlloc((size_t)rowBytes * 24, 0);
  uint8_t *packed = (uint8_t *)MemAlloc(MaxByteRun1Size((size_t)rowBytes), 0);
  if (!planes || !packed) {
    MemFree(planes);
    MemFree(packed);
    return 1000;
  }
  // A save over an older file replaces it only once the new one is whole.
  int err = 0;
  FileHandle *fh = FOpen(name, FMODE_REPLACE);
  if (!fh) {
    SetErrorString(name);
    err = 1052;
  } else if (!FCloseSave(fh, WriteILBMFile(fh, pixels, width, height, planes, packed))) {
    err = 1005;
  }
  MemFree(planes);
  MemFree(packed);
  return err;
}

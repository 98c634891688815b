// GIF89a writer with a hashed LZW string table.
#include "pictures/gif_writer.h"

#include <cstring>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

enum { GIF_HASH_SIZE = 5003, GIF_OUT_BUFFER = 32768 };

struct GifWriter {
  FileHandle *file;
  int32_t width, height;
  int32_t framesWritten;
  int failed;          // a write failed: the file is incomplete
  int havePrevious;    // previous holds the screen
  // The colours the previous frames left on the screen (optimize). Colours rather than indexes:
  // every frame has its own palette, and pixels outside a frame's rectangle keep the colours of
  // older frames.
  uint32_t *previous;
  // LZW string table: key (prefix << 8 | byte) + 1, 0 for an empty slot, and the key's code.
  int32_t hashKey[GIF_HASH_SIZE];
  uint16_t hashCode[GIF_HASH_SIZE];
  // Output: bytes waiting for the file, and the data sub-block being filled.
  size_t outLength;
  uint8_t out[GIF_OUT_BUFFER];
  uint8_t block[256];
};

static void Flush(GifWriter *w) {
  if (w->outLength && FWrite(w->file, w->out, w->outLength) != w->outLength) w->failed = 1;
  w->outLength = 0;
}

static void Put(GifWriter *w, const void *data, size_t n) {
  if (w->outLength + n > sizeof w->out) Flush(w);
  memcpy(w->out + w->outLength, data, n);
  w->outLength += n;
}

static void PutByte(GifWriter *w, uint8_t b) { Put(w, &b, 1); }
static void PutLE16(GifWriter *w, uint32_t v) {
  const uint8_t b[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
  Put(w, b, 2);
}

int GifWriterOpen(const char *name, int32_t width, int32_t height, GifWriter **writer) {
  *writer = nullptr;
  if (width < 1 || height < 1 || width > 65535 || height > 65535) return 1055;
  GifWriter *w = (GifWriter *)MemAlloc(sizeof(GifWriter), 1);
  if (!w) return 1000;
  w->file = FOpen(name, FMODE_REPLACE);
  if (!w->file) {
    MemFree(w);
    SetErrorString(name);
    return 1052;
  }
  w->width = width;
  w->height = height;
  Put(w, "GIF89a", 6);
  PutLE16(w, (uint32_t)width);
  PutLE16(w, (uint32_t)height);
  const uint8_t screen[3] = {0xF7, 0, 0};  // a 256-entry global table the frames never use
  Put(w, screen, 3);
  uint8_t global[768] = {};
  memcpy(global, "Amiga rules!", 12);
  Put(w, global, sizeof global);
  Flush(w);
  if (w->failed) {
    GifWriterDiscard(w);
    return 1005;
  }
  *writer = w;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// LZW

// Encodes the rectangle's pixels, rows `stride` bytes apart, as LZW data sub-blocks. The bit
// accumulator and the block fill level are locals, so they stay in registers.
static void EncodeLZW(GifWriter *w, const uint8_t *pixels, int32_t stride, int32_t rw, int32_t rh, int bits) {
  const int minSize = bits < 2 ? 2 : bits;
  const uint32_t clear = 1u << minSize, end = clear + 1, pixelMask = clear - 1;
  PutByte(w, (uint8_t)minSize);
  uint64_t acc = 0;
  int accBits = 0, blockLength = 0;
  uint8_t *block = w->block;
  int32_t *hashKey = w->hashKey;
  uint16_t *hashCode = w->hashCode;
  int width = minSize + 1;
  auto send = [&](uint32_t code) {
    acc |= (uint64_t)code << accBits;
    accBits += width;
    while (accBits >= 8) {
      block[1 + blockLength++] = (uint8_t)acc;
      acc >>= 8;
      accBits -= 8;
      if (blockLength == 254) {
        block[0] = 254;
        Put(w, block, 255);
        blockLength = 0;
      }
    }
  };
  uint32_t maxCode = (1u << width) - 1, freeCode = clear + 2;
  memset(hashKey, 0, sizeof w->hashKey);
  send(clear);
  uint32_t cur = pixels[0] & pixelMask;
  for (int32_t y = 0; y < rh; y++) {
    const uint8_t *row = pixels + (size_t)y * (size_t)stride;
    for (int32_t x = y == 0 ? 1 : 0; x < rw; x++) {
      const uint32_t c = row[x] & pixelMask;
      const int32_t key = (int32_t)(cur << 8 | c) + 1;
      int32_t h = (int32_t)(c << 4) + (int32_t)cur;
      if (h >= GIF_HASH_SIZE) h -= GIF_HASH_SIZE;
      int32_t k = hashKey[h];
      if (k == key) {
        cur = hashCode[h];
        continue;
      }
      if (k != 0) {
        const int32_t step = h == 0 ? 1 : GIF_HASH_SIZE - h;
        do {
          h -= step;
          if (h < 0) h += GIF_HASH_SIZE;
          k = hashKey[h];
        } while (k != 0 && k != key);
        if (k == key) {
          cur = hashCode[h];
          continue;
        }
      }
      send(cur);
      if (maxCode < freeCode && width < 12) {
        width++;
        maxCode = width == 12 ? 4096 : (1u << width) - 1;
      }
      if (freeCode < 4096) {
        hashKey[h] = key;
        hashCode[h] = (uint16_t)freeCode++;
      } else {
        memset(hashKey, 0, sizeof w->hashKey);
        send(clear);
        width = minSize + 1;
        maxCode = (1u << width) - 1;
        freeCode = clear + 2;
      }
      cur = c;
    }
  }
  send(cur);
  if (maxCode < freeCode && width < 12) width++;
  send(end);
  if (accBits > 0) {
    block[1 + blockLength++] = (uint8_t)acc;
    if (blockLength == 254) {
      block[0] = 254;
      Put(w, block, 255);
      blockLength = 0;
    }
  }
  if (blockLength) {
    block[0] = (uint8_t)blockLength;
    Put(w, block, (size_t)blockLength + 1);
  }
  PutByte(w, 0);
}

// ---------------------------------------------------------------------------------------------
// Frames

// The bounding box of the pixels whose colour differs from the previous frame's; false when
// nothing changed.
static bool ChangedBox(const GifWriter *w, const uint8_t *indices, const uint32_t *palette, int32_t *x0, int32_t *y0,
                       int32_t *x1, int32_t *y1) {
  const int32_t W = w->width, H = w->height;
  auto same = [&](size_t i) { return w->previous[i] == palette[indices[i]]; };
  *y0 = -1;
  for (int32_t y = 0; y < H && *y0 < 0; y++)
    for (int32_t x = 0; x < W; x++)
      if (!same((size_t)y * W + x)) {
        *y0 = y;
        break;
      }
  if (*y0 < 0) return false;
  *y1 = *y0;
  for (int32_t y = H - 1; y > *y0; y--) {
    bool changed = false;
    for (int32_t x = 0; x < W && !changed; x++) changed = !same((size_t)y * W + x);
    if (changed) {
      *y1 = y;
      break;
    }
  }
  *x0 = W;
  *x1 = -1;
  for (int32_t y = *y0; y <= *y1; y++) {
    for (int32_t x = 0; x < *x0; x++)
      if (!same((size_t)y * W + x)) {
        *x0 = x;
        break;
      }
    for (int32_t x = W - 1; x > *x1; x--)
      if (!same((size_t)y * W + x)) {
        *x1 = x;
        break;
      }
  }
  return true;
}

int GifWriterAddFrame(GifWriter *w, uint8_t *indices, int32_t width, int32_t height, int32_t delay, uint32_t *palette,
                      int32_t colours, int32_t transparentIndex, int optimize) {
  if (!w || width != w->width || height != w->height || colours < 1 || colours > 256 || transparentIndex > 255)
    return 1055;
  if (w->failed) return 1005;
  const int32_t W = w->width, H = w->height;
  if (optimize && !w->previous) {
    w->previous = (uint32_t *)MemAlloc((size_t)W * (size_t)H * 4, 0);
    if (!w->previous) return 1000;
  }
  for (int i = colours; i < 256; i++) palette[i] = 0xFFFFFFFF;
  int bits = 1;
  while ((1 << bits) < colours) bits++;
  const int32_t slot = transparentIndex >= 0 ? transparentIndex : colours - 1;

  // Graphic control: disposal 2 with a given transparent index, else 1; transparency always on;
  // the delay in hundredths, within its 16 bits.
  const int32_t hundredths = delay < 0 ? 0 : delay / 10 > 65535 ? 65535 : delay / 10;
  const uint8_t gce[8] = {0x21, 0xF9, 4, (uint8_t)(transparentIndex >= 0 ? 0x09 : 0x05), (uint8_t)hundredths,
                          (uint8_t)(hundredths >> 8), (uint8_t)slot, 0};
  Put(w, gce, sizeof gce);
  if (w->framesWritten == 0) {
    static const uint8_t loop[19] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                     'E',  '2',  '.',  '0', 3,   1,   0,   0,   0};
    Put(w, loop, sizeof loop);
  }

  int32_t x0 = 0, y0 = 0, rw = W, rh = H;
  const bool boxed = optimize && w->havePrevious && transparentIndex < 0;
  if (boxed) {
    int32_t x1, y1;
    if (ChangedBox(w, indices, palette, &x0, &y0, &x1, &y1)) {
      rw = x1 - x0 + 1;
      rh = y1 - y0 + 1;
    } else {
      x0 = y0 = 0;
      rw = rh = 1;
    }
    // Unchanged pixels become the transparent slot; changed ones are the screen's new colours.
    for (int32_t y = y0; y < y0 + rh; y++)
      for (int32_t x = x0; x < x0 + rw; x++) {
        const size_t i = (size_t)y * W + x;
        const uint32_t c = palette[indices[i]];
        if (w->previous[i] == c) indices[i] = (uint8_t)(colours - 1);
        else w->previous[i] = c;
      }
  } else if (w->previous) {
    // A whole frame: once optimizing has begun every frame is remembered, so a frame written
    // without optimize in between leaves no stale screen behind.
    for (size_t i = 0; i < (size_t)W * (size_t)H; i++) w->previous[i] = palette[indices[i]];
  }
  // A frame with a given transparent index has disposal 2: once shown, its rectangle goes back
  // to the background, which readers show in ways of their own (most as transparent). So the
  // next frame is not drawn against it but written whole.
  w->havePrevious = w->previous && transparentIndex < 0;

  uint8_t desc[10] = {0x2C, (uint8_t)x0, (uint8_t)(x0 >> 8), (uint8_t)y0, (uint8_t)(y0 >> 8),
                      (uint8_t)rw,  (uint8_t)(rw >> 8), (uint8_t)rh, (uint8_t)(rh >> 8), (uint8_t)(0x80 | (bits - 1))};
  Put(w, desc, sizeof desc);
  uint8_t table[768];
  for (int i = 0; i < (1 << bits); i++) {
    table[3 * i] = (uint8_t)(palette[i] >> 16);
    table[3 * i + 1] = (uint8_t)(palette[i] >> 8);
    table[3 * i + 2] = (uint8_t)palette[i];
  }
  Put(w, table, (size_t)3 << bits);
  EncodeLZW(w, indices + (size_t)y0 * W + x0, W, rw, rh, bits);
  Flush(w);

  w->framesWritten++;
  return w->failed ? 1005 : 0;
}

// Puts the file in place (keep set and every write done) or gives it up; frees the writer.
static int EndWriter(GifWriter *w, int keep) {
  if (!FCloseSave(w->file, keep && !w->failed)) w->failed = 1;
  const int err = w->failed ? 1005 : 0;
  MemFree(w->previous);
  MemFree(w);
  return err;
}

int GifWriterClose(GifWriter *w) {
  if (!w) return 0;
  PutByte(w, 0x3B);
  Flush(w);
  return EndWriter(w, 1);
}

void GifWriterDiscard(GifWriter *w) {
  if (w) EndWriter(w, 0);
}

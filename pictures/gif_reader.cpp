// GIF decoder: frame scan, LZW decoding onto a screen-sized canvas, disposal methods, random
// access through key frames, and the first frame as a still picture.
#include "pictures/gif_reader.h"

#include <algorithm>
#include <cstring>

#include "pictures/byte_reader.h"
#include "pictures/picture_readers.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

struct GifFrameEntry {
  int64_t position;  // where the frame's blocks begin, its extensions included
  int32_t delay;     // hundredths of a second
  uint8_t keyFrame;  // covers the whole screen opaquely and is not restored afterwards
};

struct GifReader {
  FileHandle *file;
  ByteReader *br;
  int32_t width, height;
  uint32_t globalPalette[256];
  uint32_t localPalette[256];
  const uint32_t *palette;
  uint32_t *canvas;
  uint32_t *saved;  // allocated with the first frame of disposal 3
  int32_t backgroundIndex;
  int32_t nextFrame;  // frame the file is positioned at; -1: the canvas must be rebuilt
  int32_t frameCount;
  int64_t dataStart;
  GifFrameEntry *frames;
  int32_t capacity;
  // The frame being decoded.
  int32_t disposal, left, top, frameWidth, frameHeight, transparentIndex, delay;
  // Still picture: transparent pixels of the first frame come out in its transparent colour.
  int still;
  int32_t keyColour;
  // LZW string table: every code's prefix, last byte, first byte and length.
  uint16_t prefix[4096];
  uint16_t length[4096];
  uint8_t suffix[4096];
  uint8_t first[4096];
  uint8_t stack[4097];
  uint8_t row[65536];  // one row of the frame being decoded
};

static void FillWords(uint32_t *p, size_t n, uint32_t v) { std::fill(p, p + n, v); }

// The frame rectangle clipped to the screen; false when nothing of it is on the screen.
static bool ClipFrame(const GifReader *r, int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1) {
  *x0 = std::min(r->left, r->width);
  *y0 = std::min(r->top, r->height);
  *x1 = (int32_t)std::min<int64_t>((int64_t)r->left + r->frameWidth, r->width);
  *y1 = (int32_t)std::min<int64_t>((int64_t)r->top + r->frameHeight, r->height);
  return *x0 < *x1 && *y0 < *y1;
}

static void ApplyDisposal(GifReader *r) {
  int32_t x0, y0, x1, y1;
  if (!ClipFrame(r, &x0, &y0, &x1, &y1)) return;
  const size_t w = (size_t)(x1 - x0);
  if (r->disposal == 2) {
    const uint32_t c = r->palette[r->transparentIndex >= 0 ? r->transparentIndex : r->backgroundIndex];
    for (int32_t y = y0; y < y1; y++) FillWords(r->canvas + (size_t)y * (size_t)r->width + (size_t)x0, w, c);
  } else if (r->disposal == 3 && r->saved) {
    for (int32_t y = y0; y < y1; y++) {
      const size_t at = (size_t)y * (size_t)r->width + (size_t)x0;
      memcpy(r->canvas + at, r->saved + at, w * 4);
    }
  }
}

static bool SaveFrameArea(GifReader *r) {
  if (!r->saved) r->saved = (uint32_t *)MemAlloc((size_t)r->width * (size_t)r->height * 4, 0);
  if (!r->saved) return false;
  int32_t x0, y0, x1, y1;
  if (!ClipFrame(r, &x0, &y0, &x1, &y1)) return true;
  for (int32_t y = y0; y < y1; y++) {
    const size_t at = (size_t)y * (size_t)r->width + (size_t)x0;
    memcpy(r->saved + at, r->canvas + at, (size_t)(x1 - x0) * 4);
  }
  return true;
}

// Passes over data sub-blocks up to the terminator (or the end of the file).
static void SkipSubBlocks(ByteReader *br) {
  for (;;) {
    const int n = ByteReaderGet(br);
    if (n <= 0 || ByteReaderRead(br, nullptr, (size_t)n) != (size_t)n) return;
  }
}

// Row state of the frame being decoded: rows arrive in file order and go to the canvas.
struct RowCursor {
  int32_t filled;  // indices in r->row
  int32_t rowsDone;
  int32_t y;       // frame row the next complete row belongs to
  int32_t pass;    // interlace pass, -1 when not interlaced
};

static void PutRow(GifReader *r, RowCursor *rc) {
  static const int32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int64_t y = (int64_t)r->top + rc->y;
  if (y < r->height && r->left < r->width) {
    const int32_t x0 = r->left;
    const int32_t x1 = (int32_t)std::min<int64_t>((int64_t)r->left + r->frameWidth, r->width);
    uint32_t *out = r->canvas + (size_t)y * (size_t)r->width + x0;
    const uint8_t *in = r->row + (x0 - r->left);
    const uint32_t *pal = r->palette;
    const int t = r->transparentIndex;
    const int32_t n = x1 - x0;
    if (t < 0) {
      for (int32_t i = 0; i < n; i++) out[i] = pal[in[i]];
    } else {
      for (int32_t i = 0; i < n; i++)
        if (in[i] != t) out[i] = pal[in[i]];
    }
  }
  rc->filled = 0;
  rc->rowsDone++;
  if (rc->pass < 0) {
    rc->y++;
    return;
  }
  rc->y += kStep[rc->pass];
  while (rc->y >= r->frameHeight && rc->pass < 3) {
    rc->pass++;
    rc->y = kStart[rc->pass];
  }
}

// Appends n indices to the frame's rows; indices past the last row are dropped.
static void PutIndices(GifReader *r, RowCursor *rc, const uint8_t *src, int32_t n) {
  while (n > 0 && rc->rowsDone < r->frameHeight) {
    const int32_t take = std::min(n, r->frameWidth - rc->filled);
    memcpy(r->row + rc->filled, src, (size_t)take);
    rc->filled += take;
    src += take;
    n -= take;
    if (rc->filled == r->frameWidth) PutRow(r, rc);
  }
}

// Appends the string of a code.
static void PutString(GifReader *r, RowCursor *rc, int code) {
  const int32_t len = r->length[code];
  if (len <= r->frameWidth - rc->filled) {
    // Straight into the row, last byte first.
    uint8_t *p = r->row + rc->filled + len - 1;
    while (p > r->row + rc->filled) {
      *p-- = r->suffix[code];
      code = r->prefix[code];
    }
    *p = r->suffix[code];
    rc->filled += len;
    if (rc->filled == r->frameWidth) PutRow(r, rc);
    return;
  }
  uint8_t *p = r->stack + len;
  for (int32_t i = 0; i < len; i++) {
    *--p = r->suffix[code];
    code = r->prefix[code];
  }
  PutIndices(r, rc, p, len);
}

// Decodes the LZW data of one image onto the canvas. False for broken data.
static bool DecodeImage(GifReader *r, bool interlaced) {
  ByteReader *br = r->br;
  const int minSize = ByteReaderGet(br);
  if (minSize < 1 || minSize > 8) return false;
  RowCursor rc = {0, 0, 0, interlaced ? 0 : -1};
  if (r->frameWidth == 0 || r->frameHeight == 0) {
    SkipSubBlocks(br);
    return true;
  }
  const int clear = 1 << minSize, end = clear + 1;
  for (int i = 0; i < clear; i++) {
    r->suffix[i] = r->first[i] = (uint8_t)i;
    r->length[i] = 1;
    r->prefix[i] = 0;
  }
  int nextFree = clear + 2, width = minSize + 1, prev = -1;
  uint32_t acc = 0;
  int bits = 0, blockLeft = 0;
  while (rc.rowsDone < r->frameHeight) {
    while (bits < width) {
      if (blockLeft == 0) {
        blockLeft = ByteReaderGet(br);
        if (blockLeft <= 0) return false;
      }
      const int b = ByteReaderGet(br);
      if (b < 0) return false;
      blockLeft--;
      acc |= (uint32_t)b << bits;
      bits += 8;
    }
    const int code = (int)(acc & ((1u << width) - 1));
    acc >>= width;
    bits -= width;
    if (code == clear) {
      nextFree = clear + 2;
      width = minSize + 1;
      prev = -1;
      continue;
    }
    if (code == end || code > nextFree) return false;
    if (prev < 0) {
      if (code >= clear) return false;
      PutString(r, &rc, code);
      prev = code;
      continue;
    }
    uint8_t firstByte;
    if (code == nextFree) {
      firstByte = r->first[prev];
      PutString(r, &rc, prev);
      PutIndices(r, &rc, &firstByte, 1);
    } else {
      firstByte = r->first[code];
      PutString(r, &rc, code);
    }
    // A full table takes no new entries: encoders may send their clear code late.
    if (nextFree < 4096) {
      r->prefix[nextFree] = (uint16_t)prev;
      r->suffix[nextFree] = firstByte;
      r->first[nextFree] = r->first[prev];
      r->length[nextFree] = (uint16_t)(r->length[prev] + 1);
      nextFree++;
      if (nextFree == (1 << width) && width < 12) width++;
    }
    prev = code;
  }
  ByteReaderRead(br, nullptr, (size_t)blockLeft);
  SkipSubBlocks(br);
  return true;
}

static bool ReadColourTable(ByteReader *br, int packed, uint32_t *table) {
  const int n = 2 << (packed & 7);
  uint8_t rgb[768];
  if (ByteReaderRead(br, rgb, (size_t)n * 3) != (size_t)n * 3) return false;
  memset(table, 0, 256 * 4);
  for (int i = 0; i < n; i++)
    table[i] = (uint32_t)rgb[3 * i] << 16 | (uint32_t)rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
  return true;
}

static bool AddFrameEntry(GifReader *r, int64_t position) {
  if (r->frameCount == r->capacity) {
    const int32_t grown = r->capacity + 4096;
    GifFrameEntry *f = (GifFrameEntry *)MemAlloc((size_t)grown * sizeof(GifFrameEntry), 0);
    if (!f) return false;
    if (r->frames) memcpy(f, r->frames, (size_t)r->frameCount * sizeof(GifFrameEntry));
    MemFree(r->frames);
    r->frames = f;
    r->capacity = grown;
  }
  GifFrameEntry *e = &r->frames[r->frameCount++];
  e->position = position;
  e->delay = r->delay;
  e->keyFrame = r->left == 0 && r->top == 0 && r->frameWidth == r->width && r->frameHeight == r->height &&
                r->transparentIndex < 0 && r->disposal != 3;
  return true;
}

// Decodes frames from the current position until frame `target` is on the canvas (its disposal
// not yet applied). Target -1 scans to the end of the file and records the frame table.
static bool DecodeGifFrames(GifReader *r, int32_t target) {
  ByteReader *br = r->br;
  for (;;) {
    r->delay = 0;
    r->disposal = 0;
    r->transparentIndex = -1;
    r->palette = r->globalPalette;
    const int64_t position = ByteReaderTell(br);
    int c;
    for (;;) {
      c = ByteReaderGet(br);
      if (c < 0 || c == 0x3B) return target < 0;
      if (c == 0x2C) break;
      if (c != 0x21) continue;
      const int label = ByteReaderGet(br);
      if (label < 0) return false;
      uint8_t block[256] = {};
      for (;;) {
        const int n = ByteReaderGet(br);
        if (n < 0) return false;
        if (n == 0) break;
        if (label == 0xF9) memset(block, 0, sizeof block);
        if (ByteReaderRead(br, label == 0xF9 ? block : nullptr, (size_t)n) != (size_t)n) return false;
      }
      if (label == 0xF9) {
        r->disposal = block[0] >> 2 & 7;
        r->delay = block[1] | block[2] << 8;
        if (block[0] & 1) r->transparentIndex = block[3];
      }
    }
    uint8_t d[9];
    if (ByteReaderRead(br, d, 9) != 9) return false;
    r->left = d[0] | d[1] << 8;
    r->top = d[2] | d[3] << 8;
    r->frameWidth = d[4] | d[5] << 8;
    r->frameHeight = d[6] | d[7] << 8;
    const int packed = d[8];
    if (target < 0 && !AddFrameEntry(r, position)) return false;
    if (packed & 0x80) {
      if (!ReadColourTable(br, packed, r->localPalette)) return false;
      r->palette = r->localPalette;
    }
    const size_t screen = (size_t)r->width * (size_t)r->height;
    if (r->nextFrame == 0 && r->transparentIndex >= 0 && (r->disposal == 2 || r->still)) {
      FillWords(r->canvas, screen, r->palette[r->transparentIndex]);
    } else if (r->disposal == 3 && !SaveFrameArea(r)) {
      return false;
    }
    if (r->still && r->nextFrame == 0 && r->transparentIndex >= 0) r->keyColour = (int32_t)r->palette[r->transparentIndex];
    if (!DecodeImage(r, (packed & 0x40) != 0)) return false;
    r->nextFrame++;
    if (r->nextFrame == target + 1) return true;
    ApplyDisposal(r);
  }
}

static void FreeReader(GifReader *r) {
  if (!r) return;
  if (r->file) FClose(r->file);
  MemFree(r->br);
  MemFree(r->canvas);
  MemFree(r->saved);
  MemFree(r->frames);
  MemFree(r);
}

static void ResetCanvas(GifReader *r) {
  FillWords(r->canvas, (size_t)r->width * (size_t)r->height, r->globalPalette[r->backgroundIndex]);
  ByteReaderSeek(r->br, r->dataStart);
  r->nextFrame = 0;
}

// Opens the file and reads the header and global colour table. *err: 1045, 1358 or 1000. With
// sizeOnly the size is stored and none returned.
static GifReader *OpenReader(const char *name, int32_t *width, int32_t *height, bool sizeOnly, int *err) {
  GifReader *r = (GifReader *)MemAlloc(sizeof(GifReader), 1);
  if (!r) {
    *err = 1000;
    return nullptr;
  }
  r->file = FOpen(name, FMODE_READ);
  r->br = (ByteReader *)MemAlloc(sizeof(ByteReader), 0);
  r->keyColour = -1;
  if (!r->file || !r->br) {
    *err = r->file ? 1000 : 1045;
    FreeReader(r);
    return nullptr;
  }
  ByteReaderInit(r->br, r->file);
  uint8_t h[13];
  *err = 1358;
  if (ByteReaderRead(r->br, h, 13) == 13 && (!memcmp(h, "GIF87", 5) || !memcmp(h, "GIF89", 5))) {
    r->width = h[6] | h[7] << 8;
    r->height = h[8] | h[9] << 8;
    r->backgroundIndex = h[11];
    *err = CheckPictureSize(r->width, r->height);
    if (!*err && (h[10] & 0x80) && !ReadColourTable(r->br, h[10], r->globalPalette)) *err = 1358;
  }
  if (!*err) {
    *width = r->width;
    *height = r->height;
  }
  if (*err || sizeOnly) {
    FreeReader(r);
    return nullptr;
  }
  r->dataStart = ByteReaderTell(r->br);
  r->canvas = (uint32_t *)MemAlloc((size_t)r->width * (size_t)r->height * 4, 0);
  if (!r->canvas) {
    *err = 1000;
    FreeReader(r);
    return nullptr;
  }
  ResetCanvas(r);
  return r;
}

GifReader *OpenGifAnim(const char *name, int32_t *width, int32_t *height, int32_t *frameCount, int sizeOnly) {
  int err;
  GifReader *r = OpenReader(name, width, height, sizeOnly != 0, &err);
  if (!r) return nullptr;
  if (!DecodeGifFrames(r, -1) || r->frameCount == 0) {
    FreeReader(r);
    return nullptr;
  }
  r->nextFrame = -1;
  *frameCount = r->frameCount;
  return r;
}

uint32_t *GetGifFrame(GifReader *r, int32_t index) {
  if (!r || index < 0 || index >= r->frameCount) return nullptr;
  if (index != r->nextFrame) {
    int32_t key = index;
    while (key >= 0 && !r->frames[key].keyFrame) key--;
    if (r->nextFrame < 0 || index < r->nextFrame || key > r->nextFrame) {
      if (key >= 0) {
        ByteReaderSeek(r->br, r->frames[key].position);
        r->nextFrame = key;
      } else {
        ResetCanvas(r);
      }
    }
  }
  const size_t n = (size_t)r->width * (size_t)r->height;
  uint32_t *out = (uint32_t *)MemAlloc(n * 4, 0);
  if (!out || !DecodeGifFrames(r, index)) {
    MemFree(out);
    r->nextFrame = -1;
    return nullptr;
  }
  memcpy(out, r->canvas, n * 4);
  ApplyDisposal(r);
  return out;
}

int32_t GetGifFrameDelay(GifReader *r, int32_t index) {
  if (!r || index < 0 || index >= r->frameCount) return 0;
  return r->frames[index].delay * 10;
}

void CloseGifAnim(GifReader *reader) { FreeReader(reader); }

int ReadGIFPicture(const char *name, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palette,
                   int32_t *keyColour) {
  if (pixels) *pixels = nullptr;
  if (palette) *palette = nullptr;
  if (keyColour) *keyColour = -1;
  int err;
  GifReader *r = OpenReader(name, width, height, pixels == nullptr, &err);
  if (r) {
    r->still = 1;
    uint32_t *table = palette ? (uint32_t *)MemAlloc(256 * 4, 0) : nullptr;
    if (palette && !table) err = 1000;
    else if (!DecodeGifFrames(r, 0)) err = 1358;
    if (!err) {
      if (table) memcpy(table, r->palette, 256 * 4);
      *pixels = r->canvas;
      r->canvas = nullptr;
      if (palette) *palette = table;
      if (keyColour) *keyColour = r->keyColour;
    } else {
      MemFree(table);
    }
    FreeReader(r);
  }
  if (err) SetErrorString(name);
  return err;
}

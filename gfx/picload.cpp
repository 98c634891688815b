// Picture file detection and the loading front end.
#include "gfx/picload.h"

#include <cstring>

#include "pictures/picture_readers.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

int PictureKind(const uint8_t h[PICTURE_SNIFF_BYTES]) {
  if (!memcmp(h, "FORM", 4) && !memcmp(h + 8, "ILBM", 4)) return PICKIND_ILBM;
  if (h[0] == 0x89 && !memcmp(h + 1, "PNG", 3)) return PICKIND_PNG;
  if (h[0] == 0xFF && h[1] == 0xD8 && (!memcmp(h + 6, "JFIF", 4) || !memcmp(h + 6, "Exif", 4)))
    return PICKIND_JPEG;
  if (h[0] == 'B' && h[1] == 'M') return PICKIND_BMP;
  if ((h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == '*') ||
      (h[0] == 'I' && h[1] == 'I' && h[2] == '*' && h[3] == 0))
    return PICKIND_TIFF;
  if (!memcmp(h, "GIF87a", 6) || !memcmp(h, "GIF89a", 6)) return PICKIND_GIF;
  return PICKIND_UNKNOWN;
}

// Reads the first bytes; the rest of the buffer stays zero when the file is shorter.
static int SniffFile(const char *name, uint8_t head[PICTURE_SNIFF_BYTES]) {
  memset(head, 0, PICTURE_SNIFF_BYTES);
  FileHandle *fh = FOpen(name, FMODE_READ);
  if (!fh) return 1358;
  FRead(fh, head, PICTURE_SNIFF_BYTES);
  FClose(fh);
  return 0;
}

// Largest encoded file handed to the platform's decoder.
static const int64_t kMaxImageFileBytes = 0x40000000;

// Reads a whole file through the file layer (linked files included) into a MemAlloc'd buffer.
// 0, 1358 for an empty file, 1000 when it cannot be opened, read or held in memory.
static int ReadWholeFile(const char *path, uint8_t **out, size_t *outSize) {
  FileHandle *fh = FOpen(path, FMODE_READ);
  if (!fh) return 1000;
  int64_t size = fh->size;
  if (size < 0) {
    FSeek(fh, 0, FSEEK_END);
    size = FSeek(fh, 0, FSEEK_START);
  }
  if (size <= 0 || size > kMaxImageFileBytes) {
    FClose(fh);
    return size == 0 ? 1358 : 1000;
  }
  uint8_t *buf = (uint8_t *)MemAlloc((size_t)size, 0);
  if (!buf) {
    FClose(fh);
    return 1000;
  }
  size_t got = FRead(fh, buf, (size_t)size);
  FClose(fh);
  if (got != (size_t)size) {
    MemFree(buf);
    return 1000;
  }
  *out = buf;
  *outSize = (size_t)size;
  return 0;
}

// A picture decoded by the platform: its pixels, and its alpha bytes as an AlphaChannel.
static int LoadPlatformImage(const char *name, int32_t *w, int32_t *h, uint32_t **words, AlphaChannel **plane) {
  uint8_t *bytes = nullptr;
  size_t size = 0;
  int err = ReadWholeFile(name, &bytes, &size);
  if (err) return err;
  uint8_t *alpha = nullptr;
  err = OsLoadImage(bytes, size, w, h, words, &alpha, nullptr);
  MemFree(bytes);
  if (err || !alpha) return err;
  *plane = AllocAlphaChannel(*w, *h, 0);
  if (!*plane) {
    MemFree(alpha);
    MemFree(*words);
    *words = nullptr;
    return 1000;
  }
  for (int32_t y = 0; y < *h; y++)
    memcpy((*plane)->pixels + (ptrdiff_t)y * (*plane)->bytesPerRow, alpha + (size_t)y * (size_t)*w, (size_t)*w);
  MemFree(alpha);
  return 0;
}

int LoadImageFile(const char *name, uint32_t **palette, intptr_t unused2, intptr_t unused3, int alphaMode,
                  uint32_t **pixels, AlphaChannel **alpha, Mask **mask, int32_t *keyColour, int32_t *width,
                  int32_t *height) {
  (void)unused2;
  (void)unused3;
  if (pixels) *pixels = nullptr;
  if (alpha) *alpha = nullptr;
  if (mask) *mask = nullptr;
  if (keyColour) *keyColour = -1;
  if (palette) *palette = nullptr;
  SetErrorString(name);
  if (!name || !width || !height) return 1045;

  FileHandle *probe = FOpen(name, FMODE_READ);
  if (!probe) return 1045;
  FClose(probe);
  uint8_t head[PICTURE_SNIFF_BYTES];
  int err = SniffFile(name, head);
  if (err) return err;

  int32_t w = 0, h = 0;
  uint32_t *words = nullptr;
  AlphaChannel *plane = nullptr;
  uint32_t *table = nullptr;
  int32_t key = -1;
  switch (PictureKind(head)) {
    case PICKIND_PNG:
    case PICKIND_JPEG:
    case PICKIND_TIFF:
      err = LoadPlatformImage(name, &w, &h, pixels ? &words : nullptr, &plane);
      break;
    // The program's own readers.
    case PICKIND_ILBM:
      err = ReadILBM(name, &w, &h, pixels ? &words : nullptr, pixels ? &table : nullptr);
      break;
    case PICKIND_BMP:
      err = ReadBMP(name, &w, &h, pixels ? &words : nullptr, pixels ? &table : nullptr);
      break;
    case PICKIND_GIF:
      err = ReadGIFPicture(name, &w, &h, pixels ? &words : nullptr, pixels ? &table : nullptr, &key);
      break;
    default:
      err = 1358;
      break;
  }
  if (err) {
    SetErrorString(name);  // a reader may have used the error string
    return err;
  }

  if (pixels) {
    if (alphaMode == LOADALPHA_MERGE) {
      uint32_t *rgba = (uint32_t *)MemAlloc((size_t)w * (size_t)h * 4, 0);
      if (!rgba) {
        MemFree(words);
        MemFree(table);
        FreeAlphaChannel(plane);
        return 1000;
      }
      for (int32_t y = 0; y < h; y++) {
        const uint32_t *src = words + (size_t)y * (size_t)w;
        uint32_t *dst = rgba + (size_t)y * (size_t)w;
        const uint8_t *a = plane ? plane->pixels + (ptrdiff_t)y * plane->bytesPerRow : nullptr;
        for (int32_t x = 0; x < w; x++) {
          const uint32_t c = src[x], av = a ? a[x] : 255;
          dst[x] = av << 24 | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
        }
      }
      MemFree(words);
      FreeAlphaChannel(plane);
      words = rgba;
      plane = nullptr;
    } else if (alphaMode == LOADALPHA_NONE) {
      FreeAlphaChannel(plane);
      plane = nullptr;
    } else if (alphaMode != LOADALPHA_OPTIONAL && !plane) {
      MemFree(words);
      MemFree(table);
      return 1170;
    }
  } else {
    FreeAlphaChannel(plane);
    plane = nullptr;
  }

  if (pixels) *pixels = words;
  if (palette) *palette = table;
  else MemFree(table);
  if (keyColour) *keyColour = key;
  if (alpha) *alpha = plane;
  else FreeAlphaChannel(plane);
  *width = w;
  *height = h;
  return 0;
}

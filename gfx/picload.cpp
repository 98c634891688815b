// Picture file detection and the loading front end.
#include "gfx/picload.h"

#include <cstring>

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

int LoadImageFile(const char *name, intptr_t unused1, intptr_t unused2, intptr_t unused3, int alphaMode,
                  uint32_t **pixels, AlphaChannel **alpha, Mask **mask, int32_t *keyColour, int32_t *width,
                  int32_t *height) {
  (void)unused1;
  (void)unused2;
  (void)unused3;
  if (pixels) *pixels = nullptr;
  if (alpha) *alpha = nullptr;
  if (mask) *mask = nullptr;
  if (keyColour) *keyColour = -1;
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
  switch (PictureKind(head)) {
    case PICKIND_PNG:
    case PICKIND_JPEG:
    case PICKIND_TIFF:
    case PICKIND_GIF:
      err = OsLoadImage(name, nullptr, 0, &w, &h, pixels ? &words : nullptr, &plane, nullptr);
      break;
    // IFF ILBM and BMP have readers of the program's own, which are not part of this build yet:
    // until they are, such files are refused like any unknown format.
    case PICKIND_ILBM:
    case PICKIND_BMP:
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
      return 1170;
    }
  } else {
    FreeAlphaChannel(plane);
    plane = nullptr;
  }

  if (pixels) *pixels = words;
  if (alpha) *alpha = plane;
  else FreeAlphaChannel(plane);
  *width = w;
  *height = h;
  return 0;
}

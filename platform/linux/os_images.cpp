// Picture decoding (PNG, JPEG, TIFF, GIF, WebP) and PNG/JPEG encoding over SDL2_image. Pictures
// are decoded from bytes in memory (the caller reads files, linked ones included) and handed back
// as plain arrays of pixels and alpha bytes.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/os_internal.h"
#include "platform/os.h"

// Largest plane the encoder and decoder produce, in bytes.
static const uint64_t kMaxPlaneBytes = 0x7FFFFFFFu;

// The size written in the header is checked against OS_MAX_PICTURE_PIXELS before the decoder
// allocates anything for it.

static uint32_t Be16(const uint8_t *p) { return (uint32_t)p[0] << 8 | p[1]; }
static uint32_t Be32(const uint8_t *p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

// Whether the data starts like a TIFF file ("II" little-endian or "MM" big-endian).
static bool IsTiff(const uint8_t *d, size_t n) {
  return n >= 8 && ((d[0] == 'I' && d[1] == 'I') || (d[0] == 'M' && d[1] == 'M'));
}
// 16- and 32-bit numbers of a TIFF file at offset o, in the file's byte order (le: "II").
static uint32_t TiffU16(const uint8_t *d, bool le, size_t o) {
  return le ? (uint32_t)(d[o] | d[o + 1] << 8) : Be16(d + o);
}
static uint32_t TiffU32(const uint8_t *d, bool le, size_t o) {
  return le ? (uint32_t)(d[o] | d[o + 1] << 8 | d[o + 2] << 16 | (uint32_t)d[o + 3] << 24) : Be32(d + o);
}

// The largest width x height the header of a PNG, GIF, JPEG or TIFF declares (0 when the format
// or the size is not found: the decoder then judges).
static uint64_t DeclaredPixels(const uint8_t *d, size_t n) {
  if (n >= 24 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') return (uint64_t)Be32(d + 16) * Be32(d + 20);
  if (n >= 10 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F') {
    uint64_t most = (uint64_t)(d[6] | d[7] << 8) * (uint64_t)(d[8] | d[9] << 8);
    // Image descriptors may declare more than the screen.
    for (size_t i = 10; i + 9 < n; i++)
      if (d[i] == 0x2C) {
        const uint64_t v = (uint64_t)(d[i + 5] | d[i + 6] << 8) * (uint64_t)(d[i + 7] | d[i + 8] << 8);
        if (v > most) most = v;
      }
    return most;
  }
  if (n >= 4 && d[0] == 0xFF && d[1] == 0xD8) {
    uint64_t most = 0;
    for (size_t i = 2; i + 9 < n;) {
      if (d[i] != 0xFF) { i++; continue; }
      const uint8_t m = d[i + 1];
      if (m == 0xFF || m == 0x01 || (m >= 0xD0 && m <= 0xD9)) { i += m == 0xFF ? 1 : 2; continue; }
      const uint32_t len = Be16(d + i + 2);
      if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
        const uint64_t v = (uint64_t)Be16(d + i + 5) * Be16(d + i + 7);
        if (v > most) most = v;
      }
      i += 2 + (len ? len : 1);
    }
    return most;
  }
  if (IsTiff(d, n)) {
    const bool le = d[0] == 'I';
    auto u16 = [&](size_t o) { return TiffU16(d, le, o); };
    auto u32 = [&](size_t o) { return TiffU32(d, le, o); };
    uint64_t most = 0;
    size_t ifd = u32(4);
    for (int pages = 0; pages < 64 && ifd && ifd + 2 <= n; pages++) {
      const uint32_t count = u16(ifd);
      uint64_t w = 0, h = 0;
      for (uint32_t e = 0; e < count && ifd + 2 + (size_t)e * 12 + 12 <= n; e++) {
        const size_t o = ifd + 2 + (size_t)e * 12;
        const uint32_t tag = u16(o), type = u16(o + 2);
        const uint32_t v = type == 3 ? u16(o + 8) : u32(o + 8);
        if (tag == 256) w = v;
        if (tag == 257) h = v;
      }
      if (w * h > most) most = w * h;
      const size_t next = ifd + 2 + (size_t)count * 12;
      ifd = next + 4 <= n ? u32(next) : 0;
    }
    return most;
  }
  return 0;
}

// Whether the first picture of a TIFF file stores an alpha sample (an ExtraSamples entry naming
// associated or unassociated alpha). The decoder hands every TIFF over as 32-bit RGBA, also
// those without alpha, so the file itself has to say.
static bool TiffHasAlpha(const uint8_t *d, size_t n) {
  if (!IsTiff(d, n)) return false;
  const bool le = d[0] == 'I';
  auto u16 = [&](size_t o) { return TiffU16(d, le, o); };
  auto u32 = [&](size_t o) { return TiffU32(d, le, o); };
  const size_t ifd = u32(4);
  if (ifd + 2 > n || ifd + 2 < ifd) return false;
  const uint32_t count = u16(ifd);
  for (uint32_t e = 0; e < count && ifd + 2 + (size_t)e * 12 + 12 <= n; e++) {
    const size_t o = ifd + 2 + (size_t)e * 12;
    if (u16(o) != 338) continue;
    const uint32_t type = u16(o + 2), values = u32(o + 4);
    if (type != 3 || values < 1) return false;
    // Up to two shorts sit in the entry itself, more elsewhere in the file.
    size_t at = o + 8;
    if (values > 2) {
      at = u32(o + 8);
      if (at + 2 > n || at + 2 < at) return false;
    }
    for (uint32_t v = 0; v < values && v < 16 && at + 2 * (size_t)v + 2 <= n; v++) {
      const uint32_t kind = u16(at + 2 * (size_t)v);
      if (kind == 1 || kind == 2) return true;
    }
    return false;
  }
  return false;
}

const char *OsImageRasterType(const OsImageRoutines *img, SDL_RWops *rw)
{
  if (img->isPNG(rw)) return "PNG";
  if (img->isJPG(rw)) return "JPG";
  if (img->isTIF(rw)) return "TIF";
  if (img->isWEBP(rw)) return "WEBP";
  return nullptr;
}

int OsLoadImage(const void *data, size_t dataSize, int32_t *width, int32_t *height, uint32_t **pixels,
                uint8_t **alpha, int *hasAlpha) {
  if (alpha) *alpha = nullptr;
  if (pixels) *pixels = nullptr;
  if (hasAlpha) *hasAlpha = 0;
  if (!data || dataSize == 0 || dataSize > (size_t)INT32_MAX) return 1358;
  if (DeclaredPixels((const uint8_t *)data, dataSize) > OS_MAX_PICTURE_PIXELS) return 1000;
  // Only the raster formats pictures come in are decoded (the decoder library knows more, such
  // as vector and layered formats, whose readers are not meant for untrusted files). GIF is not
  // among them: the library's GIF reader frees a wild pointer on crafted files, and the picture
  // layer reads GIF files itself.
  const OsImageRoutines *img = OsImageLibrary();
  SDL_RWops *rw = img ? SDL_RWFromConstMem(data, (int)dataSize) : nullptr;
  const char *type = rw ? OsImageRasterType(img, rw) : nullptr;
  if (rw && !type) SDL_RWclose(rw);
  SDL_Surface *surface = type ? img->loadTyped(rw, 1, type) : nullptr;
  const bool alphaStored = !type || strcmp(type, "TIF") != 0 || TiffHasAlpha((const uint8_t *)data, dataSize);
  if (!surface) return 1358;

  const int withAlpha = surface->format->Amask != 0 && surface->format->BitsPerPixel == 32 && alphaStored;
  const int32_t w = surface->w, h = surface->h;
  const uint64_t words = (uint64_t)(uint32_t)w * (uint64_t)(uint32_t)h;
  if (w < 1 || h < 1 || words > OS_MAX_PICTURE_PIXELS || words * 4 > kMaxPlaneBytes) {
    SDL_FreeSurface(surface);
    return 1358;
  }
  if (hasAlpha) *hasAlpha = withAlpha;
  *width = w;
  *height = h;
  if (!pixels) {
    SDL_FreeSurface(surface);
    return 0;
  }

  SDL_Surface *argb = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(surface);
  if (!argb) return 1000;
  uint32_t *out = (uint32_t *)malloc((size_t)(words * 4));
  uint8_t *plane = nullptr;
  if (out && withAlpha && alpha) {
    plane = (uint8_t *)malloc((size_t)words);
    if (!plane) {
      free(out);
      out = nullptr;
    }
  }
  if (!out || SDL_LockSurface(argb) != 0) {
    free(out);
    free(plane);
    SDL_FreeSurface(argb);
    return 1000;
  }
  for (int32_t y = 0; y < h; y++) {
    const uint32_t *row = (const uint32_t *)((const uint8_t *)argb->pixels + (ptrdiff_t)y * argb->pitch);
    uint32_t *o = out + (size_t)y * (size_t)w;
    uint8_t *a = plane ? plane + (size_t)y * (size_t)w : nullptr;
    for (int32_t x = 0; x < w; x++) {
      o[x] = row[x] & 0xFFFFFF;
      if (a) a[x] = (uint8_t)(row[x] >> 24);
    }
  }
  SDL_UnlockSurface(argb);
  SDL_FreeSurface(argb);
  *pixels = out;
  if (alpha) *alpha = plane;
  return 0;
}

// ---- Encoding ---------------------------------------------------------------------------------

struct OsData {
  uint8_t *bytes;
  size_t size;
  size_t capacity;
};

static Sint64 DataSize(SDL_RWops *rw) { return (Sint64)((OsData *)rw->hidden.unknown.data1)->size; }
static Sint64 DataSeek(SDL_RWops *rw, Sint64 offset, int whence) { return -1; }
static size_t DataRead(SDL_RWops *rw, void *ptr, size_t size, size_t num) { return 0; }
static int DataClose(SDL_RWops *rw) {
  SDL_FreeRW(rw);
  return 0;
}
// Appends to the growing buffer; a failed growth writes nothing (the encoder then fails).
static size_t DataWrite(SDL_RWops *rw, const void *ptr, size_t size, size_t num) {
  OsData *d = (OsData *)rw->hidden.unknown.data1;
  if (size == 0 || num == 0) return 0;
  if (num > (SIZE_MAX - d->size) / size) return 0;
  const size_t n = size * num;
  if (d->size + n > d->capacity) {
    size_t cap = d->capacity ? d->capacity : 4096;
    while (cap < d->size + n) {
      if (cap > SIZE_MAX / 2) return 0;
      cap *= 2;
    }
    uint8_t *nb = (uint8_t *)malloc(cap);
    if (!nb) return 0;
    if (d->size) memcpy(nb, d->bytes, d->size);
    free(d->bytes);
    d->bytes = nb;
    d->capacity = cap;
  }
  memcpy(d->bytes + d->size, ptr, n);
  d->size += n;
  return num;
}

void OsReleaseData(OsData *data) {
  if (!data) return;
  free(data->bytes);
  free(data);
}

size_t OsGetDataBytes(const OsData *data, const uint8_t **bytes) {
  if (!data) {
    if (bytes) *bytes = nullptr;
    return 0;
  }
  if (bytes) *bytes = data->bytes;
  return data->size;
}

int OsEncodeImage(const char *path, const uint32_t *pixels, int32_t width, int32_t height,
                  int32_t bytesPerRow, int type, int alphaFlag, int quality, OsData **data) {
  const int failure = type == OS_IMAGE_JPEG ? 1315 : 1277;
  if (data) *data = nullptr;
  if (!pixels || width < 1 || height < 1 || (int64_t)bytesPerRow < (int64_t)width * 4 ||
      (uint64_t)bytesPerRow * (uint64_t)height > kMaxPlaneBytes)
    return failure;
  const OsImageRoutines *img = OsImageLibrary();
  if (!img) return failure;
  OsData *out = (OsData *)calloc(1, sizeof(OsData));
  if (!out) return 1000;
  // A surface over the caller's words; SDL reads it and leaves it unchanged.
  SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t *>(pixels), width, height, 32, bytesPerRow,
      alphaFlag && type == OS_IMAGE_PNG ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB888);
  SDL_RWops *rw = SDL_AllocRW();
  if (!surface || !rw) {
    if (surface) SDL_FreeSurface(surface);
    if (rw) SDL_FreeRW(rw);
    OsReleaseData(out);
    return 1000;
  }
  rw->size = DataSize;
  rw->seek = DataSeek;
  rw->read = DataRead;
  rw->write = DataWrite;
  rw->close = DataClose;
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->hidden.unknown.data1 = out;
  if (quality < 0) quality = 0;
  if (quality > 100) quality = 100;
  int rc = type == OS_IMAGE_JPEG ? img->saveJPG(surface, rw, 1, quality) : img->savePNG(surface, rw, 1);
  SDL_FreeSurface(surface);
  if (rc != 0 || out->size == 0) {
    OsReleaseData(out);
    return failure;
  }
  if (path) {
    // A plain file of the file system; linked files can't be written. An older file of the name
    // is replaced only by a whole new one.
    OsReplacement *replacement = nullptr;
    FILE *f = OsOpenReplacement(path, &replacement);
    int ok = f && fwrite(out->bytes, 1, out->size, f) == out->size;
    if (f && replacement) {
      if (ok) ok = OsCommitReplacement(f, replacement);
      else OsDiscardReplacement(f, replacement);
    } else if (f && fclose(f) != 0) {
      ok = 0;
    }
    OsReleaseData(out);
    return ok ? 0 : failure;
  }
  if (data) *data = out;
  else OsReleaseData(out);
  return 0;
}

int OsSavePNG(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int alphaFlag) {
  if (width < 1 || width > INT32_MAX / 4) return 1277;
  return OsEncodeImage(path, pixels, width, height, width * 4, OS_IMAGE_PNG, alphaFlag, 100, nullptr);
}

int OsSaveJPEG(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int quality) {
  if (width < 1 || width > INT32_MAX / 4) return 1315;
  return OsEncodeImage(path, pixels, width, height, width * 4, OS_IMAGE_JPEG, 0, quality, nullptr);
}

int OsEncodeJPEGToMemory(const uint32_t *pixels, int32_t bytesPerRow, int32_t width, int32_t height,
                         int quality, OsData **data) {
  return OsEncodeImage(nullptr, pixels, width, height, bytesPerRow, OS_IMAGE_JPEG, 0, quality, data);
}

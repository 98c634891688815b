// Drawing routines of the graphics library (see gfx/draw_routines.h).
#include "gfx/draw_routines.h"

#include <strings.h>

#include <cmath>
#include <cstring>

#include "gfx/blit.h"
#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"
#include "gfx/scale.h"
#include "platform/os.h"
#include "runtime/memory.h"

void DrawGradient(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1, uint32_t rgb2,
                  int32_t angle) {
  if (!bitmap) {
    OsPrintF("ERROR! DRAWGRADIENT() CALLED WITH DST=NULL!\n");
    return;
  }
  BitMapInfo info;
  if (!LockBitMap(bitmap, &info)) return;
  GradientRect(&info, x, y, width, height, rgb1, rgb2, angle);
  UnLockBitMap();
}

void BltAlphaChannel(const AlphaChannel *source, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
                     int32_t width, int32_t height, uint32_t rgb, int32_t mode, AlphaChannel *dstAlpha,
                     intptr_t level, intptr_t coverage16, intptr_t coverage16RowLength, const BitMap *second) {
  if (!dst) {
    OsPrintF("ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!\n");
    return;
  }
  if (width < 1 || height < 1) return;
  BitMapInfo di, si;
  if (!LockBitMap(dst, &di)) return;
  const bool withSecond = second && LockBitMap(second, &si) && si.bytesPerPixel == di.bytesPerPixel;
  AlphaChannelBltParams p;
  memset(&p, 0, sizeof p);
  p.coverage = source ? source->pixels : nullptr;
  p.cx = sx;
  p.cy = sy;
  p.coverageBytesPerRow = source ? source->bytesPerRow : 0;
  p.dx = dx;
  p.dy = dy;
  p.width = width;
  p.height = height;
  p.dstAlpha = dstAlpha ? dstAlpha->pixels : nullptr;
  p.dstAlphaBytesPerRow = dstAlpha ? dstAlpha->bytesPerRow : 0;
  p.colour = di.bytesPerPixel == 3 ? (rgb & 0xFFFFFF) : RGBToPixel(rgb & 0xFFFFFF, di.format);
  p.mode = mode;
  p.level = (int32_t)level;
  p.coverage16 = (const uint16_t *)coverage16;
  p.coverage16RowLength = (int32_t)coverage16RowLength;
  p.src = withSecond ? si.pixels : nullptr;
  p.srcModulo = withSecond ? si.modulo : 0;
  if (p.coverage || (mode == 3 && p.coverage16)) AlphaChannelRect(&di, &p);
  if (second) UnLockBitMap();
  UnLockBitMap();
}

// Cuts a rectangle to a source and a destination of the given sizes; false when nothing is left.
static bool ClipPair(int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy, int32_t *w, int32_t *h, int32_t sw, int32_t sh,
                     int32_t dw, int32_t dh) {
  if (*dx < 0) { *w += *dx; *sx -= *dx; *dx = 0; }
  if (*dy < 0) { *h += *dy; *sy -= *dy; *dy = 0; }
  if (*sx < 0) { *w += *sx; *dx -= *sx; *sx = 0; }
  if (*sy < 0) { *h += *sy; *dy -= *sy; *sy = 0; }
  if ((int64_t)*sx + *w > sw) *w = sw - *sx;
  if ((int64_t)*sy + *h > sh) *h = sh - *sy;
  if ((int64_t)*dx + *w > dw) *w = dw - *dx;
  if ((int64_t)*dy + *h > dh) *h = dh - *dy;
  return *w > 0 && *h > 0;
}

void BltAlphaChannelClipped(const AlphaChannel *source, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
                            int32_t width, int32_t height, uint32_t rgb, int32_t mode, AlphaChannel *dstAlpha,
                            intptr_t level, intptr_t coverage16, intptr_t coverage16RowLength, const BitMap *second,
                            int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight) {
  if (!ClipPair(&sx, &sy, &dx, &dy, &width, &height, srcWidth, srcHeight, dstWidth, dstHeight)) return;
  BltAlphaChannel(source, sx, sy, dst, dx, dy, width, height, rgb, mode, dstAlpha, level, coverage16,
                  coverage16RowLength, second);
}

void BltAlphaBitMap(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t width,
                    int32_t height, const AlphaChannel *alpha) {
  if (!dst) {
    OsPrintF("ERROR! BLTALPHABITMAP() CALLED WITH DST=NULL!\n");
    return;
  }
  BitMapInfo si, di;
  if (!LockBitMapPair(src, &si, dst, &di)) return;
  AlphaBitMapRect(&si, sx, sy, &di, dx, dy, width, height, alpha, sx, sy);
  UnLockBitMap();
  UnLockBitMap();
}

void CombineAlphaChannels(const AlphaChannel *src, int32_t sx, int32_t sy, AlphaChannel *dst, int32_t dx, int32_t dy,
                          int32_t width, int32_t height, int mode, int32_t value) {
  if (!src || !dst) return;
  CombineAlpha(src->pixels, sx, sy, dst->pixels, dx, dy, width, height, src->bytesPerRow, dst->bytesPerRow, mode, value);
}

void CombineAlphaChannelsClipped(const AlphaChannel *src, int32_t sx, int32_t sy, AlphaChannel *dst, int32_t dx,
                                 int32_t dy, int32_t width, int32_t height, int mode, int32_t value, int32_t srcWidth,
                                 int32_t srcHeight, int32_t dstWidth, int32_t dstHeight) {
  if (!ClipPair(&sx, &sy, &dx, &dy, &width, &height, srcWidth, srcHeight, dstWidth, dstHeight)) return;
  CombineAlphaChannels(src, sx, sy, dst, dx, dy, width, height, mode, value);
}

void MaskToAlphaRect(const Mask *mask, int32_t mx, int32_t my, AlphaChannel *alpha, int32_t ax, int32_t ay,
                     int32_t width, int32_t height, uint8_t value) {
  if (!mask || !alpha) return;
  MaskToAlpha(mask->pixels, mx, my, mask->bytesPerRow, alpha->pixels, ax, ay, alpha->bytesPerRow, width, height, value);
}

void FillAlphaChannelRect(AlphaChannel *alpha, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t value) {
  if (!alpha) return;
  FillPlaneRect(alpha->pixels, x, y, width, height, alpha->bytesPerRow, value);
}

void AlphaToMaskRect(const AlphaChannel *alpha, int32_t ax, int32_t ay, Mask *mask, int32_t mx, int32_t my,
                     int32_t width, int32_t height, int mode) {
  if (!alpha || !mask) return;
  CombineMask(alpha->pixels, ax, ay, alpha->bytesPerRow, mask->pixels, mx, my, mask->bytesPerRow, width, height, mode);
}

int FillPolygonToMask(Mask *mask, const int32_t *points, int32_t count) {
  if (!mask || !points || count < 1) return 0;
  int32_t *scratch = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)count, 0);
  if (!scratch) return 1000;
  // A mask without a recorded width covers its whole rows.
  const int32_t width = mask->width > 0 ? mask->width : mask->bytesPerRow * 8;
  FillPolygonMask(mask->pixels, mask->bytesPerRow, width, mask->height, scratch, points, count);
  MemFree(scratch);
  return 0;
}

uint32_t MixColors(uint32_t rgb1, uint32_t rgb2, int32_t weight) { return MixRGB(rgb1, rgb2, weight); }

static int32_t WrapOffset(int32_t offset, int32_t size) {
  if (offset < 0) offset = offset % size + size;
  if (offset >= size) offset = offset % size;
  return offset;
}

void TileBitMap(void *dest, int32_t x, int32_t y, int32_t width, int32_t height, const void *texture, int32_t startX,
                int32_t startY, int32_t textureWidth, int32_t textureHeight, int raw, int32_t textureRowLength) {
  if (!dest || !texture || width < 1 || height < 1 || textureWidth < 1 || textureHeight < 1) return;
  startX = WrapOffset(startX, textureWidth);
  startY = WrapOffset(startY, textureHeight);
  // Tiles follow each other until the rectangle is full: with a start offset the first row and
  // column of tiles are narrower, so counting whole tiles would leave a gap.
  for (int32_t oy = 0, ty = startY; oy < height; ty = 0) {
    int32_t th = textureHeight - ty;
    if (th > height - oy) th = height - oy;
    for (int32_t ox = 0, tx = startX; ox < width; tx = 0) {
      int32_t tw = textureWidth - tx;
      if (tw > width - ox) tw = width - ox;
      if (raw) {
        uint32_t *d = (uint32_t *)dest;
        const uint32_t *t = (const uint32_t *)texture;
        for (int32_t j = 0; j < th; j++)
          memcpy(d + (size_t)(oy + j) * (size_t)width + ox, t + (size_t)(ty + j) * (size_t)textureRowLength + tx,
                 (size_t)tw * 4);
      } else {
        BltBitMap((const BitMap *)texture, tx, ty, (BitMap *)dest, x + ox, y + oy, tw, th);
      }
      ox += tw;
    }
    oy += th;
  }
}

void GetTransformedBounds(int32_t x, int32_t y, int32_t width, int32_t height, double anchorX, double anchorY,
                          const double m[4], int32_t *outX, int32_t *outY, int32_t *outWidth, int32_t *outHeight) {
  const double ax = width * anchorX, ay = height * anchorY;
  const double cx[4] = {0, (double)width - 1, 0, (double)width - 1};
  const double cy[4] = {0, 0, (double)height - 1, (double)height - 1};
  double minX = 100000, minY = 100000, maxX = -100000, maxY = -100000;
  for (int i = 0; i < 4; i++) {
    const double dx = cx[i] - ax, dy = cy[i] - ay;
    const double px = m[0] * dx + m[2] * dy + ax, py = m[1] * dx + m[3] * dy + ay;
    minX = std::fmin(minX, px);
    maxX = std::fmax(maxX, px);
    minY = std::fmin(minY, py);
    maxY = std::fmax(maxY, py);
  }
  *outX = (int32_t)(x + minX);
  *outY = (int32_t)(y + minY);
  *outWidth = (int32_t)(maxX - minX + 1);
  *outHeight = (int32_t)(maxY - minY + 1);
}

// sin and cos of whole degrees times 1024, the fraction cut off (sin 30 is exactly 512).
static void TrigTables(int32_t sinT[360], int32_t cosT[360]) {
  for (int a = 0; a < 360; a++) {
    const double r = a * M_PI / 180.0, s = std::sin(r) * 1024.0, c = std::cos(r) * 1024.0;
    sinT[a] = (int32_t)std::trunc(s + (s < 0 ? -1e-7 : 1e-7));
    cosT[a] = (int32_t)std::trunc(c + (c < 0 ? -1e-7 : 1e-7));
  }
}

int32_t ArcPolygon(int32_t *points, int32_t rx, int32_t ry, int32_t start, int32_t end) {
  static int32_t sinT[360], cosT[360];
  static bool ready = false;
  if (!ready) {
    TrigTables(sinT, cosT);
    ready = true;
  }
  int32_t n = 0;
  auto put = [&](int32_t a) {
    const int32_t k = ((a % 360) + 360) % 360;
    points[2 * n] = rx + (int32_t)(((int64_t)2 * rx + 1) * cosT[k] / 2048);
    points[2 * n + 1] = ry + (int32_t)(((int64_t)2 * ry + 1) * sinT[k] / 2048);
    n++;
  };
  put(start);
  for (int32_t a = start + 1; a <= end; a++) put(a);
  if (!(start == 0 && end == 360)) {
    points[2 * n] = rx;
    points[2 * n + 1] = ry;
    n++;
    put(start);
  }
  return n;
}

int32_t ClipPolygonEdge(int32_t count, const int32_t *in, int32_t *out, int32_t value, int kind) {
  auto inside = [&](int32_t i) {
    const int32_t x = in[2 * i], y = in[2 * i + 1];
    switch (kind) {
      case CLIPEDGE_LEFT: return x >= value;
      case CLIPEDGE_TOP: return y >= value;
      case CLIPEDGE_RIGHT: return x <= value;
      default: return y <= value;
    }
  };
  int32_t n = 0;
  for (int32_t i = 0; i < count; i++) {
    const bool a = inside(i), b = inside(i + 1);
    if (a) {
      out[2 * n] = in[2 * i];
      out[2 * n + 1] = in[2 * i + 1];
      n++;
    }
    if (a != b) {
      const double x0 = in[2 * i], y0 = in[2 * i + 1], x1 = in[2 * i + 2], y1 = in[2 * i + 3];
      if (kind == CLIPEDGE_LEFT || kind == CLIPEDGE_RIGHT) {
        const double slope = (y1 - y0) / (x1 - x0);  // x0 != x1: the edge crosses x = value
        out[2 * n] = value;
        out[2 * n + 1] = (int32_t)(y0 + slope * (value - x0));
      } else {
        out[2 * n] = x1 == x0 ? (int32_t)x0 : (int32_t)(x0 + (value - y0) / ((y1 - y0) / (x1 - x0)));
        out[2 * n + 1] = value;
      }
      n++;
    }
  }
  return n;
}

// ---- The image cache ----------------------------------------------------------------------

struct GfxCacheEntry {
  GfxCacheEntry *next;
  char name[1024];
  int32_t width, height;
  uint32_t *pixels;
  AlphaChannel *alpha;
};

static GfxCacheEntry *gCacheHead = nullptr;

static AlphaChannel *CopyAlpha(const AlphaChannel *a, int32_t width, int32_t height) {
  AlphaChannel *c = AllocAlphaChannel(width, height, 0);
  if (!c) return nullptr;
  for (int32_t y = 0; y < height; y++)
    memcpy(c->pixels + (ptrdiff_t)y * c->bytesPerRow, a->pixels + (ptrdiff_t)y * a->bytesPerRow, (size_t)width);
  return c;
}

int AddToGfxCache(const char *name, int32_t width, int32_t height, const uint32_t *pixels, const AlphaChannel *alpha) {
  if (!name || !pixels || width < 1 || height < 1 || (uint64_t)width * (uint64_t)height * 4 > kMaxPlaneBytes)
    return 1000;
  GfxCacheEntry *e = (GfxCacheEntry *)MemAlloc(sizeof(GfxCacheEntry), 1);
  if (!e) return 1000;
  const size_t bytes = (size_t)width * (size_t)height * 4;
  e->pixels = (uint32_t *)MemAlloc(bytes, 0);
  if (alpha) e->alpha = CopyAlpha(alpha, width, height);
  if (!e->pixels || (alpha && !e->alpha)) {
    MemFree(e->pixels);
    FreeAlphaChannel(e->alpha);
    MemFree(e);
    return 1000;
  }
  memcpy(e->pixels, pixels, bytes);
  strncpy(e->name, name, sizeof e->name - 1);
  e->width = width;
  e->height = height;
  GfxCacheEntry **tail = &gCacheHead;
  while (*tail) tail = &(*tail)->next;
  *tail = e;
  return 0;
}

int GetFromGfxCache(const char *name, int wantAlpha, int32_t *width, int32_t *height, uint32_t **pixels,
                    AlphaChannel **alpha) {
  if (pixels) *pixels = nullptr;
  if (alpha) *alpha = nullptr;
  GfxCacheEntry *e = gCacheHead;
  while (e && (!name || strcasecmp(e->name, name) != 0)) e = e->next;
  if (!e || (wantAlpha && !e->alpha)) return 1246;
  const size_t bytes = (size_t)e->width * (size_t)e->height * 4;
  uint32_t *p = (uint32_t *)MemAlloc(bytes, 0);
  AlphaChannel *a = wantAlpha ? CopyAlpha(e->alpha, e->width, e->height) : nullptr;
  if (!p || (wantAlpha && !a)) {
    MemFree(p);
    FreeAlphaChannel(a);
    return 1000;
  }
  memcpy(p, e->pixels, bytes);
  if (width) *width = e->width;
  if (height) *height = e->height;
  if (pixels) *pixels = p;
  else MemFree(p);
  if (alpha) *alpha = a;
  else FreeAlphaChannel(a);
  return 0;
}

void FreeGfxCache(void) {
  while (gCacheHead) {
    GfxCacheEntry *next = gCacheHead->next;
    MemFree(gCacheHead->pixels);
    FreeAlphaChannel(gCacheHead->alpha);
    MemFree(gCacheHead);
    gCacheHead = next;
  }
}

// The output-target side of the shape renderer: the clip rectangle, the size limit of shape
// pictures, texture brushes and the clipped blit of a finished picture onto the target's planes.
#include <cmath>
#include <cstring>

#include "gfx/draw_routines.h"
#include "gfx/pixel_layout.h"
#include "gfx/scale.h"
#include "pictures/draw_render.h"
#include "runtime/errors.h"

enum { ERR_NOMEM = 1000, ERR_NOTFOUND = 1041, ERR_NOBRUSH = 1174 };

DrawClip TargetClipRect(const DrawTarget *target) {
  DrawClip c = {0, 0, target->width, target->height, nullptr};
  if (target->hasClipRegion) c = target->clip;
  return c;
}

int IsOffScreenTarget(const DrawTarget *target) {
  return target->kind == DRAWTARGET_BRUSH || target->kind == DRAWTARGET_MASK || target->kind == DRAWTARGET_ALPHA;
}

int PrepareDrawTarget(const DrawTarget *target) {
  if (IsOffScreenTarget(target) && !target->doubleBuffer && target->hooks && target->hooks->prepare)
    return target->hooks->prepare(target->user);
  return 0;
}

// Within kCoordLimit whatever the target, so that shapes can add their sizes to it.
int32_t ResolveTargetPos(const DrawTarget *target, int axis, int32_t coord, int32_t size, double anchor) {
  if (target->hooks && target->hooks->resolvePos)
    return ClampCoord(target->hooks->resolvePos(target->user, axis, coord, size, anchor));
  return ClampCoord(coord);
}

int AllocShapeTriple(int32_t width, int32_t height, int withAlpha, int keepPixels, BitMap **bitmap, Mask **mask,
                     AlphaChannel **alpha) {
  *bitmap = nullptr;
  *mask = nullptr;
  *alpha = nullptr;
  if (CheckShapeImageSize(width, height)) return ERR_NOMEM;
  BitMap *bm = AllocBitMap(width, height);
  Mask *m = bm && !withAlpha ? AllocMask(bm, width, height, 1) : nullptr;
  AlphaChannel *a = bm && withAlpha ? AllocAlphaChannel(width, height, 1) : nullptr;
  if (!bm || (!m && !a)) {
    FreeTriple(bm, m, a);
    return ERR_NOMEM;
  }
  if (!keepPixels) memset(bm->pixels, 0, (size_t)bm->bytesPerRow * (size_t)bm->height);
  *bitmap = bm;
  *mask = m;
  *alpha = a;
  return 0;
}

int CheckShapeImageSize(int64_t width, int64_t height) {
  if (width < 1 || height < 1) return 0;
  if (width > INT32_MAX / 4 || height > INT32_MAX / 4 || (uint64_t)width * (uint64_t)height * 4 > kMaxPlaneBytes)
    return ERR_NOMEM;
  return 0;
}

// ---- Textures --------------------------------------------------------------------------------

static DrawTextureLookup gTextureLookup;

void SetDrawTextureLookup(DrawTextureLookup lookup) { gTextureLookup = lookup; }

static int LookupTexture(ObjectId id, const BitMap **bitmap) {
  *bitmap = nullptr;
  if (gTextureLookup) {
    const int rc = gTextureLookup(id, bitmap);
    if (rc || *bitmap) return rc;
  }
  SetErrorNumber((long)id.number);
  return id.handle ? ERR_NOTFOUND : ERR_NOBRUSH;
}

int TileBrushScaled(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, const DrawStyle *style,
                    const double m[4], int smooth) {
  const BitMap *texture;
  const int rc = LookupTexture(style->texture, &texture);
  if (rc) return rc;
  const double sx = std::fabs(m[0]), sy = std::fabs(m[3]);
  if (sx == 1 && sy == 1) {
    TileBitMap(bitmap, x, y, width, height, texture, style->textureX, style->textureY, texture->width,
               texture->height, 0, 0);
    return 0;
  }
  const double nw = std::lrint(texture->width * sx), nh = std::lrint(texture->height * sy);
  if (nw < 1 || nh < 1) return 0;
  if (CheckShapeImageSize((int64_t)nw, (int64_t)nh)) return ERR_NOMEM;
  BitMap *scaled = nullptr;
  const int src = ScaleBitMapTriple(texture, nullptr, nullptr, 0, 0, nullptr, texture->width, texture->height,
                                    (int32_t)nw, (int32_t)nh, smooth, &scaled, nullptr, nullptr);
  if (src) return src;
  if (!scaled) return ERR_NOMEM;
  TileBitMap(bitmap, x, y, width, height, scaled, style->textureX, style->textureY, scaled->width, scaled->height, 0,
             0);
  FreeBitMap(scaled);
  return 0;
}

// ---- The clipped blit -------------------------------------------------------------------------

// Cuts (x, y, w, h) to the rectangle (cx, cy, cw, ch); false when nothing is left.
static bool Intersect(int64_t *x, int64_t *y, int64_t *w, int64_t *h, int64_t cx, int64_t cy, int64_t cw, int64_t ch) {
  const int64_t l = *x > cx ? *x : cx, t = *y > cy ? *y : cy;
  const int64_t r = (*x + *w < cx + cw) ? *x + *w : cx + cw, b = (*y + *h < cy + ch) ? *y + *h : cy + ch;
  *x = l;
  *y = t;
  *w = r - l;
  *h = b - t;
  return *w > 0 && *h > 0;
}

// Straight-alpha "over": a level of the new pixel on top of an alpha byte.
static inline uint8_t OverAlpha(int32_t a, int32_t da) { return (uint8_t)(a + (da * (255 - a) + 127) / 255); }

template <class D>
static void BlitRows(const DrawTarget *tg, int64_t x0, int64_t y0, int64_t w, int64_t h, int64_t sx0, int64_t sy0,
                     const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha, const DrawClip &clip) {
  BitMap *dst = tg->bitmap;
  const int32_t dstModulo = dst ? dst->bytesPerRow : 0;
  const int32_t maskMode = dst ? MASKVANILLACOPY : tg->maskMode;
  for (int64_t j = 0; j < h; j++) {
    const int64_t ty = y0 + j, sy = sy0 + j;
    const uint8_t *srow = bitmap->pixels + sy * bitmap->bytesPerRow + sx0 * 4;
    const uint8_t *arow = alpha ? alpha->pixels + sy * alpha->bytesPerRow + sx0 : nullptr;
    const uint8_t *mrow = mask ? mask->pixels + sy * mask->bytesPerRow : nullptr;
    const uint8_t *crow = clip.mask ? clip.mask->pixels + (ty - clip.y) * clip.mask->bytesPerRow : nullptr;
    uint8_t *drow = dst ? dst->pixels + ty * dstModulo + x0 * D::kBytes : nullptr;
    uint8_t *dmrow = tg->mask ? tg->mask->pixels + ty * tg->mask->bytesPerRow : nullptr;
    uint8_t *darow = tg->alpha ? tg->alpha->pixels + ty * tg->alpha->bytesPerRow : nullptr;
    for (int64_t i = 0; i < w; i++) {
      const int32_t a = arow ? arow[i] : (MaskRowBit(mrow, (int32_t)(sx0 + i)) ? 255 : 0);
      if (a == 0) continue;
      const int64_t tx = x0 + i;
      if (crow && !MaskRowBit(crow, (int32_t)(tx - clip.x))) continue;
      if (drow) {
        const uint32_t rgb = PixFmt11::ToRGB(PixFmt11::Load(srow + i * 4));
        uint8_t *dp = drow + i * D::kBytes;
        if (a == 255) D::Store(dp, D::FromRGB(rgb));
        else D::Store(dp, D::FromRGB(MixRGB(D::ToRGB(D::Load(dp)), rgb, a)));
      }
      if (dmrow) ApplyMaskMode(dmrow + (tx >> 3), (uint8_t)(0x80 >> (tx & 7)), (uint32_t)maskMode);
      if (darow) {
        int32_t v = a;
        if (!dst && tg->alphaIntensity >= 0) v = a * (tg->alphaIntensity > 255 ? 255 : tg->alphaIntensity) / 255;
        darow[tx] = OverAlpha(v, darow[tx]);
      }
    }
  }
}

// One row of the common case below: a = 0 keeps, 255 copies, others mix by a / 256.
KV_VECTOR_CLONES static void BlendAlphaRow32(uint32_t *__restrict d, const uint32_t *__restrict s,
                                             const uint8_t *__restrict a, int32_t n) {
  for (int32_t i = 0; i < n; i++) {
    const uint32_t v = a[i], old = d[i], src = s[i];
    const uint32_t mixed = MixWords(old, src, v) & ~PixFmt11::kSpare;
    d[i] = v == 255 ? src : v == 0 ? old : mixed;
  }
}

// The common case: a picture with an alpha channel onto a colour plane of its own layout, with
// no mask, alpha channel or clip mask to keep.
static void BlitAlphaRows32(BitMap *dst, int64_t x0, int64_t y0, int64_t w, int64_t h, int64_t sx0, int64_t sy0,
                            const BitMap *bitmap, const AlphaChannel *alpha) {
  for (int64_t j = 0; j < h; j++) {
    const uint32_t *s = (const uint32_t *)(bitmap->pixels + (sy0 + j) * bitmap->bytesPerRow) + sx0;
    const uint8_t *a = alpha->pixels + (sy0 + j) * alpha->bytesPerRow + sx0;
    uint32_t *d = (uint32_t *)(dst->pixels + (y0 + j) * dst->bytesPerRow) + x0;
    // Destination rows lie far apart: fetch a few rows ahead so they arrive while this one mixes.
    if (j + 4 < h) {
      const uint8_t *ahead = (const uint8_t *)d + 4 * (int64_t)dst->bytesPerRow;
      for (int64_t off = 0; off < w * 4 + 64; off += 64) __builtin_prefetch(ahead + off, 1);
    }
    BlendAlphaRow32(d, s, a, (int32_t)w);
  }
}

void BlitShapeImage(const DrawTarget *target, int32_t x, int32_t y, const BitMap *bitmap, const Mask *mask,
                    const AlphaChannel *alpha, int32_t width, int32_t height) {
  if (!target || !bitmap || bitmap->bytesPerPixel != 4 || (!mask && !alpha)) return;
  int64_t bx = x, by = y, bw = width, bh = height;
  const DrawClip clip = TargetClipRect(target);
  if (!Intersect(&bx, &by, &bw, &bh, clip.x, clip.y, clip.width, clip.height)) return;
  if (!Intersect(&bx, &by, &bw, &bh, 0, 0, target->width, target->height)) return;
  if (target->bitmap && !Intersect(&bx, &by, &bw, &bh, 0, 0, target->bitmap->width, target->bitmap->height)) return;
  if (target->mask && !Intersect(&bx, &by, &bw, &bh, 0, 0, target->mask->width, target->mask->height)) return;
  if (target->alpha && !Intersect(&bx, &by, &bw, &bh, 0, 0, target->alpha->width, target->alpha->height)) return;
  if (clip.mask && !Intersect(&bx, &by, &bw, &bh, clip.x, clip.y, clip.mask->width, clip.mask->height)) return;
  const int64_t sx = bx - x, sy = by - y;
  const PixelFormat format = target->bitmap ? target->bitmap->format : PIXFMT_BGRX32;
  if (target->bitmap && target->bitmap->bytesPerPixel != PixelFormatBytes(format)) return;
  if (alpha && target->bitmap && format == PIXFMT_BGRX32 && bitmap->format == PIXFMT_BGRX32 && !target->mask &&
      !target->alpha && !clip.mask) {
    BlitAlphaRows32(target->bitmap, bx, by, bw, bh, sx, sy, bitmap, alpha);
    return;
  }
  WithFormat(format, [&](auto layout) {
    BlitRows<decltype(layout)>(target, bx, by, bw, bh, sx, sy, bitmap, mask, alpha, clip);
  });
}

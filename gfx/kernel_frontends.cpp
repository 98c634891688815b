// Front ends that pick a kernel's member by the bytes per pixel of a locked
// bitmap. Pixel sizes other than 4, 3 and 2 change nothing.
#include "gfx/kernels.h"

static inline uint8_t *PixelAt(const BitMapInfo *info, int32_t x, int32_t y) {
  return info->pixels + ((ptrdiff_t)y * info->modulo + x) * info->bytesPerPixel;
}

void InvertRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!info || !info->valid) return;
  uint8_t *p = PixelAt(info, x, y);
  switch (info->bytesPerPixel) {
    case 4: InvertPixels32(p, width, height, info->modulo); break;
    case 3: InvertPixels24(p, width, height, info->modulo); break;
    case 2: InvertPixels16(p, width, height, info->modulo); break;
  }
}

void TintRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
              int32_t level) {
  if (!info || !info->valid) return;
  switch (info->bytesPerPixel) {
    case 4: TintPixels32(info->pixels, x, y, width, height, rgb, level, info->modulo, info->format); break;
    case 3: TintPixels24(info->pixels, x, y, width, height, rgb, level, info->modulo, info->format); break;
    case 2:
      TintPixels16(info->pixels, x, y, width, height, RGBToPixel(rgb, PIXFMT_RGB16), level, info->modulo,
                   info->format);
      break;
  }
}

void GrayRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!info || !info->valid) return;
  uint8_t *p = PixelAt(info, x, y);
  switch (info->bytesPerPixel) {
    case 4: BrushToGray32(p, width, height, info->format, info->modulo); break;
    case 3: BrushToGray24(p, width, height, info->format, info->modulo); break;
    case 2: BrushToGray16(p, width, height, info->format, info->modulo); break;
  }
}

void ReplaceColorsRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height,
                       const uint32_t *pairs, uint32_t compareMask) {
  if (!info || !info->valid) return;
  uint8_t *p = PixelAt(info, x, y);
  switch (info->bytesPerPixel) {
    case 4: ReplaceColors32(width, height, pairs, p, info->modulo, compareMask); break;
    case 3: ReplaceColors24(width, height, pairs, p, info->modulo); break;
    case 2: ReplaceColors16(width, height, pairs, p, info->modulo); break;
  }
}

void MaskFromKeyColorRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height,
                          uint8_t *mask, int32_t maskBytesPerRow, uint32_t key, uint32_t compareMask) {
  if (!info || !info->valid || !mask) return;
  const uint8_t *p = PixelAt(info, x, y);
  switch (info->bytesPerPixel) {
    case 4: MaskFromKeyColor32(p, mask, width, height, maskBytesPerRow, key, info->modulo, compareMask); break;
    case 3: MaskFromKeyColor24(p, mask, width, height, maskBytesPerRow, key, info->modulo); break;
    case 2: MaskFromKeyColor16(p, mask, width, height, maskBytesPerRow, key, info->modulo); break;
  }
}

void BlendRect(const BitMapInfo *src, int32_t sx, int32_t sy, const BitMapInfo *dst, int32_t dx, int32_t dy,
               int32_t width, int32_t height, const Mask *mask, int32_t level) {
  if (!src || !dst || !src->valid || !dst->valid || src->bytesPerPixel != dst->bytesPerPixel) return;
  BlendPlanes pl = {PixelAt(src, sx, sy), PixelAt(dst, dx, dy),
                    mask ? mask->pixels + (ptrdiff_t)sy * mask->bytesPerRow : nullptr, sx};
  const int32_t mbpr = mask ? mask->bytesPerRow : 0;
  switch (dst->bytesPerPixel) {
    case 4: BlendPixels32(&pl, width, height, level, dst->format, src->modulo, dst->modulo, mbpr); break;
    case 3: BlendPixels24(&pl, width, height, level, dst->format, src->modulo, dst->modulo, mbpr); break;
    case 2: BlendPixels16(&pl, width, height, level, dst->format, src->modulo, dst->modulo, mbpr); break;
  }
}

void AlphaBitMapRect(const BitMapInfo *src, int32_t sx, int32_t sy, const BitMapInfo *dst, int32_t dx,
                     int32_t dy, int32_t width, int32_t height, const AlphaChannel *alpha, int32_t ax, int32_t ay,
                     int32_t level) {
  if (!src || !dst || !alpha || !src->valid || !dst->valid || src->bytesPerPixel != dst->bytesPerPixel) return;
  switch (dst->bytesPerPixel) {
    case 4:
      BltAlphaBitMapLevel32(src->pixels, sx, sy, ax, ay, src->modulo, dst->pixels, dx, dy, dst->modulo, width,
                            height, alpha->pixels, alpha->bytesPerRow, dst->format, level);
      break;
    case 3:
      BltAlphaBitMapLevel24(src->pixels, sx, sy, ax, ay, src->modulo, dst->pixels, dx, dy, dst->modulo, width,
                            height, alpha->pixels, alpha->bytesPerRow, dst->format, level);
      break;
    case 2:
      BltAlphaBitMapLevel16(src->pixels, sx, sy, ax, ay, src->modulo, dst->pixels, dx, dy, dst->modulo, width,
                            height, alpha->pixels, alpha->bytesPerRow, dst->format, level);
      break;
  }
}

void AlphaChannelRect(const BitMapInfo *dst, AlphaChannelBltParams *p) {
  if (!dst || !dst->valid || !p) return;
  p->dst = dst->pixels;
  p->dstModulo = dst->modulo;
  p->format = dst->format;
  switch (dst->bytesPerPixel) {
    case 4: BltAlphaChannel32(p); break;
    case 3: BltAlphaChannel24(p); break;
    case 2: BltAlphaChannel16(p); break;
  }
}

void GradientRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                  uint32_t rgb2, int32_t angle) {
  if (!info || !info->valid) return;
  switch (info->bytesPerPixel) {
    case 4: DrawGradient32(info->pixels, x, y, width, height, rgb1, rgb2, angle, info->modulo, info->format); break;
    case 3: DrawGradient24(info->pixels, x, y, width, height, rgb1, rgb2, angle, info->modulo, info->format); break;
    case 2: DrawGradient16(info->pixels, x, y, width, height, rgb1, rgb2, angle, info->modulo, info->format); break;
  }
}

int FloodFillRect(const BitMapInfo *info, int32_t x, int32_t y, uint32_t borderRgb, uint32_t fillRgb) {
  if (!info || !info->valid) return 0;
  FloodFillRecord rec = {info->pixels, info->width, info->height, info->modulo,
                         RGBToPixel(borderRgb, info->format), RGBToPixel(fillRgb, info->format), 0, 0};
  switch (info->bytesPerPixel) {
    case 4: return FloodFill32(&rec, x, y, info->format == PIXFMT_XRGB32 ? 0xFFFFFFu : 0xFFFFFF00u);
    case 3: return FloodFill24(&rec, x, y);
    case 2: return FloodFill16(&rec, x, y);
  }
  return 0;
}

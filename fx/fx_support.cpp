// Speed and frame arithmetic, clipped copies, the layer transition buffers and the display
// hooks shared by every effect routine.
#include "fx/fx_support.h"

#include <cstring>
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "runtime/memory.h"

namespace {
FxHooks gHooks;
}

void FxSetHooks(const FxHooks *hooks) {
  if (hooks) gHooks = *hooks;
  else memset(&gHooks, 0, sizeof gHooks);
}

const FxHooks *FxGetHooks(void) { return &gHooks; }

int32_t FxStepsForSpeed(int32_t speed, int32_t distance, int32_t normal, int32_t fast, int32_t slow) {
  int32_t step;
  switch (speed) {
    case FXSPEED_NORMAL: step = normal > 0 ? distance / normal : 1; break;
    case FXSPEED_FAST: step = fast > 0 ? distance / fast : 1; break;
    case FXSPEED_SLOW: step = slow > 0 ? distance / slow : 1; break;
    default: step = speed; break;
  }
  return step < 1 ? 1 : step;
}

int32_t FxCeilDiv(int32_t numerator, int32_t divisor, int exact) {
  if (numerator < 1) return 1;
  if (divisor < 1) divisor = 1;
  int32_t q = numerator / divisor;
  if (numerator % divisor) q++;
  return exact ? q : q + 1;
}

// One axis of a clipped copy: a negative start on either side moves both starts and shrinks
// the length; the length is then cut at both far edges.
static int ClipAxis(int32_t *s, int32_t *d, int32_t *len, int32_t srcSize, int32_t dstSize) {
  if (*s < 0) {
    *d -= *s;
    *len += *s;
    *s = 0;
  }
  if (*d < 0) {
    *s -= *d;
    *len += *d;
    *d = 0;
  }
  if (*s + *len > srcSize) *len = srcSize - *s;
  if (*d + *len > dstSize) *len = dstSize - *d;
  return *len >= 1;
}

int FxClipPair(int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy, int32_t *width, int32_t *height,
               int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight) {
  return ClipAxis(sx, dx, width, srcWidth, dstWidth) && ClipAxis(sy, dy, height, srcHeight, dstHeight);
}

void FxCopyRegion(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t width,
                  int32_t height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight) {
  if (!src || !dst) return;
  if (!FxClipPair(&sx, &sy, &dx, &dy, &width, &height, srcWidth, srcHeight, dstWidth, dstHeight)) return;
  BltBitMap(src, sx, sy, dst, dx, dy, width, height);
}

void FxSafeBlt(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
               int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
               int32_t dstHeight, const Mask *mask, const AlphaChannel *alpha, int32_t blitFlags) {
  if (!src) return;
  if (!dst) {
    if (gHooks.drawToDisplay && width > 0 && height > 0)
      gHooks.drawToDisplay(r, src, sx, sy, dx, dy, width, height, mask, alpha, blitFlags);
    return;
  }
  if (!FxClipPair(&sx, &sy, &dx, &dy, &width, &height, srcWidth, srcHeight, dstWidth, dstHeight)) return;
  if (alpha) BltAlphaBitMap(src, sx, sy, dst, dx, dy, width, height, alpha);
  else if (mask) BltMask(src, sx, sy, dst, dx, dy, width, height, mask);
  else BltBitMap(src, sx, sy, dst, dx, dy, width, height);
}

int FxRefreshSources(TransitionRecord *r, int which) {
  return gHooks.refreshSources ? gHooks.refreshSources(r, which) : 0;
}

void FxBlitRegion(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, const Mask *mask,
                  const AlphaChannel *alpha, int32_t flags) {
  if (gHooks.blitRegion && width > 0 && height > 0)
    gHooks.blitRegion(r, src, sx, sy, dx, dy, width, height, srcWidth, srcHeight, mask, alpha, flags);
}

int FxLayerBuffers(TransitionRecord *r, FxLayerView *view) {
  memset(view, 0, sizeof *view);
  if (!r->layer || !gHooks.layerView) return 0;
  return gHooks.layerView(r->layer, view);
}

void FxRevealLayer(TransitionRecord *r) {
  if (r->layer && gHooks.revealLayer) gHooks.revealLayer(r->layer);
}

void FxFillRect(TransitionRecord *r, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                int32_t flags) {
  if (width < 1 || height < 1) return;
  if (r->realTimeLayer) {
    FxLayerView v;
    if (!FxLayerBuffers(r, &v) || !v.bitmap) return;
    int32_t sx = x, sy = y;
    if (!FxClipPair(&sx, &sy, &x, &y, &width, &height, v.width, v.height, v.width, v.height)) return;
    RectFillBitMap(v.bitmap, x, y, width, height, rgb);
    if (!(flags & FXDRAW_NOREFRESH))
      FxBlitRegion(r, v.bitmap, x, y, v.x + x, v.y + y, width, height, v.width, v.height, v.mask, v.alpha, flags);
    return;
  }
  BitMap *target = r->displayScaled && gHooks.backBuffer ? gHooks.backBuffer() : r->target;
  x += r->x;
  y += r->y;
  if (!target) {
    if (gHooks.fillWindow) gHooks.fillWindow(x, y, width, height, rgb);
    return;
  }
  int32_t sx = x, sy = y;
  if (!FxClipPair(&sx, &sy, &x, &y, &width, &height, target->width, target->height, target->width, target->height))
    return;
  RectFillBitMap(target, x, y, width, height, rgb);
}

// Copies the source pixels whose alpha is not 0. The transition alpha already carries the
// translucency; mixing the colours here as well would apply it twice when the layer is drawn.
static void CopyWhereVisible(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
                             int32_t width, int32_t height, const AlphaChannel *alpha) {
  const int32_t bpp = src->bytesPerPixel;
  if (bpp != dst->bytesPerPixel) return;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *a = alpha->pixels + (ptrdiff_t)(sy + y) * alpha->bytesPerRow + sx;
    const uint8_t *s = src->pixels + (ptrdiff_t)(sy + y) * src->bytesPerRow + (ptrdiff_t)sx * bpp;
    uint8_t *d = dst->pixels + (ptrdiff_t)(dy + y) * dst->bytesPerRow + (ptrdiff_t)dx * bpp;
    for (int32_t x = 0; x < width; x++)
      if (a[x]) memcpy(d + (ptrdiff_t)x * bpp, s + (ptrdiff_t)x * bpp, (size_t)bpp);
  }
}

void FxDrawStep(const BitMap *src, int32_t sx, int32_t sy, BitMap *fxBitMap, Mask *fxMask, AlphaChannel *fxAlpha,
                int32_t dx, int32_t dy, int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight,
                int32_t dstWidth, int32_t dstHeight, const Mask *srcMask, const AlphaChannel *srcAlpha,
                TransitionRecord *r, int32_t flags) {
  if (sx < 0 || sy < 0) return;
  if (!FxClipPair(&sx, &sy, &dx, &dy, &width, &height, srcWidth, srcHeight, dstWidth, dstHeight)) return;
  const int keepExtra = (flags & FXDRAW_KEEPEXTRA) != 0;
  if (flags & FXDRAW_ERASE) {
    if (fxAlpha) {
      FillAlphaChannelRect(fxAlpha, dx, dy, width, height, 0);
      if (!keepExtra && r && r->extraAlpha) FillAlphaChannelRect(r->extraAlpha, dx, dy, width, height, 0);
    } else if (fxMask) {
      FillMaskRect(fxMask, dx, dy, width, height, MASKINVISIBLE);
      if (!keepExtra && r && r->extraMask) FillMaskRect(r->extraMask, dx, dy, width, height, MASKINVISIBLE);
    }
    if (!r) return;
  } else {
    if (srcMask) {
      if (fxMask)
        BltMaskToMask(srcMask, sx, sy, fxMask, dx, dy, width, height,
                      (flags & FXDRAW_COMBINE) ? MASKVISIBLE : MASKVANILLACOPY);
      if (!keepExtra && r && r->extraMask) FillMaskRect(r->extraMask, dx, dy, width, height, MASKVISIBLE);
    } else if (srcAlpha) {
      if (fxAlpha)
        CombineAlphaChannelsClipped(srcAlpha, sx, sy, fxAlpha, dx, dy, width, height,
                                    (flags & FXDRAW_COMBINE) ? 1 : 0, 0, srcWidth, srcHeight, dstWidth, dstHeight);
      if (!keepExtra && r && r->extraAlpha) FillAlphaChannelRect(r->extraAlpha, dx, dy, width, height, 255);
    } else if (fxMask) {
      FillMaskRect(fxMask, dx, dy, width, height, MASKVISIBLE);
    } else if (fxAlpha) {
      // An opaque source in alpha buffers: the piece becomes fully visible.
      FillAlphaChannelRect(fxAlpha, dx, dy, width, height, 255);
    }
    if (fxBitMap && src) {
      if ((flags & FXDRAW_BLEND) && srcMask) BltMask(src, sx, sy, fxBitMap, dx, dy, width, height, srcMask);
      else if ((flags & FXDRAW_BLEND) && srcAlpha)
        CopyWhereVisible(src, sx, sy, fxBitMap, dx, dy, width, height, srcAlpha);
      else BltBitMap(src, sx, sy, fxBitMap, dx, dy, width, height);
    }
    if (!r) return;
  }
  if (!(flags & FXDRAW_NOREFRESH) && r->layer)
    FxBlitRegion(r, src, sx, sy, r->x + dx, r->y + dy, width, height, srcWidth, srcHeight, srcMask, srcAlpha, flags);
}

void ExpandMask1To8(const Mask *mask, AlphaChannel *alpha, int32_t width, int32_t height) {
  if (!mask || !alpha) return;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *m = mask->pixels + (ptrdiff_t)y * mask->bytesPerRow;
    uint8_t *a = alpha->pixels + (ptrdiff_t)y * alpha->bytesPerRow;
    for (int32_t x = 0; x < width; x++) a[x] = MaskRowBit(m, x) ? 255 : 0;
  }
}

void PrepareFxMask(AlphaChannel *alpha, const Mask *mask, const AlphaChannel *srcAlpha, int32_t width,
                   int32_t height) {
  if (!alpha) return;
  if (mask) ExpandMask1To8(mask, alpha, width, height);
  else if (!srcAlpha) memset(alpha->pixels, 255, (size_t)alpha->bytesPerRow * (size_t)height);
  else CombineAlphaChannelsClipped(srcAlpha, 0, 0, alpha, 0, 0, width, height, 0, 0, width, height, width, height);
}

void FxDrawPiece(TransitionRecord *r, int32_t sx, int32_t sy, int32_t width, int32_t height) {
  // Pieces may reach past the image (bands beyond the last row, strips left of column 0):
  // only their part inside it is drawn.
  int32_t dx = sx, dy = sy;
  if (!FxClipPair(&sx, &sy, &dx, &dy, &width, &height, r->width, r->height, r->width, r->height)) return;
  if (r->realTimeLayer) {
    FxLayerView v;
    if (!FxLayerBuffers(r, &v)) return;
    int32_t flags = (r->reverse ? FXDRAW_ERASE : 0) | (r->noRefresh ? FXDRAW_NOREFRESH : 0);
    FxDrawStep(r->source, sx, sy, v.bitmap, v.mask, v.alpha, sx, sy, width, height, r->width, r->height, v.width,
               v.height, r->mask, r->alpha, r, flags);
    return;
  }
  FxSafeBlt(r, r->source, sx, sy, r->target, r->x + sx, r->y + sy, width, height, r->width, r->height,
            r->pictureWidth, r->pictureHeight, r->mask, r->alpha, r->blitFlags);
}

void FxEndFrame(TransitionRecord *r) {
  if (r->phase != FXPHASE_RUN) return;
  if (r->displayScaled && !r->noRefresh && gHooks.bltToWindow)
    gHooks.bltToWindow(0, 0, r->pictureWidth, r->pictureHeight);
  r->frame++;
}

int FxAllocPrivate(TransitionRecord *r, size_t size) {
  MemFree(r->privateState);
  r->privateState = MemAlloc(size, 1);
  return r->privateState ? 0 : 1000;
}

bool FxBeginFrame(TransitionRecord *r) {
  if (r->phase != FXPHASE_RUN) return false;
  FxRevealLayer(r);
  return true;
}

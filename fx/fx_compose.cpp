#include "fx/fx_compose.h"

#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/kernels.h"
#include "gfx/scale.h"

int32_t FxQuietFlags(const TransitionRecord *r) {
  return r->phase == FXPHASE_SEEK || r->noRefresh ? FXDRAW_NOREFRESH : 0;
}

// Clips a piece to the object's area (destination) and to the picture (source).
static bool ClipPiece(const TransitionRecord *r, const BitMap *bm, int32_t *sx, int32_t *sy, int32_t *w,
                      int32_t *h, int32_t *dx, int32_t *dy) {
  return FxClipPair(sx, sy, dx, dy, w, h, bm->width, bm->height, r->width, r->height) != 0;
}

void FxPut(TransitionRecord *r, FxPic pic, int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t dx,
           int32_t dy, int32_t flags) {
  if (!pic.bitmap || !ClipPiece(r, pic.bitmap, &sx, &sy, &width, &height, &dx, &dy)) return;
  if (r->realTimeLayer) {
    FxLayerView v;
    if (!FxLayerBuffers(r, &v)) return;
    FxDrawStep(pic.bitmap, sx, sy, v.bitmap, v.mask, v.alpha, dx, dy, width, height, pic.bitmap->width,
               pic.bitmap->height, v.width, v.height, pic.mask, pic.alpha, r, flags | FxQuietFlags(r));
    return;
  }
  FxSafeBlt(r, pic.bitmap, sx, sy, r->target, r->x + dx, r->y + dy, width, height, pic.bitmap->width,
            pic.bitmap->height, r->pictureWidth, r->pictureHeight, pic.mask, pic.alpha, r->blitFlags);
}

void FxClearArea(TransitionRecord *r, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags) {
  if (r->realTimeLayer) {
    FxLayerView v;
    if (!FxLayerBuffers(r, &v)) return;
    int32_t sx = x, sy = y;
    if (!FxClipPair(&sx, &sy, &x, &y, &width, &height, v.width, v.height, v.width, v.height)) return;
    FxDrawStep(nullptr, x, y, v.bitmap, v.mask, v.alpha, x, y, width, height, v.width, v.height, v.width, v.height,
               nullptr, nullptr, r, flags | FXDRAW_ERASE | FxQuietFlags(r));
    return;
  }
  FxPut(r, FxBeforePic(r), x, y, width, height, x, y, 0);
}

void FxMaskedBlit(TransitionRecord *r, const BitMap *src, int32_t x, int32_t y, int32_t width, int32_t height,
                  const Mask *mask, const AlphaChannel *alpha, BitMap *frame, int32_t flags) {
  if (!src) return;
  if (r->realTimeLayer || (!mask && !alpha) || !r->before || !frame) {
    FxPut(r, FxPic{src, mask, alpha}, x, y, width, height, x, y, flags);
    return;
  }
  int32_t sx = x, sy = y;
  if (!FxClipPair(&sx, &sy, &x, &y, &width, &height, src->width, src->height, frame->width, frame->height)) return;
  FxCopyRegion(r->before, x, y, frame, x, y, width, height, r->before->width, r->before->height, frame->width,
               frame->height);
  FxSafeBlt(r, src, x, y, frame, x, y, width, height, src->width, src->height, frame->width, frame->height, mask,
            alpha, 3);
  FxPut(r, FxPic{frame, nullptr, nullptr}, x, y, width, height, x, y, flags);
}

void FxEndLayerFrame(TransitionRecord *r) {
  if (r->phase != FXPHASE_RUN) return;
  if (r->realTimeLayer && !r->noRefresh) {
    FxLayerView v;
    if (FxLayerBuffers(r, &v))
      FxBlitRegion(r, v.bitmap, 0, 0, v.x, v.y, v.width, v.height, v.width, v.height, v.mask, v.alpha, 32);
  }
  FxEndFrame(r);
}

int32_t FxSpeedValue(int32_t speed, int32_t normal, int32_t fast, int32_t slow) {
  switch (speed) {
    case FXSPEED_NORMAL: return normal;
    case FXSPEED_FAST: return fast;
    case FXSPEED_SLOW: return slow;
    default: return speed;
  }
}

void ClipAlphaByMask(const Mask *mask, AlphaChannel *dst, const AlphaChannel *src, int32_t width, int32_t height,
                     int invert) {
  if (!mask || !dst) return;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *m = mask->pixels + (ptrdiff_t)y * mask->bytesPerRow;
    const uint8_t *s = src ? src->pixels + (ptrdiff_t)y * src->bytesPerRow : nullptr;
    uint8_t *d = dst->pixels + (ptrdiff_t)y * dst->bytesPerRow;
    for (int32_t x = 0; x < width; x++) d[x] = (MaskRowBit(m, x) != invert) ? (s ? s[x] : 255) : 0;
  }
}

FxScaled::~FxScaled() { FreeTriple(bitmap, mask, alpha); }

int FxScalePic(FxPic pic, int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dw, int32_t dh, FxScaled *out) {
  if (!pic.bitmap || sw < 1 || sh < 1 || dw < 1 || dh < 1) return 0;
  return ScaleBitMapTriple(pic.bitmap, pic.mask, pic.alpha, sx, sy, nullptr, sw, sh, dw, dh, 0, &out->bitmap,
                           &out->mask, &out->alpha);
}

AlphaChannel *FxPrepareAlpha(const TransitionRecord *r) {
  AlphaChannel *a = AllocAlphaChannel(FxAtLeast1(r->width), FxAtLeast1(r->height), 1);
  if (a) PrepareFxMask(a, r->mask, r->alpha, r->width, r->height);
  return a;
}

// The part of the layer's buffers the object covers.
static bool LayerSize(TransitionRecord *r, FxLayerView *v, int32_t *w, int32_t *h) {
  if (!FxLayerBuffers(r, v)) return false;
  *w = r->width < v->width ? r->width : v->width;
  *h = r->height < v->height ? r->height : v->height;
  return *w > 0 && *h > 0;
}

void FxCopySourceToLayer(TransitionRecord *r) {
  FxLayerView v;
  int32_t w, h;
  if (r->source && LayerSize(r, &v, &w, &h) && v.bitmap) BltBitMap(r->source, 0, 0, v.bitmap, 0, 0, w, h);
}

void FxSetLayerVisibility(TransitionRecord *r, int visible) {
  FxLayerView v;
  int32_t w, h;
  if (!LayerSize(r, &v, &w, &h)) return;
  if (v.alpha) {
    if (!visible) FillAlphaChannelRect(v.alpha, 0, 0, w, h, 0);
    else if (r->alpha) CombineAlphaChannelsClipped(r->alpha, 0, 0, v.alpha, 0, 0, w, h, 0, 0, w, h, w, h);
    else if (r->mask) {
      FillAlphaChannelRect(v.alpha, 0, 0, w, h, 0);
      MaskToAlphaRect(r->mask, 0, 0, v.alpha, 0, 0, w, h, 255);
    }
    else FillAlphaChannelRect(v.alpha, 0, 0, w, h, 255);
  }
  if (v.mask) {
    if (!visible) FillMaskRect(v.mask, 0, 0, w, h, MASKINVISIBLE);
    else if (r->mask) BltMaskToMask(r->mask, 0, 0, v.mask, 0, 0, w, h, MASKVANILLACOPY);
    else FillMaskRect(v.mask, 0, 0, w, h, MASKVISIBLE);
  }
}

void FxScaleLayerVisibility(TransitionRecord *r, const AlphaChannel *prepared, int32_t level) {
  FxLayerView v;
  int32_t w, h;
  if (!LayerSize(r, &v, &w, &h)) return;
  if (!v.alpha || !prepared) {
    FxSetLayerVisibility(r, level >= 128);
    return;
  }
  for (int32_t y = 0; y < h; y++)
    ScaleAlpha(prepared->pixels + (ptrdiff_t)y * prepared->bytesPerRow, v.alpha->pixels + (ptrdiff_t)y * v.alpha->bytesPerRow,
               level, w, 1);
}

void FxUncover(TransitionRecord *r, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (r->reverse) FxClearArea(r, x, y, width, height, 0);
  else FxPut(r, FxSourcePic(r), x, y, width, height, x, y, 0);
}

void FxRestartArea(TransitionRecord *r) {
  if (r->rebuilding) return;
  if (r->realTimeLayer && r->reverse) {
    FxCopySourceToLayer(r);
    FxSetLayerVisibility(r, 1);
  } else {
    FxClearArea(r, 0, 0, r->width, r->height, 0);
  }
}

int FxOffsetSetup(TransitionRecord *r, int32_t step, int32_t frames) {
  if (FxAllocPrivate(r, sizeof(FxOffsetState))) return 1000;
  r->speed = step;
  r->frames = frames;
  FxOffsets(r)->offset = step;
  return 0;
}

bool FxBeginOffsetFrame(TransitionRecord *r) {
  if (r->phase == FXPHASE_SEEK) FxOffsets(r)->offset = r->frame * r->speed;
  else if (r->phase == FXPHASE_RUN) FxRevealLayer(r);
  else return false;
  return true;
}

void FxFillBand(TransitionRecord *r, int t, int32_t u, int32_t length, uint32_t rgb, int32_t flags) {
  if (length < 1) return;
  if (t) FxFillRect(r, 0, u, r->width, length, rgb, flags);
  else FxFillRect(r, u, 0, length, r->height, rgb, flags);
}

#include "fx/fx_compose.h"

#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
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

// STRUDEL (the old picture swirls into the new one) and WATER1-4 (ripples spread from the
// centre while the pictures cross-fade). The per-pixel work is done by the swirl and water
// kernels on the locked pictures; their sine, cosine and distance tables are built at set-up.
// Outside real-time layer mode a frame is mixed into a frame buffer and copied to the target;
// in real-time layer mode the source is bent into the layer's transition bitmap and its alpha
// scaled by the mix level.
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/transition_kernels.h"

namespace {

// What both effects keep beside their kernel record.
struct RippleBuffers {
  BitMap *frame;        // outside real-time layer mode
  AlphaChannel *trans;  // the source's visibility, real-time layer mode
  int32_t progress;     // the angle (STRUDEL) or the frame number (WATER)
};

struct StrudelState {
  RippleBuffers b;
  StrudelRecord kernel;
};

struct WaterState {
  RippleBuffers b;
  WaterRecord kernel;
};

int32_t RowPixels(const BitMap *bm) { return bm->bytesPerPixel ? bm->bytesPerRow / bm->bytesPerPixel : 0; }

// Buffers of set-up (and of a seek in real-time layer mode: the visibility rebuilt). 0 or 1000.
int RippleSetup(TransitionRecord *r, RippleBuffers *b) {
  if (r->realTimeLayer) {
    FreeAlphaChannel(b->trans);
    return (b->trans = FxPrepareAlpha(r)) ? 0 : 1000;
  }
  if (b->frame) return 0;
  return (b->frame = AllocBitMap(r->width, r->height)) ? 0 : 1000;
}

// The planes a kernel frame reads and writes: new picture, old picture, destination, and in
// real-time layer mode the visibility planes. False when a bitmap is missing or cannot be
// locked; the frame is then drawn without the kernel pass.
template <class K>
bool FillPlanes(TransitionRecord *r, RippleBuffers *b, K *k, BitMapInfo *dst) {
  BitMapInfo src;
  if (!LockBitMap(r->source, &src)) return false;
  UnLockBitMap();
  FxLayerView v{};
  BitMap *out = b->frame;
  if (r->realTimeLayer) {
    if (!FxLayerBuffers(r, &v)) return false;
    out = v.bitmap;
  }
  if (!LockBitMap(out, dst)) return false;
  UnLockBitMap();
  if (out->bytesPerPixel != src.bytesPerPixel || out->width < r->width || out->height < r->height) return false;
  k->target = src.pixels;
  k->targetModulo = src.modulo;
  k->dst = dst->pixels;
  k->dstModulo = dst->modulo;
  k->format = src.format;
  k->width = r->width;
  k->height = r->height;
  k->reverse = r->reverse;
  const BitMap *old = r->realTimeLayer || !r->before ? r->source : r->before;
  k->start = old->pixels;
  k->startModulo = RowPixels(old);
  k->srcPlane = r->realTimeLayer && b->trans ? b->trans->pixels : nullptr;
  k->srcPlaneBytesPerRow = b->trans ? b->trans->bytesPerRow : 0;
  k->dstPlane = r->realTimeLayer && v.alpha ? v.alpha->pixels : nullptr;
  k->dstPlaneBytesPerRow = v.alpha ? v.alpha->bytesPerRow : 0;
  // A source plane without a destination plane would leave the layer's mask as it was: the
  // kernel then writes the pixels only and the mask follows the mix level.
  return true;
}

// Shows a mixed frame at `level` (0-255): the frame buffer onto the target, or the layer's
// visibility when the layer has a mask instead of an alpha channel.
void ShowRipple(TransitionRecord *r, RippleBuffers *b, int32_t level) {
  if (r->realTimeLayer) {
    FxLayerView v;
    if (FxLayerBuffers(r, &v) && !v.alpha) FxSetLayerVisibility(r, r->reverse ? level < 128 : level >= 128);
    return;
  }
  FxPut(r, FxPic{b->frame, nullptr, nullptr}, 0, 0, r->width, r->height, 0, 0, 0);
}

// The end of both effects: the source itself with its own visibility, or nothing on a layer
// being hidden.
void FinishRipple(TransitionRecord *r, RippleBuffers *b) {
  if (!r->realTimeLayer) {
    FxMaskedBlit(r, r->source, 0, 0, r->width, r->height, r->mask, r->alpha, b->frame, 0);
    return;
  }
  if (!r->reverse) FxCopySourceToLayer(r);
  FxSetLayerVisibility(r, !r->reverse);
}

int FxStrudelSetup(TransitionRecord *r) { return RippleSetup(r, &((StrudelState *)r->privateState)->b); }
int FxWaterSetup(TransitionRecord *r) { return RippleSetup(r, &((WaterState *)r->privateState)->b); }

void FreeRipple(RippleBuffers *b) {
  FreeBitMap(b->frame);
  FreeAlphaChannel(b->trans);
  b->frame = nullptr;
  b->trans = nullptr;
}

}  // namespace

int FxStrudel(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(StrudelState))) return 1000;
    StrudelState *st = (StrudelState *)r->privateState;
    r->speed = FxClamp(FxSpeedValue(r->speed, 8, 16, 4), 2, 16);
    r->frames = FxCeilDiv(720, r->speed, 1);
    st->kernel.width = r->width;
    st->kernel.height = r->height;
    if (StrudelRotate(&st->kernel)) return 1000;
    return FxStrudelSetup(r);
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  StrudelState *st = (StrudelState *)r->privateState;
  if (r->phase == FXPHASE_SEEK) {
    st->b.progress = r->frame * r->speed;
    if (r->realTimeLayer && FxStrudelSetup(r)) return 1000;
  } else {
    FxRevealLayer(r);
    st->b.progress += r->speed;
  }
  const int32_t angle = st->b.progress;
  if (angle < 720) {
    BitMapInfo dst;
    if (FillPlanes(r, &st->b, &st->kernel, &dst)) {
      if (dst.bytesPerPixel == 4) StrudelStep32(&st->kernel, angle);
      else if (dst.bytesPerPixel == 3) StrudelStep24(&st->kernel, angle);
      else if (dst.bytesPerPixel == 2) StrudelStep16(&st->kernel, angle);
    }
    ShowRipple(r, &st->b, angle * 255 / 720);
  } else {
    FxSetDone(done);
    FinishRipple(r, &st->b);
  }
  FxEndLayerFrame(r);
  return 0;
}

void FxStrudelFree(TransitionRecord *r, int) {
  StrudelState *st = (StrudelState *)r->privateState;
  StrudelFree(&st->kernel);
  FreeRipple(&st->b);
}

int FxWater(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(WaterState))) return 1000;
    WaterState *w = (WaterState *)r->privateState;
    const int32_t s = FxClamp(FxSpeedValue(r->speed, 25, 10, 50), 5, 100);
    r->speed = s;
    r->frames = 2 * s;
    static const double kWaveLength[4] = {32.0, 64.0, 16.0, 8.0};
    WaterRecord &k = w->kernel;
    k.width = r->width;
    k.height = r->height;
    k.wavelength = kWaveLength[(r->effect - FX_WATER1) & 3];
    k.ampPerStep = 0.05;
    k.halfSteps = s;
    k.centreX = r->width / 2;
    k.centreY = r->height / 2;
    k.maxDistance = r->width / 2 > r->height / 2 ? r->width / 2 : r->height / 2;
    if (WaterWave(&k)) return 1000;
    return FxWaterSetup(r);
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  WaterState *w = (WaterState *)r->privateState;
  if (r->phase == FXPHASE_SEEK) {
    w->b.progress = r->frame;
    if (r->realTimeLayer && FxWaterSetup(r)) return 1000;
  } else {
    FxRevealLayer(r);
    w->b.progress++;
  }
  const int32_t f = w->b.progress, n = w->kernel.halfSteps;
  if (f < 2 * n) {
    BitMapInfo dst;
    if (FillPlanes(r, &w->b, &w->kernel, &dst)) {
      if (dst.bytesPerPixel == 4) WaterStep32(&w->kernel, f);
      else if (dst.bytesPerPixel == 3) WaterStep24(&w->kernel, f);
      else if (dst.bytesPerPixel == 2) WaterStep16(&w->kernel, f);
    }
    ShowRipple(r, &w->b, f * 255 / (2 * n));
  } else {
    FxSetDone(done);
    FinishRipple(r, &w->b);
  }
  FxEndLayerFrame(r);
  return 0;
}

void FxWaterFree(TransitionRecord *r, int) {
  WaterState *w = (WaterState *)r->privateState;
  WaterFree(&w->kernel);
  FreeRipple(&w->b);
}

// FADE and BLEND (through a colour), CROSSFADE and DISSOLVE (random pixels): the old and the
// new picture mixed pixel by pixel, composed in a frame buffer of the object's size, or in
// real-time layer mode by scaling the layer's transition alpha. All three can seek.
#include <cstring>
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_random.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "gfx/transition_kernels.h"
#include "runtime/memory.h"

namespace {

// ---- FADE and BLEND ----

struct FadeState {
  BitMap *composed;     // before image with the tinted picture over it
  BitMap *tinted;       // the current picture mixed towards the colour
  AlphaChannel *trans;  // the source's visibility (real-time layer mode)
  int32_t showSource;   // the current picture: 0 the before image, 1 the source
  int32_t level;
  uint32_t colour;
};

// Real-time layer set-up: the prepared visibility, and with `fill` the layer filled with the
// colour (it then fades in over what lies below). 0 or 1000.
int FxFadeSetup(TransitionRecord *r, int fill) {
  FadeState *f = (FadeState *)r->privateState;
  FreeAlphaChannel(f->trans);
  if (!(f->trans = FxPrepareAlpha(r))) return 1000;
  FxLayerView v;
  if (!FxLayerBuffers(r, &v)) return 0;
  if (fill && v.bitmap) RectFillBitMap(v.bitmap, 0, 0, v.width, v.height, f->colour);
  else FxScaleLayerVisibility(r, f->trans, 255);
  return 0;
}

// Real-time layer frame at level L with tint t.
void FadeLayerFrame(TransitionRecord *r, FadeState *f, int32_t level, int32_t tint) {
  const bool fade = r->effect == FX_FADE;
  FxLayerView v;
  if (!FxLayerBuffers(r, &v) || !v.bitmap) return;
  if ((fade && !r->reverse && level < 256) || (r->reverse && level >= 257)) {
    if (!r->reverse) RectFillBitMap(v.bitmap, 0, 0, v.width, v.height, f->colour);
    FxScaleLayerVisibility(r, f->trans, tint);
    return;
  }
  FxCopySourceToLayer(r);
  if (tint > 0) TintBitMapRect(v.bitmap, 0, 0, r->width < v.width ? r->width : v.width,
                               r->height < v.height ? r->height : v.height, f->colour, tint);
  // Past the colour the source shows with its own visibility, whatever the fade-in left.
  if (!r->reverse) FxScaleLayerVisibility(r, f->trans, 255);
}

void FadeFrame(TransitionRecord *r, FadeState *f, int32_t tint) {
  const BitMap *pic = f->showSource || !r->before ? r->source : r->before;
  BltBitMap(pic, 0, 0, f->tinted, 0, 0, r->width, r->height);
  if (tint > 0) TintBitMapRect(f->tinted, 0, 0, r->width, r->height, f->colour, tint);
  FxMaskedBlit(r, f->tinted, 0, 0, r->width, r->height, r->mask, r->alpha, f->composed, 0);
}

// ---- CROSSFADE ----

struct CrossFadeState {
  int32_t level;
  BitMap *frame;
  AlphaChannel *trans;
};

// ---- DISSOLVE ----

struct DissolveState {
  BitMap *frame;
  Mask *shown;        // the pixels shown so far (outside real-time layer mode)
  uint8_t *table;     // one random threshold 0-254 a pixel
  int32_t level;
  DissolveRecord kernel;
};

}  // namespace

int FxFade(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(FadeState))) return 1000;
    FadeState *f = (FadeState *)r->privateState;
    int32_t s = FxSpeedValue(r->speed, 10, 20, 5);
    s = s < 1 ? 10 : s > 255 ? 255 : s;
    r->speed = s;
    r->frames = FxCeilDiv(511 - s, s, 0);
    f->colour = r->parameter == FX_RANDOMPARAMETER ? (uint32_t)(FxRand() % 16777216) : (uint32_t)r->parameter & 0xFFFFFF;
    f->level = s;
    f->showSource = r->effect == FX_BLEND;
    if (r->realTimeLayer) return FxFadeSetup(r, r->effect == FX_FADE && !r->reverse);
    f->composed = AllocBitMap(r->width, r->height);
    f->tinted = AllocBitMap(r->width, r->height);
    return f->composed && f->tinted ? 0 : 1000;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  FadeState *f = (FadeState *)r->privateState;
  const int32_t s = r->speed;
  if (r->phase == FXPHASE_SEEK) {
    f->level = r->frame * s;
    f->showSource = r->effect == FX_BLEND || f->level > 255;
    if (r->realTimeLayer) {
      const bool fill = (f->level < 256 && r->effect == FX_FADE && !r->reverse) || (f->level > 256 && r->reverse);
      int rc = FxFadeSetup(r, fill);
      if (rc) return rc;
    }
  } else {
    FxRevealLayer(r);
  }
  int32_t level = f->level, tint;
  if (level < 511) {
    tint = level <= 255 ? level : 255 - (level & 255);
  } else {
    level = 511;
    tint = 0;
    FxSetDone(done);
  }
  if (r->realTimeLayer) FadeLayerFrame(r, f, level, tint);
  else FadeFrame(r, f, tint);
  f->level = level + s;
  if (f->level > 255) f->showSource = 1;
  FxEndLayerFrame(r);
  return 0;
}

void FxFadeFree(TransitionRecord *r, int) {
  FadeState *f = (FadeState *)r->privateState;
  FreeBitMap(f->composed);
  FreeBitMap(f->tinted);
  FreeAlphaChannel(f->trans);
  f->composed = f->tinted = nullptr;
  f->trans = nullptr;
}

int FxCrossFade(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(CrossFadeState))) return 1000;
    CrossFadeState *c = (CrossFadeState *)r->privateState;
    int32_t s = FxSpeedValue(r->speed, 10, 20, 5);
    s = s < 1 ? 10 : s > 120 ? 120 : s;
    r->speed = s;
    r->frames = FxCeilDiv(255, s, 1);
    if (r->realTimeLayer) {
      FxCopySourceToLayer(r);
      return (c->trans = FxPrepareAlpha(r)) ? 0 : 1000;
    }
    return (c->frame = AllocBitMap(r->width, r->height)) ? 0 : 1000;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  CrossFadeState *c = (CrossFadeState *)r->privateState;
  if (r->phase == FXPHASE_SEEK) {
    c->level = r->frame * r->speed;
    if (r->realTimeLayer) {
      FxCopySourceToLayer(r);
      FreeAlphaChannel(c->trans);
      if (!(c->trans = FxPrepareAlpha(r))) return 1000;
    }
  } else {
    FxRevealLayer(r);
    c->level += r->speed;
  }
  if (c->level > 254) {
    c->level = 255;
    FxSetDone(done);
  }
  if (r->realTimeLayer) {
    FxScaleLayerVisibility(r, c->trans, r->reverse ? 255 - c->level : c->level);
  } else {
    BltBitMap(r->source, 0, 0, c->frame, 0, 0, r->width, r->height);
    if (c->level < 255 && r->before)
      BltBitMapTransparent(c->frame, r->before, nullptr, 0, 0, 0, 0, r->width, r->height, 255 - c->level, nullptr,
                           0, 0);
    FxPut(r, FxPic{c->frame, nullptr, nullptr}, 0, 0, r->width, r->height, 0, 0, 0);
  }
  FxEndLayerFrame(r);
  return 0;
}

void FxCrossFadeFree(TransitionRecord *r, int) {
  CrossFadeState *c = (CrossFadeState *)r->privateState;
  FreeBitMap(c->frame);
  FreeAlphaChannel(c->trans);
  c->frame = nullptr;
  c->trans = nullptr;
}

int FxDissolve(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(DissolveState))) return 1000;
    DissolveState *d = (DissolveState *)r->privateState;
    int32_t s = FxSpeedValue(r->speed, 4, 8, 2);
    r->speed = FxClamp(s, 1, 8);
    r->frames = FxCeilDiv(256, r->speed, 1);
    const uint64_t n = r->width > 0 && r->height > 0 ? (uint64_t)r->width * (uint64_t)r->height : 0;
    if (n > kMaxPlaneBytes || !(d->table = (uint8_t *)MemAlloc(n ? (size_t)n : 1, 0))) return 1000;
    FxRandBytes(d->table, (size_t)n, 255);
    d->kernel.thresholds = d->table;
    d->kernel.width = r->width;
    d->kernel.height = r->height;
    d->kernel.direction = r->reverse ? 1 : 0;
    if (r->realTimeLayer) {
      FxCopySourceToLayer(r);
      return 0;
    }
    d->frame = AllocBitMap(r->width, r->height);
    d->shown = AllocMask(nullptr, r->width, r->height, 1);
    if (!d->frame || !d->shown) return 1000;
    // The shown pixels, limited to the source's own mask.
    d->kernel.srcPlane = r->mask ? r->mask->pixels : nullptr;
    d->kernel.srcBytesPerRow = r->mask ? r->mask->bytesPerRow : 0;
    d->kernel.dstPlane = d->shown->pixels;
    d->kernel.dstBytesPerRow = d->shown->bytesPerRow;
    return 0;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  DissolveState *d = (DissolveState *)r->privateState;
  FxLayerView v;
  const bool layer = r->realTimeLayer && FxLayerBuffers(r, &v);
  if (r->phase == FXPHASE_SEEK) {
    d->level = r->frame * r->speed;
    if (r->realTimeLayer) FxCopySourceToLayer(r);
  } else {
    FxRevealLayer(r);
    d->level += r->speed;
  }
  if (layer) {
    // The layer's own visibility plane, limited to the source's.
    if (v.alpha) {
      d->kernel.alpha = 1;
      d->kernel.srcPlane = r->alpha ? r->alpha->pixels : nullptr;
      d->kernel.srcBytesPerRow = r->alpha ? r->alpha->bytesPerRow : 0;
      d->kernel.dstPlane = v.alpha->pixels;
      d->kernel.dstBytesPerRow = v.alpha->bytesPerRow;
    } else {
      d->kernel.alpha = 0;
      d->kernel.srcPlane = r->mask ? r->mask->pixels : nullptr;
      d->kernel.srcBytesPerRow = r->mask ? r->mask->bytesPerRow : 0;
      d->kernel.dstPlane = v.mask ? v.mask->pixels : nullptr;
      d->kernel.dstBytesPerRow = v.mask ? v.mask->bytesPerRow : 0;
    }
  }
  if (d->level < 256) {
    if (layer || !r->realTimeLayer) DissolveStep(&d->kernel, d->level);
    if (!r->realTimeLayer) FxMaskedBlit(r, r->source, 0, 0, r->width, r->height, d->shown, nullptr, d->frame, 0);
  } else {
    FxSetDone(done);
    if (!r->realTimeLayer) FxMaskedBlit(r, r->source, 0, 0, r->width, r->height, r->mask, r->alpha, d->frame, 0);
    else FxSetLayerVisibility(r, !r->reverse);
  }
  FxEndLayerFrame(r);
  return 0;
}

void FxDissolveFree(TransitionRecord *r, int) {
  DissolveState *d = (DissolveState *)r->privateState;
  MemFree(d->table);
  FreeMask(d->shown);
  FreeBitMap(d->frame);
  d->table = nullptr;
  d->shown = nullptr;
  d->frame = nullptr;
}

// STRETCH and ZOOM with a direction (a rescaled copy grows from an edge, a centre line or an
// anchor), and ZOOMIN / ZOOMOUT (the old content shrinks away or is zoomed into, then the new
// one grows or zooms out). Both are seekable: phase 2 draws record->frame directly.
#include "fx/fx_effects.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "runtime/memory.h"

namespace {

struct Box {
  int32_t x, y, w, h;
};

bool Empty(const Box &b) { return b.w < 1 || b.h < 1; }

struct StretchState {
  int32_t size;
  Box rect;
  BitMap *compose;  // W x H scratch for blending over the before image
};

struct ZoomState {
  Box rect;
  int32_t t;
};

int32_t LongSide(const TransitionRecord *r) { return r->width > r->height ? r->width : r->height; }

// A rectangle whose side along the longer dimension is `size` and the other `other`, placed by
// anchor (0 near edge, 1 centred, 2 far edge) on each axis.
Box Anchored(const TransitionRecord *r, int32_t size, int32_t other, int ax, int ay) {
  Box b;
  b.w = r->width >= r->height ? size : other;
  b.h = r->width >= r->height ? other : size;
  if (b.w > r->width) b.w = r->width;
  if (b.h > r->height) b.h = r->height;
  const int32_t fx = r->width - b.w, fy = r->height - b.h;
  b.x = ax == 0 ? 0 : ax == 1 ? fx / 2 : fx;
  b.y = ay == 0 ? 0 : ay == 1 ? fy / 2 : fy;
  return b;
}

double Ratio(const TransitionRecord *r) {
  const int32_t l = LongSide(r), s = r->width > r->height ? r->height : r->width;
  return l > 0 ? (double)s / l : 1.0;
}

// Scaled copy of (sx, sy, sw, sh) of a picture triple at w x h. 0 or an error code.
struct Scaled {
  BitMap *bitmap = nullptr;
  Mask *mask = nullptr;
  AlphaChannel *alpha = nullptr;
  ~Scaled() { FreeTriple(bitmap, mask, alpha); }
};
int ScalePart(const BitMap *src, const Mask *mask, const AlphaChannel *alpha, const Box &part, int32_t w, int32_t h,
              Scaled *out) {
  return ScaleBitMapTriple(src, mask, alpha, part.x, part.y, nullptr, part.w, part.h, w, h, 0, &out->bitmap,
                           &out->mask, &out->alpha);
}

// Draws a scaled image at `at` (relative to the object): onto the target, or into the layer's
// transition buffers.
void DrawScaled(TransitionRecord *r, const Scaled &img, const Box &at, int32_t flags) {
  if (r->realTimeLayer) {
    FxLayerView v;
    if (!FxLayerBuffers(r, &v)) return;
    FxDrawStep(img.bitmap, 0, 0, v.bitmap, v.mask, v.alpha, at.x, at.y, at.w, at.h, at.w, at.h, v.width, v.height,
               img.mask, img.alpha, r, flags | (r->noRefresh ? FXDRAW_NOREFRESH : 0));
    return;
  }
  FxSafeBlt(r, img.bitmap, 0, 0, r->target, r->x + at.x, r->y + at.y, at.w, at.h, at.w, at.h, r->pictureWidth,
            r->pictureHeight, img.mask, img.alpha, r->blitFlags);
}

// Erases, in the layer's transition buffers, the part of `outer` outside `inner`.
void EraseDifference(TransitionRecord *r, const FxLayerView &v, const Box &outer, const Box &inner, int32_t flags) {
  if (Empty(outer)) return;
  const Box parts[4] = {
      {outer.x, outer.y, outer.w, inner.y - outer.y},                                  // above
      {outer.x, inner.y, inner.x - outer.x, inner.h},                                  // left
      {inner.x + inner.w, inner.y, outer.x + outer.w - inner.x - inner.w, inner.h},    // right
      {outer.x, inner.y + inner.h, outer.w, outer.y + outer.h - inner.y - inner.h}};  // below
  if (Empty(inner)) {
    FxDrawStep(nullptr, 0, 0, v.bitmap, v.mask, v.alpha, outer.x, outer.y, outer.w, outer.h, v.width, v.height,
               v.width, v.height, nullptr, nullptr, r, flags);
    return;
  }
  for (const Box &p : parts)
    if (!Empty(p))
      FxDrawStep(nullptr, p.x, p.y, v.bitmap, v.mask, v.alpha, p.x, p.y, p.w, p.h, v.width, v.height, v.width,
                 v.height, nullptr, nullptr, r, flags);
}

// ---- STRETCH / ZOOM with a direction ----

int32_t StretchDistance(const TransitionRecord *r) {
  switch (r->effect) {
    case FX_STRETCHLEFT:
    case FX_STRETCHRIGHT:
    case FX_VSTRETCHCENTER: return r->width;
    case FX_STRETCHTOP:
    case FX_STRETCHBOTTOM:
    case FX_HSTRETCHCENTER: return r->height;
    default: return LongSide(r);
  }
}

// Whether the size word falls as the effect runs (the rectangle's far edge is its start for
// STRETCHRIGHT and STRETCHBOTTOM, so their size falls going forward).
bool SizeFalls(const TransitionRecord *r) {
  const bool inverted = r->effect == FX_STRETCHRIGHT || r->effect == FX_STRETCHBOTTOM;
  return (r->reverse != 0) != inverted;
}

Box StretchBox(const TransitionRecord *r, int32_t size) {
  const int32_t w = r->width, h = r->height;
  switch (r->effect) {
    case FX_STRETCHLEFT: return Box{0, 0, size, h};
    case FX_STRETCHRIGHT: return Box{size, 0, w - size, h};
    case FX_STRETCHTOP: return Box{0, 0, w, size};
    case FX_STRETCHBOTTOM: return Box{0, size, w, h - size};
    case FX_HSTRETCHCENTER: return Box{0, (h - size) / 2, w, size};
    case FX_VSTRETCHCENTER: return Box{(w - size) / 2, 0, size, h};
    default: break;
  }
  // ZOOMCENTER ... ZOOMNORTHWEST: centre, north, north-east ... north-west.
  static const int8_t ax[9] = {1, 1, 2, 2, 2, 1, 0, 0, 0}, ay[9] = {1, 0, 0, 1, 2, 2, 2, 1, 0};
  const int d = r->effect - FX_ZOOMCENTER;
  if (size < 1) return Box{0, 0, 0, 0};
  if (size >= LongSide(r)) return Box{0, 0, w, h};
  return Anchored(r, size, FxAtLeast1((int32_t)(size * Ratio(r))), ax[d], ay[d]);
}

int StretchSetup(TransitionRecord *r) {
  if (FxAllocPrivate(r, sizeof(StretchState))) return 1000;
  const int32_t d = StretchDistance(r);
  int32_t step = FxStepsForSpeed(r->speed, d, 30, 10, 80);
  if (step > d) step = FxAtLeast1(d);  // the same single frame, and no overflow of the size
  const bool falls = SizeFalls(r);
  const int32_t start = falls ? d - step : step, end = falls ? 0 : d;
  r->frames = end ? FxCeilDiv(end - start, step, 0) : FxCeilDiv(start, step, 0);
  r->speed = step;
  StretchState *s = (StretchState *)r->privateState;
  s->size = start;
  s->rect = Box{0, 0, r->width, r->height};  // a reversed run starts from the whole image
  return 0;
}

// Puts the before image under a masked or translucent scaled image, so that the rectangle can
// be drawn opaque over what earlier frames left.
int ComposeOverBefore(TransitionRecord *r, StretchState *s, Scaled *img, const Box &at) {
  if (!r->before || (!img->mask && !img->alpha)) return 0;
  if (!s->compose && !(s->compose = AllocBitMap(r->width, r->height))) return 1000;
  // The old content under the rectangle, at the scratch's corner like the scaled planes.
  FxCopyRegion(r->before, at.x, at.y, s->compose, 0, 0, at.w, at.h, r->before->width, r->before->height,
               s->compose->width, s->compose->height);
  if (img->alpha) {
    FxSafeBlt(r, img->bitmap, 0, 0, s->compose, 0, 0, at.w, at.h, at.w, at.h, at.w, at.h, nullptr, img->alpha, 3);
    BltBitMap(s->compose, 0, 0, img->bitmap, 0, 0, at.w, at.h);
    FreeAlphaChannel(img->alpha);
    img->alpha = nullptr;
    return 0;
  }
  // Where the mask is clear the old content shows.
  const size_t bytes = (size_t)img->mask->bytesPerRow * (size_t)at.h;
  for (size_t i = 0; i < bytes; i++) img->mask->pixels[i] = (uint8_t)~img->mask->pixels[i];
  BltMask(s->compose, 0, 0, img->bitmap, 0, 0, at.w, at.h, img->mask);
  FreeMask(img->mask);
  img->mask = nullptr;
  return 0;
}

}  // namespace

int FxStretch(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) return StretchSetup(r);
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  StretchState *s = (StretchState *)r->privateState;
  const int32_t d = StretchDistance(r), step = r->speed;
  const bool falls = SizeFalls(r);
  if (r->phase == FXPHASE_RUN) {
    FxRevealLayer(r);
  } else {
    s->size = falls ? d - r->frame * step : r->frame * step;
  }
  if (falls && s->size < 1) {
    s->size = 0;
    FxSetDone(done);
  } else if (!falls && s->size >= d) {
    s->size = d;
    FxSetDone(done);
  }
  const Box box = StretchBox(r, s->size);
  Scaled img;
  if (!Empty(box)) {
    int rc = ScalePart(r->source, r->mask, r->alpha, Box{0, 0, r->width, r->height}, box.w, box.h, &img);
    if (rc) return rc;
  }
  if (r->realTimeLayer) {
    FxLayerView v;
    if (FxLayerBuffers(r, &v)) {
      const int32_t quiet = r->noRefresh ? FXDRAW_NOREFRESH : 0;
      if (r->phase == FXPHASE_SEEK)
        EraseDifference(r, v, Box{0, 0, v.width, v.height}, Box{0, 0, 0, 0}, FXDRAW_ERASE | FXDRAW_NOREFRESH);
      else if (r->reverse)
        EraseDifference(r, v, s->rect, box, FXDRAW_ERASE | quiet);
      if (!Empty(box)) DrawScaled(r, img, box, r->phase == FXPHASE_SEEK ? FXDRAW_NOREFRESH : 0);
    }
  } else if (!Empty(box)) {
    int rc = ComposeOverBefore(r, s, &img, box);
    if (rc) return rc;
    DrawScaled(r, img, box, 0);
  }
  s->size += falls ? -step : step;
  s->rect = box;
  FxEndFrame(r);
  return 0;
}

void FxStretchFree(TransitionRecord *r, int completed) {
  StretchState *s = (StretchState *)r->privateState;
  if (!s) return;
  FreeBitMap(s->compose);
  s->compose = nullptr;
}

int FxZoomInOut(TransitionRecord *r, int32_t *done) {
  const int32_t l = LongSide(r);
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(ZoomState))) return 1000;
    ZoomState *z = (ZoomState *)r->privateState;
    int32_t step = FxStepsForSpeed(r->speed, l, 60, 30, 120);
    if (step > 2 * l) step = FxAtLeast1(2 * l);  // the same single frame, and no overflow of t
    z->rect = Box{0, 0, r->width, r->height};
    z->t = step;
    r->speed = step;
    r->frames = FxCeilDiv(2 * l - step, step, 0);
    if (r->effect == FX_ZOOMIN && r->parameter == FX_RANDOMPARAMETER) r->parameter = 0;
    return 0;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  ZoomState *z = (ZoomState *)r->privateState;
  const int32_t step = r->speed;
  const bool seek = r->phase == FXPHASE_SEEK, zoomIn = r->effect == FX_ZOOMIN;
  if (seek) z->t = r->frame * step;
  else FxRevealLayer(r);
  const bool firstHalf = z->t <= l;
  Box box;
  if (z->t >= 2 * l) {
    z->t = 2 * l;
    box = Box{0, 0, r->width, r->height};
    FxSetDone(done);
  } else {
    const int32_t s = firstHalf ? l - z->t : z->t - l;
    box = Anchored(r, FxAtLeast1(s), FxAtLeast1((int32_t)(s * Ratio(r) + 1.0)), 1, 1);
  }
  if (seek && r->bgpicEmu) FxRefreshSources(r, 2 | (firstHalf ? 1 : 0));
  // The old content in the first half, the new one in the second.
  const BitMap *pic = firstHalf && z->t < 2 * l ? r->before : r->source;
  const Mask *mask = pic == r->source ? r->mask : nullptr;
  const AlphaChannel *alpha = pic == r->source ? r->alpha : nullptr;
  const int32_t flags = seek ? FXDRAW_NOREFRESH : 0;
  if (zoomIn) {
    const uint32_t fill = (uint32_t)r->parameter & 0xFFFFFF;
    if (seek) {
      FxFillRect(r, 0, 0, r->width, r->height, fill, FXDRAW_NOREFRESH);
    } else if (firstHalf) {
      // The strips the shrinking picture leaves, each reaching one pixel into the new one.
      const Box &p = z->rect;
      FxFillRect(r, p.x, p.y, box.x - p.x + 1, p.h, fill, 0);
      FxFillRect(r, p.x, p.y, p.w, box.y - p.y + 1, fill, 0);
      FxFillRect(r, box.x + box.w - 1, p.y, p.x + p.w - box.x - box.w + 1, p.h, fill, 0);
      FxFillRect(r, p.x, box.y + box.h - 1, p.w, p.y + p.h - box.y - box.h + 1, fill, 0);
    }
    if (pic) {
      Scaled img;
      int rc = ScalePart(pic, mask, alpha, Box{0, 0, r->width, r->height}, box.w, box.h, &img);
      if (rc) return rc;
      DrawScaled(r, img, box, flags);
    }
  } else if (pic) {
    // ZOOMOUT: the rectangle's part of the picture fills the whole object.
    Scaled img;
    int rc = ScalePart(pic, mask, alpha, box, r->width, r->height, &img);
    if (rc) return rc;
    DrawScaled(r, img, Box{0, 0, r->width, r->height}, flags);
  }
  z->rect = box;
  z->t += step;
  FxEndFrame(r);
  return 0;
}

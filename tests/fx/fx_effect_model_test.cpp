// Effects whose drawing was rewritten for speed, run frame by frame beside the code they were
// first written as (kept here as the models): on random pictures of odd sizes, opaque, masked
// and translucent, offscreen and in real-time layer mode, forwards and reversed, with seeks on
// the way, the target or the layer's buffers must hold the same bytes after every frame.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>
#include "fx/fx_catalogue.h"
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "fx/fx_seek.h"
#include "fx/fx_support.h"
#include "gfx/scale.h"
#include "tests/fx/fx_fixture.h"

namespace {

// ---- The model of FLOW: every stretched line copied on its own ----

namespace flow_model {

struct FlowState {
  BitMap *frame;
  int32_t p;
};

struct Lines {
  int t, far;
  int32_t d, across;
  void Rect(int32_t line, int32_t n, int32_t *x, int32_t *y, int32_t *w, int32_t *h) const {
    if (far) line = d - line - n;
    if (t) *x = 0, *y = line, *w = across, *h = n;
    else *x = line, *y = 0, *w = n, *h = across;
  }
};

Lines FlowLines(const TransitionRecord *r) {
  const int e = r->effect - FX_HFLOWTOP;
  const int t = e < 2;
  return Lines{t, e & 1, t ? r->height : r->width, t ? r->width : r->height};
}

void FlowCopy(TransitionRecord *r, FlowState *f, const Lines &l, int32_t from, int32_t n, int32_t to) {
  int32_t sx, sy, dx, dy, w, h;
  l.Rect(from, n, &sx, &sy, &w, &h);
  l.Rect(to, n, &dx, &dy, &w, &h);
  if (r->realTimeLayer) {
    FxPut(r, FxSourcePic(r), sx, sy, w, h, dx, dy, FXDRAW_NOREFRESH | FXDRAW_KEEPEXTRA);
    return;
  }
  FxSafeBlt(r, r->source, sx, sy, f->frame, dx, dy, w, h, r->width, r->height, r->width, r->height, r->mask, r->alpha,
            3);
}

void FlowDraw(TransitionRecord *r, FlowState *f, const Lines &l, int32_t first, int32_t p) {
  if (first < 0) first = 0;
  int32_t x, y, w, h;
  l.Rect(first, l.d - first, &x, &y, &w, &h);
  if (!r->realTimeLayer && (r->mask || r->alpha) && r->before)
    FxCopyRegion(r->before, x, y, f->frame, x, y, w, h, r->width, r->height, r->width, r->height);
  if (p > first) FlowCopy(r, f, l, first, p - first, first);
  for (int32_t line = p; line < l.d && p >= 1; line++) FlowCopy(r, f, l, p - 1, 1, line);
  if (r->realTimeLayer) {
    if (r->phase == FXPHASE_RUN && !r->noRefresh) {
      FxLayerView v;
      if (FxLayerBuffers(r, &v))
        FxBlitRegion(r, v.bitmap, x, y, r->x + x, r->y + y, w, h, v.width, v.height, v.mask, v.alpha, 0);
    }
  } else {
    FxPut(r, FxPic{f->frame, nullptr, nullptr}, x, y, w, h, x, y, 0);
  }
}

int Flow(TransitionRecord *r, int32_t *done) {
  const Lines l = FlowLines(r);
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(FlowState))) return 1000;
    FlowState *f = (FlowState *)r->privateState;
    const int32_t s = FxClamp(l.t ? FxStepsForSpeed(r->speed, l.d, 50, 20, 120) : FxStepsForSpeed(r->speed, l.d, 30, 10, 80), 1, 30);
    r->speed = s;
    f->p = r->reverse ? l.d - s : s;
    r->frames = r->reverse ? FxCeilDiv(l.d - 2 * s, s, 0) : FxCeilDiv(l.d - s, s, 0);
    if (!r->realTimeLayer && !(f->frame = AllocBitMap(r->width, r->height))) return 1000;
    return 0;
  }
  FlowState *f = (FlowState *)r->privateState;
  const int32_t s = r->speed;
  if (r->phase == FXPHASE_SEEK) {
    const int32_t q = r->frame * s;
    int32_t at = r->reverse ? l.d - q : q;
    at = FxClamp(at, 0, l.d);
    if (at < 1) FxClearArea(r, 0, 0, r->width, r->height, 0);
    else FlowDraw(r, f, l, 0, at);
    f->p = r->reverse ? at - s : at + s;
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  if (!r->reverse && f->p >= l.d) {
    f->p = l.d;
    FxSetDone(done);
  } else if (r->reverse && f->p <= s) {
    f->p = s;
    FxSetDone(done);
    FxClearArea(r, 0, 0, r->width, r->height, 0);
    f->p -= s;
    FxEndFrame(r);
    return 0;
  }
  FlowDraw(r, f, l, f->p - s, f->p);
  f->p += r->reverse ? -s : s;
  FxEndFrame(r);
  return 0;
}

void FlowFree(TransitionRecord *r, int) {
  FlowState *f = (FlowState *)r->privateState;
  FreeBitMap(f->frame);
  f->frame = nullptr;
}

}  // namespace flow_model

// ---- Running an effect beside its model ----

struct Rng {
  uint32_t s;
  uint32_t Next() {
    s = s * 1103515245u + 12345u;
    return s >> 8 ^ s << 13;
  }
};

BitMap *RandomBitMap(Rng &rng, int32_t w, int32_t h) {
  BitMap *bm = AllocBitMap(w, h);
  for (int32_t i = 0; i < bm->bytesPerRow * h; i++) bm->pixels[i] = (uint8_t)rng.Next();
  return bm;
}
Mask *RandomMask(Rng &rng, int32_t w, int32_t h) {
  Mask *m = AllocMask(nullptr, w, h, 1);
  for (int32_t i = 0; i < m->bytesPerRow * h; i++) m->pixels[i] = (uint8_t)rng.Next();
  return m;
}
// Random values with runs of 0 and 255, which the blits treat on their own.
AlphaChannel *RandomAlpha(Rng &rng, int32_t w, int32_t h) {
  AlphaChannel *a = AllocAlphaChannel(w, h, 1);
  for (int32_t i = 0; i < a->bytesPerRow * h; i++) {
    const uint32_t v = rng.Next();
    a->pixels[i] = (uint8_t)(v % 3 == 0 ? 0 : v % 3 == 1 ? 255 : v >> 8);
  }
  return a;
}

bool SamePlanes(const FxLayerView &a, const FxLayerView &b) {
  if (DiffPictures(a.bitmap, b.bitmap) != "") return false;
  if (a.mask && memcmp(a.mask->pixels, b.mask->pixels, (size_t)a.mask->bytesPerRow * a.height)) return false;
  if (a.alpha && memcmp(a.alpha->pixels, b.alpha->pixels, (size_t)a.alpha->bytesPerRow * a.height)) return false;
  return true;
}

FxLayerView gView;
int LayerView(kvLayer *, FxLayerView *view) {
  *view = gView;
  return 1;
}

// One side of a run: a record, the target it draws into (offscreen) or its layer buffers.
struct Side {
  TransitionRecord r;
  BitMap *target = nullptr;
  FxLayerView view{};
  // Makes the hook hand out this side's layer and runs one step.
  int Step(int32_t *done) {
    gView = view;
    return r.step(&r, done);
  }
  int Seek(int32_t frame) {
    gView = view;
    return FxSeek(&r, frame, 1);
  }
};

enum Visibility { kOpaque, kMasked, kTranslucent };

// The effect and the model on the same pictures; fails at the first frame that differs.
void CompareWithModel(int32_t effect, FxStepFunc model, FxFreeFunc modelFree, int32_t w, int32_t h,
                      Visibility visibility, bool layer, int reverse, uint32_t seed) {
  const std::string what = std::string(FxEffectInfo(effect)->name) + " " + std::to_string(w) + "x" +
                           std::to_string(h) + (visibility == kMasked ? " masked" : visibility == kTranslucent ? " translucent" : "") +
                           (layer ? " layer" : "") + (reverse ? " reversed" : "");
  SCOPED_TRACE(what);
  Rng rng{seed};
  BitMap *source = RandomBitMap(rng, w, h);
  Mask *mask = visibility == kMasked ? RandomMask(rng, w, h) : nullptr;
  AlphaChannel *alpha = visibility == kTranslucent ? RandomAlpha(rng, w, h) : nullptr;
  // Offscreen the object lies at (3, 2) of a larger picture; a layer has buffers of its size.
  BitMap *picture = RandomBitMap(rng, w + 7, h + 5);
  BitMap *before = CutOut(picture, 3, 2, w, h);
  Side sides[2];
  for (int i = 0; i < 2; i++) {
    Side &s = sides[i];
    if (layer) {
      s.view = FxLayerView{RandomBitMap(rng, w, h), alpha ? nullptr : AllocMask(nullptr, w, h, 1),
                           alpha ? AllocAlphaChannel(w, h, 1) : nullptr, 3, 2, w, h};
      if (i == 1) {
        BltBitMap(sides[0].view.bitmap, 0, 0, s.view.bitmap, 0, 0, w, h);
        if (s.view.mask) memcpy(s.view.mask->pixels, sides[0].view.mask->pixels, (size_t)s.view.mask->bytesPerRow * h);
      }
      FxInitOffscreen(&s.r, effect, FXSPEED_NORMAL, FX_RANDOMPARAMETER, source, mask, alpha, nullptr, nullptr, 3, 2);
      s.r.layer = (kvLayer *)&s.view;
      s.r.realTimeLayer = 1;
    } else {
      s.target = CopyBitMap(picture);
      FxInitOffscreen(&s.r, effect, FXSPEED_NORMAL, FX_RANDOMPARAMETER, source, mask, alpha, before, s.target, 3, 2);
    }
    s.r.reverse = reverse;
    ASSERT_EQ(FxInstallEffect(&s.r), 0);
    if (i == 1) {
      s.r.step = model;
      s.r.free = modelFree;
    }
    s.r.phase = FXPHASE_SETUP;
    FxSeedRandom(seed);
    ASSERT_EQ(s.Step(nullptr), 0);
    s.r.phase = FXPHASE_RUN;
  }
  ASSERT_EQ(sides[0].r.frames, sides[1].r.frames);
  auto same = [&]() {
    return layer ? SamePlanes(sides[0].view, sides[1].view) : DiffPictures(sides[0].target, sides[1].target) == "";
  };
  int32_t done[2] = {0, 0}, frame = 0;
  while (!done[0] && frame < 100000) {
    frame++;
    // A seek to a third of the way, back to the first frame and to the end, then on from there.
    if (frame == 3 || frame == 5 || frame == 7) {
      const int32_t to = frame == 3 ? sides[0].r.frames / 3 : frame == 5 ? 0 : sides[0].r.frames;
      for (Side &s : sides) ASSERT_EQ(s.Seek(to), 0);
      ASSERT_TRUE(same()) << "seek to " << to;
    }
    for (int i = 0; i < 2; i++) ASSERT_EQ(sides[i].Step(&done[i]), 0);
    ASSERT_EQ(done[0], done[1]) << "frame " << frame;
    ASSERT_TRUE(same()) << "frame " << frame;
  }
  for (Side &s : sides) {
    FxFreeEffectState(&s.r, 1);
    FreeBitMap(s.target);
    FreeTriple(s.view.bitmap, s.view.mask, s.view.alpha);
  }
  FreeBitMap(before);
  FreeBitMap(picture);
  FreeTriple(source, mask, alpha);
}

class FxEffectModel : public ::testing::Test {
 protected:
  void SetUp() override {
    FxHooks hooks{};
    hooks.layerView = LayerView;
    FxSetHooks(&hooks);
  }
  void TearDown() override { FxSetHooks(nullptr); }
};

TEST_F(FxEffectModel, FlowMatchesTheModel) {
  struct Size {
    int32_t w, h;
  } sizes[] = {{37, 23}, {23, 37}, {1, 1}, {5, 3}, {64, 9}};
  uint32_t seed = 1;
  for (int32_t effect : {FX_HFLOWTOP, FX_HFLOWBOTTOM, FX_VFLOWLEFT, FX_VFLOWRIGHT})
    for (const Size &z : sizes)
      for (Visibility v : {kOpaque, kMasked, kTranslucent})
        for (bool layer : {false, true})
          for (int reverse : {0, 1})
            CompareWithModel(effect, flow_model::Flow, flow_model::FlowFree, z.w, z.h, v, layer, reverse, seed++);
}

}  // namespace

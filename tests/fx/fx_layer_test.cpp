// Effects in real-time layer mode: they draw into a layer's transition buffers (bitmap with a
// mask or an alpha channel) instead of the picture. Shown, the buffers end as the source with
// its own visibility; hidden (reversed), they end wholly transparent; every region the effect
// asks the display to show lies inside the layer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include "fx/fx_catalogue.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "fx/fx_seek.h"
#include "fx/fx_support.h"
#include "gfx/scale.h"
#include "tests/fx/fx_fixture.h"

namespace {

struct FakeLayer {
  FxLayerView view;
  int reveals;
  int regionsOutside;
  int regions;
} gLayer;

int LayerView(kvLayer *layer, FxLayerView *view) {
  *view = ((FakeLayer *)layer)->view;
  return 1;
}
void Reveal(kvLayer *layer) { ((FakeLayer *)layer)->reveals++; }
void BlitRegion(TransitionRecord *r, const BitMap *, int32_t, int32_t, int32_t dx, int32_t dy, int32_t w, int32_t h,
                int32_t, int32_t, const Mask *, const AlphaChannel *, int32_t) {
  const FxLayerView &v = gLayer.view;
  gLayer.regions++;
  if (dx < v.x || dy < v.y || dx + w > v.x + v.width || dy + h > v.y + v.height) gLayer.regionsOutside++;
}

enum SourceKind { OPAQUE, MASKED, TRANSLUCENT };

// Visibility of pixel (x, y) of the transition buffers: 0-255.
int Visible(const FxLayerView &v, int32_t x, int32_t y) {
  if (v.alpha) return v.alpha->pixels[(size_t)y * v.alpha->bytesPerRow + x];
  return MaskRowBit(v.mask->pixels + (size_t)y * v.mask->bytesPerRow, x) ? 255 : 0;
}

std::string CheckBuffers(const FxLayerView &v, const BitMap *src, const Mask *mask, const AlphaChannel *alpha,
                         bool hidden) {
  for (int32_t y = 0; y < v.height; y++)
    for (int32_t x = 0; x < v.width; x++) {
      int want = hidden ? 0
                 : alpha ? alpha->pixels[(size_t)y * alpha->bytesPerRow + x]
                 : mask  ? (MaskRowBit(mask->pixels + (size_t)y * mask->bytesPerRow, x) ? 255 : 0)
                         : 255;
      if (Visible(v, x, y) != want) return "visibility at " + std::to_string(x) + "," + std::to_string(y);
      if (want && ReadBitMapPixel(v.bitmap, x, y, 0) != ReadBitMapPixel(src, x, y, 0))
        return "colour at " + std::to_string(x) + "," + std::to_string(y);
    }
  return "";
}

struct Outcome {
  int rc;
  int32_t drawn, frames;
  std::string buffers;
};

Outcome RunOnLayer(int32_t effect, int32_t speed, int32_t w, int32_t h, SourceKind kind, bool reverse, bool seek) {
  FxSeedRandom(3);
  BitMap *source = PatternBitMap(w, h, 5);
  Mask *mask = kind == MASKED ? PatternMask(w, h) : nullptr;
  AlphaChannel *alpha = kind == TRANSLUCENT ? PatternAlpha(w, h) : nullptr;
  memset(&gLayer, 0, sizeof gLayer);
  gLayer.view = FxLayerView{AllocBitMap(w, h), alpha ? nullptr : AllocMask(nullptr, w, h, 1),
                            alpha ? AllocAlphaChannel(w, h, 1) : nullptr, 40, 30, w, h};
  RectFillBitMap(gLayer.view.bitmap, 0, 0, w, h, 0);
  if (reverse) {
    // A hide starts from the whole layer drawn into its buffers.
    FxDrawStep(source, 0, 0, gLayer.view.bitmap, gLayer.view.mask, gLayer.view.alpha, 0, 0, w, h, w, h, w, h, mask,
               alpha, nullptr, FXDRAW_NOREFRESH);
  }
  TransitionRecord r;
  FxInitOffscreen(&r, effect, speed, FX_RANDOMPARAMETER, source, mask, alpha, nullptr, nullptr, 40, 30);
  r.layer = (kvLayer *)&gLayer;
  r.realTimeLayer = 1;
  r.reverse = reverse;
  Outcome o{0, 0, 0, ""};
  if (seek) {
    o.rc = FxInstallEffect(&r);
    r.phase = FXPHASE_SETUP;
    if (!o.rc) o.rc = r.step(&r, nullptr);
    r.phase = FXPHASE_RUN;
    int32_t done = 0;
    for (int i = 0; i < 3 && !done && !o.rc; i++) o.rc = r.step(&r, &done);
    if (!o.rc) o.rc = FxSeek(&r, r.frames / 2, 1);
    done = 0;
    for (int i = 0; !done && !o.rc && i < 100000; i++) o.rc = r.step(&r, &done);
    FxFreeEffectState(&r, done);
  } else {
    o.rc = FxRunOffscreen(&r, 100000, nullptr, nullptr, &o.drawn);
  }
  o.frames = r.frames;
  o.buffers = CheckBuffers(gLayer.view, source, mask, alpha, reverse);
  FreeTriple(gLayer.view.bitmap, gLayer.view.mask, gLayer.view.alpha);
  FreeTriple(source, mask, alpha);
  return o;
}

class FxLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FxHooks hooks{};
    hooks.layerView = LayerView;
    hooks.revealLayer = Reveal;
    hooks.blitRegion = BlitRegion;
    FxSetHooks(&hooks);
  }
  void TearDown() override { FxSetHooks(nullptr); }
};

TEST_F(FxLayerTest, ShowAndHideEndWithTheWholeLayerOrNothing) {
  struct Size {
    int32_t w, h;
  } sizes[] = {{37, 23}, {1, 1}, {1, 9}, {9, 1}};
  for (int32_t effect = 0; effect < FX_RANDOMEFFECT; effect++) {
    if (effect == FX_UNNAMED) continue;
    // Hiding runs the reverse pair's partner; reverse-capable effects reverse themselves.
    for (int reverse = 0; reverse <= 1; reverse++) {
      const int32_t runs = reverse ? FxReverseEffect(effect) : effect;
      // ZOOMIN and ZOOMOUT need the whole picture: on a layer they run only with an emulated
      // picture as their source, where hiding means showing the picture, not clearing buffers.
      if (reverse && FxIsPictureOnly(effect) && !FxRunsStandIn(effect)) continue;
      for (int32_t speed : {(int32_t)FXSPEED_NORMAL, 3})
        for (const Size &s : sizes)
          for (int kind = OPAQUE; kind <= TRANSLUCENT; kind++) {
            SCOPED_TRACE(std::string(FxEffectInfo(effect)->name) + (reverse ? " hiding" : " showing") + " " +
                         std::to_string(s.w) + "x" + std::to_string(s.h) + " speed " + std::to_string(speed) +
                         " kind " + std::to_string(kind));
            Outcome o = RunOnLayer(runs, speed, s.w, s.h, (SourceKind)kind, reverse, false);
            ASSERT_EQ(o.rc, 0);
            EXPECT_EQ(o.drawn, o.frames);
            EXPECT_EQ(o.buffers, "");
            EXPECT_GT(gLayer.reveals, 0);
            EXPECT_EQ(gLayer.regionsOutside, 0);
            if (HasFailure()) return;
          }
    }
  }
}

TEST_F(FxLayerTest, ASeekOnALayerStillEndsOnTheWholeLayer) {
  for (int32_t effect = 0; effect < FX_RANDOMEFFECT; effect++) {
    if (effect == FX_UNNAMED) continue;
    for (int kind = OPAQUE; kind <= TRANSLUCENT; kind++) {
      SCOPED_TRACE(std::string(FxEffectInfo(effect)->name) + " kind " + std::to_string(kind));
      Outcome o = RunOnLayer(effect, FXSPEED_NORMAL, 37, 23, (SourceKind)kind, false, true);
      ASSERT_EQ(o.rc, 0);
      EXPECT_EQ(o.buffers, "");
      if (HasFailure()) return;
    }
  }
}

}  // namespace

namespace {

// An effect that cannot seek keeps what it revealed in the record's extra mask, so that a seek
// to the frame it is at rebuilds its buffers (after the layer's images were replaced) without
// replaying.
TEST_F(FxLayerTest, ASeekToTheCurrentFrameRebuildsFromTheExtraMask) {
  const int32_t w = 37, h = 23;
  BitMap *source = PatternBitMap(w, h, 5);
  Mask *mask = PatternMask(w, h);
  memset(&gLayer, 0, sizeof gLayer);
  gLayer.view = FxLayerView{AllocBitMap(w, h), AllocMask(nullptr, w, h, 1), nullptr, 0, 0, w, h};
  TransitionRecord r;
  FxInitOffscreen(&r, FX_RECTCENTER, 3, FX_RANDOMPARAMETER, source, mask, nullptr, nullptr, nullptr, 0, 0);
  r.layer = (kvLayer *)&gLayer;
  r.realTimeLayer = 1;
  r.extraMask = AllocMask(nullptr, w, h, 1);
  ASSERT_EQ(FxInstallEffect(&r), 0);
  r.phase = FXPHASE_SETUP;
  ASSERT_EQ(r.step(&r, nullptr), 0);
  r.phase = FXPHASE_RUN;
  int32_t done = 0;
  for (int i = 0; i < 4; i++) ASSERT_EQ(r.step(&r, &done), 0);
  BitMap *drawn = CopyBitMap(gLayer.view.bitmap);
  Mask *shown = AllocMask(nullptr, w, h, 1);
  BltMaskToMask(gLayer.view.mask, 0, 0, shown, 0, 0, w, h, MASKVANILLACOPY);
  // The layer's buffers are lost; the seek puts the same frame back.
  RectFillBitMap(gLayer.view.bitmap, 0, 0, w, h, 0);
  FillMaskRect(gLayer.view.mask, 0, 0, w, h, MASKINVISIBLE);
  ASSERT_EQ(FxSeek(&r, r.frame, 0), 0);
  EXPECT_EQ(r.frame, 4);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const bool on = MaskRowBit(shown->pixels + y * shown->bytesPerRow, x);
      ASSERT_EQ(MaskRowBit(gLayer.view.mask->pixels + y * gLayer.view.mask->bytesPerRow, x), on) << x << "," << y;
      if (on) ASSERT_EQ(ReadBitMapPixel(gLayer.view.bitmap, x, y, 0), ReadBitMapPixel(drawn, x, y, 0));
    }
  FxFreeEffectState(&r, 0);
  FreeMask(r.extraMask);
  FreeMask(shown);
  FreeBitMap(drawn);
  FreeTriple(gLayer.view.bitmap, gLayer.view.mask, gLayer.view.alpha);
  FreeTriple(source, mask, nullptr);
}

}  // namespace

// The mixing, shape, pixel and growing-band effects on a layer in real-time layer mode: a hide
// sought midway still ends wholly transparent, a reversed HFLOWTOP clears the whole layer on its
// last frame, and a FADE whose layer changes size halfway resumes at half its new count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "fx/fx_catalogue.h"
#include "fx/fx_effects.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "fx/fx_seek.h"
#include "fx/fx_support.h"
#include "gfx/scale.h"
#include "tests/fx/fx_fixture.h"

namespace {

FxLayerView gView;

int LayerView(kvLayer *, FxLayerView *view) {
  *view = gView;
  return 1;
}

struct Layer {
  BitMap *source;
  Mask *mask;
  AlphaChannel *alpha;
  FxLayerView view;  // what the hook hands out while this layer runs
  // Mixing effects always get an alpha channel for their buffers; the others one like the source's.
  Layer(int32_t w, int32_t h, bool translucent, bool alphaBuffers = false) {
    source = PatternBitMap(w, h, 5);
    mask = translucent ? nullptr : PatternMask(w, h);
    alpha = translucent ? PatternAlpha(w, h) : nullptr;
    alphaBuffers = alphaBuffers || alpha;
    view = FxLayerView{AllocBitMap(w, h), alphaBuffers ? nullptr : AllocMask(nullptr, w, h, 1),
                       alphaBuffers ? AllocAlphaChannel(w, h, 1) : nullptr, 10, 10, w, h};
    gView = view;
  }
  ~Layer() {
    FreeTriple(view.bitmap, view.mask, view.alpha);
    FreeTriple(source, mask, alpha);
  }
  // The layer drawn whole into its buffers, as a hide starts.
  void Fill() {
    FxDrawStep(source, 0, 0, gView.bitmap, gView.mask, gView.alpha, 0, 0, source->width, source->height,
               source->width, source->height, gView.width, gView.height, mask, alpha, nullptr, FXDRAW_NOREFRESH);
  }
  // Pixels whose visibility is not 0.
  int32_t Visible() const {
    int32_t n = 0;
    for (int32_t y = 0; y < gView.height; y++)
      for (int32_t x = 0; x < gView.width; x++)
        n += gView.alpha ? gView.alpha->pixels[(size_t)y * gView.alpha->bytesPerRow + x] != 0
                         : MaskRowBit(gView.mask->pixels + (size_t)y * gView.mask->bytesPerRow, x);
    return n;
  }
  void Start(TransitionRecord *r, int32_t effect, int reverse) {
    gView = view;
    FxInitOffscreen(r, effect, FXSPEED_NORMAL, FX_RANDOMPARAMETER, source, mask, alpha, nullptr, nullptr, 10, 10);
    r->layer = (kvLayer *)&gView;
    r->realTimeLayer = 1;
    r->reverse = reverse;
    ASSERT_EQ(FxInstallEffect(r), 0);
    r->phase = FXPHASE_SETUP;
    ASSERT_EQ(r->step(r, nullptr), 0);
    r->phase = FXPHASE_RUN;
  }
  // Frames until done; the count drawn.
  int32_t Finish(TransitionRecord *r) {
    int32_t done = 0, n = 0;
    while (!done && n < 100000) {
      EXPECT_EQ(r->step(r, &done), 0);
      n++;
    }
    FxFreeEffectState(r, done);
    return n;
  }
};

class FxFamiliesLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    FxHooks hooks{};
    hooks.layerView = LayerView;
    FxSetHooks(&hooks);
    FxSeedRandom(5);
  }
  void TearDown() override { FxSetHooks(nullptr); }
};

TEST_F(FxFamiliesLayer, AHideSoughtMidwayStillEndsTransparent) {
  for (int32_t effect : {FX_FADE, FX_BLEND, FX_CROSSFADE, FX_DISSOLVE, FX_STRUDEL, FX_WATER1, FX_SUN, FX_STAR,
                         FX_CLOCKWIPE, FX_PIXELZOOM1, FX_ROLLTOP, FX_WALLPAPERLEFT, FX_HFLOWTOP, FX_VFLOWRIGHT})
    for (bool translucent : {false, true}) {
      SCOPED_TRACE(std::string(FxEffectInfo(effect)->name) + (translucent ? " translucent" : " masked"));
      const bool mixing = (effect >= FX_CROSSFADE && effect <= FX_BLEND) || (effect >= FX_WATER1 && effect <= FX_STRUDEL);
      Layer layer(37, 23, translucent, mixing);
      layer.Fill();
      TransitionRecord r;
      layer.Start(&r, effect, 1);
      int32_t done = 0;
      for (int i = 0; i < 2; i++) ASSERT_EQ(r.step(&r, &done), 0);
      ASSERT_EQ(FxSeek(&r, r.frames / 2, 1), 0);
      EXPECT_GT(layer.Visible(), 0) << "a hide half done still shows something";
      layer.Finish(&r);
      EXPECT_EQ(layer.Visible(), 0);
    }
}

TEST_F(FxFamiliesLayer, AReversedHFlowTopClearsTheWholeLayerOnItsLastFrame) {
  Layer layer(20, 40, false);
  layer.Fill();
  const int32_t shown = layer.Visible();
  TransitionRecord r;
  layer.Start(&r, FX_HFLOWTOP, 1);
  int32_t done = 0, frames = 0;
  while (!done) {
    ASSERT_EQ(r.step(&r, &done), 0);
    frames++;
    // The rows the flow gave up show its last row stretched: still visible until the end.
    if (!done) {
      EXPECT_GT(layer.Visible(), shown / 2) << "frame " << frames;
    }
  }
  EXPECT_EQ(frames, r.frames);
  EXPECT_EQ(layer.Visible(), 0);
  FxFreeEffectState(&r, 1);
}

// The layer is resized halfway: the effect is set up again for the new size and sought to the
// same share of its new count, from where it runs to the end.
TEST_F(FxFamiliesLayer, AFadeResizedHalfwayResumesAtHalfTheNewCount) {
  Layer small(20, 10, true);
  TransitionRecord r;
  small.Start(&r, FX_FADE, 0);
  const int32_t oldFrames = r.frames;
  int32_t done = 0;
  for (int32_t i = 0; i < oldFrames / 2; i++) ASSERT_EQ(r.step(&r, &done), 0);
  const int32_t at = r.frame;
  FxFreeEffectState(&r, 0);

  Layer large(40, 30, true);
  TransitionRecord again;
  large.Start(&again, FX_FADE, 0);
  const int32_t resumeAt = at * again.frames / oldFrames;
  EXPECT_EQ(resumeAt, again.frames / 2);
  ASSERT_EQ(FxSeek(&again, resumeAt, 1), 0);
  EXPECT_EQ(again.frame, resumeAt);
  EXPECT_EQ(large.Finish(&again), again.frames - resumeAt);
  // Shown whole: the source's own alpha everywhere.
  for (int32_t y = 0; y < 30; y++)
    for (int32_t x = 0; x < 40; x++)
      ASSERT_EQ(gView.alpha->pixels[(size_t)y * gView.alpha->bytesPerRow + x],
                large.alpha->pixels[(size_t)y * large.alpha->bytesPerRow + x]);
}

// PIXELZOOM on a translucent layer: the blocks that stay invisible leave the block buffer as it
// was set up, and the layer's pixels are drawn from it. Their content must not depend on what the
// memory held before: the same run over a heap left full of one byte or of another draws the same
// pixels, frame by frame.
TEST_F(FxFamiliesLayer, PixelZoomDrawsTheSameOverAnyOldMemory) {
  const int32_t w = 37, h = 23;
  std::vector<std::vector<uint32_t>> runs;
  for (uint8_t old : {0x00, 0xA5}) {
    Layer layer(w, h, true);
    for (int32_t y = 0; y < h; y++)   // the left half of the source invisible
      for (int32_t x = 0; x < w; x++)
        if (x < w / 2) layer.alpha->pixels[(size_t)y * layer.alpha->bytesPerRow + x] = 0;
    RectFillBitMap(layer.view.bitmap, 0, 0, w, h, 0);
    // A freed block of the block buffer's size, full of the old byte, for its allocation to reuse.
    const size_t bytes = (size_t)w * h * 4;
    void *stale = malloc(bytes);
    memset(stale, old, bytes);
    free(stale);
    TransitionRecord r;
    layer.Start(&r, FX_PIXELZOOM1, 0);
    std::vector<uint32_t> pixels;
    int32_t done = 0;
    while (!done) {
      ASSERT_EQ(r.step(&r, &done), 0);
      for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) pixels.push_back(ReadBitMapPixel(gView.bitmap, x, y, 0) & 0xFFFFFF);
    }
    FxFreeEffectState(&r, 1);
    runs.push_back(pixels);
  }
  ASSERT_EQ(runs[0].size(), runs[1].size());
  size_t differ = 0;
  for (size_t i = 0; i < runs[0].size(); i++) differ += runs[0][i] != runs[1][i];
  EXPECT_EQ(differ, 0u) << "pixels that show the memory the block buffer was given";
}

}  // namespace

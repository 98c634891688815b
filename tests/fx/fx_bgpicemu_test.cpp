// ShowLayerFX with "bgpicemu": the layer stands in for a BGPic, so its frames show that BGPic
// (moving in, blending in) and the run ends on what plain ShowLayer shows; an asynchronous run
// picks up a change of the BGPic, and one whose BGPic is freed goes on without it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "fx/fx_engine.h"
#include "fx/fx_random.h"
#include "tests/brush/brush_fixture.h"
#include "tests/fx/fx_display_fixture.h"
#include "tests/fx/fx_fixture.h"

namespace {

enum { PICTURE_W = 61, PICTURE_H = 47, BACKGROUND = 90, OBJECT = 2, EMU_BRUSH = 5, EMU = 4 };
enum { LX = 12, LY = 9, LW = 37, LH = 23 };
enum { PUSHLEFT = 78, CROSSFADE = 115 };

using Pixels = std::vector<uint32_t>;

// The window over the layer's rectangle.
Pixels LayerRect(DisplayRecord *d) {
  Pixels v;
  for (int y = 0; y < LH; y++)
    for (int x = 0; x < LW; x++) v.push_back(WindowPixel(d, LX + x, LY + y) & 0xFFFFFF);
  return v;
}

Pixels Plane(const BitMap *bm) {
  Pixels v;
  for (int y = 0; y < LH; y++)
    for (int x = 0; x < LW; x++) v.push_back(ReadBitMapPixel(bm, x, y, 0) & 0xFFFFFF);
  return v;
}

// What the frame observer saw: the layer's rectangle after every frame, and the layer's flag.
struct Seen {
  DisplayRecord *d = nullptr;
  std::vector<Pixels> frames;
  int pictureEffectFlag = 0;
} gSeen;

void Observe(const TransitionRecord *r, void *) {
  gSeen.frames.push_back(LayerRect(gSeen.d));
  if (r->layer && (r->layer->fxEmulation & LAYERFX_PICTUREEFFECT)) gSeen.pictureEffectFlag = 1;
}

// Whether the rectangle shows the picture `in` moved sideways by some offset between 1 and the
// width less one (the part of it still inside the rectangle).
bool ShiftedIn(const Pixels &shown, const Pixels &in) {
  for (int offset = 1 - LW; offset < LW; offset++) {
    bool match = offset != 0;
    for (int y = 0; y < LH && match; y++)
      for (int x = 0; x < LW && match; x++)
        if (x + offset >= 0 && x + offset < LW) match = shown[(size_t)y * LW + x + offset] == in[(size_t)y * LW + x];
    if (match) return true;
  }
  return false;
}

// Whether every channel of every pixel of `shown` lies between the two pictures' channels, and
// some pixel differs from both (a blend between them).
bool BlendOf(const Pixels &shown, const Pixels &a, const Pixels &b) {
  bool strict = false;
  for (size_t i = 0; i < shown.size(); i++) {
    for (int sh = 0; sh < 24; sh += 8) {
      const int s = (shown[i] >> sh) & 255, pa = (a[i] >> sh) & 255, pb = (b[i] >> sh) & 255;
      if (s < std::min(pa, pb) - 1 || s > std::max(pa, pb) + 1) return false;
    }
    if (shown[i] != a[i] && shown[i] != b[i]) strict = true;
  }
  return strict;
}

struct FxBGPicEmuTest : FxDisplayTest {

  void SetUp() override {
    BrushTest::SetUp();
    StartFx(Observe, 11, PICTURE_W, PICTURE_H);
    if (HasFailure()) return;
    gSeen = Seen();
    gSeen.d = d;
    PaintPatternBrush(BACKGROUND, PICTURE_W, PICTURE_H, 1);
    PaintPatternBrush(OBJECT, LW, LH, 2);
    PaintPatternBrush(EMU_BRUSH, LW, LH, 7);
    ASSERT_EQ(Call("BrushToBGPic", {EMU_BRUSH, EMU}), 0);
  }


  BGPicNode *Emulated() {
    BGPicNode *b = nullptr;
    EXPECT_EQ(GetBGPicNode(ObjectId{EMU, nullptr}, &b, 0), 0);
    return b;
  }

  // The layer back as hidden layer 1 over the patterned background (freeing layers keeps
  // their look in the background, so the background is drawn again with layers off).
  void HiddenLayer() {
    if (d->layersEnabled) ASSERT_EQ(Call("FreeLayers", {}), 0);
    d->layersEnabled = 0;
    ASSERT_EQ(Call("DisplayBrush", {BACKGROUND, 0, 0}), 0);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("FreeLayers", {}), 0);
    ASSERT_EQ(Call("DisplayBrush", {OBJECT, LX, LY}), 0);
    ASSERT_EQ(Call("HideLayer", {1}), 0);
  }

  Arg Options(int effect, int async) {
    return Arg{{"type", effect}, {"speed", 4}, {"bgpicemu", 1}, {"bgpic", EMU}, {"async", async}};
  }

  // Steps an asynchronous run once; *done is set when it finished.
  void Step(void *h, double *done) {
    lua_settop(L, 0);
    lua_pushcfunction(L, CallAndRaise);
    lua_pushstring(L, "asyncdrawframe");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushlightuserdata(L, h);
    ASSERT_EQ(lua_pcall(L, 2, LUA_MULTRET, 0), 0);
    *done = lua_gettop(L) >= 1 ? lua_tonumber(L, 1) : 0;
    lua_settop(L, 0);
  }
  void StepToEnd(void *h) {
    double done = 0;
    for (int i = 0; done == 0 && i < 1000; i++) Step(h, &done);
    EXPECT_EQ(done, 1);
  }
};

// Picture-only PUSHLEFT and CROSSFADE: the frames show the emulated BGPic pushed in or blended
// in over what lay under the hidden layer, the last frame shows it whole, and the run ends as
// ShowLayer with the layer's own image (the BGPic was never drawn into it).
TEST_F(FxBGPicEmuTest, FramesShowTheBGPicAndTheRunEndsAsShowLayer) {
  HiddenLayer();
  const Pixels under = LayerRect(d);
  ASSERT_EQ(Call("ShowLayer", {1}), 0);
  const Pixels plain = LayerRect(d);
  const Pixels emu = Plane(Emulated()->bitmap);
  for (int effect : {PUSHLEFT, CROSSFADE}) {
    SCOPED_TRACE("effect " + std::to_string(effect));
    HiddenLayer();
    gSeen.frames.clear();
    gSeen.pictureEffectFlag = 0;
    ASSERT_EQ(Call("ShowLayerFX", {1, Options(effect, 0)}), 0);
    ASSERT_GE(gSeen.frames.size(), 3u);
    EXPECT_EQ(gSeen.frames.back(), emu);
    const Pixels &mid = gSeen.frames[gSeen.frames.size() / 2];
    if (effect == PUSHLEFT) EXPECT_TRUE(ShiftedIn(mid, emu));
    else EXPECT_TRUE(BlendOf(mid, under, emu));
    EXPECT_EQ(gSeen.pictureEffectFlag, effect == PUSHLEFT ? 1 : 0);
    kvLayer *l = GetLayerByIndex(CurrentPicture, 1);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->fxEmulation, 0u);
    EXPECT_EQ(LayerRect(d), plain);
  }
  // The brush's image stayed its own.
  EXPECT_EQ(ReadBitMapPixel(Brush(OBJECT)->bitmap, 3, 4, 0) & 0xFFFFFF, PatternColour(3, 4, 2));
}

// An asynchronous run whose BGPic changes mid-run (black, then white) draws the new picture
// from the next frame on: a cross-fade brightens where it darkened, a push brings white in.
TEST_F(FxBGPicEmuTest, AsyncRunPicksUpAChangedBGPic) {
  HiddenLayer();
  const Pixels under = LayerRect(d);
  ASSERT_EQ(Call("ShowLayer", {1}), 0);
  const Pixels plain = LayerRect(d);
  BGPicNode *b = Emulated();
  for (int effect : {CROSSFADE, PUSHLEFT}) {
    SCOPED_TRACE("effect " + std::to_string(effect));
    RectFillBitMap(b->bitmap, 0, 0, LW, LH, 0x000000);
    HiddenLayer();
    ASSERT_EQ(Call("ShowLayerFX", {1, Options(effect, 1)}), 0);
    void *h = handle;
    ASSERT_NE(h, nullptr);
    double done = 0;
    for (int i = 0; i < 3; i++) Step(h, &done);
    ASSERT_EQ(done, 0);
    const Pixels dark = LayerRect(d);
    RectFillBitMap(b->bitmap, 0, 0, LW, LH, 0xFFFFFF);
    b->layersChanged = 1;
    Step(h, &done);
    ASSERT_EQ(done, 0);
    const Pixels light = LayerRect(d);
    EXPECT_EQ(b->layersChanged, 0u);
    const Pixels black(under.size(), 0), white(under.size(), 0xFFFFFF);
    if (effect == CROSSFADE) {
      EXPECT_TRUE(BlendOf(dark, under, black));
      EXPECT_TRUE(BlendOf(light, under, white));
    } else {
      EXPECT_TRUE(ShiftedIn(dark, black));
      EXPECT_TRUE(ShiftedIn(light, white));
    }
    StepToEnd(h);
    EXPECT_EQ(LayerRect(d), plain);
  }
}

// The emulated BGPic freed during an asynchronous run: the run goes on with the picture it
// composed last, the control answer no longer names it, and the run ends as ShowLayer.
TEST_F(FxBGPicEmuTest, AsyncRunOutlivesAFreedBGPic) {
  HiddenLayer();
  ASSERT_EQ(Call("ShowLayer", {1}), 0);
  const Pixels plain = LayerRect(d);
  HiddenLayer();
  ASSERT_EQ(Call("ShowLayerFX", {1, Options(CROSSFADE, 1)}), 0);
  AsyncDrawNode *n = (AsyncDrawNode *)handle;
  ASSERT_NE(n, nullptr);
  void *emu = nullptr;
  n->control(ADCTL_BUSY, &emu, n->userdata);
  EXPECT_EQ(emu, Emulated());
  double done = 0;
  Step(n, &done);
  ASSERT_EQ(Call("FreeBGPic", {EMU}), 0);
  n->control(ADCTL_BUSY, &emu, n->userdata);
  EXPECT_EQ(emu, nullptr);
  StepToEnd(n);
  EXPECT_EQ(LayerRect(d), plain);
}

}  // namespace

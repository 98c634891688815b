// A headless display with the libraries transitions need (graphics, layers, BGPics, moving
// objects, transitions), pacing off and a frame observer, for the engine-level effect tests.
#pragma once
#include <gtest/gtest.h>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/layer.h"
#include "fx/fx_engine.h"
#include "fx/fx_random.h"
#include "tests/brush/brush_fixture.h"
#include "tests/fx/fx_fixture.h"

struct FxDisplayTest : BrushTest {
  DisplayRecord *d = nullptr;

  // Opens the libraries and a display of width x height; each frame goes to `observe`.
  void StartFx(FxFrameObserver observe, uint32_t seed, int32_t width, int32_t height) {
    for (LibraryOpenFunc open : {OpenGraphicsLib, OpenLayersLib, OpenBGPicLib, OpenMoveObjectLib, OpenTransitionFXLib}) {
      lua_pushvalue(L, LUA_GLOBALSINDEX);
      ASSERT_EQ(open(L), 0);
      lua_settop(L, 0);
    }
    FxSetPacing(0);
    FxSetFrameObserver(observe, nullptr);
    FxSeedRandom(seed);
    d = OpenDisplay(width, height);
    ASSERT_TRUE(d);
  }
  void TearDown() override {
    FxSetFrameObserver(nullptr, nullptr);
    FreeAsyncDraws(L, nullptr);
    CloseLayersLib(L);
    CurrentDisplay = nullptr;
    FreeAllDisplays(L);
    FreeAllBGPics(L);
    CloseGraphicsLib(L);
    BrushTest::TearDown();
  }

  // A brush of width x height painted with the fixture's pattern for `seed`.
  void PaintPatternBrush(uint32_t n, int32_t w, int32_t h, uint32_t seed) {
    ASSERT_EQ(Call("CreateBrush", {n, w, h, 0}), 0);
    BrushNode *b = Brush(n);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) WriteBitMapPixel(b->bitmap, x, y, PatternColour(x, y, seed), 0);
  }
};

// SCROLL effects hand the object to the moving-object engine: the move context must name the
// right images, the off-screen start and the end for every direction, and the effect must
// step the move to its end and release it.
#include <gtest/gtest.h>

#include "fx/fx_catalogue.h"
#include "fx/fx_effects.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_scroll.h"
#include "fx/fx_support.h"
#include "tests/fx/fx_fixture.h"

namespace {

struct MoverLog {
  FxMoveContext seen;
  int steps, frees, freedCompleted;
} gMover;

int MoverStep(FxMoveContext *c, int32_t *done) {
  if (++gMover.steps == c->frames) *done = 1;
  return 0;
}
void MoverFree(FxMoveContext *, int completed) {
  gMover.frees++;
  gMover.freedCompleted = completed;
}
int MoveObject(FxMoveContext *c) {
  c->step = MoverStep;
  c->free = MoverFree;
  c->frames = 6;
  gMover.seen = *c;
  return 0;
}

TEST(FxScroll, EveryDirectionMovesBetweenItsOffscreenStartAndTheObjectsPlace) {
  struct Case {
    int32_t effect, offX, offY;
  } cases[] = {{47, FXPOS_LEFTOUT, 9},        {48, FXPOS_RIGHTOUT, 9},        {49, 12, FXPOS_TOPOUT},
               {50, 12, FXPOS_BOTTOMOUT},     {51, FXPOS_RIGHTOUT, FXPOS_TOPOUT}, {52, FXPOS_RIGHTOUT, FXPOS_BOTTOMOUT},
               {53, FXPOS_LEFTOUT, FXPOS_BOTTOMOUT}, {54, FXPOS_LEFTOUT, FXPOS_TOPOUT}};
  FxSetMoveObject(MoveObject);
  BitMap *picture = PatternBitMap(61, 47, 1), *source = PatternBitMap(37, 23, 2);
  Mask *mask = PatternMask(37, 23);
  for (const Case &c : cases)
    for (int reverse = 0; reverse <= 1; reverse++) {
      SCOPED_TRACE(std::to_string(c.effect) + (reverse ? " reversed" : ""));
      gMover = MoverLog{};
      TransitionRecord r;
      FxInitOffscreen(&r, c.effect, 5, FX_RANDOMPARAMETER, source, mask, nullptr, nullptr, picture, 12, 9);
      r.reverse = reverse;
      int32_t drawn = 0;
      ASSERT_EQ(FxRunOffscreen(&r, 1000, nullptr, nullptr, &drawn), 0);
      const FxMoveContext &m = gMover.seen;
      EXPECT_EQ(m.objectType, FXMOVE_NOOBJECT);
      EXPECT_EQ(m.bitmap, source);
      EXPECT_EQ(m.mask, mask);
      EXPECT_EQ(m.width, 37);
      EXPECT_EQ(m.speed, 5);
      EXPECT_EQ(m.style, 0);  // RANDOMPARAMETER is the plain move
      EXPECT_EQ(m.transition, 1);
      EXPECT_EQ(reverse ? m.endX : m.startX, c.offX);
      EXPECT_EQ(reverse ? m.endY : m.startY, c.offY);
      EXPECT_EQ(reverse ? m.startX : m.endX, 12);
      EXPECT_EQ(reverse ? m.startY : m.endY, 9);
      EXPECT_EQ(r.frames, 6);
      EXPECT_EQ(drawn, 6);
      EXPECT_EQ(gMover.frees, 1);
      EXPECT_EQ(gMover.freedCompleted, 1);
    }
  FxSetMoveObject(nullptr);
  FreeMask(mask);
  FreeBitMap(source);
  FreeBitMap(picture);
}

TEST(FxScroll, WithoutAMovingObjectEngineTheStandInRuns) {
  FxSetMoveObject(nullptr);
  EXPECT_TRUE(FxRunsStandIn(FX_SCROLLLEFT));
  TransitionRecord r{};
  r.effect = FX_SCROLLLEFT;
  ASSERT_EQ(FxInstallEffect(&r), 0);
  EXPECT_EQ(r.step, FxHStripes);
  FxSetMoveObject(MoveObject);
  EXPECT_FALSE(FxRunsStandIn(FX_SCROLLLEFT));
  ASSERT_EQ(FxInstallEffect(&r), 0);
  EXPECT_EQ(r.step, FxScroll);
  FxSetMoveObject(nullptr);
}

}  // namespace

namespace {

struct MovedLayer {
  int32_t x, y;
  int moves, option;
} gMoved;
void SetLayerPosition(kvLayer *, int32_t x, int32_t y, int option) { gMoved = {x, y, gMoved.moves + 1, option}; }

TEST(FxScroll, ALayerScrollMovesTheLayerAndPutsItBackAtTheEnd) {
  FxSetMoveObject(MoveObject);
  FxHooks hooks{};
  hooks.setLayerPosition = SetLayerPosition;
  FxSetHooks(&hooks);
  BitMap *source = PatternBitMap(8, 8, 2);
  int fakeLayer = 0;
  TransitionRecord r;
  FxInitOffscreen(&r, FX_SCROLLTOP, FXSPEED_FAST, 2, source, nullptr, nullptr, nullptr, nullptr, 30, 40);
  r.layer = (kvLayer *)&fakeLayer;
  r.layerOriginX = 30;
  r.layerOriginY = 40;
  gMover = MoverLog{};
  gMoved = MovedLayer{};
  int32_t drawn = 0;
  ASSERT_EQ(FxRunOffscreen(&r, 1000, nullptr, nullptr, &drawn), 0);
  EXPECT_EQ(gMover.seen.objectType, FXMOVE_LAYER);
  EXPECT_EQ(gMover.seen.layer, (kvLayer *)&fakeLayer);
  EXPECT_EQ(gMover.seen.style, 2);
  EXPECT_EQ(gMover.seen.speed, FXSPEED_FAST);  // handed on unchanged
  EXPECT_EQ(gMoved.moves, 1);
  EXPECT_EQ(gMoved.x, 30);
  EXPECT_EQ(gMoved.y, 40);
  EXPECT_EQ(gMoved.option, 1);
  FxSetHooks(nullptr);
  FxSetMoveObject(nullptr);
  FreeBitMap(source);
}

}  // namespace

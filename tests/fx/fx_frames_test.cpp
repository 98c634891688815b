// Frame counts and the pieces of single frames for the cases where the exact drawing matters:
// the speed rule of each family and the set-up guards of small images.
#include <gtest/gtest.h>

#include <set>
#include <vector>
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "gfx/scale.h"
#include "tests/fx/fx_fixture.h"

namespace {

// Per frame, the pixels that changed since the frame before.
struct Recorder {
  BitMap *last;
  std::vector<std::vector<std::pair<int32_t, int32_t>>> changes;
};

int Record(TransitionRecord *r, void *user) {
  Recorder *rec = (Recorder *)user;
  std::vector<std::pair<int32_t, int32_t>> now;
  for (int32_t y = 0; y < r->target->height; y++)
    for (int32_t x = 0; x < r->target->width; x++)
      if (ReadBitMapPixel(r->target, x, y, 0) != ReadBitMapPixel(rec->last, x, y, 0)) now.push_back({x, y});
  BltBitMap(r->target, 0, 0, rec->last, 0, 0, r->target->width, r->target->height);
  rec->changes.push_back(now);
  return 0;
}

struct EffectRun {
  int32_t frames = 0, drawn = 0, step = 0;
  std::vector<std::vector<std::pair<int32_t, int32_t>>> changes;
};

// The effect on a w x h object that covers its picture exactly; source and picture differ in
// every pixel.
EffectRun RunEffect(int32_t effect, int32_t speed, int32_t w, int32_t h) {
  FxSeedRandom(1);
  BitMap *picture = AllocBitMap(w, h), *source = AllocBitMap(w, h);
  RectFillBitMap(picture, 0, 0, w, h, 0x000000);
  RectFillBitMap(source, 0, 0, w, h, 0xFFFFFF);
  BitMap *before = CopyBitMap(picture);
  Recorder rec{CopyBitMap(picture), {}};
  TransitionRecord r;
  FxInitOffscreen(&r, effect, speed, FX_RANDOMPARAMETER, source, nullptr, nullptr, before, picture, 0, 0);
  EffectRun out;
  EXPECT_EQ(FxRunOffscreen(&r, 100000, Record, &rec, &out.drawn), 0);
  out.frames = r.frames;
  out.step = r.speed;
  out.changes = rec.changes;
  FreeBitMap(rec.last);
  FreeBitMap(before);
  FreeBitMap(source);
  FreeBitMap(picture);
  return out;
}

std::set<int32_t> Columns(const std::vector<std::pair<int32_t, int32_t>> &px) {
  std::set<int32_t> s;
  for (auto &p : px) s.insert(p.first);
  return s;
}
std::set<int32_t> Rows(const std::vector<std::pair<int32_t, int32_t>> &px) {
  std::set<int32_t> s;
  for (auto &p : px) s.insert(p.second);
  return s;
}

TEST(FxFrames, CountsFollowTheSpeedRule) {
  struct Case {
    const char *what;
    int32_t effect, speed, w, h, frames;
  } cases[] = {
      {"HSTRIPES8 at normal speed: step 1", 3, FXSPEED_NORMAL, 100, 40, 100},
      {"HCLOSECURTAIN with a step above half the height falls back to 1", FX_HCLOSECURTAIN, 1000, 40, 100, 26},
      {"ZOOMIN at speed 10: 2 x 100 - 10 over 10, plus 1", FX_ZOOMIN, 10, 100, 50, 20},
      {"REVEALTOP caps a large step at half the height", FX_REVEALTOP, 1000, 100, 40, 2},
      {"REVEALLEFT takes 1 for a large step", FX_REVEALLEFT, 1000, 100, 40, 50},
      {"VLINES draws W + 1 lines", FX_VLINES, FXSPEED_NORMAL, 4, 3, 5},
      {"HBLINDS8 at normal speed: one row of each cell a frame", FX_HBLINDS8, FXSPEED_NORMAL, 20, 40, 8},
      {"BARS at normal speed", FX_BARS, FXSPEED_NORMAL, 40, 40, 13},
      {"RECTCENTER at normal speed on 100 x 50", FX_RECTCENTER, FXSPEED_NORMAL, 100, 50, 100},
      {"STRETCHLEFT at fast speed: W / 10 a frame", FX_STRETCHLEFT, FXSPEED_FAST, 100, 20, 10},
      {"speed 0 moves one pixel a frame", 1, 0, 10, 4, 10},
      {"a speed below -3 moves one pixel a frame", 1, -7, 10, 4, 10},
      // 1-pixel objects: the stripes' W - 1 and the random band's divisor are 0 there.
      {"HSTRIPES with a random band on a 1-pixel-wide object", FX_HSTRIPES, FXSPEED_NORMAL, 1, 9, 1},
      {"VSTRIPES with a random band on a 1-pixel-high object", FX_VSTRIPES, FXSPEED_SLOW, 9, 1, 1},
      {"HSTRIPES64 on a 2-pixel-wide object", FX_HSTRIPES64, 1000, 2, 9, 2},
      {"VOPENCURTAIN on a 1-pixel-wide object", FX_VOPENCURTAIN, FXSPEED_NORMAL, 1, 5, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EffectRun run = RunEffect(c.effect, c.speed, c.w, c.h);
    EXPECT_EQ(run.frames, c.frames);
    EXPECT_EQ(run.drawn, c.frames);
  }
}

TEST(FxFrames, Hstripes8RevealsAlternateBandsFromBothSides) {
  EffectRun run = RunEffect(3, FXSPEED_NORMAL, 100, 40);
  ASSERT_FALSE(run.changes.empty());
  const auto &first = run.changes[0];
  // Rows 0-7, 16-23, 32-39 start at the left edge; rows 8-15, 24-31 at the right edge.
  std::set<std::pair<int32_t, int32_t>> expected;
  for (int32_t y = 0; y < 40; y++) expected.insert({(y / 8) % 2 ? 99 : 0, y});
  EXPECT_EQ((std::set<std::pair<int32_t, int32_t>>(first.begin(), first.end())), expected);
}

TEST(FxFrames, VlinesDrawsEvenColumnsThenOddOnesBackwards) {
  EffectRun run = RunEffect(FX_VLINES, FXSPEED_NORMAL, 4, 3);
  ASSERT_EQ(run.changes.size(), 5u);
  // Columns 0, 2, 3, 3 (already drawn: no change), 1.
  const std::set<int32_t> none;
  EXPECT_EQ(Columns(run.changes[0]), std::set<int32_t>{0});
  EXPECT_EQ(Columns(run.changes[1]), std::set<int32_t>{2});
  EXPECT_EQ(Columns(run.changes[2]), std::set<int32_t>{3});
  EXPECT_EQ(Columns(run.changes[3]), none);
  EXPECT_EQ(Columns(run.changes[4]), std::set<int32_t>{1});
}

TEST(FxFrames, HclosecurtainBandsOfTwoRowsMeetInTheMiddle) {
  EffectRun run = RunEffect(FX_HCLOSECURTAIN, 1000, 40, 100);
  ASSERT_EQ(run.changes.size(), 26u);
  EXPECT_EQ(Rows(run.changes[0]), (std::set<int32_t>{0, 1, 98, 99}));
  EXPECT_EQ(Rows(run.changes[24]), (std::set<int32_t>{48, 49, 50, 51}));
}

TEST(FxFrames, HstrangepushRoundsAnOddStepUp) {
  EffectRun run = RunEffect(FX_HSTRANGEPUSH, 3, 40, 6);
  EXPECT_EQ(run.step, 4);
  EXPECT_EQ(run.frames, 10);
  // The first frame pushes 4 columns: odd rows from the left, even rows from the right.
  for (auto &p : run.changes[0]) {
    if (p.second % 2) EXPECT_LT(p.first, 4);
    else EXPECT_GE(p.first, 36);
  }
  EXPECT_EQ(run.changes[0].size(), 4u * 6u);
}

TEST(FxFrames, ZoominShrinksTheOldPictureToTheMiddleFirst) {
  EffectRun run = RunEffect(FX_ZOOMIN, 10, 100, 50);
  ASSERT_EQ(run.changes.size(), 20u);
  // Frames 1-10 only fill the border with the fill colour (black over black: no change), so
  // nothing of the new picture shows before frame 11, which grows it from the middle.
  for (int i = 0; i < 10; i++) EXPECT_TRUE(run.changes[i].empty()) << "frame " << i + 1;
  ASSERT_FALSE(run.changes[10].empty());
  for (auto &p : run.changes[10]) {
    EXPECT_NEAR(p.first, 50, 6);
    EXPECT_NEAR(p.second, 25, 4);
  }
}

}  // namespace

namespace {

// Each frame of a growing scaled object equals the old picture with the source scaled to that
// frame's rectangle drawn over it through its scaled mask.
struct ScaledFrames {
  const BitMap *picture, *source;
  const Mask *mask;
  int32_t effect, step, x, y;
  int wrong;
};
int CheckScaledFrame(TransitionRecord *r, void *user) {
  ScaledFrames *c = (ScaledFrames *)user;
  const int32_t w = c->source->width, h = c->source->height, size = r->frame * c->step;
  int32_t rx = 0, ry = 0, rw = w, rh = h;
  if (c->effect == FX_STRETCHLEFT) {
    rw = size < w ? size : w;
  } else if (size < w) {  // ZOOMCENTER on a wide object
    rw = size;
    rh = (int32_t)(size * ((double)h / w));
    if (rh < 1) rh = 1;
    rx = (w - rw) / 2;
    ry = (h - rh) / 2;
  }
  BitMap *sb = nullptr;
  Mask *sm = nullptr;
  AlphaChannel *sa = nullptr;
  EXPECT_EQ(ScaleBitMapTriple(c->source, c->mask, nullptr, 0, 0, nullptr, w, h, rw, rh, 0, &sb, &sm, &sa), 0);
  BitMap *expected = CopyBitMap(c->picture);
  BltMask(sb, 0, 0, expected, c->x + rx, c->y + ry, rw, rh, sm);
  if (DiffPictures(r->target, expected) != "") c->wrong++;
  FreeBitMap(expected);
  FreeTriple(sb, sm, sa);
  return 0;
}

TEST(FxFrames, ScaledMaskedFramesMatchTheirRectangle) {
  BitMap *picture = PatternBitMap(61, 47, 4), *source = PatternBitMap(37, 23, 8);
  Mask *mask = PatternMask(37, 23);
  for (int32_t effect : {(int32_t)FX_STRETCHLEFT, (int32_t)FX_ZOOMCENTER}) {
    BitMap *target = CopyBitMap(picture), *before = CutOut(picture, 12, 9, 37, 23);
    TransitionRecord r;
    FxInitOffscreen(&r, effect, 4, FX_RANDOMPARAMETER, source, mask, nullptr, before, target, 12, 9);
    ScaledFrames check{picture, source, mask, effect, 4, 12, 9, 0};
    int32_t drawn = 0;
    EXPECT_EQ(FxRunOffscreen(&r, 1000, CheckScaledFrame, &check, &drawn), 0);
    EXPECT_EQ(drawn, 10);
    EXPECT_EQ(check.wrong, 0) << "effect " << effect;
    FreeBitMap(before);
    FreeBitMap(target);
  }
  FreeMask(mask);
  FreeBitMap(source);
  FreeBitMap(picture);
}

}  // namespace

namespace {

// Steps and parameters at the ends of their range: every effect still ends, without overflow
// (the sanitizer build aborts on one), on its target.
TEST(FxFrames, ExtremeSpeedsAndParametersStillEnd) {
  const int32_t values[] = {INT32_MAX, INT32_MIN, 1 << 30, 0};
  BitMap *picture = PatternBitMap(20, 12, 1), *source = PatternBitMap(20, 12, 2);
  for (int32_t effect = 0; effect < FX_RANDOMEFFECT; effect++) {
    if (effect == FX_UNNAMED) continue;
    for (int32_t speed : values)
      for (int32_t parameter : values) {
        BitMap *target = CopyBitMap(picture), *before = CopyBitMap(picture);
        TransitionRecord r;
        FxInitOffscreen(&r, effect, speed, parameter, source, nullptr, nullptr, before, target, 0, 0);
        int32_t drawn = 0;
        ASSERT_EQ(FxRunOffscreen(&r, 100000, nullptr, nullptr, &drawn), 0);
        EXPECT_EQ(drawn, r.frames) << effect << " speed " << speed << " parameter " << parameter;
        EXPECT_EQ(DiffPictures(target, source), "") << effect << " speed " << speed;
        FreeBitMap(before);
        FreeBitMap(target);
      }
  }
  FreeBitMap(source);
  FreeBitMap(picture);
}

}  // namespace

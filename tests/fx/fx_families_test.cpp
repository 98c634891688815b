// The mixing, moving, shape, pixel and growing-band effects: frame counts and the geometry of
// single frames where the exact drawing matters, the mended faults (the last pixel-zoom frame,
// the 1x1 swiss count), seeks that must draw a whole state at once, a layer that changes size
// halfway, and golden checksums of the first frames of the per-pixel kernels' effects.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <vector>
#include "fx/fx_catalogue.h"
#include "fx/fx_effects.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "fx/fx_seek.h"
#include "fx/fx_support.h"
#include "tests/fx/fx_fixture.h"

namespace {

// A run of an effect over a whole picture: the target after `frames` frames (all when 0),
// the stored and the drawn count and the step, and a look at the target after every frame.
struct EffectRun {
  int32_t frames = 0, drawn = 0, step = 0;
};
using FrameLook = std::function<void(TransitionRecord *)>;

int Look(TransitionRecord *r, void *user) {
  (*(FrameLook *)user)(r);
  return 0;
}

EffectRun RunOn(int32_t effect, int32_t speed, BitMap *picture, BitMap *source, int32_t maxFrames = 1000000,
          FrameLook look = nullptr) {
  FxSeedRandom(1);
  BitMap *before = CopyBitMap(picture);
  TransitionRecord r;
  FxInitOffscreen(&r, effect, speed, FX_RANDOMPARAMETER, source, nullptr, nullptr, before, picture, 0, 0);
  EffectRun out;
  EXPECT_EQ(FxRunOffscreen(&r, maxFrames, look ? Look : nullptr, look ? &look : nullptr, &out.drawn), 0);
  out.frames = r.frames;
  out.step = r.speed;
  FreeBitMap(before);
  return out;
}

// Black picture, white source of the same size.
struct Plain {
  BitMap *picture, *source;
  Plain(int32_t w, int32_t h, uint32_t old = 0x000000, uint32_t now = 0xFFFFFF) {
    picture = AllocBitMap(w, h);
    source = AllocBitMap(w, h);
    RectFillBitMap(picture, 0, 0, w, h, old);
    RectFillBitMap(source, 0, 0, w, h, now);
  }
  ~Plain() {
    FreeBitMap(picture);
    FreeBitMap(source);
  }
};

std::set<int32_t> RowsOf(const BitMap *bm, uint32_t colour) {
  std::set<int32_t> rows;
  for (int32_t y = 0; y < bm->height; y++)
    for (int32_t x = 0; x < bm->width; x++)
      if (ReadBitMapPixel(bm, x, y, 0) == colour) rows.insert(y);
  return rows;
}

TEST(FxFamilies, FrameCountsFollowTheStepRules) {
  struct Case {
    const char *what;
    int32_t effect, speed, w, h, frames;
  } cases[] = {
      {"FADE at 255: all colour, tint 1, untinted", FX_FADE, 255, 20, 10, 3},
      {"BLEND at 255", FX_BLEND, 255, 20, 10, 3},
      {"CROSSFADE at 500 uses 120", FX_CROSSFADE, 500, 20, 10, 3},
      {"DISSOLVE at 100 uses 8", FX_DISSOLVE, 100, 20, 10, 32},
      {"STRUDEL at 1 uses 2", FX_STRUDEL, 1, 20, 10, 360},
      {"WATER at fast speed", FX_WATER1, FXSPEED_FAST, 20, 10, 20},
      {"WATER at slow speed", FX_WATER1 + 2, FXSPEED_SLOW, 20, 10, 100},
      {"PUSHLEFT 640 wide: 16 pixels a frame", FX_PUSHLEFT, FXSPEED_NORMAL, 640, 4, 40},
      {"PUZZLE on 640 x 480: 21 x 16 tiles of 32", FX_PUZZLE, FXSPEED_NORMAL, 640, 480, 336},
      {"STAR wide at 100: ceil((4w - 110) / 100) + 1", FX_STAR, 100, 300, 100, 12},
      {"HSPLIT on 400 x 300: step 3, quarter 100", FX_HSPLIT, FXSPEED_NORMAL, 400, 300, 35},
      {"PIXELZOOM1: blocks of 24 down to 1", FX_PIXELZOOM1, FXSPEED_NORMAL, 30, 20, 25},
      {"PIXELZOOM2: the before image breaks up first", FX_PIXELZOOM2, FXSPEED_NORMAL, 30, 20, 49},
      {"SWISS on 1 x 1 has one frame, not none", FX_SWISS, FXSPEED_NORMAL, 1, 1, 1},
      {"ROLLTOP at 100: 8 lines a frame", FX_ROLLTOP, 100, 10, 480, 60},
      {"TURNDOWNTOP ends when the offset reaches H - s", FX_TURNDOWNTOP, 10, 10, 100, 9},
      // Leg 10 starts below its end when the row height is below the step.
      {"SPIRAL on 100 x 50 ends", FX_SPIRAL, FXSPEED_NORMAL, 100, 50, 0},
      {"SUN on 1 x 1", FX_SUN, FXSPEED_NORMAL, 1, 1, 1},
      {"CLOCKWIPE on 1 x 1", FX_CLOCKWIPE, FXSPEED_NORMAL, 1, 1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Plain p(c.w, c.h);
    EffectRun run = RunOn(c.effect, c.speed, p.picture, p.source);
    if (c.frames) {
      EXPECT_EQ(run.frames, c.frames);
    }
    EXPECT_EQ(run.drawn, run.frames);
    EXPECT_EQ(DiffPictures(p.picture, p.source), "");
  }
}

TEST(FxFamilies, StepsAndBlocksOfSingleFrames) {
  {
    SCOPED_TRACE("PUSHLEFT moves the new picture in 16 columns a frame");
    Plain p(640, 4);
    int32_t frame = 0;
    RunOn(FX_PUSHLEFT, FXSPEED_NORMAL, p.picture, p.source, 3, [&](TransitionRecord *r) {
      frame++;
      for (int32_t x : {16 * frame - 1, 16 * frame}) EXPECT_EQ(ReadBitMapPixel(r->target, x, 0, 0), x < 16 * frame ? 0xFFFFFFu : 0u);
    });
  }
  {
    Plain p(200, 8);
    EXPECT_EQ(RunOn(FX_SLIDELEFT, 500, p.picture, p.source).step, 30) << "SLIDELEFT at 500";
  }
  {
    SCOPED_TRACE("DIAGONAL on 100 wide at 30 uses blocks of 1 pixel (30 is above 100 / 4)");
    Plain p(100, 20);
    std::vector<std::set<int32_t>> rows;
    EffectRun run = RunOn(FX_DIAGONAL, 30, p.picture, p.source, 1, [&](TransitionRecord *r) {
      EXPECT_EQ(RowsOf(r->target, 0xFFFFFF), std::set<int32_t>{0});
      EXPECT_EQ(ReadBitMapPixel(r->target, 0, 0, 0), 0xFFFFFFu);
      EXPECT_EQ(ReadBitMapPixel(r->target, 1, 0, 0), 0u);
    });
    EXPECT_EQ(run.step, 1);
  }
  {
    SCOPED_TRACE("HOPENGATE on 101 rows starts with its edges at 51 - s and 50 + s");
    Plain p(10, 101);
    RunOn(FX_HOPENGATE, 5, p.picture, p.source, 1, [&](TransitionRecord *r) {
      std::set<int32_t> want;
      for (int32_t y = 51 - 5; y < 50 + 5; y++) want.insert(y);
      EXPECT_EQ(RowsOf(r->target, 0xFFFFFF), want);
    });
  }
  {
    SCOPED_TRACE("VFLIPCOIN shows the old picture 1 pixel high at its middle frame");
    Plain p(12, 40, 0x808080);
    RunOn(FX_VFLIPCOIN, 4, p.picture, p.source, 10, [&](TransitionRecord *r) {
      if (r->frame == 10) {
        EXPECT_EQ(RowsOf(r->target, 0x808080), std::set<int32_t>{19});
      }
    });
  }
}

TEST(FxFamilies, PuzzleUncoversEveryTileOnceInARandomOrder) {
  Plain p(100, 60);
  BitMap *last = CopyBitMap(p.picture);
  std::set<std::pair<int32_t, int32_t>> tiles;
  int32_t frames = 0, empty = 0;
  bool inOrder = true;
  EffectRun run = RunOn(FX_PUZZLE, FXSPEED_NORMAL, p.picture, p.source, 1000000, [&](TransitionRecord *r) {
    // One tile of 5 x 5 (tiles 100 / 20) a frame, never one shown before.
    int32_t x0 = 1 << 30, y0 = 1 << 30, n = 0;
    for (int32_t y = 0; y < 60; y++)
      for (int32_t x = 0; x < 100; x++)
        if (ReadBitMapPixel(r->target, x, y, 0) != ReadBitMapPixel(last, x, y, 0)) {
          x0 = x < x0 ? x : x0;
          y0 = y < y0 ? y : y0;
          n++;
        }
    frames++;
    if (n == 0) {  // a tile of the extra column or row, wholly outside the area
      empty++;
      return;
    }
    EXPECT_EQ(n, 25) << "frame " << frames;
    EXPECT_EQ(x0 % 5, 0);
    EXPECT_EQ(y0 % 5, 0);
    EXPECT_TRUE(tiles.insert({x0, y0}).second);
    if (tiles.size() >= 2 && *tiles.rbegin() != std::make_pair(x0, y0)) inOrder = false;
    BltBitMap(r->target, 0, 0, last, 0, 0, 100, 60);
  });
  EXPECT_EQ(run.step, 5);
  EXPECT_EQ(run.frames, 21 * 13);
  // 100 / 5 + 1 columns and 60 / 5 + 1 rows: the last column and row lie outside.
  EXPECT_EQ((int32_t)tiles.size(), 20 * 12);
  EXPECT_EQ(empty, 21 + 12);
  EXPECT_EQ(frames, run.frames);
  EXPECT_FALSE(inOrder);
  FreeBitMap(last);
}

// ROLL's cylinder: at a frame where the whole band lies inside the picture, the rows that show
// neither the old picture nor the source's own row are the bent ones: the cylinder less its last
// row.
TEST(FxFamilies, RollCylinderSizes) {
  struct Case {
    int32_t effect, h, frame, lines;
  } cases[] = {{FX_ROLLTOP, 480, 30, 40}, {FX_WALLPAPERTOP, 480, 150, 240}, {FX_ROLLTOP, 200, 50, 20}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.effect) + " on " + std::to_string(c.h) + " rows");
    BitMap *picture = AllocBitMap(4, c.h), *source = AllocBitMap(4, c.h);
    RectFillBitMap(picture, 0, 0, 4, c.h, 0xFFFFFF);
    for (int32_t y = 0; y < c.h; y++) RectFillBitMap(source, 0, y, 4, 1, (uint32_t)y + 1);
    RunOn(c.effect, FXSPEED_NORMAL, picture, source, c.frame, [&](TransitionRecord *r) {
      if (r->frame != c.frame) return;
      int32_t bent = 0;
      for (int32_t y = 0; y < c.h; y++) {
        const uint32_t v = ReadBitMapPixel(r->target, 0, y, 0);
        if (v != 0xFFFFFF && v != (uint32_t)y + 1) bent++;
      }
      EXPECT_GE(bent, c.lines - 1);
      EXPECT_LE(bent, c.lines);
    });
    FreeBitMap(source);
    FreeBitMap(picture);
  }
}

// The fault of the last frame: its block size came out as 0, which drew nothing and left the
// blocks of an earlier frame in a masked source's planes; it is a plain copy now.
TEST(FxFamilies, PixelZoomEndsOnItsLastCountedFrame) {
  for (int32_t effect : {(int32_t)FX_PIXELZOOM1, (int32_t)FX_PIXELZOOM2}) {
    BitMap *picture = PatternBitMap(30, 20, 1), *source = PatternBitMap(30, 20, 2), *before = CopyBitMap(picture);
    Mask *mask = PatternMask(30, 20);
    BitMap *expected = PlainResult(picture, source, mask, nullptr, 0, 0);
    std::vector<bool> exact;
    FrameLook look = [&](TransitionRecord *r) { exact.push_back(DiffPictures(r->target, expected).empty()); };
    TransitionRecord r;
    FxInitOffscreen(&r, effect, FXSPEED_NORMAL, FX_RANDOMPARAMETER, source, mask, nullptr, before, picture, 0, 0);
    int32_t drawn = 0;
    ASSERT_EQ(FxRunOffscreen(&r, 1000, Look, &look, &drawn), 0);
    ASSERT_EQ(drawn, effect == FX_PIXELZOOM1 ? 25 : 49);
    EXPECT_TRUE(exact.back()) << effect;
    EXPECT_FALSE(exact[exact.size() - 3]) << effect << ": blocks of 2 two frames before the end";
    FreeBitMap(expected);
    FreeMask(mask);
    FreeBitMap(before);
    FreeBitMap(source);
    FreeBitMap(picture);
  }
}

// A seek into CLOCKWIPE draws the whole sector swept up to that frame in one polygon.
TEST(FxFamilies, ClockWipeSeekDrawsTheWholeSweptSector) {
  const int32_t w = 60, h = 40, at = 12;
  Plain ran(w, h), sought(w, h);
  RunOn(FX_CLOCKWIPE, 20, ran.picture, ran.source, at);
  BitMap *before = CopyBitMap(sought.picture);
  TransitionRecord r;
  FxInitOffscreen(&r, FX_CLOCKWIPE, 20, FX_RANDOMPARAMETER, sought.source, nullptr, nullptr, before, sought.picture, 0,
                  0);
  ASSERT_EQ(FxInstallEffect(&r), 0);
  r.phase = FXPHASE_SETUP;
  ASSERT_EQ(r.step(&r, nullptr), 0);
  r.phase = FXPHASE_RUN;
  ASSERT_EQ(FxSeek(&r, at, 0), 0);
  int32_t ranShown = 0, soughtShown = 0, missing = 0;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const bool a = ReadBitMapPixel(ran.picture, x, y, 0) == 0xFFFFFF, b = ReadBitMapPixel(sought.picture, x, y, 0) == 0xFFFFFF;
      ranShown += a;
      soughtShown += b;
      missing += a && !b;
    }
  EXPECT_EQ(missing, 0);
  EXPECT_GT(ranShown, w * h / 2);  // past the bottom right corner by frame 12
  // The single polygon leaves no seams between the frames' sectors; those are all it adds.
  EXPECT_LE(soughtShown - ranShown, at * (w + h) / 4);
  FxFreeEffectState(&r, 0);
  FreeBitMap(before);
}

// First frames on tiny pictures, checked by a checksum of their pixels; frozen after a look at
// the contact sheets of these effects.
uint32_t Crc32(const BitMap *bm) {
  uint32_t crc = 0xFFFFFFFFu;
  for (int32_t y = 0; y < bm->height; y++)
    for (int32_t x = 0; x < bm->width; x++) {
      const uint32_t v = ReadBitMapPixel(bm, x, y, 0) & 0xFFFFFF;
      for (int b = 0; b < 3; b++) {
        crc ^= (v >> (8 * b)) & 0xFF;
        for (int k = 0; k < 8; k++) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
      }
    }
  return ~crc;
}

TEST(FxFamilies, FirstFramesOfTheKernelEffects) {
  struct Case {
    int32_t effect, speed;
    uint32_t crc;
  } cases[] = {{FX_WATER1, FXSPEED_FAST, 796086884u},
               {FX_STRUDEL, 60, 1466518871u},
               {FX_DISSOLVE, FXSPEED_NORMAL, 732699884u},
               {FX_PIXELZOOM1, FXSPEED_NORMAL, 4197012970u},
               {FX_ROLLTOP, 3, 620198719u}};
  for (const Case &c : cases) {
    BitMap *picture = PatternBitMap(16, 12, 3), *source = PatternBitMap(16, 12, 4);
    uint32_t crc = 0;
    RunOn(c.effect, c.speed, picture, source, 1, [&](TransitionRecord *r) { crc = Crc32(r->target); });
    EXPECT_EQ(crc, c.crc) << FxEffectInfo(c.effect)->name;
    FreeBitMap(source);
    FreeBitMap(picture);
  }
}

}  // namespace

// The arithmetic, the clipped copies and plane helpers the effects share, the catalogue with
// its sets, reverse pairs and random choice, and the seedable generator.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>
#include "fx/fx_catalogue.h"
#include "fx/fx_random.h"
#include "fx/fx_support.h"
#include "tests/fx/fx_fixture.h"

namespace {

TEST(FxSupport, SpeedAndFrameArithmetic) {
  EXPECT_EQ(FxCeilDiv(0, 7, 0), 1);
  EXPECT_EQ(FxCeilDiv(-5, 7, 1), 1);
  EXPECT_EQ(FxCeilDiv(10, 3, 0), 5);
  EXPECT_EQ(FxCeilDiv(9, 3, 1), 3);
  EXPECT_EQ(FxCeilDiv(5, 0, 1), 5);  // a zero divisor counts as 1 instead of dividing by zero
  struct Case {
    int32_t speed, distance, expected;
  } cases[] = {{FXSPEED_NORMAL, 50, 1}, {FXSPEED_NORMAL, 700, 10}, {FXSPEED_FAST, 700, 23},
               {FXSPEED_SLOW, 700, 3},  {0, 700, 1},             {-9, 700, 1},
               {FXSPEED_DEFAULT, 700, 1}, {17, 700, 17}};
  for (const Case &c : cases) EXPECT_EQ(FxStepsForSpeed(c.speed, c.distance, 70, 30, 200), c.expected) << c.speed;
}

TEST(FxSupport, CopyRegionClipsBothSides) {
  BitMap *src = PatternBitMap(40, 10, 3);
  BitMap *dst = AllocBitMap(40, 10);
  RectFillBitMap(dst, 0, 0, 40, 10, 0x123456);
  // From x -10, 30 wide: 20 columns land 10 to the right of the asked place.
  FxCopyRegion(src, -10, 0, dst, 5, 0, 30, 10, 40, 10, 40, 10);
  EXPECT_EQ(ReadBitMapPixel(dst, 14, 0, 0), 0x123456u);
  EXPECT_EQ(DiffRect(dst, 15, 0, src, 0, 0, 20, 10), "");
  EXPECT_EQ(ReadBitMapPixel(dst, 35, 0, 0), 0x123456u);
  // Past the far edges and wholly outside: nothing beyond the planes is touched.
  FxCopyRegion(src, 30, 5, dst, 35, 8, 50, 50, 40, 10, 40, 10);
  EXPECT_EQ(DiffRect(dst, 35, 8, src, 30, 5, 5, 2), "");
  FxCopyRegion(src, 0, 0, dst, 40, 0, 5, 5, 40, 10, 40, 10);
  FreeBitMap(dst);
  FreeBitMap(src);
}

TEST(FxSupport, MaskToAlphaPlanes) {
  Mask *m = PatternMask(13, 3);
  AlphaChannel *a = AllocAlphaChannel(13, 3, 1);
  PrepareFxMask(a, m, nullptr, 13, 3);
  for (int32_t y = 0; y < 3; y++)
    for (int32_t x = 0; x < 13; x++)
      EXPECT_EQ(a->pixels[y * a->bytesPerRow + x], MaskRowBit(m->pixels + y * m->bytesPerRow, x) ? 255 : 0);
  PrepareFxMask(a, nullptr, nullptr, 13, 3);
  EXPECT_EQ(a->pixels[2 * a->bytesPerRow + 12], 255);
  AlphaChannel *src = PatternAlpha(13, 3);
  PrepareFxMask(a, nullptr, src, 13, 3);
  for (int32_t y = 0; y < 3; y++) EXPECT_EQ(memcmp(a->pixels + y * a->bytesPerRow, src->pixels + y * src->bytesPerRow, 13), 0);
  FreeAlphaChannel(src);
  FreeAlphaChannel(a);
  FreeMask(m);
}

struct FillLog {
  int calls;
  int32_t x, y, w, h;
  uint32_t rgb;
} gFill;
void LogFill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgb) { gFill = {gFill.calls + 1, x, y, w, h, rgb}; }

TEST(FxSupport, FillRectWithoutATargetGoesToTheWindowHook) {
  TransitionRecord r;
  memset(&r, 0, sizeof r);
  r.x = 10;
  r.y = 20;
  FxHooks hooks{};
  hooks.fillWindow = LogFill;
  FxSetHooks(&hooks);
  FxFillRect(&r, 1, 2, 3, 4, 0xABCDEF, 0);
  FxSetHooks(nullptr);
  EXPECT_EQ(gFill.calls, 1);
  EXPECT_EQ(gFill.x, 11);
  EXPECT_EQ(gFill.y, 22);
  EXPECT_EQ(gFill.w, 3);
  EXPECT_EQ(gFill.rgb, 0xABCDEFu);
  FxFillRect(&r, 1, 2, 3, 4, 0, 0);  // no hook: nothing happens
  EXPECT_EQ(gFill.calls, 1);
}

TEST(FxCatalogue, SetsAndReversePairs) {
  const int32_t pictureOnly[] = {74, 81, 101, 104, 111, 112, 118, 131, 133};
  for (int32_t e : pictureOnly) EXPECT_TRUE(FxIsPictureOnly(e)) << e;
  for (int32_t e : {0, 73, 82, 100, 105, 110, 117, 132, 134, 139}) EXPECT_FALSE(FxIsPictureOnly(e)) << e;
  for (int32_t e : {55, 69, 99, 118, 119}) EXPECT_TRUE(FxIsSeekable(e)) << e;
  for (int32_t e : {0, 46, 47, 88, 105}) EXPECT_FALSE(FxIsSeekable(e)) << e;
  for (int32_t e : {55, 73, 84, 99, 100, 116, 117, 132, 133}) EXPECT_TRUE(FxIsReverseCapable(e)) << e;
  EXPECT_FALSE(FxIsReverseCapable(0));
  EXPECT_EQ(FxReverseEffect(FX_REVEALLEFT), FX_REVEALRIGHT);
  EXPECT_EQ(FxReverseEffect(FX_REVEALBOTTOM), FX_REVEALTOP);
  EXPECT_EQ(FxReverseEffect(FX_VOPENCURTAIN), FX_VCLOSECURTAIN);
  EXPECT_EQ(FxReverseEffect(FX_HCLOSECURTAIN), FX_HOPENCURTAIN);
  EXPECT_EQ(FxReverseEffect(40), 90);  // RECTNORTHEAST runs as RECTBACKNORTHEAST
  EXPECT_EQ(FxReverseEffect(96), 46);
  EXPECT_EQ(FxReverseEffect(FX_HSTRIPES), FX_HSTRIPES);
}

TEST(FxCatalogue, InstallRefusesNumbersOutsideTheTable) {
  TransitionRecord r;
  memset(&r, 0, sizeof r);
  for (int32_t e : {-1, 113, 140, 141, 100000}) {
    r.effect = e;
    EXPECT_EQ(FxInstallEffect(&r), 1055) << e;
    EXPECT_EQ(r.step, nullptr);
  }
  // Every number 0-139 but 113 runs its own routine (scrolling needs the moving-object engine).
  for (int32_t e = 0; e < FX_RANDOMEFFECT; e++) {
    if (e == FX_UNNAMED || (e >= FX_SCROLLLEFT && e <= FX_SCROLLNORTHWEST)) continue;
    r.effect = e;
    EXPECT_EQ(FxInstallEffect(&r), 0);
    EXPECT_FALSE(FxRunsStandIn(e)) << e;
    EXPECT_EQ(r.step, FxEffectInfo(e)->step) << e;
  }
  r.effect = FX_ZOOMOUT;
  EXPECT_EQ(FxInstallEffect(&r), 0);
  EXPECT_EQ(r.step, FxEffectInfo(FX_ZOOMIN)->step);
}

TEST(FxCatalogue, RandomChoiceSkipsReservedAndPictureOnlyNumbers) {
  FxSeedRandom(12345);
  std::set<int32_t> seen;
  for (int i = 0; i < 10000; i++) {
    int32_t any = FxRandomEffect(0), objects = FxRandomEffect(1);
    ASSERT_TRUE(any >= 0 && any < 140 && any != 113) << any;
    ASSERT_TRUE(objects >= 0 && objects < 140 && objects != 113 && !FxIsPictureOnly(objects)) << objects;
    seen.insert(any);
  }
  EXPECT_EQ(seen.size(), 139u);  // every allowed number turns up
}

TEST(FxCatalogue, ScriptConstants) {
  std::set<std::string> names;
  int count = 0;
  for (const FxConstant *c = kFxConstants; c->name; c++, count++) names.insert(c->name);
  EXPECT_EQ(count, 145);
  EXPECT_EQ(names.size(), 145u);
  auto value = [](const char *name) {
    for (const FxConstant *c = kFxConstants; c->name; c++)
      if (!strcmp(c->name, name)) return c->value;
    return -100;
  };
  EXPECT_EQ(value("SCROLLSOUTH"), 50);
  EXPECT_EQ(value("RANDOMEFFECT"), 140);
  EXPECT_EQ(value("RANDOMPARAMETER"), -1);
  EXPECT_EQ(value("SUN"), 114);
  EXPECT_EQ(value("DISSOLVE"), 139);
}

TEST(FxRandom, SeedingRepeatsTheSequence) {
  FxSeedRandom(99);
  int32_t a[5];
  for (int32_t &v : a) v = FxRand();
  FxSeedRandom(99);
  for (int32_t v : a) EXPECT_EQ(FxRand(), v);
  for (int i = 0; i < 1000; i++) {
    double u = FxRandUnit();
    ASSERT_TRUE(u >= 0.0 && u < 1.0);
  }
}

// A block of bytes is the values the calls one by one give, and the sequence goes on after it
// as it would after them: for counts below, at and past the interleaved runs it takes at once.
TEST(FxRandom, ABlockOfBytesIsTheSequenceOfCalls) {
  for (size_t n : {0, 1, 7, 8, 9, 15, 16, 17, 23, 1000, 65551, 300007})
    for (int32_t modulus : {1, 2, 3, 100, 129, 255, 256}) {
      std::vector<uint8_t> want(n), got(n + 1, 77);
      FxSeedRandom(n * 31 + modulus);
      for (uint8_t &v : want) v = (uint8_t)(FxRand() % modulus);
      const int32_t next = FxRand();
      FxSeedRandom(n * 31 + modulus);
      FxRandBytes(got.data(), n, modulus);
      EXPECT_EQ(got[n], 77) << "past the block";
      got.pop_back();
      EXPECT_EQ(want, got) << n << " bytes modulo " << modulus;
      EXPECT_EQ(FxRand(), next) << n << " bytes modulo " << modulus;
    }
}

}  // namespace

// Runs every effect number on plain bitmaps and checks what a transition must give whatever
// the effect: the last frame equals the plain display of the object, the frames drawn equal the
// count set-up stored, no frame touches a pixel outside the object, and a seek midway still
// ends on the target. Objects: 37x23 over a 61x47 picture (inside it and reaching past its left
// and bottom edges), the whole picture, and the 1-pixel objects 1x1, 1x9 and 9x1.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include "fx/fx_catalogue.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "fx/fx_seek.h"
#include "fx/fx_support.h"
#include "tests/fx/fx_fixture.h"

namespace {

struct Placement {
  int32_t w, h, x, y;
};
const Placement kPlacements[] = {{37, 23, 12, 9}, {61, 47, 0, 0}, {1, 1, 30, 20},
                                 {1, 9, 5, 3},    {9, 1, 50, 46}, {37, 23, -10, 30}};  // the last partly outside
const int32_t kSpeeds[] = {FXSPEED_NORMAL, FXSPEED_FAST, FXSPEED_SLOW, 3, 1000};
enum SourceKind { OPAQUE, MASKED, TRANSLUCENT };

struct Watch {
  const BitMap *picture;
  Placement at;
  int changedOutside;
};

int WatchFrame(TransitionRecord *r, void *user) {
  Watch *w = (Watch *)user;
  if (ChangedOutside(r->target, w->picture, w->at.x, w->at.y, w->at.w, w->at.h)) w->changedOutside++;
  return 0;
}

// One run of an effect on fresh pictures; the failures name the case.
struct Outcome {
  int rc = 0;
  int32_t drawn = 0, frames = 0;
  int changedOutside = 0;
  std::string finalDiff;
};

Outcome RunCase(int32_t effect, int32_t speed, const Placement &p, SourceKind kind, int seekTo) {
  FxSeedRandom(7);
  BitMap *picture = PatternBitMap(61, 47, 1);
  BitMap *source = PatternBitMap(p.w, p.h, 2);
  Mask *mask = kind == MASKED ? PatternMask(p.w, p.h) : nullptr;
  AlphaChannel *alpha = kind == TRANSLUCENT ? PatternAlpha(p.w, p.h) : nullptr;
  BitMap *expected = PlainResult(picture, source, mask, alpha, p.x, p.y);
  BitMap *target = CopyBitMap(picture);
  BitMap *before = CutOut(picture, p.x, p.y, p.w, p.h);
  // Effects that do not compose a masked source get it flattened over the background first,
  // as the engine does.
  BitMap *flat = nullptr;
  if (kind != OPAQUE && !FxIsSelfComposing(effect)) {
    flat = CutOut(expected, p.x, p.y, p.w, p.h);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
    mask = nullptr;
    alpha = nullptr;
  }
  TransitionRecord r;
  FxInitOffscreen(&r, effect, speed, FX_RANDOMPARAMETER, flat ? flat : source, mask, alpha, before, target, p.x, p.y);
  Watch watch{picture, p, 0};
  Outcome o;
  if (seekTo) {
    // Draw a few frames, seek to the middle, then run to the end.
    o.rc = FxInstallEffect(&r);
    r.phase = FXPHASE_SETUP;
    if (!o.rc) o.rc = r.step(&r, nullptr);
    r.phase = FXPHASE_RUN;
    int32_t done = 0;
    for (int i = 0; i < 2 && !done && !o.rc; i++) o.rc = r.step(&r, &done);
    if (!o.rc) o.rc = FxSeek(&r, r.frames / 2, 0);
    done = 0;  // a seek back reopens the run
    WatchFrame(&r, &watch);
    for (int i = 0; !done && !o.rc && i < 100000; i++) {
      o.rc = r.step(&r, &done);
      WatchFrame(&r, &watch);
    }
    FxFreeEffectState(&r, done);
  } else {
    o.rc = FxRunOffscreen(&r, 100000, WatchFrame, &watch, &o.drawn);
  }
  o.frames = r.frames;
  o.changedOutside = watch.changedOutside;
  o.finalDiff = DiffPictures(target, expected);
  FreeBitMap(flat);
  FreeBitMap(before);
  FreeBitMap(target);
  FreeBitMap(expected);
  FreeAlphaChannel(alpha);
  FreeMask(mask);
  FreeBitMap(source);
  FreeBitMap(picture);
  return o;
}

std::string Name(int32_t effect, int32_t speed, const Placement &p, int kind) {
  const FxEffectEntry *e = FxEffectInfo(effect);
  return std::string(e->name ? e->name : "?") + " speed " + std::to_string(speed) + " on " + std::to_string(p.w) +
         "x" + std::to_string(p.h) + " source kind " + std::to_string(kind);
}

TEST(FxEffects, EveryEffectEndsOnTheTargetWithinTheObjectInTheCountedFrames) {
  for (int32_t effect = 0; effect < FX_RANDOMEFFECT; effect++) {
    if (effect == FX_UNNAMED) continue;
    for (int32_t speed : kSpeeds)
      for (const Placement &p : kPlacements)
        for (int kind = OPAQUE; kind <= TRANSLUCENT; kind++) {
          SCOPED_TRACE(Name(effect, speed, p, kind));
          Outcome o = RunCase(effect, speed, p, (SourceKind)kind, 0);
          ASSERT_EQ(o.rc, 0);
          EXPECT_EQ(o.drawn, o.frames);
          EXPECT_EQ(o.changedOutside, 0);
          EXPECT_EQ(o.finalDiff, "");
          if (HasFailure()) return;
        }
  }
}

TEST(FxEffects, ASeekMidwayStillEndsOnTheTarget) {
  for (int32_t effect = 0; effect < FX_RANDOMEFFECT; effect++) {
    if (effect == FX_UNNAMED) continue;
    for (int32_t speed : {(int32_t)FXSPEED_NORMAL, 3})
      for (const Placement &p : kPlacements)
        for (int kind : {(int)OPAQUE, (int)MASKED}) {
          SCOPED_TRACE(Name(effect, speed, p, kind) + " with a seek");
          Outcome o = RunCase(effect, speed, p, (SourceKind)kind, 1);
          ASSERT_EQ(o.rc, 0);
          EXPECT_EQ(o.changedOutside, 0);
          EXPECT_EQ(o.finalDiff, "");
          if (HasFailure()) return;
        }
  }
}

}  // namespace

namespace {

// 113 and 140 have no routine of their own: they run whatever the seeded random choice gives,
// which must end like any other effect.
TEST(FxEffects, TheRandomNumbersRunTheSeededChoice) {
  for (uint64_t seed = 1; seed <= 12; seed++)
    for (int objectsOnly = 0; objectsOnly <= 1; objectsOnly++) {
      FxSeedRandom(seed);
      const int32_t effect = FxRandomEffect(objectsOnly);
      ASSERT_NE(effect, FX_UNNAMED);
      ASSERT_NE(effect, FX_RANDOMEFFECT);
      SCOPED_TRACE(Name(effect, FXSPEED_NORMAL, kPlacements[0], OPAQUE) + " chosen for 113 and 140");
      Outcome o = RunCase(effect, FXSPEED_NORMAL, kPlacements[0], OPAQUE, 0);
      ASSERT_EQ(o.rc, 0);
      EXPECT_EQ(o.drawn, o.frames);
      EXPECT_EQ(o.changedOutside, 0);
      EXPECT_EQ(o.finalDiff, "");
    }
}

}  // namespace

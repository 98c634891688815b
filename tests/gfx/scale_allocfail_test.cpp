// Allocation failures on the scaling, transformation and other triple paths: every failing
// allocation gives 1000 (or nothing) with nothing left allocated and the outputs untouched.
//
// This program brings its own MemAlloc/MemFree (the library's are then not linked in), which
// fail the n-th allocation on request and count what is still allocated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "gfx/coverage.h"
#include "gfx/quantise.h"
#include "gfx/scale.h"
#include "gfx/transition_kernels.h"
#include "runtime/memory.h"

namespace {
long gFailAt = -1;  // allocation number that fails (-1: none)
long gCount = 0;    // allocations since the counter was reset
long gLive = 0;     // blocks allocated and not yet freed
}  // namespace

void *MemAlloc(size_t size, int clear) {
  if (size == 0) return nullptr;
  if (gFailAt >= 0 && gCount++ == gFailAt) return nullptr;
  void *p = clear ? calloc(1, size) : malloc(size);
  if (p) gLive++;
  return p;
}

void MemFree(void *block) {
  if (!block) return;
  gLive--;
  free(block);
}

namespace {

void Arm(long n) {
  gCount = 0;
  gFailAt = n;
}

// Runs op with the n-th allocation failing, n = 0, 1, ... until op succeeds; every failure must
// give `failure` and leave no block behind (free the result of a success in op itself).
template <class Op>
void EveryFailure(Op op, int failure, const char *what) {
  long n = 0;
  for (;; n++) {
    const long live = gLive;
    Arm(n);
    const int rc = op();
    gFailAt = -1;
    if (gCount <= n) {  // no allocation failed: the operation went through
      EXPECT_EQ(rc, 0) << what;
      EXPECT_EQ(gLive, live) << what;
      break;
    }
    EXPECT_EQ(rc, failure) << what << " failing allocation " << n;
    EXPECT_EQ(gLive, live) << what << " leaked after failing allocation " << n;
    ASSERT_LT(n, 100) << what;
  }
  EXPECT_GT(n, 0) << what << " allocated nothing";
}

struct Triple {
  BitMap *bm;
  Mask *mask;
  AlphaChannel *alpha;
};

Triple MakeTriple(int32_t w, int32_t h) {
  Triple t = {AllocBitMap(w, h), AllocMask(nullptr, w, h, 1), AllocAlphaChannel(w, h, 1)};
  memset(t.bm->pixels, 0x5A, (size_t)t.bm->bytesPerRow * h);
  memset(t.mask->pixels, 0xF0, (size_t)t.mask->bytesPerRow * h);
  return t;
}
void FreeTriple(Triple &t) {
  FreeBitMap(t.bm);
  FreeMask(t.mask);
  FreeAlphaChannel(t.alpha);
}

TEST(AllocationFailure, ScalingWithAndWithoutTheStepTables) {
  Triple t = MakeTriple(9, 7);
  for (int smooth = 0; smooth < 2; smooth++) {
    // Pass 0 starts without step tables (their growth may fail too; the tables are kept between
    // calls, so the pass frees them after every call); pass 1 finds them grown.
    for (int pass = 0; pass < 2; pass++) {
      FreeStepTables();
      if (pass == 1) {
        BitMap *b = nullptr;
        ASSERT_EQ(ScaleBitMapTriple(t.bm, nullptr, nullptr, 0, 0, nullptr, 8, 6, 20, 15, smooth, &b, nullptr, nullptr), 0);
        FreeBitMap(b);
      }
      EveryFailure(
          [&] {
            BitMap *b = (BitMap *)1;
            Mask *m = (Mask *)1;
            AlphaChannel *a = (AlphaChannel *)1;
            const int rc = ScaleBitMapTriple(t.bm, t.mask, t.alpha, 1, 1, nullptr, 8, 6, 20, 15, smooth, &b, &m, &a);
            if (rc) {
              EXPECT_EQ(b, (BitMap *)1);  // outputs untouched on failure
              EXPECT_EQ(m, (Mask *)1);
              EXPECT_EQ(a, (AlphaChannel *)1);
            } else {
              FreeBitMap(b);
              FreeMask(m);
              FreeAlphaChannel(a);
            }
            if (pass == 0) FreeStepTables();
            return rc;
          },
          1000, smooth ? "smooth scaling" : "nearest scaling");
    }
  }
  // With the tables grown, a redraw into a target allocates nothing.
  BitMap *target = AllocBitMap(20, 15);
  Arm(0);
  EXPECT_EQ(ScaleBitMapTriple(t.bm, nullptr, nullptr, 0, 0, target, 9, 7, 20, 15, 1, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(gCount, 0);
  gFailAt = -1;
  FreeBitMap(target);
  FreeStepTables();
  FreeTriple(t);
}

TEST(AllocationFailure, TransformAndCut) {
  Triple t = MakeTriple(6, 5);
  const Matrix2D m = {0.8, 0.6, -0.6, 0.8};
  for (int withAlpha = 0; withAlpha < 2; withAlpha++)
    EveryFailure(
        [&] {
          BitMap *b = nullptr;
          Mask *mk = nullptr;
          AlphaChannel *a = nullptr;
          int32_t w, h;
          const int rc = TransformBitMapTriple(t.bm, t.mask, withAlpha ? t.alpha : nullptr, 0, 0, 6, 5, &m, 1, &b, &mk,
                                               &a, &w, &h);
          FreeBitMap(b);
          FreeMask(mk);
          FreeAlphaChannel(a);
          return rc;
        },
        1000, "transform");
  // A source of another layout goes through a converted copy, which may fail as well.
  BitMap *rgb24 = (BitMap *)MemAlloc(sizeof(BitMap), 1);
  rgb24->width = 4;
  rgb24->height = 3;
  rgb24->bytesPerPixel = 3;
  rgb24->format = PIXFMT_RGB24;
  rgb24->bytesPerRow = 12;
  rgb24->pixels = (uint8_t *)MemAlloc(36, 1);
  EveryFailure(
      [&] {
        BitMap *b = nullptr;
        Mask *mk = nullptr;
        int32_t w, h;
        const int rc = TransformBitMapTriple(rgb24, nullptr, nullptr, 0, 0, 4, 3, &m, 0, &b, &mk, nullptr, &w, &h);
        FreeBitMap(b);
        FreeMask(mk);
        return rc;
      },
      1000, "transform of a 24-bit source");
  FreeBitMap(rgb24);
  EveryFailure(
      [&] {
        BitMap *b = nullptr;
        Mask *mk = nullptr;
        AlphaChannel *a = nullptr;
        const int rc = CutBitMapRegion(t.bm, t.mask, t.alpha, 1, 1, 3, 3, &b, &mk, &a);
        FreeBitMap(b);
        FreeMask(mk);
        FreeAlphaChannel(a);
        return rc;
      },
      1000, "cut");
  FreeTriple(t);
}

TEST(AllocationFailure, QuantiserCoverageAndTransitionTables) {
  Triple t = MakeTriple(8, 8);
  uint8_t index[64];
  uint32_t palette[256];
  EveryFailure(
      [&] {
        int32_t count = 16;
        return QuantizeBitMap(t.bm->pixels, t.bm->format, 4, 8, 8, 8, index, palette, &count, 0x123456, 0, 1) ? 0 : 1;
      },
      1, "quantiser");
  EveryFailure(
      [&] {
        CoverageImage *img = CreateCoverageMask(10, 10, nullptr, nullptr);
        if (!img) return 1;
        const int32_t far[] = {-100000, 0, 5, 100000, 100000, 3};
        const int rc = MaskPolygon(img, far, 3, 1, 2);
        FreeCoverageMask(img);
        return rc ? 1 : 0;
      },
      1, "coverage polygon");
  EveryFailure(
      [&] {
        WaterRecord r;
        memset(&r, 0, sizeof r);
        r.width = 5;
        r.height = 4;
        const int rc = WaterWave(&r);
        WaterFree(&r);
        return rc ? 1 : 0;
      },
      1, "water tables");
  EveryFailure(
      [&] {
        StrudelRecord r;
        memset(&r, 0, sizeof r);
        r.width = 5;
        r.height = 4;
        const int rc = StrudelRotate(&r);
        StrudelFree(&r);
        return rc ? 1 : 0;
      },
      1, "swirl tables");
  FreeTriple(t);
}

// Tables of the pixels' places past the graphics core's limit (or, for the swirl, a longer side
// past the range of its radius table) are refused before anything is allocated.
TEST(AllocationFailure, TransitionTablesPastTheLimitAllocateNothing) {
  struct Size {
    int32_t width, height;
  } sizes[] = {{50000, 50000}, {INT32_MAX, 2}, {2, INT32_MAX}};
  for (const Size &z : sizes) {
    WaterRecord w;
    memset(&w, 0, sizeof w);
    w.width = z.width;
    w.height = z.height;
    Arm(1L << 40);  // counts the allocations, fails none
    EXPECT_EQ(WaterWave(&w), 1000) << z.width << "x" << z.height;
    EXPECT_EQ(gCount, 0) << z.width << "x" << z.height;
    gFailAt = -1;
    WaterFree(&w);
  }
  for (const Size &z : {Size{50000, 50000}, Size{131070, 1}, Size{1, 131070}}) {
    StrudelRecord r;
    memset(&r, 0, sizeof r);
    r.width = z.width;
    r.height = z.height;
    Arm(1L << 40);
    EXPECT_EQ(StrudelRotate(&r), 1000) << z.width << "x" << z.height;
    EXPECT_EQ(gCount, 0) << z.width << "x" << z.height;
    gFailAt = -1;
    StrudelFree(&r);
  }
  // The longest side the radius table takes.
  StrudelRecord r;
  memset(&r, 0, sizeof r);
  r.width = 131069;
  r.height = 1;
  EXPECT_EQ(StrudelRotate(&r), 0);
  StrudelFree(&r);
}

}  // namespace

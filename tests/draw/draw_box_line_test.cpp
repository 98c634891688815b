// Boxes and lines: the direct paths onto a display or a selected brush, mask or alpha channel
// against the picture path, clipping, round levels and line thickness.
#include <gtest/gtest.h>

#include "draw_fixture.h"

namespace {

enum { RED = 0xFF0000, BLUE = 0x0000FF, GREEN = 0x00FF00, BLACK = 0x000000, WHITE = 0xFFFFFF };

class BoxesAndLines : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenDrawTables(), 0); }
  void TearDown() override { CloseDrawTables(); }
};

int Box(DrawFixture &f, const DrawStyle &st, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour,
        int32_t roundlevel = 0) {
  return DrawBox(&f.target, nullptr, nullptr, &st, x, y, w, h, colour, roundlevel, nullptr, nullptr, 0);
}
int Line(DrawFixture &f, const DrawStyle &st, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
         int32_t thickness = 1) {
  return DrawLineShape(&f.target, nullptr, nullptr, &st, x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1, y1, x2, y2, colour,
                       thickness, nullptr, nullptr, 0);
}
bool SamePixels(const DrawFixture &a, const DrawFixture &b) {
  for (int32_t j = 0; j < a.bitmap->height; j++)
    for (int32_t i = 0; i < a.bitmap->width; i++)
      if (a.Pixel(i, j) != b.Pixel(i, j)) {
        ADD_FAILURE() << "differs at " << i << "," << j << ": " << std::hex << a.Pixel(i, j) << " " << b.Pixel(i, j);
        return false;
      }
  return true;
}

TEST_F(BoxesAndLines, DirectAndPicturePathsAgree) {
  DrawStyle effects = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_EDGE | FORM_SHADOW);
  effects.edgeColour = BLUE;
  effects.shadowColour = GREEN;
  const DrawStyle outline = MakeStyle(FILLNONE, FORM_NORMAL);
  DrawStyle gradient = MakeStyle(FILLGRADIENT, FORM_NORMAL);
  gradient.gradientStart = RED;
  gradient.gradientEnd = BLUE;
  gradient.gradientAngle = 90;
  struct Case {
    const char *what;
    const DrawStyle *style;
    uint32_t colour;
  } cases[] = {
      {"filled with edge and shadow", &effects, RED},
      {"transparent fill", &effects, 0x60FF0000u},
      {"outline", &outline, RED},
      {"transparent outline", &outline, 0x80FF0000u},
      {"gradient", &gradient, 0},
  };
  for (const Case &c : cases) {
    if (c.colour >> 24 && c.style == &effects) {
      // A brush with any transparency takes edge and shadow only on the picture path.
      DrawStyle plain = MakeStyle(FILLCOLOR, FORM_NORMAL);
      DrawFixture direct(DRAWTARGET_BRUSH, 50, 40), picture(DRAWTARGET_BRUSH, 50, 40);
      picture.spriteW = picture.spriteH = 50;
      ASSERT_EQ(Box(direct, plain, 10, 10, 20, 12, c.colour), 0);
      ASSERT_EQ(Box(picture, plain, 10, 10, 20, 12, c.colour), 0);
      EXPECT_TRUE(SamePixels(direct, picture)) << c.what;
      continue;
    }
    DrawFixture direct(DRAWTARGET_BRUSH, 50, 40), picture(DRAWTARGET_BRUSH, 50, 40);
    // A sprite beneath forces the picture path.
    picture.spriteX = 12;
    picture.spriteY = 12;
    picture.spriteW = picture.spriteH = 4;
    ASSERT_EQ(Box(direct, *c.style, 10, 10, 20, 12, c.colour), 0) << c.what;
    ASSERT_EQ(Box(picture, *c.style, 10, 10, 20, 12, c.colour), 0) << c.what;
    EXPECT_TRUE(SamePixels(direct, picture)) << c.what;
    EXPECT_NE(direct.CountPainted(), 0) << c.what;
  }
}

TEST_F(BoxesAndLines, PlainBoxOnTheDisplay) {
  const DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL);
  DrawFixture f(DRAWTARGET_DISPLAY, 50, 40);
  ASSERT_EQ(Box(f, st, 10, 10, 20, 12, RED), 0);
  // Straight into the window and the back buffer; no picture is copied.
  ASSERT_EQ(f.windowOps.size(), 1u);
  EXPECT_EQ(f.windowOps[0], "fill 10,10 20x12");
  EXPECT_EQ(f.Pixel(29, 21), (uint32_t)RED);
  EXPECT_EQ(f.Pixel(30, 21), (uint32_t)WHITE);
  // Over a sprite the picture is drawn into the back buffer and copied to the window.
  DrawFixture g(DRAWTARGET_DISPLAY, 50, 40);
  g.spriteW = g.spriteH = 50;
  ASSERT_EQ(Box(g, st, 10, 10, 20, 12, RED), 0);
  ASSERT_EQ(g.windowOps.size(), 1u);
  EXPECT_EQ(g.windowOps[0], "blt 10,10 20x12");
  EXPECT_TRUE(SamePixels(f, g));
  // Clipped away entirely: nothing.
  DrawFixture h(DRAWTARGET_DISPLAY, 50, 40);
  ASSERT_EQ(Box(h, st, 60, 10, 20, 12, RED), 0);
  EXPECT_TRUE(h.windowOps.empty());
}

TEST_F(BoxesAndLines, ClippedOutlineHasNoCutSide) {
  const DrawStyle st = MakeStyle(FILLNONE, FORM_NORMAL);
  for (bool picturePath : {false, true}) {
    DrawFixture f(DRAWTARGET_BRUSH, 50, 40);
    f.target.hasClipRegion = 1;
    f.target.clip = {0, 0, 20, 40, nullptr};
    if (picturePath) f.spriteW = f.spriteH = 50;
    ASSERT_EQ(Box(f, st, 10, 5, 20, 10, BLACK), 0);
    EXPECT_EQ(f.Pixel(10, 8), (uint32_t)BLACK) << picturePath;
    EXPECT_EQ(f.Pixel(15, 5), (uint32_t)BLACK) << picturePath;
    EXPECT_EQ(f.Pixel(19, 14), (uint32_t)BLACK) << picturePath;
    EXPECT_EQ(f.Pixel(19, 8), (uint32_t)WHITE) << picturePath;
    EXPECT_EQ(f.Pixel(20, 5), (uint32_t)WHITE) << picturePath;
  }
  // A transparent outline tints every pixel once, corners included.
  DrawFixture g(DRAWTARGET_BRUSH, 30, 30);
  ASSERT_EQ(Box(g, st, 5, 5, 10, 8, 0x80000000u), 0);
  EXPECT_EQ(g.Pixel(5, 5), g.Pixel(9, 5));
  EXPECT_EQ(g.Pixel(14, 12), g.Pixel(5, 9));
  EXPECT_EQ(g.Pixel(5, 5) & 255, 0x80u);
}

TEST_F(BoxesAndLines, RoundLevelsAndShapeBoxes) {
  const DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL);
  DrawFixture a(DRAWTARGET_BRUSH, 60, 40), b(DRAWTARGET_BRUSH, 60, 40);
  ASSERT_EQ(Box(a, st, 5, 5, 40, 20, RED, 101), 0);
  ASSERT_EQ(Box(b, st, 5, 5, 40, 20, RED, 100), 0);
  EXPECT_TRUE(SamePixels(a, b));
  EXPECT_EQ(a.Pixel(5, 5), (uint32_t)WHITE);
  EXPECT_EQ(a.Pixel(25, 5), (uint32_t)RED);
  EXPECT_EQ(a.Pixel(5, 15), (uint32_t)RED);
  // Outlines wider than the coverage routines draw are drawn at their widest, not left out.
  DrawStyle thick = MakeStyle(FILLNONE, FORM_NORMAL);
  thick.thickness = 1000;
  DrawFixture c(DRAWTARGET_BRUSH, 60, 40);
  ASSERT_EQ(Box(c, thick, 20, 10, 10, 10, RED), 0);
  EXPECT_EQ(c.Pixel(0, 0), (uint32_t)RED);
  EXPECT_EQ(c.Pixel(59, 39), (uint32_t)RED);
  EXPECT_EQ(Box(a, st, 5, 5, 0, 20, RED), 1055);
  EXPECT_EQ(Box(a, st, 5, 5, 20, -1, RED), 1055);
}

TEST_F(BoxesAndLines, LinesOnEveryPath) {
  const DrawStyle st = MakeStyle(FILLNONE, FORM_NORMAL);
  // Line(0, 0, 0, 0) is one pixel on the display, on a brush and on the picture path.
  DrawFixture display(DRAWTARGET_DISPLAY, 20, 20), brush(DRAWTARGET_BRUSH, 20, 20), picture(DRAWTARGET_BRUSH, 20, 20);
  picture.target.kind = DRAWTARGET_DISPLAY;
  picture.spriteW = picture.spriteH = 20;
  for (DrawFixture *f : {&display, &brush, &picture}) {
    ASSERT_EQ(Line(*f, st, 0, 0, 0, 0, RED), 0);
    EXPECT_EQ(f->CountPainted(), 1);
    EXPECT_EQ(f->Pixel(0, 0), (uint32_t)RED);
  }
  EXPECT_EQ(display.windowOps[0], "line 0,0 0,0");
  EXPECT_EQ(picture.windowOps[0], "blt 0,0 1x1");
  // A thin line is clipped before it reaches the window.
  DrawFixture clipped(DRAWTARGET_DISPLAY, 20, 20);
  ASSERT_EQ(Line(clipped, st, -10, 5, 30, 5, RED), 0);
  EXPECT_EQ(clipped.windowOps[0], "line 0,5 19,5");
  EXPECT_EQ(clipped.CountPainted(), 20);
}

TEST_F(BoxesAndLines, ThickAndTransparentLines) {
  const DrawStyle st = MakeStyle(FILLNONE, FORM_NORMAL);
  DrawFixture thick(DRAWTARGET_BRUSH, 100, 200), limit(DRAWTARGET_BRUSH, 100, 200);
  ASSERT_EQ(Line(thick, st, 10, 100, 90, 100, RED, 200), 0);
  ASSERT_EQ(Line(limit, st, 10, 100, 90, 100, RED, 64), 0);
  EXPECT_TRUE(SamePixels(thick, limit));
  int32_t x, y, w, h;
  thick.Painted(&x, &y, &w, &h);
  EXPECT_GE(h, 64);
  EXPECT_LE(h, 66);
  // A transparent line on the display mixes with what is there, through the picture path.
  DrawFixture mix(DRAWTARGET_DISPLAY, 20, 20);
  ASSERT_EQ(Line(mix, st, 0, 10, 19, 10, 0x80000000u), 0);
  EXPECT_EQ(mix.windowOps[0], "blt 0,10 20x1");
  EXPECT_NEAR((int)(mix.Pixel(7, 10) & 255), 0x7F, 2);
  EXPECT_EQ(mix.Pixel(7, 10) >> 16, mix.Pixel(7, 10) & 255);
  // The same onto a brush mixes directly.
  DrawFixture brush(DRAWTARGET_BRUSH, 20, 20);
  ASSERT_EQ(Line(brush, st, 0, 10, 19, 10, 0x80000000u), 0);
  EXPECT_EQ(brush.Pixel(7, 10), mix.Pixel(7, 10));
}

TEST_F(BoxesAndLines, MaskAndAlphaTargets) {
  // A selected mask alone: filled boxes set bits in the mask mode, a gradient puts nothing.
  DrawFixture m(DRAWTARGET_MASK, 40, 20, true, false, false);
  m.target.maskMode = MASKVISIBLE;
  const DrawStyle fill = MakeStyle(FILLCOLOR, FORM_NORMAL), gradient = MakeStyle(FILLGRADIENT, FORM_NORMAL);
  ASSERT_EQ(Box(m, fill, 2, 2, 5, 5, RED), 0);
  ASSERT_EQ(Box(m, gradient, 20, 2, 5, 5, RED), 0);
  EXPECT_EQ(ReadBitMapPixel(m.mask, 2, 2, 1), 1u);
  EXPECT_EQ(ReadBitMapPixel(m.mask, 6, 6, 1), 1u);
  EXPECT_EQ(ReadBitMapPixel(m.mask, 7, 7, 1), 0u);
  EXPECT_EQ(ReadBitMapPixel(m.mask, 22, 4, 1), 0u);
  m.target.maskMode = MASKINVISIBLE;
  ASSERT_EQ(Line(m, fill, 2, 4, 6, 4, RED), 0);
  EXPECT_EQ(ReadBitMapPixel(m.mask, 4, 4, 1), 0u);
  EXPECT_EQ(ReadBitMapPixel(m.mask, 4, 3, 1), 1u);
  // A selected alpha channel alone takes the alpha intensity.
  DrawFixture a(DRAWTARGET_ALPHA, 40, 20, false, true, false);
  a.target.alphaIntensity = 100;
  ASSERT_EQ(Box(a, fill, 2, 2, 5, 5, RED), 0);
  EXPECT_EQ(a.alpha->pixels[3 * a.alpha->bytesPerRow + 3], 100);
  EXPECT_EQ(a.alpha->pixels[3 * a.alpha->bytesPerRow + 8], 0);
  // A brush with a mask: the shape's pixels become visible.
  DrawFixture b(DRAWTARGET_BRUSH, 40, 20, true);
  const DrawStyle aa = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_ANTIALIAS);
  ASSERT_EQ(Box(b, aa, 2, 2, 10, 10, RED, 50), 0);
  EXPECT_EQ(ReadBitMapPixel(b.mask, 7, 7, 1), 1u);
  EXPECT_EQ(ReadBitMapPixel(b.mask, 30, 7, 1), 0u);
}

}  // namespace

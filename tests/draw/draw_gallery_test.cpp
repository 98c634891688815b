// Every shape in every fill style, plain, anti-aliased, with shadow and edge and turned, drawn
// onto one picture and written to previews/draw_gallery.png for a person to look at.
#include <gtest/gtest.h>

#include <string>

#include "draw_fixture.h"
#include "gfx/draw_routines.h"
#include "platform/os.h"
#include "runtime/memory.h"

namespace {

const BitMap *gChecker;
int CheckerLookup(ObjectId, const BitMap **bm) {
  *bm = gChecker;
  return 0;
}

TEST(DrawGallery, EveryShapeAndFill) {
  ASSERT_EQ(OpenDrawTables(), 0);
  BitMap *checker = AllocBitMap(8, 8);
  for (int32_t j = 0; j < 8; j++)
    for (int32_t i = 0; i < 8; i++) WriteBitMapPixel(checker, i, j, ((i / 4 + j / 4) & 1) ? 0xFFC000 : 0x604020, 0);
  gChecker = checker;
  SetDrawTextureLookup(CheckerLookup);

  const int32_t cell = 110, cols = 7;
  const uint32_t forms[] = {FORM_NORMAL, FORM_ANTIALIAS, FORM_SHADOW, FORM_EDGE,
                            FORM_ANTIALIAS | FORM_SHADOW | FORM_EDGE};
  const int rows = 4 * 5 + 1;
  DrawFixture f(DRAWTARGET_BRUSH, cols * cell, rows * cell / 1);
  RectFillBitMap(f.bitmap, 0, 0, f.bitmap->width, f.bitmap->height, 0xE8E8E8);
  const double star[] = {40, 0, 50, 28, 80, 30, 56, 48, 65, 78, 40, 60, 15, 78, 24, 48, 0, 30, 30, 28, 40, 0};
  int row = 0;
  for (int fill = FILLNONE; fill <= FILLTEXTURE; fill++) {
    for (uint32_t form : forms) {
      DrawStyle st = MakeStyle(fill, FORM_NORMAL | form);
      st.gradientStart = 0xFF2040;
      st.gradientEnd = 0x2040FF;
      st.gradientAngle = 45;
      st.edgeSize = 3;
      st.edgeColour = 0x30005080;
      st.shadowSize = 5;
      st.shadowColour = 0x80000000;
      st.texture.number = 1;
      st.thickness = (row & 1) ? 3 : 1;
      const int32_t y = row * cell + 12;
      const uint32_t colour = 0x2E8B57;
      // The ellipse is always turned; in the last row of every fill all shapes are, about
      // their centres.
      ShapeTransform turned = IdentityTransform(), plain = IdentityTransform();
      RotationMatrix(30, turned.m);
      turned.anchorX = turned.anchorY = 0.5;
      const ShapeTransform *t = row % 5 == 4 ? &turned : &plain;
      const int32_t ax = row % 5 == 4 ? 40 : 0, ay = row % 5 == 4 ? 30 : 0;
      EXPECT_EQ(DrawBox(&f.target, nullptr, nullptr, &st, 10 + ax, y + ay, 80, 60, colour, 0, t, nullptr, 0), 0);
      EXPECT_EQ(DrawBox(&f.target, nullptr, nullptr, &st, cell + 10 + ax, y + ay, 80, 60, colour, 40, t, nullptr, 0),
                0);
      EXPECT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_CIRCLE, 2 * cell + 10, y, 38, 38, colour,
                                 nullptr, nullptr, 0),
                0);
      EXPECT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_ELLIPSE, 3 * cell + 55, y + 40, 42, 22,
                                 colour, &turned, nullptr, 0),
                0);
      EXPECT_EQ(DrawArcShape(&f.target, nullptr, nullptr, &st, 4 * cell + 10 + ax, y + ay, 40, 38, 30, 300, 1, colour,
                             t, nullptr, 0),
                0);
      EXPECT_EQ(DrawPolygonShape(&f.target, nullptr, nullptr, &st, 5 * cell + 10 + ax, y + ay, 81, 79, star, 11,
                                 colour, t, nullptr, 0),
                0);
      EXPECT_EQ(DrawLineShape(&f.target, nullptr, nullptr, &st, 6 * cell + 5, y, 6 * cell + 5, y, 6 * cell + 95,
                              y + 70, colour, 1 + row % 4 * 3, t, nullptr, 0),
                0);
      row++;
    }
  }
  // Last row: transparent fills over each other.
  DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_ANTIALIAS);
  const int32_t y = row * cell + 10;
  for (int i = 0; i < cols; i++)
    EXPECT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_CIRCLE, i * 80 + 10, y, 45, 45,
                               (uint32_t)(i * 36) << 24 | (0x4080C0 ^ (i * 0x203010)), nullptr, nullptr, 0),
              0);

  uint32_t *argb = BitMapToARGB(f.bitmap, f.bitmap->width, f.bitmap->height);
  ASSERT_NE(argb, nullptr);
  const std::string dir = std::string(KV_BINARY_DIR) + "/previews";
  OsMakeDir(dir.c_str());
  EXPECT_EQ(OsSavePNG((dir + "/draw_gallery.png").c_str(), argb, f.bitmap->width, f.bitmap->height, 0), 0);
  MemFree(argb);
  SetDrawTextureLookup(nullptr);
  FreeBitMap(checker);
  CloseDrawTables();
}

}  // namespace

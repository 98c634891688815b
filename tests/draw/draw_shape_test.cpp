// The shape renderer: circles, ellipses, arcs and polygons drawn onto a picture or added as
// layers, with fills, anti-aliasing, shadow and edge, and the size checks that refuse shapes no
// picture can hold.
#include <gtest/gtest.h>

#include "draw_fixture.h"

namespace {

enum { RED = 0xFF0000, BLUE = 0x0000FF, BLACK = 0x000000, WHITE = 0xFFFFFF };

class Shapes : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenDrawTables(), 0); }
  void TearDown() override {
    SetDrawTextureLookup(nullptr);
    CloseDrawTables();
  }
};

int Circle(DrawFixture &f, const DrawStyle &st, int32_t x, int32_t y, int32_t r, uint32_t colour,
           const ShapeTransform *t = nullptr, int32_t flags = 0) {
  return DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_CIRCLE, x, y, r, r, colour, t, nullptr, flags);
}

TEST_F(Shapes, CircleCoversItsBox) {
  DrawFixture f(DRAWTARGET_BRUSH, 40, 40);
  const DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL);
  ASSERT_EQ(Circle(f, st, 0, 0, 10, RED), 0);
  f.ExpectPainted(0, 0, 21, 21);
  EXPECT_EQ(f.Pixel(10, 10), (uint32_t)RED);
  EXPECT_EQ(f.Pixel(0, 10), (uint32_t)RED);
  EXPECT_EQ(f.Pixel(1, 1), (uint32_t)WHITE);
  // An outline only: the centre stays untouched.
  DrawFixture g(DRAWTARGET_BRUSH, 40, 40);
  const DrawStyle outline = MakeStyle(FILLNONE, FORM_NORMAL);
  ASSERT_EQ(Circle(g, outline, 0, 0, 10, RED), 0);
  EXPECT_EQ(g.Pixel(10, 10), (uint32_t)WHITE);
  EXPECT_EQ(g.Pixel(0, 10), (uint32_t)RED);
}

TEST_F(Shapes, AntiAliasedCircleLayer) {
  DrawFixture f(DRAWTARGET_DISPLAY, 60, 60);
  f.target.layersOn = 1;
  const DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_ANTIALIAS);
  ASSERT_EQ(Circle(f, st, 10, 10, 10, RED), 0);
  ASSERT_EQ(f.layers.size(), 1u);
  const ShapeLayerState *l = f.layers[0].state;
  EXPECT_EQ(l->type, SHAPE_CIRCLE);
  EXPECT_EQ(l->width, 26);
  EXPECT_EQ(l->height, 26);
  EXPECT_EQ(l->x, 8);
  EXPECT_EQ(l->y, 8);
  ASSERT_NE(l->alpha, nullptr);
  EXPECT_EQ(l->mask, nullptr);
  EXPECT_EQ(f.layers[0].insertPos, -1);
  // Opaque in the middle, partly covered on the rim, clear in the corners.
  const AlphaChannel *a = l->alpha;
  EXPECT_EQ(a->pixels[12 * a->bytesPerRow + 12], 255);
  EXPECT_EQ(a->pixels[0], 0);
  int partial = 0;
  for (int32_t i = 0; i < 26 * a->bytesPerRow; i++) partial += a->pixels[i] > 0 && a->pixels[i] < 255;
  EXPECT_GT(partial, 20);
  // The layer code recomposes the area: the image is not blended over the back buffer as well
  // (soft edges would be doubled), the area is only shown.
  EXPECT_EQ(f.Pixel(20, 20), (uint32_t)WHITE);
  ASSERT_EQ(f.windowOps.size(), 1u);
  EXPECT_EQ(f.windowOps[0], "blt 8,8 26x26");
}

TEST_F(Shapes, ShadowTowardNorthWest) {
  DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_SHADOW);
  st.shadowDirection = SHDW_NORTHWEST;
  st.shadowSize = 4;
  st.shadowColour = BLUE;
  DrawFixture f(DRAWTARGET_DISPLAY, 60, 60);
  f.target.layersOn = 1;
  ASSERT_EQ(Circle(f, st, 20, 20, 10, RED), 0);
  ASSERT_EQ(f.layers.size(), 1u);
  const ShapeLayerState *l = f.layers[0].state;
  // s wider and higher; the origin s up and left; the body s right of and below it.
  EXPECT_EQ(l->width, 25);
  EXPECT_EQ(l->height, 25);
  EXPECT_EQ(l->x, 16);
  EXPECT_EQ(l->y, 16);
  ASSERT_NE(l->mask, nullptr);
  EXPECT_EQ(ReadBitMapPixel(l->bitmap, 10, 0, 0), (uint32_t)BLUE);   // the shadow's top
  EXPECT_EQ(ReadBitMapPixel(l->bitmap, 14, 4, 0), (uint32_t)RED);    // the body's top
  EXPECT_EQ(ReadBitMapPixel(l->bitmap, 14, 14, 0), (uint32_t)RED);
  EXPECT_EQ(ReadBitMapPixel(l->mask, 24, 24, 1), 0u);
  // Without layers the same picture lands at the image's place.
  DrawFixture g(DRAWTARGET_DISPLAY, 60, 60);
  ASSERT_EQ(Circle(g, st, 20, 20, 10, RED), 0);
  EXPECT_EQ(g.Pixel(26, 16), (uint32_t)BLUE);
  EXPECT_EQ(g.Pixel(30, 40), (uint32_t)RED);
  EXPECT_EQ(g.Pixel(30, 41), (uint32_t)WHITE);
}

TEST_F(Shapes, EdgeSurroundsTheBody) {
  DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_EDGE);
  st.edgeSize = 3;
  st.edgeColour = BLUE;
  DrawFixture f(DRAWTARGET_BRUSH, 60, 60);
  ASSERT_EQ(Circle(f, st, 20, 20, 10, RED), 0);
  f.ExpectPainted(17, 17, 27, 27);
  EXPECT_EQ(f.Pixel(30, 17), (uint32_t)BLUE);
  EXPECT_EQ(f.Pixel(30, 30), (uint32_t)RED);
  EXPECT_EQ(f.Pixel(30, 20), (uint32_t)RED);
}

TEST_F(Shapes, EffectsNeedAFill) {
  DrawStyle st = MakeStyle(FILLNONE, FORM_NORMAL | FORM_SHADOW | FORM_EDGE);
  st.edgeColour = BLUE;
  st.shadowColour = BLUE;
  DrawFixture f(DRAWTARGET_BRUSH, 60, 60);
  ASSERT_EQ(Circle(f, st, 20, 20, 10, RED), 0);
  f.ExpectPainted(20, 20, 21, 21);
  for (int32_t j = 0; j < 60; j++)
    for (int32_t i = 0; i < 60; i++) ASSERT_NE(f.Pixel(i, j), (uint32_t)BLUE) << i << "," << j;
}

const BitMap *gTexture;
int LookupSeven(ObjectId id, const BitMap **bm) {
  if (id.number != 7) return 0;
  *bm = gTexture;
  return 0;
}

TEST_F(Shapes, TextureFill) {
  DrawStyle st = MakeStyle(FILLTEXTURE, FORM_NORMAL);
  st.texture.number = 9;
  const double pts[] = {0, 0, 19, 0, 19, 19, 0, 19, 0, 0};
  DrawFixture f(DRAWTARGET_BRUSH, 40, 40);
  // Without the brush: its error, nothing drawn.
  EXPECT_EQ(DrawPolygonShape(&f.target, nullptr, nullptr, &st, 5, 5, 20, 20, pts, 5, RED, nullptr, nullptr, 0), 1174);
  EXPECT_EQ(f.CountPainted(), 0);
  BitMap *tex = AllocBitMap(2, 2);
  RectFillBitMap(tex, 0, 0, 2, 2, BLUE);
  WriteBitMapPixel(tex, 0, 0, RED, 0);
  gTexture = tex;
  SetDrawTextureLookup(LookupSeven);
  st.texture.number = 7;
  st.textureX = 1;
  EXPECT_EQ(DrawPolygonShape(&f.target, nullptr, nullptr, &st, 5, 5, 20, 20, pts, 5, RED, nullptr, nullptr, 0), 0);
  // Tiles start at the body's corner from the texture offset.
  EXPECT_EQ(f.Pixel(5, 5), (uint32_t)BLUE);
  EXPECT_EQ(f.Pixel(6, 5), (uint32_t)RED);
  EXPECT_EQ(f.Pixel(6, 6), (uint32_t)BLUE);
  EXPECT_EQ(f.Pixel(24, 24), (uint32_t)BLUE);
  EXPECT_EQ(f.Pixel(25, 25), (uint32_t)WHITE);
  FreeBitMap(tex);
}

TEST_F(Shapes, TurnedShapesWithLayers) {
  DrawFixture f(DRAWTARGET_DISPLAY, 60, 60);
  f.target.layersOn = 1;
  const DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL);
  ShapeTransform t = IdentityTransform();
  RotationMatrix(30, t.m);
  // The layer code turns it: a layer of the shape's size without images, nothing drawn here.
  ASSERT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_ELLIPSE, 5, 6, 10, 5, RED, &t, nullptr, 0), 0);
  ASSERT_EQ(f.layers.size(), 1u);
  EXPECT_EQ(f.layers[0].state->type, SHAPE_ELLIPSE);
  EXPECT_EQ(f.layers[0].state->bitmap, nullptr);
  EXPECT_EQ(f.layers[0].state->width, 21);
  EXPECT_EQ(f.layers[0].state->height, 11);
  EXPECT_EQ(f.layers[0].state->transform.m[1], t.m[1]);
  EXPECT_EQ(f.CountPainted(), 0);
  EXPECT_TRUE(f.windowOps.empty());
  // A layer the layer code must redraw (hidden, say) is added without drawing it.
  int hidden = 1;
  f.hooks.optionsNeedRedraw = [](void *, const void *options) { return *(const int *)options; };
  ASSERT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_CIRCLE, 5, 5, 10, 10, RED, nullptr, &hidden, 0),
            0);
  ASSERT_EQ(f.layers.size(), 2u);
  EXPECT_NE(f.layers[1].state->bitmap, nullptr);
  EXPECT_EQ(f.CountPainted(), 0);
  // Re-rendering for the layer's drawn state turns the shape and hands over the images only.
  f.hooks.updateLayerGeometry = [](void *u, void *, void *, int32_t, int32_t, int32_t w, int32_t h, BitMap *b, Mask *m,
                                   AlphaChannel *a, int32_t) {
    ((DrawFixture *)u)->windowOps.push_back("layer " + std::to_string(w) + "x" + std::to_string(h) +
                                            (b && m ? " images" : ""));
    FreeBitMap(b);
    FreeMask(m);
    FreeAlphaChannel(a);
    return 0;
  };
  ASSERT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_ELLIPSE, 5, 6, 10, 5, RED, &t, nullptr,
                             DRAWFLAG_LAYERSTATE),
            0);
  EXPECT_EQ(f.layers.size(), 2u);
  EXPECT_EQ(f.CountPainted(), 0);
  ASSERT_EQ(f.windowOps.size(), 1u);
  // A 21 x 11 ellipse turned by 30 degrees.
  EXPECT_EQ(f.windowOps[0], "layer 20x14 images");
}

TEST_F(Shapes, ReRenderKeepsTheLayersPlace) {
  DrawFixture f(DRAWTARGET_DISPLAY, 60, 60);
  f.target.layersOn = 1;
  const DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL);
  ASSERT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_CIRCLE, 5, 5, 10, 10, RED, nullptr, nullptr,
                             DRAWFLAG_RERENDER, 3),
            0);
  ASSERT_EQ(f.layers.size(), 1u);
  EXPECT_EQ(f.layers[0].insertPos, 3);
  EXPECT_EQ(f.layers[0].flags, DRAWFLAG_RERENDER | DRAWFLAG_LAYERNEW);
  // The layer code redraws a re-rendered layer; nothing reaches the target here.
  EXPECT_EQ(f.CountPainted(), 0);
  EXPECT_TRUE(f.windowOps.empty());
}

TEST_F(Shapes, TurnedShapesWithoutLayers) {
  const DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL);
  ShapeTransform t = IdentityTransform();
  RotationMatrix(90, t.m);
  t.anchorX = t.anchorY = 0.5;
  // A 41 x 11 ellipse turned a quarter about its centre stands 11 wide and 41 high there.
  DrawFixture f(DRAWTARGET_BRUSH, 80, 80);
  ASSERT_EQ(DrawEllipseShape(&f.target, nullptr, nullptr, &st, SHAPE_ELLIPSE, 40, 40, 20, 5, RED, &t, nullptr, 0), 0);
  int32_t x, y, w, h;
  f.Painted(&x, &y, &w, &h);
  EXPECT_EQ(w, 11);
  EXPECT_EQ(h, 41);
  EXPECT_EQ(x + w / 2, 40);
  EXPECT_EQ(y + h / 2, 40);
}

TEST_F(Shapes, ArgumentsAndLimits) {
  DrawFixture f(DRAWTARGET_BRUSH, 40, 40);
  DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_EDGE);
  const double two[] = {0, 0, 5, 5, 0, 0};
  struct Case {
    const char *what;
    int rc;
    int got;
  } cases[] = {
      {"arc start = end", 0, DrawArcShape(&f.target, nullptr, nullptr, &st, 0, 0, 5, 5, 30, 30, 1, RED, nullptr, nullptr, 0)},
      {"arc start -1", 1055, DrawArcShape(&f.target, nullptr, nullptr, &st, 0, 0, 5, 5, -1, 30, 1, RED, nullptr, nullptr, 0)},
      {"radius 0", 1055, Circle(f, st, 0, 0, 0, RED)},
      {"polygon of 1", 1055, DrawPolygonShape(&f.target, nullptr, nullptr, &st, 0, 0, 6, 6, two, 1, RED, nullptr, nullptr, 0)},
      {"polygon of 1001", 1055, DrawPolygonShape(&f.target, nullptr, nullptr, &st, 0, 0, 6, 6, two, 1001, RED, nullptr, nullptr, 0)},
      // Sizes are computed in 64 bits: what no picture can hold fails like an allocation.
      {"radius 100000", 1000, Circle(f, st, 0, 0, 100000, RED)},
      {"radius 2^30", 1000, Circle(f, st, 0, 0, 1 << 30, RED)},
  };
  for (const Case &c : cases) EXPECT_EQ(c.got, c.rc) << c.what;
  // A needle with a wide edge: the corner offset has no miter limit and reaches far beyond.
  st.edgeSize = 64;
  const double needle[] = {0, 0, 10000, 10000, 30, 0, 0, 0};
  EXPECT_EQ(DrawPolygonShape(&f.target, nullptr, nullptr, &st, 0, 0, 10001, 10001, needle, 4, RED, nullptr, nullptr, 0),
            1000);
  EXPECT_EQ(f.CountPainted(), 0);
}

TEST_F(Shapes, TransparencyMixes) {
  DrawFixture f(DRAWTARGET_BRUSH, 40, 40);
  for (uint32_t form : {(uint32_t)FORM_NORMAL, (uint32_t)(FORM_NORMAL | FORM_ANTIALIAS)}) {
    const DrawStyle st = MakeStyle(FILLCOLOR, form);
    RectFillBitMap(f.bitmap, 0, 0, 40, 40, WHITE);
    ASSERT_EQ(Circle(f, st, 5, 5, 10, 0x80000000u), 0);
    const uint32_t p = f.Pixel(15, 15);
    EXPECT_NEAR((int)(p >> 16), 0x7F, 2) << form;
    EXPECT_EQ(p >> 16, p & 255);
  }
}

TEST_F(Shapes, AntiAliasedEdgesBlend) {
  DrawFixture f(DRAWTARGET_BRUSH, 40, 40);
  DrawStyle st = MakeStyle(FILLCOLOR, FORM_NORMAL | FORM_ANTIALIAS | FORM_SHADOW | FORM_EDGE);
  st.edgeColour = BLUE;
  st.shadowColour = 0x80000000u;
  ASSERT_EQ(Circle(f, st, 8, 8, 10, RED), 0);
  EXPECT_EQ(f.Pixel(18, 18), (uint32_t)RED);
  EXPECT_EQ(f.Pixel(18, 6), (uint32_t)BLUE);
  // Rim pixels mix the edge into the background; the half-transparent shadow lies below right.
  int mixed = 0;
  for (int32_t j = 0; j < 40; j++)
    for (int32_t i = 0; i < 40; i++) {
      const uint32_t p = f.Pixel(i, j);
      mixed += (p & 255) == 255 && (p >> 16) > 0 && (p >> 16) < 255;
    }
  EXPECT_GT(mixed, 10);
  const uint32_t shade = f.Pixel(33, 18);
  EXPECT_NEAR((int)(shade & 255), 0x7F, 3);
}

}  // namespace

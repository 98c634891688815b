// Shape geometry: outlines of every shape type with their rounding, polygon closing, the edge
// offset of polygons, point transformation and thin-line clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "pictures/draw_geometry.h"

namespace {

struct Pt {
  double x, y;
  bool operator==(const Pt &o) const { return x == o.x && y == o.y; }
};

// The extent of a point list: lowest and highest x and y.
struct Extent {
  double lx = 1e9, ly = 1e9, hx = -1e9, hy = -1e9;
  explicit Extent(const std::vector<Pt> &pts) {
    for (const Pt &p : pts) {
      lx = std::min(lx, p.x);
      ly = std::min(ly, p.y);
      hx = std::max(hx, p.x);
      hy = std::max(hy, p.y);
    }
  }
};

class Geometry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenDrawTables(), 0); }
  void TearDown() override { CloseDrawTables(); }
  // The outline of a shape as points (ARC: without its two bounding-box entries unless asked).
  std::vector<Pt> Outline(const ShapeRecord &rec, int32_t w, int32_t h, const ShapeTransform &t, bool keepBox = false) {
    double buf[2 * DRAW_POINT_CAPACITY];
    const int32_t n = ShapeOutline(&rec, w, h, &t, buf);
    std::vector<Pt> pts;
    for (int32_t i = (rec.type == SHAPE_ARC && !keepBox) ? 2 : 0; i < n; i++) pts.push_back({buf[2 * i], buf[2 * i + 1]});
    return pts;
  }
  static ShapeRecord Shape(int32_t type) {
    ShapeRecord r;
    memset(&r, 0, sizeof r);
    r.type = type;
    r.clockwise = 1;
    return r;
  }
};

TEST_F(Geometry, AngleSteps) {
  const int32_t cases[][2] = {{0, 90}, {2, 90}, {3, 30}, {9, 30}, {10, 18}, {14, 18}, {15, 5}, {100000, 5}};
  for (const auto &c : cases) EXPECT_EQ(ArcAngleStep(c[0]), c[1]) << c[0];
}

TEST_F(Geometry, CirclesByRadius) {
  const ShapeTransform id = IdentityTransform();
  // Radius 2: a step of 90 degrees gives the four extremes and the first point again.
  std::vector<Pt> small = Outline(Shape(SHAPE_CIRCLE), 5, 5, id);
  const std::vector<Pt> want = {{4, 2}, {2, 0}, {0, 2}, {2, 4}, {4, 2}};
  EXPECT_EQ(small, want);
  // Radius 15: 5 degree steps, closed, inside the 31 x 31 box and touching all four sides.
  std::vector<Pt> big = Outline(Shape(SHAPE_CIRCLE), 31, 31, id);
  ASSERT_EQ(big.size(), 73u);
  EXPECT_EQ(big.front(), big.back());
  const Extent e(big);
  EXPECT_EQ(e.lx, 0);
  EXPECT_EQ(e.ly, 0);
  EXPECT_EQ(e.hx, 30);
  EXPECT_EQ(e.hy, 30);
}

TEST_F(Geometry, TurnedEllipseSwapsItsExtents) {
  ShapeTransform t = IdentityTransform();
  RotationMatrix(90, t.m);
  t.anchorX = t.anchorY = 0.5;
  std::vector<Pt> pts = Outline(Shape(SHAPE_ELLIPSE), 41, 11, t);
  const Extent e(pts);
  // Turned about its centre (20, 5): 11 wide and 41 high around it.
  EXPECT_EQ(e.hx - e.lx, 10);
  EXPECT_EQ(e.hy - e.ly, 40);
  EXPECT_EQ((e.lx + e.hx) / 2, 20);
  EXPECT_EQ((e.ly + e.hy) / 2, 5);
}

TEST_F(Geometry, RoundedBoxCorners) {
  ShapeRecord box = Shape(SHAPE_BOX);
  const ShapeTransform id = IdentityTransform();
  box.roundlevel = 0;
  const std::vector<Pt> plain = {{0, 0}, {39, 0}, {39, 19}, {0, 19}, {0, 0}};
  EXPECT_EQ(Outline(box, 40, 20, id), plain);
  // Roundlevel 100 on 40 x 20: corner radius 10 at 18 degree steps, six points a corner.
  box.roundlevel = 100;
  std::vector<Pt> pts = Outline(box, 40, 20, id);
  ASSERT_EQ(pts.size(), 25u);
  const Pt corners[] = {{10, 0}, {0, 10}, {0, 9}, {10, 19}, {29, 19}, {39, 9}, {39, 10}, {29, 0}, {10, 0}};
  const size_t at[] = {0, 5, 6, 11, 12, 17, 18, 23, 24};
  for (size_t i = 0; i < 9; i++) EXPECT_EQ(pts[at[i]], corners[i]) << i;
  for (const Pt &p : pts) {
    EXPECT_GE(p.x, 0);
    EXPECT_LE(p.x, 39);
    EXPECT_GE(p.y, 0);
    EXPECT_LE(p.y, 19);
  }
}

TEST_F(Geometry, ArcsAreSectors) {
  ShapeRecord arc = Shape(SHAPE_ARC);
  const ShapeTransform id = IdentityTransform();
  arc.start = 0;
  arc.end = 90;
  arc.clockwise = 1;
  // Clockwise 0..90 on the screen: the lower right quarter, closed through the centre.
  std::vector<Pt> all = Outline(arc, 21, 21, id, true);
  EXPECT_EQ(all[0], (Pt{0, 0}));
  EXPECT_EQ(all[1], (Pt{20, 20}));
  std::vector<Pt> pts(all.begin() + 2, all.end());
  EXPECT_EQ(pts.front(), (Pt{10, 20}));
  EXPECT_EQ(pts.back(), pts.front());
  EXPECT_NE(std::find(pts.begin(), pts.end(), Pt{20, 10}), pts.end());
  EXPECT_EQ(pts[pts.size() - 2], (Pt{10, 10}));
  for (const Pt &p : pts) {
    EXPECT_GE(p.x, 10);
    EXPECT_GE(p.y, 10);
  }
  // Counter-clockwise 0..90 is the other three quarters.
  arc.clockwise = 0;
  pts = Outline(arc, 21, 21, id);
  bool upperLeft = false;
  for (const Pt &p : pts) {
    upperLeft = upperLeft || (p.x < 5 && p.y < 10);
    EXPECT_FALSE(p.x > 12 && p.y > 12) << p.x << "," << p.y;
  }
  EXPECT_TRUE(upperLeft);
}

TEST_F(Geometry, PolygonTablesAreClosedOnce) {
  double closed[2 * 6] = {3, 4, 13, 4, 13, 14, 3, 4};
  int32_t n, w, h, mx, my;
  FinishPolygonPoints(closed, 4, &n, &w, &h, &mx, &my);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(w, 11);
  EXPECT_EQ(h, 11);
  EXPECT_EQ(mx, 3);
  EXPECT_EQ(my, 4);
  EXPECT_EQ(closed[0], 0);
  EXPECT_EQ(closed[3], 0);
  EXPECT_EQ(closed[4], 10);

  double open[2 * 5] = {-2.5, 1, 7.5, 1, 7.5, 9};
  FinishPolygonPoints(open, 3, &n, &w, &h, &mx, &my);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(open[6], 0);
  EXPECT_EQ(open[7], 0);
  EXPECT_EQ(open[2], 10);
  EXPECT_EQ(mx, -2);  // lrint rounds half to even
  EXPECT_EQ(w, 11);
}

TEST_F(Geometry, PolygonEdgeOffsets) {
  double work[2 * DRAW_POINT_CAPACITY];
  int32_t out[2 * DRAW_POINT_CAPACITY];
  int32_t bx, by;
  const std::vector<int32_t> grownSquare = {0, 0, 14, 0, 14, 14, 0, 14, 0, 0};
  // A square either way round, and with a point in the middle of a side, grows by 2 on each side.
  const std::vector<std::vector<double>> squares = {
      {0, 0, 10, 0, 10, 10, 0, 10, 0, 0},
      {0, 0, 0, 10, 10, 10, 10, 0, 0, 0},
      {0, 0, 5, 0, 10, 0, 10, 10, 0, 10, 0, 0},
  };
  for (const std::vector<double> &sq : squares) {
    const int32_t n = PolygonEdgeOutline(sq.data(), (int32_t)sq.size() / 2, 2, work, out, &bx, &by);
    ASSERT_EQ(n, 5);
    std::vector<int32_t> got(out, out + 10);
    // The same corners, whatever the start and direction.
    std::vector<std::pair<int32_t, int32_t>> a, b;
    for (int i = 0; i < 4; i++) {
      a.push_back({got[2 * i], got[2 * i + 1]});
      b.push_back({grownSquare[2 * i], grownSquare[2 * i + 1]});
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
    EXPECT_EQ(bx, 2);
    EXPECT_EQ(by, 2);
  }
  // Three points on one diagonal: the rectangle around the body grown by the edge.
  const double line[] = {0, 0, 5, 5, 10, 10, 0, 0};
  const int32_t n = PolygonEdgeOutline(line, 4, 3, work, out, &bx, &by);
  ASSERT_EQ(n, 5);
  const std::vector<int32_t> rect = {0, 0, 16, 0, 16, 16, 0, 16, 0, 0};
  EXPECT_EQ(std::vector<int32_t>(out, out + 10), rect);
  EXPECT_EQ(bx, 3);
  EXPECT_EQ(by, 3);
  // A needle's corner has no miter limit: its offset point lies far beyond the tip.
  const double needle[] = {0, 0, 10000, 10000, 30, 0, 0, 0};
  ASSERT_EQ(PolygonEdgeOutline(needle, 4, 64, work, out, &bx, &by), 4);
  int32_t far = 0;
  for (int i = 0; i < 8; i++) far = std::max(far, out[i]);
  EXPECT_GT(far, 60000);
  // One beyond the coordinate limit is refused rather than overflowing.
  const double huge[] = {0, 0, 600000000, 600000000, 1000000, 0, 0, 0};
  EXPECT_EQ(PolygonEdgeOutline(huge, 4, 64, work, out, &bx, &by), -1);
}

TEST_F(Geometry, TransformPointsAboutAnchor) {
  double m[4];
  RotationMatrix(90, m);
  int32_t pts[] = {0, 0, 10, 0, 10, 4};
  int32_t mx, my, w, h;
  TransformPoints(pts, 3, 11, 5, 0, 0, m, 0, &mx, &my, &w, &h);
  // A quarter turn counter-clockwise on the screen about the top-left corner.
  EXPECT_EQ(pts[2], 0);
  EXPECT_EQ(pts[3], -10);
  EXPECT_EQ(pts[4], 4);
  EXPECT_EQ(pts[5], -10);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, -10);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 11);
  int32_t moved[] = {0, 0, 10, 0};
  TransformPoints(moved, 2, 11, 1, 1.0, 0, m, 1, &mx, &my, &w, &h);
  EXPECT_EQ(mx, 11);
  EXPECT_EQ(my, 1);
  EXPECT_EQ(moved[0], 0);
  EXPECT_EQ(moved[1], 10);
  EXPECT_EQ(moved[2], 0);
  EXPECT_EQ(moved[3], 0);
}

TEST_F(Geometry, ClipLineSpan) {
  struct Case {
    int32_t in[4], lo, hi, result, out[4];
  } cases[] = {
      {{-10, 0, -5, 3}, 0, 100, 0, {-10, 0, -5, 3}},          // left of the range: dropped
      {{105, 0, 200, 3}, 0, 100, 0, {105, 0, 200, 3}},        // right of it
      {{-10, 0, 110, 120}, 0, 100, 1, {0, 10, 100, 110}},     // crossing: shortened on both sides
      {{50, 7, 60, 9}, 0, 100, 1, {50, 7, 60, 9}},            // inside: unchanged
      {{-1, 0, 3, 3}, 0, 100, 1, {0, 0, 3, 3}},               // slope 3/4, truncated
  };
  for (const Case &c : cases) {
    int32_t v[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
    EXPECT_EQ(ClipLineSpan(&v[0], &v[1], &v[2], &v[3], c.lo, c.hi), c.result);
    for (int i = 0; i < 4; i++) EXPECT_EQ(v[i], c.out[i]) << c.in[0] << " " << i;
  }
}

}  // namespace

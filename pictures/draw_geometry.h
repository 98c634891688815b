// Shape geometry: the description of one shape being drawn, the closed outline of each shape
// type in the shape's own box coordinates, the elliptic arc generator over the library's
// cosine and sine tables, polygon point lists, point transformation about an anchor, the
// outward offset that makes a polygon's edge, and the clipping of a thin line. Plain
// computation; nothing here touches a picture.
#pragma once
#include <cstdint>

#include "pictures/draw_style.h"

// Shape types (the layer types the shape commands create).
enum { SHAPE_BOX = 14, SHAPE_CIRCLE = 15, SHAPE_ELLIPSE = 16, SHAPE_LINE = 17, SHAPE_PLOT = 18,
       SHAPE_POLYGON = 27, SHAPE_ARC = 31 };

// A 2x2 matrix mapping (x, y) to (m[0] x + m[2] y, m[1] x + m[3] y), and the anchor as
// fractions of the shape's size (the point that stays in place).
struct ShapeTransform {
  double m[4];
  double anchorX, anchorY;
};
int IsIdentityMatrix(const double m[4]);
// The identity matrix with anchor 0/0.
ShapeTransform IdentityTransform(void);
// Rotation by r modulo 360 degrees, counter-clockwise on the screen for a positive angle.
void RotationMatrix(int32_t degrees, double m[4]);

// Most outlines have at most this many points.
enum { MAX_POLYGON_POINTS = 1000 };

// One shape being drawn. The commands and the layer re-render entries fill the given fields;
// the renderer derives the others.
struct ShapeRecord {
  int32_t type;                  // SHAPE_*
  int32_t x, y;                  // given position (the anchor point of the shape's box)
  int32_t imageX, imageY;        // top-left of the final image on the target
  int32_t layerX, layerY;        // position handed to the layer code
  int32_t bodyX, bodyY;          // the shape's own outline inside the image
  int32_t boxX, boxY;            // the outlines' bounding box relative to the shape's box
  int32_t width, height;         // the shape's box
  int32_t bodyWidth, bodyHeight; // bounding box of the (transformed) outline
  int32_t outerWidth, outerHeight;
  int32_t imageWidth, imageHeight;
  int32_t xradius, yradius;      // CIRCLE, ELLIPSE, ARC
  int32_t start, end;            // ARC, degrees clockwise from 3 o'clock
  int32_t roundlevel;            // BOX, 0..100
  const double *points;          // POLYGON: count pairs relative to the box
  int32_t count;
  int32_t fillStyle;
  int32_t edgeOn, edgeTransparency, edgeSize;
  int32_t shadowOn, shadowTransparency, shadowSize, shadowDirection;
  uint32_t colour;               // 0xTTRRGGBB
  uint32_t edgeRGB, shadowRGB;
  int32_t antialias;
  int32_t clockwise;             // ARC
  const DrawStyle *style;        // the style in force
  ShapeTransform transform;
  void *layerOptions;            // the layer options read from the option table, or nullptr
  int32_t fullRedraw;            // the layer options ask the layer code to redraw
  void *layer, *layerState;      // the layer being re-rendered
  int32_t insertPos;             // layer position for a re-render
  int32_t x1, y1, x2, y2;        // LINE: end points relative to the line's box
  int32_t thickness;             // LINE
};

// (w div 2, h div 2) turned about the anchor point minus the same point turned about the box
// centre: what moves a shape turned about its centre to one turned about its anchor.
void ShapeAnchorShift(const double m[4], int64_t w, int64_t h, double fx, double fy, int64_t *sx, int64_t *sy);

// Angle step in degrees for a radius in pixels: 90 up to 2, 30 up to 9, 18 up to 14, else 5.
int32_t ArcAngleStep(int32_t radius);

// Points of an elliptic arc into `out` (pairs of doubles); returns the number of entries.
// cx, cy, rx, ry are 16.16 fixed point; angles run counter-clockwise on the screen from
// 3 o'clock. centre: append the centre unless the arc is a full turn; bbox: the first two
// entries are the whole ellipse's minimum and maximum corner. `out` needs room for
// 360 / step + 6 entries.
int32_t EllipseArcPoints(const double m[4], int32_t a0, int32_t a1, double fx, double fy, double *out,
                         int32_t step, int centre, int bbox, int64_t cx, int64_t cy, int64_t rx, int64_t ry);

// Closed outline of the shape in a box of width x height, in box coordinates (pairs of
// doubles); the transform's matrix and anchor apply to the generated shapes (not to plain
// boxes and polygons). Returns the number of entries (for ARC including the two bounding-box
// entries first), at most DRAW_POINT_CAPACITY.
int32_t ShapeOutline(const ShapeRecord *rec, int32_t width, int32_t height, const ShapeTransform *t, double *out);

// Closes a polygon of count points read from a table (appends the first point when the last
// differs) and moves it to its bounding box. `points` has room for one more point. Stores the
// count after closing, the box size and the rounded minimum. Coordinates beyond
// kMaxShapeCoordinate are pulled in to it (NaN becomes 0).
void FinishPolygonPoints(double *points, int32_t count, int32_t *outCount, int32_t *width, int32_t *height,
                         int32_t *minX, int32_t *minY);

// Transforms integer points about the pivot (px, py) (each result truncated); with `move` the
// points are moved to their bounding box. Stores the minimum and the box size.
void TransformPointsAbout(int32_t *points, int32_t count, int32_t px, int32_t py, const double m[4], int move,
                          int32_t *minX, int32_t *minY, int32_t *width, int32_t *height);
// The same about the pivot (trunc(width x x0), trunc(height x y0)).
void TransformPoints(int32_t *points, int32_t count, int32_t width, int32_t height, double x0, double y0,
                     const double m[4], int move, int32_t *minX, int32_t *minY, int32_t *outWidth,
                     int32_t *outHeight);

// The edge of a polygon: its closed outline (count pairs of doubles, the last equal to the
// first) grown outward by e. Writes the integer outline (closed) into `out` (room for count + 1
// points), moved to its own bounding box, and where the body sits inside it. A straight or
// reversed corner gives the rectangle around the body grown by e. Returns the point count, or
// -1 when an offset point lies beyond the size limit of a picture.
int32_t PolygonEdgeOutline(const double *points, int32_t count, int32_t e, double *work, int32_t *out,
                           int32_t *bodyX, int32_t *bodyY);

// Clips the segment (a1, b1)-(a2, b2) to lo <= a <= hi: 0 when both ends lie beyond the same
// bound, else moves each end beyond a bound onto it (its b along the segment) and returns 1.
int ClipLineSpan(int32_t *a1, int32_t *b1, int32_t *a2, int32_t *b2, int32_t lo, int32_t hi);

// Largest coordinate the outlines may reach; sizes beyond fail like an exhausted allocator.
constexpr int64_t kMaxShapeCoordinate = 1 << 29;

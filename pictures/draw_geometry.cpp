// Shape outlines and the point-list operations of the draw library (see pictures/draw_geometry.h).
#include "pictures/draw_geometry.h"

#include <cmath>
#include <cstring>

int IsIdentityMatrix(const double m[4]) { return m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1; }

ShapeTransform IdentityTransform(void) {
  ShapeTransform t;
  memset(&t, 0, sizeof t);
  t.m[0] = t.m[3] = 1;
  return t;
}

void RotationMatrix(int32_t degrees, double m[4]) {
  // Screen y runs down, so a counter-clockwise turn on the screen is the mathematical clockwise one.
  const double r = (degrees % 360) * (M_PI / 180.0);
  const double c = std::cos(r), s = std::sin(r);
  m[0] = c;
  m[1] = -s;
  m[2] = s;
  m[3] = c;
}

int32_t ArcAngleStep(int32_t radius) {
  if (radius <= 2) return 90;
  if (radius <= 9) return 30;
  if (radius <= 14) return 18;
  return 5;
}

// trunc(v) kept inside the range the outlines may use, so that absurd matrices give oversized
// (and then refused) shapes instead of undefined conversions.
static int64_t TruncCoord(double v) {
  const double lim = (double)kMaxShapeCoordinate * 4;
  if (!(v == v)) return 0;
  if (v > lim) return (int64_t)lim;
  if (v < -lim) return -(int64_t)lim;
  return (int64_t)v;
}

void ShapeAnchorShift(const double m[4], int64_t w, int64_t h, double fx, double fy, int64_t *sx, int64_t *sy) {
  *sx = *sy = 0;
  if (IsIdentityMatrix(m)) return;
  const int64_t X = w / 2, Y = h / 2;
  const int64_t cw = TruncCoord(w * 0.5), ch = TruncCoord(h * 0.5);
  const int64_t p = X - cw, q = Y - ch;
  const int64_t c1x = cw + TruncCoord(m[0] * p + m[2] * q), c1y = ch + TruncCoord(m[1] * p + m[3] * q);
  const int64_t A = TruncCoord(fx * w), B = TruncCoord(fy * h);
  const int64_t c2x = A + TruncCoord(m[0] * (X - A) + m[2] * (Y - B));
  const int64_t c2y = B + TruncCoord(m[1] * (X - A) + m[3] * (Y - B));
  *sx = c2x - c1x;
  *sy = c2y - c1y;
}

// Angle index into the 361-entry tables.
static int32_t TableIndex(int64_t a) {
  a %= 360;
  if (a < 0) a += 360;
  return (int32_t)a;
}

int32_t EllipseArcPoints(const double m[4], int32_t a0in, int32_t a1in, double fx, double fy, double *out,
                         int32_t step, int centre, int bbox, int64_t cx, int64_t cy, int64_t rx, int64_t ry) {
  const double *tc = DrawCosTable(), *ts = DrawSinTable();
  if (!tc || !ts || step < 1) return 0;
  const int64_t X = cx >> 16, Y = cy >> 16;
  const int64_t W = (rx >> 16) * 2 + 1, H = (ry >> 16) * 2 + 1;
  // Shift for the anchor.
  int64_t shx = 0, shy = 0;
  if (!IsIdentityMatrix(m)) {
    const int64_t hw = TruncCoord(W * 0.5), hh = TruncCoord(H * 0.5);
    const int64_t p = X - hw, q = Y - hh;
    const int64_t c1x = hw + TruncCoord(m[0] * p + m[2] * q), c1y = hh + TruncCoord(m[1] * p + m[3] * q);
    const int64_t A = TruncCoord(fx * W), B = TruncCoord(fy * H);
    shx = A + TruncCoord(m[0] * (X - A) + m[2] * (Y - B)) - c1x;
    shy = B + TruncCoord(m[1] * (X - A) + m[3] * (Y - B)) - c1y;
  }
  // Angles into 0..360.
  int64_t a0 = a0in, a1 = a1in;
  if (a0 > a1) {
    const int64_t t = a0;
    a0 = a1;
    a1 = t;
  }
  if (a0 < 0) {
    const int64_t k = (-a0 + 359) / 360 * 360;
    a0 += k;
    a1 += k;
  }
  if (a1 > 360) {
    const int64_t k = (a1 - 360 + 359) / 360 * 360;
    a0 -= k;
    a1 -= k;
  }
  if (a1 - a0 > 360) {
    a0 = 0;
    a1 = 360;
  }
  auto pointAt = [&](int32_t i, double *px, double *py) {
    const double u = (double)rx * tc[i], v = ts[i] * (double)ry;
    *px = (double)(std::lrint(m[0] * u + (double)cx + m[2] * v) >> 16);
    *py = (double)(std::lrint(m[1] * u + (double)cy + m[3] * v) >> 16);
  };
  int32_t n = 0;
  if (bbox) {
    double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
    for (int32_t a = 0; a <= 360; a += step) {
      double px, py;
      pointAt(a, &px, &py);
      if (px < minX) minX = px;
      if (py < minY) minY = py;
      if (px > maxX) maxX = px;
      if (py > maxY) maxY = py;
    }
    out[0] = minX;
    out[1] = minY;
    out[2] = maxX;
    out[3] = maxY;
    n = 2;
  }
  const int32_t first = n;
  for (int64_t a = a0; a < a1 + step; a += step) {
    int64_t i = a < a1 ? a : a1;
    if (i < 0) i += 360;
    double px, py;
    pointAt(i == 360 ? 360 : TableIndex(i), &px, &py);
    if (n > first && out[2 * n - 2] == px && out[2 * n - 1] == py) continue;
    out[2 * n] = px;
    out[2 * n + 1] = py;
    n++;
  }
  if (centre && a1 - a0 < 360) {
    out[2 * n] = (double)X;
    out[2 * n + 1] = (double)Y;
    n++;
  }
  while (n - first < 2) {
    out[2 * n] = out[2 * n - 2];
    out[2 * n + 1] = out[2 * n - 1];
    n++;
  }
  for (int32_t k = 0; k < n; k++) {
    out[2 * k] += (double)shx;
    out[2 * k + 1] += (double)shy;
  }
  return n;
}

// Appends the first outline point (entry `from`) when the last differs.
static int32_t CloseOutline(double *out, int32_t from, int32_t n) {
  if (n > from && (out[2 * n - 2] != out[2 * from] || out[2 * n - 1] != out[2 * from + 1])) {
    out[2 * n] = out[2 * from];
    out[2 * n + 1] = out[2 * from + 1];
    n++;
  }
  return n;
}

static int32_t RoundedBoxOutline(int32_t roundlevel, int64_t w, int64_t h, const ShapeTransform *t, double *out) {
  const double q = roundlevel > 0 ? (roundlevel > 100 ? 100 : roundlevel) / 100.0 : 0.01;
  const int64_t r = TruncCoord(q * (double)((w < h ? w : h) / 2));
  const int32_t step = ArcAngleStep(r > INT32_MAX ? INT32_MAX : (int32_t)r);
  const int64_t cxs[4] = {r, r, w - 1 - r, w - 1 - r};
  const int64_t cys[4] = {r, h - 1 - r, h - 1 - r, r};
  const int32_t from[4] = {90, 180, 270, 0};
  const double *m = t->m;
  const bool turned = !IsIdentityMatrix(m);
  const int64_t bx = TruncCoord(w * 0.5), by = TruncCoord(h * 0.5);
  int32_t n = 0;
  double arc[2 * 96];
  for (int k = 0; k < 4; k++) {
    int64_t cx = cxs[k], cy = cys[k];
    if (turned) {
      const int64_t dx = cx - bx, dy = cy - by;
      cx = bx + TruncCoord(m[0] * dx + m[2] * dy);
      cy = by + TruncCoord(m[1] * dx + m[3] * dy);
    }
    const int32_t got = EllipseArcPoints(m, from[k], from[k] + 90, 0.5, 0.5, arc, step, 0, 0, cx * 65536,
                                         cy * 65536, r * 65536, r * 65536);
    for (int32_t i = 0; i < got; i++) {
      if (n > 0 && out[2 * n - 2] == arc[2 * i] && out[2 * n - 1] == arc[2 * i + 1]) continue;
      out[2 * n] = arc[2 * i];
      out[2 * n + 1] = arc[2 * i + 1];
      n++;
    }
  }
  n = CloseOutline(out, 0, n);
  int64_t sx, sy;
  ShapeAnchorShift(m, w, h, t->anchorX, t->anchorY, &sx, &sy);
  for (int32_t i = 0; i < n; i++) {
    out[2 * i] += (double)sx;
    out[2 * i + 1] += (double)sy;
  }
  return n;
}

int32_t ShapeOutline(const ShapeRecord *rec, int32_t width, int32_t height, const ShapeTransform *t, double *out) {
  const int64_t w = width, h = height;
  switch (rec->type) {
    case SHAPE_BOX:
      if (rec->roundlevel == 0) {
        const double xs[5] = {0, (double)(w - 1), (double)(w - 1), 0, 0};
        const double ys[5] = {0, 0, (double)(h - 1), (double)(h - 1), 0};
        for (int i = 0; i < 5; i++) {
          out[2 * i] = xs[i];
          out[2 * i + 1] = ys[i];
        }
        return 5;
      }
      return RoundedBoxOutline(rec->roundlevel, w, h, t, out);
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE: {
      const int64_t rx = w / 2, ry = h / 2;
      const int64_t big = rx > ry ? rx : ry;
      const int32_t n = EllipseArcPoints(t->m, 0, 360, t->anchorX, t->anchorY, out,
                                         ArcAngleStep(big > INT32_MAX ? INT32_MAX : (int32_t)big), 1, 0, rx << 16,
                                         ry << 16, rx << 16, ry << 16);
      return CloseOutline(out, 0, n);
    }
    case SHAPE_ARC: {
      const int64_t rx = w / 2, ry = h / 2;
      const int64_t big = rx > ry ? rx : ry;
      int64_t start = rec->start, end = rec->end;
      // Bring the end behind the start in the drawing direction.
      if (rec->clockwise) {
        if (end < start) end += (start - end + 359) / 360 * 360;
      } else {
        if (start < end) start += (end - start + 359) / 360 * 360;
      }
      // The generator runs counter-clockwise on the screen; clockwise angles are negated.
      const int64_t lim = 1 << 30;
      if (start > lim || end > lim) {
        start %= 360;
        end %= 360;
      }
      const int32_t n = EllipseArcPoints(t->m, (int32_t)-start, (int32_t)-end, t->anchorX, t->anchorY, out,
                                         ArcAngleStep(big > INT32_MAX ? INT32_MAX : (int32_t)big), 1, 1, rx << 16,
                                         ry << 16, rx << 16, ry << 16);
      return CloseOutline(out, 2, n);
    }
    case SHAPE_POLYGON: {
      int32_t n = rec->count;
      if (!rec->points || n < 0) return 0;
      if (n > DRAW_POINT_CAPACITY) n = DRAW_POINT_CAPACITY;
      memcpy(out, rec->points, sizeof(double) * 2 * (size_t)n);
      return n;
    }
    default:
      return 0;
  }
}

void FinishPolygonPoints(double *points, int32_t count, int32_t *outCount, int32_t *width, int32_t *height,
                         int32_t *minX, int32_t *minY) {
  if (count < 1) {
    *outCount = 0;
    *width = *height = 0;
    *minX = *minY = 0;
    return;
  }
  // A point far outside every picture is pulled in to the outline limit (NaN to 0), so that its
  // rounding and the box's extent stay defined.
  const double lim = (double)kMaxShapeCoordinate;
  for (int32_t i = 0; i < 2 * count; i++)
    points[i] = !(points[i] == points[i]) ? 0.0 : points[i] > lim ? lim : points[i] < -lim ? -lim : points[i];
  if (points[2 * count - 2] != points[0] || points[2 * count - 1] != points[1]) {
    points[2 * count] = points[0];
    points[2 * count + 1] = points[1];
    count++;
  }
  double dminX = points[0], dminY = points[1];
  long iminX = std::lrint(points[0]), iminY = std::lrint(points[1]), imaxX = iminX, imaxY = iminY;
  for (int32_t i = 0; i < count; i++) {
    const double x = points[2 * i], y = points[2 * i + 1];
    if (x < dminX) dminX = x;
    if (y < dminY) dminY = y;
    const long rx = std::lrint(x), ry = std::lrint(y);
    if (rx < iminX) iminX = rx;
    if (ry < iminY) iminY = ry;
    if (rx > imaxX) imaxX = rx;
    if (ry > imaxY) imaxY = ry;
  }
  for (int32_t i = 0; i < count; i++) {
    points[2 * i] -= dminX;
    points[2 * i + 1] -= dminY;
  }
  *outCount = count;
  const int64_t w = (int64_t)imaxX - iminX + 1, h = (int64_t)imaxY - iminY + 1;
  *width = w > INT32_MAX ? INT32_MAX : (int32_t)w;
  *height = h > INT32_MAX ? INT32_MAX : (int32_t)h;
  *minX = iminX < INT32_MIN ? INT32_MIN : iminX > INT32_MAX ? INT32_MAX : (int32_t)iminX;
  *minY = iminY < INT32_MIN ? INT32_MIN : iminY > INT32_MAX ? INT32_MAX : (int32_t)iminY;
}

void TransformPointsAbout(int32_t *points, int32_t count, int32_t px, int32_t py, const double m[4], int move,
                          int32_t *minX, int32_t *minY, int32_t *width, int32_t *height) {
  int64_t lx = INT64_MAX, ly = INT64_MAX, hx = INT64_MIN, hy = INT64_MIN;
  for (int32_t i = 0; i < count; i++) {
    const double dx = (double)points[2 * i] - px, dy = (double)points[2 * i + 1] - py;
    const int64_t x = px + TruncCoord(m[0] * dx + m[2] * dy), y = py + TruncCoord(m[1] * dx + m[3] * dy);
    points[2 * i] = (int32_t)x;
    points[2 * i + 1] = (int32_t)y;
    if (x < lx) lx = x;
    if (y < ly) ly = y;
    if (x > hx) hx = x;
    if (y > hy) hy = y;
  }
  if (count < 1) lx = ly = hx = hy = 0;
  if (move) {
    for (int32_t i = 0; i < count; i++) {
      points[2 * i] -= (int32_t)lx;
      points[2 * i + 1] -= (int32_t)ly;
    }
  }
  *minX = (int32_t)lx;
  *minY = (int32_t)ly;
  *width = (int32_t)(hx - lx + 1);
  *height = (int32_t)(hy - ly + 1);
}

void TransformPoints(int32_t *points, int32_t count, int32_t width, int32_t height, double x0, double y0,
                     const double m[4], int move, int32_t *minX, int32_t *minY, int32_t *outWidth,
                     int32_t *outHeight) {
  TransformPointsAbout(points, count, (int32_t)TruncCoord(width * x0), (int32_t)TruncCoord(height * y0), m, move,
                       minX, minY, outWidth, outHeight);
}

// Drops points that lie strictly inside a horizontal or vertical run (every corner stays).
static int32_t ReduceRuns(double *p, int32_t n) {
  bool changed = true;
  while (changed && n > 3) {
    changed = false;
    for (int32_t i = 0; i < n && n > 3; i++) {
      const double *q = p + 2 * ((i + n - 1) % n), *c = p + 2 * i, *r = p + 2 * ((i + 1) % n);
      const bool vertical = q[0] == c[0] && c[0] == r[0] && (c[1] - q[1]) * (r[1] - c[1]) > 0;
      const bool horizontal = q[1] == c[1] && c[1] == r[1] && (c[0] - q[0]) * (r[0] - c[0]) > 0;
      if (vertical || horizontal) {
        memmove(p + 2 * i, p + 2 * i + 2, sizeof(double) * 2 * (size_t)(n - i - 1));
        n--;
        i--;
        changed = true;
      }
    }
  }
  return n;
}

int32_t PolygonEdgeOutline(const double *points, int32_t count, int32_t e, double *work, int32_t *out,
                           int32_t *bodyX, int32_t *bodyY) {
  if (count < 1 || count > DRAW_POINT_CAPACITY) return -1;
  // Orientation of the closed list.
  double area = 0;
  for (int32_t i = 0; i + 1 < count; i++)
    area += points[2 * i] * points[2 * i + 3] - points[2 * i + 2] * points[2 * i + 1];
  const int orientation = area > 0 ? 1 : -1;
  // Closing and repeated points out.
  int32_t n = 0;
  for (int32_t i = 0; i < count; i++) {
    if (n > 0 && work[2 * n - 2] == points[2 * i] && work[2 * n - 1] == points[2 * i + 1]) continue;
    work[2 * n] = points[2 * i];
    work[2 * n + 1] = points[2 * i + 1];
    n++;
  }
  while (n > 1 && work[2 * n - 2] == work[0] && work[2 * n - 1] == work[1]) n--;
  n = ReduceRuns(work, n);
  double minBX = 0, minBY = 0, maxBX = 0, maxBY = 0;
  for (int32_t i = 0; i < count; i++) {
    if (i == 0 || points[2 * i] < minBX) minBX = points[2 * i];
    if (i == 0 || points[2 * i + 1] < minBY) minBY = points[2 * i + 1];
    if (i == 0 || points[2 * i] > maxBX) maxBX = points[2 * i];
    if (i == 0 || points[2 * i + 1] > maxBY) maxBY = points[2 * i + 1];
  }
  // Offsets are collected first, so a straight corner found late still gives the rectangle.
  bool straight = n < 3;
  int32_t m = 0;
  int64_t pts[2 * (DRAW_POINT_CAPACITY + 5)];
  for (int32_t i = 0; i < n && !straight; i++) {
    const double *q = work + 2 * ((i + n - 1) % n), *p = work + 2 * i, *r = work + 2 * ((i + 1) % n);
    double ux = p[0] - q[0], uy = p[1] - q[1], vx = p[0] - r[0], vy = p[1] - r[1];
    const double lu = std::sqrt(ux * ux + uy * uy), lv = std::sqrt(vx * vx + vy * vy);
    if (lu > 0) {
      ux /= lu;
      uy /= lu;
    }
    if (lv > 0) {
      vx /= lv;
      vy /= lv;
    }
    const double c = ux * vy - uy * vx;
    if (std::fabs(c) < 0.001) {
      straight = true;
      break;
    }
    const double s = ((orientation < 0 && c > 0) || (orientation > 0 && c < 0)) ? 1 : -1;
    const double k = s * e / std::fabs(c);
    const double x = p[0] + (ux + vx) * k, y = p[1] + (uy + vy) * k;
    if (std::fabs(x) > (double)kMaxShapeCoordinate || std::fabs(y) > (double)kMaxShapeCoordinate) return -1;
    pts[2 * m] = std::lrint(x);
    pts[2 * m + 1] = std::lrint(y);
    m++;
  }
  if (straight) {
    if (!(std::fabs(minBX) + std::fabs(maxBX) + std::fabs(minBY) + std::fabs(maxBY) < 4.0 * kMaxShapeCoordinate))
      return -1;
    const int64_t l = (int64_t)std::lrint(minBX) - e, t = (int64_t)std::lrint(minBY) - e;
    const int64_t rr = (int64_t)std::lrint(maxBX) + e, b = (int64_t)std::lrint(maxBY) + e;
    const int64_t lim = kMaxShapeCoordinate;
    if (l < -lim || t < -lim || rr > lim || b > lim) return -1;
    const int64_t rect[10] = {l, t, rr, t, rr, b, l, b, l, t};
    memcpy(pts, rect, sizeof rect);
    m = 5;
  } else {
    pts[2 * m] = pts[0];
    pts[2 * m + 1] = pts[1];
    m++;
  }
  int64_t lx = pts[0], ly = pts[1];
  for (int32_t i = 0; i < m; i++) {
    if (pts[2 * i] < lx) lx = pts[2 * i];
    if (pts[2 * i + 1] < ly) ly = pts[2 * i + 1];
  }
  for (int32_t i = 0; i < m; i++) {
    out[2 * i] = (int32_t)(pts[2 * i] - lx);
    out[2 * i + 1] = (int32_t)(pts[2 * i + 1] - ly);
  }
  *bodyX = (int32_t)(lx < 0 ? -lx : lx);
  *bodyY = (int32_t)(ly < 0 ? -ly : ly);
  return m;
}

int ClipLineSpan(int32_t *a1, int32_t *b1, int32_t *a2, int32_t *b2, int32_t lo, int32_t hi) {
  const int64_t A1 = *a1, B1 = *b1, A2 = *a2, B2 = *b2;
  if ((A1 < lo && A2 < lo) || (A1 > hi && A2 > hi)) return 0;
  const double slope = A2 != A1 ? (double)(B2 - B1) / (double)(A2 - A1) : 0;
  auto along = [&](int64_t a) { return (int32_t)(B1 + (int64_t)((double)(a - A1) * slope)); };
  if (A1 < lo || A1 > hi) {
    const int32_t bound = A1 < lo ? lo : hi;
    *b1 = along(bound);
    *a1 = bound;
  }
  if (A2 < lo || A2 > hi) {
    const int32_t bound = A2 < lo ? lo : hi;
    *b2 = along(bound);
    *a2 = bound;
  }
  return 1;
}

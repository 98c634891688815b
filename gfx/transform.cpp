// Affine transformation of a picture triple by a 2x2 matrix, by inverse mapping: every
// destination pixel whose centre maps inside the source takes the source pixel there (nearest)
// or the bilinear mix of its 2 x 2 neighbourhood (smooth).
#include <cmath>
#include <cstring>

#include "gfx/pixel_layout.h"
#include "gfx/scale.h"
#include "runtime/memory.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#endif

// Corners of a width x height rectangle, transformed.
static void Corners(const Matrix2D *m, int32_t width, int32_t height, double xs[4], double ys[4]) {
  const double cx[4] = {0, (double)width, (double)width, 0};
  const double cy[4] = {0, 0, (double)height, (double)height};
  for (int i = 0; i < 4; i++) {
    const double x = std::trunc(cx[i] + 0.5), y = std::trunc(cy[i] + 0.5);
    xs[i] = m->a * x + m->c * y;
    ys[i] = m->b * x + m->d * y;
  }
}

static int32_t SpanToSize(double span) {
  const double v = std::ceil(span - 0.5);
  if (!(v > 0)) return 0;
  if (v > 2147483647.0) return INT32_MAX;
  return (int32_t)v;
}

void TransformedSize(const Matrix2D *m, int32_t width, int32_t height, int32_t *newWidth, int32_t *newHeight,
                     double *minX, double *minY) {
  double xs[4], ys[4];
  Corners(m, width, height, xs, ys);
  double x0 = xs[0], x1 = xs[0], y0 = ys[0], y1 = ys[0];
  for (int i = 1; i < 4; i++) {
    x0 = std::fmin(x0, xs[i]);
    x1 = std::fmax(x1, xs[i]);
    y0 = std::fmin(y0, ys[i]);
    y1 = std::fmax(y1, ys[i]);
  }
  if (newWidth) *newWidth = SpanToSize(x1 - x0);
  if (newHeight) *newHeight = SpanToSize(y1 - y0);
  if (minX) *minX = x0;
  if (minY) *minY = y0;
}

static int Singular(const Matrix2D *m) {
  const double det = m->a * m->d - m->c * m->b;
  return !std::isfinite(m->a) || !std::isfinite(m->b) || !std::isfinite(m->c) || !std::isfinite(m->d) ||
         !std::isfinite(det) || det == 0.0 || !std::isfinite(1.0 / det);
}

// Bilinear mix of the four neighbours' values (top left, top right, bottom left, bottom right)
// with weights fx, fy (ifx = 1 - fx, ify = 1 - fy), rounded and held at 255.
static inline uint8_t Bilinear(double tl, double tr, double bl, double br, double fx, double fy, double ifx,
                               double ify) {
  const double v = ((tl * ifx + tr * fx) * ify + (bl * ifx + br * fx) * fy) + 0.5;
  const int32_t iv = (int32_t)v;
  return (uint8_t)(iv > 255 ? 255 : iv);
}

// Per-pixel sampler of one row: X from first to last; (sxv, syv) = (qx, qy) (X + 0.5) + (kx, ky).
template <class L, bool kSmooth>
static void TransformRow(const TransformParams *p, int32_t Y, int32_t first, int32_t last, double qx, double kx,
                         double qy, double ky) {
  const double W = p->srcWidth, H = p->srcHeight;
  const ptrdiff_t srcRow = (ptrdiff_t)p->srcModulo * L::kBytes;
  uint8_t *drow = p->dst ? p->dst + (ptrdiff_t)Y * p->dstModulo * L::kBytes : nullptr;
  uint8_t *mrow = p->dstMask ? p->dstMask + (ptrdiff_t)Y * p->dstMaskBytesPerRow : nullptr;
  uint8_t *arow = p->dstAlpha ? p->dstAlpha + (ptrdiff_t)Y * p->dstAlphaBytesPerRow : nullptr;
  for (int32_t X = first; X <= last; X++) {
    const double xc = X + 0.5;
    const double sxv = qx * xc + kx, syv = qy * xc + ky;
    if (!(sxv >= 0 && sxv < W && syv >= 0 && syv < H)) continue;
    if constexpr (!kSmooth) {
      int32_t x = (int32_t)sxv, y = (int32_t)syv;
      if (x >= p->srcWidth) x = p->srcWidth - 1;
      if (y >= p->srcHeight) y = p->srcHeight - 1;
      int visible = 1;
      if (p->srcMask) visible = MaskRowBit(p->srcMask + (ptrdiff_t)y * p->srcMaskBytesPerRow, p->srcMaskBitX + x);
      if (drow && p->src) L::Store(drow + (ptrdiff_t)X * L::kBytes, L::Load(p->src + y * srcRow + (ptrdiff_t)x * L::kBytes));
      if (mrow) PutMaskRowBit(mrow, X, visible);
      if (arow) arow[X] = !visible ? 0 : p->srcAlpha ? p->srcAlpha[(ptrdiff_t)y * p->srcAlphaBytesPerRow + x] : 255;
    } else {
      // The neighbourhood around the sample taken as a pixel centre; a neighbour of weight 0
      // (an exact grid position) is not read, so it cannot make a masked pixel visible.
      const double fxs = sxv - 0.5, fys = syv - 0.5;
      int32_t x0, x1, y0, y1;
      double fx, fy;
      if (fxs < 0) { x0 = x1 = 0; fx = 0; }
      else { x0 = (int32_t)fxs; fx = fxs - x0; x1 = x0 + 1 < p->srcWidth && fx > 0 ? x0 + 1 : x0; }
      if (fys < 0) { y0 = y1 = 0; fy = 0; }
      else { y0 = (int32_t)fys; fy = fys - y0; y1 = y0 + 1 < p->srcHeight && fy > 0 ? y0 + 1 : y0; }
      int32_t nx[4] = {x0, x1, x0, x1}, ny[4] = {y0, y0, y1, y1};
      if (p->srcMask) {
        int set[4], firstSet = -1;
        for (int i = 0; i < 4; i++) {
          set[i] = MaskRowBit(p->srcMask + (ptrdiff_t)ny[i] * p->srcMaskBytesPerRow, p->srcMaskBitX + nx[i]);
          if (set[i] && firstSet < 0) firstSet = i;
        }
        if (firstSet < 0) {
          if (mrow) PutMaskRowBit(mrow, X, 0);
          if (arow) arow[X] = 0;
          continue;
        }
        for (int i = 0; i < 4; i++)
          if (!set[i]) { nx[i] = nx[firstSet]; ny[i] = ny[firstSet]; }
      }
      const double ifx = 1 - fx, ify = 1 - fy;
      if (drow && p->src && L::kBytes == 4) {
        // 4-byte pixels: every byte is mixed on its own (the spare byte too, cleared after),
        // which is the same per-channel formula without unpacking the layout.
        const uint8_t *q[4];
        for (int i = 0; i < 4; i++) q[i] = p->src + ny[i] * srcRow + (ptrdiff_t)nx[i] * 4;
        uint8_t out[4];
        for (int b = 0; b < 4; b++) out[b] = Bilinear(q[0][b], q[1][b], q[2][b], q[3][b], fx, fy, ifx, ify);
        uint32_t word;
        memcpy(&word, out, 4);
        L::Store(drow + (ptrdiff_t)X * 4, L::FromRGB(L::ToRGB((typename L::Raw)word)));
      } else if (drow && p->src) {
        uint32_t c[4];
        for (int i = 0; i < 4; i++) c[i] = L::ToRGB(L::Load(p->src + ny[i] * srcRow + (ptrdiff_t)nx[i] * L::kBytes));
        uint32_t out = 0;
        for (int sh = 16; sh >= 0; sh -= 8)
          out |= (uint32_t)Bilinear(c[0] >> sh & 255, c[1] >> sh & 255, c[2] >> sh & 255, c[3] >> sh & 255, fx, fy,
                                    ifx, ify)
                 << sh;
        L::Store(drow + (ptrdiff_t)X * L::kBytes, L::FromRGB(out));
      }
      if (mrow) PutMaskRowBit(mrow, X, 1);
      if (arow) {
        if (p->srcAlpha) {
          const uint8_t *a = p->srcAlpha;
          const ptrdiff_t bpr = p->srcAlphaBytesPerRow;
          arow[X] = Bilinear(a[ny[0] * bpr + nx[0]], a[ny[1] * bpr + nx[1]], a[ny[2] * bpr + nx[2]],
                             a[ny[3] * bpr + nx[3]], fx, fy, ifx, ify);
        } else {
          arow[X] = 255;
        }
      }
    }
  }
}

template <class L, bool kSmooth>
static void TransformAll(const TransformParams *p) {
  const Matrix2D *m = &p->m;
  const double det = m->a * m->d - m->c * m->b;
  const double ia = m->d / det, ic = -m->c / det, ib = -m->b / det, id = m->a / det;
  const double ox = ia * -p->tx + ic * -p->ty, oy = ib * -p->tx + id * -p->ty;
  double xs[4], ys[4];
  Corners(m, p->srcWidth, p->srcHeight, xs, ys);
  double minX = xs[0] + p->tx, maxX = minX, minY = ys[0] + p->ty, maxY = minY;
  for (int i = 1; i < 4; i++) {
    minX = std::fmin(minX, xs[i] + p->tx);
    maxX = std::fmax(maxX, xs[i] + p->tx);
    minY = std::fmin(minY, ys[i] + p->ty);
    maxY = std::fmax(maxY, ys[i] + p->ty);
  }
  double rowFirst = std::ceil(minY - 0.5), rowLast = std::floor(maxY + 0.5);
  if (rowFirst < 0) rowFirst = 0;
  if (rowLast > p->dstHeight - 1) rowLast = p->dstHeight - 1;
  for (int32_t Y = (int32_t)rowFirst; Y <= (int32_t)rowLast; Y++) {
    const double yc = Y + 0.5;
    const double kx = ic * yc + ox, ky = id * yc + oy;
    double lower = minX, upper = maxX;
    const double qs[2] = {ia, ib}, ks[2] = {kx, ky}, ls[2] = {(double)p->srcWidth, (double)p->srcHeight};
    bool empty = false;
    for (int axis = 0; axis < 2; axis++) {
      const double q = qs[axis], k = ks[axis], L_ = ls[axis];
      if (q > 1e-12) {
        lower = std::fmax(lower, std::ceil(-k / q + 1e-12 - 0.5));
        upper = std::fmin(upper, std::ceil((L_ - k) / q - 1e-12 - 0.5));
      } else if (q < -1e-12) {
        lower = std::fmax(lower, std::ceil((L_ - k) / q + 1e-12 - 0.5));
        upper = std::fmin(upper, std::ceil(-k / q - 1e-12 - 0.5));
      } else if (!(k >= 0 && k < L_)) {
        empty = true;  // this row covers no source pixel
      }
    }
    if (empty || lower > upper) continue;
    double first = std::ceil(lower - 0.5), last = std::floor(std::fmin(upper, p->dstWidth - 1) + 0.5);
    if (first < 0) first = 0;
    if (last > p->dstWidth - 1) last = p->dstWidth - 1;
    if (first > last) continue;
    TransformRow<L, kSmooth>(p, Y, (int32_t)first, (int32_t)last, ia, kx, ib, ky);
  }
}

int TransformBitMap(const TransformParams *p) {
  if (!p || Singular(&p->m)) return 1055;
  if (p->srcWidth < 1 || p->srcHeight < 1 || p->dstWidth < 1 || p->dstHeight < 1) return 0;
  if (!p->src || !p->dst) {
    // Planes only: any layout serves for the sampling.
    if (p->smooth) TransformAll<PixFmt11, true>(p);
    else TransformAll<PixFmt11, false>(p);
    return 0;
  }
  if (p->bytesPerPixel != PixelFormatBytes(p->format)) return 0;
  WithFormat(p->format, [&](auto layout) {
    if (p->smooth) TransformAll<decltype(layout), true>(p);
    else TransformAll<decltype(layout), false>(p);
  });
  return 0;
}

int TransformBitMapTriple(const BitMap *src, const Mask *srcMask, const AlphaChannel *srcAlpha, int32_t sx,
                          int32_t sy, int32_t width, int32_t height, const Matrix2D *m, int smooth,
                          BitMap **outBitMap, Mask **outMask, AlphaChannel **outAlpha, int32_t *newWidth,
                          int32_t *newHeight) {
  if (!m || Singular(m)) return 1055;
  if (width < 1 || height < 1 || sx < 0 || sy < 0) return 1055;
  // The rectangle must lie inside every plane that is read.
  if (!TripleRectInside(src, srcMask, srcAlpha, sx, sy, width, height)) return 1055;
  int32_t nw, nh;
  double minX, minY;
  TransformedSize(m, width, height, &nw, &nh, &minX, &minY);
  if (nw < 1 || nh < 1) return 1055;

  BitMap *nb = nullptr, *conv = nullptr;
  Mask *nm = nullptr;
  AlphaChannel *na = nullptr;
  bool ok = true;
  if (src && !(nb = AllocBitMap(nw, nh))) ok = false;
  if (ok && srcAlpha && !(na = AllocAlphaChannel(nw, nh, 1))) ok = false;
  if (ok && !srcAlpha && !(nm = AllocMask(nb, nw, nh, 1))) ok = false;
  // A source of another layout is first brought to the new bitmap's layout.
  if (ok && src && src->format != nb->format) {
    if (!(conv = AllocBitMap(width, height))) ok = false;
    else
      for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++)
          WriteBitMapPixel(conv, x, y, ReadBitMapPixel(src, sx + x, sy + y, 0), 0);
  }
  if (!ok) {
    FreeTriple(nb, nm, na);
    FreeBitMap(conv);
    return 1000;
  }

  TransformParams p;
  memset(&p, 0, sizeof p);
  p.srcWidth = width;
  p.srcHeight = height;
  p.dstWidth = nw;
  p.dstHeight = nh;
  p.m = *m;
  p.tx = -minX;
  p.ty = -minY;
  p.smooth = smooth ? 1 : 0;
  p.format = PIXFMT_BGRX32;
  p.bytesPerPixel = 4;
  if (srcMask) {
    p.srcMask = srcMask->pixels + (ptrdiff_t)sy * srcMask->bytesPerRow;
    p.srcMaskBitX = sx;
    p.srcMaskBytesPerRow = srcMask->bytesPerRow;
  }
  if (srcAlpha) {
    p.srcAlpha = srcAlpha->pixels + (ptrdiff_t)sy * srcAlpha->bytesPerRow + sx;
    p.srcAlphaBytesPerRow = srcAlpha->bytesPerRow;
    p.dstAlpha = na->pixels;
    p.dstAlphaBytesPerRow = na->bytesPerRow;
  } else {
    p.dstMask = nm->pixels;
    p.dstMaskBytesPerRow = nm->bytesPerRow;
  }
  if (src) {
    BitMapInfo si, di;
    const BitMap *from = conv ? conv : src;
    const int32_t fx = conv ? 0 : sx, fy = conv ? 0 : sy;
    if (!LockBitMapPair(from, &si, nb, &di)) {
      FreeTriple(nb, nm, na);
      FreeBitMap(conv);
      return 1152;
    }
    p.src = si.pixels + ((ptrdiff_t)fy * si.modulo + fx) * si.bytesPerPixel;
    p.srcModulo = si.modulo;
    p.dst = di.pixels;
    p.dstModulo = di.modulo;
    p.format = di.format;
    p.bytesPerPixel = di.bytesPerPixel;
  }
  TransformBitMap(&p);
  if (src) {
    UnLockBitMap();
    UnLockBitMap();
  }
  FreeBitMap(conv);
  HandOutTriple(nb, nm, na, outBitMap, outMask, outAlpha);
  if (newWidth) *newWidth = nw;
  if (newHeight) *newHeight = nh;
  return 0;
}

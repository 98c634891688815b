// Linear gradient kernel and the integer square root.
#include <cmath>
#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"

// Integer arithmetic with 64-bit intermediates; divisions truncate toward
// zero. Angle 0 runs from colour 1 in the top row toward colour 2 at the
// bottom, 90 from left to right; 180 and 270 reverse them.
template <class L>
static void GradientRows(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                         uint32_t rgb2, int32_t angle, int32_t modulo) {
  if (width <= 0 || height <= 0) return;
  int64_t a = angle;
  if (a < 0) a = 360 - ((-a) % 360);
  a %= 360;
  const double rad = (double)a * M_PI / 180.0;
  const int64_t S = (int64_t)(255.0 * std::sin(rad));
  const int64_t Q = (int64_t)(-255.0 * std::cos(rad));
  const int64_t h = height, w = width;
  int64_t s0, k;
  if (a > 90 && !(a >= 181 && a <= 270)) {
    s0 = h;
    k = -h;
  } else {
    s0 = 0;
    k = h;
  }
  const bool forward = a <= 90 || a > 270;
  int64_t r = 0;
  if (!forward) {
    s0 = h - s0;
    r = h;
  }
  const int64_t num0 = s0 * w * S;
  const int64_t den = w * S - Q * k;
  if (den == 0) return;
  const int64_t inc = (forward ? 1 : -1) * S * k;
  const int64_t r1 = rgb1 >> 16 & 0xFF, g1 = rgb1 >> 8 & 0xFF, b1 = rgb1 & 0xFF;
  const int64_t dr = (int64_t)(rgb2 >> 16 & 0xFF) - r1, dg = (int64_t)(rgb2 >> 8 & 0xFF) - g1,
                db = (int64_t)(rgb2 & 0xFF) - b1;
  const ptrdiff_t step = (ptrdiff_t)modulo * L::kBytes;
  uint8_t *row = pixels + y * step + (ptrdiff_t)x * L::kBytes;
  for (int32_t j = 0; j < height; j++, row += step, r += forward ? 1 : -1) {
    int64_t n = num0 - r * (k * Q);
    uint8_t *p = row;
    for (int32_t i = 0; i < width; i++, p += L::kBytes, n += inc) {
      const int64_t t = n / den;
      int64_t cr = r1 + dr * t / h, cg = g1 + dg * t / h, cb = b1 + db * t / h;
      // Corners of diagonal gradients may step past the end colours.
      cr = cr < 0 ? 0 : cr > 255 ? 255 : cr;
      cg = cg < 0 ? 0 : cg > 255 ? 255 : cg;
      cb = cb < 0 ? 0 : cb > 255 ? 255 : cb;
      L::Store(p, L::FromRGB((uint32_t)(cr << 16 | cg << 8 | cb)));
    }
  }
}

void DrawGradient32(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                    uint32_t rgb2, int32_t angle, int32_t modulo, PixelFormat format) {
  WithFormat32(format, [&](auto L) {
    GradientRows<decltype(L)>(pixels, x, y, width, height, rgb1, rgb2, angle, modulo);
  });
}
void DrawGradient24(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                    uint32_t rgb2, int32_t angle, int32_t modulo, PixelFormat format) {
  WithLayout24(format, [&](auto L) {
    GradientRows<decltype(L)>(pixels, x, y, width, height, rgb1, rgb2, angle, modulo);
  });
}
void DrawGradient16(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                    uint32_t rgb2, int32_t angle, int32_t modulo, PixelFormat format) {
  WithFormat16(format, [&](auto L) {
    GradientRows<decltype(L)>(pixels, x, y, width, height, rgb1, rgb2, angle, modulo);
  });
}

// floor(16 * sqrt(i)): the integer square root of 256 i.
struct SqrtTable {
  uint16_t v[256];
  SqrtTable() {
    for (int32_t i = 0; i < 256; i++) {
      int32_t r = (int32_t)std::sqrt(256.0 * i);
      while ((r + 1) * (r + 1) <= 256 * i) r++;
      while (r * r > 256 * i) r--;
      v[i] = (uint16_t)r;
    }
  }
};
static const SqrtTable sqrtTable;

int32_t ISqrt(int32_t x) {
  if (x < 0) return -1;
  const uint16_t *t = sqrtTable.v;
  if (x < 256) return t[x] >> 4;
  int64_t r;
  int steps = 0;
  if (x < 1024) r = (t[x >> 2] >> 3) + 1;
  else if (x < 4096) r = (t[x >> 4] >> 2) + 1;
  else if (x < 16384) r = (t[x >> 6] >> 1) + 1;
  else if (x < 65536) r = t[x >> 8] + 1;
  else if (x < 0x40000) r = t[x >> 10] * 2, steps = 1;
  else if (x < 0x100000) r = t[x >> 12] * 4, steps = 1;
  else if (x < 0x400000) r = t[x >> 14] * 8, steps = 1;
  else if (x < 0x1000000) r = t[x >> 16] * 16, steps = 1;
  else if (x < 0x4000000) r = t[x >> 18] * 32, steps = 2;
  else if (x <= 0xFFFFFFF) r = t[x >> 20] * 64, steps = 2;
  else if (x < 0x40000000) r = t[x >> 22] * 128, steps = 2;
  else r = t[x >> 24] * 256, steps = 2;
  for (; steps > 0; steps--) r = (r + x / r + 1) >> 1;
  // The square is taken in 64 bits: r * r of an estimate near 46341 does not fit 32.
  if ((int64_t)x < r * r) r--;
  return (int32_t)r;
}

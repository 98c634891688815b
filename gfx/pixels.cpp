// Single-pixel conversion between the thirteen pixel formats and R, G, B.
#include "gfx/pixels.h"
#include "gfx/pixel_layout.h"

int PixelFormatBytes(PixelFormat format) {
  if (format < 0 || format >= PIXFMT_COUNT) return 0;
  if (format <= PIXFMT_BGR16SW) return 2;
  if (format <= PIXFMT_BGR24) return 3;
  return 4;
}

void ReadPixelRGB(const void *pixel, PixelFormat format, uint8_t rgb[3]) {
  const uint8_t *p = (const uint8_t *)pixel;
  WithFormat(format, [&](auto L) {
    uint32_t c = L.ToRGB(L.Load(p));
    rgb[0] = (uint8_t)(c >> 16);
    rgb[1] = (uint8_t)(c >> 8);
    rgb[2] = (uint8_t)c;
  });
}

void WritePixelRGB(void *pixel, PixelFormat format, const uint8_t rgb[3]) {
  uint8_t *p = (uint8_t *)pixel;
  uint32_t c = (uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2];
  WithFormat(format, [&](auto L) { L.Store(p, L.FromRGB(c)); });
}

uint32_t RGBToPixel(uint32_t rgb, PixelFormat format) {
  uint32_t v = 0;
  WithFormat(format, [&](auto L) { v = L.FromRGB(rgb & 0xFFFFFF); });
  return v;
}

uint32_t PixelToRGB(uint32_t value, PixelFormat format) {
  uint32_t c = 0;
  WithFormat(format, [&](auto L) { c = L.ToRGB((typename decltype(L)::Raw)value); });
  return c;
}

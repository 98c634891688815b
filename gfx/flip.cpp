// Flip of a picture with its mask and alpha channel, one kernel for every
// pixel size.
#include "gfx/kernels.h"
#include <cstring>

static void SwapBytes(uint8_t *a, uint8_t *b, size_t n) {
  for (size_t i = 0; i < n; i++) {
    const uint8_t t = a[i];
    a[i] = b[i];
    b[i] = t;
  }
}

void FlipPixels(const FlipRecord *rec) {
  const int32_t w = rec->width, h = rec->height, bpp = rec->bytesPerPixel;
  if (w <= 0 || h <= 0 || (bpp != 2 && bpp != 3 && bpp != 4)) return;
  const ptrdiff_t step = (ptrdiff_t)rec->modulo * bpp;
  if (rec->direction == 0) {
    for (int32_t i = 0; i < h / 2; i++) {
      const int32_t o = h - 1 - i;
      if (rec->pixels) SwapBytes(rec->pixels + i * step, rec->pixels + o * step, (size_t)w * bpp);
      if (rec->mask)
        SwapBytes(rec->mask + (ptrdiff_t)i * rec->maskBytesPerRow, rec->mask + (ptrdiff_t)o * rec->maskBytesPerRow,
                  (size_t)rec->maskBytesPerRow);
      if (rec->alpha)
        SwapBytes(rec->alpha + (ptrdiff_t)i * rec->alphaBytesPerRow,
                  rec->alpha + (ptrdiff_t)o * rec->alphaBytesPerRow, (size_t)w);
    }
    return;
  }
  for (int32_t j = 0; j < h; j++) {
    if (rec->pixels) {
      uint8_t *row = rec->pixels + j * step;
      for (int32_t x = 0; x < w / 2; x++) SwapBytes(row + x * bpp, row + (w - 1 - x) * bpp, (size_t)bpp);
    }
    if (rec->alpha) {
      uint8_t *row = rec->alpha + (ptrdiff_t)j * rec->alphaBytesPerRow;
      for (int32_t x = 0; x < w / 2; x++) SwapBytes(row + x, row + (w - 1 - x), 1);
    }
    if (rec->mask && rec->scratch) {
      uint8_t *row = rec->mask + (ptrdiff_t)j * rec->maskBytesPerRow;
      memcpy(rec->scratch, row, (size_t)rec->maskBytesPerRow);
      // Bit x takes bit w - 1 - x of the copy; bits after the last pixel stay.
      for (int32_t x = 0; x < w; x++) PutMaskRowBit(row, x, MaskRowBit(rec->scratch, w - 1 - x));
    }
  }
}

// Composition of anti-aliased coverage into a shape picture.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"

// Puts the colour 0xRRGGBB (or the pixels of `fill`, addressed like the coverage) over the
// 32-bit image at (dx, dy) through the coverage scaled by level / 255, keeping the image's
// alpha channel as the straight-alpha "over" of the two: a later call lies on top of an
// earlier one. Parts outside the image are skipped. first: nothing has been drawn into the
// rectangle yet (its alpha is 0), so it is written instead of mixed.
void ComposeCoverage(BitMap *image, AlphaChannel *imageAlpha, int32_t dx, int32_t dy, const uint8_t *coverage,
                     int32_t coverageStride, int32_t width, int32_t height, uint32_t rgb, const BitMap *fill,
                     int32_t level, int first);

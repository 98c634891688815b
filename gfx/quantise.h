// Colour quantiser: reduces a picture of any pixel format to at most 256 colours by median cut
// over a 5-6-5-bit histogram, mapping pixels to the nearest palette colour or with
// error-limited Floyd-Steinberg dithering in serpentine order.
#pragma once
#include <cstdint>
#include "gfx/pixels.h"

// pixels: rows rowLength pixels apart, bytesPerPixel each, in `format`. indexOut receives width x
// height palette indices (rows packed), paletteOut up to 256 words 0xRRGGBB. count: in the
// colours wanted, out the colours produced. transparentRgb: a colour kept out of the palette
// search with a slot of its own after the others, or -1. reserve: keep that slot even without a
// transparent colour (it is black then). Returns 1, or 0 when working memory can't be had.
int QuantizeBitMap(const uint8_t *pixels, PixelFormat format, int32_t bytesPerPixel, int32_t width, int32_t height,
                   int32_t rowLength, uint8_t *indexOut, uint32_t *paletteOut, int32_t *count,
                   int32_t transparentRgb, int reserve, int dither);

// Putting one rendered FreeType glyph bitmap into a target: a BitMap in a colour, or coverage
// into a Mask or an AlphaChannel. Shared by the outline engines.
#pragma once
#include <cstdint>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "text/font.h"

// Draws the glyph bitmap with its top left at (x, y), clipped to clip and the target's size.
// colour -1: coverage (an alpha target when the bitmap is 8-bit, else a mask target).
void DrawGlyphBitmap(const FT_Bitmap *bitmap, void *target, int32_t x, int32_t y, const FontClip *clip,
                     int32_t colour);
// The rendering mode of a style: 8-bit coverage with TEXTSTYLE_ANTIALIAS, else 1 bit.
inline FT_Render_Mode GlyphRenderMode(int32_t style)
{
    return (style & TEXTSTYLE_ANTIALIAS) ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
}

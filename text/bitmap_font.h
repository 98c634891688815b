// Disk bitmap fonts (kinds 1 and 2): a contents file NAME.font listing the sizes, and one size
// file per size holding a TextFont (or ColorTextFont) in a hunk file; all numbers big-endian.
// Also the built-in 8x8 font "topaz".
#pragma once
#include <cstdint>

#include "text/font.h"

enum { TOPAZ_MODULO = 192, TOPAZ_GLYPH_COUNT = 225 };
// The built-in font's glyph strip (8 rows of TOPAZ_MODULO bytes) and locations.
extern const uint8_t TopazGlyphData[TOPAZ_MODULO * 8];
extern const uint32_t TopazLocations[TOPAZ_GLYPH_COUNT];

// TextFont flags and style bits.
enum { BITMAPFONT_PROPORTIONAL = 0x20, BITMAPFONT_COLOUR = 64 };
// Colour of index 0 (transparent) in a colour font's glyph picture.
enum { BITMAPFONT_KEY_COLOUR = 0xEEE6D2 };

// The engine data of a kind 1 or 2 font.
struct BitmapFontGlyphs {
    int32_t ySize;
    int32_t style;
    int32_t flags;
    int32_t xSize;
    int32_t baseline;
    int32_t boldSmear, accessors;
    int32_t lowChar, highChar;
    uint8_t *glyphData;         // ySize rows of modulo bytes (kind 1)
    int32_t modulo;
    uint32_t *locations;        // bit offset << 16 | width, per glyph
    int16_t *spacing;           // per glyph, or none
    int16_t *kerning;           // per glyph, or none
    int32_t glyphCount;         // highChar - lowChar + 2
    Mask *glyphMask;            // wraps glyphData
    int32_t staticData;         // 1: glyphData and locations are the program's tables
};

// Loads the size `size` of a disk font (a path or a ":::chunk" name) into the handle. 1, or 0
// when it cannot (the caller tries the other engines).
int LoadBitmapFont(const char *name, int32_t size, FontHandle *font);
int BitmapFontTextLength(FontHandle *font, const char *text, int32_t length, int32_t style, int32_t encoding,
                         TextMetrics *metrics);
int RenderBitmapFontText(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text,
                         int32_t length, int32_t style, int32_t encoding, const FontClip *clip, int32_t colour);
// Frees what LoadBitmapFont made (not the handle).
void CloseBitmapFont(FontHandle *font);
// Finds the contents file of a font name: NAME(.font), then Fonts/NAME(.font). 1 with the path.
int FindBitmapFontFile(const char *name, char *path, size_t size);

// The built-in font: 0 with *result, or 1000.
int MakeBuiltinFont(FontHandle **result);
void FreeBitmapFont(FontHandle *font);

// The glyph of a character code: code - low inside low..high, else the last glyph.
inline int32_t BitmapFontGlyphIndex(const BitmapFontGlyphs *g, uint32_t code)
{
    if ((int64_t)code >= g->lowChar && (int64_t)code <= g->highChar) return (int32_t)code - g->lowChar;
    return g->glyphCount - 1;
}

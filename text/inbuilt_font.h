// The inbuilt outline font engine (kind 4): TrueType and OpenType faces read through the file
// layer (or from the compiled-in default fonts) and rasterised by FreeType; sizing, glyph caches,
// kerning, the measure prefix cache and drawing are ours.
#pragma once
#include <cstdint>

#include "text/font.h"

// 0, or 1386 when FreeType can't start.
int InitFreeTypeEngine(void);
void FreeTypeShutdown(void);
// 1 when the font was opened into the handle, else 0.
int OpenInbuiltFont(const char *name, int32_t pixelSize, int32_t cacheFlag, FontHandle *font);
void CloseInbuiltFont(FontHandle *font);
void FreeInbuiltGlyphCache(FontHandle *font);
void SetInbuiltFontScale(FontHandle *font, double xScale, double yScale);
int MeasureInbuiltText(FontHandle *font, const char *text, int32_t length, int32_t style, int utf8,
                       TextMetrics *metrics);
int RenderInbuiltText(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text,
                      int32_t length, int32_t style, int utf8, const FontClip *clip, int32_t colour);

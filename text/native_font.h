// The native text engine (kind 3): faces installed on the system, found by their full name through
// fontconfig (no substitutes), or font files linked into the applet; shaped by HarfBuzz and
// rendered by FreeType (with its own embolden and oblique).
#pragma once
#include <cstdint>

#include "text/font.h"

enum { NATIVE_TEXT_LIMIT = 16383 };

// 0, or 1386 when FreeType can't start.
int InitNativeFontEngine(void);
void OsFontCleanup(void);
// 1 when the font was opened into the handle, else 0.
int OsOpenFont(const char *name, int32_t pixelSize, int32_t flags, FontHandle *font);
void OsCloseFont(FontHandle *font);
// 0, 1066 (text longer than 16383 bytes), 1304 (FreeType or HarfBuzz failed).
int OsTextExtent(FontHandle *font, const char *text, int32_t length, int32_t style, int utf8, TextMetrics *metrics);
int OsRenderText(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text, int32_t length,
                 int32_t style, int utf8, const FontClip *clip, int32_t colour);
// Which style bits the engine draws itself: bold and italic (underline is the run renderer's).
int OsNativeFontQuery(int32_t styleBit);
void OsSetFontScale(FontHandle *font, double xScale, double yScale);

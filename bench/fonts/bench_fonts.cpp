// Drawing a 60-character line in the default sans font at 24 pixels, anti-aliased, with
// RenderFontRun into a bitmap, glyph cache on and off; the reference is FreeType's own
// FT_Load_Glyph + FT_Render_Glyph loop over the same characters in the same run. Targets: cached
// at least 4 times, uncached at least 0.8 times the reference's glyphs per second.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>

#include "bench/bench_timing.h"
#include "gfx/bitmap.h"
#include "text/default_fonts.h"
#include "text/font.h"

namespace {

const char kLine[] = "The quick brown fox jumps over the lazy dog 0123456789 !?&%$";

}  // namespace

int main()
{
    const int length = (int)strlen(kLine);
    if (InitFontSystem(nullptr) != 0) return 1;
    FontHandle *cached = nullptr, *uncached = nullptr;
    if (OpenCachedFont(":::default_sans", 24, FONTENGINE_INBUILT, 1, 0, &cached) != 0 ||
        OpenCachedFont(":::default_sans", 24, FONTENGINE_INBUILT, 0, 0, &uncached) != 0)
        return 1;
    BitMap *bm = AllocBitMap(1024, 32);
    FontClip clip = {0, 0, 1024, 32};

    FT_Library lib;
    FT_Face face;
    const DefaultFont &sans = DefaultFonts[0];
    if (FT_Init_FreeType(&lib) || FT_New_Memory_Face(lib, sans.data, sans.length, 0, &face)) return 1;
    FT_Set_Pixel_Sizes(face, 0, 24);
    FT_UInt indexes[64];
    for (int i = 0; i < length; i++) indexes[i] = FT_Get_Char_Index(face, (unsigned char)kLine[i]);

    double reference = BenchBestTime([&] {
        for (int i = 0; i < length; i++) {
            FT_Load_Glyph(face, indexes[i], FT_LOAD_NO_AUTOHINT);
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
        }
    }, 2000, 0.3, 5);
    double withCache = BenchBestTime([&] {
        RenderFontRun(cached, bm, nullptr, 0, 0, kLine, length, TEXTSTYLE_ANTIALIAS, 0, &clip, 0x102030);
    }, 2000, 0.3, 5);
    double withoutCache = BenchBestTime([&] {
        RenderFontRun(uncached, bm, nullptr, 0, 0, kLine, length, TEXTSTYLE_ANTIALIAS, 0, &clip, 0x102030);
    }, 2000, 0.3, 5);
    auto rate = [&](double seconds) { return length / seconds; };
    printf("%-34s %14s %8s\n", "60 characters, 24 px, anti-aliased", "glyphs/s", "ratio");
    printf("%-34s %14.0f %8.2f\n", "reference: FT_Load + FT_Render", rate(reference), 1.0);
    printf("%-34s %14.0f %8.2f   (target >= 4)\n", "RenderFontRun, glyph cache on", rate(withCache),
           reference / withCache);
    printf("%-34s %14.0f %8.2f   (target >= 0.8)\n", "RenderFontRun, glyph cache off", rate(withoutCache),
           reference / withoutCache);
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    FreeBitMap(bm);
    FreeFontCache();
    FontSystemCleanup();
    return 0;
}

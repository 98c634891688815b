// Disk bitmap fonts from untrusted bytes: the first byte chooses whether the rest is the size file
// (behind a fixed contents file) or the contents file (naming a fixed valid size file); a font
// that loads is measured and drawn in every output kind.
#include <unistd.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "gfx/bitmap.h"
#include "runtime/memory.h"
#include "tests/text/font_fixtures.h"
#include "text/bitmap_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > (1u << 20)) return 0;
    static std::string dir;
    if (dir.empty()) {
        char tmp[] = "/tmp/fuzzfontXXXXXX";
        dir = mkdtemp(tmp);
        mkdir((dir + "/f").c_str(), 0755);
    }
    fontfix::Bytes rest(data + 1, data + size);
    if (data[0] & 1) {
        fontfix::WriteFile(dir + "/f.font", rest);
        fontfix::WriteFile(dir + "/f/8", fontfix::SizeFile(fontfix::ProportionalFont()));
    } else {
        fontfix::WriteFile(dir + "/f.font", fontfix::ContentsFile(0x0f00, {{"f/8", 8}}));
        fontfix::WriteFile(dir + "/f/8", rest);
    }
    FontHandle *font = (FontHandle *)MemAlloc(sizeof(FontHandle), 1);
    if (LoadBitmapFont((dir + "/f").c_str(), 8, font)) {
        std::string text;
        for (int c = 0; c < 256; c++) text += (char)c;
        TextMetrics m;
        BitmapFontTextLength(font, text.data(), (int32_t)text.size(), 0, 0, &m);
        BitMap *bm = AllocBitMap(64, 16);
        Mask *mask = AllocMask(nullptr, 64, 16, 1);
        AlphaChannel *alpha = AllocAlphaChannel(64, 16, 1);
        FontClip clip = {0, 0, 64, 16};
        RenderBitmapFontText(font, bm, nullptr, -3, -2, text.data(), (int32_t)text.size(), 0, 0, &clip, 0xFF00FF);
        RenderBitmapFontText(font, mask, bm, 2, 1, text.data(), (int32_t)text.size(), 0, 0, &clip, -1);
        RenderBitmapFontText(font, alpha, bm, 2, 1, text.data(), (int32_t)text.size(), TEXTSTYLE_ANTIALIAS, 0, &clip,
                             -1);
        FreeBitMap(bm);
        FreeMask(mask);
        FreeAlphaChannel(alpha);
    }
    CloseBitmapFont(font);
    MemFree(font);
    return 0;
}

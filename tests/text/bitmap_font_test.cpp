// Disk bitmap fonts and the built-in font: measuring and drawing with spacing and kerning, colour
// fonts, contents-file rules, and damaged files, which must simply be no font.
#include <gtest/gtest.h>

#include <string>

#include "gfx/bitmap.h"
#include "runtime/memory.h"
#include "tests/text/font_fixtures.h"
#include "text/bitmap_font.h"

namespace {

using namespace fontfix;

std::string Folder()
{
    static std::string dir = std::string(KV_BINARY_DIR) + "/test-fonts-bitmap";
    mkdir(dir.c_str(), 0755);
    return dir;
}

FontHandle *NewHandle()
{
    FontHandle *f = (FontHandle *)MemAlloc(sizeof(FontHandle), 1);
    f->xScale = f->yScale = 1.0;
    return f;
}

void Close(FontHandle *f)
{
    CloseBitmapFont(f);
    MemFree(f);
}

// Which columns of row `row` differ from the background.
std::string Columns(const BitMap *bm, int row, uint32_t background)
{
    std::string s;
    for (int x = 0; x < bm->width; x++) s += ReadBitMapPixel(bm, x, row, 0) != background ? '#' : '.';
    return s;
}

BitMap *Canvas(int w, int h, uint32_t colour)
{
    BitMap *bm = AllocBitMap(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) WriteBitMapPixel(bm, x, y, colour, 0);
    return bm;
}

TEST(DiskFont, SpacingAndKerningPlaceAndMeasureGlyphs)
{
    ASSERT_TRUE(WriteDiskFont(Folder(), "prop", {8}, ProportionalFont()));
    FontHandle *f = NewHandle();
    ASSERT_EQ(1, LoadBitmapFont((Folder() + "/prop").c_str(), 8, f));
    EXPECT_EQ(FONTKIND_BITMAP, f->kind);
    EXPECT_STREQ("prop", f->name);
    EXPECT_EQ(8, f->lineHeight);
    EXPECT_EQ(6, f->baseline);

    TextMetrics m = {};
    BitmapFontTextLength(f, "ABC", 3, 0, 0, &m);
    EXPECT_EQ(12, m.advance);     // 4 + 3 + 5
    EXPECT_EQ(-1, m.inkLeft);     // A kerns one pixel left of the pen
    EXPECT_EQ(11, m.inkRight);    // the pen ends at 12
    EXPECT_EQ(-6, m.inkTop);
    EXPECT_EQ(1, m.inkBottom);
    BitmapFontTextLength(f, "", 0, 0, 0, &m);
    EXPECT_EQ(-1, m.inkRight);

    BitMap *bm = Canvas(20, 8, 0);
    FontClip clip = {0, 0, 20, 8};
    RenderBitmapFontText(f, bm, nullptr, 5, 0, "ABC", 3, 0, 0, &clip, 0xFFFFFF);
    EXPECT_EQ("....###.##..####....", Columns(bm, 3, 0));
    // A character outside A..C draws the last glyph (2 wide) and advances by its spacing.
    BitmapFontTextLength(f, "Z", 1, 0, 0, &m);
    EXPECT_EQ(3, m.advance);
    // Clipping cuts glyphs at the clip rectangle's edges.
    BitMap *clipped = Canvas(20, 8, 0);
    FontClip narrow = {6, 2, 4, 3};
    RenderBitmapFontText(f, clipped, nullptr, 5, 0, "ABC", 3, 0, 0, &narrow, 0xFFFFFF);
    EXPECT_EQ("......#.##..........", Columns(clipped, 3, 0));
    EXPECT_EQ("....................", Columns(clipped, 1, 0));
    FreeBitMap(bm);
    FreeBitMap(clipped);
    Close(f);
}

TEST(DiskFont, ColourFontKeepsIndexZeroTransparent)
{
    ASSERT_TRUE(WriteDiskFont(Folder(), "colour", {4}, ColourFont()));
    FontHandle *f = NewHandle();
    ASSERT_EQ(1, LoadBitmapFont((Folder() + "/colour.font").c_str(), 4, f));
    EXPECT_EQ(FONTKIND_COLOURBITMAP, f->kind);
    BitMap *bm = Canvas(12, 4, 0x123456);
    FontClip clip = {0, 0, 12, 4};
    // A (index 1, red), B (index 2, green), Z = the last glyph (index 0 everywhere: white in the
    // colour table, but transparent).
    RenderBitmapFontText(f, bm, nullptr, 0, 0, "ABZ", 3, 0, 0, &clip, 0xFFFFFF);
    EXPECT_EQ(0xFF0000u, ReadBitMapPixel(bm, 1, 1, 0));
    EXPECT_EQ(0x00FF00u, ReadBitMapPixel(bm, 5, 1, 0));
    EXPECT_EQ(0x123456u, ReadBitMapPixel(bm, 9, 1, 0));

    // Coverage: the glyph mask goes into the plane, the picture into the second target.
    Mask *plane = AllocMask(nullptr, 12, 4, 1);
    BitMap *picture = Canvas(12, 4, 0);
    RenderBitmapFontText(f, plane, picture, 0, 0, "ABZ", 3, 0, 0, &clip, -1);
    EXPECT_EQ(1u, ReadBitMapPixel(plane, 1, 1, 1));
    EXPECT_EQ(1u, ReadBitMapPixel(plane, 5, 1, 1));
    EXPECT_EQ(0u, ReadBitMapPixel(plane, 9, 1, 1));
    EXPECT_EQ(0x00FF00u, ReadBitMapPixel(picture, 5, 1, 0));
    FreeMask(plane);
    FreeBitMap(picture);
    FreeBitMap(bm);
    Close(f);
}

TEST(DiskFont, ContentsFileRules)
{
    std::string dir = Folder();
    DiskFont font = ProportionalFont();
    ASSERT_TRUE(WriteFile(dir + "/sizes/8", SizeFile(font)) || (mkdir((dir + "/sizes").c_str(), 0755) == 0 &&
                                                                WriteFile(dir + "/sizes/8", SizeFile(font))));
    struct Case {
        const char *name;
        uint32_t id;
        std::vector<std::pair<std::string, int>> entries;
        int size, opens;
    } cases[] = {
        {"plain", 0x0f00, {{"sizes/8", 8}}, 8, 1},
        {"id0f02", 0x0f02, {{"sizes/8", 8}}, 8, 1},
        {"badid", 0x0f01, {{"sizes/8", 8}}, 8, 0},
        {"otherSize", 0x0f00, {{"sizes/8", 8}}, 9, 0},
        {"incomplete", 0x0f00, {{"::incomplete", 8}}, 8, 0},
        {"incompleteFirst", 0x0f00, {{"::incomplete", 8}, {"sizes/8", 8}}, 8, 1},
        {"missingSizeFile", 0x0f00, {{"sizes/99", 8}}, 8, 0},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(WriteFile(dir + "/" + c.name + ".font", ContentsFile(c.id, c.entries)));
        FontHandle *f = NewHandle();
        EXPECT_EQ(c.opens, LoadBitmapFont((dir + "/" + c.name).c_str(), c.size, f)) << c.name;
        Close(f);
    }
}

TEST(DiskFont, DamagedSizeFilesAreNoFont)
{
    std::string dir = Folder();
    mkdir((dir + "/bad").c_str(), 0755);
    ASSERT_TRUE(WriteFile(dir + "/bad.font", ContentsFile(0x0f00, {{"bad/8", 8}})));
    const Bytes good = SizeFile(ProportionalFont());
    auto opens = [&](const Bytes &file) {
        EXPECT_TRUE(WriteFile(dir + "/bad/8", file));
        FontHandle *f = NewHandle();
        int ok = LoadBitmapFont((dir + "/bad").c_str(), 8, f);
        if (ok) {   // whatever loaded must be safe to draw
            BitMap *bm = Canvas(64, 16, 0);
            FontClip clip = {0, 0, 64, 16};
            RenderBitmapFontText(f, bm, nullptr, 0, 0, "ABCZ", 4, 0, 0, &clip, 0xFFFFFF);
            FreeBitMap(bm);
        }
        Close(f);
        return ok;
    };
    EXPECT_EQ(1, opens(good));
    // Every truncation.
    for (size_t n = 0; n < good.size(); n++) EXPECT_EQ(0, opens(Bytes(good.begin(), good.begin() + (long)n))) << n;

    struct Patch {
        const char *what;
        size_t at;
        int width;
        uint32_t value;
    } patches[] = {
        {"file id", 50, 2, 0x0f81},
        {"y size 0", 110, 2, 0},
        {"modulo 0", 128, 2, 0},
        {"high below low", 123, 1, 'A' - 1},
        {"glyph data pointer beyond the file", 124, 4, 0xFFFFFFF0},
        {"location pointer beyond the file", 130, 4, 0x7FFFFFFF},
        {"spacing pointer beyond the file", 134, 4, 0xFFFFFFFF},
        {"kerning pointer beyond the file", 138, 4, (uint32_t)good.size()},
        {"y size larger than the strip", 110, 2, 0xFFFF},
    };
    for (const Patch &p : patches) {
        Bytes bad = good;
        if (p.width == 1) bad[p.at] = (uint8_t)p.value;
        else if (p.width == 2) Set16(bad, p.at, p.value);
        else Set32(bad, p.at, p.value);
        EXPECT_EQ(0, opens(bad)) << p.what;
    }
    // A location reaching beyond the strip.
    DiskFont wide = ProportionalFont();
    wide.locations[2] = 14u << 16 | 3;
    EXPECT_EQ(0, opens(SizeFile(wide)));
    // A colour font whose plane pointer leaves the file.
    DiskFont colour = ColourFont();
    Bytes colourFile = SizeFile(colour);
    Set32(colourFile, 158, 0x00FFFFFF);
    ASSERT_TRUE(WriteFile(dir + "/bad.font", ContentsFile(0x0f00, {{"bad/4", 4}})));
    ASSERT_TRUE(WriteFile(dir + "/bad/4", colourFile));
    FontHandle *f = NewHandle();
    EXPECT_EQ(0, LoadBitmapFont((dir + "/bad").c_str(), 4, f));
    Close(f);
    // A colour font without planes and a strip of 65535 x 65535 bytes would be a 32-gigapixel
    // picture backed by no data.
    colour.planePick = 0;
    colour.planes.clear();
    colourFile = SizeFile(colour);
    Set16(colourFile, 110, 0xFFFF);
    Set16(colourFile, 128, 0xFFFF);
    ASSERT_TRUE(WriteFile(dir + "/bad/4", colourFile));
    f = NewHandle();
    EXPECT_EQ(0, LoadBitmapFont((dir + "/bad").c_str(), 4, f));
    Close(f);
}

TEST(BuiltinFont, TopazIsEightByEightWithBaselineSix)
{
    FontHandle *topaz;
    ASSERT_EQ(0, MakeBuiltinFont(&topaz));
    EXPECT_STREQ("topaz", topaz->name);
    EXPECT_EQ(8, topaz->size);
    EXPECT_EQ(8, topaz->lineHeight);
    EXPECT_EQ(6, topaz->baseline);
    EXPECT_EQ(0, topaz->scalable);
    std::string all;
    for (int c = 1; c < 256; c++) all += (char)c;
    TextMetrics m = {};
    BitmapFontTextLength(topaz, all.data(), (int32_t)all.size(), 0, 0, &m);
    EXPECT_EQ(255 * 8, m.advance);
    EXPECT_EQ(8, m.lineHeight);
    EXPECT_EQ(-6, m.inkTop);
    EXPECT_EQ(1, m.inkBottom);

    // Characters below 32 and, in UTF-8, above 255 draw the last glyph.
    auto draw = [&](const char *text, int encoding) {
        BitMap *bm = Canvas(8, 8, 0);
        FontClip clip = {0, 0, 8, 8};
        RenderBitmapFontText(topaz, bm, nullptr, 0, 0, text, (int32_t)strlen(text), 0, encoding, &clip, 0xFFFFFF);
        std::string rows;
        for (int y = 0; y < 8; y++) rows += Columns(bm, y, 0) + "\n";
        FreeBitMap(bm);
        return rows;
    };
    std::string last = draw("\x01", 0);
    EXPECT_NE(std::string(64 + 8, '.').substr(0, 72), last);
    EXPECT_EQ(last, draw("\x1f", 0));
    EXPECT_EQ(last, draw("\xc4\x80", 1));   // U+0100
    EXPECT_NE(last, draw("A", 0));
    EXPECT_NE(draw("A", 0), draw("\xc1", 0));   // Latin-1 A acute has a glyph of its own
    EXPECT_EQ(draw("\xc1", 0), draw("\xc3\x81", 1));
    FreeBitmapFont(topaz);
}

}  // namespace

// The two outline engines: sizing, measuring (the prefix cache must never change a result),
// scaling, coverage output, the native engine's lookup and limits; and a preview picture of
// every engine in mono, anti-aliased, bold and oblique.
#include <gtest/gtest.h>

#include <string>

#include "gfx/bitmap.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "tests/text/font_fixtures.h"
#include "text/font.h"
#include "text/inbuilt_font.h"
#include "text/native_font.h"

namespace {

using namespace fontfix;

class OutlineFonts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        UseTestFontFolder(KV_BINARY_DIR, "outline");
        ASSERT_EQ(0, InitFontSystem(nullptr));
    }
    static void TearDownTestSuite()
    {
        FreeFontCache();
        FontSystemCleanup();
    }
    static FontHandle *Open(const char *name, int size, int engine)
    {
        FontHandle *font = nullptr;
        return OpenCachedFont(name, size, engine, 1, 0, &font) == 0 ? font : nullptr;
    }
    static TextMetrics Measure(FontHandle *f, const std::string &text, int style, int encoding = 0)
    {
        TextMetrics m = {};
        EXPECT_EQ(0, MeasureFontRun(f, text.data(), (int32_t)text.size(), style, encoding, &m));
        return m;
    }
    // A measurement with the prefix cache holding an unrelated text.
    static TextMetrics Fresh(FontHandle *f, const std::string &text, int style)
    {
        Measure(f, "\x01", style);
        return Measure(f, text, style);
    }
};

void ExpectSameMetrics(const TextMetrics &a, const TextMetrics &b, const std::string &what)
{
    EXPECT_EQ(a.advance, b.advance) << what;
    EXPECT_EQ(a.lineHeight, b.lineHeight) << what;
    EXPECT_EQ(a.inkLeft, b.inkLeft) << what;
    EXPECT_EQ(a.inkTop, b.inkTop) << what;
    EXPECT_EQ(a.inkRight, b.inkRight) << what;
    EXPECT_EQ(a.inkBottom, b.inkBottom) << what;
}

TEST_F(OutlineFonts, InbuiltSizingAndName)
{
    FontHandle *sans = Open(":::default_sans", 20, FONTENGINE_INBUILT);
    ASSERT_NE(nullptr, sans);
    EXPECT_EQ(20, sans->lineHeight);
    EXPECT_EQ(20, sans->unscaledLineHeight);
    EXPECT_STREQ("Bitstream Vera Sans", sans->name);
    EXPECT_EQ(1, sans->scalable);
    EXPECT_EQ(1, sans->antiAlias);
    EXPECT_GT(sans->baseline, 10);
    EXPECT_LT(sans->baseline, 20);
    // A space advances but leaves no ink.
    TextMetrics space = Measure(sans, "   ", 0);
    EXPECT_GT(space.advance, 0);
    EXPECT_EQ(0, space.inkLeft);
    EXPECT_EQ(0, space.inkRight);
    EXPECT_EQ(0, space.inkTop);
    EXPECT_EQ(0, space.inkBottom);
}

TEST_F(OutlineFonts, PrefixCacheNeverChangesAMeasurement)
{
    FontHandle *sans = Open(":::default_sans", 24, FONTENGINE_INBUILT);
    ASSERT_NE(nullptr, sans);
    // The face kerns A and V: the seam of the prefix cache falls right between them below.
    TextMetrics a = Fresh(sans, "A", 0), v = Fresh(sans, "V", 0), av = Fresh(sans, "AV", 0);
    ASSERT_LT(av.advance, a.advance + v.advance);

    const char *pairs[][2] = {{"Hello", "Hello World"}, {"A", "AV"}, {"T", "To"}, {"Wa", "Wave"},
                              {"\xc3", "\xc3\xa9t\xc3\xa9"}};
    const int styles[] = {0, TEXTSTYLE_ANTIALIAS, TEXTSTYLE_BOLD, TEXTSTYLE_BOLD | TEXTSTYLE_ANTIALIAS,
                          TEXTSTYLE_ITALIC};
    const double scales[] = {1.0, 1.5, 2.0};
    for (double scale : scales) {
        SetFontScale(sans, scale, scale);
        for (int style : styles) {
            for (int encoding = 0; encoding < 2; encoding++) {
                for (auto &p : pairs) {
                    TextMetrics fresh = Fresh(sans, p[1], style);
                    Measure(sans, p[0], style, encoding);
                    TextMetrics resumed = Measure(sans, p[1], style, encoding);
                    if (encoding == 0) ExpectSameMetrics(fresh, resumed, std::string(p[1]) + " scale " +
                                                                             std::to_string(scale));
                    Measure(sans, "\x01", style, encoding);
                    TextMetrics freshEnc = Measure(sans, p[1], style, encoding);
                    ExpectSameMetrics(freshEnc, resumed, std::string(p[1]) + " enc " + std::to_string(encoding));
                }
            }
        }
    }
    // Scaling empties the cache: a scale-1 prefix is not reused at scale 2.
    SetFontScale(sans, 1.0, 1.0);
    TextMetrics one = Fresh(sans, "Hello World", 0);
    Measure(sans, "Hello", 0);
    SetFontScale(sans, 2.0, 2.0);
    TextMetrics two = Measure(sans, "Hello World", 0);
    EXPECT_EQ(48, sans->lineHeight);
    EXPECT_NEAR(2.0 * one.advance, two.advance, 11);
    ExpectSameMetrics(Fresh(sans, "Hello World", 0), two, "scaled");
    SetFontScale(sans, 1.0, 1.0);
}

TEST_F(OutlineFonts, CoverageOutput)
{
    for (int engine : {FONTENGINE_INBUILT, FONTENGINE_NATIVE}) {
        FontHandle *f = Open(engine == FONTENGINE_INBUILT ? ":::default_sans" : KV_TEST_SANS " Regular", 24, engine);
        ASSERT_NE(nullptr, f) << engine;
        FontClip clip = {0, 0, 100, 30};
        Mask *mask = AllocMask(nullptr, 100, 30, 1);
        AlphaChannel *alpha = AllocAlphaChannel(100, 30, 1);
        ASSERT_EQ(0, RenderFontRun(f, mask, nullptr, 2, 0, "Wax", 3, 0, 0, &clip, -1));
        ASSERT_EQ(0, RenderFontRun(f, alpha, nullptr, 2, 0, "Wax", 3, TEXTSTYLE_ANTIALIAS, 0, &clip, -1));
        int bits = 0, partial = 0, full = 0;
        for (int y = 0; y < 30; y++) {
            for (int x = 0; x < 100; x++) {
                bits += (int)ReadBitMapPixel(mask, x, y, 1);
                uint8_t a = alpha->pixels[y * alpha->bytesPerRow + x];
                partial += a > 0 && a < 255;
                full += a == 255;
            }
        }
        EXPECT_GT(bits, 50) << engine;
        EXPECT_GT(partial, 20) << engine;
        EXPECT_GT(full, 20) << engine;
        FreeMask(mask);
        FreeAlphaChannel(alpha);
    }
}

TEST_F(OutlineFonts, NativeEngineLookupAndLimits)
{
    FontHandle *f = Open(KV_TEST_SANS " regular", 30, FONTENGINE_NATIVE);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(FONTKIND_NATIVE, f->kind);
    EXPECT_STREQ(KV_TEST_SANS " Regular", f->name);
    EXPECT_NEAR(30, f->lineHeight, 1);
    EXPECT_GT(f->baseline, 20);
    // No substitutes: an unknown name is no font.
    FontHandle *none = nullptr;
    EXPECT_EQ(1064, OpenCachedFont("Kestrel Nothing", 30, FONTENGINE_NATIVE, 1, 0, &none));

    std::string longText(16384, 'x');
    TextMetrics m = {};
    EXPECT_EQ(1066, MeasureFontRun(f, longText.data(), 16384, 0, 0, &m));
    EXPECT_EQ(0, MeasureFontRun(f, longText.data(), 16383, 0, 0, &m));
    EXPECT_GT(m.advance, 16383 * 5);
    // Invalid UTF-8 is measured as "?".
    ExpectSameMetrics(Measure(f, "a?b", 0, 1), Measure(f, "a\xff" "b", 0, 1), "invalid utf-8");
    // Scale 2 in x doubles the advance.
    TextMetrics one = Measure(f, "Hello World", 0);
    SetFontScale(f, 2.0, 1.0);
    TextMetrics two = Measure(f, "Hello World", 0);
    SetFontScale(f, 1.0, 1.0);
    EXPECT_NEAR(2.0 * one.advance, two.advance, 2);
}

// Every engine in mono, anti-aliased, bold and oblique, one line each, into one picture.
TEST_F(OutlineFonts, SamplePicture)
{
    struct Line {
        const char *font;
        int engine, style;
        const char *label;
    } lines[] = {
        {"topaz", FONTENGINE_NATIVE, 0, "built-in topaz 8"},
        {":::default_sans", FONTENGINE_INBUILT, 0, "inbuilt mono"},
        {":::default_sans", FONTENGINE_INBUILT, TEXTSTYLE_ANTIALIAS, "inbuilt anti-aliased"},
        {":::default_sans", FONTENGINE_INBUILT, TEXTSTYLE_ANTIALIAS | TEXTSTYLE_BOLD, "inbuilt bold"},
        {":::default_sans", FONTENGINE_INBUILT, TEXTSTYLE_ANTIALIAS | TEXTSTYLE_ITALIC, "inbuilt oblique"},
        {KV_TEST_SANS " Regular", FONTENGINE_NATIVE, 0, "native mono"},
        {KV_TEST_SANS " Regular", FONTENGINE_NATIVE, TEXTSTYLE_ANTIALIAS, "native anti-aliased"},
        {KV_TEST_SANS " Regular", FONTENGINE_NATIVE, TEXTSTYLE_ANTIALIAS | TEXTSTYLE_BOLD, "native bold"},
        {KV_TEST_SANS " Regular", FONTENGINE_NATIVE, TEXTSTYLE_ANTIALIAS | TEXTSTYLE_ITALIC, "native oblique"},
    };
    const int width = 560, lineHeight = 32, height = lineHeight * (int)(sizeof lines / sizeof lines[0]);
    BitMap *bm = AllocBitMap(width, height);
    ASSERT_NE(nullptr, bm);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) WriteBitMapPixel(bm, x, y, 0xFFFFFF, 0);
    int row = 0;
    for (const Line &l : lines) {
        FontHandle *f = Open(l.font, l.engine == FONTENGINE_NATIVE && strcmp(l.font, "topaz") == 0 ? 8 : 24, l.engine);
        ASSERT_NE(nullptr, f) << l.label;
        std::string text = std::string(l.label) + ": Quick brown fox, AV Wa \xe9t\xe9";
        FontClip clip = {0, row * lineHeight, width, lineHeight};
        ASSERT_EQ(0, RenderFontRun(f, bm, nullptr, 4, row * lineHeight + 4, text.data(), (int32_t)text.size(), l.style,
                                   0, &clip, 0x202060));
        int ink = 0, grey = 0;
        for (int y = row * lineHeight; y < (row + 1) * lineHeight; y++) {
            for (int x = 0; x < width; x++) {
                uint32_t p = ReadBitMapPixel(bm, x, y, 0);
                ink += p != 0xFFFFFF;
                grey += p != 0xFFFFFF && p != 0x202060;
            }
        }
        EXPECT_GT(ink, 200) << l.label;
        if (l.style & TEXTSTYLE_ANTIALIAS) EXPECT_GT(grey, 50) << l.label;
        else EXPECT_EQ(0, grey) << l.label;
        row++;
    }
    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    uint32_t *words = BitMapToARGB(bm, width, height);
    ASSERT_NE(nullptr, words);
    EXPECT_EQ(0, OsSavePNG((dir + "/font_samples.png").c_str(), words, width, height, 0));
    MemFree(words);
    FreeBitMap(bm);
}

}  // namespace

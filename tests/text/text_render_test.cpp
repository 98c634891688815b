// Rendering texts in the built-in 8x8 font: the pictures of plain and styled text, shadows,
// edges, transparency, alignment, the empty text and sizes beyond a picture's limit.
#include "tests/text/text_fixture.h"

namespace {

using namespace textfix;

class TextRender : public TextTest {
protected:
    std::string Picture(const char *text, int32_t align = TEXTALIGN_LEFT, int32_t wrap = 0)
    {
        TextState st = State(text, align, wrap);
        RenderedTextImage img;
        int code = Render(&st, &img);
        if (code) return "error " + std::to_string(code);
        std::string s = Joined(Rows(img));
        FreeRenderedTextImage(&img);
        return s;
    }
};

TEST_F(TextRender, StylesInTheBuiltInFont)
{
    struct Case {
        const char *text;
        const char *picture;
    } cases[] = {
        {"Hi",
         "##...##....##...\n"
         "##...##.........\n"
         "##...##...###...\n"
         "#######....##...\n"
         "##...##....##...\n"
         "##...##....##...\n"
         "##...##...####..\n"
         "................\n"
         "................\n"},
        // Bold doubles every pixel one to the right.
        {"[b]Hi",
         "###..###...###...\n"
         "###..###.........\n"
         "###..###..####...\n"
         "########...###...\n"
         "###..###...###...\n"
         "###..###...###...\n"
         "###..###..#####..\n"
         ".................\n"
         ".................\n"},
        // Italic leans the rows above the baseline right and those below it left.
        {"[i]Hi",
         "...##...##....##....\n"
         "...##...##..........\n"
         "..##...##...###.....\n"
         "..#######....##.....\n"
         ".##...##....##......\n"
         ".##...##....##......\n"
         "##...##...####......\n"
         "....................\n"
         "....................\n"},
        // The underline spans the advance below the baseline.
        {"[u]Hi",
         "##...##....##...\n"
         "##...##.........\n"
         "##...##...###...\n"
         "#######....##...\n"
         "##...##....##...\n"
         "##...##....##...\n"
         "##...##...####..\n"
         "################\n"
         "................\n"},
        {"[edge=$FF,1]I",
         "..######..\n"
         "..######..\n"
         "..######..\n"
         "...####...\n"
         "...####...\n"
         "...####...\n"
         "..######..\n"
         "..######..\n"
         "..######..\n"
         "..........\n"
         "..........\n"},
        {"[shadow=$FF,2,#SHDWSOUTHEAST]I",
         "..####....\n"
         "...##.....\n"
         "...#####..\n"
         "...####...\n"
         "...####...\n"
         "...####...\n"
         "..#####...\n"
         ".....##...\n"
         "....####..\n"
         "..........\n"
         "..........\n"},
        // Tags alone leave an empty text: one pixel wide, one line high.
        {"[edge=$FF,1][/edge]",
         ".\n.\n.\n.\n.\n.\n.\n.\n"},
    };
    for (const Case &c : cases) EXPECT_EQ(c.picture, Picture(c.text)) << c.text;
    // Any direction beyond 7 is the south-east one.
    EXPECT_EQ(Picture("[shadow=$FF,2,3]I"), Picture("[shadow=$FF,2,9]I"));
    EXPECT_NE(Picture("[shadow=$FF,2,3]I"), Picture("[shadow=$FF,2,4]I"));
}

TEST_F(TextRender, CentredLinesAndTheEmptyText)
{
    EXPECT_EQ("........###.............\n"
              ".........##.............\n"
              ".####....#####...#####..\n"
              "....##...##..##.##...##.\n"
              ".#####...##..##.##......\n"
              "##..##...##..##.##...##.\n"
              ".###.##.##.###...#####..\n"
              "........................\n"
              "........................\n"
              "........................\n"
              ".........####...........\n"
              "............##..........\n"
              ".........#####..........\n"
              "........##..##..........\n"
              ".........###.##.........\n"
              "........................\n"
              "........................\n",
              Picture("abc\na", TEXTALIGN_CENTER));
    TextState st = State("");
    RenderedTextImage img;
    ASSERT_EQ(0, Render(&st, &img));
    EXPECT_EQ(1, img.fullWidth);
    EXPECT_EQ(8, img.height);
    ASSERT_NE(nullptr, img.mask);
    EXPECT_EQ(std::string(8, '.'), [&] { std::string s; for (auto &r : Rows(img)) s += r; return s; }());
    FreeRenderedTextImage(&img);
}

// Top byte 0 gives a mask; a transparency gives an alpha channel at level 255 - T, and the
// colour 0xFFFFFFFF is simply invisible.
TEST_F(TextRender, TransparencyGivesAnAlphaChannel)
{
    struct Case {
        uint32_t colour;
        int alpha;
        int level;
    } cases[] = {{0x00FF0000, 0, 255}, {0x80FF0000, 1, 127}, {0xFFFFFFFF, 1, 0}};
    for (const Case &c : cases) {
        GetFontSettings()->colour = c.colour;
        TextState st = State("H");
        RenderedTextImage img;
        ASSERT_EQ(0, Render(&st, &img));
        EXPECT_EQ(c.alpha, img.alpha != nullptr);
        EXPECT_EQ(!c.alpha, img.mask != nullptr);
        if (img.alpha) {
            EXPECT_EQ(c.level, img.alpha->pixels[0]);               // a pixel of the H
            EXPECT_EQ(0, img.alpha->pixels[2]);                     // the gap between its stems
        }
        uint32_t rgb = PixelToRGB(*(uint32_t *)img.bitmap->pixels, img.bitmap->format);
        if (c.level) {
            EXPECT_EQ(0xFF0000u, rgb);
        }
        FreeRenderedTextImage(&img);
    }
}

// Anti-aliased text with a wide edge: the edge covers the pixels near a solid glyph fully (the
// coverage sums of the stamps need more than 16 bits).
TEST_F(TextRender, AntiAliasedEdgeCoverage)
{
    ASSERT_EQ(0, Run([](lua_State *L) {
        FontHandle *font;
        int code = OpenCachedFont(":::default_sans", 400, FONTENGINE_INBUILT, 1, 0, &font);
        if (!code) GetFontSettings()->font = font;
        return code;
    }));
    FontSettings *s = GetFontSettings();
    s->style = TEXTSTYLE_ANTIALIAS | TEXTSTYLE_EDGE;
    s->colour = 0xFFFFFF;
    s->edgeColour = 0x0000FF;
    s->edgeSize = 20;
    TextState st = State("\xb7");      // a round dot: a solid area over 20 pixels wide
    RenderedTextImage img;
    ASSERT_EQ(0, Render(&st, &img));
    ASSERT_NE(nullptr, img.alpha);
    // The densest row of the text: its middle pixel and the pixels up to 7 beside the ink.
    int32_t bestRow = 0, bestCount = 0, first = 0, last = 0;
    for (int32_t y = 0; y < img.height; y++) {
        const uint8_t *row = img.alpha->pixels + (size_t)y * img.alpha->bytesPerRow;
        const uint32_t *px = (const uint32_t *)(img.bitmap->pixels + (size_t)y * img.bitmap->bytesPerRow);
        int32_t count = 0, f = -1, l = -1;
        for (int32_t x = 0; x < img.fullWidth; x++)
            if (row[x] == 255 && PixelToRGB(px[x], img.bitmap->format) == 0xFFFFFF) {
                count++;
                if (f < 0) f = x;
                l = x;
            }
        if (count > bestCount) bestRow = y, bestCount = count, first = f, last = l;
    }
    ASSERT_GT(bestCount, 20);
    const uint8_t *row = img.alpha->pixels + (size_t)bestRow * img.alpha->bytesPerRow;
    for (int32_t d = 1; d <= 10; d++) {
        EXPECT_EQ(255, row[first - d]) << d;
        EXPECT_EQ(255, row[last + d]) << d;
    }
    FreeRenderedTextImage(&img);
}

// The edge of a run with running sums gives what the sum of every stamp gave (the earlier code,
// kept here as the model), for coverage and 1-bit planes, edges from 1 to 64 and column spans
// that start inside the plane and reach its right side.
TEST(TextEdge, RunningSumsMatchTheSumOfEveryStamp)
{
    auto model = [](const std::vector<uint8_t> &cov, int32_t width, int32_t height, int32_t x0, int32_t x1, int32_t e,
                    int aa, std::vector<uint8_t> &out) {
        const int32_t w = width + 2 * e + 1, h = height + 2 * e + 1, end = x1 + 2 * e < w ? x1 + 2 * e : w;
        std::vector<int32_t> rowSums((size_t)w * h), sums((size_t)w * h);
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = x0; x < end; x++) {
                int32_t sum = 0;
                for (int32_t k = x - 2 * e; k <= x; k++)
                    if (k >= x0 && k < x1) sum += cov[(size_t)y * width + k];
                rowSums[(size_t)y * w + x] = sum;
            }
        for (int32_t x = x0; x < end; x++)
            for (int32_t y = 0; y < h; y++) {
                int32_t sum = 0;
                for (int32_t k = y - 2 * e; k <= y; k++)
                    if (k >= 0 && k < height) sum += rowSums[(size_t)k * w + x];
                sums[(size_t)y * w + x] = sum;
            }
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = x0; x < end; x++) {
                int32_t v = sums[(size_t)y * w + x];
                out[(size_t)y * w + x] = aa ? (uint8_t)(v / (2 * e + 1) > 255 ? 255 : v / (2 * e + 1)) : v ? 255 : 0;
            }
    };
    struct Case {
        int32_t width, height, x0, x1, e;
    } cases[] = {{9, 7, 0, 9, 1}, {23, 11, 4, 17, 3}, {40, 16, 10, 40, 20}, {70, 9, 0, 70, 64}, {5, 3, 2, 3, 64}};
    uint32_t seed = 12345;
    for (const Case &c : cases)
        for (int aa = 0; aa <= 1; aa++) {
            std::vector<uint8_t> cov((size_t)c.width * c.height);
            for (uint8_t &v : cov) {
                seed = seed * 1103515245u + 12345u;
                v = (seed >> 16) % 3 == 0 ? 0 : aa ? (uint8_t)(seed >> 8) : 255;
            }
            const size_t n = (size_t)(c.width + 2 * c.e + 1) * (c.height + 2 * c.e + 1);
            std::vector<uint8_t> want(n, 7), got(n, 7);
            std::vector<int32_t> rowSums(n), sums(n);
            model(cov, c.width, c.height, c.x0, c.x1, c.e, aa, want);
            GrowCoverage(cov.data(), c.width, c.height, c.x0, c.x1, c.e, aa, rowSums.data(), sums.data(), got.data());
            EXPECT_EQ(want, got) << c.width << "x" << c.height << " e " << c.e << " aa " << aa;
        }
}

TEST_F(TextRender, PicturesBeyondThePlaneLimitGiveOutOfMemory)
{
    std::string text(40000, 'x');
    text += std::string(2000, '\n') + "x";
    TextState st = State(text.c_str());
    RenderedTextImage img;
    EXPECT_EQ(1000, Render(&st, &img));
}

}  // namespace

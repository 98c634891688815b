// SafeBlt into a given 8 x 8 bitmap: clipping at the destination, the source start and a clip
// region (box and shaped), and drawing through a mask or an alpha channel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "display/clipregion.h"
#include "display/display.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"

namespace {

const uint32_t Red = 0xFF0000;

// Rows of the bitmap: '#' red, '.' black, '+' anything else.
std::string Picture(const BitMap *bm)
{
    std::string s;
    for (int y = 0; y < bm->height; y++) {
        for (int x = 0; x < bm->width; x++) {
            uint32_t c = ReadBitMapPixel(bm, x, y, 0);
            s += c == Red ? '#' : c == 0 ? '.' : '+';
        }
        s += '\n';
    }
    return s;
}

Mask *MaskFrom(const char *rows, int w, int h)
{
    Mask *m = AllocMask(nullptr, w, h, 1);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (rows[y * w + x] == '#') PutMaskRowBit(m->pixels + y * m->bytesPerRow, x, 1);
    return m;
}

struct SafeBltTest : ::testing::Test {
    BitMap *src = nullptr, *dst = nullptr;
    void SetUp() override
    {
        CurrentDisplay = nullptr;
        src = AllocBitMap(4, 4);
        dst = AllocBitMap(8, 8);
        RectFillBitMap(src, 0, 0, 4, 4, Red);
        RectFillBitMap(dst, 0, 0, 8, 8, 0);
    }
    void TearDown() override
    {
        FreeBitMap(src);
        FreeBitMap(dst);
    }
    void Blit(int32_t sx, int32_t sy, int32_t dx, int32_t dy, const Mask *mask = nullptr,
              const AlphaChannel *alpha = nullptr, const ClipRegionNode *region = nullptr, int flags = 0)
    {
        SafeBlt(src, sx, sy, dst, dx, dy, 4, 4, 4, 4, 8, 8, flags | SAFEBLT_NOPLANES, mask, alpha, region);
    }
};

TEST_F(SafeBltTest, ClipsAtTheDestinationAndRefusesANegativeSource)
{
    Blit(0, 0, -2, -1);
    EXPECT_EQ(Picture(dst), "##......\n##......\n##......\n........\n........\n........\n........\n........\n");
    RectFillBitMap(dst, 0, 0, 8, 8, 0);
    Blit(0, 0, 6, 7);
    EXPECT_EQ(Picture(dst), "........\n........\n........\n........\n........\n........\n........\n......##\n");
    RectFillBitMap(dst, 0, 0, 8, 8, 0);
    Blit(-1, 0, 2, 2);   // inside the target, but the source starts left of the picture
    Blit(0, -1, 2, 2);
    EXPECT_EQ(Picture(dst), "........\n........\n........\n........\n........\n........\n........\n........\n");
}

TEST_F(SafeBltTest, BoxRegionAndARegionLargerThanTheDestination)
{
    ClipRegionNode r;
    memset(&r, 0, sizeof r);
    r.x = 3;
    r.y = 2;
    r.width = 2;
    r.height = 3;
    Blit(0, 0, 2, 1, nullptr, nullptr, &r);
    EXPECT_EQ(Picture(dst), "........\n........\n...##...\n...##...\n...##...\n........\n........\n........\n");
    // Flag 1 ignores the region.
    RectFillBitMap(dst, 0, 0, 8, 8, 0);
    Blit(0, 0, 2, 1, nullptr, nullptr, &r, SAFEBLT_NOCLIP);
    EXPECT_EQ(Picture(dst), "........\n..####..\n..####..\n..####..\n..####..\n........\n........\n........\n");
    // A region reaching far past the picture still stops at its edge.
    r.x = 0;
    r.y = 0;
    r.width = r.height = 1000;
    RectFillBitMap(dst, 0, 0, 8, 8, 0);
    Blit(0, 0, 5, 6, nullptr, nullptr, &r);
    EXPECT_EQ(Picture(dst), "........\n........\n........\n........\n........\n........\n.....###\n.....###\n");
}

TEST_F(SafeBltTest, ShapedRegionCombinesWithTheSourceMask)
{
    ClipRegionNode r;
    memset(&r, 0, sizeof r);
    r.x = 2;
    r.y = 2;
    r.width = 4;
    r.height = 4;
    r.mask = MaskFrom("#..#"
                      ".##."
                      ".##."
                      "#..#", 4, 4);
    Blit(0, 0, 2, 2, nullptr, nullptr, &r);
    EXPECT_EQ(Picture(dst), "........\n........\n..#..#..\n...##...\n...##...\n..#..#..\n........\n........\n");

    Mask *own = MaskFrom("####"
                         "####"
                         "...."
                         "....", 4, 4);
    RectFillBitMap(dst, 0, 0, 8, 8, 0);
    Blit(0, 0, 2, 2, own, nullptr, &r);
    EXPECT_EQ(Picture(dst), "........\n........\n..#..#..\n...##...\n........\n........\n........\n........\n");
    FreeMask(own);
    FreeMask(r.mask);
}

TEST_F(SafeBltTest, MaskAndAlphaChannel)
{
    Mask *m = MaskFrom("#.#."
                       ".#.#"
                       "#.#."
                       ".#.#", 4, 4);
    Blit(0, 0, 0, 0, m);
    EXPECT_EQ(Picture(dst), "#.#.....\n.#.#....\n#.#.....\n.#.#....\n........\n........\n........\n........\n");
    FreeMask(m);

    AlphaChannel *a = AllocAlphaChannel(4, 4, 1);
    for (int y = 0; y < 4; y++) a->pixels[y * a->bytesPerRow + 0] = 255;
    for (int y = 0; y < 4; y++) a->pixels[y * a->bytesPerRow + 1] = 128;
    RectFillBitMap(dst, 0, 0, 8, 8, 0);
    Blit(0, 0, 4, 4, nullptr, a);
    EXPECT_EQ(ReadBitMapPixel(dst, 4, 4, 0), Red);
    uint32_t half = ReadBitMapPixel(dst, 5, 5, 0);
    EXPECT_NEAR((int)(half >> 16), 128, 2);
    EXPECT_EQ(half & 0xFFFF, 0u);
    EXPECT_EQ(ReadBitMapPixel(dst, 6, 6, 0), 0u);
    FreeAlphaChannel(a);
}

TEST_F(SafeBltTest, NoDisplayAndNoDestinationPrintsAndDrawsNothing)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(SafeBlt(src, 0, 0, nullptr, 0, 0, 4, 4, 4, 4, 8, 8, 0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n");
}

}  // namespace

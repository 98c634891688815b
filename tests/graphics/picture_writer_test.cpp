// The picture writer: byte-exact BMP files (header, bottom-up rows, padding), the ARGB conversion
// with a mask, an alpha channel or neither, a PNG round trip with alpha, and the errors of paths
// that can't be created and of writes that fall short (/dev/full) in every format.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "display/graphics.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/picload.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

namespace {

std::string TempPath(const char *name)
{
    return std::string(KV_BINARY_DIR) + "/test-gfxlib-" + name;
}

std::vector<uint8_t> ReadAll(const std::string &path)
{
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = fgetc(f)) != EOF) bytes.push_back((uint8_t)c);
    fclose(f);
    return bytes;
}

uint32_t LE32(const std::vector<uint8_t> &b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

// Pixel (x, y) gets the colour 0xRRGGBB with red = x, green = y, blue = 0x40 + x + y.
BitMap *Gradient(int32_t w, int32_t h)
{
    BitMap *bm = AllocBitMap(w, h);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) WriteBitMapPixel(bm, x, y, (uint32_t)(x << 16 | y << 8 | (0x40 + x + y)), 0);
    return bm;
}

TEST(PictureWriter, BmpFilesAreByteExact)
{
    struct Case {
        int32_t w, h;
        uint32_t rowSize, fileSize;
    } cases[] = {{1, 1, 4, 58}, {2, 2, 8, 70}, {3, 2, 12, 78}, {4, 1, 12, 66}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        BitMap *bm = Gradient(c.w, c.h);
        std::string path = TempPath("exact.bmp");
        ASSERT_EQ(SaveImageFile(IMGFMT_BMP, bm, c.w, c.h, path.c_str(), nullptr, 0xFFFFFFFF, nullptr, 90, 256, 0), 0);
        FreeBitMap(bm);
        std::vector<uint8_t> b = ReadAll(path);
        ASSERT_EQ(b.size(), c.fileSize);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(LE32(b, 2), c.fileSize);
        EXPECT_EQ(LE32(b, 6), 0u);
        EXPECT_EQ(LE32(b, 10), 54u);
        EXPECT_EQ(LE32(b, 14), 40u);
        EXPECT_EQ(LE32(b, 18), (uint32_t)c.w);
        EXPECT_EQ(LE32(b, 22), (uint32_t)c.h);
        EXPECT_EQ(b[26] | b[27] << 8, 1);
        EXPECT_EQ(b[28] | b[29] << 8, 24);
        for (size_t i = 30; i < 54; i++) EXPECT_EQ(b[i], 0) << "header byte " << i;
        // Rows bottom-up, blue green red, zero padding.
        for (int32_t row = 0; row < c.h; row++) {
            int32_t y = c.h - 1 - row;
            size_t at = 54 + (size_t)row * c.rowSize;
            for (int32_t x = 0; x < c.w; x++) {
                EXPECT_EQ(b[at + 3 * x], 0x40 + x + y);
                EXPECT_EQ(b[at + 3 * x + 1], y);
                EXPECT_EQ(b[at + 3 * x + 2], x);
            }
            for (size_t p = 3 * (size_t)c.w; p < c.rowSize; p++) EXPECT_EQ(b[at + p], 0);
        }
    }
}

// 2 x 2 picture: red, green / blue, white.
struct ARGBTest : ::testing::Test {
    BitMap *bm = nullptr;
    void SetUp() override
    {
        bm = AllocBitMap(2, 2);
        WriteBitMapPixel(bm, 0, 0, 0xFF0000, 0);
        WriteBitMapPixel(bm, 1, 0, 0x00FF00, 0);
        WriteBitMapPixel(bm, 0, 1, 0x0000FF, 0);
        WriteBitMapPixel(bm, 1, 1, 0xFFFFFF, 0);
    }
    void TearDown() override { FreeBitMap(bm); }
    std::vector<uint32_t> Convert(const Mask *mask, const AlphaChannel *alpha, uint32_t bg, int alphaMode)
    {
        uint32_t *w = MakeARGBImage(bm, 2, 2, mask, alpha, bg, alphaMode);
        std::vector<uint32_t> v(w, w + 4);
        MemFree(w);
        return v;
    }
};

TEST_F(ARGBTest, MaskAlphaAndNeither)
{
    Mask *mask = AllocMask(nullptr, 2, 2, 1);
    PutMaskRowBit(mask->pixels, 0, 1);                       // (0, 0)
    PutMaskRowBit(mask->pixels + mask->bytesPerRow, 1, 1);   // (1, 1)
    EXPECT_EQ(Convert(mask, nullptr, 0x123456, 1),
              (std::vector<uint32_t>{0xFFFF0000, 0x0000FF00, 0x000000FF, 0xFFFFFFFF}));
    EXPECT_EQ(Convert(mask, nullptr, 0x123456, 0),
              (std::vector<uint32_t>{0xFFFF0000, 0xFF123456, 0xFF123456, 0xFFFFFFFF}));
    FreeMask(mask);

    AlphaChannel *alpha = AllocAlphaChannel(2, 2, 1);
    alpha->pixels[0] = 0x80;
    alpha->pixels[1] = 0;
    alpha->pixels[alpha->bytesPerRow] = 0xFF;
    alpha->pixels[alpha->bytesPerRow + 1] = 0;
    // A fully transparent pixel gets the background's colour in place of its own.
    EXPECT_EQ(Convert(nullptr, alpha, 0x000011, 0),
              (std::vector<uint32_t>{0x80FF0000, 0x00000011, 0xFF0000FF, 0x00000011}));
    FreeAlphaChannel(alpha);

    EXPECT_EQ(Convert(nullptr, nullptr, 0x123456, 0),
              (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
}

TEST(PictureWriter, PngRoundTripKeepsColoursAndAlpha)
{
    BitMap *bm = Gradient(5, 3);
    AlphaChannel *alpha = AllocAlphaChannel(5, 3, 1);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 0; x < 5; x++) alpha->pixels[y * alpha->bytesPerRow + x] = (uint8_t)(x * 60 + y);
    std::string path = TempPath("alpha.png");
    ASSERT_EQ(SaveImageFile(IMGFMT_PNG, bm, 5, 3, path.c_str(), nullptr, 0xFFFFFFFF, alpha, 50, 256, 0), 0);
    uint32_t *pixels = nullptr;
    AlphaChannel *back = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, LOADALPHA_REQUIRE, &pixels, &back, nullptr, nullptr, &w, &h),
              0);
    ASSERT_EQ(w, 5);
    ASSERT_EQ(h, 3);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 0; x < 5; x++) {
            uint8_t a = (uint8_t)(x * 60 + y);
            EXPECT_EQ(back->pixels[y * back->bytesPerRow + x], a) << x << "," << y;
            // A fully transparent pixel carries no colour of its own worth keeping.
            if (a) {
                EXPECT_EQ(pixels[y * 5 + x] & 0xFFFFFF, ReadBitMapPixel(bm, x, y, 0)) << x << "," << y;
            }
        }
    MemFree(pixels);
    FreeAlphaChannel(back);
    FreeAlphaChannel(alpha);
    FreeBitMap(bm);
}

TEST(PictureWriter, FailuresAreReported)
{
    BitMap *bm = Gradient(4, 4);
    const char *missing = "/nonexistent-folder/x/picture";
    struct stat st;
    bool haveFull = stat("/dev/full", &st) == 0;
    for (int format : {IMGFMT_BMP, IMGFMT_PNG, IMGFMT_JPEG, IMGFMT_GIF, IMGFMT_ILBM}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(SaveImageFile(format, bm, 4, 4, missing, nullptr, 0xFFFFFFFF, nullptr, 90, 256, 0), 1052);
        EXPECT_STREQ(GetErrorArgString(), missing);
        if (haveFull) {
            EXPECT_EQ(SaveImageFile(format, bm, 4, 4, "/dev/full", nullptr, 0xFFFFFFFF, nullptr, 90, 256, 0), 1005);
        }
    }
    // No sixth format.
    EXPECT_EQ(SaveImageFile(5, bm, 4, 4, TempPath("x.pic").c_str(), nullptr, 0, nullptr, 90, 256, 0), 1055);
    FreeBitMap(bm);
}

}  // namespace

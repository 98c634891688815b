// Pixel formats: the raw bytes each format stores and what reads back.
#include <gtest/gtest.h>
#include "gfx/pixels.h"

namespace {

struct FormatCase {
  PixelFormat format;
  uint8_t rgb[3];
  std::vector<uint8_t> bytes;  // memory bytes after WritePixelRGB
  uint8_t back[3];             // ReadPixelRGB of those bytes
};

// R 0x12, G 0x34, B 0x56 in every format, computed by hand from the layouts.
const FormatCase kCases[] = {
    // RGB15: 0x10<<7 | 0x30<<2 | 0x56>>3 = 0x0800 | 0x00C0 | 0x000A = 0x08CA
    {0, {0x12, 0x34, 0x56}, {0xCA, 0x08}, {0x10, 0x30, 0x50}},
    // BGR15: B 0x50<<7 | G 0x30<<2 | R 0x12>>3 = 0x2800 | 0xC0 | 0x02 = 0x28C2
    {1, {0x12, 0x34, 0x56}, {0xC2, 0x28}, {0x10, 0x30, 0x50}},
    {2, {0x12, 0x34, 0x56}, {0x08, 0xCA}, {0x10, 0x30, 0x50}},
    {3, {0x12, 0x34, 0x56}, {0x28, 0xC2}, {0x10, 0x30, 0x50}},
    // RGB16: 0x10<<8 | 0x34<<3 | 0x0A = 0x1000 | 0x01A0 | 0x0A = 0x11AA
    {4, {0x12, 0x34, 0x56}, {0xAA, 0x11}, {0x10, 0x34, 0x50}},
    // BGR16: 0x50<<8 | 0x1A0 | 0x02 = 0x51A2
    {5, {0x12, 0x34, 0x56}, {0xA2, 0x51}, {0x10, 0x34, 0x50}},
    {6, {0x12, 0x34, 0x56}, {0x11, 0xAA}, {0x10, 0x34, 0x50}},
    {7, {0x12, 0x34, 0x56}, {0x51, 0xA2}, {0x10, 0x34, 0x50}},
    {8, {0x12, 0x34, 0x56}, {0x12, 0x34, 0x56}, {0x12, 0x34, 0x56}},
    {9, {0x12, 0x34, 0x56}, {0x56, 0x34, 0x12}, {0x12, 0x34, 0x56}},
    {10, {0x12, 0x34, 0x56}, {0x56, 0x34, 0x12, 0x00}, {0x12, 0x34, 0x56}},
    {11, {0x12, 0x34, 0x56}, {0x00, 0x12, 0x34, 0x56}, {0x12, 0x34, 0x56}},
    {12, {0x12, 0x34, 0x56}, {0x00, 0x56, 0x34, 0x12}, {0x12, 0x34, 0x56}},
    // White in RGB16 is 0xFFFF and reads back without replicated low bits.
    {4, {255, 255, 255}, {0xFF, 0xFF}, {248, 252, 248}},
    {0, {255, 255, 255}, {0xFF, 0x7F}, {248, 248, 248}},
};

class PixelFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PixelFormatTest, WritesExactBytesAndReadsBack) {
  const FormatCase &c = GetParam();
  uint8_t mem[8];
  memset(mem, 0xEE, sizeof mem);
  WritePixelRGB(mem, c.format, c.rgb);
  ASSERT_EQ(PixelFormatBytes(c.format), (int)c.bytes.size());
  for (size_t i = 0; i < c.bytes.size(); i++) EXPECT_EQ(mem[i], c.bytes[i]) << "byte " << i;
  EXPECT_EQ(mem[c.bytes.size()], 0xEE) << "wrote past the pixel";
  uint8_t out[3] = {1, 2, 3};
  ReadPixelRGB(mem, c.format, out);
  EXPECT_EQ(out[0], c.back[0]);
  EXPECT_EQ(out[1], c.back[1]);
  EXPECT_EQ(out[2], c.back[2]);
  // The pixel-value view agrees with the memory view.
  uint32_t rgb = (uint32_t)c.rgb[0] << 16 | (uint32_t)c.rgb[1] << 8 | c.rgb[2];
  uint32_t back = (uint32_t)c.back[0] << 16 | (uint32_t)c.back[1] << 8 | c.back[2];
  EXPECT_EQ(PixelToRGB(RGBToPixel(rgb, c.format), c.format), back);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PixelFormatTest, ::testing::ValuesIn(kCases));

TEST(PixelFormat, SpareByteIsIgnoredOnRead) {
  uint8_t mem[4] = {0xAB, 1, 2, 3};
  uint8_t out[3];
  ReadPixelRGB(mem, PIXFMT_BGRX32, out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[2], 3);
}

TEST(PixelFormat, UnknownFormatTouchesNothing) {
  for (PixelFormat f : {13, 14, 100, -1}) {
    uint8_t mem[4] = {9, 9, 9, 9};
    uint8_t rgb[3] = {1, 2, 3};
    WritePixelRGB(mem, f, rgb);
    ReadPixelRGB(mem, f, rgb);
    EXPECT_EQ(mem[0], 9);
    EXPECT_EQ(mem[3], 9);
    EXPECT_EQ(rgb[0], 1);
    EXPECT_EQ(rgb[2], 3);
    EXPECT_EQ(PixelFormatBytes(f), 0);
  }
}

TEST(PixelFormat, RGBToPixelMatchesBlitterConvention) {
  EXPECT_EQ(RGBToPixel(0x123456, PIXFMT_RGB24), 0x123456u);
  EXPECT_EQ(RGBToPixel(0x123456, PIXFMT_BGR24), 0x563412u);
  EXPECT_EQ(RGBToPixel(0x123456, PIXFMT_XRGB32), 0x123456u);
  EXPECT_EQ(RGBToPixel(0x123456, PIXFMT_BGRX32), 0x56341200u);
  EXPECT_EQ(RGBToPixel(0x123456, PIXFMT_RGBX32), 0x12345600u);
  EXPECT_EQ(RGBToPixel(0xFFFFFF, PIXFMT_RGB16), 0xFFFFu);
}

}  // namespace

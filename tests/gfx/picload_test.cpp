// Picture detection and loading: tiny PNG, JPEG and TIFF fixtures made here, each alpha mode,
// size-only calls, unknown formats, short files, linked (memory) files, and the encoders.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gfx/picload.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

namespace {

std::string Dir() { return std::string(KV_BINARY_DIR) + "/gfx2_picload_"; }

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

// Word (x, y) of the 3 x 2 fixture picture, 0xAARRGGBB.
uint32_t Word(int x, int y) {
  static const uint32_t w[6] = {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF102030, 0x40FFFFFF, 0xFF000000};
  return w[y * 3 + x];
}

// A PNG through SDL2_image, with or without alpha.
std::string MakePNG(bool alpha) {
  std::vector<uint32_t> px(6);
  for (int i = 0; i < 6; i++) px[i] = alpha ? Word(i % 3, i / 3) : (Word(i % 3, i / 3) | 0xFF000000u);
  SDL_Surface *s = SDL_CreateRGBSurfaceWithFormatFrom(px.data(), 3, 2, 32, 12,
                                                      alpha ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB888);
  std::string path = Dir() + (alpha ? "alpha.png" : "opaque.png");
  EXPECT_EQ(IMG_SavePNG(s, path.c_str()), 0);
  SDL_FreeSurface(s);
  return path;
}

// An uncompressed 24-bit RGB (or, with alpha, 32-bit RGBA with unassociated alpha) TIFF of the
// fixture picture in either byte order.
std::vector<uint8_t> MakeTIFF(bool bigEndian, bool alpha = false) {
  std::vector<uint8_t> b;
  auto u16 = [&](uint32_t v) {
    if (bigEndian) { b.push_back((uint8_t)(v >> 8)); b.push_back((uint8_t)v); }
    else { b.push_back((uint8_t)v); b.push_back((uint8_t)(v >> 8)); }
  };
  auto u32 = [&](uint32_t v) {
    if (bigEndian) { for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(v >> s)); }
    else { for (int s = 0; s <= 24; s += 8) b.push_back((uint8_t)(v >> s)); }
  };
  b.push_back(bigEndian ? 'M' : 'I');
  b.push_back(bigEndian ? 'M' : 'I');
  u16(42);
  u32(8);
  const int entries = alpha ? 11 : 10, samples = alpha ? 4 : 3;
  const uint32_t bpsAt = 8 + 2 + entries * 12 + 4, dataAt = bpsAt + 2 * samples;
  u16(entries);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag);
    u16(type);
    u32(count);
    if (type == 3 && count == 1) { u16(value); u16(0); }
    else u32(value);
  };
  entry(256, 3, 1, 3);        // width
  entry(257, 3, 1, 2);        // height
  entry(258, 3, samples, bpsAt);  // bits per sample 8 each
  entry(259, 3, 1, 1);        // no compression
  entry(262, 3, 1, 2);        // RGB
  entry(273, 4, 1, dataAt);   // strip offset
  entry(277, 3, 1, samples);  // samples per pixel
  entry(278, 3, 1, 2);        // rows per strip
  entry(279, 4, 1, 6 * samples);  // strip byte count
  entry(284, 3, 1, 1);        // chunky
  if (alpha) entry(338, 3, 1, 2);  // extra sample: unassociated alpha
  u32(0);
  for (int i = 0; i < samples; i++) u16(8);
  for (int i = 0; i < 6; i++) {
    const uint32_t c = Word(i % 3, i / 3);
    b.push_back((uint8_t)(c >> 16));
    b.push_back((uint8_t)(c >> 8));
    b.push_back((uint8_t)c);
    if (alpha) b.push_back((uint8_t)(c >> 24));
  }
  return b;
}

struct Loaded {
  int rc;
  uint32_t *pixels;
  AlphaChannel *alpha;
  int32_t w, h;
};

Loaded Load(const std::string &path, int mode, bool sizeOnly = false) {
  Loaded l = {0, nullptr, nullptr, -1, -1};
  Mask *mask = (Mask *)1;
  int32_t key = 5;
  l.rc = LoadImageFile(path.c_str(), 0, 0, 0, mode, sizeOnly ? nullptr : &l.pixels, &l.alpha, &mask, &key, &l.w, &l.h);
  EXPECT_EQ(mask, nullptr);
  EXPECT_EQ(key, -1);
  return l;
}
void Free(Loaded &l) {
  MemFree(l.pixels);
  FreeAlphaChannel(l.alpha);
}

TEST(PictureKind, MagicBytes) {
  struct Case { std::vector<uint8_t> head; int kind; };
  const Case cases[] = {
      {{'F', 'O', 'R', 'M', 0, 0, 0, 8, 'I', 'L', 'B', 'M'}, PICKIND_ILBM},
      {{'F', 'O', 'R', 'M', 0, 0, 0, 8, 'A', 'N', 'I', 'M'}, PICKIND_UNKNOWN},
      {{0x89, 'P', 'N', 'G'}, PICKIND_PNG},
      {{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}, PICKIND_JPEG},
      {{0xFF, 0xD8, 0xFF, 0xE1, 0, 16, 'E', 'x', 'i', 'f'}, PICKIND_JPEG},
      {{0xFF, 0xD8, 0xFF, 0xDB, 0, 16, 'x', 'x', 'x', 'x'}, PICKIND_UNKNOWN},
      {{'B', 'M'}, PICKIND_BMP},
      {{'M', 'M', 0, '*'}, PICKIND_TIFF},
      {{'I', 'I', '*', 0}, PICKIND_TIFF},
      {{'M', 'M', 1, '*'}, PICKIND_UNKNOWN},
      {{'G', 'I', 'F', '8', '9', 'a'}, PICKIND_GIF},
      {{'G', 'I', 'F', '8', '7', 'a'}, PICKIND_GIF},
      {{'G', 'I', 'F', '8', '8', 'a'}, PICKIND_UNKNOWN},
  };
  for (const Case &c : cases) {
    uint8_t head[PICTURE_SNIFF_BYTES] = {};
    std::copy(c.head.begin(), c.head.end(), head);
    EXPECT_EQ(PictureKind(head), c.kind);
  }
}

TEST(LoadImageFile, PngWithAndWithoutAlphaInEveryMode) {
  const std::string withAlpha = MakePNG(true), opaque = MakePNG(false);
  // Mode 0: colour only.
  Loaded l = Load(withAlpha, 0);
  ASSERT_EQ(l.rc, 0);
  EXPECT_EQ(l.w, 3);
  EXPECT_EQ(l.h, 2);
  EXPECT_EQ(l.alpha, nullptr);
  for (int i = 0; i < 6; i++) EXPECT_EQ(l.pixels[i], Word(i % 3, i / 3) & 0xFFFFFF);
  Free(l);
  // Mode 1 and 3: with the alpha channel.
  for (int mode : {1, 3, 7}) {
    l = Load(withAlpha, mode);
    ASSERT_EQ(l.rc, 0) << mode;
    ASSERT_NE(l.alpha, nullptr);
    for (int i = 0; i < 6; i++) EXPECT_EQ(l.alpha->pixels[(i / 3) * l.alpha->bytesPerRow + i % 3], Word(i % 3, i / 3) >> 24);
    Free(l);
  }
  // Mode 2: RGBA words (memory bytes R, G, B, A).
  l = Load(withAlpha, 2);
  ASSERT_EQ(l.rc, 0);
  EXPECT_EQ(l.alpha, nullptr);
  for (int i = 0; i < 6; i++) {
    const uint32_t c = Word(i % 3, i / 3);
    EXPECT_EQ(l.pixels[i], (c >> 24) << 24 | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
  }
  Free(l);
  // Without alpha: mode 1 fails with 1170 naming the file, mode 3 gives none, mode 2 opaque.
  l = Load(opaque, 1);
  EXPECT_EQ(l.rc, 1170);
  EXPECT_EQ(l.pixels, nullptr);
  EXPECT_EQ(std::string(GetErrorArgString()), opaque);
  l = Load(opaque, 3);
  ASSERT_EQ(l.rc, 0);
  EXPECT_EQ(l.alpha, nullptr);
  Free(l);
  l = Load(opaque, 2);
  ASSERT_EQ(l.rc, 0);
  for (int i = 0; i < 6; i++) EXPECT_EQ(l.pixels[i] >> 24, 255u);
  Free(l);
  // Size only: no pixels and no alpha mode (mode 1 on an opaque picture does not fail).
  l = Load(opaque, 1, true);
  EXPECT_EQ(l.rc, 0);
  EXPECT_EQ(l.w, 3);
  EXPECT_EQ(l.h, 2);
  EXPECT_EQ(l.alpha, nullptr);
}

TEST(LoadImageFile, JpegAndTiffInBothByteOrders) {
  std::vector<uint32_t> px(64 * 48);
  for (int y = 0; y < 48; y++)
    for (int x = 0; x < 64; x++) px[y * 64 + x] = 0xFF000000u | 0x2050C0;
  const std::string jpeg = Dir() + "fixture.jpg";
  ASSERT_EQ(OsSaveJPEG(jpeg.c_str(), px.data(), 64, 48, 90), 0);
  Loaded l = Load(jpeg, 3);
  ASSERT_EQ(l.rc, 0);
  EXPECT_EQ(l.w, 64);
  EXPECT_EQ(l.h, 48);
  EXPECT_EQ(l.alpha, nullptr);
  const uint32_t c = l.pixels[24 * 64 + 32];
  EXPECT_NEAR((int)(c >> 16), 0x20, 6);
  EXPECT_NEAR((int)(c >> 8 & 255), 0x50, 6);
  EXPECT_NEAR((int)(c & 255), 0xC0, 6);
  Free(l);
  std::vector<std::string> opaque = {jpeg};
  for (bool big : {false, true}) {
    const std::string tiff = Dir() + (big ? "be.tif" : "le.tif");
    WriteFile(tiff, MakeTIFF(big));
    opaque.push_back(tiff);
    l = Load(tiff, 0);
    ASSERT_EQ(l.rc, 0) << big;
    EXPECT_EQ(l.w, 3);
    EXPECT_EQ(l.h, 2);
    for (int i = 0; i < 6; i++) EXPECT_EQ(l.pixels[i], Word(i % 3, i / 3) & 0xFFFFFF);
    Free(l);
  }
  // A TIFF with an alpha sample delivers its channel in either byte order.
  for (bool big : {false, true}) {
    const std::string tiff = Dir() + (big ? "be_alpha.tif" : "le_alpha.tif");
    WriteFile(tiff, MakeTIFF(big, true));
    l = Load(tiff, 1);
    ASSERT_EQ(l.rc, 0) << big;
    ASSERT_NE(l.alpha, nullptr);
    for (int i = 0; i < 6; i++) {
      EXPECT_EQ(l.alpha->pixels[(i / 3) * l.alpha->bytesPerRow + i % 3], Word(i % 3, i / 3) >> 24) << i;
      if (Word(i % 3, i / 3) >> 24 == 255) {
        EXPECT_EQ(l.pixels[i], Word(i % 3, i / 3) & 0xFFFFFF) << i;
      }
    }
    Free(l);
  }
  // Neither carries alpha: mode 1 (and any other unknown mode) fails with 1170, 0 and 3 give
  // colour words without a channel, 2 gives opaque RGBA words with the channels reordered.
  for (const std::string &path : opaque) {
    Loaded plain = Load(path, 0);
    ASSERT_EQ(plain.rc, 0) << path;
    for (int mode : {1, 5}) {
      l = Load(path, mode);
      EXPECT_EQ(l.rc, 1170) << path;
      EXPECT_EQ(l.pixels, nullptr);
    }
    l = Load(path, 3);
    EXPECT_EQ(l.rc, 0);
    EXPECT_EQ(l.alpha, nullptr);
    Free(l);
    l = Load(path, 2);
    ASSERT_EQ(l.rc, 0);
    const int32_t n = l.w * l.h;
    for (int32_t i = 0; i < n; i++) {
      const uint32_t c = plain.pixels[i];
      ASSERT_EQ(l.pixels[i], 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF)) << path << " " << i;
    }
    Free(l);
    Free(plain);
  }
}

TEST(LoadImageFile, RefusedFiles) {
  struct Case { const char *name; std::vector<uint8_t> bytes; int rc; };
  std::vector<uint8_t> anim = {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'N', 'I', 'M'};
  std::vector<uint8_t> ilbm = {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'I', 'L', 'B', 'M'};
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 1, 2, 3};  // a PNG start, then garbage
  const Case cases[] = {
      {"three.bin", {0x89, 'P', 'N'}, 1358},  // 3 bytes: the rest reads as zeros
      {"empty.bin", {}, 1358},
      {"anim.iff", anim, 1358},
      {"ilbm.iff", ilbm, 1358},    // an ILBM FORM without a BMHD chunk
      {"bitmap.bmp", {'B', 'M', 0, 0}, 1358},
      {"broken.png", png, 1358},
      {"tiff.bin", {'M', 'M', 0, '*', 0, 0, 0, 0}, 1358},
  };
  for (const Case &c : cases) {
    const std::string path = Dir() + c.name;
    WriteFile(path, c.bytes);
    for (int mode = 0; mode < 4; mode++) {
      Loaded l = Load(path, mode);
      EXPECT_EQ(l.rc, c.rc) << c.name;
      EXPECT_EQ(l.pixels, nullptr);
      EXPECT_EQ(l.alpha, nullptr);
      EXPECT_EQ(std::string(GetErrorArgString()), path);
    }
  }
  Loaded l = Load(Dir() + "does-not-exist.png", 0);
  EXPECT_EQ(l.rc, 1045);
}

TEST(LoadImageFile, LinkedFileFromMemoryDecodesToo) {
  const std::string path = MakePNG(true);
  FILE *f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bytes(4096);
  bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
  fclose(f);
  ASSERT_EQ(RegisterMemorySection(bytes.data(), bytes.size()), 0);
  char name[KV_PATH_SIZE];
  ASSERT_NE(MakeChunkName("linked.png", name, sizeof name, -1, (uint32_t)bytes.size(), 0, nullptr, bytes.data()), nullptr);
  Loaded l = Load(name, 1);
  ASSERT_EQ(l.rc, 0);
  EXPECT_EQ(l.w, 3);
  ASSERT_NE(l.alpha, nullptr);
  EXPECT_EQ(l.pixels[3], Word(0, 1) & 0xFFFFFF);
  Free(l);
  UnregisterMemorySection(bytes.data());

  // The decoder straight from memory.
  int32_t w, h;
  uint32_t *px = nullptr;
  int hasAlpha = -1;
  ASSERT_EQ(OsLoadImage(bytes.data(), bytes.size(), &w, &h, &px, nullptr, &hasAlpha), 0);
  EXPECT_EQ(hasAlpha, 1);
  MemFree(px);
  EXPECT_EQ(OsLoadImage(bytes.data(), 10, &w, &h, &px, nullptr, nullptr), 1358);
  // A header that declares an enormous picture is refused before anything is decoded.
  std::vector<uint8_t> huge = bytes;
  huge[16] = huge[20] = 0x00;
  huge[17] = huge[21] = 0x01;  // 65536 x 65536
  huge[18] = huge[19] = huge[22] = huge[23] = 0;
  EXPECT_EQ(OsLoadImage(huge.data(), huge.size(), &w, &h, &px, nullptr, nullptr), 1000);
  EXPECT_EQ(px, nullptr);
  std::vector<uint8_t> tiff = MakeTIFF(false);
  tiff[10 + 8] = 0xFF;  // width entry: 0xFFFF
  tiff[10 + 9] = 0xFF;
  tiff[10 + 12 + 8] = 0xFF;  // height entry: 0xFFFF
  tiff[10 + 12 + 9] = 0xFF;
  EXPECT_EQ(OsLoadImage(tiff.data(), tiff.size(), &w, &h, &px, nullptr, nullptr), 1000);
  EXPECT_EQ(OsLoadImage(nullptr, 0, &w, &h, &px, nullptr, nullptr), 1358);
  // GIF is not handed to the decoder library, whose GIF reader freed a wild pointer on this file
  // (the picture layer reads GIF itself).
  const std::vector<uint8_t> gif = {
      0x47, 0x49, 0x46, 0x38, 0x37, 0x61, 0x0B, 0x00, 0x00, 0x09, 0x00, 0x0A, 0x01, 0x03, 0x00, 0x03,
      0x00, 0x00, 0x00, 0x86, 0x00, 0x00, 0x00, 0x01, 0x49, 0x4D, 0x00, 0x00, 0x00, 0x01, 0x01, 0x84,
      0x84, 0x84, 0x84, 0x84, 0x84, 0x84, 0x84, 0x84, 0x84, 0x84, 0x00, 0x84, 0x84, 0x84, 0x84, 0x84,
      0x84, 0x84, 0x86, 0x2C, 0x84, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01, 0x08, 0x02, 0x2B, 0x00,
      0x1A, 0x03, 0x00, 0x00, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A,
      0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A,
      0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A,
      0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x3A, 0x27, 0x03, 0x00, 0x00, 0x00, 0x86, 0x01, 0x65, 0x00,
      0x03, 0x00, 0x00, 0x00, 0x05, 0x00, 0x01, 0x00};
  EXPECT_EQ(OsLoadImage(gif.data(), gif.size(), &w, &h, &px, nullptr, nullptr), 1358);
  EXPECT_EQ(px, nullptr);
}

TEST(Encoders, PngKeepsAlphaAndLeavesTheWordsAlone) {
  uint32_t px[6];
  for (int i = 0; i < 6; i++) px[i] = Word(i % 3, i / 3);
  uint32_t copy[6];
  memcpy(copy, px, sizeof px);
  OsData *data = nullptr;
  ASSERT_EQ(OsEncodeImage(nullptr, px, 3, 2, 12, OS_IMAGE_PNG, 1, 100, &data), 0);
  EXPECT_EQ(memcmp(px, copy, sizeof px), 0);
  const uint8_t *bytes;
  const size_t n = OsGetDataBytes(data, &bytes);
  ASSERT_GT(n, 8u);
  EXPECT_EQ(bytes[0], 0x89);
  int32_t w, h;
  uint32_t *back = nullptr;
  uint8_t *alpha = nullptr;
  ASSERT_EQ(OsLoadImage(bytes, n, &w, &h, &back, &alpha, nullptr), 0);
  ASSERT_NE(alpha, nullptr);
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(back[i], px[i] & 0xFFFFFF);
    EXPECT_EQ(alpha[(i / 3) * 3 + i % 3], px[i] >> 24);
  }
  MemFree(back);
  MemFree(alpha);
  OsReleaseData(data);
  ASSERT_EQ(OsEncodeJPEGToMemory(px, 12, 3, 2, 80, &data), 0);
  EXPECT_GT(OsGetDataBytes(data, nullptr), 2u);
  OsReleaseData(data);
  EXPECT_EQ(OsEncodeImage(nullptr, px, 0, 2, 12, OS_IMAGE_PNG, 0, 0, &data), 1277);
  EXPECT_EQ(OsEncodeImage(nullptr, px, 3, 2, 4, OS_IMAGE_JPEG, 0, 0, &data), 1315);
  EXPECT_EQ(OsSavePNG("/nonexistent-dir/x.png", px, 3, 2, 0), 1277);
  OsReleaseData(nullptr);
}

}  // namespace

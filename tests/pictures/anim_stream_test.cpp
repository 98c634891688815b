// Anim streams and GIF pictures from bitmaps: frame composition around a small picture, the
// reserved transparent slot, frames after a transparent frame as every reader shows them, still
// pictures whose mask or alpha channel alone decides what is transparent, stream lookup and
// replacement, refusals, AVI streams.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "display/graphics.h"
#include "gfx/bitmap.h"
#include "pictures/anim_stream.h"
#include "pictures/gif_reader.h"
#include "runtime/errors.h"
#include "tests/pictures/gif_fixture.h"
#include "tests/pictures/picture_fixture.h"

namespace {

// The quantiser gives its cells' colours: channels may differ by a few steps.
bool Near(uint32_t a, uint32_t b) {
  for (int s = 0; s < 24; s += 8)
    if (std::abs((int)(a >> s & 255) - (int)(b >> s & 255)) > 8) return false;
  return true;
}

BitMap *Filled(int w, int h, uint32_t (*colour)(int, int)) {
  BitMap *bm = AllocBitMap(w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) WriteBitMapPixel(bm, x, y, colour(x, y), 0);
  return bm;
}

// A still GIF of the bitmap, every pixel opaque.
int SaveStill(const std::string &path, const BitMap *bm, int colours) {
  uint32_t *words = BitMapToARGB(bm, bm->width, bm->height);
  const int code = SaveGifPicture(path.c_str(), words, bm->width, bm->height, colours, 0, 0, 0);
  MemFree(words);
  return code;
}

std::vector<uint32_t> Frame(const std::string &path, int index, int *w = nullptr) {
  int32_t W, H, n;
  GifReader *r = OpenGifAnim(path.c_str(), &W, &H, &n, 0);
  EXPECT_NE(r, nullptr);
  if (!r) return {};
  uint32_t *px = GetGifFrame(r, index);
  std::vector<uint32_t> v(px, px + (size_t)W * H);
  MemFree(px);
  CloseGifAnim(r);
  if (w) *w = W;
  return v;
}

// Raster indexes and control block of every image, as giflib reads them.
struct GiflibImage {
  std::vector<uint8_t> raster;
  int transparent;
};
std::vector<GiflibImage> GiflibImages(const std::string &path) {
  int err;
  GifFileType *g = DGifOpenFileName(path.c_str(), &err);
  EXPECT_NE(g, nullptr);
  std::vector<GiflibImage> v;
  if (!g) return v;
  EXPECT_EQ(DGifSlurp(g), GIF_OK);
  for (int i = 0; i < g->ImageCount; i++) {
    GraphicsControlBlock gcb;
    DGifSavedExtensionToGCB(g, i, &gcb);
    const SavedImage &s = g->SavedImages[i];
    v.push_back({std::vector<uint8_t>(s.RasterBits, s.RasterBits + (size_t)s.ImageDesc.Width * s.ImageDesc.Height),
                 gcb.TransparentColor});
  }
  DGifCloseFile(g, &err);
  return v;
}

TEST(AnimStream, GifFramesAroundASmallPicture) {
  const std::string path = TestPath("stream.gif");
  ObjectId id = {0, (void *)1};  // Nil: the node's address comes back as the handle
  AnimStreamNode *s;
  ASSERT_EQ(BeginAnimStreamNode(&id, path.c_str(), 20, 12, ANIMSTREAM_GIF, 25, 90, &s), 0);
  EXPECT_EQ(id.handle, s);
  BitMap *brush = Filled(6, 4, [](int x, int y) { return x < 3 ? 0xFF0000u : 0x00FF00u; });
  GifFrameOptions o;
  ASSERT_EQ(WriteAnimStreamFrame(s, brush, 5, 3, &o), 0);
  o.transparentColour = 0x0000FF;
  ASSERT_EQ(WriteAnimStreamFrame(s, brush, -2, 10, &o), 0);  // clipped at the left and the bottom
  o.colours = 1;
  EXPECT_EQ(WriteAnimStreamFrame(s, brush, 0, 0, &o), 1055);
  o.colours = 257;
  EXPECT_EQ(WriteAnimStreamFrame(s, brush, 0, 0, &o), 1055);
  AnimStreamNode *found;
  ASSERT_EQ(FindAnimStream(id, &found), 0);
  EXPECT_EQ(FinishAnimStream(found), 0);
  FreeBitMap(brush);

  // Frame 1: black around the picture.
  int W = 0;
  const std::vector<uint32_t> f0 = Frame(path, 0, &W);
  ASSERT_EQ(W, 20);
  EXPECT_TRUE(Near(f0[0], 0));
  EXPECT_TRUE(Near(f0[3 * 20 + 5], 0xFF0000));
  EXPECT_TRUE(Near(f0[6 * 20 + 10], 0x00FF00));
  EXPECT_TRUE(Near(f0[7 * 20 + 11], 0));
  // Frame 2: the transparent colour around the picture lands in the frame's transparent slot.
  const std::vector<GiflibImage> images = GiflibImages(path);
  ASSERT_EQ(images.size(), 2u);
  ASSERT_GE(images[1].transparent, 0);
  const std::vector<uint8_t> &r = images[1].raster;
  EXPECT_EQ(r[0], images[1].transparent);
  EXPECT_NE(r[10 * 20 + 0], images[1].transparent);  // picture column 2: red
  EXPECT_NE(r[11 * 20 + 3], images[1].transparent);  // picture column 5: green
  EXPECT_EQ(r[9 * 20 + 0], images[1].transparent);
}

TEST(AnimStream, StillGifKeepsTheTransparentSlotFreeOfPictureColours) {
  // 256 different colours: the writer's transparent slot must not take one of them.
  BitMap *bm = Filled(16, 16, [](int x, int y) { return (uint32_t)(x * 16) << 16 | (uint32_t)(y * 16) << 8 | (uint32_t)((x + y) * 8); });
  const std::string path = TestPath("still256.gif");
  ASSERT_EQ(SaveStill(path, bm, 256), 0);
  const std::vector<GiflibImage> images = GiflibImages(path);
  ASSERT_EQ(images.size(), 1u);
  ASSERT_GE(images[0].transparent, 0);
  for (uint8_t i : images[0].raster) ASSERT_NE(i, images[0].transparent);
  // A few colours come back.
  BitMap *few = Filled(8, 8, [](int x, int y) { return (x + y) % 3 == 0 ? 0x123456u : (x + y) % 3 == 1 ? 0xFEDCBAu : 0x000000u; });
  ASSERT_EQ(SaveStill(path, few, 4), 0);
  const std::vector<uint32_t> px = Frame(path, 0);
  for (int i = 0; i < 64; i++) ASSERT_TRUE(Near(px[i], ReadBitMapPixel(few, i % 8, i / 8, 0))) << i;
  const std::vector<GiflibImage> small = GiflibImages(path);
  ASSERT_EQ(small.size(), 1u);
  for (uint8_t i : small[0].raster) ASSERT_NE(i, small[0].transparent);
  // Refusals come before a file exists.
  const std::string none = TestPath("never.gif");
  unlink(none.c_str());
  EXPECT_EQ(SaveStill(none, few, 1), 1055);
  EXPECT_EQ(SaveStill(none, few, 257), 1055);
  EXPECT_NE(access(none.c_str(), F_OK), 0);
  EXPECT_EQ(SaveStill("/nonexistent-dir/x.gif", few, 4), 1052);
  FreeBitMap(bm);
  FreeBitMap(few);
}

TEST(AnimStream, LookupReplacementAndRefusals) {
  ObjectId one = {1, nullptr};
  AnimStreamNode *s;
  EXPECT_EQ(FindAnimStream(one, &s), 1341);
  ObjectId handle = {0, (void *)&one};
  EXPECT_EQ(FindAnimStream(handle, &s), 1041);
  const std::string a = TestPath("streamA.gif"), b = TestPath("streamB.avi");
  EXPECT_EQ(BeginAnimStreamNode(&one, "", 4, 4, ANIMSTREAM_GIF, 25, 90, &s), 1055);
  EXPECT_EQ(BeginAnimStreamNode(&one, a.c_str(), 0, 4, ANIMSTREAM_GIF, 25, 90, &s), 1055);
  EXPECT_EQ(BeginAnimStreamNode(&one, a.c_str(), 4, 4, 2, 25, 90, &s), 1055);
  EXPECT_EQ(BeginAnimStreamNode(&one, b.c_str(), 4, 4, ANIMSTREAM_AVI, 24, 90, &s), 1055);
  ASSERT_EQ(BeginAnimStreamNode(&one, a.c_str(), 4, 4, ANIMSTREAM_GIF, 25, 90, &s), 0);
  // Stream 1 again: the first is finished (its file complete) and replaced by an AVI stream.
  AnimStreamNode *t;
  ASSERT_EQ(BeginAnimStreamNode(&one, b.c_str(), 32, 24, ANIMSTREAM_AVI, 25, 90, &t), 0);
  EXPECT_EQ(ReadBytes(a).back(), 0x3B);
  AnimStreamNode *found;
  ASSERT_EQ(FindAnimStream(one, &found), 0);
  EXPECT_EQ(found, t);
  BitMap *brush = Filled(8, 8, [](int, int) { return 0xFFFFFFu; });
  GifFrameOptions o;
  EXPECT_EQ(WriteAnimStreamFrame(t, brush, 4, 4, &o), 0);
  EXPECT_EQ(WriteAnimStreamFrame(t, brush, 0, 0, &o), 0);
  FreeBitMap(brush);
  FreeAllAnimStreams();
  EXPECT_EQ(FindAnimStream(one, &found), 1341);
  const std::vector<uint8_t> avi = ReadBytes(b);
  ASSERT_GT(avi.size(), 12u);
  EXPECT_EQ(std::string(avi.begin(), avi.begin() + 4), "RIFF");
  EXPECT_EQ((uint32_t)avi[4] | avi[5] << 8 | avi[6] << 16 | (uint32_t)avi[7] << 24, avi.size() - 8);
}

// What a reader shows of a stream's frames when it follows the GIF rules (a frame with
// disposal 2 gives its rectangle back to a clear background) and what the player's own reader
// shows: in both, every frame is what was saved. A frame with a transparency colour shows the
// screen below through its pixels of that colour and is cleared after it.
TEST(AnimStream, FramesAfterATransparentFrameShowWhatWasSaved) {
  const int W = 16, H = 12;
  const uint32_t key = 0x142234;
  BitMap *a = Filled(W, H, [](int x, int) { return x < 8 ? 0xFF0000u : 0x142234u; });
  BitMap *b = Filled(W, H, [](int x, int y) {
    return x >= 4 && x < 12 && y >= 3 && y < 9 ? 0x142234u : x < 8 ? 0xFF0000u : 0x00FF00u;
  });
  struct Step { const BitMap *picture; bool transparent; };
  const std::vector<std::vector<Step>> cases = {
      {{a, false}, {b, true}, {a, false}},                              // the frame after is unboxed
      {{a, true}, {a, false}},                                          // a transparent first frame
      {{a, false}, {b, true}, {b, true}, {a, false}, {a, false}, {b, false}},  // boxing resumes
  };
  PreviewSheet sheet;
  for (size_t c = 0; c < cases.size(); c++) {
    SCOPED_TRACE(testing::Message() << "case " << c);
    const std::string path = TestPath("after_transparent_" + std::to_string(c) + ".gif");
    ObjectId id = {0, (void *)1};
    AnimStreamNode *s;
    ASSERT_EQ(BeginAnimStreamNode(&id, path.c_str(), W, H, ANIMSTREAM_GIF, 25, 90, &s), 0);
    std::vector<std::vector<uint32_t>> want;
    std::vector<uint32_t> screen((size_t)W * H, kClearPixel);
    for (const Step &step : cases[c]) {
      GifFrameOptions o;
      o.delay = 100;
      if (step.transparent) o.transparentColour = (int32_t)key;
      ASSERT_EQ(WriteAnimStreamFrame(s, step.picture, 0, 0, &o), 0);
      for (int i = 0; i < W * H; i++) {
        const uint32_t p = ReadBitMapPixel(step.picture, i % W, i / W, 0);
        if (!(step.transparent && p == key)) screen[i] = p;
      }
      want.push_back(screen);
      if (step.transparent) screen.assign(screen.size(), kClearPixel);
    }
    ASSERT_EQ(FinishAnimStream(s), 0);

    int gw = 0, gh = 0;
    const auto shown = GiflibScreens(path, &gw, &gh, true);
    ASSERT_EQ(shown.size(), want.size());
    int32_t rw, rh, count;
    GifReader *r = OpenGifAnim(path.c_str(), &rw, &rh, &count, 0);
    ASSERT_NE(r, nullptr);
    for (size_t f = 0; f < want.size(); f++) {
      uint32_t *own = GetGifFrame(r, (int)f);
      ASSERT_NE(own, nullptr);
      for (int i = 0; i < W * H; i++) {
        const bool clear = want[f][i] == kClearPixel;
        ASSERT_EQ(shown[f][i] == kClearPixel, clear) << "frame " << f << " pixel " << i;
        if (clear) continue;
        ASSERT_TRUE(Near(shown[f][i], want[f][i])) << "frame " << f << " pixel " << i << std::hex << " " << shown[f][i];
        ASSERT_TRUE(Near(own[i], want[f][i])) << "own reader, frame " << f << " pixel " << i;
      }
      MemFree(own);
      std::vector<uint32_t> look = shown[f];
      for (uint32_t &p : look)
        if (p == kClearPixel) p = 0xFF00FF;  // clear shows as magenta
      sheet.Add(look.data(), W, H);
    }
    CloseGifAnim(r);
  }
  sheet.Save("gif_after_transparent_frame.png", 4, 6);
  FreeBitMap(a);
  FreeBitMap(b);
}

// A still GIF of a brush with a mask or an alpha channel: the transparent index stands for the
// pixels the mask leaves out, or whose alpha is below 128, and for no other; shown pixels keep
// their colours, black ones and those of the transparent colour included.
TEST(GifPicture, OnlyClearPixelsAreTransparent) {
  const int W = 24, H = 10;
  // Black on the left, two colours on the right.
  BitMap *bm = Filled(W, H, [](int x, int y) { return x < 10 ? 0x000000u : y < 5 ? 0x336699u : 0xE0C020u; });
  Mask *mask = AllocMask(nullptr, W, H, 0);
  AlphaChannel *alpha = AllocAlphaChannel(W, H, 0);
  static const uint8_t alphas[] = {0, 1, 127, 128, 200, 255};
  auto masked = [](int x, int y) { return (x >= 6 && x < 14 && y >= 2 && y < 7) || (x + y) % 7 == 0; };
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      PutMaskRowBit(mask->pixels + (ptrdiff_t)y * mask->bytesPerRow, x, !masked(x, y));
      alpha->pixels[(ptrdiff_t)y * alpha->bytesPerRow + x] = alphas[(x + 2 * y) % 6];
    }
  struct Case { const char *name; bool useMask; uint32_t transparent; };
  const Case cases[] = {
      {"mask, transparent black", true, 0x000000},
      {"mask, transparent colour of shown pixels", true, 0x336699},
      {"mask, unused transparent colour", true, 0xABCDEF},
      {"alpha, transparent black", false, 0x000000},
      {"alpha, unused transparent colour", false, 0xABCDEF},
      {"alpha, transparent colour of shown pixels", false, 0xE0C020},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath("shaped.gif");
    ASSERT_EQ(SaveImageFile(IMGFMT_GIF, bm, W, H, path.c_str(), c.useMask ? mask : nullptr, c.transparent,
                            c.useMask ? nullptr : alpha, 90, 256, 0), 0);
    int gw = 0, gh = 0;
    const auto shown = GiflibScreens(path, &gw, &gh, true);
    ASSERT_EQ(shown.size(), 1u);
    for (int y = 0; y < H; y++)
      for (int x = 0; x < W; x++) {
        const bool clear = c.useMask ? masked(x, y) : alpha->pixels[(ptrdiff_t)y * alpha->bytesPerRow + x] < 128;
        const uint32_t p = shown[0][(size_t)y * W + x];
        ASSERT_EQ(p == kClearPixel, clear) << x << "," << y;
        if (!clear) ASSERT_TRUE(Near(p, ReadBitMapPixel(bm, x, y, 0))) << x << "," << y << std::hex << " " << p;
      }
  }
  FreeMask(mask);
  FreeAlphaChannel(alpha);
  FreeBitMap(bm);
}

}  // namespace

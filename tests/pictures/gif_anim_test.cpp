// GIF animations: our writer's files read back by our reader, by giflib and by SDL2_image;
// giflib-written and hand-built files through our reader in and out of order; the writer's
// exact bytes where they are fixed; LZW edge cases.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <map>
#include <random>

#include "pictures/gif_reader.h"
#include "pictures/gif_writer.h"
#include "runtime/errors.h"
#include "tests/pictures/gif_fixture.h"
#include "tests/pictures/picture_fixture.h"

namespace {

struct Frame {
  std::vector<uint8_t> idx;
  std::vector<uint32_t> pal;  // 256 entries
  std::vector<uint32_t> rgb() const {
    std::vector<uint32_t> v(idx.size());
    for (size_t i = 0; i < idx.size(); i++) v[i] = pal[idx[i]];
    return v;
  }
};

// Frames that change a random rectangle each time. The colours come from one set of distinct
// colours, each frame placing them at its own palette positions (so unchanged pixels may change
// index); picture indexes stay below colours - 1, the writer's transparent slot.
std::vector<Frame> RandomFrames(int W, int H, int colours, int count, uint32_t seed) {
  std::mt19937 rng(seed);
  const int usable = std::max(1, colours - 1);
  std::vector<uint32_t> set(usable);
  for (int i = 0; i < usable; i++) set[i] = (rng() & 0xFFFF00u) | (uint32_t)i;
  std::vector<Frame> frames;
  std::vector<int> colourAt((size_t)W * H);  // position in the set of every pixel
  for (auto &c : colourAt) c = (int)(rng() % usable);
  for (int n = 0; n < count; n++) {
    if (n > 0) {
      const int x0 = (int)(rng() % W), y0 = (int)(rng() % H);
      const int x1 = x0 + (int)(rng() % (W - x0)), y1 = y0 + (int)(rng() % (H - y0));
      for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) colourAt[(size_t)y * W + x] = (int)(rng() % usable);
    }
    std::vector<int> perm(usable);
    for (int i = 0; i < usable; i++) perm[i] = i;
    if (n % 2 == 0) std::shuffle(perm.begin(), perm.end(), rng);
    Frame f;
    f.pal.assign(256, 0);
    std::vector<int> indexOf(usable);
    for (int i = 0; i < usable; i++) {
      f.pal[i] = set[perm[i]];
      indexOf[perm[i]] = i;
    }
    f.idx.resize((size_t)W * H);
    for (size_t i = 0; i < f.idx.size(); i++) f.idx[i] = (uint8_t)indexOf[colourAt[i]];
    frames.push_back(f);
  }
  return frames;
}

std::vector<uint32_t> Ramp16() {
  std::vector<uint32_t> p;
  for (uint32_t i = 0; i < 16; i++) p.push_back(i * 0x0F0E0Du);
  return p;
}

std::string WriteOurGif(const std::string &name, int W, int H, const std::vector<Frame> &frames, int colours,
                        int optimize) {
  const std::string path = TestPath(name);
  GifWriter *w = nullptr;
  EXPECT_EQ(GifWriterOpen(path.c_str(), W, H, &w), 0);
  for (size_t n = 0; n < frames.size(); n++) {
    Frame f = frames[n];  // the writer changes indices and palette
    EXPECT_EQ(GifWriterAddFrame(w, f.idx.data(), W, H, (int)(n + 1) * 100, f.pal.data(), colours, -1, optimize), 0);
  }
  EXPECT_EQ(GifWriterClose(w), 0);
  return path;
}

void ExpectFrame(GifReader *r, int index, const std::vector<uint32_t> &want) {
  uint32_t *px = GetGifFrame(r, index);
  ASSERT_NE(px, nullptr) << "frame " << index;
  for (size_t i = 0; i < want.size(); i++)
    if (px[i] != want[i]) {
      ADD_FAILURE() << "frame " << index << " pixel " << i << ": " << std::hex << px[i] << " != " << want[i];
      break;
    }
  MemFree(px);
}

TEST(GifRoundTrip, RandomFramesReadBackByUsGiflibAndSdl) {
  PreviewSheet sheet;
  const int W = 64, H = 64;
  for (int colours : {2, 16, 256}) {
    for (int optimize : {0, 1}) {
      SCOPED_TRACE(testing::Message() << colours << " colours, optimize " << optimize);
      const std::vector<Frame> frames = RandomFrames(W, H, colours, 4, (uint32_t)colours * 7 + optimize);
      const std::string path =
          WriteOurGif("random_" + std::to_string(colours) + "_" + std::to_string(optimize) + ".gif", W, H, frames, colours, optimize);
      int32_t w, h, count;
      GifReader *r = OpenGifAnim(path.c_str(), &w, &h, &count, 0);
      ASSERT_NE(r, nullptr);
      ASSERT_EQ(count, 4);
      for (int k = 0; k < 4; k++) ExpectFrame(r, k, frames[k].rgb());
      for (int k : {2, 0, 3, 1, 1}) ExpectFrame(r, k, frames[k].rgb());  // out of order
      EXPECT_EQ(GetGifFrameDelay(r, 2), 300);
      CloseGifAnim(r);

      int gw = 0, gh = 0;
      const auto screens = GiflibScreens(path, &gw, &gh);
      ASSERT_EQ(screens.size(), 4u);
      for (int k = 0; k < 4; k++) EXPECT_EQ(screens[k], frames[k].rgb()) << "giflib frame " << k;

      SDL_Surface *s = IMG_Load(path.c_str());
      ASSERT_NE(s, nullptr) << IMG_GetError();
      SDL_Surface *c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
      const std::vector<uint32_t> first = frames[0].rgb();
      for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
          ASSERT_EQ(((uint32_t *)((uint8_t *)c->pixels + y * c->pitch))[x] & 0xFFFFFF, first[(size_t)y * W + x]);
      SDL_FreeSurface(c);
      SDL_FreeSurface(s);
      if (optimize) sheet.Add(frames[3].rgb().data(), W, H);
    }
  }
  sheet.Save("gif_round_trip.png", 2);
}

// Giflib's own files: disposal 2 with a transparent first frame, disposal 3, interlace, local
// palettes, a frame reaching past the screen.
TEST(GifReader, GiflibFixturesInAndOutOfOrder) {
  const int W = 24, H = 18;
  const std::vector<uint32_t> global = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0xFFFFFF};
  auto block = [](int w, int h, int colours, int seed) {
    std::vector<uint8_t> v((size_t)w * h);
    for (int i = 0; i < w * h; i++) v[i] = (uint8_t)((i * 7 + seed * 3 + i / w) % colours);
    return v;
  };
  std::vector<uint8_t> holes = block(W, H, 8, 1);
  for (size_t i = 0; i < holes.size(); i += 3) holes[i] = 5;  // transparent
  const std::vector<GifFrameSpec> frames = {
      {0, 0, W, H, false, 2, 5, 10, {}, holes},
      {2, 2, 10, 9, true, 3, -1, 20, {}, block(10, 9, 8, 2)},
      {6, 4, 12, 12, false, 1, 0, 5, {0x112233, 0x445566, 0x778899, 0xAABBCC}, block(12, 12, 4, 3)},
      {0, 0, W, H, true, 0, -1, 7, Ramp16(), block(W, H, 16, 4)},
      {16, 12, 16, 12, false, 2, -1, 0, {}, block(16, 12, 8, 5)},
      {3, 3, 5, 5, false, 0, 4, 1, {}, block(5, 5, 8, 6)},
  };
  const std::string path = TestPath("giflib_fixture.gif");
  ASSERT_TRUE(WriteGiflibGif(path, W, H, global, 2, frames));
  const auto want = ComposeGif(W, H, global, 2, frames);
  int32_t w, h, count;
  GifReader *r = OpenGifAnim(path.c_str(), &w, &h, &count, 0);
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(count, (int)frames.size());
  EXPECT_EQ(w, W);
  for (int k = 0; k < count; k++) ExpectFrame(r, k, want[k]);
  for (int k : {5, 1, 4, 0, 3, 3, 2}) ExpectFrame(r, k, want[k]);
  EXPECT_EQ(GetGifFrame(r, count), nullptr);
  EXPECT_EQ(GetGifFrame(r, -1), nullptr);
  EXPECT_EQ(GetGifFrameDelay(r, 1), 200);
  CloseGifAnim(r);
  // The first frame starts from a screen of its transparent colour.
  EXPECT_EQ(want[0][0], global[5]);
}

// Random animations by giflib: frame rectangles anywhere (also past the screen), every disposal,
// transparency, interlace, local tables of random sizes; asked for in order, backwards and at
// random.
TEST(GifReader, RandomGiflibAnimations) {
  std::mt19937 rng(2024);
  for (int n = 0; n < 24; n++) {
    SCOPED_TRACE(n);
    const int W = 1 + (int)(rng() % 40), H = 1 + (int)(rng() % 30);
    std::vector<uint32_t> global;
    if (rng() % 4) {
      global.resize((size_t)2 << (rng() % 8));
      for (auto &c : global) c = rng() & 0xFFFFFF;
    }
    std::vector<GifFrameSpec> frames;
    const int count = 1 + (int)(rng() % 7);
    for (int k = 0; k < count; k++) {
      GifFrameSpec f;
      f.left = (int)(rng() % (W + 4));
      f.top = (int)(rng() % (H + 4));
      f.w = 1 + (int)(rng() % (W + 3));
      f.h = 1 + (int)(rng() % (H + 3));
      if (rng() % 3 == 0) f.left = f.top = 0, f.w = W, f.h = H;
      f.interlace = rng() % 3 == 0;
      f.disposal = (int)(rng() % 4);
      if (global.empty() || rng() % 3 == 0) {
        f.local.resize((size_t)2 << (rng() % 8));
        for (auto &c : f.local) c = rng() & 0xFFFFFF;
      }
      const int colours = (int)(f.local.empty() ? global.size() : f.local.size());
      f.transparent = rng() % 2 ? (int)(rng() % colours) : -1;
      f.delay = (int)(rng() % 50);
      f.indices.resize((size_t)f.w * f.h);
      for (auto &i : f.indices) i = (uint8_t)(rng() % colours);
      frames.push_back(f);
    }
    const int bg = global.empty() ? 0 : (int)(rng() % global.size());
    const std::string path = TestPath("random_giflib.gif");
    ASSERT_TRUE(WriteGiflibGif(path, W, H, global, bg, frames));
    const auto want = ComposeGif(W, H, global, bg, frames);
    int32_t w, h, got;
    GifReader *r = OpenGifAnim(path.c_str(), &w, &h, &got, 0);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(got, count);
    for (int k = 0; k < count; k++) ExpectFrame(r, k, want[k]);
    for (int k = count - 1; k >= 0; k--) ExpectFrame(r, k, want[k]);
    for (int i = 0; i < 6; i++) {
      const int k = (int)(rng() % count);
      ExpectFrame(r, k, want[k]);
    }
    for (int k = 0; k < count; k++) EXPECT_EQ(GetGifFrameDelay(r, k), frames[k].delay * 10);
    CloseGifAnim(r);
  }
}

// A test-side LZW encoder; with deferClear it never sends a clear code once the table is full.
std::vector<uint8_t> HandLZW(const std::vector<uint8_t> &px, int minSize, bool deferClear, int badCodeAt = -1) {
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int bits = 0, width = minSize + 1;
  const int clear = 1 << minSize;
  int next = clear + 2;
  auto send = [&](int code) {
    acc |= (uint32_t)code << bits;
    bits += width;
    while (bits >= 8) {
      bytes.push_back((uint8_t)acc);
      acc >>= 8;
      bits -= 8;
    }
  };
  std::map<std::pair<int, int>, int> dict;
  send(clear);
  int cur = px[0], sent = 0;
  for (size_t i = 1; i < px.size(); i++) {
    auto it = dict.find({cur, px[i]});
    if (it != dict.end()) {
      cur = it->second;
      continue;
    }
    send(sent++ == badCodeAt ? next + 5 : cur);
    if (next < 4096) {
      dict[{cur, px[i]}] = next++;
      if (next == (1 << width) + 1 && width < 12) width++;
    } else if (!deferClear) {
      send(clear);
      dict.clear();
      next = clear + 2;
      width = minSize + 1;
    }
    cur = px[i];
  }
  send(cur);
  if (next == (1 << width) && width < 12) width++;
  send(clear + 1);
  if (bits) bytes.push_back((uint8_t)acc);
  std::vector<uint8_t> out = {(uint8_t)minSize};
  for (size_t i = 0; i < bytes.size(); i += 200) {
    const size_t n = std::min<size_t>(200, bytes.size() - i);
    out.push_back((uint8_t)n);
    out.insert(out.end(), bytes.begin() + i, bytes.begin() + i + n);
  }
  out.push_back(0);
  return out;
}

std::vector<uint8_t> HandGif(int W, int H, const std::vector<uint8_t> &lzw) {
  Bytes b;
  b.str("GIF87a").le16(W).le16(H).u8(0xF7).u8(0).u8(0);
  for (int i = 0; i < 256; i++) b.u8(i).u8(255 - i).u8(i * 7);
  b.u8(0x2C).le16(0).le16(0).le16(W).le16(H).u8(0).raw(lzw).u8(0x3B);
  return b.v;
}

TEST(GifReader, DeferredClearAndBrokenLZW) {
  const int W = 96, H = 96;
  std::mt19937 rng(5);
  std::vector<uint8_t> px((size_t)W * H);
  for (auto &v : px) v = (uint8_t)(rng() % 256);
  struct Case { const char *name; std::vector<uint8_t> lzw; bool ok; };
  const Case cases[] = {
      {"with_clear", HandLZW(px, 8, false), true},
      {"deferred_clear", HandLZW(px, 8, true), true},
      {"code_past_table", HandLZW(px, 8, false, 100), false},
      {"too_few_pixels", HandLZW(std::vector<uint8_t>(px.begin(), px.begin() + W * H / 2), 8, false), false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath(std::string("hand_") + c.name + ".gif");
    WriteBytes(path, HandGif(W, H, c.lzw));
    int32_t w, h, count = 0;
    GifReader *r = OpenGifAnim(path.c_str(), &w, &h, &count, 0);
    ASSERT_EQ(r != nullptr, c.ok);
    if (!r) continue;
    uint32_t *out = GetGifFrame(r, 0);
    ASSERT_NE(out, nullptr);
    for (size_t i = 0; i < px.size(); i++)
      ASSERT_EQ(out[i], (uint32_t)px[i] << 16 | (uint32_t)(255 - px[i]) << 8 | (uint8_t)(px[i] * 7)) << i;
    MemFree(out);
    CloseGifAnim(r);
  }
}

// Offsets of the image descriptors in one of our files (graphic control extension first).
std::vector<size_t> Descriptors(const std::vector<uint8_t> &f) {
  std::vector<size_t> at;
  size_t i = 13 + 768;
  while (i < f.size() && f[i] != 0x3B) {
    if (f[i] == 0x21) {
      i += 2;
      while (f[i]) i += f[i] + 1;
      i++;
    } else {
      at.push_back(i);
      const int bits = (f[i + 9] & 7) + 1;
      i += 10 + (3u << bits) + 1;
      while (f[i]) i += f[i] + 1;
      i++;
    }
  }
  return at;
}

TEST(GifWriter, FixedBytes) {
  const int W = 8, H = 4;
  std::vector<uint8_t> idx(W * H, 0);
  std::vector<uint32_t> pal(256, 0);
  pal[0] = 0x123456;
  const std::string path = TestPath("fixed.gif");
  GifWriter *w;
  ASSERT_EQ(GifWriterOpen(path.c_str(), W, H, &w), 0);
  ASSERT_EQ(GifWriterAddFrame(w, idx.data(), W, H, 250, pal.data(), 2, -1, 1), 0);
  std::vector<uint8_t> again(W * H, 0);
  ASSERT_EQ(GifWriterAddFrame(w, again.data(), W, H, 0, pal.data(), 2, -1, 1), 0);
  std::vector<uint32_t> pal256(256, 0);
  for (int i = 0; i < 255; i++) pal256[i] = (uint32_t)i;
  ASSERT_EQ(GifWriterAddFrame(w, idx.data(), W, H, 0, pal256.data(), 255, 254, 1), 0);
  ASSERT_EQ(GifWriterClose(w), 0);
  const std::vector<uint8_t> f = ReadBytes(path);
  const std::vector<uint8_t> head = Bytes().str("GIF89a").le16(W).le16(H).u8(0xF7).u8(0).u8(0).str("Amiga rules!").v;
  ASSERT_GT(f.size(), 13u + 768u);
  EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 25), head);
  EXPECT_EQ(f.back(), 0x3B);
  // First frame: control block (disposal 1, transparency on, 25 hundredths, slot 1), the looping
  // extension, a 2-entry local table and minimum code size 2.
  const size_t g = 13 + 768;
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + g, f.begin() + g + 8), (std::vector<uint8_t>{0x21, 0xF9, 4, 5, 25, 0, 1, 0}));
  const std::vector<uint8_t> loop = Bytes().u8(0x21).u8(0xFF).u8(11).str("NETSCAPE2.0").u8(3).u8(1).le16(0).u8(0).v;
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + g + 8, f.begin() + g + 27), loop);
  const std::vector<size_t> d = Descriptors(f);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(f[d[0] + 9], 0x80);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + d[0] + 10, f.begin() + d[0] + 16), (std::vector<uint8_t>{0x12, 0x34, 0x56, 0, 0, 0}));
  EXPECT_EQ(f[d[0] + 16], 2);
  // An unchanged frame: one transparent pixel at (0, 0).
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + d[1] + 1, f.begin() + d[1] + 9), (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 1, 0}));
  EXPECT_EQ(f[d[1] - 2], 1);  // the control block's transparent index: colours - 1
  // 255 colours and a given transparent index: disposal 2, a full 256-entry table ending FF FF FF.
  EXPECT_EQ(f[d[2] - 5], 0x09);
  EXPECT_EQ(f[d[2] - 2], 254);
  EXPECT_EQ(f[d[2] + 9], 0x87);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + d[2] + 10 + 255 * 3, f.begin() + d[2] + 10 + 256 * 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
}

// Optimized frames around one written without optimize, each with its own palette: every
// frame reads back as written.
TEST(GifWriter, OptimizeAcrossPalettesAndPlainFrames) {
  const int W = 16, H = 16;
  const std::vector<Frame> frames = RandomFrames(W, H, 16, 5, 77);
  const std::string path = TestPath("mixed.gif");
  GifWriter *w;
  ASSERT_EQ(GifWriterOpen(path.c_str(), W, H, &w), 0);
  const int optimize[5] = {1, 1, 0, 1, 1};
  for (int k = 0; k < 5; k++) {
    Frame f = frames[k];
    ASSERT_EQ(GifWriterAddFrame(w, f.idx.data(), W, H, 0, f.pal.data(), 16, -1, optimize[k]), 0);
  }
  ASSERT_EQ(GifWriterClose(w), 0);
  int32_t fw, fh, n;
  GifReader *r = OpenGifAnim(path.c_str(), &fw, &fh, &n, 0);
  ASSERT_NE(r, nullptr);
  for (int k = 0; k < 5; k++) ExpectFrame(r, k, frames[k].rgb());
  CloseGifAnim(r);
}

TEST(GifWriter, RefusalsAndFailedWrites) {
  GifWriter *w = nullptr;
  EXPECT_EQ(GifWriterOpen(TestPath("x.gif").c_str(), 0, 4, &w), 1055);
  EXPECT_EQ(GifWriterOpen(TestPath("x.gif").c_str(), 65536, 4, &w), 1055);
  EXPECT_EQ(GifWriterOpen("/nonexistent-dir/x.gif", 4, 4, &w), 1052);
  EXPECT_EQ(std::string(GetErrorArgString()), "/nonexistent-dir/x.gif");
  EXPECT_EQ(w, nullptr);
  // /dev/full takes no bytes: the first frame (or at the latest the close) reports 1005.
  ASSERT_EQ(GifWriterOpen("/dev/full", 4, 4, &w) == 0 || w == nullptr, true);
  if (w) {
    std::vector<uint8_t> idx(16, 0);
    std::vector<uint32_t> pal(256, 0);
    const int rc = GifWriterAddFrame(w, idx.data(), 4, 4, 0, pal.data(), 2, -1, 0);
    EXPECT_TRUE(rc == 1005 || rc == 0);
    EXPECT_EQ(GifWriterClose(w), 1005);
  }
  ASSERT_EQ(GifWriterOpen(TestPath("x.gif").c_str(), 4, 4, &w), 0);
  std::vector<uint8_t> idx(16, 0);
  std::vector<uint32_t> pal(256, 0);
  EXPECT_EQ(GifWriterAddFrame(w, idx.data(), 5, 4, 0, pal.data(), 2, -1, 0), 1055);
  EXPECT_EQ(GifWriterAddFrame(w, idx.data(), 4, 4, 0, pal.data(), 0, -1, 0), 1055);
  EXPECT_EQ(GifWriterAddFrame(w, idx.data(), 4, 4, 0, pal.data(), 257, -1, 0), 1055);
  EXPECT_EQ(GifWriterClose(w), 0);
}

}  // namespace

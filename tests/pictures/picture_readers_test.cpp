// The still-picture readers through LoadImageFile: ILBM, BMP and GIF files made here by
// test-side writers (giflib for GIF) over the formats' modes and edge cases, the refusals, and
// the ILBM writer and its packer. Writes previews/picture_readers.png.
#include <gtest/gtest.h>

#include <functional>

#include "gfx/picload.h"
#include "pictures/iff_planar.h"
#include "pictures/picture_readers.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "tests/pictures/gif_fixture.h"
#include "tests/pictures/picture_fixture.h"

namespace {

PreviewSheet g_sheet;

struct Loaded {
  int rc = -1;
  uint32_t *px = nullptr;
  uint32_t *palette = nullptr;
  int32_t key = -2, w = -1, h = -1;
  ~Loaded() {
    MemFree(px);
    MemFree(palette);
  }
  uint32_t at(int x, int y) const { return px[(size_t)y * w + x]; }
};

void Load(const std::string &path, Loaded *l, bool sizeOnly = false) {
  l->rc = LoadImageFile(path.c_str(), &l->palette, 0, 0, 0, sizeOnly ? nullptr : &l->px, nullptr, nullptr, &l->key,
                        &l->w, &l->h);
}

// ---------------------------------------------------------------------------------------------
// ILBM

// A second ByteRun1 packer: a no-op packet, then runs of two or more and literals.
std::vector<uint8_t> TestPack(const uint8_t *p, size_t n) {
  std::vector<uint8_t> out = {0x80};
  size_t i = 0;
  while (i < n) {
    size_t r = 1;
    while (i + r < n && p[i + r] == p[i] && r < 128) r++;
    if (r >= 2) {
      out.push_back((uint8_t)(257 - r));
      out.push_back(p[i]);
      i += r;
      continue;
    }
    size_t j = i + 1;
    while (j < n && j - i < 128 && !(j + 1 < n && p[j] == p[j + 1])) j++;
    out.push_back((uint8_t)(j - i - 1));
    out.insert(out.end(), p + i, p + j);
    i = j;
  }
  return out;
}

struct IlbmSpec {
  const char *name;
  int w, h, planes, compression, masking;
  int64_t camg;  // -1: no CAMG chunk
  int cmapAt;    // 0 none, 1 before the BODY, 2 behind it
  std::vector<uint32_t> cmap;
  std::function<uint32_t(int, int)> value;  // palette index, or 0xRRGGBB for 24 planes
};

std::vector<uint8_t> Chunk(const char *id, const std::vector<uint8_t> &body) {
  Bytes b;
  b.str(id).be32((uint32_t)body.size()).raw(body);
  if (body.size() & 1) b.u8(0);
  return b.v;
}

// Bit p of an index; of 24-plane colours, planes 0-7 hold red, 8-15 green, 16-23 blue.
bool PlaneBit(const IlbmSpec &s, uint32_t v, int p) {
  if (s.planes == 24) return (v >> (16 - 8 * (p / 8)) >> (p % 8)) & 1;
  return (v >> p) & 1;
}

std::vector<uint8_t> MakeILBM(const IlbmSpec &s) {
  const int rowBytes = ((s.w + 15) / 16) * 2;
  Bytes bmhd;
  bmhd.be16(s.w).be16(s.h).be16(0).be16(0).u8(s.planes).u8(s.masking).u8(s.compression).u8(0).be16(0).u8(1).u8(1);
  bmhd.be16(s.w).be16(s.h);
  Bytes body;
  for (int y = 0; y < s.h; y++) {
    for (int p = 0; p < s.planes + (s.masking == 1); p++) {
      std::vector<uint8_t> row(rowBytes, p == s.planes ? 0xA5 : 0);
      if (p < s.planes)
        for (int x = 0; x < s.w; x++)
          if (PlaneBit(s, s.value(x, y), p)) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
      body.raw(s.compression ? TestPack(row.data(), row.size()) : row);
    }
  }
  Bytes cmap;
  for (uint32_t c : s.cmap) cmap.u8(c >> 16).u8(c >> 8).u8(c);
  Bytes form;
  form.str("ILBM").raw(Chunk("BMHD", bmhd.v));
  if (s.camg >= 0) form.raw(Chunk("CAMG", Bytes().be32((uint32_t)s.camg).v));
  if (s.cmapAt == 1) form.raw(Chunk("CMAP", cmap.v));
  form.raw(Chunk("BODY", body.v));
  if (s.cmapAt == 2) form.raw(Chunk("CMAP", cmap.v));
  return Bytes().str("FORM").be32((uint32_t)form.size()).raw(form.v).v;
}

// What each pixel must become, computed from the fixture's own values.
std::vector<uint32_t> ExpectedILBM(const IlbmSpec &s) {
  std::vector<uint32_t> pal(256, 0);
  for (size_t i = 0; i < s.cmap.size() && i < 256; i++) pal[i] = s.cmap[i];
  const bool ham = s.camg >= 0 && (s.camg & 0x800), ehb = s.camg >= 0 && (s.camg & 0x80);
  if (ehb && !ham)
    for (int i = 0; i < 32; i++) pal[32 + i] = (pal[i] >> 1) & 0x7F7F7F;
  const int bits = s.planes > 6 ? 6 : 4;
  std::vector<uint32_t> out;
  for (int y = 0; y < s.h; y++) {
    uint32_t r = 0, g = 0, b = 0;
    for (int x = 0; x < s.w; x++) {
      const uint32_t v = s.value(x, y);
      if (s.planes == 24) {
        out.push_back(v);
      } else if (!ham) {
        out.push_back(pal[v]);
      } else {
        const uint32_t low = v & ((1u << bits) - 1), sel = v >> bits & 3, comp = low << (8 - bits);
        if (sel == 0) {
          r = pal[low] >> 16 & 255;
          g = pal[low] >> 8 & 255;
          b = pal[low] & 255;
        } else if (sel == 1) {
          b = comp;
        } else if (sel == 2) {
          r = comp;
        } else {
          g = comp;
        }
        out.push_back(r << 16 | g << 8 | b);
      }
    }
  }
  return out;
}

std::vector<uint32_t> Ramp(int n, uint32_t seed) {
  std::vector<uint32_t> p;
  for (int i = 0; i < n; i++) p.push_back(((uint32_t)i * seed * 2654435761u >> 8) & 0xFFFFFF);
  return p;
}

TEST(ReadILBM, EveryModeDecodes) {
  const std::vector<IlbmSpec> specs = {
      {"1plane", 3, 2, 1, 0, 0, -1, 1, {0x000000, 0xFFFFFF}, [](int x, int y) { return (uint32_t)((x ^ y) & 1); }},
      {"4planes_cmap_after_body", 17, 6, 4, 1, 0, -1, 2, Ramp(16, 3),
       [](int x, int y) { return (uint32_t)((x + 2 * y) % 16); }},
      {"8planes_masked", 20, 8, 8, 1, 1, 0, 1, Ramp(256, 5),
       [](int x, int y) { return (uint32_t)((x * 7 + y * 13) & 255); }},
      {"ham6", 24, 8, 6, 1, 0, 0x800, 1, {0, 0x102030, 0x405060, 0x123456},
       [](int x, int y) { return x == 0 ? 3u : x == 1 ? 0x1Fu : (uint32_t)((x % 4) << 4 | ((x * 3 + y) & 15)); }},
      {"ham8", 24, 8, 8, 0, 0, 0x800, 1, Ramp(64, 7),
       [](int x, int y) { return (uint32_t)((x % 4) << 6 | ((x * 5 + y) & 63)); }},
      {"ehb", 24, 8, 6, 1, 0, 0x80, 1, Ramp(32, 11), [](int x, int y) { return (uint32_t)((x + y * 5) % 64); }},
      {"24planes", 24, 8, 24, 1, 0, -1, 0, {},
       [](int x, int y) { return (uint32_t)(x * 10) << 16 | (uint32_t)(y * 30) << 8 | (uint32_t)((x * y) & 255); }},
      {"24planes_plain_5wide", 5, 3, 24, 0, 0, -1, 0, {},
       [](int x, int y) { return 0xFFFFFFu - (uint32_t)(x * 0x030201 + y * 0x102030); }},
  };
  for (const IlbmSpec &s : specs) {
    SCOPED_TRACE(s.name);
    const std::string path = TestPath(std::string(s.name) + ".iff");
    WriteBytes(path, MakeILBM(s));
    Loaded l;
    Load(path, &l);
    ASSERT_EQ(l.rc, 0);
    ASSERT_EQ(l.w, s.w);
    ASSERT_EQ(l.h, s.h);
    EXPECT_EQ(l.key, -1);
    const std::vector<uint32_t> want = ExpectedILBM(s);
    for (int i = 0; i < s.w * s.h; i++) ASSERT_EQ(l.px[i], want[i]) << "pixel " << i % s.w << "," << i / s.w;
    const bool indexed = s.planes < 24 && !(s.camg >= 0 && (s.camg & 0x800));
    ASSERT_EQ(l.palette != nullptr, indexed);
    if (indexed) {
      EXPECT_EQ(l.palette[0], s.cmap[0]);
    }
    g_sheet.Add(l.px, l.w, l.h);
  }
  // HAM6: 0x1F after palette entry 3 replaces blue by 15 x 16 and keeps red and green.
  Loaded l;
  Load(TestPath("ham6.iff"), &l);
  EXPECT_EQ(l.at(1, 0), 0x1234F0u);
  // EHB: entry 32 + i is entry i halved.
  Loaded e;
  Load(TestPath("ehb.iff"), &e);
  ASSERT_NE(e.palette, nullptr);
  EXPECT_EQ(e.palette[40], (e.palette[8] >> 1) & 0x7F7F7F);
}

TEST(ReadILBM, BrokenAndUnsupportedFiles) {
  auto base = [](int w, int h, int planes) {
    return IlbmSpec{"", w, h, planes, 1, 0, -1, 1, Ramp(256, 3), [](int x, int y) { return (uint32_t)(x + y) & 1; }};
  };
  struct Case {
    const char *name;
    std::vector<uint8_t> bytes;
    int rc, sizeRc;
  };
  IlbmSpec noCmap = base(4, 4, 4);
  noCmap.cmapAt = 0;
  std::vector<uint8_t> noBody = MakeILBM(base(4, 4, 2));
  noBody.resize(12 + 28);  // FORM header and BMHD only
  std::vector<Case> cases = {
      {"no_bmhd", Bytes().str("FORM").be32(12).str("ILBMBODY").be32(0).v, 1358, 1358},
      {"no_body", noBody, 1358, 0},
      {"no_cmap", MakeILBM(noCmap), 1358, 0},
      {"planes0", MakeILBM(base(4, 4, 0)), 1358, 1358},
      {"planes9", MakeILBM(base(4, 4, 9)), 1358, 1358},
      {"planes23", MakeILBM(base(4, 4, 23)), 1358, 1358},
      {"planes25", MakeILBM(base(4, 4, 25)), 1358, 1358},
      {"width0", MakeILBM(base(0, 4, 1)), 1358, 1358},
  };
  // 65535 x 65535 is over the decoder's pixel limit: refused before anything is allocated.
  std::vector<uint8_t> huge = MakeILBM(base(2, 2, 1));
  huge[20] = huge[21] = huge[22] = huge[23] = 0xFF;
  cases.push_back({"huge", huge, 1000, 1000});
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath(std::string("bad_") + c.name + ".iff");
    WriteBytes(path, c.bytes);
    Loaded l, s;
    Load(path, &l);
    EXPECT_EQ(l.rc, c.rc);
    EXPECT_EQ(l.px, nullptr);
    EXPECT_EQ(l.palette, nullptr);
    EXPECT_EQ(std::string(GetErrorArgString()), path);
    Load(path, &s, true);
    EXPECT_EQ(s.rc, c.sizeRc);
  }
}

TEST(ReadILBM, PacketsPastTheRowAndShortBodiesStayInBounds) {
  // A 3 x 2 picture of 1 plane (2-byte rows) whose first packet is a 128-byte literal, then
  // data that ends in the second row: the literal fills row 0 and the rest of it is dropped.
  Bytes body;
  body.u8(127);
  for (int i = 0; i < 128; i++) body.u8(i == 0 ? 0xA0 : 0xFF);
  body.u8(0xFF);  // a run control with no byte behind it: the data ends here
  Bytes bmhd;
  bmhd.be16(3).be16(2).be32(0).u8(1).u8(0).u8(1).u8(0).be16(0).u8(1).u8(1).be16(3).be16(2);
  Bytes form;
  form.str("ILBM").raw(Chunk("BMHD", bmhd.v)).raw(Chunk("CMAP", {0, 0, 0, 255, 255, 255})).raw(Chunk("BODY", body.v));
  const std::string path = TestPath("overrun.iff");
  WriteBytes(path, Bytes().str("FORM").be32((uint32_t)form.size()).raw(form.v).v);
  Loaded l;
  Load(path, &l);
  ASSERT_EQ(l.rc, 0);
  const uint32_t want[6] = {0xFFFFFF, 0, 0xFFFFFF, 0, 0, 0};  // 0xA0: pixels 0 and 2 set; row 1 never came
  for (int i = 0; i < 6; i++) EXPECT_EQ(l.px[i], want[i]) << i;
}

TEST(WriteILBM, ExactFilesAndRoundTrip) {
  struct Case { uint32_t colour; size_t fileSize, bodySize; };
  for (const Case &c : {Case{0x000000, 96, 48}, Case{0xFFFFFF, 120, 72}}) {
    const std::string path = TestPath("one_pixel.iff");
    ASSERT_EQ(WriteILBM(path.c_str(), &c.colour, 1, 1), 0);
    const std::vector<uint8_t> f = ReadBytes(path);
    ASSERT_EQ(f.size(), c.fileSize);
    const std::vector<uint8_t> head = Bytes()
                                          .str("FORM").be32((uint32_t)(40 + c.bodySize)).str("ILBMBMHD").be32(20)
                                          .be16(1).be16(1).be32(0).u8(24).u8(0).u8(1).u8(0).be16(0).u8(1).u8(1)
                                          .be16(1).be16(1).str("BODY").be32((uint32_t)c.bodySize).v;
    EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 48), head);
    // Every plane row: a literal of 0x80, 0 (white) or a run of two 0 bytes (black).
    const std::vector<uint8_t> packet = c.colour ? std::vector<uint8_t>{1, 0x80, 0} : std::vector<uint8_t>{0xFF, 0};
    for (size_t p = 0; p < 24; p++)
      EXPECT_EQ(std::vector<uint8_t>(f.begin() + 48 + packet.size() * p, f.begin() + 48 + packet.size() * (p + 1)), packet);
  }
  // Rows of noise wider than 256 bytes a plane (2100 pixels): every literal packet adds a
  // control byte, more than two a row.
  {
    const int nw = 2100, nh = 2;
    std::vector<uint32_t> noise(nw * nh);
    uint32_t r = 99;
    for (auto &p : noise) p = (r = r * 1664525u + 1013904223u) >> 8;
    const std::string path = TestPath("noise.iff");
    ASSERT_EQ(WriteILBM(path.c_str(), noise.data(), nw, nh), 0);
    Loaded l;
    Load(path, &l);
    ASSERT_EQ(l.rc, 0);
    EXPECT_EQ(std::vector<uint32_t>(l.px, l.px + nw * nh), noise);
  }
  // Odd widths, runs and noise come back unchanged; an odd BODY gets its pad byte.
  const int w = 37, h = 5;
  std::vector<uint32_t> px(w * h);
  uint32_t s = 7;
  for (int i = 0; i < w * h; i++) {
    s = s * 1103515245u + 12345;
    px[i] = i < 40 ? 0xFF123456u : (s >> 4);  // the top byte is ignored
  }
  const std::string path = TestPath("roundtrip.iff");
  ASSERT_EQ(WriteILBM(path.c_str(), px.data(), w, h), 0);
  const std::vector<uint8_t> f = ReadBytes(path);
  const uint32_t body = (uint32_t)f[44] << 24 | f[45] << 16 | f[46] << 8 | f[47];
  EXPECT_EQ(f.size(), 48 + body + (body & 1));
  Loaded l;
  Load(path, &l);
  ASSERT_EQ(l.rc, 0);
  EXPECT_EQ(l.palette, nullptr);
  for (int i = 0; i < w * h; i++) ASSERT_EQ(l.px[i], px[i] & 0xFFFFFF) << i;
  g_sheet.Add(l.px, w, h);
}

TEST(WriteILBM, RefusedSizesAndFailedWrites) {
  uint32_t px[4] = {};
  const std::string path = TestPath("refused.iff");
  EXPECT_EQ(WriteILBM(path.c_str(), px, 65536, 1), 1055);
  EXPECT_EQ(WriteILBM(path.c_str(), px, 1, 65536), 1055);
  EXPECT_EQ(WriteILBM(path.c_str(), px, 0, 1), 1055);
  EXPECT_EQ(WriteILBM("/nonexistent-dir/x.iff", px, 2, 2), 1052);
  EXPECT_EQ(std::string(GetErrorArgString()), "/nonexistent-dir/x.iff");
  // A device that takes no bytes: the writes or the close fail.
  EXPECT_EQ(WriteILBM("/dev/full", px, 2, 2), 1005);
}

TEST(PackByteRun1, Packets) {
  struct Case { std::vector<uint8_t> in, out; };
  std::vector<uint8_t> equal200(200, 9), distinct129(129);
  for (int i = 0; i < 129; i++) distinct129[i] = (uint8_t)i;
  std::vector<uint8_t> lit128 = {127};
  lit128.insert(lit128.end(), distinct129.begin(), distinct129.begin() + 128);
  lit128.insert(lit128.end(), {0, 128});
  const Case cases[] = {
      {{5}, {0, 5}},
      {{1, 1}, {0xFF, 1}},
      {{1, 2, 3}, {2, 1, 2, 3}},
      {{1, 2, 2, 3}, {3, 1, 2, 2, 3}},       // a pair inside a literal stays literal
      {{1, 2, 2, 2, 3}, {0, 1, 0xFE, 2, 0, 3}},  // three equal bytes start a run
      {equal200, {0x81, 9, 0xB9, 9}},        // 128 + 72
      {distinct129, lit128},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> out(MaxByteRun1Size(c.in.size()));
    out.resize(PackByteRun1(c.in.data(), c.in.size(), out.data()));
    EXPECT_EQ(out, c.out);
  }
}

// ---------------------------------------------------------------------------------------------
// BMP

struct BmpFixture {
  int w, h, bits;
  uint32_t compression, headerSize, coloursUsed;
  std::vector<uint32_t> palette;
  std::vector<uint8_t> data;  // pixel data as stored
  uint32_t fileSizeField = 0;  // 0: the real size
};

std::vector<uint8_t> MakeBMP(const BmpFixture &s) {
  const uint32_t dataOffset = 14 + s.headerSize + 4 * (uint32_t)s.palette.size();
  Bytes b;
  const uint32_t fileSize = dataOffset + (uint32_t)s.data.size();
  b.str("BM").le32(s.fileSizeField ? s.fileSizeField : fileSize).le32(0).le32(dataOffset);
  b.le32(s.headerSize).le32((uint32_t)s.w).le32((uint32_t)s.h).le16(1).le16(s.bits).le32(s.compression);
  b.le32(0).le32(2835).le32(2835).le32(s.coloursUsed).le32(0);
  while (b.size() < 14 + s.headerSize) b.u8(0x5A);  // the larger header's other fields
  for (uint32_t c : s.palette) b.u8(c).u8(c >> 8).u8(c >> 16).u8(0);
  return b.raw(s.data).v;
}

// Stored rows, bottom row first, each padded to 4 bytes; value(x, y) is an index or 0xRRGGBB.
std::vector<uint8_t> BmpRows(int w, int h, int bits, const std::function<uint32_t(int, int)> &value,
                             uint8_t tail = 0) {
  std::vector<uint8_t> d;
  for (int y = h - 1; y >= 0; y--) {
    std::vector<uint8_t> row;
    if (bits == 24) {
      for (int x = 0; x < w; x++) {
        const uint32_t c = value(x, y);
        row.insert(row.end(), {(uint8_t)c, (uint8_t)(c >> 8), (uint8_t)(c >> 16)});
      }
    } else {
      row.assign(((size_t)w * bits + 7) / 8, 0);
      for (int x = 0; x < w; x++) row[x * bits / 8] |= (uint8_t)(value(x, y) << (8 - bits - (x * bits) % 8));
      if (bits == 4 && (w & 1)) row.back() |= tail;  // the unused low nibble of an odd row
    }
    while (row.size() % 4) row.push_back(0);
    d.insert(d.end(), row.begin(), row.end());
  }
  return d;
}

TEST(ReadBMP, EveryDepthAndHeader) {
  auto idx1 = [](int x, int y) { return (uint32_t)((x + y) & 1); };
  auto idx4 = [](int x, int y) { return (uint32_t)((x * 3 + y) & 15); };
  auto idx8 = [](int x, int y) { return (uint32_t)((x * 37 + y * 11) & 255); };
  auto rgb = [](int x, int y) { return (uint32_t)(x * 40 & 255) << 16 | (uint32_t)(y * 60) << 8 | (uint32_t)(200 - x * y); };
  struct Case {
    const char *name;
    BmpFixture spec;
    std::function<uint32_t(int, int)> value;
    bool indexed;
  };
  const std::vector<uint32_t> two = {0x102030, 0xF0E0D0};
  const std::vector<Case> cases = {
      {"1bit_colours0", {10, 3, 1, 0, 40, 0, two, BmpRows(10, 3, 1, idx1)}, idx1, true},
      {"4bit_5wide", {5, 3, 4, 0, 40, 16, Ramp(16, 13), BmpRows(5, 3, 4, idx4, 0x0F)}, idx4, true},
      {"8bit", {16, 6, 8, 0, 40, 256, Ramp(256, 17), BmpRows(16, 6, 8, idx8)}, idx8, true},
      {"8bit_header108", {16, 6, 8, 0, 108, 256, Ramp(256, 19), BmpRows(16, 6, 8, idx8)}, idx8, true},
      {"24bit_3wide", {3, 2, 24, 0, 40, 0, {}, BmpRows(3, 2, 24, rgb)}, rgb, false},
      {"24bit_header124", {12, 5, 24, 0, 124, 0, {}, BmpRows(12, 5, 24, rgb)}, rgb, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath(std::string(c.name) + ".bmp");
    WriteBytes(path, MakeBMP(c.spec));
    Loaded l;
    Load(path, &l);
    ASSERT_EQ(l.rc, 0);
    ASSERT_EQ(l.w, c.spec.w);
    ASSERT_EQ(l.h, c.spec.h);
    for (int y = 0; y < l.h; y++)
      for (int x = 0; x < l.w; x++)
        ASSERT_EQ(l.at(x, y), c.indexed ? c.spec.palette[c.value(x, y)] : c.value(x, y)) << x << "," << y;
    ASSERT_EQ(l.palette != nullptr, c.indexed);
    if (c.indexed) {
      EXPECT_EQ(l.palette[1], c.spec.palette[1]);
    }
    g_sheet.Add(l.px, l.w, l.h);
  }
}

TEST(ReadBMP, RLE8EscapesAndBounds) {
  const std::vector<uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  // 6 x 4, rows from the bottom: a run and an odd absolute run with its pad byte, end of line;
  // a delta one row up and two right; a run, a run of 10 past the row's end, end of line; end of
  // bitmap before the top row. The header's file size is 0: only the real length bounds the data.
  const std::vector<uint8_t> rle = {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 2, 1, 2, 3, 10, 1, 0, 0, 0, 1};
  BmpFixture s{6, 4, 8, 1, 40, 4, pal, rle, 0};
  std::vector<uint8_t> bytes = MakeBMP(s);
  bytes[2] = bytes[3] = bytes[4] = bytes[5] = 0;
  const std::string path = TestPath("rle8.bmp");
  WriteBytes(path, bytes);
  Loaded l;
  Load(path, &l);
  ASSERT_EQ(l.rc, 0);
  const uint8_t want[4][6] = {{0, 0, 0, 0, 0, 0}, {0, 0, 3, 3, 1, 1}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 2}};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 6; x++) EXPECT_EQ(l.at(x, y), pal[want[y][x]]) << x << "," << y;
  g_sheet.Add(l.px, l.w, l.h);

  // Data that stops in the middle of a run: the decoded part stays, the rest is entry 0; an
  // index past the palette is black; a delta past the top ends the picture.
  const std::vector<uint8_t> cut = {2, 3, 0, 2, 1, 200, 5, 7};
  BmpFixture c{4, 3, 8, 1, 40, 2, {0x111111, 0x222222}, cut, 0xFFFFFFF0u};
  WriteBytes(path, MakeBMP(c));
  Loaded k;
  Load(path, &k);
  ASSERT_EQ(k.rc, 0);
  EXPECT_EQ(k.at(0, 2), 0u);  // index 3 is past the two entries
  EXPECT_EQ(k.at(2, 2), 0x111111u);
  EXPECT_EQ(k.at(3, 0), 0x111111u);
}

TEST(ReadBMP, RefusedFilesAndShortData) {
  auto idx8 = [](int x, int y) { return (uint32_t)(x + y) & 1; };
  struct Case { const char *name; BmpFixture spec; int rc; };
  const std::vector<uint32_t> two = {0, 0xFFFFFF};
  const std::vector<Case> cases = {
      {"top_down", {4, -4, 8, 0, 40, 2, two, BmpRows(4, 4, 8, idx8)}, 1358},
      {"height0", {4, 0, 8, 0, 40, 2, two, {}}, 1358},
      {"width0", {0, 4, 8, 0, 40, 2, two, {}}, 1358},
      {"16bit", {4, 4, 16, 0, 40, 0, {}, std::vector<uint8_t>(32)}, 1358},
      {"32bit", {4, 4, 32, 0, 40, 0, {}, std::vector<uint8_t>(64)}, 1358},
      {"2bit", {4, 4, 2, 0, 40, 4, two, std::vector<uint8_t>(16)}, 1358},
      {"rle4", {4, 4, 4, 2, 40, 2, two, {0, 1}}, 1358},
      {"bitfields", {4, 4, 24, 3, 40, 0, {}, std::vector<uint8_t>(48)}, 1358},
      {"huge", {20000, 20000, 24, 0, 40, 0, {}, {}}, 1000},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath(std::string("bad_") + c.name + ".bmp");
    WriteBytes(path, MakeBMP(c.spec));
    Loaded l, s;
    Load(path, &l);
    EXPECT_EQ(l.rc, c.rc);
    EXPECT_EQ(l.px, nullptr);
    Load(path, &s, true);
    EXPECT_EQ(s.rc, c.rc);
  }
  // Rows that are not in the file stay 0.
  BmpFixture s{3, 3, 24, 0, 40, 0, {}, {0x10, 0x20, 0x30}};
  const std::string path = TestPath("short.bmp");
  WriteBytes(path, MakeBMP(s));
  Loaded l;
  Load(path, &l);
  ASSERT_EQ(l.rc, 0);
  EXPECT_EQ(l.at(0, 2), 0x302010u);  // the bottom row's first pixel
  EXPECT_EQ(l.at(1, 2), 0u);
  EXPECT_EQ(l.at(0, 0), 0u);
}

// ---------------------------------------------------------------------------------------------
// GIF stills

std::vector<uint8_t> Pattern(int w, int h, int colours) {
  std::vector<uint8_t> v((size_t)w * h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) v[(size_t)y * w + x] = (uint8_t)((x / 2 + y * 3) % colours);
  return v;
}

TEST(ReadGIFPicture, StillsThroughOurReader) {
  const std::vector<uint32_t> pal4 = {0x000000, 0xFF8000, 0x0080FF, 0xFFFFFF};
  const std::vector<uint32_t> pal16 = Ramp(16, 23);
  struct Case {
    const char *name;
    int W, H;
    std::vector<uint32_t> global;
    GifFrameSpec frame;
    int32_t key;
  };
  const std::vector<Case> cases = {
      {"opaque", 16, 8, pal4, {0, 0, 16, 8, false, 1, -1, 0, {}, Pattern(16, 8, 4)}, -1},
      {"transparent", 16, 8, pal4, {0, 0, 16, 8, false, 1, 2, 0, {}, Pattern(16, 8, 4)}, 0x0080FF},
      {"interlaced", 16, 19, pal16, {0, 0, 16, 19, true, 0, -1, 0, {}, Pattern(16, 19, 16)}, -1},
      {"local_only", 12, 8, {}, {0, 0, 12, 8, false, 0, -1, 0, pal16, Pattern(12, 8, 16)}, -1},
      {"offset_frame", 16, 12, pal4, {5, 4, 8, 5, false, 0, -1, 0, {}, Pattern(8, 5, 4)}, -1},
      {"frame_past_screen", 8, 8, pal4, {4, 6, 10, 6, false, 0, -1, 0, {}, Pattern(10, 6, 4)}, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath(std::string(c.name) + ".gif");
    ASSERT_TRUE(WriteGiflibGif(path, c.W, c.H, c.global, 0, {c.frame}));
    Loaded l;
    Load(path, &l);
    ASSERT_EQ(l.rc, 0);
    ASSERT_EQ(l.w, c.W);
    ASSERT_EQ(l.h, c.H);
    EXPECT_EQ(l.key, c.key);
    std::vector<uint32_t> want = ComposeGif(c.W, c.H, c.global, 0, {c.frame})[0];
    // Transparent pixels come out in the key colour, which the brush loader masks.
    for (size_t i = 0; c.key >= 0 && i < want.size(); i++)
      if (c.frame.indices[i] == c.frame.transparent) want[i] = (uint32_t)c.key;
    for (int i = 0; i < c.W * c.H; i++) ASSERT_EQ(l.px[i], want[i]) << "pixel " << i;
    ASSERT_NE(l.palette, nullptr);
    const std::vector<uint32_t> &pal = c.frame.local.empty() ? c.global : c.frame.local;
    EXPECT_EQ(l.palette[1], pal[1]);
    g_sheet.Add(l.px, l.w, l.h);
  }
}

// The base64 text of a 185-byte GIF on which another decoder freed a wild pointer.
const char kCrashGif[] =
    "R0lGODlhAQAAAABtCQCqqiwDAPw5wQQEBAQACgJJTU0AKgAAAAgBBQDqCgEAAAMAAAABAAMQAAEBXQMAAAABAAIAAAECAAMAAAADAAAAhgEDAAMAAAABAAEAAAEmAAMAAAABAAIAAAERAAQAiVBORw0KGgoAAAANSUhEUgAAAAMAQAACCAYAAACddGYaAAAAIEZPSURSQVQIBQzBAQAgAZnAICk8ghGMYLQ0nyCSJebcqodNPn7pCgA=";

std::vector<uint8_t> FromBase64(const char *s) {
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  for (; *s && *s != '='; s++) {
    const char *set = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    acc = acc << 6 | (uint32_t)(strchr(set, *s) - set);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back((uint8_t)(acc >> bits));
    }
  }
  return out;
}

TEST(ReadGIFPicture, BrokenFilesAreRefused) {
  std::vector<uint8_t> crash = FromBase64(kCrashGif);
  ASSERT_EQ(crash.size(), 185u);
  std::vector<uint8_t> good;
  {
    const std::string p = TestPath("good.gif");
    ASSERT_TRUE(WriteGiflibGif(p, 8, 8, {0, 0xFFFFFF}, 0, {{0, 0, 8, 8, false, 0, -1, 0, {}, Pattern(8, 8, 2)}}));
    good = ReadBytes(p);
  }
  std::vector<uint8_t> truncated(good.begin(), good.end() - 6);  // LZW data cut short
  std::vector<uint8_t> badCode = good;
  ASSERT_EQ(good[13 + 6 + 8], 0x2C);  // header, 2-entry global table, control extension
  badCode[13 + 6 + 8 + 10] = 9;       // minimum code size 9
  std::vector<uint8_t> huge = good;
  huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
  struct Case { const char *name; std::vector<uint8_t> bytes; int rc; };
  const Case cases[] = {
      {"crash", crash, 1358},
      {"truncated", truncated, 1358},
      {"bad_code_size", badCode, 1358},
      {"huge_screen", huge, 1000},
      {"header_only", {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0}, 1358},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath(std::string("bad_") + c.name + ".gif");
    WriteBytes(path, c.bytes);
    Loaded l;
    Load(path, &l);
    EXPECT_EQ(l.rc, c.rc);
    EXPECT_EQ(l.px, nullptr);
    EXPECT_EQ(l.palette, nullptr);
  }
}

// Linked files (sections of memory here) reach every reader through the file layer.
TEST(PictureReaders, LinkedFiles) {
  for (const char *file : {"ham6.iff", "rle8.bmp", "transparent.gif"}) {
    SCOPED_TRACE(file);
    const std::vector<uint8_t> bytes = ReadBytes(TestPath(file));
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(RegisterMemorySection(bytes.data(), bytes.size()), 0);
    char name[KV_PATH_SIZE];
    ASSERT_NE(MakeChunkName(file, name, sizeof name, -1, (uint32_t)bytes.size(), 0, nullptr, bytes.data()), nullptr);
    Loaded linked, plain;
    Load(name, &linked);
    Load(TestPath(file), &plain);
    ASSERT_EQ(linked.rc, 0);
    ASSERT_EQ(plain.rc, 0);
    EXPECT_EQ(linked.key, plain.key);
    EXPECT_EQ(std::vector<uint32_t>(linked.px, linked.px + linked.w * linked.h),
              std::vector<uint32_t>(plain.px, plain.px + plain.w * plain.h));
    UnregisterMemorySection(bytes.data());
  }
}

TEST(PictureReaders, PreviewSheet) { g_sheet.Save("picture_readers.png"); }

}  // namespace

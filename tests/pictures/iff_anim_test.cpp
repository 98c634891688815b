// IFF ANIM files built here (a first ILBM frame, then op-5 deltas, plain and XOR) through the
// anim file handle: every frame in and out of order, the rewind, delays, broken deltas and
// refused files; GIF detection through the same handle.
#include <gtest/gtest.h>

#include "pictures/anim_file.h"
#include "pictures/iff_planar.h"
#include "runtime/errors.h"
#include "tests/pictures/gif_fixture.h"
#include "tests/pictures/picture_fixture.h"

namespace {

const int W = 16, H = 4, PLANES = 2, ROWBYTES = 2;
const std::vector<uint32_t> kPal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

using Grid = std::vector<uint8_t>;  // W x H indexes

Grid MakeGrid(int seed) {
  Grid g(W * H);
  for (int i = 0; i < W * H; i++) g[i] = (uint8_t)((i * (seed + 1) + seed * 3 + i / 5) % 4);
  return g;
}

std::vector<uint8_t> Planar(const Grid &g, int planes = PLANES) {
  std::vector<uint8_t> p((size_t)ROWBYTES * H * planes, 0);
  for (int pl = 0; pl < planes; pl++)
    for (int y = 0; y < H; y++)
      for (int x = 0; x < W; x++)
        if (g[y * W + x] >> pl & 1) p[((size_t)pl * H + y) * ROWBYTES + x / 8] |= (uint8_t)(0x80 >> (x & 7));
  return p;
}

std::vector<uint8_t> Chunk(const char *id, const std::vector<uint8_t> &body) {
  Bytes b;
  b.str(id).be32((uint32_t)body.size()).raw(body);
  if (body.size() & 1) b.u8(0);
  return b.v;
}

// An op-5 delta from `base` to `next`; with xorMode the values are exclusive-ored.
std::vector<uint8_t> Delta(const std::vector<uint8_t> &base, const std::vector<uint8_t> &next, bool xorMode,
                           int planes = PLANES) {
  Bytes d;
  std::vector<uint8_t> data;
  std::vector<uint32_t> offsets(16, 0);
  for (int pl = 0; pl < planes; pl++) {
    offsets[pl] = 64 + (uint32_t)data.size();
    for (int col = 0; col < ROWBYTES; col++) {
      std::vector<uint8_t> ops;
      int count = 0, y = 0;
      while (y < H) {
        const size_t at = ((size_t)pl * H + y) * ROWBYTES + col;
        if (base[at] == next[at]) {
          int n = 0;
          while (y < H && base[((size_t)pl * H + y) * ROWBYTES + col] == next[((size_t)pl * H + y) * ROWBYTES + col]) y++, n++;
          ops.push_back((uint8_t)n);
          count++;
          continue;
        }
        // Two equal target bytes: a "same" op; else a literal of one byte.
        const size_t below = at + ROWBYTES;
        const uint8_t v = xorMode ? (uint8_t)(base[at] ^ next[at]) : next[at];
        if (y + 1 < H && base[below] != next[below] && (xorMode ? (uint8_t)(base[below] ^ next[below]) : next[below]) == v) {
          ops.insert(ops.end(), {0, 2, v});
          y += 2;
        } else {
          ops.insert(ops.end(), {0x81, v});
          y++;
        }
        count++;
      }
      data.push_back((uint8_t)count);
      data.insert(data.end(), ops.begin(), ops.end());
    }
  }
  for (uint32_t o : offsets) d.be32(o);
  return d.raw(data).v;
}

std::vector<uint8_t> AnhdChunk(int op, uint32_t reltime, int interleave) {
  Bytes a;
  a.u8(op).u8(0).be16(W).be16(H).be16(0).be16(0).be32(0).be32(reltime).u8(interleave).u8(0).be32(0);
  for (int i = 0; i < 16; i++) a.u8(0);
  return Chunk("ANHD", a.v);
}

struct AnimSpec {
  int interleave = 0;
  bool packed = true;
  std::vector<Grid> frames = {MakeGrid(0), MakeGrid(1), MakeGrid(2)};
  std::vector<uint32_t> reltimes = {0, 5, 7};  // frame k's ANHD reltime (the delay of frame k - 1)
  int badOpFrame = -1;                         // this frame's ANHD names operation 7
  int planes = PLANES;
  int cmapEntries = 4;
  int dpan = 0;
  bool bmhd = true, body = true;
  std::function<void(int, std::vector<uint8_t> &)> editDelta;
};

std::vector<uint8_t> MakeAnim(const AnimSpec &s) {
  Bytes bmhd;
  bmhd.be16(W).be16(H).be32(0).u8(s.planes).u8(0).u8(s.packed ? 1 : 0).u8(0).be16(0).u8(1).u8(1).be16(W).be16(H);
  Bytes cmap;
  for (int i = 0; i < s.cmapEntries; i++) {
    const uint32_t c = i < 4 ? kPal[i] : 0x777777;
    cmap.u8(c >> 16).u8(c >> 8).u8(c);
  }
  std::vector<uint8_t> first = Planar(s.frames[0], s.planes), body;
  for (int y = 0; y < H; y++)
    for (int pl = 0; pl < s.planes; pl++) {
      const uint8_t *row = first.data() + ((size_t)pl * H + y) * ROWBYTES;
      if (s.packed) body.insert(body.end(), {(uint8_t)(ROWBYTES - 1)});
      body.insert(body.end(), row, row + ROWBYTES);
    }
  Bytes ilbm;
  ilbm.str("ILBM");
  if (s.bmhd) ilbm.raw(Chunk("BMHD", bmhd.v));
  ilbm.raw(Chunk("CMAP", cmap.v));
  if (s.dpan) ilbm.raw(Chunk("DPAN", Bytes().be16(4).be16(s.dpan).be32(0).v));
  ilbm.raw(AnhdChunk(0, s.reltimes[0], 0));
  if (s.body) ilbm.raw(Chunk("BODY", body));
  Bytes anim;
  anim.str("ANIM").str("FORM").be32((uint32_t)ilbm.size()).raw(ilbm.v);
  for (size_t k = 1; k < s.frames.size(); k++) {
    // Interleave 0: against the frame two back (frame 0 for frame 1); 1: against the last, XOR.
    const Grid &base = s.interleave == 1 ? s.frames[k - 1] : s.frames[k < 2 ? 0 : k - 2];
    std::vector<uint8_t> dlta = Delta(Planar(base, s.planes), Planar(s.frames[k], s.planes), s.interleave == 1, s.planes);
    if (s.editDelta) s.editDelta((int)k, dlta);
    Bytes f;
    f.str("ILBM").raw(AnhdChunk((int)k == s.badOpFrame ? 7 : 5, s.reltimes[k % s.reltimes.size()], s.interleave));
    f.raw(Chunk("DLTA", dlta));
    anim.str("FORM").be32((uint32_t)f.size()).raw(f.v);
  }
  return Bytes().str("FORM").be32((uint32_t)anim.size()).raw(anim.v).v;
}

std::vector<uint32_t> Colours(const Grid &g) {
  std::vector<uint32_t> v;
  for (uint8_t i : g) v.push_back(kPal[i]);
  return v;
}

AnimFile *Open(const std::string &name, const std::vector<uint8_t> &bytes, int32_t *frames, int *rc = nullptr) {
  const std::string path = TestPath(name);
  WriteBytes(path, bytes);
  AnimFile *af = nullptr;
  int32_t w = 0, h = 0;
  const int r = LoadAnimFile(path.c_str(), &af, &w, &h, frames);
  if (rc) *rc = r;
  if (!r) {
    EXPECT_EQ(w, W);
    EXPECT_EQ(h, H);
  }
  return af;
}

void ExpectFrame(AnimFile *af, int k, const std::vector<uint32_t> &want) {
  uint32_t *px = GetAnimFileFrame(af, k);
  ASSERT_NE(px, nullptr) << "frame " << k;
  EXPECT_EQ(std::vector<uint32_t>(px, px + want.size()), want) << "frame " << k;
  MemFree(px);
}

TEST(IffAnim, ThreeFramesBothInterleavesInAndOutOfOrder) {
  PreviewSheet sheet;
  for (int interleave : {0, 1}) {
    for (bool packed : {true, false}) {
      SCOPED_TRACE(testing::Message() << "interleave " << interleave << " packed " << packed);
      AnimSpec s;
      s.interleave = interleave;
      s.packed = packed;
      int32_t frames = 0;
      AnimFile *af = Open("anim3.iff", MakeAnim(s), &frames);
      ASSERT_NE(af, nullptr);
      ASSERT_EQ(frames, 3);
      // Delays are known from the open on, before any frame is decoded.
      EXPECT_EQ(GetAnimFileDelay(af, 1), 116);
      for (int k = 0; k < 3; k++) ExpectFrame(af, k, Colours(s.frames[k]));
      // After the last frame the reader has rewound: frame 0 again, then random access.
      for (int k : {0, 2, 1, 0, 2, 2}) ExpectFrame(af, k, Colours(s.frames[k]));
      EXPECT_EQ(GetAnimFileFrame(af, 3), nullptr);
      // Delays: the next frame's reltime in jiffies, x 1000 / 60 truncated; the last is 0.
      EXPECT_EQ(GetAnimFileDelay(af, 0), 83);
      EXPECT_EQ(GetAnimFileDelay(af, 1), 116);
      EXPECT_EQ(GetAnimFileDelay(af, 2), 0);
      FreeAnimFile(af);
      if (packed)
        for (int k = 0; k < 3; k++) sheet.Add(Colours(s.frames[k]).data(), W, H);
    }
  }
  sheet.Save("iff_anim_frames.png", 8, 3);
}

TEST(IffAnim, BrokenDeltasFailTheirFrameOnly) {
  struct Case {
    const char *name;
    std::function<void(int, std::vector<uint8_t> &)> edit;
    int badOp;
  };
  const Case cases[] = {
      {"operation7", nullptr, 2},
      {"offset_past_delta", [](int k, std::vector<uint8_t> &d) { if (k == 2) d[3] = 0xF0; }, -1},
      {"short_delta", [](int k, std::vector<uint8_t> &d) { if (k == 2) d.resize(40); }, -1},
      {"op_count_past_delta", [](int k, std::vector<uint8_t> &d) { if (k == 2) { d[64] = 200; d.resize(70); } }, -1},
      {"literal_past_column", [](int k, std::vector<uint8_t> &d) { if (k == 2) { d[64] = 1; d[65] = 0x85; } }, -1},
      {"same_past_column", [](int k, std::vector<uint8_t> &d) { if (k == 2) { d[64] = 1; d[65] = 0; d[66] = 9; } }, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    AnimSpec s;
    s.editDelta = c.edit;
    s.badOpFrame = c.badOp;
    int32_t frames = 0;
    AnimFile *af = Open(std::string("broken_") + c.name + ".iff", MakeAnim(s), &frames);
    ASSERT_NE(af, nullptr);
    EXPECT_EQ(frames, 3);
    ExpectFrame(af, 0, Colours(s.frames[0]));
    ExpectFrame(af, 1, Colours(s.frames[1]));
    EXPECT_EQ(GetAnimFileFrame(af, 2), nullptr);
    ExpectFrame(af, 1, Colours(s.frames[1]));  // the reader recovers
    FreeAnimFile(af);
  }
}

TEST(IffAnim, RefusedFiles) {
  AnimSpec lone;
  lone.frames.resize(1);
  AnimSpec noBmhd, noBody, planes9, wide;
  noBmhd.bmhd = false;
  noBody.body = false;
  planes9.planes = 9;
  std::vector<uint8_t> zeroWidth = MakeAnim(AnimSpec());
  zeroWidth[32] = zeroWidth[33] = 0;  // BMHD width
  std::vector<uint8_t> notForm = MakeAnim(AnimSpec());
  notForm.insert(notForm.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
  struct Case { const char *name; std::vector<uint8_t> bytes; int rc; };
  const Case cases[] = {
      {"lone_form", MakeAnim(lone), 1356},
      {"no_bmhd", MakeAnim(noBmhd), 1356},
      {"no_body", MakeAnim(noBody), 1356},
      {"planes9", MakeAnim(planes9), 1356},
      {"zero_width", zeroWidth, 1356},
      {"junk_after_frames", notForm, 1356},
      {"empty", {}, 1356},
      {"form_only", Bytes().str("FORM").be32(4).str("ANIM").v, 1356},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int32_t frames = 0;
    int rc = 0;
    AnimFile *af = Open(std::string("refused_") + c.name + ".iff", c.bytes, &frames, &rc);
    EXPECT_EQ(af, nullptr);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(std::string(GetErrorArgString()), TestPath(std::string("refused_") + c.name + ".iff"));
  }
  AnimFile *af = nullptr;
  int32_t w, h, n;
  EXPECT_EQ(LoadAnimFile(TestPath("does-not-exist.iff").c_str(), &af, &w, &h, &n), 1045);
}

TEST(IffAnim, LargeCmapDpanAndManyFrames) {
  // A CMAP of 300 entries: the first 256 count, the rest is passed over.
  AnimSpec big;
  big.cmapEntries = 300;
  int32_t frames = 0;
  AnimFile *af = Open("cmap300.iff", MakeAnim(big), &frames);
  ASSERT_NE(af, nullptr);
  ExpectFrame(af, 2, Colours(big.frames[2]));
  FreeAnimFile(af);
  // DPAN naming fewer frames than stored (loop frames at the end) wins; more never does.
  for (int dpan : {2, 9}) {
    AnimSpec d;
    d.dpan = dpan;
    af = Open("dpan.iff", MakeAnim(d), &frames);
    ASSERT_NE(af, nullptr);
    EXPECT_EQ(frames, std::min(dpan, 3));
    FreeAnimFile(af);
  }
  // More than 4096 frames, each an empty delta, with delays all along.
  AnimSpec many;
  many.frames.assign(4100, MakeGrid(3));
  many.reltimes = {0, 6};
  af = Open("many.iff", MakeAnim(many), &frames);
  ASSERT_NE(af, nullptr);
  EXPECT_EQ(frames, 4100);
  ExpectFrame(af, 4099, Colours(many.frames[0]));
  EXPECT_EQ(GetAnimFileDelay(af, 4096), 100);  // frame 4097 carries reltime 6
  EXPECT_EQ(GetAnimFileDelay(af, 4097), 0);
  FreeAnimFile(af);
}

TEST(AnimFile, GifThroughTheSameHandleAndIsAnimFile) {
  const std::vector<uint32_t> pal = {0x000000, 0xFFFFFF};
  GifFrameSpec a{0, 0, 4, 4, false, 1, -1, 12, {}, std::vector<uint8_t>(16, 1)};
  GifFrameSpec b{1, 1, 2, 2, false, 1, -1, 3, {}, std::vector<uint8_t>(4, 0)};
  const std::string one = TestPath("one.gif"), two = TestPath("two.gif");
  ASSERT_TRUE(WriteGiflibGif(one, 4, 4, pal, 0, {a}));
  ASSERT_TRUE(WriteGiflibGif(two, 4, 4, pal, 0, {a, b}));
  EXPECT_EQ(IsAnimFile(one.c_str()), 0);
  EXPECT_EQ(IsAnimFile(two.c_str()), 1);
  AnimSpec s;
  const std::string iff = TestPath("isanim.iff");
  WriteBytes(iff, MakeAnim(s));
  EXPECT_EQ(IsAnimFile(iff.c_str()), 1);
  EXPECT_EQ(IsAnimFile(TestPath("nothing-here.gif").c_str()), 0);
  AnimFile *af = nullptr;
  int32_t w, h, n;
  ASSERT_EQ(LoadAnimFile(two.c_str(), &af, &w, &h, &n), 0);
  EXPECT_EQ(af->kind, (uint32_t)ANIMFILE_GIF);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(GetAnimFileDelay(af, 0), 120);
  uint32_t *px = GetAnimFileFrame(af, 1);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(px[0], 0xFFFFFFu);
  EXPECT_EQ(px[5], 0u);
  MemFree(px);
  FreeAnimFile(af);
  // A GIF with a broken LZW stream is an unsupported animation file.
  std::vector<uint8_t> broken = ReadBytes(one);
  broken[broken.size() - 5] ^= 0xFF;
  broken.resize(broken.size() - 3);
  WriteBytes(TestPath("broken.gif"), broken);
  EXPECT_EQ(LoadAnimFile(TestPath("broken.gif").c_str(), &af, &w, &h, &n), 1356);
}

}  // namespace

// The AVI writer's files walked by a RIFF reader of the test: the fixed header offsets, the
// movi data with its standard indexes, the super indexes, the legacy idx1 index, AVIX parts,
// the refusals and the full super index; frames decode with SDL2_image.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdlib>
#include <cstring>

#include "gfx/bitmap.h"
#include "pictures/avi_writer.h"
#include "runtime/errors.h"
#include "tests/pictures/picture_fixture.h"

namespace {

uint32_t U32(const std::vector<uint8_t> &f, size_t at) {
  return (uint32_t)f[at] | (uint32_t)f[at + 1] << 8 | (uint32_t)f[at + 2] << 16 | (uint32_t)f[at + 3] << 24;
}
uint64_t U64(const std::vector<uint8_t> &f, size_t at) { return U32(f, at) | (uint64_t)U32(f, at + 4) << 32; }
std::string Id(const std::vector<uint8_t> &f, size_t at) { return std::string((const char *)f.data() + at, 4); }

struct Chunk {
  size_t at;  // offset of the chunk header
  std::string id, type;  // type: the list type of RIFF and LIST chunks
  uint32_t size;
};

// Walks chunks from `at` to `end`, descending into RIFF and LIST chunks; every size must fit.
void Walk(const std::vector<uint8_t> &f, size_t at, size_t end, std::vector<Chunk> *out) {
  while (at < end) {
    ASSERT_LE(at + 8, end) << "chunk header past its container at " << at;
    Chunk c{at, Id(f, at), "", U32(f, at + 4)};
    ASSERT_LE(at + 8 + c.size, end) << c.id << " at " << at << " passes its container";
    if (c.id == "RIFF" || c.id == "LIST") {
      c.type = Id(f, at + 8);
      out->push_back(c);
      Walk(f, at + 12, at + 8 + c.size, out);
    } else {
      out->push_back(c);
    }
    at += 8 + c.size + (c.size & 1);
  }
}

std::vector<Chunk> Find(const std::vector<Chunk> &all, const std::string &id) {
  std::vector<Chunk> v;
  for (const Chunk &c : all)
    if (c.id == id || (!c.type.empty() && c.type == id)) v.push_back(c);
  return v;
}

BitMap *Picture(int w, int h, int k) {
  BitMap *bm = AllocBitMap(w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) WriteBitMapPixel(bm, x, y, k == 0 ? 0xFF0000u : k == 1 ? 0x00FF00u : 0x0000FFu, 0);
  return bm;
}

std::string WriteAvi(const std::string &name, int frames, int fps, int64_t firstLimit = 0, int64_t laterLimit = 0,
                     int expectLastRc = 0) {
  const std::string path = TestPath(name);
  AviWriter *w = nullptr;
  EXPECT_EQ(AviWriterOpen(path.c_str(), fps, 1, 32, 24, 90, 0, "clip.avi", &w), 0);
  if (!w) return path;
  if (firstLimit) AviWriterSetPartLimits(w, firstLimit, laterLimit);
  BitMap *bm[3] = {Picture(32, 24, 0), Picture(32, 24, 1), Picture(64, 48, 2)};
  for (int k = 0; k < frames; k++) {
    const int rc = AviWriterAddFrame(w, bm[k % 3], bm[k % 3]->width, bm[k % 3]->height);
    EXPECT_EQ(rc, k == frames - 1 ? expectLastRc : 0) << "frame " << k;
  }
  for (BitMap *b : bm) FreeBitMap(b);
  EXPECT_EQ(AviWriterClose(w), 0);
  return path;
}

const size_t kTexts = 12 + 24;  // "clip.avi" and "Kestrovia by Quorvane", each padded with its zero

TEST(AviWriter, ThreeFramesAtTheirOffsets) {
  const std::vector<uint8_t> f = ReadBytes(WriteAvi("three.avi", 3, 25));
  ASSERT_GT(f.size(), 33288u);
  std::vector<Chunk> all;
  Walk(f, 0, f.size(), &all);
  ASSERT_EQ(all[0].id, "RIFF");
  EXPECT_EQ(all[0].type, "AVI ");
  EXPECT_EQ(all[0].size + 8, f.size());  // the idx1 chunk counts in the RIFF size
  // The header block at its fixed places.
  const struct { size_t at; const char *id; uint32_t size; } fixed[] = {
      {12, "LIST", (uint32_t)(33268 + kTexts)}, {24, "avih", 56}, {88, "LIST", 16476}, {100, "strh", 56},
      {164, "strf", 16}, {188, "indx", 16376}, {16572, "LIST", 16500}, {16584, "strh", 56}, {16648, "strf", 40},
      {16696, "indx", 16376}, {33080, "LIST", 16}, {33104, "LIST", (uint32_t)(kTexts + 176)},
      {33288 + kTexts, "LIST", 0}};
  for (const auto &c : fixed) {
    EXPECT_EQ(Id(f, c.at), c.id) << c.at;
    if (c.size) {
      EXPECT_EQ(U32(f, c.at + 4), c.size) << c.at;
    }
  }
  EXPECT_EQ(Id(f, 33288 + kTexts + 8), "movi");
  EXPECT_EQ(Id(f, 100 + 8), "auds");
  EXPECT_EQ(Id(f, 16584 + 8), "vids");
  EXPECT_EQ(Id(f, 16584 + 12), "MJPG");
  // avih: 40000 us a frame, has-index flag, 3 frames, 2 streams, 32 x 24.
  EXPECT_EQ(U32(f, 32), 40000u);
  EXPECT_EQ(U32(f, 32 + 12), 0x10u);
  EXPECT_EQ(U32(f, 32 + 16), 3u);
  EXPECT_EQ(U32(f, 32 + 24), 2u);
  EXPECT_EQ(U32(f, 32 + 32), 32u);
  EXPECT_EQ(U32(f, 32 + 36), 24u);
  EXPECT_EQ(U32(f, 108 + 32), 3u * 1764);  // audio length in samples
  EXPECT_EQ(U32(f, 16592 + 32), 3u);       // video length in frames
  const std::vector<Chunk> info = Find(all, "ICMT");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].size, 148u);

  // movi: the reserved standard indexes, then per frame 7056 bytes of silence and a JPEG.
  const std::vector<Chunk> audio = Find(all, "00wb"), video = Find(all, "01dc");
  ASSERT_EQ(audio.size(), 3u);
  ASSERT_EQ(video.size(), 3u);
  const std::vector<Chunk> movi = Find(all, "movi");
  ASSERT_EQ(movi.size(), 1u);
  EXPECT_EQ(Id(f, movi[0].at + 12), "ix00");
  EXPECT_EQ(Id(f, movi[0].at + 12 + 16384), "ix01");
  uint64_t movieBytes = 4;
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(audio[k].size, 7056u);
    for (size_t i = 0; i < 7056; i++) ASSERT_EQ(f[audio[k].at + 8 + i], 0);
    const Chunk &v = video[k];
    EXPECT_EQ(v.size % 4, 0u);
    EXPECT_EQ(f[v.at + 8], 0xFF);
    EXPECT_EQ(f[v.at + 9], 0xD8);
    EXPECT_EQ(Id(f, v.at + 8 + 6), "AVI1");
    SDL_Surface *s = IMG_Load_RW(SDL_RWFromConstMem(f.data() + v.at + 8, (int)v.size), 1);
    ASSERT_NE(s, nullptr) << IMG_GetError();
    EXPECT_EQ(s->w, 32);
    EXPECT_EQ(s->h, 24);
    SDL_Surface *c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    const uint32_t p = ((uint32_t *)c->pixels)[5 * 32 + 5];
    const int want[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    EXPECT_NEAR((int)(p >> 16 & 255), want[k][0], 24);
    EXPECT_NEAR((int)(p >> 8 & 255), want[k][1], 24);
    EXPECT_NEAR((int)(p & 255), want[k][2], 24);
    SDL_FreeSurface(c);
    SDL_FreeSurface(s);
    movieBytes += 16 + 7056 + v.size;
  }
  EXPECT_EQ(movi[0].size, movieBytes + 2 * 16384);

  // Standard indexes: 3 entries each, base 0 (the part's start), offsets at the chunks' data.
  for (int s = 0; s < 2; s++) {
    const size_t ix = movi[0].at + 12 + (size_t)s * 16384;
    EXPECT_EQ(U32(f, ix + 4), 16376u);
    EXPECT_EQ(f[ix + 8 + 3], 1);  // index of chunks
    EXPECT_EQ(U32(f, ix + 12), 3u);
    EXPECT_EQ(Id(f, ix + 16), s ? "01dc" : "00wb");
    EXPECT_EQ(U64(f, ix + 20), 0u);
    for (int k = 0; k < 3; k++) {
      const Chunk &c = s ? video[k] : audio[k];
      EXPECT_EQ(U32(f, ix + 32 + 8 * k), c.at + 8);
      EXPECT_EQ(U32(f, ix + 36 + 8 * k), c.size);
    }
  }
  // Super indexes: one entry each, pointing at the standard index, with durations.
  for (int s = 0; s < 2; s++) {
    const size_t indx = s ? 16696 : 188;
    EXPECT_EQ(U32(f, indx + 12), 1u);
    EXPECT_EQ(U64(f, indx + 32), movi[0].at + 12 + (size_t)s * 16384);
    EXPECT_EQ(U32(f, indx + 40), 16384u);
    EXPECT_EQ(U32(f, indx + 44), s ? 3u : 3u * 1764);
    EXPECT_EQ(U32(f, indx + 48), 0u);  // no second entry
  }
  // idx1: frames x 2 entries of absolute chunk positions, behind the movi list.
  const std::vector<Chunk> idx1 = Find(all, "idx1");
  ASSERT_EQ(idx1.size(), 1u);
  EXPECT_EQ(idx1[0].at, movi[0].at + 8 + movi[0].size);
  ASSERT_EQ(idx1[0].size, 3u * 32);
  for (int e = 0; e < 6; e++) {
    const size_t at = idx1[0].at + 8 + 16 * (size_t)e;
    const Chunk &c = e % 2 ? video[e / 2] : audio[e / 2];
    EXPECT_EQ(Id(f, at), c.id);
    EXPECT_EQ(U32(f, at + 4), 0x10u);
    EXPECT_EQ(U32(f, at + 8), c.at);
    EXPECT_EQ(U32(f, at + 12), c.size);
  }
  // Another player's view, where the machine has one.
  if (system("command -v ffprobe > /dev/null 2>&1") == 0) {
    const std::string cmd = "ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 " + TestPath("three.avi");
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[256];
    std::string all2;
    while (fgets(line, sizeof line, p)) all2 += line;
    pclose(p);
    EXPECT_NE(all2.find("mjpeg,32,24,3"), std::string::npos) << all2;
    EXPECT_NE(all2.find("pcm_s16le"), std::string::npos) << all2;
  }
}

TEST(AviWriter, NoFramesClosesValidly) {
  const std::vector<uint8_t> f = ReadBytes(WriteAvi("empty.avi", 0, 30));
  std::vector<Chunk> all;
  Walk(f, 0, f.size(), &all);
  EXPECT_EQ(all[0].size + 8, f.size());
  EXPECT_EQ(U32(f, 32), 33333u);
  EXPECT_EQ(U32(f, 32 + 16), 0u);
  EXPECT_EQ(U32(f, 188 + 12), 0u);
  ASSERT_EQ(Find(all, "movi").size(), 1u);
  EXPECT_EQ(Find(all, "movi")[0].size, 4u);
  ASSERT_EQ(Find(all, "idx1").size(), 1u);
  EXPECT_EQ(Find(all, "idx1")[0].size, 0u);
}

TEST(AviWriter, RefusedRatesAndFiles) {
  AviWriter *w = nullptr;
  const std::string path = TestPath("refused.avi");
  for (int fps : {24, 0, -1, 2000000, 44101}) EXPECT_EQ(AviWriterOpen(path.c_str(), fps, 1, 32, 24, 90, 0, "t", &w), 1055) << fps;
  EXPECT_EQ(AviWriterOpen(path.c_str(), 25, 1, 0, 24, 90, 0, "t", &w), 1055);
  EXPECT_EQ(AviWriterOpen("/nonexistent-dir/x.avi", 25, 1, 32, 24, 90, 0, "t", &w), 1052);
  EXPECT_EQ(std::string(GetErrorArgString()), "/nonexistent-dir/x.avi");
  // /dev/full takes none of the header.
  EXPECT_EQ(AviWriterOpen("/dev/full", 25, 1, 32, 24, 90, 0, "t", &w), 1005);
  EXPECT_EQ(w, nullptr);
}

// Chunks of every RIFF part, checked for consistent sizes: the movi list's size is what it holds.
void CheckParts(const std::vector<uint8_t> &f, const std::vector<Chunk> &all, size_t *parts) {
  *parts = 0;
  for (const Chunk &c : all)
    if (c.id == "RIFF") {
      (*parts)++;
      EXPECT_EQ(c.type, *parts == 1 ? "AVI " : "AVIX");
    }
  size_t total = 0;
  for (const Chunk &c : all)
    if (c.id == "RIFF") total += 8 + c.size;
  EXPECT_EQ(total, f.size());
}

TEST(AviWriter, SecondStandardIndexAndAvixParts) {
  // 2045 frames in one part: a second standard index pair for the last frame.
  {
    const std::vector<uint8_t> f = ReadBytes(WriteAvi("long.avi", 2045, 25));
    std::vector<Chunk> all;
    Walk(f, 0, f.size(), &all);
    size_t parts;
    CheckParts(f, all, &parts);
    EXPECT_EQ(parts, 1u);
    EXPECT_EQ(Find(all, "ix00").size(), 2u);
    EXPECT_EQ(U32(f, 16696 + 12), 2u);
    EXPECT_EQ(U32(f, 16696 + 44), 2044u);  // durations of the two entries
    EXPECT_EQ(U32(f, 16696 + 60), 1u);
    EXPECT_EQ(U32(f, 188 + 60), 1764u);
    const std::vector<Chunk> ix = Find(all, "ix01");
    EXPECT_EQ(U32(f, ix[1].at + 12), 1u);
    EXPECT_EQ(Find(all, "idx1")[0].size, 2045u * 32);
  }
  // A low part limit: AVIX parts, each with its own indexes; idx1 covers the first part only.
  {
    const std::vector<uint8_t> f = ReadBytes(WriteAvi("parts.avi", 40, 25, 100000, 150000));
    std::vector<Chunk> all;
    Walk(f, 0, f.size(), &all);
    size_t parts;
    CheckParts(f, all, &parts);
    EXPECT_GE(parts, 3u);
    EXPECT_EQ(Find(all, "ix00").size(), parts);
    EXPECT_EQ(U32(f, 188 + 12), parts);
    const std::vector<Chunk> movi = Find(all, "movi"), video = Find(all, "01dc");
    ASSERT_EQ(movi.size(), parts);
    ASSERT_EQ(video.size(), 40u);
    const std::vector<Chunk> idx1 = Find(all, "idx1");
    ASSERT_EQ(idx1.size(), 1u);
    size_t firstPartFrames = 0;
    for (const Chunk &v : video) firstPartFrames += v.at < movi[1].at;
    EXPECT_EQ(idx1[0].size, firstPartFrames * 32);
    // Every standard index's base is its part's start; its offsets land on its chunks.
    uint32_t frames = 0;
    for (const Chunk &c : Find(all, "ix01")) {
      const uint64_t base = U64(f, c.at + 20);
      EXPECT_EQ(Id(f, base), "RIFF");
      const uint32_t n = U32(f, c.at + 12);
      for (uint32_t e = 0; e < n; e++) EXPECT_EQ(Id(f, base + U32(f, c.at + 32 + 8 * e) - 8), "01dc");
      frames += n;
    }
    EXPECT_EQ(frames, 40u);
  }
}

TEST(AviWriter, FullSuperIndexRefusesTheFrameAndLeavesAValidFile) {
  // After the first frame, a part limit of one byte starts a part, and so a super index entry,
  // with every frame.
  const std::vector<uint8_t> f = ReadBytes(WriteAvi("full.avi", 1023, 25, 40000, 1, 1066));
  std::vector<Chunk> all;
  Walk(f, 0, f.size(), &all);
  size_t parts;
  CheckParts(f, all, &parts);
  EXPECT_EQ(parts, 1022u);
  EXPECT_EQ(U32(f, 188 + 12), 1022u);
  EXPECT_EQ(U32(f, 32 + 16), 1022u);
}

}  // namespace

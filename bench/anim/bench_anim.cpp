// GIF animation speed on a generated 320 x 240, 60-frame, 256-colour animation, against giflib
// measured in the same run: decoding (GetGifFrame in order against DGifSlurp plus a plain
// palette-to-canvas loop) and encoding (GifWriterAddFrame, optimize off, against EGifPutLine on
// the same indexed frames). Mpx/s and the ratio to giflib (higher is faster; target >= 0.8).
#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <unistd.h>

#include "bench/bench_timing.h"
#include "pictures/gif_reader.h"
#include "pictures/gif_writer.h"
#include "platform/os.h"
#include "runtime/memory.h"

namespace {

const int W = 320, H = 240, FRAMES = 60;

struct Anim {
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint32_t> palette;  // 256 entries; 255 is the writer's transparent slot
};

// Moving rings over a gradient: LZW sees both runs and variety.
Anim MakeAnim() {
  Anim a;
  for (int i = 0; i < 256; i++) a.palette.push_back((uint32_t)(i * 0x010101) ^ (uint32_t)((i * 37) & 255) << 16);
  for (int f = 0; f < FRAMES; f++) {
    std::vector<uint8_t> px((size_t)W * H);
    for (int y = 0; y < H; y++)
      for (int x = 0; x < W; x++) {
        const int dx = x - W / 2 - f * 2, dy = y - H / 2 + f;
        const int ring = (dx * dx + dy * dy) / 97;
        px[(size_t)y * W + x] = (uint8_t)(ring % 7 == 0 ? (ring + f) % 255 : (x / 3 + y / 5 + f) % 255);
      }
    a.frames.push_back(px);
  }
  return a;
}

ColorMapObject *Map(const std::vector<uint32_t> &pal) {
  GifColorType c[256];
  for (int i = 0; i < 256; i++) {
    c[i].Red = (GifByteType)(pal[i] >> 16);
    c[i].Green = (GifByteType)(pal[i] >> 8);
    c[i].Blue = (GifByteType)pal[i];
  }
  return GifMakeMapObject(256, c);
}

void GiflibEncode(const Anim &a, const char *path) {
  int err;
  GifFileType *g = EGifOpenFileName(path, false, &err);
  EGifSetGifVersion(g, true);
  ColorMapObject *m = Map(a.palette);
  EGifPutScreenDesc(g, W, H, 8, 0, m);
  for (const auto &f : a.frames) {
    GifByteType gce[4] = {0x04, 10, 0, 0};
    EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, gce);
    EGifPutImageDesc(g, 0, 0, W, H, false, m);
    for (int y = 0; y < H; y++) EGifPutLine(g, const_cast<GifPixelType *>(f.data() + (size_t)y * W), W);
  }
  GifFreeMapObject(m);
  EGifCloseFile(g, &err);
}

void OurEncode(const Anim &a, const char *path) {
  GifWriter *w;
  if (GifWriterOpen(path, W, H, &w)) exit(1);
  std::vector<uint8_t> idx;
  std::vector<uint32_t> pal;
  for (const auto &f : a.frames) {
    idx = f;
    pal = a.palette;
    GifWriterAddFrame(w, idx.data(), W, H, 100, pal.data(), 256, -1, 0);
  }
  GifWriterClose(w);
}

volatile uint32_t sink;

void GiflibDecode(const char *path) {
  int err;
  GifFileType *g = DGifOpenFileName(path, &err);
  DGifSlurp(g);
  std::vector<uint32_t> canvas((size_t)W * H, 0);
  for (int i = 0; i < g->ImageCount; i++) {
    const SavedImage &s = g->SavedImages[i];
    const ColorMapObject *m = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : g->SColorMap;
    uint32_t pal[256] = {};
    for (int c = 0; c < m->ColorCount; c++)
      pal[c] = (uint32_t)m->Colors[c].Red << 16 | (uint32_t)m->Colors[c].Green << 8 | m->Colors[c].Blue;
    const GifByteType *in = s.RasterBits;
    for (int y = 0; y < s.ImageDesc.Height; y++) {
      uint32_t *out = canvas.data() + (size_t)(s.ImageDesc.Top + y) * W + s.ImageDesc.Left;
      for (int x = 0; x < s.ImageDesc.Width; x++) out[x] = pal[*in++];
    }
    sink = canvas[(size_t)i * 7];
  }
  DGifCloseFile(g, &err);
}

}  // namespace

int main() {
  const Anim a = MakeAnim();
  char ref[256], ours[256];
  if (!OsTempFileNameSuffix(ref, sizeof ref, ".gif") || !OsTempFileNameSuffix(ours, sizeof ours, ".gif")) return 1;
  const double mpx = (double)W * H * FRAMES / 1e6;
  const double encRef = BenchBestTime([&] { GiflibEncode(a, ref); }, 50, 0.5, 3);
  const double encOurs = BenchBestTime([&] { OurEncode(a, ours); }, 50, 0.5, 3);

  int32_t w, h, n;
  GifReader *r = nullptr;
  const double open = BenchBestTime([&] {
    if (r) CloseGifAnim(r);
    r = OpenGifAnim(ref, &w, &h, &n, 0);
  }, 50, 0.5, 3);
  if (!r || n != FRAMES) {
    fprintf(stderr, "cannot read the animation back\n");
    return 1;
  }
  const double decOurs = BenchBestTime([&] {
    for (int i = 0; i < FRAMES; i++) {
      uint32_t *px = GetGifFrame(r, i);
      sink = px[i];
      MemFree(px);
    }
  }, 50, 0.5, 3);
  CloseGifAnim(r);
  const double decRef = BenchBestTime([&] { GiflibDecode(ref); }, 50, 0.5, 3);

  printf("%-48s %10s %10s\n", "320x240 x 60 frames, 256 colours", "Mpx/s", "ratio");
  printf("%-48s %10.1f %10s\n", "decode: giflib DGifSlurp + palette loop", mpx / decRef, "1.00");
  printf("%-48s %10.1f %10.2f   (target >= 0.8)\n", "decode: GetGifFrame in order", mpx / decOurs, decRef / decOurs);
  printf("%-48s %10.1f %10.2f   (frame scan of the open)\n", "open: OpenGifAnim", mpx / open, decRef / open);
  printf("%-48s %10.1f %10s\n", "encode: giflib EGifPutLine", mpx / encRef, "1.00");
  printf("%-48s %10.1f %10.2f   (target >= 0.8)\n", "encode: GifWriterAddFrame, optimize off", mpx / encOurs, encRef / encOurs);
  unlink(ref);
  unlink(ours);
  return 0;
}

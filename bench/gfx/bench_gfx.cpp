// Speed of the main pixel kernels at three picture sizes, printed as a ratio
// to memcpy (or memset) of the same number of bytes measured in the same run:
// 1.00 means as fast as the plain memory operation.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/kernels.h"
#include "runtime/memory.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Best time of one call over repeated runs (at least ~0.15 s of work).
// `setup`, when given, runs untimed before each call (to restore a picture a
// kernel changes in place).
double Time(const std::function<void()> &fn, const std::function<void()> &setup = nullptr) {
  if (setup) setup();
  fn();  // warm up: page in the buffers
  double best = 1e9, start = Now();
  int runs = 0;
  do {
    if (setup) setup();
    double t0 = Now();
    fn();
    double t = Now() - t0;
    if (t < best) best = t;
    runs++;
  } while ((Now() - start < 0.15 || runs < 3) && runs < 200);
  return best;
}

struct Size {
  int w, h;
};

volatile uint8_t sink;

}  // namespace

int main() {
  const Size sizes[] = {{640, 480}, {1920, 1080}, {4096, 4096}};
  printf("%-28s %12s %12s %12s   (ratio to memcpy/memset of the same bytes; higher is faster)\n", "kernel",
         "640x480", "1920x1080", "4096x4096");
  struct Row {
    const char *name;
    bool vsMemset;
    double ratio[3];
  };
  std::vector<Row> rows;
  const char *names[] = {"RectFill32",         "RectFill32 inner rect", "BltBitMap32",        "BltMask32 random mask",
                         "BltMask32 solid mask", "BltMask32 clear mask", "BltAlphaBitMap32",
                         "BltAlphaBitMap32 level 128", "BlendPixels32",      "BlendPixels32 random mask",
                         "BltAlphaChannel32 m1", "TintPixels32",
                         "InvertPixels32",     "BrushToGray32",      "BrushToGray32 gray picture",
                         "MaskFromKeyColor32"};
  const int nk = sizeof names / sizeof names[0];
  for (int k = 0; k < nk; k++) rows.push_back(Row{names[k], k <= 1, {0, 0, 0}});

  for (int si = 0; si < 3; si++) {
    const int w = sizes[si].w, h = sizes[si].h;
    const size_t bytes = (size_t)w * h * 4;
    BitMap *src = AllocBitMap(w, h), *dst = AllocBitMap(w, h);
    Mask *random = AllocMask(nullptr, w, h, 0), *solid = AllocMask(nullptr, w, h, 0), *clear = AllocMask(nullptr, w, h, 1);
    AlphaChannel *alpha = AllocAlphaChannel(w, h, 0);
    if (!src || !dst || !random || !solid || !clear || !alpha) {
      fprintf(stderr, "out of memory at %dx%d\n", w, h);
      return 1;
    }
    uint32_t s = 12345;
    for (size_t i = 0; i < bytes; i++) {
      s = s * 1103515245u + 12345;
      src->pixels[i] = (uint8_t)(s >> 16);
      dst->pixels[i] = (uint8_t)(s >> 8);
    }
    for (int i = 0; i < random->bytesPerRow * h; i++) {
      s = s * 1103515245u + 12345;
      random->pixels[i] = (uint8_t)(s >> 16);
    }
    memset(solid->pixels, 0xFF, (size_t)solid->bytesPerRow * h);
    for (int i = 0; i < alpha->bytesPerRow * h; i++) {
      s = s * 1103515245u + 12345;
      alpha->pixels[i] = (uint8_t)(s >> 16);
    }
    BitMapInfo si_, di;
    LockBitMap(src, &si_);
    LockBitMap(dst, &di);

    const double tMemcpy = Time([&] { memcpy(dst->pixels, src->pixels, bytes); sink = dst->pixels[bytes / 2]; });
    const double tMemset = Time([&] { memset(dst->pixels, 0x5A, bytes); sink = dst->pixels[bytes / 3]; });

    std::function<void()> kernels[] = {
        [&] { RectFill32(di.pixels, di.modulo, 0, 0, w, h, 0x00112233); },
        // Rows shorter than the row length: filled one by one.
        [&] { RectFill32(di.pixels, di.modulo, 1, 1, w - 2, h - 2, 0x00112233); },
        [&] { BltBitMap(src, 0, 0, dst, 0, 0, w, h); },
        [&] { BltMask(src, 0, 0, dst, 0, 0, w, h, random); },
        [&] { BltMask(src, 0, 0, dst, 0, 0, w, h, solid); },
        [&] { BltMask(src, 0, 0, dst, 0, 0, w, h, clear); },
        [&] {
          BltAlphaBitMap32(si_.pixels, 0, 0, 0, 0, si_.modulo, di.pixels, 0, 0, di.modulo, w, h, alpha->pixels,
                           alpha->bytesPerRow, di.format);
        },
        // The transparent blit of a picture with an alpha channel.
        [&] {
          BltAlphaBitMapLevel32(si_.pixels, 0, 0, 0, 0, si_.modulo, di.pixels, 0, 0, di.modulo, w, h, alpha->pixels,
                                alpha->bytesPerRow, di.format, 128);
        },
        [&] {
          BlendPlanes pl = {si_.pixels, di.pixels, nullptr, 0};
          BlendPixels32(&pl, w, h, 100, di.format, si_.modulo, di.modulo, 0);
        },
        [&] {
          BlendPlanes pl = {si_.pixels, di.pixels, random->pixels, 0};
          BlendPixels32(&pl, w, h, 100, di.format, si_.modulo, di.modulo, random->bytesPerRow);
        },
        [&] {
          AlphaChannelBltParams p = {};
          p.coverage = alpha->pixels;
          p.coverageBytesPerRow = alpha->bytesPerRow;
          p.width = w;
          p.height = h;
          p.colour = RGBToPixel(0x336699, di.format);
          p.mode = 1;
          AlphaChannelRect(&di, &p);
        },
        [&] { TintPixels32(di.pixels, 0, 0, w, h, 0x336699, 100, di.modulo, di.format); },
        [&] { InvertPixels32(di.pixels, w, h, di.modulo); },
        [&] { BrushToGray32(di.pixels, w, h, di.format, di.modulo); },
        [&] { BrushToGray32(di.pixels, w, h, di.format, di.modulo); },
        [&] {
          MaskFromKeyColor32(si_.pixels, random->pixels, w, h, random->bytesPerRow, 0x11223300, si_.modulo,
                             0xFFFFFF00);
        },
    };
    // The gray kernel works in place: each of its runs starts from the random
    // picture, or from a gray one (every pixel's weighted sum an exact
    // multiple of 1000, where the double sum may round just below).
    std::vector<uint8_t> grayPicture(bytes);
    for (size_t i = 0; i < bytes; i += 4) memset(&grayPicture[i], src->pixels[i], 4);
    std::function<void()> setups[nk];
    for (int k = 0; k < nk; k++) {
      if (!strcmp(names[k], "BrushToGray32")) setups[k] = [&] { memcpy(dst->pixels, src->pixels, bytes); };
      if (!strcmp(names[k], "BrushToGray32 gray picture"))
        setups[k] = [&] { memcpy(dst->pixels, grayPicture.data(), bytes); };
    }
    for (int k = 0; k < nk; k++) {
      const double t = Time(kernels[k], setups[k]);
      rows[k].ratio[si] = (rows[k].vsMemset ? tMemset : tMemcpy) / t;
    }
    UnLockBitMap();
    UnLockBitMap();
    FreeAlphaChannel(alpha);
    FreeMask(random);
    FreeMask(solid);
    FreeMask(clear);
    FreeBitMap(src);
    FreeBitMap(dst);
  }
  for (const Row &r : rows)
    printf("%-28s %12.2f %12.2f %12.2f   vs %s\n", r.name, r.ratio[0], r.ratio[1], r.ratio[2],
           r.vsMemset ? "memset" : "memcpy");
  printf("targets: RectFill32, BltBitMap32 >= 0.8; BltMask32 random >= 0.3, solid >= 0.7; "
         "BltAlphaBitMap32, BlendPixels32, BltAlphaChannel32, TintPixels32 >= 0.5 at 4096x4096; "
         "BrushToGray32, MaskFromKeyColor32 >= 0.5 at 1920x1080\n");
  return 0;
}

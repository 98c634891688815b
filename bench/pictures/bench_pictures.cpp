// Decoding speed of a 1920 x 1080 24-plane ByteRun1 ILBM through LoadImageFile, against the PNG
// of the same pixels through the same call (SDL2_image behind it), measured in the same run.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

#include "bench/bench_timing.h"
#include "gfx/picload.h"
#include "pictures/picture_readers.h"
#include "platform/os.h"
#include "runtime/memory.h"

namespace {

// Best time of one load over repeated runs (at least ~0.5 s of work).
double TimeLoad(const std::string &path) {
  double best = 1e9, start = BenchNow();
  int runs = 0;
  do {
    uint32_t *px = nullptr;
    int32_t w, h;
    const double t0 = BenchNow();
    if (LoadImageFile(path.c_str(), nullptr, 0, 0, 0, &px, nullptr, nullptr, nullptr, &w, &h) != 0) {
      fprintf(stderr, "cannot load %s\n", path.c_str());
      exit(1);
    }
    const double t = BenchNow() - t0;
    MemFree(px);
    if (t < best) best = t;
    runs++;
  } while ((BenchNow() - start < 0.5 || runs < 3) && runs < 50);
  return best;
}

}  // namespace

int main() {
  const int W = 1920, H = 1080;
  // A picture like a painted one: smooth gradients, flat areas and some grain.
  std::vector<uint32_t> px((size_t)W * H);
  uint32_t seed = 1;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      seed = seed * 1103515245u + 12345;
      const bool flat = ((x / 160) + (y / 120)) % 3 == 0;
      const uint32_t grain = flat ? 0 : (seed >> 28);
      const uint32_t r = (x * 255 / W + grain) & 255, g = (y * 255 / H) & 255, b = flat ? 64 : ((x ^ y) >> 3) & 255;
      px[(size_t)y * W + x] = r << 16 | g << 8 | b;
    }
  char ilbm[256], png[256];
  if (!OsTempFileNameSuffix(ilbm, sizeof ilbm, ".iff") || !OsTempFileNameSuffix(png, sizeof png, ".png")) return 1;
  if (WriteILBM(ilbm, px.data(), W, H) || OsSavePNG(png, px.data(), W, H, 0)) {
    fprintf(stderr, "cannot write the pictures\n");
    return 1;
  }
  const double ti = TimeLoad(ilbm), tp = TimeLoad(png);
  const double mpx = (double)W * H / 1e6;
  printf("%-40s %10s %10s\n", "1920x1080 through LoadImageFile", "Mpx/s", "ratio");
  printf("%-40s %10.1f %10s\n", "PNG (platform decoder, reference)", mpx / tp, "1.00");
  printf("%-40s %10.1f %10.2f   (target >= 1.0)\n", "ILBM 24 planes, ByteRun1", mpx / ti, tp / ti);
  unlink(ilbm);
  unlink(png);
  return 0;
}

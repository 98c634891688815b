// Median-cut colour quantiser with a lazily filled inverse colour map.
#include "gfx/quantise.h"

#include <cstring>

#include "runtime/memory.h"

namespace {

struct Box {
  int32_t r0, r1, g0, g1, b0, b1;
  int32_t volume;
  int32_t colours;
};

struct Palette {  // the palette result block
  int32_t count;
  int32_t r[256], g[256], b[256];
  uint8_t *out;
};

// 32 planes (one per R cell) of 64 x 32 counters.
typedef uint16_t *Planes[32];

inline uint16_t &Cell(Planes h, int32_t r, int32_t g, int32_t b) { return h[r][g * 32 + b]; }

void UpdateBox(Planes h, Box *box) {
  auto anyIn = [&](int32_t r0, int32_t r1, int32_t g0, int32_t g1, int32_t b0, int32_t b1) {
    for (int32_t r = r0; r <= r1; r++)
      for (int32_t g = g0; g <= g1; g++)
        for (int32_t b = b0; b <= b1; b++)
          if (Cell(h, r, g, b)) return true;
    return false;
  };
  Box &x = *box;
  for (int32_t r = x.r0; r <= x.r1; r++)
    if (anyIn(r, r, x.g0, x.g1, x.b0, x.b1)) { x.r0 = r; break; }
  for (int32_t r = x.r1; r >= x.r0; r--)
    if (anyIn(r, r, x.g0, x.g1, x.b0, x.b1)) { x.r1 = r; break; }
  for (int32_t g = x.g0; g <= x.g1; g++)
    if (anyIn(x.r0, x.r1, g, g, x.b0, x.b1)) { x.g0 = g; break; }
  for (int32_t g = x.g1; g >= x.g0; g--)
    if (anyIn(x.r0, x.r1, g, g, x.b0, x.b1)) { x.g1 = g; break; }
  for (int32_t b = x.b0; b <= x.b1; b++)
    if (anyIn(x.r0, x.r1, x.g0, x.g1, b, b)) { x.b0 = b; break; }
  for (int32_t b = x.b1; b >= x.b0; b--)
    if (anyIn(x.r0, x.r1, x.g0, x.g1, b, b)) { x.b1 = b; break; }
  const int32_t dr = 16 * (x.r1 - x.r0), dg = 12 * (x.g1 - x.g0), db = 8 * (x.b1 - x.b0);
  x.volume = dr * dr + dg * dg + db * db;
  int32_t n = 0;
  for (int32_t r = x.r0; r <= x.r1; r++)
    for (int32_t g = x.g0; g <= x.g1; g++)
      for (int32_t b = x.b0; b <= x.b1; b++)
        if (Cell(h, r, g, b)) n++;
  x.colours = n;
}

// Boxes without counted cells (the bounds of an empty box never shrink) are never split.
int32_t MedianCut(Planes h, Box *boxes, int32_t wanted) {
  int32_t n = 1;
  while (n < wanted) {
    Box *pick = nullptr;
    if (n * 2 <= wanted) {
      for (int32_t i = 0; i < n; i++)
        if (boxes[i].volume > 0 && boxes[i].colours > 0 && (!pick || boxes[i].colours > pick->colours)) pick = &boxes[i];
    } else {
      for (int32_t i = 0; i < n; i++)
        if (boxes[i].volume > 0 && boxes[i].colours > 0 && (!pick || boxes[i].volume > pick->volume)) pick = &boxes[i];
    }
    if (!pick) break;
    Box *nb = &boxes[n];
    *nb = *pick;
    const int32_t lr = 16 * (pick->r1 - pick->r0), lg = 12 * (pick->g1 - pick->g0), lb = 8 * (pick->b1 - pick->b0);
    if (lg >= lr && lg >= lb) {
      const int32_t cut = (pick->g0 + pick->g1) / 2;
      pick->g1 = cut;
      nb->g0 = cut + 1;
    } else if (lr >= lb) {
      const int32_t cut = (pick->r0 + pick->r1) / 2;
      pick->r1 = cut;
      nb->r0 = cut + 1;
    } else {
      const int32_t cut = (pick->b0 + pick->b1) / 2;
      pick->b1 = cut;
      nb->b0 = cut + 1;
    }
    UpdateBox(h, pick);
    UpdateBox(h, nb);
    n++;
  }
  return n;
}

void BoxColour(Planes h, const Box *box, Palette *pal, int32_t i) {
  uint64_t total = 0, sr = 0, sg = 0, sb = 0;
  for (int32_t r = box->r0; r <= box->r1; r++)
    for (int32_t g = box->g0; g <= box->g1; g++)
      for (int32_t b = box->b0; b <= box->b1; b++) {
        const uint64_t c = Cell(h, r, g, b);
        total += c;
        sr += c * (uint64_t)(8 * r + 4);
        sg += c * (uint64_t)(4 * g + 2);
        sb += c * (uint64_t)(8 * b + 4);
      }
  if (!total) {
    pal->r[i] = pal->g[i] = pal->b[i] = 255;
    return;
  }
  pal->r[i] = (int32_t)((sr + total / 2) / total);
  pal->g[i] = (int32_t)((sg + total / 2) / total);
  pal->b[i] = (int32_t)((sb + total / 2) / total);
}

inline int32_t Sq(int32_t v) { return v * v; }

// Distance of value c to the range lo..hi along one axis: nearest and farthest.
inline void AxisRange(int32_t c, int32_t lo, int32_t hi, int32_t *nearD, int32_t *farD) {
  *nearD = c < lo ? lo - c : c > hi ? c - hi : 0;
  const int32_t a = c > lo ? c - lo : lo - c, b = c > hi ? c - hi : hi - c;
  *farD = a > b ? a : b;
}

// Fills the 4 x 8 x 4 block of the inverse map that holds cell (r, g, b).
void FillInverseBlock(Planes h, const Palette *pal, int32_t colours, int32_t r, int32_t g, int32_t b) {
  const int32_t r0 = r & ~3, g0 = g & ~7, b0 = b & ~3;
  const int32_t rlo = 8 * r0 + 4, rhi = 8 * (r0 + 3) + 4, glo = 4 * g0 + 2, ghi = 4 * (g0 + 7) + 2,
                blo = 8 * b0 + 4, bhi = 8 * (b0 + 3) + 4;
  int32_t minD[256], maxD[256], limit = INT32_MAX;
  for (int32_t i = 0; i < colours; i++) {
    int32_t nr, fr, ng, fg, nb, fb;
    AxisRange(pal->r[i], rlo, rhi, &nr, &fr);
    AxisRange(pal->g[i], glo, ghi, &ng, &fg);
    AxisRange(pal->b[i], blo, bhi, &nb, &fb);
    minD[i] = Sq(2 * nr) + Sq(3 * ng) + Sq(nb);
    maxD[i] = Sq(2 * fr) + Sq(3 * fg) + Sq(fb);
    if (maxD[i] < limit) limit = maxD[i];
  }
  int32_t cand[256], nc = 0;
  for (int32_t i = 0; i < colours; i++)
    if (minD[i] <= limit) cand[nc++] = i;
  for (int32_t rr = r0; rr < r0 + 4; rr++)
    for (int32_t gg = g0; gg < g0 + 8; gg++)
      for (int32_t bb = b0; bb < b0 + 4; bb++) {
        const int32_t cr = 8 * rr + 4, cg = 4 * gg + 2, cb = 8 * bb + 4;
        int32_t best = cand[0], bestD = INT32_MAX;
        for (int32_t k = 0; k < nc; k++) {
          const int32_t i = cand[k];
          const int32_t d = Sq(2 * (cr - pal->r[i])) + Sq(3 * (cg - pal->g[i])) + Sq(cb - pal->b[i]);
          if (d < bestD) { bestD = d; best = i; }
        }
        Cell(h, rr, gg, bb) = (uint16_t)(best + 1);
      }
}

inline int32_t MapCell(Planes h, const Palette *pal, int32_t colours, int32_t r, int32_t g, int32_t b) {
  uint16_t &c = Cell(h, r >> 3, g >> 2, b >> 3);
  if (!c) FillInverseBlock(h, pal, colours, r >> 3, g >> 2, b >> 3);
  return c - 1;
}

// Releases the working memory of a quantisation (any part may be missing).
void FreeWork(Palette *pal, Box *boxes, int16_t *limitTable, int16_t *errors, Planes h) {
  MemFree(pal);
  MemFree(boxes);
  MemFree(limitTable);
  MemFree(errors);
  for (int i = 0; i < 32; i++) MemFree(h[i]);
}

}  // namespace

int QuantizeBitMap(const uint8_t *pixels, PixelFormat format, int32_t bytesPerPixel, int32_t width, int32_t height,
                   int32_t rowLength, uint8_t *indexOut, uint32_t *paletteOut, int32_t *count,
                   int32_t transparentRgb, int reserve, int dither) {
  if (!pixels || !indexOut || !paletteOut || !count || width < 1 || height < 1) return 0;
  const bool slot = transparentRgb != -1 || reserve;
  int32_t wanted = *count;
  if (wanted > (slot ? 255 : 256)) wanted = slot ? 255 : 256;
  if (wanted < 1) wanted = 1;
  const uint32_t tkey = (uint32_t)transparentRgb & 0xFFFFFF;
  const bool hasKey = transparentRgb != -1;

  Palette *pal = (Palette *)MemAlloc(sizeof(Palette), 1);
  Planes h = {};
  Box *boxes = (Box *)MemAlloc(sizeof(Box) * 256, 1);
  int16_t *limitTable = (int16_t *)MemAlloc(sizeof(int16_t) * 511, 0);
  int16_t *errors = dither ? (int16_t *)MemAlloc(sizeof(int16_t) * ((size_t)width + 2) * 3, 1) : nullptr;
  bool ok = pal && boxes && limitTable && (!dither || errors);
  for (int i = 0; i < 32 && ok; i++)
    if (!(h[i] = (uint16_t *)MemAlloc(4096, 1))) ok = false;
  if (!ok) {
    FreeWork(pal, boxes, limitTable, errors, h);
    return 0;
  }
  for (int32_t e = -255; e <= 255; e++) {
    const int32_t a = e < 0 ? -e : e;
    const int32_t v = a < 16 ? a : a < 48 ? 16 + (a - 16) / 2 : 32;
    limitTable[e + 255] = (int16_t)(e < 0 ? -v : v);
  }

  auto readRGB = [&](int32_t x, int32_t y) {
    uint8_t c[3];
    ReadPixelRGB(pixels + ((ptrdiff_t)y * rowLength + x) * bytesPerPixel, format, c);
    return (uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2];
  };

  // Histogram.
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const uint32_t c = readRGB(x, y);
      if (hasKey && c == tkey) continue;
      uint16_t &cell = Cell(h, (int32_t)(c >> 19 & 31), (int32_t)(c >> 10 & 63), (int32_t)(c >> 3 & 31));
      if (cell != 65535) cell++;
    }

  boxes[0] = Box{0, 31, 0, 63, 0, 31, 0, 0};
  UpdateBox(h, &boxes[0]);
  const int32_t n = MedianCut(h, boxes, wanted);
  for (int32_t i = 0; i < n; i++) BoxColour(h, &boxes[i], pal, i);
  const int32_t tIndex = n;
  if (slot) {
    pal->r[tIndex] = hasKey ? (int32_t)(tkey >> 16) : 0;
    pal->g[tIndex] = hasKey ? (int32_t)(tkey >> 8 & 255) : 0;
    pal->b[tIndex] = hasKey ? (int32_t)(tkey & 255) : 0;
  }
  pal->count = slot ? n + 1 : n;
  pal->out = indexOut;
  for (int i = 0; i < 32; i++) memset(h[i], 0, 4096);

  if (!dither) {
    for (int32_t y = 0; y < height; y++) {
      uint8_t *out = indexOut + (size_t)y * (size_t)width;
      for (int32_t x = 0; x < width; x++) {
        const uint32_t c = readRGB(x, y);
        out[x] = (uint8_t)(hasKey && c == tkey ? tIndex
                                              : MapCell(h, pal, n, (int32_t)(c >> 16), (int32_t)(c >> 8 & 255),
                                                        (int32_t)(c & 255)));
      }
    }
  } else {
    auto limit = [&](int32_t e) {
      if (e < -255) e = -255;
      if (e > 255) e = 255;
      return (int32_t)limitTable[e + 255];
    };
    for (int32_t y = 0; y < height; y++) {
      const bool forward = (y & 1) == 0;
      const int32_t dir = forward ? 1 : -1;
      int32_t x = forward ? 0 : width - 1;
      // Error-buffer position of the pixel is x + 1; `ep` points one behind it.
      int16_t *ep = errors + (size_t)(forward ? 0 : width + 1) * 3;
      uint8_t *out = indexOut + (size_t)y * (size_t)width;
      int32_t cur[3] = {0, 0, 0}, below[3] = {0, 0, 0}, behind[3] = {0, 0, 0};
      for (int32_t i = 0; i < width; i++, x += dir, ep += dir * 3) {
        const uint32_t c = readRGB(x, y);
        if (hasKey && c == tkey) {
          out[x] = (uint8_t)tIndex;
          for (int ch = 0; ch < 3; ch++) {
            ep[ch] = (int16_t)behind[ch];
            behind[ch] = below[ch];
            below[ch] = 0;
          }
          continue;
        }
        int32_t v[3] = {(int32_t)(c >> 16), (int32_t)(c >> 8 & 255), (int32_t)(c & 255)};
        for (int ch = 0; ch < 3; ch++) {
          int32_t e = limit((cur[ch] + ep[dir * 3 + ch] + 8) >> 4);
          int32_t val = v[ch] + e;
          v[ch] = val < 0 ? 0 : val > 255 ? 255 : val;
        }
        const int32_t idx = MapCell(h, pal, n, v[0], v[1], v[2]);
        out[x] = (uint8_t)idx;
        const int32_t pc[3] = {pal->r[idx], pal->g[idx], pal->b[idx]};
        for (int ch = 0; ch < 3; ch++) {
          const int32_t d = v[ch] - pc[ch];
          ep[ch] = (int16_t)(behind[ch] + 3 * d);
          behind[ch] = below[ch] + 5 * d;
          below[ch] = d;
          cur[ch] = 7 * d;
        }
      }
      for (int ch = 0; ch < 3; ch++) ep[ch] = (int16_t)behind[ch];
    }
  }

  for (int32_t i = 0; i < pal->count; i++)
    paletteOut[i] = (uint32_t)pal->r[i] << 16 | (uint32_t)pal->g[i] << 8 | (uint32_t)pal->b[i];
  *count = pal->count;
  FreeWork(pal, boxes, limitTable, errors, h);
  return 1;
}

// fxsheet: draws one transition effect on test pictures without a display and lays every k-th
// frame (and always the last) in a grid, written as a PNG contact sheet for a person to look at.
//
//   fxsheet EFFECT [SPEED] [MODE] out.png
//
// EFFECT is a number 0-140 or a constant name (HSTRIPES8); SPEED a number (-1 normal, -2 fast,
// -3 slow; default -1); MODE "bgpic" (a new picture replaces the old one; default) or "brush"
// (a masked object comes in over the middle of the picture).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>
#include "fx/fx_catalogue.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "gfx/blit.h"
#include "platform/os.h"
#include "runtime/memory.h"

namespace {

const int32_t kPictureW = 192, kPictureH = 120, kColumns = 4, kMaxCells = 16, kGap = 4;

// The old picture: diagonal bands of blue and teal.
BitMap *OldPicture(void) {
  BitMap *bm = AllocBitMap(kPictureW, kPictureH);
  for (int32_t y = 0; y < kPictureH; y++)
    for (int32_t x = 0; x < kPictureW; x++)
      WriteBitMapPixel(bm, x, y, ((x + y) / 12) % 2 ? 0x1E3C78 : 0x2A8C8C, 0);
  return bm;
}

// The new image: a warm checkerboard with a light frame, so stretching and positions show.
BitMap *NewImage(int32_t w, int32_t h) {
  BitMap *bm = AllocBitMap(w, h);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      uint32_t c = ((x / 16) + (y / 16)) % 2 ? 0xE8A030 : 0xB02828;
      if (x < 3 || y < 3 || x >= w - 3 || y >= h - 3) c = 0xF0F0E0;
      WriteBitMapPixel(bm, x, y, c, 0);
    }
  return bm;
}

// An ellipse filling the object.
Mask *EllipseMask(int32_t w, int32_t h) {
  Mask *m = AllocMask(nullptr, w, h, 1);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h / 2.0);
      if (dx * dx + dy * dy <= 1.0) PutMaskRowBit(m->pixels + (size_t)y * m->bytesPerRow, x, 1);
    }
  return m;
}

int32_t ParseEffect(const char *text) {
  char *end;
  long n = strtol(text, &end, 10);
  if (*text && !*end) return (int32_t)n;
  if (*text == '#') text++;
  for (const FxConstant *c = kFxConstants; c->name; c++)
    if (!strcasecmp(c->name, text)) return c->value;
  return -1000;
}

struct Frames {
  std::vector<BitMap *> shots;
};

int KeepFrame(TransitionRecord *r, void *user) {
  Frames *f = (Frames *)user;
  BitMap *copy = AllocBitMap(r->target->width, r->target->height);
  if (!copy) return 1;
  BltBitMap(r->target, 0, 0, copy, 0, 0, copy->width, copy->height);
  f->shots.push_back(copy);
  return 0;
}

int Usage(void) {
  fprintf(stderr, "usage: fxsheet EFFECT [SPEED] [bgpic|brush] out.png\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3 || argc > 5) return Usage();
  const char *out = argv[argc - 1];
  int32_t effect = ParseEffect(argv[1]);
  int32_t speed = argc >= 4 ? (int32_t)strtol(argv[2], nullptr, 10) : FXSPEED_NORMAL;
  const char *mode = argc == 5 ? argv[3] : "bgpic";
  const bool brush = !strcasecmp(mode, "brush");
  if (!brush && strcasecmp(mode, "bgpic")) return Usage();
  if (effect < 0 || effect > FX_RANDOMEFFECT) {
    fprintf(stderr, "fxsheet: no effect \"%s\"\n", argv[1]);
    return 2;
  }
  FxSeedRandom(1);
  if (effect == FX_UNNAMED || effect == FX_RANDOMEFFECT) effect = FxRandomEffect(brush);
  // Objects get HSTRIPES for an effect that needs the whole picture, as on screen.
  if (brush && FxIsPictureOnly(effect)) effect = FX_HSTRIPES;

  BitMap *picture = OldPicture();
  const int32_t ow = brush ? kPictureW / 2 : kPictureW, oh = brush ? kPictureH * 2 / 3 : kPictureH;
  const int32_t ox = (kPictureW - ow) / 2, oy = (kPictureH - oh) / 2;
  BitMap *source = NewImage(ow, oh);
  Mask *mask = brush ? EllipseMask(ow, oh) : nullptr;
  BitMap *before = AllocBitMap(ow, oh);
  BltBitMap(picture, ox, oy, before, 0, 0, ow, oh);
  // A masked object is flattened over the background unless the effect composes it itself.
  if (mask && !FxIsSelfComposing(effect)) {
    BitMap *flat = AllocBitMap(ow, oh);
    BltBitMap(before, 0, 0, flat, 0, 0, ow, oh);
    BltMask(source, 0, 0, flat, 0, 0, ow, oh, mask);
    FreeBitMap(source);
    FreeMask(mask);
    source = flat;
    mask = nullptr;
  }
  Frames frames;
  frames.shots.push_back(nullptr);  // the start, filled below
  frames.shots[0] = AllocBitMap(kPictureW, kPictureH);
  BltBitMap(picture, 0, 0, frames.shots[0], 0, 0, kPictureW, kPictureH);
  TransitionRecord r;
  FxInitOffscreen(&r, effect, speed, FX_RANDOMPARAMETER, source, mask, nullptr, before, picture, ox, oy);
  int32_t drawn = 0;
  int rc = FxRunOffscreen(&r, 100000, KeepFrame, &frames, &drawn);
  if (rc) {
    fprintf(stderr, "fxsheet: the effect failed with error %d\n", rc);
    return 1;
  }

  // Every k-th frame after the start, and the last one.
  const int32_t n = (int32_t)frames.shots.size();
  const int32_t k = (n - 1 + kMaxCells - 2) / (kMaxCells - 1) > 0 ? (n - 1 + kMaxCells - 2) / (kMaxCells - 1) : 1;
  std::vector<int32_t> cells;
  for (int32_t i = 0; i < n; i += k) cells.push_back(i);
  if (cells.back() != n - 1) cells.push_back(n - 1);
  const int32_t rows = ((int32_t)cells.size() + kColumns - 1) / kColumns;
  const int32_t sw = kColumns * (kPictureW + kGap) + kGap, sh = rows * (kPictureH + kGap) + kGap;
  BitMap *sheet = AllocBitMap(sw, sh);
  RectFillBitMap(sheet, 0, 0, sw, sh, 0x404040);
  for (size_t c = 0; c < cells.size(); c++)
    BltBitMap(frames.shots[cells[c]], 0, 0, sheet, kGap + (int32_t)(c % kColumns) * (kPictureW + kGap),
              kGap + (int32_t)(c / kColumns) * (kPictureH + kGap), kPictureW, kPictureH);
  uint32_t *words = BitMapToARGB(sheet, sw, sh);
  rc = words ? OsSavePNG(out, words, sw, sh, 0) : 1000;
  const FxEffectEntry *e = FxEffectInfo(effect);
  if (!rc)
    printf("%s (%d), %s: %d frames (set-up counted %d), step %d; every %d. frame -> %s\n", e->name, effect, mode,
           drawn, r.frames, r.speed, k, out);
  else fprintf(stderr, "fxsheet: cannot write %s (error %d)\n", out, rc);
  MemFree(words);
  FreeBitMap(sheet);
  for (BitMap *b : frames.shots) FreeBitMap(b);
  FreeBitMap(before);
  FreeMask(mask);
  FreeBitMap(source);
  FreeBitMap(picture);
  return rc ? 1 : 0;
}

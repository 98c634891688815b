// A drawing target over pictures of our own for the shape renderer tests: a brush-like target
// (bitmap, optional mask and alpha) or a display-like one, with hooks that record the layers,
// window writes and sprite tests the renderer asks for.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "pictures/draw_render.h"

struct RecordedLayer {
  ShapeLayerState *state;
  int32_t insertPos, flags;
};

struct DrawFixture {
  BitMap *bitmap = nullptr;
  Mask *mask = nullptr;
  AlphaChannel *alpha = nullptr;
  DrawTarget target;
  DrawTargetHooks hooks;
  std::vector<RecordedLayer> layers;
  std::vector<std::string> windowOps;
  int32_t spriteX = 0, spriteY = 0, spriteW = 0, spriteH = 0;  // one sprite, or none when w is 0

  DrawFixture(int kind, int32_t w, int32_t h, bool withMask = false, bool withAlpha = false, bool withBitmap = true) {
    if (withBitmap) {
      bitmap = AllocBitMap(w, h);
      RectFillBitMap(bitmap, 0, 0, w, h, 0xFFFFFF);
    }
    if (withMask) mask = AllocMask(bitmap, w, h, 1);
    if (withAlpha) alpha = AllocAlphaChannel(w, h, 1);
    memset(&target, 0, sizeof target);
    memset(&hooks, 0, sizeof hooks);
    target.kind = kind;
    target.bitmap = bitmap;
    target.mask = mask;
    target.alpha = alpha;
    target.width = w;
    target.height = h;
    target.alphaIntensity = -1;
    target.hooks = &hooks;
    target.user = this;
    hooks.addLayer = [](void *u, ShapeLayerState *st, int32_t pos, int32_t flags) {
      ((DrawFixture *)u)->layers.push_back({st, pos, flags});
      return 0;
    };
    hooks.overlapsSprites = [](void *u, int32_t x, int32_t y, int32_t w, int32_t h) {
      const DrawFixture *f = (const DrawFixture *)u;
      return (int)(f->spriteW > 0 && x < f->spriteX + f->spriteW && f->spriteX < x + w && y < f->spriteY + f->spriteH &&
                   f->spriteY < y + h);
    };
    hooks.windowRectFill = [](void *u, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t) {
      ((DrawFixture *)u)->windowOps.push_back("fill " + std::to_string(x) + "," + std::to_string(y) + " " +
                                              std::to_string(w) + "x" + std::to_string(h));
    };
    hooks.windowDrawLine = [](void *u, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t) {
      ((DrawFixture *)u)->windowOps.push_back("line " + std::to_string(x1) + "," + std::to_string(y1) + " " +
                                              std::to_string(x2) + "," + std::to_string(y2));
    };
    hooks.bltToWindow = [](void *u, int32_t x, int32_t y, int32_t w, int32_t h) {
      ((DrawFixture *)u)->windowOps.push_back("blt " + std::to_string(x) + "," + std::to_string(y) + " " +
                                              std::to_string(w) + "x" + std::to_string(h));
    };
  }
  ~DrawFixture() {
    for (RecordedLayer &l : layers) FreeShapeLayerState(l.state);
    FreeBitMap(bitmap);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
  }
  uint32_t Pixel(int32_t x, int32_t y) const { return ReadBitMapPixel(bitmap, x, y, 0); }
  // Bounding box of the pixels that differ from white: x, y, width, height (all 0 when none).
  void Painted(int32_t *x, int32_t *y, int32_t *w, int32_t *h) const {
    int32_t lx = INT32_MAX, ly = INT32_MAX, hx = -1, hy = -1;
    for (int32_t j = 0; j < bitmap->height; j++)
      for (int32_t i = 0; i < bitmap->width; i++)
        if (Pixel(i, j) != 0xFFFFFF) {
          if (i < lx) lx = i;
          if (j < ly) ly = j;
          if (i > hx) hx = i;
          if (j > hy) hy = j;
        }
    *x = hx < 0 ? 0 : lx;
    *y = hy < 0 ? 0 : ly;
    *w = hx < 0 ? 0 : hx - lx + 1;
    *h = hy < 0 ? 0 : hy - ly + 1;
  }
  // The painted box is exactly (x, y, w, h).
  void ExpectPainted(int32_t x, int32_t y, int32_t w, int32_t h) const {
    int32_t px, py, pw, ph;
    Painted(&px, &py, &pw, &ph);
    EXPECT_EQ(px, x);
    EXPECT_EQ(py, y);
    EXPECT_EQ(pw, w);
    EXPECT_EQ(ph, h);
  }
  int32_t CountPainted() const {
    int32_t n = 0;
    for (int32_t j = 0; j < bitmap->height; j++)
      for (int32_t i = 0; i < bitmap->width; i++) n += Pixel(i, j) != 0xFFFFFF;
    return n;
  }
};

// A style with the defaults and the given fill and form.
inline DrawStyle MakeStyle(int32_t fill, uint32_t form) {
  DrawStyle st;
  ResetDrawStyle(&st);
  st.fillStyle = fill;
  st.formStyle = form;
  return st;
}

// A shape record of a type in a box, with the identity transform.
inline ShapeRecord MakeShape(int32_t type, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour,
                             const DrawStyle *style) {
  ShapeRecord r;
  memset(&r, 0, sizeof r);
  r.type = type;
  r.x = x;
  r.y = y;
  r.width = w;
  r.height = h;
  r.xradius = w / 2;
  r.yradius = h / 2;
  r.colour = colour;
  r.style = style;
  r.transform = IdentityTransform();
  r.insertPos = -1;
  r.clockwise = 1;
  return r;
}

// Shapes from untrusted parameters: style, shape type, position, size, angles, turn and polygon
// points read from the bytes, drawn onto a small target of a random kind, clip and layer mode.
// Sizes stay small enough to be drawn quickly; the shape may still reach far outside.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gfx/blit.h"
#include "pictures/draw_render.h"

namespace {

struct Bytes {
  const uint8_t *p;
  size_t n;
  uint32_t U8() { return n ? (n--, *p++) : 0; }
  uint32_t U16() { return U8() | U8() << 8; }
  int32_t S16() { return (int16_t)U16(); }
};

// The layers added by one call, freed after it (as the layer code would free them later).
ShapeLayerState *gLayers[4];
int gLayerCount;
int TakeLayer(void *, ShapeLayerState *st, int32_t, int32_t) {
  if (gLayerCount == 4) {
    FreeShapeLayerState(st);
    return 1000;
  }
  gLayers[gLayerCount++] = st;
  return 0;
}
int TakeImages(void *, void *, void *, int32_t, int32_t, int32_t, int32_t, BitMap *b, Mask *m, AlphaChannel *a,
               int32_t) {
  FreeBitMap(b);
  FreeMask(m);
  FreeAlphaChannel(a);
  return 0;
}
int SpriteAt(void *u, int32_t x, int32_t y, int32_t w, int32_t h) { return (x ^ y ^ w ^ h) & *(int *)u; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 24 || size > 4096) return 0;
  if (OpenDrawTables()) return 0;
  Bytes b = {data, size};
  DrawStyle st;
  ResetDrawStyle(&st);
  st.fillStyle = (int32_t)(b.U8() % 3);  // no texture provider: FILLTEXTURE only fails
  st.formStyle = b.U8() & 0x71;
  st.edgeSize = (int32_t)(b.U8() % 70);
  st.shadowSize = (int32_t)(b.U8() % 70);
  st.shadowDirection = (int32_t)(b.U8() % 9);
  st.thickness = (int32_t)(b.U8() % 300);
  st.edgeColour = b.U16() << 16 | b.U16();
  st.shadowColour = b.U16() << 16 | b.U16();
  ClampDrawStyle(&st);
  const uint32_t kindPick = b.U8();
  const uint32_t shape = b.U8() % 6;
  const int32_t x = b.S16() % 300, y = b.S16() % 300;
  const int32_t w = (int32_t)(b.U16() % 400), h = (int32_t)(b.U16() % 400);
  const int32_t a0 = b.S16(), a1 = b.S16();
  const uint32_t colour = b.U16() << 16 | b.U16();
  ShapeTransform t = IdentityTransform();
  const uint32_t turn = b.U8();
  if (turn & 1) RotationMatrix(b.S16(), t.m);
  if (turn & 2) {
    t.m[0] *= (b.U8() % 40) / 10.0;
    t.m[3] *= (b.U8() % 40) / 10.0;
  }
  t.anchorX = (b.U8() % 11) / 10.0;
  t.anchorY = (b.U8() % 11) / 10.0;

  const int kinds[] = {DRAWTARGET_BRUSH, DRAWTARGET_MASK, DRAWTARGET_ALPHA, DRAWTARGET_DISPLAY, DRAWTARGET_BGPIC};
  DrawTarget target;
  memset(&target, 0, sizeof target);
  DrawTargetHooks hooks;
  memset(&hooks, 0, sizeof hooks);
  hooks.addLayer = TakeLayer;
  hooks.updateLayerGeometry = TakeImages;
  hooks.overlapsSprites = SpriteAt;
  int spriteBits = (int)(kindPick >> 5);
  target.kind = kinds[kindPick % 5];
  target.layersOn = (kindPick >> 3) & 1;
  target.width = 128;
  target.height = 96;
  target.hooks = &hooks;
  target.user = &spriteBits;
  target.alphaIntensity = (kindPick & 4) ? -1 : 100;
  BitMap *bm = target.kind == DRAWTARGET_MASK || target.kind == DRAWTARGET_ALPHA ? nullptr : AllocBitMap(128, 96);
  if (bm) RectFillBitMap(bm, 0, 0, 128, 96, 0x808080);
  Mask *mask = (kindPick & 16) || target.kind == DRAWTARGET_MASK ? AllocMask(bm, 128, 96, 1) : nullptr;
  AlphaChannel *alpha = (kindPick & 32) || target.kind == DRAWTARGET_ALPHA ? AllocAlphaChannel(128, 96, 1) : nullptr;
  target.bitmap = bm;
  target.mask = mask;
  target.alpha = alpha;
  Mask *clipMask = nullptr;
  if (b.U8() & 1) {
    target.hasClipRegion = 1;
    target.clip = {(int32_t)(b.U8() % 140) - 6, (int32_t)(b.U8() % 100) - 4, (int32_t)(b.U8() % 140),
                   (int32_t)(b.U8() % 100), nullptr};
    if (b.U8() & 1) {
      clipMask = AllocMask(nullptr, target.clip.width > 0 ? target.clip.width : 1,
                           target.clip.height > 0 ? target.clip.height : 1, 0);
      if (clipMask) memset(clipMask->pixels, 0xA5, (size_t)clipMask->bytesPerRow * (size_t)clipMask->height);
      target.clip.mask = clipMask;
    }
  }
  const int32_t flags = (int32_t)(b.U8() & (DRAWFLAG_NOBLIT | DRAWFLAG_RERENDER | DRAWFLAG_LAYERSTATE));
  switch (shape) {
    case 0:
      DrawBox(&target, nullptr, nullptr, &st, x, y, w, h, colour, a0 % 120, &t, nullptr, flags);
      break;
    case 1:
      DrawEllipseShape(&target, nullptr, nullptr, &st, SHAPE_CIRCLE + (a0 & 1), x, y, w / 2, h / 2, colour, &t,
                       nullptr, flags);
      break;
    case 2:
      DrawArcShape(&target, nullptr, nullptr, &st, x, y, w / 2, h / 2, a0 & 0x7FF, a1 & 0x7FF, a0 < 0, colour, &t,
                   nullptr, flags);
      break;
    case 3:
      DrawLineShape(&target, nullptr, nullptr, &st, x, y, x, y, x + a0 % 400, y + a1 % 400, colour, w % 300, &t,
                    nullptr, flags);
      break;
    default: {
      double pts[2 * (MAX_POLYGON_POINTS + 1)];
      int32_t n = 0;
      while (b.n >= 4 && n < MAX_POLYGON_POINTS) {
        pts[2 * n] = b.S16() % 2000;
        pts[2 * n + 1] = b.S16() % 2000;
        n++;
      }
      int32_t count, pw, ph, mx, my;
      FinishPolygonPoints(pts, n, &count, &pw, &ph, &mx, &my);
      DrawPolygonShape(&target, nullptr, nullptr, &st, x + mx, y + my, pw, ph, pts, count, colour, &t, nullptr, flags);
      break;
    }
  }
  while (gLayerCount > 0) FreeShapeLayerState(gLayers[--gLayerCount]);
  FreeBitMap(bm);
  FreeMask(mask);
  FreeAlphaChannel(alpha);
  FreeMask(clipMask);
  return 0;
}

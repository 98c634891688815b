// The draw library's output targets filled in from the display side: which planes the current
// display draws into, its clip region and settings, and the hooks through which the shape
// renderer writes to the window, asks about sprites, adds shape layers and clears pictures.
#include "display/draw_targets.h"

#include <cmath>
#include <cstring>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "display/output_select.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "pictures/draw_commands.h"
#include "pictures/transform_record.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

enum { ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055, ERR_DISPLAYCLOSED = 1347, ERR_LAYERASYNC = 1372 };

// ---- Planes -----------------------------------------------------------------------------------

static bool IsOffScreenKind(uint32_t kind) {
  return kind == OBJTYPE_BRUSH || kind == OBJTYPE_MASK || kind == OBJTYPE_ALPHACHANNEL;
}

// An automatically scaled display keeps a second buffer at the picture's size that reaches its
// window scaled; drawing on the display goes into both.
static bool UsesScaledBuffer(const DisplayRecord *d) { return d->autoScale && d->scaleWidth && d->backBuffer; }

// The planes drawing goes into now: for the display the picture the window shows (the composed
// back buffer with layers on); for a selected BGPic its own picture at its own size, which the
// layers added to it during the selection do not touch; else the selected object's planes as
// the selection prepared them.
static void FillPlanes(DrawTarget *t, const DisplayRecord *d) {
  if (t->kind == DRAWTARGET_DISPLAY) {
    t->bitmap = d->layersEnabled ? d->backBuffer : d->displayBitMap;
    t->mask = nullptr;
    t->alpha = nullptr;
  } else if (t->kind == DRAWTARGET_BGPIC) {
    t->bitmap = CurrentPicture ? CurrentPicture->bitmap : nullptr;
    t->mask = nullptr;
    t->alpha = nullptr;
  } else {
    t->bitmap = d->outputBitMap;
    t->mask = d->outputMask;
    t->alpha = d->outputAlpha;
  }
}

// The target description is the user data of its hooks, so preparing a selection can hand the
// planes it made (a new mask or alpha channel) to the drawing that follows.
static int PrepareTarget(void *user) {
  DrawTarget *t = (DrawTarget *)user;
  DisplayRecord *d = CurrentDisplay;
  if (!d) return ERR_DISPLAYCLOSED;
  BitMap *bitmap;
  const int rc = GetOutputBitmap(d, &bitmap);
  if (rc) return rc;
  FillPlanes(t, d);
  return 0;
}

static int32_t ResolveTarget(void *, int axis, int32_t coord, int32_t size, double anchor) {
  return axis ? ResolveYPos(coord, size, 0, anchor) : ResolveXPos(coord, size, 0, anchor);
}

// Whether a sprite shows a visible pixel at (x, y): inside its rectangle and on a set bit of
// its current frame's mask (or a non-zero alpha).
static bool SpritePixelAt(const SpriteInstance *i, int32_t x, int32_t y) {
  if (x < i->x || y < i->y || x >= i->x + i->width || y >= i->y + i->height) return false;
  BitMap *bm;
  Mask *mask;
  AlphaChannel *alpha;
  if (!GetSpriteFrame(i->sprite, i->frame - 1, &bm, &mask, &alpha)) return true;
  const int32_t sx = x - i->x, sy = y - i->y;
  if (mask) return sx < mask->width && sy < mask->height && MaskRowBit(mask->pixels + sy * mask->bytesPerRow, sx);
  if (alpha) return sx < alpha->width && sy < alpha->height && alpha->pixels[sy * alpha->bytesPerRow + sx] != 0;
  return true;
}

static int OverlapsSprites(void *, int32_t x, int32_t y, int32_t width, int32_t height) {
  const BGPicNode *pic = CurrentPicture;
  if (!pic || !pic->sprites) return 0;
  if (width == 1 && height == 1) {
    for (const SpriteInstance *i = pic->sprites; i; i = i->next)
      if (SpritePixelAt(i, x, y)) return 1;
    return 0;
  }
  return RectOverlapsSprites(pic, x, y, width, height);
}

// ---- Window writes ----------------------------------------------------------------------------

// The whole picture of a scaled display copied to its window.
static void ShowScaledBuffer(DisplayRecord *d) {
  if (d->bgpic) BltToWindow(d->backBuffer, 0, 0, d, 0, 0, d->bgpic->shownWidth, d->bgpic->shownHeight, 1);
}

static void WindowRectFill(void *, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb) {
  DisplayRecord *d = CurrentDisplay;
  if (!d) return;
  if (UsesScaledBuffer(d)) {
    RectFillBitMap(d->backBuffer, x, y, width, height, rgb);
    ShowScaledBuffer(d);
  } else if (d->window) {
    if (width == 1 && height == 1) OsWindowWritePixel(d->window, x, y, rgb);
    else OsWindowRectFill(d->window, x, y, width, height, rgb);
  }
}

static void WindowDrawLine(void *, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
  DisplayRecord *d = CurrentDisplay;
  if (!d) return;
  if (UsesScaledBuffer(d)) {
    DrawBitMapLine(d->backBuffer, x1, y1, x2, y2, rgb);
    ShowScaledBuffer(d);
  } else if (d->window) {
    OsWindowDrawLine(d->window, x1, y1, x2, y2, rgb);
  }
}

// A changed rectangle of the display's picture shown in the window. With layers on the layer
// code recomposed it when the layer was added, so nothing is left to do.
static void ShowRect(void *, int32_t x, int32_t y, int32_t width, int32_t height) {
  DisplayRecord *d = CurrentDisplay;
  if (!d || d->layersEnabled || !d->displayBitMap) return;
  if (CurrentPicture && CurrentPicture == d->bgpic && RectOverlapsSprites(CurrentPicture, x, y, width, height)) {
    // The sprites stay on top in the window.
    RefreshSpriteRect(d, x, y, width, height);
    return;
  }
  if (UsesScaledBuffer(d)) {
    const int32_t w = d->backBuffer->width < d->displayBitMap->width ? d->backBuffer->width : d->displayBitMap->width;
    const int32_t h =
        d->backBuffer->height < d->displayBitMap->height ? d->backBuffer->height : d->displayBitMap->height;
    int64_t x2 = (int64_t)x + width, y2 = (int64_t)y + height;
    const int32_t cx = x < 0 ? 0 : x, cy = y < 0 ? 0 : y;
    if (x2 > w) x2 = w;
    if (y2 > h) y2 = h;
    if (x2 > cx && y2 > cy)
      BltBitMap(d->displayBitMap, cx, cy, d->backBuffer, cx, cy, (int32_t)(x2 - cx), (int32_t)(y2 - cy));
    ShowScaledBuffer(d);
    return;
  }
  BltToWindow(d->displayBitMap, x, y, d, x, y, width, height, 1);
}

static void Damage(void *, int32_t x, int32_t y, int32_t width, int32_t height) {
  DisplayRecord *d = CurrentDisplay;
  if (d && width > 0 && height > 0)
    AppendDirtyRect(&d->dirty, x, y, (int32_t)((int64_t)x + width - 1), (int32_t)((int64_t)y + height - 1));
}

// ---- Option tables ----------------------------------------------------------------------------

// The options of the last shape command's table. Drawing does not nest, so one record serves;
// the layer code copies what it keeps.
static LayerOptions gLayerOptions;
static TransformRecord gTableTransform;
static int gTableTransformValid;

static int ReadOptions(lua_State *L, int index, int32_t width, int32_t height, int flags, ShapeTransform *transform,
                       void **layerOptions) {
  memset(&gLayerOptions, 0, sizeof gLayerOptions);
  gTableTransformValid = 0;
  int ptiFlags = PTI_INIT;
  if (flags & 4) ptiFlags |= PTI_NOSIZE;
  if (flags & 8) ptiFlags |= PTI_NOROTATE;
  const int rc = PrepareTransformedImage(L, index, width, height, width, height, 0, &gTableTransform, &gLayerOptions,
                                         ptiFlags);
  if (rc) return rc;
  transform->m[0] = gTableTransform.a;
  transform->m[1] = gTableTransform.b;
  transform->m[2] = gTableTransform.c;
  transform->m[3] = gTableTransform.d;
  transform->anchorX = gTableTransform.anchorX;
  transform->anchorY = gTableTransform.anchorY;
  gTableTransformValid = 1;
  *layerOptions = &gLayerOptions;
  return 0;
}

static int OptionsNeedRedraw(void *, const void *options) {
  const LayerOptions *lo = (const LayerOptions *)options;
  return lo->fullRedraw || lo->hidden || lo->transparency || lo->tint || lo->insertPos > 0;
}

// ---- Shape layers -----------------------------------------------------------------------------

// A shape layer's requested state with the shape's parameters (and a polygon's points) behind
// it in the same block, so the layer code frees them with the state.
enum { SHAPE_BLOCK_MAGIC = 0x53484150 };
struct ShapeLayerBlock {
  LayerState state;
  uint32_t magic;
  ShapeLayerState shape;
};

static bool IsShapeLayerType(int type) {
  return type == LAYERTYPE_BOX || type == LAYERTYPE_CIRCLE || type == LAYERTYPE_ELLIPSE || type == LAYERTYPE_LINE ||
         type == LAYERTYPE_POLYGON || type == LAYERTYPE_ARC;
}

const ShapeLayerState *ShapeLayerParams(int layerType, const LayerState *sourceState) {
  if (!sourceState || !IsShapeLayerType(layerType)) return nullptr;
  const ShapeLayerBlock *b = (const ShapeLayerBlock *)sourceState;
  return b->magic == SHAPE_BLOCK_MAGIC ? &b->shape : nullptr;
}

// The images of a shape drawn without its matrix, caught on their way to a layer.
struct CapturedImage {
  int32_t x, y, width, height;
  BitMap *bitmap;
  Mask *mask;
  AlphaChannel *alpha;
};

static int UpdateLayerGeometry(void *, void *layer, void *layerState, int32_t x, int32_t y, int32_t width,
                               int32_t height, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t) {
  if (!layerState) {
    CapturedImage *c = (CapturedImage *)layer;
    *c = {x, y, width, height, bitmap, mask, alpha};
    return 0;
  }
  LayerState *s = (LayerState *)layerState;
  FreeTriple(s->bitmap, s->mask, s->alpha);
  s->bitmap = bitmap;
  s->mask = mask;
  s->alpha = alpha;
  s->drawnWidth = width;
  s->drawnHeight = height;
  return 0;
}

// Renders a shape whose turning the layer code does itself: the same shape without the
// matrix, whose image the layer then turns about its anchor.
static int RenderUnturned(const DrawTarget *target, const ShapeLayerState *st, CapturedImage *out) {
  ShapeTransform plain = IdentityTransform();
  plain.anchorX = st->transform.anchorX;
  plain.anchorY = st->transform.anchorY;
  memset(out, 0, sizeof *out);
  const int f = DRAWFLAG_LAYERSTATE;
  switch (st->type) {
    case SHAPE_BOX:
      return DrawBox(target, out, nullptr, &st->style, st->x, st->y, st->shapeWidth, st->shapeHeight, st->colour,
                     st->roundlevel, &plain, nullptr, f);
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE:
      return DrawEllipseShape(target, out, nullptr, &st->style, st->type, st->x, st->y, st->xradius, st->yradius,
                              st->colour, &plain, nullptr, f);
    case SHAPE_ARC:
      return DrawArcShape(target, out, nullptr, &st->style, st->x, st->y, st->xradius, st->yradius, st->start,
                          st->end, st->clockwise, st->colour, &plain, nullptr, f);
    case SHAPE_POLYGON:
      return DrawPolygonShape(target, out, nullptr, &st->style, st->x, st->y, st->shapeWidth, st->shapeHeight,
                              st->points, st->count, st->colour, &plain, nullptr, f);
    case SHAPE_LINE:
      return DrawLineShape(target, out, nullptr, &st->style, st->x, st->y, st->x + st->x1, st->y + st->y1,
                           st->x + st->x2, st->y + st->y2, st->colour, st->thickness, &plain, nullptr, f);
    default:
      return ERR_WRONGUSAGE;
  }
}

// The layer's transform: the option table's when the shape came from one, else the matrix.
static void LayerTransform(const ShapeLayerState *st, TransformRecord *t) {
  const double *m = st->transform.m;
  if (gTableTransformValid && st->layerOptions == &gLayerOptions && gTableTransform.a == m[0] &&
      gTableTransform.b == m[1] && gTableTransform.c == m[2] && gTableTransform.d == m[3]) {
    *t = gTableTransform;
    return;
  }
  InitTransform(t);
  t->a = m[0];
  t->b = m[1];
  t->c = m[2];
  t->d = m[3];
  if (!IsIdentityMatrix(m)) {
    memcpy(t->explicitMatrix, m, sizeof t->explicitMatrix);
    t->explicitFlag = 1;
  }
  t->anchorX = st->transform.anchorX;
  t->anchorY = st->transform.anchorY;
}

static int AddShapeLayer(void *user, ShapeLayerState *st, int32_t insertPos, int32_t flags) {
  const DrawTarget *target = (const DrawTarget *)user;
  if (!st->bitmap) {
    CapturedImage c;
    const int rc = RenderUnturned(target, st, &c);
    if (rc || !c.bitmap) {
      FreeTriple(c.bitmap, c.mask, c.alpha);
      FreeShapeLayerState(st);
      return rc ? rc : ERR_NOMEM;
    }
    st->bitmap = c.bitmap;
    st->mask = c.mask;
    st->alpha = c.alpha;
    st->width = c.width;
    st->height = c.height;
    st->x = c.x;
    st->y = c.y;
  }
  const size_t pointBytes = st->points ? sizeof(double) * 2 * (size_t)st->count : 0;
  ShapeLayerBlock *b = (ShapeLayerBlock *)MemAlloc(sizeof(ShapeLayerBlock) + pointBytes, 1);
  if (!b) {
    FreeShapeLayerState(st);
    return ERR_NOMEM;
  }
  LayerState *s = &b->state;
  b->magic = SHAPE_BLOCK_MAGIC;
  b->shape = *st;
  b->shape.bitmap = nullptr;
  b->shape.mask = nullptr;
  b->shape.alpha = nullptr;
  b->shape.layerOptions = nullptr;
  b->shape.points = pointBytes ? (double *)(b + 1) : nullptr;
  if (pointBytes) memcpy(b->shape.points, st->points, pointBytes);
  s->bitmap = st->bitmap;
  s->mask = st->mask;
  s->alpha = st->alpha;
  // The layer code places a state by its anchor point on the image (lines by the image's
  // corner); the renderer gave the anchor point of the shape's own box.
  const double ax = st->transform.anchorX, ay = st->transform.anchorY;
  const int32_t left = st->x - (int32_t)(st->shapeWidth * ax), top = st->y - (int32_t)(st->shapeHeight * ay);
  const bool line = st->type == SHAPE_LINE;
  s->x = line ? left : left + (int32_t)lrint(st->width * ax);
  s->y = line ? top : top + (int32_t)lrint(st->height * ay);
  s->width = st->width;
  s->height = st->height;
  TransformRecord t;
  LayerTransform(st, &t);
  const LayerOptions *options = (const LayerOptions *)st->layerOptions;
  if (options && options->insertPos > 0) insertPos = options->insertPos;
  st->bitmap = nullptr;
  st->mask = nullptr;
  st->alpha = nullptr;
  FreeShapeLayerState(st);
  return AddLayer(b->shape.type, nullptr, &t, options, s, insertPos, flags & (ADDLAYER_SCALE | ADDLAYER_REPLACE),
                  nullptr);
}

// ---- Cls on a display or BGPic ----------------------------------------------------------------

static int ClearPicture(void *user) {
  const DrawTarget *t = (const DrawTarget *)user;
  DisplayRecord *d = CurrentDisplay;
  BGPicNode *pic = CurrentPicture;
  if (!d || !pic) return 0;
  if (d->layersEnabled) {
    if (pic->layers.first) {
      for (ListNode *n = pic->layers.first; n->succ; n = n->succ)
        if (LayerHooks.usedByAsync && LayerHooks.usedByAsync((const kvLayer *)n)) return ERR_LAYERASYNC;
      if (t->kind == DRAWTARGET_BGPIC)
        for (ListNode *n = pic->layers.first; n->succ; n = n->succ) {
          const kvLayer *l = (const kvLayer *)n;
          if (!l->hidden && !l->pending) AddDirtyRect(&d->dirty, l->drawnState);
        }
    }
    FreeLayer(pic, 1);
  } else {
    while (pic->sprites) RemoveSpriteInstance(pic->sprites);
    if (d->bgpic) CopyBGPicToDisplayBuffers(d, d->bgpic, 0);
  }
  if (t->kind == DRAWTARGET_DISPLAY) RefreshDisplay(d, 0);
  return 0;
}

// ---- The provider -----------------------------------------------------------------------------

static const DrawTargetHooks DisplayHooks = {
    PrepareTarget, ResolveTarget, OverlapsSprites, WindowRectFill, WindowDrawLine, ShowRect,
    AddShapeLayer, UpdateLayerGeometry, Damage, OptionsNeedRedraw, ClearPicture,
};

static int ProvideTarget(lua_State *, DrawTarget *t) {
  DisplayRecord *d = CurrentDisplay;
  BGPicNode *pic = CurrentPicture;
  if (!d || !pic) return ERR_DISPLAYCLOSED;
  t->kind = (int32_t)d->outputType;
  FillPlanes(t, d);
  t->width = pic->width;
  t->height = pic->height;
  // Nothing outside the planes that exist is drawn or read.
  if (t->bitmap) {
    if (t->bitmap->width < t->width) t->width = t->bitmap->width;
    if (t->bitmap->height < t->height) t->height = t->bitmap->height;
  }
  if (const ClipRegionNode *r = pic->clipRegion) {
    t->hasClipRegion = 1;
    t->clip = {r->x, r->y, r->width, r->height, r->mask};
  }
  int maskMode = MASKVISIBLE, intensity = -1;
  GetRuntimeTags((lua_State *)nullptr, RTAG_MASKMODE, &maskMode, RTAG_ALPHAINTENSITY, &intensity, 0);
  t->maskMode = maskMode;
  t->alphaIntensity = intensity;
  t->layersOn = d->layersEnabled && !IsOffScreenKind(d->outputType);
  t->pictureHasAlpha = t->kind == DRAWTARGET_DISPLAY && pic->alpha != nullptr;
  t->doubleBuffer = d->doubleBuffer && pic == d->doubleBufferPicture;
  t->smoothScale = (int32_t)d->smoothScale;
  t->hooks = &DisplayHooks;
  t->user = t;
  return 0;
}

int GetDisplayDrawTarget(lua_State *L, DrawTarget *target) {
  memset(target, 0, sizeof *target);
  target->alphaIntensity = -1;
  return ProvideTarget(L, target);
}

void ConnectDrawTargets(void) {
  SetDrawTargetProvider(ProvideTarget);
  SetDrawOptionReader(ReadOptions);
}

// The shape renderer: turns a ShapeRecord and the draw style into a picture triple (a bitmap
// with a mask or an alpha channel) holding the shadow, the edge and the filled or outlined body,
// and draws it onto an output target, hands it to the layer code as a shape layer, or gives it
// back to a layer being re-rendered. Boxes and lines have faster paths of their own that fall
// back on the same pieces.
//
// The output target is a plain description (DrawTarget) of the planes to draw into, the clip
// region and the runtime settings, with a table of hooks through which the display, layer and
// sprite code plug in: window writes, layer creation, target preparation, sprite tests.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "gfx/scale.h"
#include "pictures/draw_geometry.h"
#include "pictures/draw_style.h"

// Output target kinds (the object types of the current output).
enum { DRAWTARGET_BGPIC = 1, DRAWTARGET_BRUSH = 3, DRAWTARGET_DISPLAY = 21, DRAWTARGET_MASK = 28,
       DRAWTARGET_ALPHA = 30 };

// Flags of DrawShape, DrawBox and DrawLineShape.
enum {
  DRAWFLAG_NOBLIT = 1,     // do not draw onto the target
  DRAWFLAG_LAYERNEW = 2,   // set by the renderer when it adds a layer
  DRAWFLAG_RERENDER = 8,   // re-render a layer with its size at its insert position
  DRAWFLAG_LAYERSTATE = 16 // re-render for the layer's drawn state: the images go to the layer only
};

// A shape layer's own record: the parameters to render it again, the style it was drawn with
// and its images. The layer code owns it once AddShapeLayer accepted it.
struct ShapeLayerState {
  int32_t type;                 // SHAPE_*
  int32_t x, y, width, height;  // layer position and image size
  int32_t imageX, imageY;       // image offset from the shape's box
  ShapeTransform transform;
  void *layerOptions;
  BitMap *bitmap;               // nullptr when the layer code renders the shape itself
  Mask *mask;
  AlphaChannel *alpha;
  DrawStyle style;
  uint32_t colour;
  int32_t shapeWidth, shapeHeight;
  int32_t roundlevel, xradius, yradius, start, end, clockwise;
  int32_t x1, y1, x2, y2, thickness;  // LINE
  double *points;                      // POLYGON: the layer's own copy
  int32_t count;
};
void FreeShapeLayerState(ShapeLayerState *state);

// The active clip region: a rectangle and, for a shaped region, a mask addressed from the
// rectangle's corner.
struct DrawClip {
  int32_t x, y, width, height;
  const Mask *mask;
};

// Hooks of the display, layer and sprite code. Any hook may be nullptr: then the step does
// nothing (prepare, damage, window writes), finds nothing (overlapsSprites), keeps plain
// coordinates (resolvePos) or, for layers, frees the images.
struct DrawTargetHooks {
  // Prepares a selected brush, mask or alpha channel for drawing. 0 or an error code.
  int (*prepare)(void *user);
  // A coordinate such as #CENTER resolved for an object of the size with the anchor (axis 0 x).
  int32_t (*resolvePos)(void *user, int axis, int32_t coord, int32_t size, double anchor);
  // Non-zero when the rectangle overlaps a sprite shown on the current picture.
  int (*overlapsSprites)(void *user, int32_t x, int32_t y, int32_t width, int32_t height);
  // Window writes of a display target with layers off (the back buffer is drawn here).
  void (*windowRectFill)(void *user, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb);
  void (*windowDrawLine)(void *user, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb);
  // Copies a changed rectangle of the back buffer to the window.
  void (*bltToWindow)(void *user, int32_t x, int32_t y, int32_t width, int32_t height);
  // Adds a shape layer holding the state (the hook owns it from then on, also on failure; the
  // images are drawn from it after the hook returned, so they stay alive until the drawing call
  // returns). 0 or an error code.
  int (*addLayer)(void *user, ShapeLayerState *state, int32_t insertPos, int32_t flags);
  // Hands re-rendered images to the layer being drawn (the hook owns them). 0 or an error code.
  int (*updateLayerGeometry)(void *user, void *layer, void *layerState, int32_t x, int32_t y, int32_t width,
                             int32_t height, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t flags);
  // Adds a changed rectangle of a BGPic target to the display's damage list.
  void (*damage)(void *user, int32_t x, int32_t y, int32_t width, int32_t height);
  // Non-zero when a layer options record asks the layer code to redraw (an insert position
  // inside the stack, hidden, transparency or tint).
  int (*optionsNeedRedraw)(void *user, const void *layerOptions);
  // Cls on a display or BGPic: layers or sprites removed, the background restored and shown.
  // 0 or an error code.
  int (*clearPicture)(void *user);
};

struct DrawTarget {
  int32_t kind;           // DRAWTARGET_*
  BitMap *bitmap;         // colour plane (a display's back buffer) or nullptr
  Mask *mask;             // or nullptr
  AlphaChannel *alpha;    // or nullptr
  int32_t width, height;  // the current picture's size
  DrawClip clip;          // the active clip region
  int32_t hasClipRegion;  // 0: the whole picture
  int32_t maskMode;       // mask mode setting (MASKVISIBLE ...)
  int32_t alphaIntensity; // alpha intensity setting, -1: taken from the colour
  int32_t layersOn;
  int32_t pictureHasAlpha;  // display: the current picture has an alpha channel
  int32_t doubleBuffer;     // the current picture is a double-buffer picture
  int32_t smoothScale;      // scale mode for textures
  const DrawTargetHooks *hooks;
  void *user;
};

// The clip rectangle of the target: the clip region's, else the picture.
DrawClip TargetClipRect(const DrawTarget *target);
// A selected brush, mask or alpha channel (the off-screen targets).
int IsOffScreenTarget(const DrawTarget *target);
// Prepares a selected off-screen target before drawing (not a double-buffer picture). 0 or the
// hook's error.
int PrepareDrawTarget(const DrawTarget *target);
// A coordinate such as #CENTER resolved for an object of the size and anchor (axis 0 is x);
// plain coordinates come back as they are.
int32_t ResolveTargetPos(const DrawTarget *target, int axis, int32_t coord, int32_t size, double anchor);

// A new picture triple of width x height: a bitmap (cleared unless `keepPixels`) with a cleared
// alpha channel, or with a cleared mask. 0 or 1000 (nothing made).
int AllocShapeTriple(int32_t width, int32_t height, int withAlpha, int keepPixels, BitMap **bitmap, Mask **mask,
                     AlphaChannel **alpha);
// (A triple is freed with FreeTriple.)
// A cleared record of the type for the given parameters; the layer and its state are kept only
// for a re-render of the layer's drawn state.
void InitShapeRecord(ShapeRecord *rec, int32_t type, void *layer, void *layerState, const DrawStyle *style,
                     int32_t x, int32_t y, uint32_t colour, const ShapeTransform *transform, void *layerOptions,
                     int32_t flags, int32_t insertPos);

// Where textures come from: the brush's bitmap for an id (not owned), or an error code with
// the error argument set. Without a provider every lookup fails with 1174.
typedef int (*DrawTextureLookup)(ObjectId id, const BitMap **bitmap);
void SetDrawTextureLookup(DrawTextureLookup lookup);
// Tiles the style's texture over the rectangle from its offsets, the brush first scaled by
// |m0| x |m3| when either differs from 1. 0, the lookup's error or 1000.
int TileBrushScaled(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, const DrawStyle *style,
                    const double m[4], int smooth);

// Refuses picture sizes beyond what a plane may hold: 0, or 1000 "Out of memory!".
int CheckShapeImageSize(int64_t width, int64_t height);

// One outline, filled polygon or line drawn into the given planes at (x, y); 0, or 1000 when
// the coverage mask cannot be made. points: count
// integer pairs, or for a line its two end points. width x height is the coverage area.
// fill: a picture of the same layout whose pixel replaces the colour (or nullptr).
int DrawShapePath(int32_t x, int32_t y, int32_t width, int32_t height, BitMap *bitmap, const int32_t *points,
                   int32_t count, uint32_t rgb, int32_t transparency, int32_t maskMode, int filled, Mask *mask,
                   AlphaChannel *alpha, const DrawClip *clip, const BitMap *fill, int line, int32_t thickness,
                   int antialias, const DrawStyle *style);

// The picture triple of a shape whose record and outlines DrawShape prepared. 0, 1000 or the
// texture lookup's error; on success exactly one of *outMask and *outAlpha is set.
int RenderShapeImage(ShapeRecord *rec, const int32_t *body, int32_t bodyCount, const int32_t *edge,
                     int32_t edgeCount, int32_t edgeX, int32_t edgeY, int32_t shadowX, int32_t shadowY,
                     int32_t edgeWidth, int32_t edgeHeight, BitMap **outBitMap, Mask **outMask,
                     AlphaChannel **outAlpha);

// Draws the shape onto the target, adds it as a layer or re-renders a layer. 0 or an error.
int DrawShape(const DrawTarget *target, ShapeRecord *rec, int32_t flags);
// Re-render entries for the layer code. insertPos: the layer's place in the stack, used with
// DRAWFLAG_RERENDER (-1: on top).
int DrawPolygonShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t x,
                     int32_t y, int32_t width, int32_t height, const double *points, int32_t count, uint32_t colour,
                     const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos = -1);
int DrawArcShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t x,
                 int32_t y, int32_t xradius, int32_t yradius, int32_t start, int32_t end, int32_t clockwise,
                 uint32_t colour, const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos = -1);
int DrawEllipseShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t type,
                     int32_t x, int32_t y, int32_t xradius, int32_t yradius, uint32_t colour,
                     const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos = -1);

// Builds a shape layer state from the record and images and hands it to the layer code.
// On failure the images are freed. 0, 1000 or the hook's error.
int MakeShapeLayer(const DrawTarget *target, const ShapeRecord *rec, int32_t type, int32_t x, int32_t y,
                   int32_t width, int32_t height, BitMap *bitmap, Mask *mask, AlphaChannel *alpha,
                   int32_t insertPos, int32_t flags);
// What follows rendering for every shape: re-render hand-over, layer, or the clipped blit onto
// the target, then freeing. Takes the images. imageX/imageY: where the image goes.
int PlaceShapeImage(const DrawTarget *target, ShapeRecord *rec, int32_t imageX, int32_t imageY, int32_t width,
                    int32_t height, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int deferred, int32_t flags);
// The clipped blit of a picture triple onto the target's planes (through its mask or alpha).
void BlitShapeImage(const DrawTarget *target, int32_t x, int32_t y, const BitMap *bitmap, const Mask *mask,
                    const AlphaChannel *alpha, int32_t width, int32_t height);

// Boxes and lines.
int DrawBox(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t x, int32_t y,
            int32_t width, int32_t height, uint32_t colour, int32_t roundlevel, const ShapeTransform *transform,
            void *layerOptions, int32_t flags, int32_t insertPos = -1);
int DrawLineShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t boxX,
                  int32_t boxY, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, int32_t thickness,
                  const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos = -1);
void DrawRectTriple(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, Mask *mask,
                    AlphaChannel *alpha, uint32_t rgb, int32_t transparency, int filled);
// Sides of DrawBoxSides that are cut (and not drawn).
enum { SIDE_LEFT = 1, SIDE_RIGHT = 2, SIDE_TOP = 4, SIDE_BOTTOM = 8 };
void DrawBoxSides(const DrawTarget *target, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t x, int32_t y,
                  int32_t width, int32_t height, int32_t cutSides, uint32_t rgb, int32_t transparency,
                  int32_t alphaValue, int32_t maskMode);

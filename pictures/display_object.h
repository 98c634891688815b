// The one road from a brush, a brush part, an anim frame or a BGPic part to the current output:
// blitted straight (and transformed first when asked) with layers off.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "pictures/transform_record.h"
#include "runtime/handler_support.h"

struct lua_State;
struct DirtyRect;

// Object kinds DisplayObject draws beside OBJTYPE_BRUSH and OBJTYPE_ANIM.
enum { OBJTYPE_BRUSHPART = 12, OBJTYPE_BGPICPART = 13 };

// Flags of DisplayObject; they go on to the layer functions with 2 added.
enum {
    DOBJ_NODIRECT = 1,      // don't draw directly
    DOBJ_RECOMPOSE = 4,     // always recompose instead of drawing directly
    DOBJ_REDRAWLAYER = 8,   // redraws an existing layer (freed objects are found too)
    DOBJ_RERENDER = 16      // refresh the given layer's images and geometry only
};

// type: OBJTYPE_BRUSH (whole brush), OBJTYPE_BRUSHPART, OBJTYPE_ANIM (frame 0-based) or
// OBJTYPE_BGPICPART; other types do nothing. sx, sy, width, height: the part (BRUSHPART,
// BGPICPART). x, y: the position on the output; position constants allowed. optionIndex: the
// option table argument or 0. transform and layerOptions: given by callers that redraw a
// layer, else none. outBitMap/outOwned: BGPICPART callers that want the picture instead.
// 0 or an error code.
int DisplayObject(lua_State *L, void *layer, DirtyRect *damage, int type, ObjectId id, int32_t frame, int32_t sx,
                  int32_t sy, int32_t x, int32_t y, int32_t width, int32_t height, int copyFlag, int optionIndex,
                  TransformRecord *transform, LayerOptions *layerOptions, BitMap **outBitMap, int *outOwned,
                  int flags);
// DisplayBrush without an option table.
int DisplayBrushAt(lua_State *L, ObjectId id, int32_t x, int32_t y);

// Transformed copies of the width x height region at (sx, sy): scaled to the transformed size
// for a pure positive scale, else transformed by the matrix. *offsetX/*offsetY: where the
// copy's corner lies relative to the region's corner when the region turns about the record's
// anchor. 0, 1000 or 1055.
int TransformImageRegion(const TransformRecord *t, const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha,
                         int32_t sx, int32_t sy, int32_t width, int32_t height, BitMap **outBitMap, Mask **outMask,
                         AlphaChannel **outAlpha, int32_t *outWidth, int32_t *outHeight, int32_t *offsetX,
                         int32_t *offsetY);

// Where the pictures of other object kinds come from: anim frames (OBJTYPE_ANIM), text objects
// (8), layers (22) and sprites (32); the library of each kind sets its source. The source gives
// the planes of the object (frame 0-based), its size and whether the caller owns the planes, or
// an error code. Without a source the lookup fails with the kind's "Could not find" error.
typedef int (*ObjectPictureSource)(lua_State *L, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask,
                                   AlphaChannel **alpha, int32_t *width, int32_t *height, int *owned);
enum { PICSOURCE_TEXTOBJECT = 8, PICSOURCE_SPRITE = 32 };
void SetObjectPictureSource(int type, ObjectPictureSource source);
// The picture of an object of one of those kinds through its source. 0 or an error code.
int GetObjectPicture(lua_State *L, int type, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask,
                     AlphaChannel **alpha, int32_t *width, int32_t *height, int *owned);

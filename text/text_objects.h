// Text objects: texts rendered once and kept with the state that produced them, numbered
// script objects of kind #TEXTOBJECT.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "pictures/transform_record.h"
#include "runtime/handler_support.h"
#include "text/text_state.h"

struct lua_State;
struct kvLayer;


struct TextObjectNode {
    TextObjectNode *next;
    ObjectId id;
    BitMap *bitmap;
    Mask *mask;
    AlphaChannel *alpha;
    int32_t width, height;                  // size of the picture, scaled and turned by the transform
    int32_t unscaledWidth, unscaledHeight;  // of the first rendering
    int32_t offsetX, offsetY;               // image corner relative to the text origin
    uint32_t locked;
    uint32_t pendingFree;
    TextState *state;                       // owned
    TransformRecord transform;
};

// Flags of FindTextObject.
enum { TOBJ_FORCHANGE = 1, TOBJ_PENDING = 2, TOBJ_NOCOPY = 4 };
// 1175 "Could not find text object %ld!" (1041 for a handle); TOBJ_FORCHANGE refuses a locked
// object with 1314 and, unless TOBJ_NOCOPY, gives the layers showing it their own copy.
int FindTextObject(ObjectId id, int flags, TextObjectNode **out);
int CountTextObjects(void);
// Frees every pending-free object no layer shows any more (the layer code calls it after
// removing layers).
void FlushTextObjects(void);
// Frees every object whatever its state (library close).
void FreeAllTextObjects(void);
// Frees the object (report: a missing one is an error, else 0); one shown by layers is renamed
// to its handle and marked pending-free.
int FreeTextObjectById(ObjectId id, int report);
// A new unlisted node with copies of the images, sizes, offsets, state and transform. None
// when memory runs out.
TextObjectNode *CopyTextObjectNode(const TextObjectNode *node);
void FreeTextObjectNode(TextObjectNode *node);
// Applies to a text object's rendering (made through t) what is left of t after it: all of t
// for a font that can't scale, the turn alone for one that was drawn at the scaled size.
// *image becomes the transformed picture, its corner from the text origin moved with the
// picture while t only scales and at the origin once t turns or mirrors it. 0 or an error code
// (the rendering freed).
int TransformObjectRendering(const TransformRecord *t, FontHandle *font, RenderedTextImage *image);
// Draws the object at x, y (position constants allowed) onto the current output, transformed by
// the option table at optionIndex (0: none; "transform", "scalex", "width", "rotate",
// "smoothscale", "anchorx" ... and, with layers on, the layer options); with layers on it
// becomes a layer. A scale lays the text out again at the new size.
int DrawTextObject(lua_State *L, ObjectId id, int32_t x, int32_t y, int optionIndex);
// Adds a #TEXTOBJECT layer showing the node with its text origin at x, y (position constants
// allowed) on the current picture at insertPos with AddLayer's flags; the layer keeps images of
// its own (turned by the node's transform). *out (may be none) gets the layer. 0 or an error.
int AddTextLayer(lua_State *L, const TextObjectNode *node, int32_t x, int32_t y, int32_t insertPos, int flags,
                 kvLayer **out);

// The picture a #TEXTOBJECT layer of the object shows, as images of the caller's own (*image),
// with its corner from the text origin; *node gets the object, whose state and transform the
// layer keeps. 0 or the lookup's error (1175, 1041) or 1000.
int TextObjectLayerPicture(ObjectId id, RenderedTextImage *image, int32_t *cornerX, int32_t *cornerY,
                           const TextObjectNode **node);
// The picture source of text objects for other subsystems (ConvertToBrush, GetBrushLink): the
// object's current picture (turned by its own transform), its drawn size; frame is not used.
int TextObjectPictureSource(lua_State *L, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask,
                            AlphaChannel **alpha, int32_t *width, int32_t *height, int *owned);

// GetAttribute's provider for #TEXTOBJECT (attribute argument; the id is argument 2).
int TextObjectAttribute(lua_State *L, int attribute);

int TxCreateTextObject(lua_State *L);
int TxDisplayTextObject(lua_State *L);
int TxFreeTextObject(lua_State *L);
int TxScaleTextObject(lua_State *L);
int TxCopyTextObject(lua_State *L);
int TxRotateTextObject(lua_State *L);

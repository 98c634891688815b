// Brushes: the script's free-standing pictures (a bitmap with an optional mask or alpha channel),
// kept in one list in creation order, with lookup, free, deferred free and copy-on-change while
// layers show a brush.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"

struct lua_State;

struct BrushNode {
    BrushNode *next;
    ObjectId id;                 // an automatic id has number 0 and the node's address as handle
    uint32_t *rawPixels;         // ARGB words kept while declared objects are created
    BitMap *bitmap;
    Mask *mask;                  // never together with alpha
    AlphaChannel *alpha;
    int32_t width, height;
    int32_t rawRowLength;        // pixels per row of rawPixels
    uint32_t locked;             // non-zero: every change is refused with 1314
    uint32_t freed;              // freed by the script while layers still showed it
    int32_t transparentColor;    // 0xRRGGBB the mask was made from; -1 none; 0xAFC0DE made by CreateBrush
    uint32_t vectorTransformed;
    uint32_t type;               // BRUSHTYPE_*
    void *vectorData;            // a vector brush's description; none for bitmap brushes
};

enum { BRUSHTYPE_BITMAP = 0, BRUSHTYPE_VECTOR = 1 };
enum { BRUSH_TRANSPARENT_CREATED = 0xAFC0DE };

// Flags of GetBrushNode.
enum {
    BRUSH_FORCHANGE = 1,   // the caller will change the brush (locked: 1314; detached from layers)
    BRUSH_FINDFREED = 2,   // also brushes marked freed
    BRUSH_NODETACH = 4,    // with BRUSH_FORCHANGE: layers keep showing the brush itself
    BRUSH_NOVECTOR = 8     // vector brushes give 1388
};

extern BrushNode *BrushList;

// Appends a node holding the images. A non-zero handle in *id is replaced by the node's address.
// 0, or 1000 with nothing linked (the images stay the caller's).
int AddBrushNode(ObjectId *id, uint32_t type, int32_t width, int32_t height, int32_t rawRowLength,
                 uint32_t vectorTransformed, uint32_t *rawPixels, BitMap *bitmap, int32_t transparentColor,
                 Mask *mask, AlphaChannel *alpha, void *vectorData);
// 0 and the node, or 1174 (number; error number set) / 1041 (handle) / 1388 / 1314 with none.
int GetBrushNode(ObjectId id, BrushNode **out, int flags);
// FreeBrush's body; a missing brush gives 0 when reportMissing is clear.
int FreeBrushObject(lua_State *L, ObjectId id, int reportMissing);
// Frees brushes marked freed that no layer shows any more.
void PurgeBrushNodes(void);
int CountBrushes(void);
// Builds bitmap and mask of every brush that holds raw pixels (the first display opened).
int BuildPendingBrushBitmaps(void);
// The current display draws into this brush (SelectBrush, SelectMask, SelectAlphaChannel).
int IsBrushOutputTarget(const BrushNode *node);
// Full copies of the brush's planes (those it has). 0 or 1000 (nothing made).
int CopyBrushPlanes(const BrushNode *node, BitMap **bitmap, Mask **mask, AlphaChannel **alpha);
// Frees the brush's planes and puts the new ones with their size in their place.
void ReplaceBrushPlanes(BrushNode *node, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t width,
                        int32_t height);

// What the layer code tells the brushes; with no links set no layer shows a brush.
struct BrushLayerLinks {
    // Non-zero when a layer of any BGPic shows the brush (as a whole or a part).
    int (*isShown)(ObjectId id);
    // Every layer that shows `from` shows `to` from now on.
    void (*rekey)(ObjectId from, ObjectId to);
};
void SetBrushLayerLinks(const BrushLayerLinks *links);

// BGPics (background pictures): the record every display shows and drawing targets, the BGPic
// list with its add and lookup, the current picture, and the functions the displays use to bring
// a BGPic's images to the display's size and into its buffers.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"
#include "runtime/lists.h"

struct DisplayRecord;
struct ClipRegionNode;
struct SpriteInstance;
struct kvLayer;
struct kvBGPicButton;
struct TransformRecord;
struct lua_State;

// How a rendered BGPic is drawn: kind 0 none, 1 colour, 2 gradient, 3 texture.
struct BGPicFillSpec {
    int32_t kind;
    uint32_t color1, color2;
    int32_t angle;
    uint32_t textureBrush;
    BitMap *texture;               // private copy of the brush's image, owned by the BGPic
    int32_t textureX, textureY;
    int32_t textureWidth, textureHeight;
};

struct BGPicNode {
    BGPicNode *next;
    ObjectId id;                   // a numbered BGPic has handle 0; else the record's address
    uint32_t *rawPixels;           // ARGB words kept while declared objects are created
    BitMap *shownBitMap;           // the images at the display's scale size (layer scaling)
    Mask *shownMask;
    AlphaChannel *shownAlpha;
    BitMap *bitmap;                // the picture set: images at the BGPic's own size
    Mask *mask;
    AlphaChannel *alpha;
    BitMap *sourceBitMap;          // the images as loaded or created
    Mask *sourceMask;
    AlphaChannel *sourceAlpha;
    int32_t shownWidth, shownHeight;
    int32_t width, height;
    int32_t sourceWidth, sourceHeight;
    int32_t rawRowLength;
    uint32_t transparentColor;     // 0xFFFFFFFF for none
    uint32_t *palette;             // 256 words or none
    ListHeader layers;             // kvLayer records bottom to top
    SpriteInstance *sprites;
    uint32_t locked;
    uint32_t pendingFree;
    kvBGPicButton *buttons;
    uint32_t unusedWord;
    uint32_t selectionKind;        // selection records only: 1, 3, 4 or 22
    uint32_t selectionFrame;
    void *selectionSource;
    uint32_t prepared;
    uint32_t layersChanged;
    ClipRegionNode *clipRegion;    // active clip region
    BGPicFillSpec fill;
    uint32_t rendered;             // drawn from the fill settings at any size
    uint32_t vectorSource;
};

extern BGPicNode *BGPicList;
// The record drawing commands target.
extern BGPicNode *CurrentPicture;

// Appends a zero-filled record. A non-zero handle word in *id is replaced by the record's
// address. All three sets get (bitmap, mask, alpha) and all three sizes (width, height).
// 0, or 1000 with nothing linked (the caller frees its images).
int AddBGPicNode(ObjectId *id, int rendered, int32_t width, int32_t height, int32_t rawRowLength,
                 uint32_t *rawPixels, BitMap *bitmap, uint32_t *palette, uint32_t transparentColor,
                 Mask *mask, AlphaChannel *alpha, uint32_t vectorSource, const BGPicFillSpec *fill);
enum { BGPIC_FORCHANGE = 1, BGPIC_PENDING = 2, BGPIC_NOCOPY = 4 };
// 1177 "Could not find BGPic %ld!" (1041 for a handle); with BGPIC_FORCHANGE a locked BGPic
// gives 1314.
int GetBGPicNode(ObjectId id, BGPicNode **out, int flags);
// Unlinks the record and frees its images (the sharing rules kept) and the record.
void FreeBGPicNode(BGPicNode *bgpic);
// Frees the images of the three sets where they are not shared.
void FreeBGPicImages(BGPicNode *bgpic);

// Images for a BGPic of width x height: the raw pixels (with a key colour mask) flattened over
// the fill, or, without raw pixels, the fill alone. 0 or 1000.
int MakeBGPicImages(const uint32_t *rawPixels, const BGPicFillSpec *fill, uint32_t transparentColor,
                    int32_t width, int32_t height, int32_t rowLength, BitMap **bitmap, Mask **mask,
                    AlphaChannel **alpha);
// Builds the images of every BGPic that still holds raw pixels.
int ConvertPendingRawBGPics(void);

// Display support.
int CopyBGPicToDisplayBuffers(DisplayRecord *display, BGPicNode *bgpic, int reallocate);
BitMap *GetBGPicDisplayImage(DisplayRecord *display, BGPicNode *bgpic);
int ScaleBGPicToDisplay(DisplayRecord *display, BGPicNode *bgpic, int reallocate);
// Scale factors (and the window shape of an automatically scaled display).
int UpdateBGPicScale(DisplayRecord *display, BGPicNode *bgpic, Mask **shapeMask, AlphaChannel **shapeAlpha);
// Makes the BGPic the display's shown one: buffers at its size, scale factors, shape.
int AttachBGPicToDisplay(DisplayRecord *display, BGPicNode *bgpic);
// Whether the rectangle overlaps one of the BGPic's sprite instances.
int RectOverlapsSprites(const BGPicNode *bgpic, int32_t x, int32_t y, int32_t width, int32_t height);
// Resizes the BGPic's picture set to width x height: a rendered BGPic is drawn anew from its fill
// settings, an image BGPic scaled from its source set (smooth when asked), so repeated resizing
// never loses quality. The shown set follows. 0 or an error code.
int ResizeBGPicImages(BGPicNode *bgpic, int32_t width, int32_t height, int smooth);

// ---------------------------------------------------------------------------------------------
// Lifetime (bgpic_objects.cpp)

// Frees everything the BGPic holds (layers, sprites, buttons, images, raw pixels, palette,
// texture); the record stays the caller's.
void FreeBGPicContents(lua_State *L, BGPicNode *bgpic, int flag);
// FreeBGPic's body. 1378 when the BGPic is the output target; lookup errors (not strict: a
// missing BGPic is no error, a locked one is). A BGPic a display or a layer still shows becomes
// pending free: anonymous, hidden from lookups, freed by FlushPendingBGPics.
int FreeBGPicObject(lua_State *L, ObjectId id, int strict);
// Frees every pending BGPic that no display shows or owns, no layer shows and no transition
// holds (locked) any more. Safe to reach again from inside (a BGPic's layers going).
void FlushPendingBGPics(void);
// Lets go of a BGPic without looking it up: it becomes pending free (anonymous, its layers
// re-keyed to it) and goes at the next flush that finds it unused.
void ReleaseBGPic(BGPicNode *bgpic);
void FreeAllBGPics(lua_State *L);
int CountBGPics(void);
// Whether some display shows the BGPic.
int IsBGPicShownByDisplay(const BGPicNode *bgpic);
// Whether the current display draws into the BGPic (SelectBGPic, or its source images selected
// like a brush).
int IsBGPicOutputTarget(ObjectId id);
// A deep copy under *newId (a non-zero handle asks for an automatic one). 0 or an error code.
int CopyBGPicCore(const BGPicNode *source, ObjectId *newId);

// ---------------------------------------------------------------------------------------------
// Layer queries (bgpic_layers.cpp). A layer shows an object when its type is the object's kind
// (or BRUSHPART for a brush, NOOBJECT for any other kind) and its source id is the object's.

int IsObjectUsedByLayers(uint32_t kind, ObjectId id, const kvLayer *skip);
// Every layer that shows the object gets the source id (0, newHandle); 1 when one did.
int RekeyLayersUsingObject(uint32_t kind, ObjectId id, void *newHandle);
// When layers show the object: copy(userdata, id (0, 1)) makes a copy and leaves its handle in
// the id; those layers are re-keyed to the copy, whose handle goes to *outHandle.
typedef int (*LayerCopyFunc)(void *userdata, ObjectId *newId);
int ForEachLayerUsingObject(uint32_t kind, ObjectId id, LayerCopyFunc copy, void *userdata, void **outHandle);
void ForgetLayerClipRegion(ClipRegionNode *region);
int CountAllLayers(void);
void FreeBGPicLayers(lua_State *L, BGPicNode *bgpic, int flag);
void FreeBGPicButtons(BGPicNode *bgpic);
// Adds a brush, brush-part or BGPic-part layer showing the images (owned from then on, also on
// failure) on the current picture. 0 or an error code.
int AddObjectLayer(lua_State *L, uint32_t type, ObjectId source, int32_t partX, int32_t partY, int32_t x, int32_t y,
                   int32_t width, int32_t height, const TransformRecord *transform, BitMap *bitmap, Mask *mask,
                   AlphaChannel *alpha, int32_t insertPos, int flags);

// ---------------------------------------------------------------------------------------------
// Showing a BGPic (bgpic_show.cpp)

// Shows the BGPic on the current display; x and y are left out when KEEPPOSITION. With capture
// (transitions) *newPicture receives a copy of the new picture and *oldPicture the old one.
int DisplayBGPicCore(lua_State *L, ObjectId id, int32_t x, int32_t y, int capture, BitMap **newPicture,
                     BitMap **oldPicture);

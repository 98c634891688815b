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
    uint32_t rendered;             // drawn from the fill spec at any size
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
// spec, an image BGPic scaled from its source set (smooth when asked), so repeated resizing
// never loses quality. The shown set follows. 0 or an error code.
int ResizeBGPicImages(BGPicNode *bgpic, int32_t width, int32_t height, int smooth);

// The BGPic list (add, lookup, free), the current picture, images made from raw pixels and fill
// settings, and the functions that bring a BGPic's images to a display: its buffers, the scaled
// shown set, the scale factors and the window shape.
#include "display/bgpic.h"

#include <cstring>

#include "display/display.h"
#include "display/display_pending.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

BGPicNode *BGPicList = nullptr;
BGPicNode *CurrentPicture = nullptr;

int AddBGPicNode(ObjectId *id, int rendered, int32_t width, int32_t height, int32_t rawRowLength,
                 uint32_t *rawPixels, BitMap *bitmap, uint32_t *palette, uint32_t transparentColor,
                 Mask *mask, AlphaChannel *alpha, uint32_t vectorSource, const BGPicFillSpec *fill)
{
    BGPicNode *node = (BGPicNode *)MemAlloc(sizeof(BGPicNode), 1);
    if (!node) return 1000;
    if (id->handle) id->handle = node;
    node->id = *id;
    node->rendered = rendered ? 1 : 0;
    node->rawPixels = rawPixels;
    node->rawRowLength = rawRowLength;
    node->shownBitMap = node->bitmap = node->sourceBitMap = bitmap;
    node->shownMask = node->mask = node->sourceMask = mask;
    node->shownAlpha = node->alpha = node->sourceAlpha = alpha;
    node->shownWidth = node->width = node->sourceWidth = width;
    node->shownHeight = node->height = node->sourceHeight = height;
    node->palette = palette;
    node->transparentColor = transparentColor;
    node->vectorSource = vectorSource;
    NewList(&node->layers);
    if (fill) node->fill = *fill;
    BGPicNode **tail = &BGPicList;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    return 0;
}

int GetBGPicNode(ObjectId id, BGPicNode **out, int flags)
{
    for (BGPicNode *n = BGPicList; n; n = n->next) {
        if (n->pendingFree && !(flags & BGPIC_PENDING)) continue;
        if (!ObjectIdMatches(n->id, id)) continue;
        if ((flags & BGPIC_FORCHANGE) && n->locked) return 1314;
        // Layers showing a BGPic that is about to change keep an unchanged copy.
        if ((flags & BGPIC_FORCHANGE) && !(flags & BGPIC_NOCOPY)) {
            int code = DetachBGPicFromLayers(nullptr, n);
            if (code) return code;
        }
        *out = n;
        return 0;
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1177;
}

void FreeBGPicImages(BGPicNode *b)
{
    if (b->shownBitMap != b->bitmap && b->shownBitMap != b->sourceBitMap) FreeBitMap(b->shownBitMap);
    if (b->shownMask != b->mask && b->shownMask != b->sourceMask) FreeMask(b->shownMask);
    if (b->shownAlpha != b->alpha && b->shownAlpha != b->sourceAlpha) FreeAlphaChannel(b->shownAlpha);
    if (b->bitmap != b->sourceBitMap) FreeBitMap(b->bitmap);
    if (b->mask != b->sourceMask) FreeMask(b->mask);
    if (b->alpha != b->sourceAlpha) FreeAlphaChannel(b->alpha);
    FreeTriple(b->sourceBitMap, b->sourceMask, b->sourceAlpha);
    b->shownBitMap = b->bitmap = b->sourceBitMap = nullptr;
    b->shownMask = b->mask = b->sourceMask = nullptr;
    b->shownAlpha = b->alpha = b->sourceAlpha = nullptr;
}

void FreeBGPicNode(BGPicNode *bgpic)
{
    if (!bgpic) return;
    for (BGPicNode **p = &BGPicList; *p; p = &(*p)->next) {
        if (*p == bgpic) {
            *p = bgpic->next;
            break;
        }
    }
    if (CurrentPicture == bgpic) CurrentPicture = nullptr;
    FreeBGPicContents(nullptr, bgpic, 1);
    MemFree(bgpic);
}

// Fills the whole bitmap by the fill settings. 0, or the texture brush's lookup error.
static int FillBySettings(BitMap *bitmap, const BGPicFillSpec *fill)
{
    int32_t w = bitmap->width, h = bitmap->height;
    switch (fill ? fill->kind : 0) {
    case 2:
        DrawGradient(bitmap, 0, 0, w, h, fill->color1, fill->color2, fill->angle);
        return 0;
    case 3: {
        const BitMap *texture = fill->texture;
        int32_t tw = fill->textureWidth, th = fill->textureHeight;
        if (!texture) {
            int code = GetTextureBrush(fill->textureBrush, &texture, &tw, &th);
            if (code) return code;
        }
        if (tw < 1 || th < 1) return 0;
        TileBitMap(bitmap, 0, 0, w, h, texture, fill->textureX, fill->textureY, tw, th, 0, 0);
        return 0;
    }
    default:
        RectFillBitMap(bitmap, 0, 0, w, h, fill ? fill->color1 : 0);
        return 0;
    }
}

int MakeBGPicImages(const uint32_t *rawPixels, const BGPicFillSpec *fill, uint32_t transparentColor,
                    int32_t width, int32_t height, int32_t rowLength, BitMap **outBitMap, Mask **outMask,
                    AlphaChannel **outAlpha)
{
    *outBitMap = nullptr;
    *outMask = nullptr;
    *outAlpha = nullptr;
    BitMap *loaded = nullptr;
    Mask *mask = nullptr;
    if (rawPixels) {
        int32_t key = transparentColor == 0xFFFFFFFFu ? -1 : (int32_t)(transparentColor & 0xFFFFFF);
        int code = BitMapFromARGB(rawPixels, key, width, height, rowLength, &loaded, &mask);
        if (code) return code;
        if (!fill || fill->kind == 0 || !mask) {
            *outBitMap = loaded;
            *outMask = mask;
            return 0;
        }
    }
    BitMap *bitmap = AllocBitMap(width, height);
    if (!bitmap) {
        FreeTriple(loaded, mask, nullptr);
        return 1000;
    }
    int code = FillBySettings(bitmap, fill);
    if (code) {
        FreeTriple(loaded, mask, nullptr);
        FreeBitMap(bitmap);
        return code;
    }
    if (loaded) {
        BltMask(loaded, 0, 0, bitmap, 0, 0, width, height, mask);
        FreeTriple(loaded, mask, nullptr);
    }
    *outBitMap = bitmap;
    return 0;
}

int ConvertPendingRawBGPics(void)
{
    for (BGPicNode *b = BGPicList; b; b = b->next) {
        if (!b->rawPixels) continue;
        BitMap *bm;
        Mask *mask;
        AlphaChannel *alpha;
        int code = MakeBGPicImages(b->rawPixels, &b->fill, b->transparentColor, b->sourceWidth,
                                   b->sourceHeight, b->rawRowLength, &bm, &mask, &alpha);
        if (code) return code;
        MemFree(b->rawPixels);
        b->rawPixels = nullptr;
        // An alpha channel loaded with the raw pixels stays.
        if (!alpha && b->sourceAlpha) {
            alpha = b->sourceAlpha;
            b->sourceAlpha = b->alpha = b->shownAlpha = nullptr;
        }
        FreeBGPicImages(b);
        b->shownBitMap = b->bitmap = b->sourceBitMap = bm;
        b->shownMask = b->mask = b->sourceMask = mask;
        b->shownAlpha = b->alpha = b->sourceAlpha = alpha;
        b->selectionKind = b->selectionFrame = 0;
        b->selectionSource = nullptr;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Display support

// Frees a bitmap slot and allocates it anew at the size (none for a missing size). 0 or 1000.
static int ReallocBitMapSlot(BitMap **slot, int32_t width, int32_t height)
{
    FreeBitMap(*slot);
    *slot = nullptr;
    if (width < 1 || height < 1) return 0;
    *slot = AllocBitMap(width, height);
    return *slot ? 0 : 1000;
}

int CopyBGPicToDisplayBuffers(DisplayRecord *display, BGPicNode *bgpic, int reallocate)
{
    const BitMap *shown = bgpic->shownBitMap;
    if (!shown) return 0;
    if (reallocate || !display->displayBitMap || !display->backBuffer) {
        if (ReallocBitMapSlot(&display->displayBitMap, bgpic->shownWidth, bgpic->shownHeight) ||
            ReallocBitMapSlot(&display->backBuffer, bgpic->shownWidth, bgpic->shownHeight))
            return 1000;
    }
    int32_t w = shown->width < display->displayBitMap->width ? shown->width : display->displayBitMap->width;
    int32_t h = shown->height < display->displayBitMap->height ? shown->height : display->displayBitMap->height;
    BltBitMap(shown, 0, 0, display->displayBitMap, 0, 0, w, h);
    // The back buffer of an automatically scaled display is its whole picture, copied to the
    // window scaled; it must hold the background before the first refresh.
    if (display->autoScale && display->scaleWidth) BltBitMap(shown, 0, 0, display->backBuffer, 0, 0, w, h);
    return 0;
}

BitMap *GetBGPicDisplayImage(DisplayRecord *display, BGPicNode *bgpic)
{
    if (IsListEmpty(&bgpic->layers) && !bgpic->sprites) return display->displayBitMap;
    Redraw(display, bgpic, display->backBuffer, 0, 0, bgpic->shownWidth, bgpic->shownHeight, 0, 4);
    return display->backBuffer;
}

int ScaleBGPicToDisplay(DisplayRecord *display, BGPicNode *bgpic, int reallocate)
{
    int32_t w = display->scaleWidth, h = display->scaleHeight;
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    int code;
    if (bgpic->rendered) {
        code = MakeBGPicImages(nullptr, &bgpic->fill, 0xFFFFFFFFu, w, h, w, &bm, &mask, &alpha);
    } else {
        code = ScaleBitMapTriple(bgpic->sourceBitMap, bgpic->sourceMask, bgpic->sourceAlpha, 0, 0, nullptr,
                                 bgpic->sourceWidth, bgpic->sourceHeight, w, h, display->smoothScale, &bm,
                                 &mask, &alpha);
    }
    if (code) return code;
    if (bgpic->shownBitMap != bgpic->bitmap && bgpic->shownBitMap != bgpic->sourceBitMap)
        FreeBitMap(bgpic->shownBitMap);
    if (bgpic->shownMask != bgpic->mask && bgpic->shownMask != bgpic->sourceMask) FreeMask(bgpic->shownMask);
    if (bgpic->shownAlpha != bgpic->alpha && bgpic->shownAlpha != bgpic->sourceAlpha)
        FreeAlphaChannel(bgpic->shownAlpha);
    bgpic->shownBitMap = bm;
    bgpic->shownMask = mask;
    bgpic->shownAlpha = alpha;
    bgpic->shownWidth = w;
    bgpic->shownHeight = h;
    display->scaleX = (double)w / bgpic->width;
    display->scaleY = (double)h / bgpic->height;
    if (reallocate && (code = CopyBGPicToDisplayBuffers(display, bgpic, 1))) return code;
    return RebuildAllLayers(nullptr, display);
}

// The shown set back to the picture set (layer scaling ended or the scale size equals the size).
static void UnscaleShownSet(BGPicNode *bgpic)
{
    if (bgpic->shownBitMap == bgpic->bitmap) return;
    if (bgpic->shownBitMap != bgpic->sourceBitMap) FreeBitMap(bgpic->shownBitMap);
    if (bgpic->shownMask != bgpic->mask && bgpic->shownMask != bgpic->sourceMask) FreeMask(bgpic->shownMask);
    if (bgpic->shownAlpha != bgpic->alpha && bgpic->shownAlpha != bgpic->sourceAlpha)
        FreeAlphaChannel(bgpic->shownAlpha);
    bgpic->shownBitMap = bgpic->bitmap;
    bgpic->shownMask = bgpic->mask;
    bgpic->shownAlpha = bgpic->alpha;
    bgpic->shownWidth = bgpic->width;
    bgpic->shownHeight = bgpic->height;
}

int UpdateBGPicScale(DisplayRecord *display, BGPicNode *bgpic, Mask **shapeMask, AlphaChannel **shapeAlpha)
{
    *shapeMask = nullptr;
    *shapeAlpha = nullptr;
    display->scaleX = display->scaleY = 1.0;
    if (display->layerScale && display->scaleWidth) {
        if (bgpic->shownWidth == display->scaleWidth && bgpic->shownHeight == display->scaleHeight) {
            display->scaleX = (double)display->scaleWidth / bgpic->width;
            display->scaleY = (double)display->scaleHeight / bgpic->height;
            return 0;
        }
        if (display->scaleWidth == bgpic->width && display->scaleHeight == bgpic->height) {
            UnscaleShownSet(bgpic);
            return 0;
        }
        return ScaleBGPicToDisplay(display, bgpic, 0);
    }
    UnscaleShownSet(bgpic);
    if (display->autoScale && display->scaleWidth) {
        display->scaleX = (double)display->scaleWidth / bgpic->width;
        display->scaleY = (double)display->scaleHeight / bgpic->height;
        if ((bgpic->sourceMask || bgpic->sourceAlpha) &&
            (display->scaleWidth != bgpic->width || display->scaleHeight != bgpic->height)) {
            return ScaleBitMapTriple(nullptr, bgpic->mask, bgpic->alpha, 0, 0, nullptr, bgpic->width, bgpic->height,
                                     display->scaleWidth, display->scaleHeight, 0, nullptr, shapeMask, shapeAlpha);
        }
    }
    return 0;
}

int AttachBGPicToDisplay(DisplayRecord *display, BGPicNode *bgpic)
{
    Mask *mask;
    AlphaChannel *alpha;
    display->bgpic = bgpic;
    int code = UpdateBGPicScale(display, bgpic, &mask, &alpha);
    if (code) return code;
    FreeMask(display->shapeMask);
    FreeAlphaChannel(display->shapeAlpha);
    display->shapeMask = mask;
    display->shapeAlpha = alpha;
    return CopyBGPicToDisplayBuffers(display, bgpic, 1);
}

int ResizeBGPicImages(BGPicNode *b, int32_t width, int32_t height, int smooth)
{
    if (width == b->width && height == b->height) return 0;
    BitMap *bm = b->sourceBitMap;
    Mask *mask = b->sourceMask;
    AlphaChannel *alpha = b->sourceAlpha;
    if (width != b->sourceWidth || height != b->sourceHeight) {
        int code;
        if (b->rendered)
            code = MakeBGPicImages(nullptr, &b->fill, 0xFFFFFFFFu, width, height, width, &bm, &mask, &alpha);
        else
            code = ScaleBitMapTriple(b->sourceBitMap, b->sourceMask, b->sourceAlpha, 0, 0, nullptr, b->sourceWidth,
                                     b->sourceHeight, width, height, smooth, &bm, &mask, &alpha);
        if (code) return code;
    }
    UnscaleShownSet(b);
    if (b->bitmap != b->sourceBitMap) FreeBitMap(b->bitmap);
    if (b->mask != b->sourceMask) FreeMask(b->mask);
    if (b->alpha != b->sourceAlpha) FreeAlphaChannel(b->alpha);
    b->shownBitMap = b->bitmap = bm;
    b->shownMask = b->mask = mask;
    b->shownAlpha = b->alpha = alpha;
    b->shownWidth = b->width = width;
    b->shownHeight = b->height = height;
    return 0;
}

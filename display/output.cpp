// The output path: SafeBlt, the one clipped blit of a picture triple onto the current output
// target, and BltToWindow, the copy of a rectangle of a display's picture to its window.
#include <cstdio>
#include <cstring>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/kernels.h"
#include "gfx/scale.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

static uint8_t *ScratchMask = nullptr;
static size_t ScratchMaskSize = 0;

uint8_t *GrowScratchMask(size_t bytes)
{
    if (bytes <= ScratchMaskSize) return ScratchMask;
    MemFree(ScratchMask);
    ScratchMaskSize = 0;
    ScratchMask = (uint8_t *)MemAlloc(bytes, 0);
    if (ScratchMask) ScratchMaskSize = bytes;
    return ScratchMask;
}

void FreeScratchMask(void)
{
    MemFree(ScratchMask);
    ScratchMask = nullptr;
    ScratchMaskSize = 0;
}

static OsPixelBuffer PixelBuffer(const BitMap *bm)
{
    OsPixelBuffer b;
    b.pixels = (uint32_t *)bm->pixels;
    b.width = bm->width;
    b.height = bm->height;
    b.bytesPerRow = bm->bytesPerRow;
    b.format = bm->format == PIXFMT_BGRX32 ? 11 : 10;
    return b;
}

// A whole picture copied to the window at the scale size. Nearest-neighbour scaling is the
// platform's; with smooth scaling the picture is scaled here into the display's spare bitmap.
static void BltScaledToWindow(const BitMap *bitmap, DisplayRecord *d, int flags)
{
    int32_t sw = d->scaleWidth, sh = d->scaleHeight;
    if (d->smoothScale) {
        BitMap *spare = d->spareBitMap;
        if (!spare || spare->width != sw || spare->height != sh) {
            FreeBitMap(spare);
            spare = d->spareBitMap = AllocBitMap(sw, sh);
        }
        if (spare && ScaleBitMapTriple(bitmap, nullptr, nullptr, 0, 0, spare, bitmap->width, bitmap->height, sw, sh, 1,
                                       nullptr, nullptr, nullptr) == 0) {
            OsPixelBuffer b = PixelBuffer(spare);
            OsBltToWindow(&b, 0, 0, d->window, 0, 0, sw, sh, 0, 0, flags & OS_BLT_FORCE);
            return;
        }
    }
    OsPixelBuffer b = PixelBuffer(bitmap);
    OsBltToWindow(&b, 0, 0, d->window, 0, 0, bitmap->width, bitmap->height, sw, sh, flags & OS_BLT_FORCE);
}

void BltToWindow(const BitMap *bitmap, int32_t sx, int32_t sy, DisplayRecord *d, int32_t dx, int32_t dy,
                 int32_t width, int32_t height, int flags)
{
    if (!bitmap || !d || !d->window) return;
    if ((flags & 1) && d->scaleWidth && (d->scaleWidth != bitmap->width || d->scaleHeight != bitmap->height)) {
        BltScaledToWindow(bitmap, d, flags);
        return;
    }
    OsPixelBuffer b = PixelBuffer(bitmap);
    OsBltToWindow(&b, sx, sy, d->window, dx, dy, width, height, 0, 0, flags & OS_BLT_FORCE);
}

// The graphics library's drawing state: mask mode and alpha intensity (-1 = none).
static void DrawingState(int *maskMode, int *intensity)
{
    *maskMode = MASKVISIBLE;
    *intensity = -1;
    GetRuntimeTags((lua_State *)nullptr, RTAG_MASKMODE, maskMode, RTAG_ALPHAINTENSITY, intensity, 0);
}

// A shaped region's mask under the target rectangle, laid out in source coordinates and
// combined with the source's own mask or alpha channel. False when the buffer can't be grown.
static bool MaskByRegion(const ClipRegionNode *r, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h,
                         int32_t srcWidth, const Mask **mask, const AlphaChannel **alpha)
{
    static Mask regionMask;
    static AlphaChannel regionAlpha;
    int32_t rows = sy + h;
    if (*alpha && !*mask) {
        int32_t bpr = AlphaBytesPerRow(srcWidth);
        uint8_t *buf = GrowScratchMask((size_t)bpr * rows);
        if (!buf) return false;
        CopyMaskRectToPlane(r->mask->pixels, dx - r->x, dy - r->y, r->mask->bytesPerRow, (*alpha)->pixels, sx, sy,
                            (*alpha)->bytesPerRow, buf, sx, sy, bpr, w, h);
        regionAlpha = {buf, srcWidth, rows, bpr, 1};
        *alpha = &regionAlpha;
        return true;
    }
    int32_t bpr = MaskBytesPerRow(srcWidth);
    uint8_t *buf = GrowScratchMask((size_t)bpr * rows);
    if (!buf) return false;
    const Mask *own = *mask;
    CopyMaskRect(r->mask->pixels, dx - r->x, dy - r->y, r->mask->bytesPerRow, buf, sx, sy, bpr,
                 own ? own->pixels : nullptr, sx, sy, own ? own->bytesPerRow : 0, w, h);
    regionMask = {buf, srcWidth, rows, bpr, 1};
    *mask = &regionMask;
    return true;
}

// Step 8: the blit by planes into the target (none = the window) and the output planes.
static void BlitByPlanes(DisplayRecord *d, const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, BitMap *target,
                         int32_t dx, int32_t dy, int32_t w, int32_t h, int flags, const Mask *mask,
                         const AlphaChannel *alpha)
{
    int maskMode, intensity;
    DrawingState(&maskMode, &intensity);
    int planes = !(flags & SAFEBLT_NOPLANES);
    uint8_t level = (dst || intensity < 0) ? 255 : (uint8_t)intensity;
    if (mask) {
        if (target) BltMask(src, sx, sy, target, dx, dy, w, h, mask);
        if (planes && d->outputMask) BltMaskToMask(mask, sx, sy, d->outputMask, dx, dy, w, h, dst ? MASKVANILLACOPY : maskMode);
        if (planes && d->outputAlpha) MaskToAlphaRect(mask, sx, sy, d->outputAlpha, dx, dy, w, h, level);
    } else if (alpha) {
        if (target) {
            if (dst && d->outputAlpha) BltBitMap(src, sx, sy, target, dx, dy, w, h);
            else BltAlphaBitMap(src, sx, sy, target, dx, dy, w, h, alpha);
        }
        if (planes && d->outputMask)
            AlphaToMaskRect(alpha, sx, sy, d->outputMask, dx, dy, w, h, dst ? MASKVANILLACOPY : maskMode);
        if (planes && d->outputAlpha) {
            int combine = (!dst && intensity >= 0) ? 6 : 0;
            CombineAlphaChannelsClipped(alpha, sx, sy, d->outputAlpha, dx, dy, w, h, combine, intensity, alpha->width,
                                        alpha->height, d->outputAlpha->width, d->outputAlpha->height);
        }
    } else {
        if (target) {
            BltBitMap(src, sx, sy, target, dx, dy, w, h);
        } else if (d->outputType == OBJTYPE_DISPLAY) {
            // (a selected mask or alpha channel has no colour plane and nothing goes to the window)
            int scaledSource = (src == d->displayBitMap || src == d->backBuffer) && d->autoScale && d->scaleWidth;
            BltToWindow(src, sx, sy, d, dx, dy, w, h, scaledSource ? 1 : 0);
        }
        if (planes && d->outputMask) FillMaskRect(d->outputMask, dx, dy, w, h, dst ? MASKVANILLACOPY : maskMode);
        if (planes && d->outputAlpha) FillAlphaChannelRect(d->outputAlpha, dx, dy, w, h, level);
    }
    // The back buffer of an automatically scaled display is what reaches its window.
    if (target && target == d->displayBitMap && !dst && d->autoScale && d->scaleWidth && planes && d->backBuffer) {
        if (mask) BltMask(src, sx, sy, d->backBuffer, dx, dy, w, h, mask);
        else if (alpha) BltAlphaBitMap(src, sx, sy, d->backBuffer, dx, dy, w, h, alpha);
        else BltBitMap(src, sx, sy, d->backBuffer, dx, dy, w, h);
    }
}

// A blit without a given bitmap goes to the display's output, whose pictures may have become
// smaller than the size the caller has (an asynchronous transition started before the display
// was resized, or a selection was made): the destination size is held to every picture the blit
// writes.
static void LimitToOutput(const DisplayRecord *d, int flags, int32_t *width, int32_t *height)
{
    auto limit = [&](int32_t w, int32_t h) {
        if (w < *width) *width = w;
        if (h < *height) *height = h;
    };
    if (d->outputType == OBJTYPE_DISPLAY && d->displayBitMap) limit(d->displayBitMap->width, d->displayBitMap->height);
    if (flags & SAFEBLT_NOPLANES) return;
    if (d->outputMask) limit(d->outputMask->width, d->outputMask->height);
    if (d->outputAlpha) limit(d->outputAlpha->width, d->outputAlpha->height);
}

DisplayRecord *SafeBlt(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t w,
                       int32_t h, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, int flags,
                       const Mask *srcMask, const AlphaChannel *srcAlpha, const ClipRegionNode *region)
{
    // 1. The fallback display stands in for a blit into a given bitmap.
    static DisplayRecord standIn;
    DisplayRecord *d = CurrentDisplay;
    if (!d) {
        if (!dst || !(flags & SAFEBLT_NOPLANES)) {
            OsPrintF("ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n");
            return nullptr;
        }
        d = FallbackDisplay ? FallbackDisplay : &standIn;
        flags |= SAFEBLT_NOSPRITES;
    }
    // 2.
    if (!src || sx < 0 || sy < 0) return d;
    if (!dst) LimitToOutput(d, flags, &dstWidth, &dstHeight);
    // 3-4.
    const ClipRegionNode *clip = (flags & SAFEBLT_NOCLIP) ? nullptr : region;
    ClipBltRect(clip, &sx, &sy, &dx, &dy, &w, &h, srcWidth, srcHeight, dstWidth, dstHeight, clip != nullptr);
    if (w < 1 || h < 1) return d;
    // 5.
    if (!(flags & SAFEBLT_NOSPRITES) && CurrentPicture && CurrentPicture->sprites &&
        RectOverlapsSprites(CurrentPicture, dx, dy, w, h)) {
        RecomposeWithSprites(d, src, sx, sy, dst, dx, dy, w, h, flags, srcMask, srcAlpha, clip);
        return d;
    }
    // 6.
    if (clip && clip->mask && !MaskByRegion(clip, sx, sy, dx, dy, w, h, srcWidth, &srcMask, &srcAlpha)) return d;
    // 7.
    BitMap *target = dst;
    int windowCopy = 0;
    if (!dst && d->outputType == OBJTYPE_DISPLAY) {
        if (((flags & SAFEBLT_DISPLAYBITMAP) && !d->layersEnabled) || (flags & SAFEBLT_FORCEDISPLAYBITMAP)) {
            target = d->displayBitMap;
            windowCopy = !(flags & SAFEBLT_NOWINDOW);
        } else if (d->layersEnabled && (flags & SAFEBLT_REDRAW)) {
            if (d->bgpic && d->backBuffer) {
                Redraw(d, d->bgpic, d->backBuffer, dx, dy, w, h, 0, 0);
                BltToWindow(d->backBuffer, dx, dy, d, dx, dy, w, h, 1);
            }
            return d;
        }
    }
    // 8.
    BlitByPlanes(d, src, sx, sy, dst, target, dx, dy, w, h, flags, srcMask, srcAlpha);
    // 9.
    if (windowCopy && target) {
        BitMap *from = (d->autoScale && d->scaleWidth && d->backBuffer) ? d->backBuffer : target;
        BltToWindow(from, dx, dy, d, dx, dy, w, h, 1);
    }
    return d;
}

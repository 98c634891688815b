// Double buffering: drawing goes into a hidden drawing buffer of the BGPic's size, and Flip
// shows it at once through the front buffer (at the scale size of an automatically scaled
// display), paced to the display's refresh.
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/output_select.h"
#include "gfx/blit.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "platform/os.h"
#include "runtime/memory.h"

enum {
    ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055, ERR_BGPICACTIVE = 1056, ERR_BRUSHACTIVE = 1082, ERR_MASKACTIVE = 1147,
    ERR_LAYERSON = 1162, ERR_ALPHAACTIVE = 1167, ERR_SPRITES = 1224, ERR_ENDFIRST = 1229, ERR_TRANSPARENT = 1230,
    ERR_NOTDOUBLE = 1244, ERR_ANIMACTIVE = 1339
};

static int ShownScaled(const DisplayRecord *d) { return d->autoScale && d->scaleWidth && d->scaleHeight; }

static BitMap *BlackBitMap(int32_t w, int32_t h)
{
    BitMap *bm = AllocBitMap(w, h);
    if (bm) RectFillBitMap(bm, 0, 0, w, h, 0);
    return bm;
}

static void FreeDoubleBuffers(DisplayRecord *d)
{
    FreeBitMap(d->frontBuffer);
    FreeBitMap(d->doubleBufferBitMap);
    d->frontBuffer = d->doubleBufferBitMap = nullptr;
}

// The size Flip shows unscaled: the smaller of the BGPic and the double-buffer record.
static void UnscaledSize(const DisplayRecord *d, int32_t *w, int32_t *h)
{
    *w = d->bgpic->width;
    *h = d->bgpic->height;
    const BGPicNode *r = d->doubleBufferPicture;
    if (r && r->width < *w) *w = r->width;
    if (r && r->height < *h) *h = r->height;
}

int BeginDoubleBuffer(lua_State *L)
{
    CheckArgs(L, 0, 0);
    DisplayRecord *d = CurrentDisplay;
    if (!d || !d->bgpic) return ERR_WRONGUSAGE;
    switch (d->outputType) {
    case OBJTYPE_BRUSH:
        if (d->doubleBuffer) return ERR_ENDFIRST;
        return d->selection && d->selection->selectionKind == OBJTYPE_ANIM ? ERR_ANIMACTIVE : ERR_BRUSHACTIVE;
    case OBJTYPE_MASK: return ERR_MASKACTIVE;
    case OBJTYPE_ALPHACHANNEL: return ERR_ALPHAACTIVE;
    case OBJTYPE_BGPIC: return ERR_BGPICACTIVE;
    }
    BGPicNode *pic = d->bgpic;
    if (d->layersEnabled || !IsListEmpty(&pic->layers)) return ERR_LAYERSON;
    if (pic->sprites) return ERR_SPRITES;
    if (pic->mask || pic->alpha) return ERR_TRANSPARENT;
    FreeDoubleBuffers(d);
    int scaled = ShownScaled(d);
    d->frontBuffer = BlackBitMap(scaled ? d->scaleWidth : pic->width, scaled ? d->scaleHeight : pic->height);
    d->doubleBufferBitMap = BlackBitMap(pic->width, pic->height);
    if (!d->frontBuffer || !d->doubleBufferBitMap) {
        FreeDoubleBuffers(d);
        return ERR_NOMEM;
    }
    if (!d->doubleBufferPicture && !(d->doubleBufferPicture = (BGPicNode *)MemAlloc(sizeof(BGPicNode), 1))) {
        FreeDoubleBuffers(d);
        return ERR_NOMEM;
    }
    // The record carries the drawing buffer as its picture, so code that draws into the
    // current picture's bitmap draws into the buffer.
    InitBGPicRecord(d->doubleBufferPicture, OBJTYPE_BRUSH, nullptr, 0, nullptr, d->doubleBufferBitMap, nullptr,
                    nullptr, pic->width, pic->height, 1);
    CurrentPicture = d->doubleBufferPicture;
    d->outputType = OBJTYPE_BRUSH;
    d->doubleBuffer = 1;
    d->outputBitMap = d->doubleBufferBitMap;
    d->outputMask = nullptr;
    d->outputAlpha = nullptr;
    return 0;
}

int FlipDisplay(DisplayRecord *d)
{
    if (!d || !d->doubleBuffer || !d->frontBuffer || !d->doubleBufferBitMap) return ERR_NOTDOUBLE;
    BitMap *front = d->frontBuffer, *drawing = d->doubleBufferBitMap;
    if (ShownScaled(d)) {
        ScaleBitMapTriple(drawing, nullptr, nullptr, 0, 0, front, drawing->width, drawing->height, front->width,
                          front->height, 0, nullptr, nullptr, nullptr);
        BltToWindow(front, 0, 0, d, 0, 0, front->width, front->height, 0);
        return 0;
    }
    int32_t w, h;
    UnscaledSize(d, &w, &h);
    if (w > drawing->width) w = drawing->width;
    if (h > drawing->height) h = drawing->height;
    BltBitMap(drawing, 0, 0, front, 0, 0, w, h);
    BltToWindow(front, 0, 0, d, 0, 0, w, h, 0);
    return 0;
}

void VWaitDisplay(lua_State *L)
{
    DisplayRecord *d = CurrentDisplay;
    if (d && d->window) OsFlushDisplay(L, d->window);
}

int Flip(lua_State *L)
{
    CheckArgs(L, 0, 0);
    int code = FlipDisplay(CurrentDisplay);
    if (code) return code;
    VWaitDisplay(L);
    return 0;
}

// Copies the top left of the drawing buffer into a picture of the display. The display may have
// changed size while double buffering (the drawing buffer keeps the size it was made at), so
// only what both hold is copied.
static void CopyDrawing(const BitMap *drawing, BitMap *dst, int32_t w, int32_t h)
{
    if (w > drawing->width) w = drawing->width;
    if (h > drawing->height) h = drawing->height;
    if (w > dst->width) w = dst->width;
    if (h > dst->height) h = dst->height;
    if (w > 0 && h > 0) BltBitMap(drawing, 0, 0, dst, 0, 0, w, h);
}

// The drawing buffer becomes the display's picture; the buffers go.
static void StopDoubleBuffer(DisplayRecord *d)
{
    BitMap *drawing = d->doubleBufferBitMap;
    if (drawing && d->bgpic && d->displayBitMap) {
        int32_t w = d->bgpic->width, h = d->bgpic->height;
        CopyDrawing(drawing, d->displayBitMap, w, h);
        if (ShownScaled(d) && d->backBuffer) CopyDrawing(drawing, d->backBuffer, w, h);
    }
    FreeDoubleBuffers(d);
    d->doubleBuffer = 0;
    if (d->doubleBufferPicture) d->doubleBufferPicture->bitmap = d->doubleBufferPicture->shownBitMap =
        d->doubleBufferPicture->sourceBitMap = nullptr;
}

int EndDoubleBuffer(lua_State *L)
{
    CheckArgs(L, 0, 0);
    DisplayRecord *d = CurrentDisplay;
    if (!d || !d->doubleBuffer) return ERR_NOTDOUBLE;
    EndDisplayDoubleBuffer(L, d);
    return 0;
}

void EndDisplayDoubleBuffer(lua_State *L, DisplayRecord *d)
{
    if (!d) return;
    if (d->doubleBufferSuspended) {
        // A selection runs inside the double buffer: it now ends on the display.
        StopDoubleBuffer(d);
        d->doubleBufferSuspended = 0;
        return;
    }
    if (!d->doubleBuffer) return;
    StopDoubleBuffer(d);
    if (d == CurrentDisplay) CurrentPicture = d->bgpic;
    d->outputBitMap = nullptr;
    d->outputMask = nullptr;
    d->outputAlpha = nullptr;
    d->outputType = OBJTYPE_DISPLAY;
}

void PresentDisplayBuffer(DisplayRecord *d, int whole, int flags)
{
    BitMap *front = d ? d->frontBuffer : nullptr;
    if (!front || !d->bgpic) return;
    if (ShownScaled(d)) {
        BltToWindow(front, 0, 0, d, 0, 0, front->width, front->height, flags & OS_BLT_FORCE);
        return;
    }
    int32_t w, h;
    UnscaledSize(d, &w, &h);
    BltToWindow(front, 0, 0, d, 0, 0, w, h, flags & OS_BLT_FORCE);
    BitMap *pic = d->displayBitMap;
    if (!whole || !pic) return;
    if (pic->width > w) BltToWindow(pic, w, 0, d, w, 0, pic->width - w, pic->height, flags & OS_BLT_FORCE);
    if (pic->height > h) BltToWindow(pic, 0, h, d, 0, h, w, pic->height - h, flags & OS_BLT_FORCE);
}

int ReallocScaledBuffer(DisplayRecord *d)
{
    if (!d || !d->bgpic) return 0;
    int scaled = ShownScaled(d);
    BitMap *front = BlackBitMap(scaled ? d->scaleWidth : d->bgpic->width, scaled ? d->scaleHeight : d->bgpic->height);
    if (!front) return ERR_NOMEM;
    FreeBitMap(d->frontBuffer);
    d->frontBuffer = front;
    BltToWindow(front, 0, 0, d, 0, 0, front->width, front->height, 0);
    return 0;
}

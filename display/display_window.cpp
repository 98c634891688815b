// A display's window: the screen bounds it is placed in, its position, drag and size regions,
// opening and closing it, refreshing its contents, and the drawing state kept while output goes
// elsewhere.
#include <algorithm>
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

void GetDisplayScreenBounds(const DisplayRecord *d, int32_t bounds[4])
{
    if (d->backdrop) {
        int32_t w = 0, h = 0;
        OsGetAttr(nullptr, 14, &w, nullptr);
        OsGetAttr(nullptr, 15, &h, nullptr);
        bounds[0] = bounds[1] = 0;
        bounds[2] = w;
        bounds[3] = h;
    } else {
        OsGetUsableScreenArea(bounds);
    }
}

void ResolveWindowPosition(DisplayRecord *d, const int32_t bounds[4])
{
    if (IsXPosConstant(d->x)) d->x = ResolveXPos(d->x, d->width + d->borderWidth, bounds[2], 0) + bounds[0];
    if (IsYPosConstant(d->y)) d->y = ResolveYPos(d->y, d->height + d->borderHeight, bounds[3], 0) + bounds[1];
}

static void CutRegion(RegionEntry *r, int32_t width, int32_t height)
{
    if (r->x > width - 1) r->x = width - 1;
    if (r->y > height - 1) r->y = height - 1;
    // In 64 bits: a region given far to the left may not wrap round on either sum.
    if ((int64_t)r->x + r->width > width) r->width = (int32_t)std::min<int64_t>((int64_t)width - r->x, INT32_MAX);
    if ((int64_t)r->y + r->height > height) r->height = (int32_t)std::min<int64_t>((int64_t)height - r->y, INT32_MAX);
    if (r->width <= 0) r->width = 1;
    if (r->height <= 0) r->height = 1;
}

void FitDisplayRegions(DisplayRecord *d)
{
    if (!d->dragRegionsGiven) {
        d->dragRegions[0] = {OBJTYPE_BOX, 0, 0, d->width, 15};
        d->dragRegionCount = 1;
    }
    if (!d->sizeRegionsGiven) {
        d->sizeRegions[0] = {OBJTYPE_BOX, d->width - 10, d->height - 10, 10, 10};
        d->sizeRegionCount = 1;
    }
    for (int i = 0; i < d->dragRegionCount; i++) CutRegion(&d->dragRegions[i], d->width, d->height);
    for (int i = 0; i < d->sizeRegionCount; i++) CutRegion(&d->sizeRegions[i], d->width, d->height);
}

// The regions the script gave, moved to the scaled picture.
static void ScaleRegions(DisplayRecord *d)
{
    RegionEntry *lists[2][2] = {{d->dragRegions, d->dragRegionsUnscaled}, {d->sizeRegions, d->sizeRegionsUnscaled}};
    int32_t counts[2] = {d->dragRegionsGiven ? d->dragRegionCount : 0, d->sizeRegionsGiven ? d->sizeRegionCount : 0};
    for (int k = 0; k < 2; k++) {
        for (int i = 0; i < counts[k]; i++) {
            const RegionEntry *u = &lists[k][1][i];
            RegionEntry *r = &lists[k][0][i];
            r->type = u->type;
            // Held within kCoordLimit: the display cuts them to its size afterwards anyway.
            r->x = ClampCoordD(u->x * d->scaleX);
            r->y = ClampCoordD(u->y * d->scaleY);
            r->width = ClampCoordD(u->width * d->scaleX);
            r->height = ClampCoordD(u->height * d->scaleY);
        }
    }
}

void SyncWindowRecord(DisplayRecord *d)
{
    if (!d->window) return;
    d->window->offsetX = d->stripLeft;
    d->window->offsetY = d->stripTop;
}

// The window shape as width x height bytes (picture placed at the strips' offset), or none
// for a window without a shape. *code is 1000 when the buffer cannot be allocated.
static uint8_t *MakeShapeBytes(DisplayRecord *d, int *code)
{
    *code = 0;
    const Mask *mask = d->shapeMask;
    const AlphaChannel *alpha = d->shapeAlpha;
    if (!mask && !alpha && d->bgpic) {
        mask = d->bgpic->shownMask;
        alpha = d->bgpic->shownAlpha;
    }
    if (!mask && !alpha) return nullptr;
    uint8_t *bytes = (uint8_t *)MemAlloc((size_t)d->width * d->height, 1);
    if (!bytes) {
        *code = 1000;
        return nullptr;
    }
    int32_t pw = alpha ? alpha->width : mask->width, ph = alpha ? alpha->height : mask->height;
    for (int32_t y = 0; y < ph && y + d->stripTop < d->height; y++) {
        uint8_t *row = bytes + (size_t)(y + d->stripTop) * d->width + d->stripLeft;
        for (int32_t x = 0; x < pw && x + d->stripLeft < d->width; x++) {
            if (alpha) row[x] = alpha->pixels[(size_t)y * alpha->bytesPerRow + x];
            else row[x] = MaskRowBit(mask->pixels + (size_t)y * mask->bytesPerRow, x) ? 255 : 0;
        }
    }
    return bytes;
}

int OpenWindowForDisplay(lua_State *L, DisplayRecord *d, int activate)
{
    int32_t bounds[4];
    GetDisplayScreenBounds(d, bounds);
    int32_t borders[4];
    OsGetBorderSizes(d->flags, borders);
    d->borderLeft = borders[0];
    d->borderTop = borders[1];
    d->borderWidth = borders[2];
    d->borderHeight = borders[3];
    int code;

    if ((d->autoScale || d->layerScale) && (d->flags & DISPF_FITSCALE)) {
        int32_t area[4];
        if (d->flags & DISPF_BORDERLESS) memcpy(area, bounds, sizeof area);
        else OsGetUsableScreenArea(area);
        d->x = area[0];
        d->y = area[1];
        d->width = area[2] - d->borderWidth;
        d->height = area[3] - d->borderHeight;
        if (d->width < 1) d->width = 1;
        if (d->height < 1) d->height = 1;
        ComputeDisplayScaleSize(d, d->width, d->height);
        if (d->bgpic && (code = AttachBGPicToDisplay(d, d->bgpic))) return code;
    }
    if (d->scaleWidth) ScaleRegions(d);
    ResolveWindowPosition(d, bounds);
    FitDisplayRegions(d);
    if (!OsCanSizeDisplay()) {
        char size[32];
        snprintf(size, sizeof size, "%dx%d", d->width, d->height);
        SetErrorString(size);
        return 1085;
    }
    uint8_t *shape = MakeShapeBytes(d, &code);
    if (code) return code;
    SyncWindowRecord(d);
    uint32_t windowFlags = d->flags | (d->backdrop ? OS_WF_BACKDROP : 0);
    code = OsOpenWindow(d->window, windowFlags, d->x, d->y, d->width, d->height, d->title, activate, shape);
    MemFree(shape);
    if (code) return code;
    d->state = DISPSTATE_OPEN;
    d->activate = activate ? 1 : 0;
    OsGetBorderSizes(d->flags, borders);
    d->borderLeft = borders[0];
    d->borderTop = borders[1];
    d->borderWidth = borders[2];
    d->borderHeight = borders[3];
    if (d->handlers[SLOT_ONDROPFILE].function != -1) OsUpdateDropTarget(d->window, 1);
    if (d->handlers[SLOT_CLIPBOARDCHANGE].function != -1) OsWatchClipboard(d->window, 1);
    if (((d->flags & DISPF_HIDEPOINTER) && ScreenModeSwitched) || d->pointerHidden) OsHideCursor(d->window);
    else if (d->pointer) ApplyDisplayPointer(d);
    else OsShowCursor(d->window);
    RefreshDisplay(d, 0);
    return 0;
}

void CloseDisplayWindow(DisplayRecord *d)
{
    if (d->window) OsCloseWindow(d->window);
    ResetDisplayInput(d);
    d->state = DISPSTATE_CLOSED;
}

// Black bars around a proportionally scaled picture (window coordinates relative to it).
static void FillBorderStrips(DisplayRecord *d)
{
    if (!d->window) return;
    int32_t sw = d->width - d->stripLeft - d->stripRight, sh = d->height - d->stripTop - d->stripBottom;
    if (d->stripLeft) OsWindowRectFill(d->window, -d->stripLeft, -d->stripTop, d->stripLeft, d->height, 0);
    if (d->stripRight) OsWindowRectFill(d->window, sw, -d->stripTop, d->stripRight, d->height, 0);
    if (d->stripTop) OsWindowRectFill(d->window, 0, -d->stripTop, sw, d->stripTop, 0);
    if (d->stripBottom) OsWindowRectFill(d->window, 0, sh, sw, d->stripBottom, 0);
}

void RefreshDisplay(DisplayRecord *d, int flags)
{
    FillBorderStrips(d);
    if (d->doubleBuffer || d->bufferedPresentation) {
        PresentDisplayBuffer(d, 1, flags);
        return;
    }
    BGPicNode *b = d->bgpic;
    if (!b || !d->backBuffer) return;
    Redraw(d, b, d->backBuffer, 0, 0, b->shownWidth, b->shownHeight, 0, 0);
    BltToWindow(d->backBuffer, 0, 0, d, 0, 0, b->shownWidth, b->shownHeight, flags | 9);
}

void ResetDisplayCursor(DisplayRecord *d, int32_t width)
{
    d->cursorX = d->cursorY = d->leftMargin = 0;
    d->rightMargin = width - 1;
}

void SaveDisplayOutput(DisplayRecord *d, int keepLayers, int32_t rightMargin)
{
    SavedDisplayOutput *s = &d->saved;
    if (s->active) return;
    s->active = 1;
    s->layers = d->layersEnabled;
    if (!keepLayers) d->layersEnabled = 0;
    s->cursor[0] = d->cursorX;
    s->cursor[1] = d->cursorY;
    s->cursor[2] = d->leftMargin;
    s->cursor[3] = d->rightMargin;
    d->cursorX = d->cursorY = d->leftMargin = 0;
    d->rightMargin = rightMargin - 1;
}

void RestoreDisplayOutput(DisplayRecord *d)
{
    SavedDisplayOutput *s = &d->saved;
    if (!s->active) return;
    d->layersEnabled = s->layers;
    d->cursorX = s->cursor[0];
    d->cursorY = s->cursor[1];
    d->leftMargin = s->cursor[2];
    d->rightMargin = s->cursor[3];
    s->active = 0;
}

void MakeDisplayCurrent(DisplayRecord *d)
{
    CurrentDisplay = d;
    CurrentPicture = d ? (d->doubleBuffer && d->doubleBufferPicture ? d->doubleBufferPicture : d->bgpic) : nullptr;
}

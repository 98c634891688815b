// Resizing and re-scaling displays: the proportional fit of a scaled picture, and
// OpenDisplayWindow, which brings a display, its BGPic and its window to a new size or scale.
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "platform/os.h"
#include "runtime/errors.h"

void FitProportionally(int32_t pw, int32_t ph, int32_t aw, int32_t ah, int32_t *sw, int32_t *sh, int32_t strips[4])
{
    int64_t w = aw, h = (int64_t)aw * ph / pw;
    if (h > ah) {
        h = ah;
        w = (int64_t)ah * pw / ph;
    }
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    *sw = (int32_t)w;
    *sh = (int32_t)h;
    strips[0] = (int32_t)((aw - w) / 2);
    strips[2] = (int32_t)(aw - w - strips[0]);
    strips[1] = (int32_t)((ah - h) / 2);
    strips[3] = (int32_t)(ah - h - strips[1]);
}

void ComputeDisplayScaleSize(DisplayRecord *d, int32_t width, int32_t height)
{
    BGPicNode *b = d->bgpic;
    if ((d->flags & DISPF_KEEPPROPORTIONS) && b && !b->mask && !b->alpha && b->width > 0 && b->height > 0) {
        int32_t strips[4];
        FitProportionally(b->width, b->height, width, height, &d->scaleWidth, &d->scaleHeight, strips);
        d->stripLeft = strips[0];
        d->stripTop = strips[1];
        d->stripRight = strips[2];
        d->stripBottom = strips[3];
    } else {
        d->scaleWidth = width;
        d->scaleHeight = height;
        d->stripLeft = d->stripTop = d->stripRight = d->stripBottom = 0;
    }
}

// 1085 "Unable to change display size to WxH !".
static int SizeError(int32_t width, int32_t height)
{
    char size[32];
    snprintf(size, sizeof size, "%dx%d", width, height);
    SetErrorString(size);
    return 1085;
}

// Layer scaling with a scale size and the resize flag: only the BGPic's own size changes; the
// window keeps showing the scale size.
static int ResizeUnderLayerScaling(lua_State *L, DisplayRecord *d, int32_t width, int32_t height, int smooth,
                                   int noRefresh)
{
    BGPicNode *b = d->bgpic;
    int code;
    if (width != b->width || height != b->height) {
        if ((code = ResizeBGPicImages(b, width, height, smooth))) return code;
    }
    if ((code = AttachBGPicToDisplay(d, b))) return code;
    if ((code = RebuildAllLayers(L, d))) return code;
    if (!noRefresh && d->state == DISPSTATE_OPEN) RefreshDisplay(d, 0);
    return 0;
}

int OpenDisplayWindow(lua_State *L, DisplayRecord *d, int32_t x, int32_t y, int32_t width, int32_t height, int resize,
                      int smooth, int noRefresh)
{
    BGPicNode *b = d->bgpic;
    if (!b) return 0;
    // The display's pictures and its window are of this size: a size no picture can have is
    // refused before anything is allocated for it.
    if (!BitMapSizeFits(width, height)) return SizeError(width, height);
    int code = DetachBGPicFromLayers(L, b);
    if (code) return code;
    if (resize && d->layerScale && d->scaleWidth) return ResizeUnderLayerScaling(L, d, width, height, smooth, noRefresh);

    int scaled = d->autoScale || d->layerScale;
    int windowChanged = 0;
    if (resize) {
        if (!(d->autoScale && d->scaleWidth)) {
            if (x != KEEPPOSITION) d->x = x;
            if (y != KEEPPOSITION) d->y = y;
            d->width = width;
            d->height = height;
            int32_t bounds[4];
            GetDisplayScreenBounds(d, bounds);
            ResolveWindowPosition(d, bounds);
            windowChanged = 1;
        }
    } else {
        d->width = width;
        d->height = height;
        if (scaled) ComputeDisplayScaleSize(d, width, height);
    }

    if (!b->mask && !b->alpha && resize) {
        if (!OsCanSizeDisplay()) return SizeError(width, height);
        if (!noRefresh && windowChanged && d->state != DISPSTATE_CLOSED) {
            SyncWindowRecord(d);
            OsMoveWindow(d->window, d->x, d->y);
            OsSizeWindow(d->window, d->width, d->height);
            FitDisplayRegions(d);
            OsApplySizeLimits();
        }
    }

    if (!resize && d->layerScale) {
        BGPicNode *busy = PollAsyncDraws(d);
        if (busy) busy->layersChanged = 1;
        if (d->scaleWidth == b->width && d->scaleHeight == b->height) DropScaledLayerStates(b);
    } else if (!(!resize && d->autoScale)) {
        if ((code = ResizeBGPicImages(b, width, height, smooth))) return code;
    }

    if ((code = AttachBGPicToDisplay(d, b))) return code;
    if (d->doubleBuffer || d->bufferedPresentation) {
        if ((code = ReallocScaledBuffer(d))) return code;
    } else if (scaled && d->scaleWidth) {
        Redraw(d, b, d->backBuffer, 0, 0, b->shownWidth, b->shownHeight, 0, 4);
    }

    if (!noRefresh && d->state == DISPSTATE_OPEN) {
        if (ScreenModeSwitched && d->window && d->window->fullScreen) {
            int activate = d->activate;
            CloseDisplayWindow(d);
            if ((code = OpenWindowForDisplay(L, d, activate))) return code;
        } else {
            SyncWindowRecord(d);
            RefreshDisplay(d, 0);
        }
    }
    if (!scaled) {
        if (d->outputType == OBJTYPE_DISPLAY) ResetDisplayCursor(d, d->width);
        else d->saved.cursor[3] = d->width - 1;
    }
    return 0;
}

// SetDisplayAttributes' work: a changed option table applied to an existing display, from a new
// BGPic, size or scale down to a moved or re-titled window.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "platform/os.h"

// Flags whose change needs a new window.
static const uint32_t ReopenFlags = DISPF_FITSCALE | DISPF_KEEPPROPORTIONS | DISPF_NOCLOSE | DISPF_USEQUARTZ |
                                    DISPF_NOHIDE | DISPF_FIXED | DISPF_SIZEABLE | DISPF_BORDERLESS;

static int Scaling(const DisplayRecord *d) { return d->autoScale || d->layerScale; }

// The copy the table is parsed into: the display's state with its BGPic's size and no BGPic.
static int ParseCopy(lua_State *L, int t, const DisplayRecord *d, DisplayRecord *parsed, int *scaleGiven)
{
    memcpy(parsed, d, sizeof *parsed);
    parsed->width = d->bgpic->width;
    parsed->height = d->bgpic->height;
    parsed->bgpic = nullptr;
    return ParseDisplayOptions(L, t, parsed, 0, scaleGiven);
}

static int ReplaceBGPic(lua_State *L, DisplayRecord *d, BGPicNode *old, BGPicNode *bgpic)
{
    EndDisplayDoubleBuffer(L, d);
    SetBGPicOutput(L, d);
    FreeOnScreenSprites(L, old);
    FreeAsyncDraws(L, d);
    old->clipRegion = nullptr;
    ResetDisplayCursor(d, bgpic->width);
    if (!Scaling(d)) {
        d->width = bgpic->width;
        d->height = bgpic->height;
    }
    int code = AttachBGPicToDisplay(d, bgpic);
    if (code) return code;
    if (CurrentDisplay == d) CurrentPicture = bgpic;
    FlushPendingBGPics();
    if (d->layerScale && d->scaleWidth) DropScaledLayerStates(bgpic);
    return 0;
}

static int ApplyAttributes(lua_State *L, int t, DisplayRecord *d, int noRefresh, DisplayRecord *old,
                           DisplayRecord *parsed)
{
    int scaleGiven, code;
    if ((code = ParseCopy(L, t, d, parsed, &scaleGiven))) return code;
    memcpy(old, d, sizeof *old);

    // 1. Scaling switched off: back to the BGPic's own size first, then read the table again.
    if (!Scaling(parsed) && Scaling(d) && d->scaleWidth) {
        d->flags &= ~(DISPF_AUTOSCALE | DISPF_LAYERSCALE);
        d->autoScale = d->layerScale = 0;
        d->scaleWidth = d->scaleHeight = 0;
        d->stripLeft = d->stripTop = d->stripRight = d->stripBottom = 0;
        if ((code = OpenDisplayWindow(L, d, 0, 0, d->bgpic->width, d->bgpic->height, 0, d->smoothScale, 1)))
            return code;
        if ((code = ParseCopy(L, t, d, parsed, &scaleGiven))) return code;
    }
    if (!Scaling(parsed)) {
        parsed->stripLeft = parsed->stripTop = parsed->stripRight = parsed->stripBottom = 0;
        parsed->scaleWidth = parsed->scaleHeight = 0;
    }

    // 2. What changed.
    BGPicNode *oldBGPic = d->bgpic;
    // The BGPic the display shows already is no new one: it stays attached and is only redrawn
    // (step 10), so that nothing of it is freed or detached.
    BGPicNode *newBGPic = parsed->bgpic == oldBGPic ? nullptr : parsed->bgpic;
    int newSize = !newBGPic && (parsed->width != oldBGPic->width || parsed->height != oldBGPic->height);
    int newScale = Scaling(parsed) && parsed->scaleWidth &&
                   (!Scaling(old) || parsed->scaleWidth != old->scaleWidth || parsed->scaleHeight != old->scaleHeight);
    int32_t wantWidth = parsed->width, wantHeight = parsed->height;
    int32_t keepWidth = d->width, keepHeight = d->height;   // after step 1
    memcpy(d, parsed, sizeof *d);
    d->bgpic = oldBGPic;
    if (Scaling(d) && newScale) {
        d->width = d->scaleWidth;
        d->height = d->scaleHeight;
    } else {
        d->width = keepWidth;
        d->height = keepHeight;
    }
    d->layersEnabled = d->layerScale || old->layersEnabled;

    // 3.
    if (d->layerScale && (code = CanEnableLayers(L, d))) return code;

    // 4-5.
    if (newBGPic) {
        if ((code = ReplaceBGPic(L, d, oldBGPic, newBGPic))) return code;
    } else {
        if (newSize) {
            int32_t x = d->x == old->x ? POS_CENTER : d->x, y = d->y == old->y ? POS_CENTER : d->y;
            if ((code = OpenDisplayWindow(L, d, x, y, wantWidth, wantHeight, 1, d->smoothScale,
                                          noRefresh || d->state == DISPSTATE_CLOSED)))
                return code;
        }
        if (newScale && (code = OpenDisplayWindow(L, d, 0, 0, d->scaleWidth, d->scaleHeight, 0, d->smoothScale, 1)))
            return code;
    }

    // 6.
    if (d->state == DISPSTATE_CLOSED) return 0;

    // 7. The picture stays where it is when the frame comes or goes.
    uint32_t switched = (d->flags ^ old->flags) & DISPF_BORDERLESS;
    if (switched && d->x == old->x && d->y == old->y) {
        if (d->flags & DISPF_BORDERLESS) {
            d->x += old->borderLeft;
            d->y += old->borderTop;
        } else {
            int32_t borders[4];
            OsGetBorderSizes(d->flags, borders);
            d->x -= borders[0];
            d->y -= borders[1];
        }
    }

    // 8. A new window.
    int shaped = d->shapeMask || d->shapeAlpha || d->bgpic->mask || d->bgpic->alpha;
    int sizeChanged = d->width != old->width || d->height != old->height || newBGPic;
    if (((d->flags ^ old->flags) & ReopenFlags) || (shaped && sizeChanged)) {
        int activate = old->activate;
        CloseDisplayWindow(d);
        return OpenWindowForDisplay(L, d, activate);
    }

    // 9.
    int32_t bounds[4];
    GetDisplayScreenBounds(d, bounds);
    ResolveWindowPosition(d, bounds);
    SyncWindowRecord(d);
    if (sizeChanged) {
        OsSizeWindow(d->window, d->width, d->height);
        FitDisplayRegions(d);
    } else {
        if (d->x != old->x || d->y != old->y) OsMoveWindow(d->window, d->x, d->y);
        FitDisplayRegions(d);
    }

    // 10.
    if (strcmp(d->title, old->title) != 0) OsSetWindowTitle(d->window, d->title);
    if (!noRefresh) RefreshDisplay(d, 0);
    return 0;
}

int SetDisplayAttributesCore(lua_State *L, int t, DisplayRecord *d, int noRefresh)
{
    // On the stack: a bad option raises out of the table's reading, which would lose a block.
    DisplayRecord copies[2];
    memset(copies, 0, sizeof copies);
    return ApplyAttributes(L, t, d, noRefresh, &copies[0], &copies[1]);
}

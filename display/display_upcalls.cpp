// The display side of the platform's upcall table: events for the queue, close handlers,
// geometry the user changed, redraws after an expose, mode switches and user resizes, and the
// hit test of borderless windows.
#include <cstring>

#include "display/display.h"
#include "display/event.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/interpwords.h"
#include "stdlib/system.h"

static DisplayRecord *Owner(void *owner) { return (DisplayRecord *)owner; }

static void PostDisplayEvent(void *owner, uint32_t type, uint32_t a, uint32_t b, uint32_t c, const void *extra,
                             size_t extraSize)
{
    void *copy = nullptr;
    if (extra && extraSize) {
        copy = MemAlloc(extraSize, 0);
        if (!copy) return;
        memcpy(copy, extra, extraSize);
    }
    PostEvent(Owner(owner), type, a, b, c, copy);
}

static int HasCloseHandler(void *owner)
{
    return DisplayCloseHandled(Owner(owner));
}

static void GeometryChanged(void *owner, int32_t x, int32_t y, int32_t width, int32_t height)
{
    DisplayRecord *d = Owner(owner);
    d->x = x;
    d->y = y;
    d->width = width;
    d->height = height;
}

static void RefreshOwner(void *owner)
{
    DisplayRecord *d = Owner(owner);
    if (d->state == DISPSTATE_OPEN) RefreshDisplay(d, OS_BLT_FORCE);
}

static void SwitchMode(lua_State *L, void *owner, int mode)
{
    DisplayRecord *d = Owner(owner);
    ReopenDisplays(L, mode == 1, d->width, d->height);
}

// A finished user resize: a scaled display scales its picture to the new size, any other
// display takes the size as its own.
static void ResizeDone(lua_State *L, void *owner, int32_t width, int32_t height)
{
    DisplayRecord *d = Owner(owner);
    if (width < 1 || height < 1) return;
    if (d->autoScale || d->layerScale)
        OpenDisplayWindow(L, d, 0, 0, width, height, 0, d->smoothScale, 0);
    else
        OpenDisplayWindow(L, d, KEEPPOSITION, KEEPPOSITION, width, height, 1, d->smoothScale, 0);
}

static int OnlyDisplay(void *owner) { return IsOnlyDisplay(Owner(owner)); }
static int DisplayModeWord(void *owner) { return ScreenModeSwitched ? 1 : 0; }

static int InRegions(const RegionEntry *r, int count, int32_t x, int32_t y)
{
    for (int i = 0; i < count; i++)
        if (x >= r[i].x && y >= r[i].y && x < r[i].x + r[i].width && y < r[i].y + r[i].height) return 1;
    return 0;
}

// A system requester is open: the mode-switch keys are ignored meanwhile. Requesters are
// modal to the whole player, so one count serves every display.
static int RequestersOpen = 0;

static void MarkRequester(lua_State *L, int open)
{
    RequestersOpen += open ? 1 : -1;
    if (RequestersOpen < 0) RequestersOpen = 0;
}

static int RequesterOpen(void *owner) { return RequestersOpen > 0; }

static int HitTest(void *owner, int32_t x, int32_t y)
{
    DisplayRecord *d = Owner(owner);
    if ((d->flags & DISPF_SIZEABLE) && InRegions(d->sizeRegions, d->sizeRegionCount, x, y)) return 2;
    if (!(d->flags & DISPF_FIXED) && InRegions(d->dragRegions, d->dragRegionCount, x, y)) return 1;
    return 0;
}

void RegisterDisplayUpcalls(void)
{
    OsUpcalls up;
    memset(&up, 0, sizeof up);
    up.postEvent = PostDisplayEvent;
    up.hasCloseHandler = HasCloseHandler;
    up.geometryChanged = GeometryChanged;
    up.refresh = RefreshOwner;
    up.switchMode = SwitchMode;
    up.resizeDone = ResizeDone;
    up.isOnlyDisplay = OnlyDisplay;
    up.displayMode = DisplayModeWord;
    up.hitTest = HitTest;
    up.requesterOpen = RequesterOpen;
    up.stopFlag = &StopFlag;
    OsSetUpcalls(&up);
    RequesterStateHook = MarkRequester;
}

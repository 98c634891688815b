// The display list and its mutex, lookups, and freeing displays one by one or all at exit.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "display/display_pending.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/auxlib.h"
#include "text/text_print.h"

DisplayRecord *DisplayList = nullptr;
DisplayRecord *CurrentDisplay = nullptr;
OsMutex *DisplayListMutex = nullptr;
int ScreenModeSwitched = 0;
BitMap *DesktopSnapshot = nullptr;
DisplayRecord *FallbackDisplay = nullptr;
BackfillObjects Backfill;

const char *const DisplayHandlerNames[DISPLAY_HANDLER_SLOTS] = {
    "onkeydown", "onkeyup", "onmousemove", "closewindow", "movewindow", "sizewindow",
    "activewindow", "inactivewindow", "hidewindow", "showwindow", "onmousedown", "onmouseup",
    "onrightmousedown", "onrightmouseup", "onwheeldown", "onwheelup", "modeswitch", "ondropfile",
    "clipboardchange", "onmidmousedown", "onmidmouseup",
};

int FindDisplay(ObjectId id, DisplayRecord **out)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next) {
        if (ObjectIdMatches(d->id, id)) {
            *out = d;
            return 0;
        }
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1344;
}

int CountDisplays(void)
{
    int n = 0;
    for (DisplayRecord *d = DisplayList; d; d = d->next) n++;
    return n;
}

int IsOnlyDisplay(const DisplayRecord *display)
{
    if (!DisplayList) return 0;
    if (DisplayList == display) return display->next == nullptr;
    return DisplayList->backdrop && DisplayList->next == display && display->next == nullptr;
}

void LinkDisplay(DisplayRecord *display)
{
    OsLockMutex(DisplayListMutex);
    if (display->backdrop) {
        display->next = DisplayList;
        DisplayList = display;
    } else {
        DisplayRecord **tail = &DisplayList;
        while (*tail) tail = &(*tail)->next;
        display->next = nullptr;
        *tail = display;
    }
    OsUnlockMutex(DisplayListMutex);
}

static void UnlinkDisplay(DisplayRecord *display)
{
    OsLockMutex(DisplayListMutex);
    for (DisplayRecord **p = &DisplayList; *p; p = &(*p)->next) {
        if (*p == display) {
            *p = display->next;
            break;
        }
    }
    OsUnlockMutex(DisplayListMutex);
}

void FreeDirtyRectList(DirtyRectList *list)
{
    MemFree(list->rects);
    list->rects = nullptr;
    list->count = list->capacity = 0;
}

void FreeDisplayHandlers(lua_State *L, DisplayRecord *display)
{
    for (int i = 0; i < DISPLAY_HANDLER_SLOTS; i++) {
        EventHandlerSlot *s = &display->handlers[i];
        if (L && s->function != -1) luaL_unref(L, LUA_REGISTRYINDEX, s->function);
        if (L && s->userdata != -1) luaL_unref(L, LUA_REGISTRYINDEX, s->userdata);
        s->function = s->userdata = -1;
    }
}

void ResetDisplayInput(DisplayRecord *display)
{
    OsWindowRecord *w = display->window;
    if (w) {
        w->leftButton = w->rightButton = w->midButton = 0;
        memset(w->keys, 0, sizeof w->keys);
        w->mouseMoved = 0;
        OsResetInput(w);
    }
    if (display->bgpic) ResetButtonStates(display->bgpic);
}

void FreeDisplayContents(lua_State *L, DisplayRecord *display, int atExit)
{
    if (display->state != DISPSTATE_CLOSED) CloseDisplayWindow(display);
    // The display's own BGPic is let go: it is freed once no other display and no layer shows it
    // (FlushPendingBGPics, which the caller runs once the display is unlisted). At exit the BGPic
    // library frees every BGPic after the displays.
    if (display->ownBGPic && !atExit) ReleaseBGPic(display->ownBGPic);
    display->bgpic = nullptr;
    display->ownBGPic = nullptr;
    FreeBitMap(display->displayBitMap);
    FreeBitMap(display->backBuffer);
    FreeBitMap(display->doubleBufferBitMap);
    FreeBitMap(display->spareBitMap);
    FreeBitMap(display->frontBuffer);
    display->displayBitMap = display->backBuffer = display->doubleBufferBitMap = display->spareBitMap = nullptr;
    display->frontBuffer = nullptr;
    FreeMask(display->shapeMask);
    FreeAlphaChannel(display->shapeAlpha);
    display->shapeMask = nullptr;
    display->shapeAlpha = nullptr;
    OsFreeWindowRecord(display->window);
    display->window = nullptr;
    FreeDisplayHandlers(L, display);
    MemFree(display->doubleBufferPicture);
    MemFree(display->selection);
    display->doubleBufferPicture = display->selection = nullptr;
    FreeDirtyRectList(&display->dirty);
    ForgetDisplayEvents(display);
    ForgetDisplayTabStops(display);
}

int CheckDisplayFree(const DisplayRecord *d)
{
    if (d == CurrentDisplay) return 1346;
    if (d->asyncDraws) return 1380;
    // Its own BGPic goes with it: not while a transition (of any display) holds that BGPic.
    if (d->ownBGPic && d->ownBGPic->locked) return 1314;
    return 0;
}

int RemoveDisplay(lua_State *L, ObjectId id)
{
    DisplayRecord *d;
    int code = FindDisplay(id, &d);
    if (code) return code;
    if ((code = CheckDisplayFree(d))) return code;
    UnlinkDisplay(d);
    FreeDisplayContents(L, d, 0);
    if (FallbackDisplay == d) FallbackDisplay = nullptr;
    MemFree(d);
    FlushPendingBGPics();   // a freed BGPic this display still showed goes now
    return 0;
}

void FreeAllDisplays(lua_State *L)
{
    FreeAsyncDraws(L, nullptr);
    int token = 0;
    if (ScreenModeSwitched) OsFadeOut(&token, 1);
    // No display is current while they go: nothing may reach a freed one through CurrentDisplay.
    // Each display is unlisted just before it is freed, so the others stay listed until their
    // turn; no BGPic is freed here (the BGPic library frees them all afterwards).
    CurrentDisplay = nullptr;
    CurrentPicture = nullptr;
    while (DisplayList) {
        DisplayRecord *d = DisplayList;
        UnlinkDisplay(d);
        FreeDisplayContents(L, d, 1);
        MemFree(d);
    }
    OsResetCursor();
    if (ScreenModeSwitched) {
        OsRestoreScreenMode();
        OsFadeIn(token, 1);
    }
    ScreenModeSwitched = 0;
    FreeBitMap(DesktopSnapshot);
    DesktopSnapshot = nullptr;
    memset(&Backfill, 0, sizeof Backfill);
    IgnoreAppletBackfill = 0;
    FreeScratchMask();
    OsDeleteMutex(DisplayListMutex);
    DisplayListMutex = nullptr;
}

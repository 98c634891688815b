// Screen modes: switching between windowed and full-screen operation, the full-screen size of
// the first display, and the backfill display that covers the screen behind the displays.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/display_modes.h"
#include "platform/os.h"
#include "runtime/preproc_objects.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"

int IgnoreAppletBackfill = 0;

int FitDisplayToScreen(AppletRecord *applet, DisplayRecord *d, int32_t *width, int32_t *height)
{
    int32_t borders[4];
    OsGetBorderSizes(d->flags, borders);
    int32_t frameW = d->width + borders[2], frameH = d->height + borders[3];
    int32_t reqW = applet ? applet->scrWidth : -1, reqH = applet ? applet->scrHeight : -1;
    if (reqW == 0) OsGetAttr(nullptr, 14, &reqW, nullptr);
    if (reqH == 0) OsGetAttr(nullptr, 15, &reqH, nullptr);
    int requested = reqW > 0 && reqH > 0;
    if (requested && frameW <= reqW && frameH <= reqH) {
        *width = reqW;
        *height = reqH;
    } else if (requested && !(d->flags & DISPF_BORDERLESS) && d->width <= reqW && d->height <= reqH) {
        d->flags |= DISPF_BORDERLESS;
        *width = reqW;
        *height = reqH;
    } else {
        *width = frameW;
        *height = frameH;
    }
    return 0;
}

void AppletBackfill(const AppletRecord *applet, BackfillSettings *s)
{
    memset(s, 0, sizeof *s);
    if (!applet) return;
    s->kind = applet->backfillKind;
    s->color1 = applet->backfillStartColor;
    s->color2 = applet->backfillEndColor;
    s->x = applet->backfillPicX;
    s->y = applet->backfillPicY;
    s->brush = applet->backfillBrushId;
    snprintf(s->brushFile, sizeof s->brushFile, "%s", applet->backfillBrushFile);
    s->scale = applet->scalePicture;
    s->hideMenuBar = 1;
}

// The handle a creating command called with a Nil id left on the stack top (popped).
static void *TakeHandle(lua_State *L)
{
    void *h = lua_touserdata(L, -1);
    lua_pop(L, 1);
    return h;
}

// The brush of a texture or picture backfill: loaded from its file or copied from a brush.
static int MakeBackfillBrush(lua_State *L, const BackfillSettings *s, int32_t w, int32_t h, void **brush)
{
    int code = s->brushFile[0] ? CallScriptFunction(L, "LoadBrush", 1, 2, CSF_NIL, CSF_TEXT, s->brushFile)
                               : CallScriptFunction(L, "CopyBrush", 1, 2, CSF_UINT, s->brush, CSF_NIL);
    if (code) return code;
    *brush = TakeHandle(L);
    Backfill.brush = {0, *brush};
    Backfill.brushMade = 1;
    if (s->kind == BACKFILL_PICTURE && s->scale)
        return CallScriptFunction(L, "ScaleBrush", 0, 3, CSF_POINTER, *brush, CSF_INT, w, CSF_INT, h);
    return 0;
}

int CreateDisplayBGPic(lua_State *L, const BackfillSettings *s)
{
    static const char *const needed[] = {"CreateBGPic", "CreateGradientBGPic", "CreateTexturedBGPic",
                                         "LoadBrush", "CopyBrush", "ScaleBrush", "CreateDisplay"};
    for (const char *name : needed)
        if (!CommandRegistered(L, name)) return 0;   // the backfill needs the bgpic and brush libraries
    int32_t menu = 0, w = 0, h = 0;
    OsGetAttr(nullptr, 14, &w, nullptr);
    OsGetAttr(nullptr, 15, &h, nullptr);
    if (!s->hideMenuBar) OsGetAttr(nullptr, 22, &menu, nullptr);
    h -= menu;
    void *brush = nullptr;
    int code = 0;
    if ((s->kind == BACKFILL_TEXTURE || s->kind == BACKFILL_PICTURE) && (code = MakeBackfillBrush(L, s, w, h, &brush)))
        return code;
    if (s->kind == BACKFILL_GRADIENT || (s->kind == BACKFILL_PICTURE && s->color2 != -1))
        code = CallScriptFunction(L, "CreateGradientBGPic", 1, 6, CSF_NIL, CSF_INT, 0, CSF_UINT, (uint32_t)s->color1,
                                  CSF_UINT, (uint32_t)s->color2, CSF_INT, w, CSF_INT, h);
    else if (s->kind == BACKFILL_TEXTURE)
        code = CallScriptFunction(L, "CreateTexturedBGPic", 1, 4, CSF_NIL, CSF_POINTER, brush, CSF_INT, w, CSF_INT, h);
    else
        code = CallScriptFunction(L, "CreateBGPic", 1, 4, CSF_NIL, CSF_INT, w, CSF_INT, h, CSF_UINT,
                                  (uint32_t)(s->color1 == -1 ? 0 : s->color1));
    if (code) return code;
    void *bgpic = TakeHandle(L);
    Backfill.bgpic = {0, bgpic};
    Backfill.bgpicMade = 1;
    if (s->kind == BACKFILL_PICTURE) DrawBrushOnBGPic(L, brush, bgpic, s->x, s->y);

    lua_pushstring(L, "createdisplay");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushnil(L);
    lua_newtable(L);
    SetFieldInt(L, "y", menu);
    SetFieldInt(L, "borderless", 1);
    SetFieldInt(L, "fixed", 1);
    lua_pushstring(L, "bgpic");
    lua_pushlightuserdata(L, bgpic);
    lua_settable(L, -3);
    SetFieldInt(L, "hidepointer", 1);
    SetFieldInt(L, "private1", 1);
    if ((code = lua_call(L, 2, 1))) return code;
    Backfill.display = {0, TakeHandle(L)};
    Backfill.displayMade = 1;
    return 0;
}

// Calls the freeing command of a backfill object when it was made.
static void FreeBackfillObject(lua_State *L, int *made, const ObjectId *id, const char *command)
{
    if (!*made) return;
    *made = 0;
    CallScriptFunction(L, command, 0, 1, CSF_OBJECTID, id);
}

// Closes every open window (remembering it) for a mode switch.
static void CloseForModeSwitch(void)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next) {
        d->reopenPending = d->state != DISPSTATE_CLOSED;
        if (d->reopenPending) {
            int activate = d->activate;
            CloseDisplayWindow(d);
            d->activate = activate;
        }
    }
}

// Opens the windows closed for the switch again; with a mode given, the frames follow it.
static int ReopenAfterSwitch(lua_State *L, int fullScreen, int adjustFrames)
{
    int result = 0;
    for (DisplayRecord *d = DisplayList; d; d = d->next) {
        if (!d->reopenPending && !d->backdrop) continue;
        d->reopenPending = 0;
        if (adjustFrames && !d->backdrop) {
            d->x = d->y = POS_CENTER;
            if (fullScreen) d->flags = (d->flags | DISPF_BORDERLESS | DISPF_FIXED) & ~DISPF_SIZEABLE;
            else d->flags &= ~(DISPF_BORDERLESS | DISPF_FIXED);
        }
        if (d->state != DISPSTATE_CLOSED) continue;
        int code = OpenWindowForDisplay(L, d, d->activate);
        if (code && !result) result = code;
    }
    return result;
}

static int SwitchScreenMode(lua_State *L, int fullScreen, int32_t width, int32_t height)
{
    int32_t sw = 0, sh = 0;
    OsGetAttr(nullptr, 14, &sw, nullptr);
    OsGetAttr(nullptr, 15, &sh, nullptr);
    if ((fullScreen && ScreenModeSwitched && width == sw && height == sh) || (!fullScreen && !ScreenModeSwitched))
        return 0;
    int token = 0;
    OsFadeOut(&token, 1);
    CloseForModeSwitch();
    if (fullScreen) {
        AppletRecord *applet = L ? GetAppletRecord(L) : nullptr;
        int32_t depth = applet && applet->depth > 0 ? applet->depth : 0;
        int code = OsSetScreenMode(width, height, depth);
        if (code) {
            // Nothing was switched: the displays come back as they were before the error.
            ReopenAfterSwitch(L, 0, 0);
            OsFadeIn(token, 1);
            return code;
        }
        ScreenModeSwitched = 1;
    } else {
        OsRestoreScreenMode();
        ScreenModeSwitched = 0;
    }
    FreeBackfillObject(L, &Backfill.displayMade, &Backfill.display, "FreeDisplay");
    FreeBackfillObject(L, &Backfill.bgpicMade, &Backfill.bgpic, "FreeBGPic");
    FreeBackfillObject(L, &Backfill.brushMade, &Backfill.brush, "FreeBrush");

    BackfillSettings s;
    AppletBackfill(L ? GetAppletRecord(L) : nullptr, &s);
    if (IgnoreAppletBackfill || s.kind == BACKFILL_NONE) {
        memset(&s, 0, sizeof s);
        if (fullScreen) {
            s.kind = BACKFILL_COLOR;
            s.hideMenuBar = 1;
        }
    }
    int code = 0;
    if (s.kind != BACKFILL_NONE) {
        OsSetUIMode(fullScreen ? 2 : 1);
        code = CreateDisplayBGPic(L, &s);
    } else {
        OsSetUIMode(0);
    }
    int reopen = ReopenAfterSwitch(L, fullScreen, 1);
    OsFadeIn(token, 1);
    return code ? code : reopen;
}

// The switch holds the script for its fades and the windows' reopening; the events queued before
// it are served afterwards, so that time does not count towards their age.
int ReopenDisplays(lua_State *L, int fullScreen, int32_t width, int32_t height)
{
    OsTimeVal start;
    OsGetSysTime(&start);
    int code = SwitchScreenMode(L, fullScreen, width, height);
    HoldEventAges(&start);
    return code;
}

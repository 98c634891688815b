// The display library: thirteen commands that create, open, close, select, move, resize and
// switch displays, and its nine constants.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

enum { ERR_WRONGUSAGE = 1055, ERR_RECORDING = 1317 };

static int DisplayArg(lua_State *L, int i, DisplayRecord **d)
{
    return FindDisplay(GetObjectIdArg(L, i), d);
}

// Ends the off-screen output selection of the current display before another becomes current.
static void LeaveCurrentDisplay(lua_State *L)
{
    DisplayRecord *c = CurrentDisplay;
    if (c && c->outputType != OBJTYPE_DISPLAY && !c->doubleBuffer) SetBGPicOutput(L, c);
}

static int CurrentOrError(DisplayRecord **d)
{
    *d = CurrentDisplay;
    return *d ? 0 : ERR_WRONGUSAGE;
}

static int CreateDisplay(lua_State *L)
{
    CheckArgs(L, 1, 2);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int t = 0;
    if (!lua_isnone(L, 2)) {
        luaL_checktable(L, 2);
        t = 2;
    }
    DisplayRecord *d;
    int code = CreateDisplayCore(L, number, isNil, t, &d);
    if (code) return code;
    if (!isNil) return 0;
    lua_pushlightuserdata(L, d);
    return 1;
}

static int FreeDisplay(lua_State *L)
{
    CheckArgs(L, 1, 1);
    if (IsRecording()) return ERR_RECORDING;
    DisplayRecord *d;
    int code = DisplayArg(L, 1, &d);
    if (code) return code;
    return RemoveDisplay(L, d->id);
}

static int OpenDisplay(lua_State *L)
{
    CheckArgs(L, 1, 2);
    if (IsRecording()) return ERR_RECORDING;
    DisplayRecord *d;
    int code = DisplayArg(L, 1, &d);
    if (code) return code;
    int keep = luaL_optinteger(L, 2, 0);
    if (d->state != DISPSTATE_CLOSED) return ERR_WRONGUSAGE;
    if ((code = OpenWindowForDisplay(L, d, (d->flags & DISPF_ACTIVE) != 0))) return code;
    if (!keep) {
        LeaveCurrentDisplay(L);
        MakeDisplayCurrent(d);
    }
    return 0;
}

static int CloseDisplay(lua_State *L)
{
    CheckArgs(L, 1, 1);
    if (IsRecording()) return ERR_RECORDING;
    DisplayRecord *d;
    int code = DisplayArg(L, 1, &d);
    if (code) return code;
    if (d->state == DISPSTATE_CLOSED) return ERR_WRONGUSAGE;
    CloseDisplayWindow(d);
    d->activate = 0;
    return 0;
}

static int SelectDisplay(lua_State *L)
{
    CheckArgs(L, 1, 2);
    if (IsRecording()) return ERR_RECORDING;
    DisplayRecord *d;
    int code = DisplayArg(L, 1, &d);
    if (code) return code;
    int noActivate = luaL_optinteger(L, 2, 0);
    if (d == CurrentDisplay) return 0;
    LeaveCurrentDisplay(L);
    MakeDisplayCurrent(d);
    if (d->state == DISPSTATE_OPEN && !noActivate) OsActivateWindow(d->window);
    return 0;
}

static int ActivateDisplay(lua_State *L)
{
    CheckArgs(L, 1, 1);
    DisplayRecord *d;
    int code = DisplayArg(L, 1, &d);
    if (code) return code;
    if (d->state != DISPSTATE_OPEN) return ERR_WRONGUSAGE;
    OsActivateWindow(d->window);
    return 0;
}

// HideDisplay (collapse 1) and ShowDisplay (collapse 0) of the current display.
static int CollapseCurrent(lua_State *L, int collapse)
{
    CheckArgs(L, 0, 0);
    if (IsRecording()) return ERR_RECORDING;
    DisplayRecord *d;
    int code = CurrentOrError(&d);
    if (code) return code;
    if (d->state != (collapse ? DISPSTATE_OPEN : DISPSTATE_MINIMIZED)) return ERR_WRONGUSAGE;
    if ((code = OsCollapseWindow(d->window, collapse))) return code;
    d->state = collapse ? DISPSTATE_MINIMIZED : DISPSTATE_OPEN;
    d->activate = collapse ? 0 : 1;
    return 0;
}

static int HideDisplay(lua_State *L) { return CollapseCurrent(L, 1); }
static int ShowDisplay(lua_State *L) { return CollapseCurrent(L, 0); }

static int MoveDisplay(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
    DisplayRecord *d;
    int code = CurrentOrError(&d);
    if (code) return code;
    d->x = x;
    d->y = y;
    // A closed display keeps the position as given: it is resolved when the window opens.
    if (d->state == DISPSTATE_CLOSED) return 0;
    int32_t bounds[4];
    GetDisplayScreenBounds(d, bounds);
    ResolveWindowPosition(d, bounds);
    OsMoveWindow(d->window, d->x, d->y);
    return 0;
}

static int SetTitle(lua_State *L)
{
    CheckArgs(L, 1, 1);
    size_t len;
    const char *title = luaL_checklstring(L, 1, &len);
    DisplayRecord *d;
    int code = CurrentOrError(&d);
    if (code) return code;
    if (len > sizeof d->title - 1) return ERR_WRONGUSAGE;
    memcpy(d->title, title, len + 1);
    if (d->state != DISPSTATE_CLOSED) OsSetWindowTitle(d->window, d->title);
    return 0;
}

static int SetDisplayAttributes(lua_State *L)
{
    CheckArgs(L, 1, 1);
    luaL_checktable(L, 1);
    DisplayRecord *d;
    int code = CurrentOrError(&d);
    if (code) return code;
    return SetDisplayAttributesCore(L, 1, d, 0);
}

static int ChangeDisplaySize(lua_State *L)
{
    CheckArgs(L, 2, 3);
    DisplayRecord *d;
    int code = CurrentOrError(&d);
    if (code || !d->bgpic) return ERR_WRONGUSAGE;
    int32_t w = GetSizeArg(L, 1, d->bgpic->width);
    int32_t h = GetSizeArg(L, 2, d->bgpic->height);
    int32_t x = POS_CENTER, y = POS_CENTER;
    int smooth = 0;
    if (lua_istable(L, 3)) {
        GetFieldInt(L, 3, "x", &x, nullptr);
        GetFieldInt(L, 3, "y", &y, nullptr);
        GetFieldInt(L, 3, "smooth", &smooth, nullptr);
    } else if (!lua_isnone(L, 3)) {
        smooth = luaL_checkinteger(L, 3);
    }
    if ((code = ApplyKeepAspectRatio(d->bgpic->width, d->bgpic->height, &w, &h))) return code;
    return OpenDisplayWindow(L, d, x, y, w, h, 1, smooth, d->state != DISPSTATE_OPEN);
}

static int ChangeDisplayMode(lua_State *L)
{
    CheckArgs(L, 1, 3);
    if (IsRecording()) return ERR_RECORDING;
    int mode = luaL_checkinteger(L, 1);
    if (mode == DISPMODE_WINDOWED) return ReopenDisplays(L, 0, 0, 0);
    if (mode != DISPMODE_FULLSCREEN) return ERR_WRONGUSAGE;
    int32_t w = luaL_checkinteger(L, 2), h = luaL_checkinteger(L, 3);
    if (w < 1 || h < 1) return ERR_WRONGUSAGE;
    return ReopenDisplays(L, 1, w, h);
}

static const luaL_reg DisplayCommands[] = {
    {"CreateDisplay", CreateDisplay},
    {"FreeDisplay", FreeDisplay},
    {"OpenDisplay", OpenDisplay},
    {"CloseDisplay", CloseDisplay},
    {"SelectDisplay", SelectDisplay},
    {"ActivateDisplay", ActivateDisplay},
    {"HideDisplay", HideDisplay},
    {"ShowDisplay", ShowDisplay},
    {"MoveDisplay", MoveDisplay},
    {"SetTitle", SetTitle},
    {"SetDisplayAttributes", SetDisplayAttributes},
    {"ChangeDisplaySize", ChangeDisplaySize},
    {"ChangeDisplayMode", ChangeDisplayMode},
    {nullptr, nullptr},
};

static const luaL_Constant DisplayConstants[] = {
    {"DISPSTATE_OPEN", nullptr, DISPSTATE_OPEN},
    {"DISPSTATE_CLOSED", nullptr, DISPSTATE_CLOSED},
    {"DISPSTATE_MINIMIZED", nullptr, DISPSTATE_MINIMIZED},
    {"DISPMODE_FULLSCREEN", nullptr, DISPMODE_FULLSCREEN},
    {"DISPMODE_WINDOWED", nullptr, DISPMODE_WINDOWED},
    {"SCALEMODE_NONE", nullptr, SCALEMODE_NONE},
    {"SCALEMODE_AUTO", nullptr, SCALEMODE_AUTO},
    {"SCALEMODE_LAYER", nullptr, SCALEMODE_LAYER},
    {"KEEPPOSITION", nullptr, KEEPPOSITION},
    {nullptr, nullptr, 0},
};

void RegisterDisplayUpcalls(void);

int OpenDisplayLib(lua_State *L)
{
    if (!DisplayListMutex && !(DisplayListMutex = OsCreateMutex())) return 1298;
    luaL_openlib(L, nullptr, DisplayCommands, 0);
    int code = RegisterCommandTable(DisplayCommands, "display");
    if (code) return code;
    luaL_registerconstants(L, DisplayConstants);
    RegisterDisplayUpcalls();
    return 0;
}

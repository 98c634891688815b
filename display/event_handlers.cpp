// InstallEventHandler: the display's 21 handler slots (of the current display) and the 4 global
// slots, and the close-handled flag the platform's quit check reads.
#include "display/display.h"
#include "display/event.h"
#include "platform/os.h"
#include "runtime/errors.h"

EventHandlerSlot GlobalHandlers[GLOBAL_HANDLER_SLOTS] = {{-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}};
static const char *const GlobalHandlerNames[GLOBAL_HANDLER_SLOTS] = {"onsampleloop", "onsampleend",
                                                                     "onmusicend", "onarexx"};
// Runtime tags that tell the sound library which notifications are wanted.
enum { RTAG_WANTSAMPLELOOP = 13, RTAG_WANTSAMPLEEND = 14, RTAG_WANTMUSICEND = 19 };

static void ReleaseRef(lua_State *L, int32_t *ref)
{
    if (*ref != -1 && L) luaL_unref(L, LUA_REGISTRYINDEX, *ref);
    *ref = -1;
}

int DisplayCloseHandled(const DisplayRecord *display)
{
    return display->handlers[SLOT_CLOSEWINDOW].function != -1 || display->closeSwitch;
}

// Reads field `key` of the table at 1 into the slot. 0 or 1185.
static int ReadSlot(lua_State *L, const char *key, EventHandlerSlot *slot, int hasUserdata)
{
    lua_pushstring(L, key);
    lua_gettable(L, 1);
    int type = lua_type(L, -1);
    if (type == LUA_TNIL) {
        lua_pop(L, 1);
        return 0;
    }
    if (type != LUA_TNUMBER && type != LUA_TFUNCTION) {
        lua_pop(L, 1);
        SetErrorNumber(1);
        return 1185;
    }
    ReleaseRef(L, &slot->function);
    if (type == LUA_TFUNCTION) slot->function = luaL_ref(L, LUA_REGISTRYINDEX);
    else lua_pop(L, 1);
    if (hasUserdata) {
        ReleaseRef(L, &slot->userdata);
        lua_pushvalue(L, 2);
        slot->userdata = luaL_ref(L, LUA_REGISTRYINDEX);
    } else if (type == LUA_TNUMBER) {
        ReleaseRef(L, &slot->userdata);
    }
    return 0;
}

int InstallEventHandler(lua_State *L)
{
    CheckArgs(L, 1, 2);
    if (lua_type(L, 1) != LUA_TTABLE) {
        SetErrorNumber(1);
        return 1140;
    }
    int hasUserdata = lua_gettop(L) >= 2;
    DisplayRecord *d = CurrentDisplay;
    int32_t dropBefore = d ? d->handlers[SLOT_ONDROPFILE].function : -1;
    int32_t clipBefore = d ? d->handlers[SLOT_CLIPBOARDCHANGE].function : -1;
    int err = 0;
    for (int i = 0; d && !err && i < DISPLAY_HANDLER_SLOTS; i++)
        err = ReadSlot(L, DisplayHandlerNames[i], &d->handlers[i], hasUserdata);
    for (int i = 0; !err && i < GLOBAL_HANDLER_SLOTS; i++)
        err = ReadSlot(L, GlobalHandlerNames[i], &GlobalHandlers[i], hasUserdata);
    if (err) return err;
    if (d && d->state == DISPSTATE_OPEN && d->window) {
        int32_t drop = d->handlers[SLOT_ONDROPFILE].function;
        int32_t clip = d->handlers[SLOT_CLIPBOARDCHANGE].function;
        if (drop != dropBefore && (err = OsUpdateDropTarget(d->window, drop != -1)) != 0) return err;
        if (clip != clipBefore && (err = OsWatchClipboard(d->window, clip != -1)) != 0) return err;
    }
    SetRuntimeTags(L, RTAG_WANTSAMPLELOOP, GlobalHandlers[SLOT_ONSAMPLELOOP].function != -1,
                   RTAG_WANTSAMPLEEND, GlobalHandlers[SLOT_ONSAMPLEEND].function != -1, RTAG_WANTMUSICEND,
                   GlobalHandlers[SLOT_ONMUSICEND].function != -1, 0);
    return 0;
}

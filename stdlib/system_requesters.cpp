// The requester commands: SystemRequest, FileRequest, PathRequest and StringRequest. The
// dialogs belong to the platform; these commands check the arguments, mark the current
// display's requester as open around them and turn their results into script values.
#include <cstring>

#include "display/display.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "stdlib/system.h"

RequesterStateFunc RequesterStateHook = nullptr;

void SetRequesterLabels(void)
{
    OsSetRequesterLabels(GetErrorString(MSG_OK), GetErrorString(MSG_CANCEL), GetErrorString(MSG_YES),
                         GetErrorString(MSG_NO));
}

static void RequesterOpen(lua_State *L)
{
    if (RequesterStateHook) RequesterStateHook(L, 1);
}

// With resetInput set, no button or key state from before the dialog survives it.
static void RequesterClosed(lua_State *L, int resetInput)
{
    if (RequesterStateHook) RequesterStateHook(L, 0);
    if (resetInput && CurrentDisplay) ResetDisplayInput(CurrentDisplay);
}

// SystemRequest(title, text, buttons[, icon]): the icon is read but the platform shows a
// plain requester.
int SysSystemRequest(lua_State *L)
{
    CheckArgs(L, 3, 4);
    const char *title = luaL_checkstring(L, 1);
    const char *text = luaL_checkstring(L, 2);
    const char *buttons = luaL_checkstring(L, 3);
    luaL_optinteger(L, 4, 0);
    RequesterOpen(L);
    int chosen = OsSystemRequest(title, text, buttons);
    RequesterClosed(L, 1);
    if (chosen < 0) return 1000;
    lua_pushnumber(L, chosen);
    return 1;
}

// Pushes directory and name joined by '/', unless the directory is empty or already ends in
// '/' or '\'. The text grows as needed: no path is ever cut.
static void PushJoinedPath(lua_State *L, const char *directory, const char *name)
{
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    size_t n = strlen(directory);
    luaL_addlstring(&b, directory, n);
    if (n && directory[n - 1] != '/' && directory[n - 1] != '\\') luaL_addchar(&b, '/');
    luaL_addstring(&b, name);
    luaL_pushresult(&b);
}

// FileRequest(title, filter[, mode, path, file]): one joined path, or in #REQ_MULTISELECT mode a
// table of them under the keys 0 .. n - 1 with "" under n. Cancelled: "", or {[0] = ""}.
int SysFileRequest(lua_State *L)
{
    CheckArgs(L, 2, 5);
    const char *title = luaL_checkstring(L, 1);
    const char *filter = luaL_checkstring(L, 2);
    int mode = luaL_optinteger(L, 3, SYS_REQ_NORMAL);
    const char *path = luaL_optstring(L, 4, nullptr);
    const char *file = luaL_optstring(L, 5, nullptr);
    if ((unsigned)mode >= 3) return SYS_ERR_WRONGUSAGE;

    OsFileRequestResult result;
    RequesterOpen(L);
    int code = OsFileRequest(title, filter, mode, path, file, &result);
    RequesterClosed(L, 1);
    if (code) return code;

    int count = result.chosen ? result.count : 0;
    if (mode == SYS_REQ_MULTISELECT) lua_newtable(L);
    const char *name = result.names;
    for (int i = 0; i < count; i++) {
        PushJoinedPath(L, result.directory, name);
        if (mode != SYS_REQ_MULTISELECT) break;
        lua_rawseti(L, -2, i);
        name += strlen(name) + 1;
    }
    if (mode == SYS_REQ_MULTISELECT) {
        lua_pushliteral(L, "");
        lua_rawseti(L, -2, count);
    } else if (count == 0) {
        lua_pushliteral(L, "");
    }
    OsFreeFileRequest(&result);
    return 1;
}

// PathRequest(title[, mode, path]): the chosen folder, or "" when cancelled.
int SysPathRequest(lua_State *L)
{
    CheckArgs(L, 1, 3);
    const char *title = luaL_checkstring(L, 1);
    int mode = luaL_optinteger(L, 2, SYS_REQ_NORMAL);
    const char *path = luaL_optstring(L, 3, nullptr);
    if (mode != SYS_REQ_NORMAL && mode != SYS_REQ_SAVEMODE) return SYS_ERR_WRONGUSAGE;

    OsFileRequestResult result;
    RequesterOpen(L);
    int code = OsPathRequest(title, mode == SYS_REQ_SAVEMODE, path, &result);
    RequesterClosed(L, 1);
    if (code) return code;
    lua_pushstring(L, result.chosen ? result.directory : "");
    OsFreeFileRequest(&result);
    return 1;
}

// StringRequest(title, text[, default, type, maxlen, password]): the text and 1, or the text
// and 0 when cancelled.
int SysStringRequest(lua_State *L)
{
    CheckArgs(L, 2, 6);
    const char *title = luaL_checkstring(L, 1);
    const char *text = luaL_checkstring(L, 2);
    const char *defaultText = luaL_optstring(L, 3, "");
    int type = luaL_optinteger(L, 4, SYS_INPUT_ALL);
    int maxLength = luaL_optinteger(L, 5, 0);
    int password = luaL_optinteger(L, 6, 0);
    if (type != SYS_INPUT_ALL && type != SYS_INPUT_NUMERICAL) return SYS_ERR_WRONGUSAGE;

    char buffer[OS_STRINGREQ_SIZE] = {0};
    RequesterOpen(L);
    int code = OsStringRequest(title, text, defaultText, buffer, maxLength, password,
                               type == SYS_INPUT_NUMERICAL);
    RequesterClosed(L, 0);
    if (code && code != 1003) return code;
    lua_pushstring(L, buffer);
    lua_pushnumber(L, code ? 0 : 1);
    return 2;
}

// Message-catalog commands (the platform keeps no catalog: the default texts are used), End and
// the debug output of the system library.
#include <cstring>

#include "platform/os.h"
#include "runtime/handler_support.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"
#include "stdlib/system.h"

int SysOpenCatalog(lua_State *L)
{
    CheckArgs(L, 1, 2);
    luaL_checkstring(L, 1);
    OsOpenCatalog();
    return 0;
}

int SysCloseCatalog(lua_State *L)
{
    CheckArgs(L, 0, 0);
    OsCloseCatalog();
    return 0;
}

int SysGetCatalogString(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int id = GetIntArg(L, 1);
    const char *text = luaL_checkstring(L, 2);
    lua_pushstring(L, OsGetCatalogString(nullptr, id, text));
    return 1;
}

int SysEnd(lua_State *L)
{
    CheckArgs(L, 0, 0);
    StopFlag = 1;
    return 0;
}

// Prints len bytes as they are: the text is no format, and NUL bytes are written too.
static void PrintBytes(const char *s, size_t len)
{
    size_t i = 0;
    while (i < len) {
        size_t piece = strlen(s + i);
        if (piece > len - i) piece = len - i;
        if (piece) OsPrintF("%.*s", (int)piece, s + i);
        i += piece;
        if (i < len) {
            OsPrintF("%c", 0);
            i++;
        }
    }
}

// DebugPrint, DebugStr and DebugVal: each argument through the global "tostring" (looked up at
// every call), separated by one space, ended by a line feed.
int SysDebugPrint(lua_State *L)
{
    CheckArgs(L, 1, 0);
    int n = lua_gettop(L);
    for (int i = 1; i <= n; i++) {
        lua_pushstring(L, "tostring");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushvalue(L, i);
        if (int err = lua_call(L, 1, 1)) return err;
        size_t len = 0;
        const char *text = lua_type(L, -1) == LUA_TNIL ? nullptr : lua_tostring(L, -1);
        if (text) len = lua_strlen(L, -1);
        if (i > 1) OsPrintF(" ");
        if (text) PrintBytes(text, len);
        lua_pop(L, 1);
    }
    OsPrintF("\n");
    return 0;
}

int SysDebugOutput(lua_State *L)
{
    CheckArgs(L, 1, 1);
    CallTraceFlag = GetIntArg(L, 1);
    return 0;
}

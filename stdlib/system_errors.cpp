// System-library commands on the garbage collector, errors and named constants.
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/interpwords.h"
#include "runtime/vm/state.h"
#include "stdlib/system.h"

enum { ERR_USERERROR = 1239 };

int SysGCInfo(lua_State *L)
{
    CheckArgs(L, 0, 0);
    lua_pushnumber(L, (lua_Number)(G(L)->nblocks >> 10));
    lua_pushnumber(L, (lua_Number)(G(L)->GCthreshold >> 10));
    return 2;
}

// Sets the collection threshold to limit kilobytes (a limit above 0x3FFFFF, or a negative one,
// gives the largest threshold, 4294967295 bytes) and collects at once when the memory in use
// is at or above it, so 0 collects now.
int SysCollectGarbage(lua_State *L)
{
    CheckArgs(L, 0, 1);
    uint32_t limit = (uint32_t)GetOptIntArg(L, 1, 0);
    lu_mem threshold = limit > 0x3FFFFF ? (lu_mem)0xFFFFFFFFu : (lu_mem)limit * 1024;
    G(L)->GCthreshold = threshold;
    if (G(L)->nblocks >= threshold) luaC_collectgarbage(L);
    return 0;
}

int SysError(lua_State *L)
{
    CheckArgs(L, 1, 1);
    SetErrorString(luaL_checkstring(L, 1));
    return ERR_USERERROR;
}

int SysExitOnError(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int flag = GetIntArg(L, 1);
    SetRuntimeTags(L, RTAG_EXITONERROR, flag, 0);
    return 0;
}

int SysGetLastError(lua_State *L)
{
    CheckArgs(L, 0, 0);
    lua_pushnumber(L, LastErrorCode);
    return 1;
}

int SysGetErrorName(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int code = GetIntArg(L, 1);
    char text[ERR_TEXT_SIZE];
    FormatErrorMessage(code, text, sizeof text);
    lua_pushstring(L, text);
    return 1;
}

int SysGetConstant(lua_State *L)
{
    CheckArgs(L, 1, 1);
    const char *text = luaL_checkstring(L, 1);
    int used = 0, kind = 0;
    double value = 0;
    const char *str = nullptr;
    if (int err = ParseConstantName(L, text, &used, &kind, &value, &str)) return err;
    if (kind == CONSTANT_STRING) lua_pushstring(L, str);
    else lua_pushnumber(L, value);
    return 1;
}

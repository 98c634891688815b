// OpenURL and what the program knows of itself: its version, its command line, its kind and
// paths, and the memory of the machine.
#include "platform/os.h"
#include "runtime/handler_support.h"
#include "runtime/player.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "stdlib/system.h"

enum { PRGTYPE_SCRIPT = 0, PRGTYPE_APPLET = 1, PRGTYPE_PROGRAM = 2 };
enum { SYS_CHIPMEMORY = 0, SYS_FASTMEMORY = 1 };

int SysOpenURL(lua_State *L)
{
    CheckArgs(L, 1, 1);
    OsOpenURL(luaL_checkstring(L, 1));
    return 0;
}

// GetVersion([ignored]): a new table of the version values. "platform" stays "MacOS": scripts
// compare it.
int SysGetVersion(lua_State *L)
{
    CheckArgs(L, 0, 1);
    lua_newtable(L);
    SetFieldString(L, "application", "KestroviaPlayer");
    SetFieldString(L, "version", "4.7");
    SetFieldString(L, "version_date", "21.04.10");
    SetFieldString(L, "kernel", "4.7");
    SetFieldString(L, "kernel_date", "21.04.10");
    SetFieldInt(L, "beta", 0);
    SetFieldString(L, "platform", "MacOS");
    return 1;
}

static ClArgsRecord *StartupRecord(lua_State *L)
{
    return (ClArgsRecord *)luaL_getregpointer(L, "clargs");
}

// GetCommandLine(): a table of {arg = name, param = value or ""} under 0, 1, ... for the names
// of the command line and the configuration file that are no options, their number, and 1 (the
// program is never started by a Finder here).
int SysGetCommandLine(lua_State *L)
{
    CheckArgs(L, 0, 0);
    ClArgsRecord *clargs = StartupRecord(L);
    lua_newtable(L);
    int count = 0;
    for (UserArgNode *a = clargs ? clargs->userArgs : nullptr; a; a = a->next) {
        lua_newtable(L);
        SetFieldString(L, "arg", a->name);
        SetFieldString(L, "param", a->value ? a->value : "");
        lua_rawseti(L, -2, count++);
    }
    lua_pushnumber(L, count);
    lua_pushnumber(L, 1);
    return 3;
}

// GetProgramInfo(): #PRGTYPE_PROGRAM and the executable when the applet is appended to it;
// else #PRGTYPE_APPLET or #PRGTYPE_SCRIPT, the script and the executable.
int SysGetProgramInfo(lua_State *L)
{
    CheckArgs(L, 0, 0);
    ClArgsRecord *clargs = StartupRecord(L);
    const char *exe = clargs ? clargs->exePath : "";
    if (AppendedAppletOffset) {
        lua_pushnumber(L, PRGTYPE_PROGRAM);
        lua_pushstring(L, exe);
        return 2;
    }
    lua_pushnumber(L, clargs && clargs->isApplet ? PRGTYPE_APPLET : PRGTYPE_SCRIPT);
    lua_pushstring(L, clargs ? clargs->scriptPath : "");
    lua_pushstring(L, exe);
    return 3;
}

// GetMemoryInfo(kind): the physical memory in bytes for #CHIPMEMORY and #FASTMEMORY alike,
// saturated at 4294967295.
int SysGetMemoryInfo(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int kind = GetIntArg(L, 1);
    if (kind != SYS_CHIPMEMORY && kind != SYS_FASTMEMORY) return SYS_ERR_WRONGUSAGE;
    lua_pushnumber(L, (lua_Number)OsGetPhysicalMemory());
    return 1;
}

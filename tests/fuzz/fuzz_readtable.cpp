// Fuzz target of the stored-table and stored-function readers: any bytes, opened as a file
// through a registered memory section, go through ReadTable and then, from the start again,
// ReadFunction. Both must end with a result or an error code; nothing is run.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/filelayer.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

struct Input {
    const char *name;
};

int OpenDos(lua_State *L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenDosLib(L);
    lua_settop(L, 0);
    return 0;
}

// Calls a dos command with the file number 1 (and the name for OpenFile); the handler's code is
// the result, a raised code ends the protected call.
int Run(lua_State *L)
{
    Input *in = static_cast<Input *>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_pushstring(L, "openfile");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushnumber(L, 1);
    lua_pushstring(L, in->name);
    if (lua_call(L, 2, 0) != 0) return 0;
    const char *readers[] = {"readtable", "readfunction"};
    for (const char *reader : readers) {
        lua_settop(L, 0);
        lua_pushstring(L, "seek");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushnumber(L, 1);
        lua_pushnumber(L, 0);
        lua_call(L, 2, 0);
        lua_settop(L, 0);
        lua_pushstring(L, reader);
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushnumber(L, 1);
        lua_call(L, 1, 1);
    }
    lua_settop(L, 0);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > (1u << 20)) return 0;
    RuntimeSettings.exitOnError = 0;   // handler codes are returned, not raised
    RuntimeSettings.quiet = 1;
    if (RegisterMemorySection(data, size) != 0) return 0;
    char name[KV_PATH_SIZE];
    if (MakeChunkName("input.bin", name, sizeof(name), -1, (uint32_t)size, 0, nullptr, data)) {
        lua_State *L = lua_open();
        if (L) {
            if (lua_cpcall(L, OpenDos, nullptr) == 0) {
                Input in = {name};
                lua_cpcall(L, Run, &in);
            }
            CloseDosLib(L);
            lua_close(L);
        }
        FreeCommandTables();
    }
    UnregisterMemorySection(data);
    return 0;
}

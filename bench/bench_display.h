// Start-up shared by the benchmarks that drive a display under the dummy video driver: the
// runtime and an interpreter with the display library, and a display opened with its window.
#pragma once
#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

// The runtime and a new interpreter with the display library in its globals and an empty
// stack; quiet: warnings are not printed.
inline lua_State *StartBenchInterpreter(int quiet)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    InitRuntime();
    lua_State *L = lua_open();
    if (quiet) SetRuntimeTags(L, RTAG_QUIET, 1, 0);
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenDisplayLib(L);
    lua_settop(L, 0);
    return L;
}

// Creates display `id` from the option table on top of the stack and opens its window; the
// stack is emptied. A failure ends the program with a message.
inline DisplayRecord *OpenBenchDisplay(lua_State *L, uint32_t id)
{
    DisplayRecord *d = nullptr;
    if (CreateDisplayCore(L, id, 0, lua_gettop(L), &d) || OpenWindowForDisplay(L, d, 0)) {
        fprintf(stderr, "cannot open display %u\n", (unsigned)id);
        exit(1);
    }
    lua_settop(L, 0);
    return d;
}

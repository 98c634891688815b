// Shared start-up of the tests that drive displays headless: the runtime and an interpreter
// with a zeroed applet (display defaults) registered, the display library opened into the
// globals, and a display of a given size and colour opened with its window.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "display/display.h"
#include "runtime/applet.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

// Starts the runtime and a new interpreter in *L with *applet zeroed, given the display
// defaults and registered as the interpreter's applet. Wrap in ASSERT_NO_FATAL_FAILURE.
inline void StartAppletInterpreter(lua_State **L, AppletRecord *applet)
{
    ASSERT_EQ(InitRuntime(), 0);
    *L = lua_open();
    memset(applet, 0, sizeof *applet);
    SetAppletDisplayDefaults(applet);
    luaL_setregpointer(*L, "applet", applet);
}

// StartAppletInterpreter with the display library opened into the globals; the stack is left
// empty. Wrap in ASSERT_NO_FATAL_FAILURE.
inline void StartDisplayInterpreter(lua_State **L, AppletRecord *applet)
{
    ASSERT_NO_FATAL_FAILURE(StartAppletInterpreter(L, applet));
    lua_pushvalue(*L, LUA_GLOBALSINDEX);
    ASSERT_EQ(OpenDisplayLib(*L), 0);
    lua_settop(*L, 0);
}

// Creates display `id` of width x height filled with `colour` and opens its window; the
// failures are recorded, and the display (or null) is returned. It is not made current.
inline DisplayRecord *OpenTestDisplay(lua_State *L, uint32_t id, int width, int height, uint32_t colour)
{
    lua_newtable(L);
    SetFieldInt(L, "width", width);
    SetFieldInt(L, "height", height);
    SetFieldInt(L, "color", (int)colour);
    DisplayRecord *d = nullptr;
    EXPECT_EQ(CreateDisplayCore(L, id, 0, lua_gettop(L), &d), 0);
    lua_settop(L, 0);
    if (d) {
        EXPECT_EQ(OpenWindowForDisplay(L, d, 1), 0);
    }
    return d;
}

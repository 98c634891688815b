// Math-library behaviour a golden script cannot show: which argument a binary command reports
// when both are wrong (a script sees the error code only, or one raised error).
#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

int OpenMath(lua_State *L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenMathLib(L);
    lua_settop(L, 0);
    return 0;
}

struct BadCall {
    const char *name;
    const char *first, *second;   // none: a number
};

int CallWithArgs(lua_State *L)
{
    const BadCall *c = static_cast<const BadCall *>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_pushstring(L, c->name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    if (c->first) lua_pushstring(L, c->first);
    else lua_pushnumber(L, 2);
    if (c->second) lua_pushstring(L, c->second);
    else lua_pushnumber(L, 2);
    lua_call(L, 2, 1);
    return 0;
}

TEST(MathLib, BinaryCommandsReportTheFirstBadArgument)
{
    lua_State *L = lua_open();
    ASSERT_NE(L, nullptr);
    ASSERT_EQ(0, lua_cpcall(L, OpenMath, nullptr));
    for (const char *name : {"atan2", "pow", "mod", "add", "sub", "mul", "div", "rt"}) {
        BadCall both = {name, "x", "y"};
        EXPECT_EQ(1138, lua_cpcall(L, CallWithArgs, &both)) << name;
        EXPECT_EQ(1, GetErrorArgNumber()) << name;
        BadCall second = {name, nullptr, "y"};
        EXPECT_EQ(1138, lua_cpcall(L, CallWithArgs, &second)) << name;
        EXPECT_EQ(2, GetErrorArgNumber()) << name;
    }
    lua_close(L);
    FreeCommandTables();
}

}  // namespace

// The stack-based API: index rules, conversions, tables, metatables, upvalues, concat.
#include "tests/vm/vm_fixture.h"

TEST_F(VmTest, IndexRulesAndNoValue)
{
  lua_pushnumber(L, 1);
  lua_pushnil(L);
  lua_pushstring(L, "x");
  EXPECT_EQ(lua_gettop(L), 3);
  EXPECT_EQ(lua_type(L, 5), LUA_TNONE);
  EXPECT_STREQ(lua_typename(L, lua_type(L, 5)), "no value");
  EXPECT_EQ(lua_type(L, -1), LUA_TSTRING);
  EXPECT_EQ(lua_type(L, -4), LUA_TNONE);  // below the frame
  EXPECT_EQ(lua_isnumber(L, 2), 1);        // nil converts to 0
  EXPECT_EQ(lua_tonumber(L, 2), 0);
  EXPECT_EQ(lua_tostring(L, 5), nullptr);
  EXPECT_EQ(lua_touserdata(L, 5), nullptr);
  EXPECT_EQ(lua_type(L, lua_upvalueindex(1)), LUA_TNONE);  // not inside a native closure
  EXPECT_EQ(lua_type(L, LUA_REGISTRYINDEX), LUA_TTABLE);
  EXPECT_EQ(lua_type(L, LUA_GLOBALSINDEX), LUA_TTABLE);
  lua_settop(L, 5);
  EXPECT_TRUE(lua_isnil(L, 5));
  lua_settop(L, -3);
  EXPECT_EQ(lua_gettop(L), 3);
  lua_pushvalue(L, 1);
  lua_insert(L, 1);
  lua_remove(L, 2);
  EXPECT_EQ(lua_gettop(L), 3);
  lua_pushstring(L, "r");
  lua_replace(L, 1);
  EXPECT_STREQ(lua_tostring(L, 1), "r");
}

TEST_F(VmTest, ConversionsInPlace)
{
  lua_pushnumber(L, 2.5);
  lua_pushnil(L);
  lua_pushboolean(L, 0);
  EXPECT_STREQ(lua_tostring(L, 1), "2.5");
  EXPECT_EQ(lua_type(L, 1), LUA_TSTRING);  // every later reader sees the string
  EXPECT_STREQ(lua_tostring(L, 2), "");
  EXPECT_EQ(lua_tostring(L, 3), nullptr);
  EXPECT_EQ(lua_toboolean(L, 3), 0);
  lua_pushnumber(L, 0);
  EXPECT_EQ(lua_toboolean(L, -1), 1);  // only nil and false are false here
  lua_pushstring(L, nullptr);
  EXPECT_TRUE(lua_isnil(L, -1));
  lua_pushnumber(L, 100);
  EXPECT_EQ(lua_strlen(L, -1), 3u);
  lua_pushstring(L, "0x10");
  EXPECT_EQ(lua_tonumber(L, -1), 16);
  lua_pushstring(L, "12a");
  EXPECT_EQ(lua_isnumber(L, -1), 0);
  EXPECT_EQ(lua_tonumber(L, -1), 0);
  lua_pushfstring(L, "%s=%d %f%c%%", "k", 42, 2.5, 'x');
  EXPECT_STREQ(lua_tostring(L, -1), "k=42 2.5x%");
}

TEST_F(VmTest, LessThanCaseFlag)
{
  lua_pushstring(L, "a");
  lua_pushstring(L, "B");
  EXPECT_EQ(lua_lessthan(L, 1, 2, 0), 1);
  EXPECT_EQ(lua_lessthan(L, 1, 2, 1), 0);
  lua_pushnil(L);
  lua_pushnumber(L, 0);
  EXPECT_EQ(lua_equal(L, 3, 4), 1);
  EXPECT_EQ(lua_rawequal(L, 3, 4), 0);
}

TEST_F(VmTest, TablesAndMetatables)
{
  lua_newtable(L);
  lua_pushstring(L, "k");
  lua_pushnumber(L, 1);
  lua_settable(L, 1);
  lua_pushnumber(L, 5);
  lua_rawseti(L, 1, 0);
  lua_pushstring(L, "k");
  lua_gettable(L, 1);
  EXPECT_EQ(lua_tonumber(L, -1), 1);
  lua_pop(L, 1);
  lua_pushstring(L, "missing");
  lua_gettable(L, 1);  // no error through the API
  EXPECT_TRUE(lua_isnil(L, -1));
  lua_pop(L, 1);
  lua_rawgeti(L, 1, 0);
  EXPECT_EQ(lua_tonumber(L, -1), 5);
  lua_pop(L, 1);
  // traversal
  int count = 0;
  lua_pushnil(L);
  while (lua_next(L, 1)) {
    count++;
    lua_pop(L, 1);
  }
  EXPECT_EQ(count, 2);
  // a fresh table reports no metatable (it has the default one)
  EXPECT_EQ(lua_getmetatable(L, 1), 0);
  lua_newtable(L);
  lua_pushstring(L, "__index");
  lua_pushcfunction(L, [](lua_State *L) -> int {
    lua_pushstring(L, "from __index");
    return 1;
  });
  lua_rawset(L, 2);
  EXPECT_EQ(lua_setmetatable(L, 1), 1);
  lua_pushstring(L, "other");
  lua_gettable(L, 1);
  EXPECT_STREQ(lua_tostring(L, -1), "from __index");
  lua_pop(L, 1);
  EXPECT_EQ(lua_getmetatable(L, 1), 1);
  lua_pop(L, 1);
  lua_pushnil(L);
  EXPECT_EQ(lua_setmetatable(L, 1), 1);  // back to the default
  EXPECT_EQ(lua_getmetatable(L, 1), 0);
  lua_pushnumber(L, 3);
  lua_newtable(L);
  EXPECT_EQ(lua_setmetatable(L, -2), 0);  // numbers take none
}

TEST_F(VmTest, NativeUpvaluesAndConcat)
{
  lua_pushstring(L, "u1");
  lua_pushnumber(L, 2);
  lua_pushcclosure(L, [](lua_State *L) -> int {
    EXPECT_EQ(lua_type(L, lua_upvalueindex(3)), LUA_TNONE);
    int n = lua_pushupvalues(L);
    lua_concat(L, n);
    return 1;
  }, 2);
  EXPECT_STREQ(lua_getupvalue(L, -1, 1), "");
  EXPECT_STREQ(lua_tostring(L, -1), "u1");
  lua_pop(L, 1);
  EXPECT_EQ(lua_getupvalue(L, -1, 3), nullptr);
  lua_call(L, 0, 1);
  EXPECT_STREQ(lua_tostring(L, -1), "u12");
  lua_concat(L, 0);
  EXPECT_STREQ(lua_tostring(L, -1), "");
  lua_pushnil(L);
  lua_pushstring(L, "x");
  lua_pushnumber(L, 3);
  lua_concat(L, 3);
  EXPECT_STREQ(lua_tostring(L, -1), "x3");
}

TEST_F(VmTest, CpcallAndUserdata)
{
  static int seen = 0;
  int value = 42;
  EXPECT_EQ(lua_cpcall(L, [](lua_State *L) -> int {
    seen = *(int *)lua_touserdata(L, 1);
    return 0;
  }, &value), 0);
  EXPECT_EQ(seen, 42);
  EXPECT_EQ(lua_cpcall(L, [](lua_State *L) -> int { lua_error(L, 1041); }, nullptr), 1041);
  EXPECT_EQ(lua_gettop(L), 0);
  void *p = lua_newuserdata(L, 16);
  EXPECT_EQ(lua_touserdata(L, -1), p);
  EXPECT_TRUE(lua_isuserdata(L, -1));
  EXPECT_EQ(lua_topointer(L, -1), p);
}

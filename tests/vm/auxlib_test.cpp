// Argument readers, library and constant registration, registry access, references, buffers.
#include "tests/vm/vm_fixture.h"

#include <cmath>

namespace {

// Runs fn as a native handler on the given arguments in a protected call; returns the code.
template <typename F> int RunReader(lua_State *L, F fn)
{
  static F *current;
  current = &fn;
  lua_pushcfunction(L, [](lua_State *L) -> int {
    (*current)(L);
    return 0;
  });
  lua_insert(L, 1);
  int code = lua_pcall(L, lua_gettop(L) - 1, 0, 0);
  lua_settop(L, 0);
  return code;
}

enum Kind { NIL, NUM, STR, NUMSTR, HEXSTR, TABLE, FUNC, BOOL };

void PushKind(lua_State *L, Kind k)
{
  switch (k) {
    case NIL: lua_pushnil(L); break;
    case NUM: lua_pushnumber(L, 12.5); break;
    case STR: lua_pushstring(L, "abc"); break;
    case NUMSTR: lua_pushstring(L, " 12 "); break;
    case HEXSTR: lua_pushstring(L, "$ff"); break;
    case TABLE: lua_newtable(L); break;
    case FUNC: lua_pushcfunction(L, [](lua_State *) -> int { return 0; }); break;
    case BOOL: lua_pushboolean(L, 0); break;
  }
}

}  // namespace

TEST_F(VmTest, ArgumentReaderMatrix)
{
  struct Case {
    const char *reader;
    Kind kind;
    int code;  // 0: accepted
  } cases[] = {
      {"number", NUM, 0},    {"number", NUMSTR, 0},  {"number", HEXSTR, 0}, {"number", STR, 1138},
      {"number", NIL, 1138}, {"number", BOOL, 1138}, {"number", TABLE, 1138},
      {"string", STR, 0},    {"string", NUM, 0},     {"string", NIL, 1139}, {"string", TABLE, 1139},
      {"string", BOOL, 1139},
      {"table", TABLE, 0},   {"table", NIL, 1140},   {"table", STR, 1140},
      {"function", FUNC, 0}, {"function", TABLE, 1185}, {"function", NIL, 1185},
      {"optnumber", NIL, 1138}, {"optstring", NIL, 1139},
  };
  for (const Case &c : cases) {
    lua_pushnumber(L, 1);  // argument 1 is always fine; the value under test is argument 2
    PushKind(L, c.kind);
    SetErrorNumber(0);
    std::string r = c.reader;
    int code = RunReader(L, [&](lua_State *L) {
      if (r == "number") luaL_checknumber(L, 2);
      else if (r == "string") luaL_checkstring(L, 2);
      else if (r == "table") luaL_checktable(L, 2);
      else if (r == "function") luaL_checkfunction(L, 2);
      else if (r == "optnumber") luaL_optnumber(L, 2, 5);
      else if (r == "optstring") luaL_optstring(L, 2, "d");
    });
    EXPECT_EQ(code, c.code) << c.reader << " kind " << c.kind;
    if (c.code) {
      EXPECT_EQ(GetErrorArgNumber(), 2) << c.reader;
    }
  }
}

TEST_F(VmTest, ArgumentReaderValues)
{
  lua_pushstring(L, "$ff");
  lua_pushnumber(L, 3);
  lua_pushstring(L, "0");
  RunReader(L, [](lua_State *L) {
    EXPECT_EQ(luaL_checknumber(L, 1), 255);
    size_t len = 0;
    EXPECT_STREQ(luaL_checklstring(L, 2, &len), "3");
    EXPECT_EQ(len, 1u);
    EXPECT_EQ(lua_type(L, 2), LUA_TSTRING);  // converted in place
    EXPECT_EQ(luaL_checknumber(L, 3), 0);    // the string "0" is a number
    // absent arguments give the defaults
    EXPECT_EQ(luaL_optnumber(L, 4, 7.5), 7.5);
    EXPECT_EQ(luaL_optinteger(L, 4, -2), -2);
    EXPECT_STREQ(luaL_optstring(L, 4, "def"), "def");
  });
}

TEST_F(VmTest, CheckIntegerWordRule)
{
  struct {
    double in;
    uint32_t want;
  } cases[] = {{3.9, 3u},          {-3.9, 0xFFFFFFFDu}, {5e9, 4294967295u}, {-1e10, 0x80000000u},
               {NAN, 0u},          {-1, 0xFFFFFFFFu},  {4294967295.0, 4294967295u},
               {2147483648.0, 2147483648u}, {-0.5, 0u}};
  for (auto &c : cases) {
    lua_pushnumber(L, c.in);
    uint32_t got = 1234;
    int code = RunReader(L, [&](lua_State *L) { got = (uint32_t)luaL_checkinteger(L, 1); });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(got, c.want) << c.in;
  }
}

TEST_F(VmTest, NamedReadersReportTheField)
{
  lua_pushstring(L, "x");
  EXPECT_EQ(RunReader(L, [](lua_State *L) { luaL_checknamednumber(L, 1, "width"); }), 1189);
  EXPECT_STREQ(GetErrorArgString(), "width");
  lua_newtable(L);
  EXPECT_EQ(RunReader(L, [](lua_State *L) { luaL_checknamedstring(L, 1, "title"); }), 1247);
  EXPECT_STREQ(GetErrorArgString(), "title");
  lua_pushstring(L, "-1");
  int got = 0;
  EXPECT_EQ(RunReader(L, [&](lua_State *L) { got = luaL_checknamedinteger(L, 1, "x"); }), 0);
  EXPECT_EQ(got, -1);
  int code = -5;
  lua_pushnil(L);
  EXPECT_EQ(luaL_getnumberresult(L, -1, &code), 0);
  EXPECT_EQ(code, 1190);
  lua_pushnumber(L, 4);
  EXPECT_EQ(luaL_getnumberresult(L, -1, &code), 4);
  EXPECT_EQ(code, 0);
}

TEST_F(VmTest, OpenlibRegistersLowerCaseNamesWithUpvalues)
{
  static const luaL_reg lib[] = {
      {"DisplayBrush", [](lua_State *L) -> int {
         lua_pushvalue(L, lua_upvalueindex(1));
         return 1;
       }},
      {"WaitEvent", [](lua_State *) -> int { return 0; }},
      {nullptr, nullptr}};
  lua_pushvalue(L, LUA_GLOBALSINDEX);
  lua_pushstring(L, "up");
  luaL_openlib(L, nullptr, lib, 1);
  EXPECT_EQ(lua_gettop(L), 1);  // the upvalue is popped, the target table stays
  lua_settop(L, 0);
  lua_pushstring(L, "DisplayBrush");
  lua_rawget(L, LUA_GLOBALSINDEX);
  EXPECT_TRUE(lua_isnil(L, -1));
  lua_pushstring(L, "displaybrush");
  lua_rawget(L, LUA_GLOBALSINDEX);
  ASSERT_TRUE(lua_iscfunction(L, -1));
  lua_call(L, 0, 1);
  EXPECT_STREQ(lua_tostring(L, -1), "up");
  // with a library name: a global table of that name
  luaL_openlib(L, "mylib", lib, 0);
  lua_settop(L, 0);
  lua_pushstring(L, "mylib");
  lua_rawget(L, LUA_GLOBALSINDEX);
  lua_pushstring(L, "waitevent");
  lua_rawget(L, -2);
  EXPECT_TRUE(lua_iscfunction(L, -1));
}

TEST_F(VmTest, ConstantsAreCaseInsensitiveAndLastDefinitionWins)
{
  static const luaL_Constant first[] = {{"CENTER", nullptr, -1}, {"TITLE", "Kestrovia", 0}, {nullptr, nullptr, 0}};
  static const luaL_Constant second[] = {{"Center", nullptr, -2}, {nullptr, nullptr, 0}};
  const char *s = "x";
  lua_Number n = 0;
  EXPECT_EQ(luaL_getconstant(L, "center", &s, &n), 0);  // no table yet
  luaL_registerconstants(L, first);
  luaL_registerconstants(L, second);
  EXPECT_EQ(lua_gettop(L), 0);
  for (const char *name : {"Center", "CENTER", "center"}) {
    s = "x";
    ASSERT_EQ(luaL_getconstant(L, name, &s, &n), 1) << name;
    EXPECT_EQ(n, -2);
    EXPECT_EQ(s, nullptr);
  }
  n = 0;
  ASSERT_EQ(luaL_getconstant(L, "title", &s, &n), 1);
  EXPECT_STREQ(s, "Kestrovia");
  EXPECT_EQ(luaL_getconstant(L, "nosuch", &s, &n), 0);
  EXPECT_EQ(luaL_getconstant(L, "center", nullptr, nullptr), 1);
  EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(VmTest, RegistryAccess)
{
  int marker;
  luaL_setregpointer(L, "applet", &marker);
  luaL_setregstring(L, "script", ":none:");
  luaL_setregnumber(L, "beginline", 12);
  EXPECT_EQ(luaL_getregpointer(L, "applet"), &marker);
  EXPECT_STREQ(luaL_getregstring(L, "script"), ":none:");
  EXPECT_EQ(luaL_getregnumber(L, "beginline"), 12);
  EXPECT_EQ(luaL_getregpointer(L, "missing"), nullptr);
  EXPECT_EQ(luaL_getregstring(L, "missing"), nullptr);
  EXPECT_EQ(luaL_getregnumber(L, "missing"), 0);
  EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(VmTest, ReferencesStartAtThreeAndAreReused)
{
  lua_pushstring(L, "a");
  int r1 = luaL_ref(L, LUA_REGISTRYINDEX);
  lua_pushstring(L, "b");
  int r2 = luaL_ref(L, LUA_REGISTRYINDEX);
  EXPECT_EQ(r1, 3);
  EXPECT_EQ(r2, 4);
  lua_pushnil(L);
  EXPECT_EQ(luaL_ref(L, LUA_REGISTRYINDEX), LUA_REFNIL);
  luaL_unref(L, LUA_REGISTRYINDEX, r1);
  lua_pushstring(L, "c");
  EXPECT_EQ(luaL_ref(L, LUA_REGISTRYINDEX), r1);  // freed reference reused
  lua_rawgeti(L, LUA_REGISTRYINDEX, r1);
  EXPECT_STREQ(lua_tostring(L, -1), "c");
  lua_rawgeti(L, LUA_REGISTRYINDEX, r2);
  EXPECT_STREQ(lua_tostring(L, -1), "b");
  lua_pushstring(L, "d");
  EXPECT_EQ(luaL_ref(L, LUA_REGISTRYINDEX), 5);
  EXPECT_EQ(lua_gettop(L), 2);
}

TEST_F(VmTest, TableSizes)
{
  lua_newtable(L);
  for (int i = 1; i <= 3; i++) {
    lua_pushnumber(L, i);
    lua_rawseti(L, 1, i);
  }
  EXPECT_EQ(luaL_getn(L, 1), 3);
  luaL_setn(L, 1, 10);
  EXPECT_EQ(luaL_getn(L, 1), 10);  // from the size table
  lua_pushstring(L, "n");
  lua_pushnumber(L, 2);
  lua_rawset(L, 1);
  EXPECT_EQ(luaL_getn(L, 1), 2);  // a numeric "n" wins
  luaL_setn(L, 1, 7);
  lua_pushstring(L, "n");
  lua_rawget(L, 1);
  EXPECT_EQ(lua_tonumber(L, -1), 7);
}

TEST_F(VmTest, BuffersBeyondTheInlineArea)
{
  lua_pushstring(L, "below");  // the buffer must not disturb what lies under it
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  std::string want;
  for (int i = 0; i < 3000; i++) {
    char c = (char)('a' + i % 26);
    luaL_addchar(&b, c);
    want += c;
  }
  luaL_addstring(&b, "|tail");
  want += "|tail";
  std::string big(5000, 'x');
  luaL_addlstring(&b, big.data(), big.size());
  want += big;
  lua_pushstring(L, std::string(2000, 'y').c_str());
  luaL_addvalue(&b);
  want += std::string(2000, 'y');
  lua_pushstring(L, "small");
  luaL_addvalue(&b);
  want += "small";
  luaL_pushresult(&b);
  ASSERT_EQ(lua_gettop(L), 2);
  EXPECT_EQ(std::string(lua_tostring(L, -1), lua_strlen(L, -1)), want);
  EXPECT_STREQ(lua_tostring(L, 1), "below");
  // an empty buffer gives the empty string
  luaL_buffinit(L, &b);
  luaL_pushresult(&b);
  EXPECT_STREQ(lua_tostring(L, -1), "");
}

// Debug information: stack levels, function names and kinds, lines, locals, tail calls.
#define KV_VM_FIXTURE_KVASM
#include "tests/vm/vm_fixture.h"

namespace {

struct Level {
  std::string what, name, namewhat;
  int currentline, linedefined;
};
std::vector<Level> seen;

int Probe(lua_State *L)
{
  seen.clear();
  lua_Debug ar;
  for (int level = 0; lua_getstack(L, level, &ar); level++) {
    EXPECT_TRUE(lua_getinfo(L, "Snl", &ar));
    seen.push_back({ar.what, ar.name ? ar.name : "", ar.namewhat ? ar.namewhat : "", ar.currentline,
                    ar.linedefined});
  }
  return 0;
}

}  // namespace

TEST_F(VmTest, StackLevelsNamesAndLines)
{
  Register("probe", Probe);
  ASSERT_EQ(Load(".func f params=1\n"          // line 1
                 "        .local  x r0\n"
                 "        getglobal r1, \"probe\"\n"
                 "        call    r1, 0, 0\n"  // line 4
                 "        return  r0\n"
                 ".end\n"
                 "        closure r0, f\n"
                 "        setglobal r0, \"f\"\n"
                 "        getglobal r0, \"f\"\n"
                 "        loadk   r1, 5\n"
                 "        call    r0, 1, 0\n"  // line 11
                 "        return  r0\n"),
            0);
  ASSERT_EQ(lua_pcall(L, 0, 0, 0), 0);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].what, "C");
  EXPECT_EQ(seen[0].name, "probe");
  EXPECT_EQ(seen[0].namewhat, "global");
  EXPECT_EQ(seen[0].currentline, -1);
  EXPECT_EQ(seen[1].what, "Kestrovia");
  EXPECT_EQ(seen[1].name, "f");
  EXPECT_EQ(seen[1].currentline, 4);
  EXPECT_EQ(seen[1].linedefined, 1);
  EXPECT_EQ(seen[2].what, "main");
  EXPECT_EQ(seen[2].currentline, 11);
}

TEST_F(VmTest, TailCallLevelAndLocals)
{
  static std::string localName;
  Register("probe", [](lua_State *L) -> int {
    Probe(L);
    lua_Debug ar;
    if (lua_getstack(L, 1, &ar)) {
      const char *name = lua_getlocal(L, &ar, 1);
      localName = name ? name : "";
      if (name) {
        EXPECT_EQ(lua_tonumber(L, -1), 7);
        lua_pop(L, 1);
      }
    }
    return 0;
  });
  ASSERT_EQ(Load(".func g params=1\n"
                 "        .local  v r0\n"
                 "        getglobal r1, \"probe\"\n"
                 "        call    r1, 0, 0\n"
                 "        return  r0\n"
                 ".end\n"
                 ".func f params=1\n"
                 "        getglobal r1, \"g\"\n"
                 "        move    r2, r0\n"
                 "        tailcall r1, 1, *\n"
                 "        return  r1, *\n"
                 ".end\n"
                 "        closure r0, g\n"
                 "        setglobal r0, \"g\"\n"
                 "        closure r0, f\n"
                 "        loadk   r1, 7\n"
                 "        call    r0, 1, 0\n"
                 "        return  r0\n"),
            0);
  ASSERT_EQ(lua_pcall(L, 0, 0, 0), 0);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[1].what, "Kestrovia");
  // a frame reached by a tail call has no calling instruction: named by its global
  EXPECT_EQ(seen[1].name, "g");
  EXPECT_EQ(seen[1].namewhat, "global");
  EXPECT_EQ(seen[2].what, "tail");
  EXPECT_EQ(seen[3].what, "main");
  EXPECT_EQ(localName, "v");
}

TEST_F(VmTest, GetinfoOnTheTopValue)
{
  lua_Debug ar;
  lua_pushcfunction(L, Probe);
  ASSERT_TRUE(lua_getinfo(L, ">S", &ar));
  EXPECT_STREQ(ar.what, "C");
  EXPECT_STREQ(ar.source, "=[C]");
  EXPECT_EQ(lua_gettop(L), 0);  // the function is taken from the stack
  lua_pushcfunction(L, [](lua_State *L) -> int {
    lua_Debug ar2;
    lua_pushnumber(L, 1);
    lua_getinfo(L, ">S", &ar2);  // no function on the top: raises 1185
    return 0;
  });
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1185);
}

TEST_F(VmTest, MissingGlobalUsesTheGlobalsIndexHandler)
{
  lua_pushvalue(L, LUA_GLOBALSINDEX);
  lua_newtable(L);
  lua_pushstring(L, "__index");
  lua_pushcfunction(L, [](lua_State *L) -> int {
    lua_pushstring(L, "default for ");
    lua_pushvalue(L, 2);
    lua_concat(L, 2);
    return 1;
  });
  lua_rawset(L, -3);
  lua_setmetatable(L, -2);
  lua_pop(L, 1);
  ASSERT_EQ(Load("        getglobal r0, \"nothing\"\n"
                 "        return  r0, 1\n"),
            0);
  ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
  EXPECT_STREQ(lua_tostring(L, -1), "default for nothing");
}

// The loader refuses local records that name more active locals than the function has
// registers; lua_getlocal/lua_setlocal check the frame themselves too, so a prototype built
// any other way cannot make them reach past its frame.
TEST_F(VmTest, LocalsBeyondTheFrameAreRefused)
{
  static int probed;
  static std::string names[2];
  static int topBefore, topAfter;
  probed = 0;
  Register("probe", [](lua_State *L) -> int {
    lua_Debug ar;
    if (!lua_getstack(L, 1, &ar)) return 0;
    probed = 1;
    topBefore = lua_gettop(L);
    const char *in = lua_getlocal(L, &ar, 1);   // r0: inside the frame
    names[0] = in ? in : "";
    if (in) lua_pop(L, 1);
    const char *out = lua_getlocal(L, &ar, 6);  // would be r5 of a 4-register frame
    names[1] = out ? out : "";
    if (out) lua_pop(L, 1);
    lua_pushnumber(L, 99);
    EXPECT_EQ(lua_setlocal(L, &ar, 6), nullptr);  // refused, the value is popped
    lua_pushnumber(L, 99);
    EXPECT_EQ(lua_setlocal(L, &ar, 0), nullptr);
    lua_pushnumber(L, 99);
    EXPECT_EQ(lua_setlocal(L, &ar, -3), nullptr);
    EXPECT_EQ(lua_getlocal(L, &ar, -3), nullptr);
    topAfter = lua_gettop(L);
    return 0;
  });
  PushRaw({CREATE_ABx(OP_GETGLOBAL, 1, 0), CREATE_ABC(OP_CALL, 1, 1, 1), CREATE_ABC(OP_RETURN, 0, 1, 0)}, 4,
          {{1, 0, "probe"}});
  Proto *p = clvalue(L->top - 1)->l.p;
  const int nloc = 6;
  p->locvars = luaM_newvector(L, nloc, LocVar);
  for (int j = 0; j < nloc; j++) {
    char nm[2] = {(char)('a' + j), 0};
    p->locvars[j].varname = luaS_new(L, nm);
    p->locvars[j].startpc = 0;
    p->locvars[j].endpc = 3;
  }
  p->sizelocvars = nloc;
  ASSERT_EQ(lua_pcall(L, 0, 0, 0), 0);
  ASSERT_TRUE(probed);
  EXPECT_EQ(names[0], "a");
  EXPECT_EQ(names[1], "");
  EXPECT_EQ(topAfter, topBefore);
}

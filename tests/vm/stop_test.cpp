// The stop flag set by anything the interpreter calls out to: the instruction after the call-out
// never runs, whichever instruction made the call.
#define KV_VM_FIXTURE_KVASM
#include "tests/vm/vm_fixture.h"

namespace {

int stopCalls = 0;

int Stop(lua_State *L)
{
  stopCalls++;
  StopFlag = 1;
  lua_pushnumber(L, 0);
  return 1;
}

int SetMeta(lua_State *L)
{
  lua_setmetatable(L, 1);
  return 0;
}

struct StopCase {
  const char *name;
  const char *code;  // sets StopFlag through a call-out, then setglobal "after" (never reached)
};

// Each case builds t (r0) with the metatable m (r1) whose events all lead to stop.
const char *const Prologue =
    "        newtable r0\n"
    "        newtable r1\n"
    "        getglobal r2, \"stop\"\n"
    "        settable r1, \"__index\", r2\n"
    "        settable r1, \"__newindex\", r2\n"
    "        settable r1, \"__add\", r2\n"
    "        settable r1, \"__lt\", r2\n"
    "        settable r1, \"__concat\", r2\n"
    "        settable r1, \"__unm\", r2\n"
    "        settable r1, \"__call\", r2\n"
    "        cmd     r5 = setmeta(r0, r1)\n"
    "        loadk   r9, 1\n";

const StopCase Cases[] = {
    {"command", "        cmd     r3 = stop()\n"},
    {"gettable", "        gettable r3, r0, \"missing\"\n"},
    {"settable", "        settable r0, \"missing\", 1\n"},
    {"arith", "        add     r3, r0, 1\n"},
    {"unm", "        unm     r3, r0\n"},
    {"compare", "        jlt     r0, r0, skip\nskip:\n"},
    {"concat", "        move    r3, r0\n        loadk   r4, \"x\"\n        concat  r3, r3, r4\n"},
    {"call handler", "        move    r3, r0\n        call    r3, 0, 1\n"},
    {"generator",
     "        getglobal r3, \"stop\"\n        loadnil r4, r5\n        tforloop r3, 1\n        jmp     skip\n"
     "skip:\n"},
    {"tail call",
     "        .func f\n                getglobal r0, \"stop\"\n                tailcall r0, 0, *\n"
     "                return  r0, *\n        .end\n        closure r3, f\n        call    r3, 0, 1\n"},
};

}  // namespace

TEST_F(VmTest, StopFlagSetByACallOutStopsBeforeTheNextInstruction)
{
  for (const StopCase &c : Cases) {
    SCOPED_TRACE(c.name);
    Register("stop", Stop);
    Register("setmeta", SetMeta);
    stopCalls = 0;
    std::string text = std::string(Prologue) + c.code +
                       "        setglobal r9, \"after\"\n"
                       "        return  r0\n";
    ASSERT_EQ(Load(text), 0);
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), 0);
    EXPECT_EQ(stopCalls, 1);
    EXPECT_EQ(StopFlag, 1);
    lua_pushstring(L, "after");
    lua_rawget(L, LUA_GLOBALSINDEX);
    EXPECT_TRUE(lua_isnil(L, -1));
    lua_settop(L, 0);
    StopFlag = 0;
  }
}

TEST_F(VmTest, StopFlagAlreadySetStopsAScriptBeforeItsFirstInstruction)
{
  // a callback started while the flag is set runs nothing, and clearing the flag lets it run
  ASSERT_EQ(Load("        loadk   r0, 1\n"
                 "        setglobal r0, \"after\"\n"
                 "        return  r0\n"),
            0);
  lua_pushvalue(L, -1);
  StopFlag = 1;
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 0);
  lua_pushstring(L, "after");
  lua_rawget(L, LUA_GLOBALSINDEX);
  EXPECT_TRUE(lua_isnil(L, -1));
  lua_pop(L, 1);
  StopFlag = 0;
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 0);
  lua_pushstring(L, "after");
  lua_rawget(L, LUA_GLOBALSINDEX);
  EXPECT_EQ(lua_tonumber(L, -1), 1);
}

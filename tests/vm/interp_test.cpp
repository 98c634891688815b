// Interpreter paths that checked bytecode never reaches (raw code), label jumps at the edges,
// Gosub entries across frames, and the label registry.
#define KV_VM_FIXTURE_KVASM
#include "tests/vm/vm_fixture.h"

namespace {

int lastArgCount = -1;

int CountArgs(lua_State *L)
{
  lastArgCount = lua_gettop(L);
  return 0;
}

int ReturnCode(lua_State *L) { return (int)lua_tonumber(L, 1); }

int JumpRaw(lua_State *L)
{
  JumpOffset = (int)lua_tonumber(L, 1);
  return (int)lua_tonumber(L, 2);
}

}  // namespace

TEST_F(VmTest, OpenCountsNeverGoNegative)
{
  // After a call with open results that produced none (a command's error code with
  // exit-on-error off), consumers whose first register lies above the top see zero values.
  RuntimeSettings.exitOnError = 0;
  Register("raise", ReturnCode);
  Register("count", CountArgs);
  lastArgCount = -1;
  PushRaw({CREATE_ABC(OP_NEWTABLE, 5, 0, 0),
           CREATE_ABx(OP_GETGLOBAL, 3, 2),
           CREATE_ABx(OP_GETGLOBAL, 0, 0), CREATE_ABx(OP_LOADK, 1, 1), CREATE_ABC(OP_CALL, 0, 2, 0),
           CREATE_ABC(OP_CALL, 3, 0, 1),  // open argument count: top (r0) - r4 < 0
           CREATE_ABx(OP_GETGLOBAL, 0, 0), CREATE_ABx(OP_LOADK, 1, 1), CREATE_ABC(OP_CALL, 0, 2, 0),
           CREATE_ABx(OP_SETLISTO, 5, 0),  // open list: top (r0) - r6 < 0
           CREATE_ABx(OP_GETGLOBAL, 0, 0), CREATE_ABx(OP_LOADK, 1, 1), CREATE_ABC(OP_CALL, 0, 2, 0),
           CREATE_ABC(OP_RETURN, 4, 0, 0)},  // open result count: top (r0) - r4 < 0
          8, {{1, 0, "raise"}, {0, 1041, nullptr}, {1, 0, "count"}});
  lua_pushvalue(L, -1);
  ASSERT_EQ(lua_pcall(L, 0, LUA_MULTRET, 0), 0);
  EXPECT_EQ(lastArgCount, 0);
  EXPECT_EQ(lua_gettop(L), 1);  // only the copy of the function below: no results
  EXPECT_EQ(LastErrorCode, 1041);
}

TEST_F(VmTest, SetlistOnNonTableAndSelfWithNonStringKeyRaise)
{
  PushRaw({CREATE_ABx(OP_LOADK, 0, 0), CREATE_ABx(OP_LOADK, 1, 0), CREATE_ABx(OP_SETLIST, 0, 0),
           CREATE_ABC(OP_RETURN, 0, 1, 0)},
          4, {{0, 5, nullptr}});
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1132);
  PushRaw({CREATE_ABx(OP_LOADK, 1, 0), CREATE_ABx(OP_SETLISTO, 1, 0), CREATE_ABC(OP_RETURN, 0, 1, 0)}, 4,
          {{0, 5, nullptr}});
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1132);
  PushRaw({CREATE_ABC(OP_NEWTABLE, 1, 0, 0), CREATE_ABC(OP_SELF, 2, 1, RKASK(0)), CREATE_ABC(OP_RETURN, 0, 1, 0)},
          4, {{0, 5, nullptr}});
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1030);
  EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(VmTest, UnknownOpcodesDoNothing)
{
  PushRaw({CREATE_ABx(OP_LOADK, 0, 0), (Instruction)63, (Instruction)43, CREATE_ABC(OP_RETURN, 0, 2, 0)}, 2,
          {{0, 9, nullptr}});
  ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
  EXPECT_EQ(lua_tonumber(L, -1), 9);
}

TEST_F(VmTest, GosubRequestAtInstructionZeroIsRefused)
{
  // the CALL is the first instruction: -2 would return before the code
  PushRaw({CREATE_ABC(OP_CALL, 0, 3, 1), CREATE_ABC(OP_RETURN, 0, 1, 0)}, 4, {}, 3);
  lua_pushcfunction(L, JumpRaw);
  lua_pushnumber(L, 0);
  lua_pushnumber(L, -2);
  EXPECT_EQ(lua_pcall(L, 3, 0, 0), 1055);
  EXPECT_EQ(GosubCount, 0);
  // -1 from the same place is honoured; the frame's entry is dropped when it returns
  PushRaw({CREATE_ABC(OP_CALL, 0, 3, 1), CREATE_ABC(OP_RETURN, 0, 1, 0)}, 4, {}, 3);
  lua_pushcfunction(L, JumpRaw);
  lua_pushnumber(L, 0);
  lua_pushnumber(L, -1);
  EXPECT_EQ(lua_pcall(L, 3, 0, 0), 0);
  EXPECT_EQ(GosubCount, 0);
}

TEST_F(VmTest, GosubRequestFromNestedActivationIsRefused)
{
  // the main chunk calls a native that runs a script function through lua_call, which asks
  // for a label jump: the running frame is not the main chunk's, so the request is refused
  Register("jumpraw", JumpRaw);
  Register("callit", [](lua_State *L) -> int { return lua_call(L, lua_gettop(L) - 1, 0); });
  ASSERT_EQ(Load(".func inner\n"
                 "        cmd     r0 = jumpraw(0, -1)\n"
                 "        return  r0\n"
                 ".end\n"
                 "        closure r1, inner\n"
                 "        cmd     r0 = callit(r1)\n"
                 "        return  r0\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1055);
  EXPECT_EQ(GosubCount, 0);
}

TEST_F(VmTest, TailCallDropsTheReplacedFramesGosubEntries)
{
  Register("gosubcount", [](lua_State *L) -> int {
    lua_pushnumber(L, GosubCount);
    return 1;
  });
  ASSERT_EQ(Load(".func f\n"
                 "        .func g\n"
                 "                cmd     r0 = gosubcount()\n"
                 "                setglobal r0, \"seen\"\n"
                 "                retsub\n"
                 "                return  r0\n"
                 "        .end\n"
                 "        gosub   s\n"
                 "        return  r0\n"
                 "s:      closure r0, g\n"
                 "        tailcall r0, 0, *\n"
                 "        return  r0, *\n"
                 ".end\n"
                 "        closure r0, f\n"
                 "        call    r0, 0, 0\n"
                 "        return  r0\n"),
            0);
  // g runs in f's frame: f's entry is gone, so g's Return has nothing to return to
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1040);
  lua_pushstring(L, "seen");
  lua_rawget(L, LUA_GLOBALSINDEX);
  EXPECT_EQ(lua_tonumber(L, -1), 0);
  EXPECT_EQ(GosubCount, 0);
}

TEST_F(VmTest, StoppedCallGivesNilsAndUnwindsItsFrames)
{
  Register("stop", [](lua_State *) -> int {
    StopFlag = 1;
    return 0;
  });
  ASSERT_EQ(Load(".func f\n"
                 "        gosub   s\n"
                 "        return  r0\n"
                 "s:      cmd     r0 = stop()\n"
                 "        retsub\n"
                 ".end\n"
                 "        closure r0, f\n"
                 "        call    r0, 0, 0\n"
                 "        loadk   r0, 1\n"
                 "        return  r0, 1\n"),
            0);
  lua_pushnumber(L, 5);
  lua_insert(L, 1);
  CallInfo *ci = L->ci;
  EXPECT_EQ(lua_pcall(L, 0, 2, 0), 0);
  EXPECT_EQ(lua_gettop(L), 3);
  EXPECT_TRUE(lua_isnil(L, 2));
  EXPECT_TRUE(lua_isnil(L, 3));
  EXPECT_EQ(lua_tonumber(L, 1), 5);
  EXPECT_EQ(L->ci, ci);
  EXPECT_EQ(GosubCount, 0);
  EXPECT_EQ(L->openupval, nullptr);
}

TEST_F(VmTest, LabelRegistry)
{
  EXPECT_EQ(FindLabel(L, "start"), -1);  // no registry yet
  EXPECT_EQ(lua_gettop(L), 0);
  AddLabel(L, "OnButtonClick1", 42);
  EXPECT_EQ(FindLabel(L, "ONBUTTONCLICK1"), 42);
  EXPECT_EQ(FindLabel(L, "onbuttonclick1"), 42);
  EXPECT_EQ(FindLabel(L, "other"), -1);
  EXPECT_EQ(FindLabel(L, std::string(200, 'a').c_str()), -1);
  EXPECT_EQ(lua_gettop(L), 0);
  AddLabelRef(L, "Here", 7);
  AddLabelRef(L, "There", 9);
  lua_pushstring(L, "labelrefs");
  lua_rawget(L, LUA_REGISTRYINDEX);
  lua_pushstring(L, "n");
  lua_rawget(L, -2);
  EXPECT_EQ(lua_tonumber(L, -1), 2);
  lua_pop(L, 1);
  lua_rawgeti(L, -1, 1);
  lua_pushstring(L, "name");
  lua_rawget(L, -2);
  EXPECT_STREQ(lua_tostring(L, -1), "there");
}

TEST_F(VmTest, LabelJumpWithMinusTwoRunsTheCallAgain)
{
  static int calls = 0;
  calls = 0;
  Register("waiter", [](lua_State *L) -> int {
    if (calls++ > 0) return 0;
    JumpOffset = FindLabel(L, "Handler") - CurrentPcIndex;
    return LUA_GOSUB_AGAIN;
  });
  ASSERT_EQ(Load("        loadk   r5, 0\n"
                 "        getglobal r0, \"waiter\"\n"
                 "        call    r0, 0, 1\n"
                 "        return  r5, 1\n"
                 "handler: add    r5, r5, 1\n"
                 "        retsub\n"),
            0);
  ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(lua_tonumber(L, -1), 1);
}

// TFORLOOP copies the generator and its two arguments to R(A+C+3).. and takes C + 1 results
// there. Checked bytecode keeps all of that inside the frame (the checker asks for A+C+5 and
// A+2C+3 below the register count); raw code with a large C writes past the stack unless the
// loop makes room first. Disabled until the interpreter makes that room (see the review
// notes); run it in the sanitizer build with --gtest_also_run_disabled_tests.
TEST_F(VmTest, TforloopMakesStackRoomForRawCode)
{
  Register("gen", [](lua_State *) -> int { return 0; });  // generator: ends at once
  // r0 = gen; tforloop r0, C = 200 (201 results from r203 on); jmp; return
  PushRaw({CREATE_ABx(OP_GETGLOBAL, 0, 0), CREATE_ABC(OP_TFORLOOP, 0, 0, 200), CREATE_J(OP_JMP, -3, 0),
           CREATE_ABC(OP_RETURN, 0, 1, 0)},
          3, {{1, 0, "gen"}});
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 0);
  EXPECT_EQ(lua_gettop(L), 0);
}

// Calls, protected calls, coded errors, stack growth, depth limits and ReportError.
#define KV_VM_FIXTURE_KVASM
#include "tests/vm/vm_fixture.h"

namespace {

// ---- native helpers ----

int RaiseCode(lua_State *L) { lua_error(L, (int)lua_tonumber(L, 1)); }

// Calls its first argument (with the rest as arguments) through lua_call: errors raised
// below travel through it.
int CallThrough(lua_State *L)
{
  lua_call(L, lua_gettop(L) - 1, 0);
  return 0;
}

int ReturnCode(lua_State *L) { return (int)lua_tonumber(L, 1); }

int PushThree(lua_State *L)
{
  lua_pushnumber(L, 1);
  lua_pushnumber(L, 2);
  lua_pushnumber(L, 3);
  return 3;
}

int nestDepth = 0;
int NestNative(lua_State *L)
{
  nestDepth++;
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_pushcclosure(L, NestNative, 1);
  lua_replace(L, -2);
  lua_call(L, 0, 0);
  return 0;
}

}  // namespace

TEST_F(VmTest, ErrorTravelsThroughNestedCallsToInnermostPcall)
{
  lua_pushnumber(L, 7);  // something below the call that must survive
  int before = lua_gettop(L);
  CallInfo *ci = L->ci;
  lua_pushcfunction(L, CallThrough);
  lua_pushcfunction(L, CallThrough);
  lua_pushcfunction(L, RaiseCode);
  lua_pushnumber(L, 1089);
  int code = lua_pcall(L, 3, 1, 0);
  EXPECT_EQ(code, 1089);
  // the stack top and the call-record level are those at entry, minus function and arguments
  EXPECT_EQ(lua_gettop(L), before);
  EXPECT_EQ(L->ci, ci);
  EXPECT_EQ(lua_tonumber(L, -1), 7);
  EXPECT_EQ(L->nCcalls, 0);
  // the state stays usable
  lua_pushcfunction(L, PushThree);
  EXPECT_EQ(lua_pcall(L, 0, 3, 0), 0);
  EXPECT_EQ(lua_gettop(L), before + 3);
  EXPECT_EQ(lua_tonumber(L, -1), 3);
}

TEST_F(VmTest, NestedPcallCatchesFirstAndOuterGoesOn)
{
  ASSERT_EQ(Load("        getglobal r0, \"pcall\"\n"
                 "        getglobal r1, \"raisecode\"\n"
                 "        loadk   r2, 1041\n"
                 "        call    r0, 2, 1\n"
                 "        return  r0, 1\n"),
            0);
  Register("raisecode", RaiseCode);
  Register("pcall", [](lua_State *L) -> int {
    int code = lua_pcall(L, lua_gettop(L) - 1, 0, 0);
    lua_pushnumber(L, code);
    return 1;
  });
  EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
  EXPECT_EQ(lua_tonumber(L, -1), 1041);
}

TEST_F(VmTest, NativeErrorCodeIsReturnedByLuaCallAndNotRaised)
{
  lua_pushcfunction(L, ReturnCode);
  lua_pushnumber(L, 1041);
  EXPECT_EQ(lua_call(L, 1, 1), 1041);
  EXPECT_EQ(lua_gettop(L), 1);
  EXPECT_TRUE(lua_isnil(L, 1));  // no results, padded with nil
  lua_settop(L, 0);
  // a protected call of a native that returns a code without raising it succeeds
  lua_pushcfunction(L, ReturnCode);
  lua_pushnumber(L, 1041);
  EXPECT_EQ(lua_pcall(L, 1, 0, 0), 0);
}

TEST_F(VmTest, ResultsMovedAndPadded)
{
  lua_pushcfunction(L, PushThree);
  lua_call(L, 0, 5);
  ASSERT_EQ(lua_gettop(L), 5);
  EXPECT_EQ(lua_tonumber(L, 1), 1);
  EXPECT_EQ(lua_tonumber(L, 3), 3);
  EXPECT_TRUE(lua_isnil(L, 5));
  lua_settop(L, 0);
  lua_pushcfunction(L, PushThree);
  lua_call(L, 0, LUA_MULTRET);
  EXPECT_EQ(lua_gettop(L), 3);
  lua_settop(L, 0);
  // a handler claiming more results than it pushed gets only what it pushed
  lua_pushcfunction(L, [](lua_State *L) -> int {
    lua_pushnumber(L, 9);
    return 50;
  });
  lua_call(L, 0, LUA_MULTRET);
  EXPECT_EQ(lua_gettop(L), 1);
  EXPECT_EQ(lua_tonumber(L, 1), 9);
}

TEST_F(VmTest, NativeCallDepthLimitRaises1135AndStateStaysUsable)
{
  nestDepth = 0;
  lua_pushcfunction(L, NestNative);
  lua_pushcclosure(L, NestNative, 1);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1135);
  EXPECT_GE(nestDepth, 190);
  EXPECT_LE(nestDepth, 200);
  EXPECT_EQ(L->nCcalls, 0);
  EXPECT_EQ(L->ci, L->base_ci);
  lua_pushcfunction(L, PushThree);
  EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
  EXPECT_EQ(lua_tonumber(L, -1), 1);
}

TEST_F(VmTest, ScriptRecursionLimitRaises1135AndShrinksBack)
{
  ASSERT_EQ(Load(".func r params=1\n"
                 "        getglobal r1, \"r\"\n"
                 "        call    r1, 0, 0\n"
                 "        return  r0\n"
                 ".end\n"
                 "        closure r0, r\n"
                 "        setglobal r0, \"r\"\n"
                 "        call    r0, 0, 0\n"
                 "        return  r0\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1135);
  EXPECT_LE(L->size_ci, LUA_MAXCI);
  EXPECT_EQ(L->ci, L->base_ci);
  EXPECT_EQ(lua_gettop(L), 0);
  // again: the limit works a second time
  ASSERT_EQ(Load("        getglobal r0, \"r\"\n"
                 "        call    r0, 0, 0\n"
                 "        return  r0\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1135);
}

TEST_F(VmTest, StackGrowthKeepsOpenUpvaluesAndFrames)
{
  // main holds a local captured by a closure (an open upvalue), then calls a native that grows
  // the stack a lot; afterwards the closure must still see and change main's register.
  Register("grow", [](lua_State *L) -> int {
    EXPECT_TRUE(lua_checkstack(L, 1500));
    for (int i = 0; i < 1500; i++) lua_pushnumber(L, i);
    return 0;
  });
  ASSERT_EQ(Load(".local n r0\n"
                 "        loadk   n, 10\n"
                 "        .func inc\n"
                 "        .upval  n\n"
                 "                getupval r0, n\n"
                 "                add     r0, r0, 1\n"
                 "                setupval r0, n\n"
                 "                return  r0\n"
                 "        .end\n"
                 "        closure r1, inc\n"
                 "        getglobal r2, \"grow\"\n"
                 "        call    r2, 0, 0\n"
                 "        move    r2, r1\n"
                 "        call    r2, 0, 0\n"
                 "        return  n, 1\n"),
            0);
  int oldsize = L->stacksize;
  EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
  EXPECT_GT(L->stacksize, oldsize);
  EXPECT_EQ(lua_tonumber(L, -1), 11);
}

TEST_F(VmTest, CheckstackRefusesBeyondFrameLimit)
{
  EXPECT_TRUE(lua_checkstack(L, 100));
  EXPECT_FALSE(lua_checkstack(L, LUA_MAXCSTACK + 1));
}

TEST_F(VmTest, VarargChecksStackBeforePadding)
{
  // a vararg function with many fixed parameters called with none, from a native frame that
  // sits at the very end of the stack: the padding needs more slots than are free
  ASSERT_EQ(Load(".main params=200 vararg\n"
                 "        gettable r201, r200, \"n\"\n"
                 "        return  r201, 1\n"),
            0);
  for (int i = 0; i < 3; i++) {
    lua_pushvalue(L, 1);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 0);
    lua_pop(L, 1);
  }
}

TEST_F(VmTest, VarargTableIsZeroBasedWithCount)
{
  ASSERT_EQ(Load(".main params=1 vararg\n"
                 "        return  r1, 1\n"),
            0);
  lua_pushstring(L, "fixed");
  lua_pushstring(L, "a");
  lua_pushstring(L, "b");
  lua_pushstring(L, "c");
  ASSERT_EQ(lua_pcall(L, 4, 1, 0), 0);
  ASSERT_TRUE(lua_istable(L, -1));
  const char *want[] = {"a", "b", "c"};
  for (int i = 0; i < 3; i++) {
    lua_rawgeti(L, -1, i);
    EXPECT_STREQ(lua_tostring(L, -1), want[i]);
    lua_pop(L, 1);
  }
  lua_pushstring(L, "n");
  lua_rawget(L, -2);
  EXPECT_EQ(lua_tonumber(L, -1), 3);
}

TEST_F(VmTest, CallingANonFunctionNamesIt)
{
  ASSERT_EQ(Load("        getglobal r0, \"notafunction\"\n"
                 "        call    r0, 0, 0\n"
                 "        return  r0\n"),
            0);
  lua_pushstring(L, "notafunction");
  lua_pushnumber(L, 3);
  lua_settable(L, LUA_GLOBALSINDEX);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1133);
  EXPECT_STREQ(GetErrorArgString(), "notafunction()");
}

TEST_F(VmTest, ErrorLineIsTheFailingInstructionsLine)
{
  ASSERT_EQ(Load("        loadk   r0, 1\n"
                 "        loadk   r1, 0\n"
                 "        div     r0, r0, r1\n"
                 "        return  r0\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1089);
  EXPECT_EQ(ErrorLine, 3);
}

// ---- ReportError ----

TEST_F(VmTest, ReportErrorWithExitOnErrorOffStoresAndGoesOn)
{
  RuntimeSettings.exitOnError = 0;
  Register("fail", ReturnCode);
  Register("last", [](lua_State *L) -> int {
    lua_pushnumber(L, LastErrorCode);
    return 1;
  });
  GetLastErrorHandler = nullptr;
  ASSERT_EQ(Load("        getglobal r0, \"fail\"\n"
                 "        loadk   r1, 1041\n"
                 "        call    r0, 1, 2\n"
                 "        loadk   r2, \"went on\"\n"
                 "        return  r0, 3\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 3, 0), 0);
  EXPECT_EQ(LastErrorCode, 1041);
  EXPECT_TRUE(lua_isnil(L, -3));  // the failed call gives no results
  EXPECT_STREQ(lua_tostring(L, -1), "went on");
  EXPECT_EQ(StopFlag, 0);
  EXPECT_EQ(ErrorLine, -1);
  EXPECT_STREQ(GetErrorCommandName(), "----");
}

TEST_F(VmTest, ReportErrorAtTopLevelStopsAndRaises)
{
  Register("fail", ReturnCode);
  ASSERT_EQ(Load("        getglobal r0, \"fail\"\n"
                 "        loadk   r1, 1041\n"
                 "        call    r0, 1, 1\n"
                 "        loadk   r0, 1\n"
                 "        setglobal r0, \"reached\"\n"
                 "        return  r0\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1041);
  EXPECT_EQ(StopFlag, 1);
  EXPECT_EQ(LastErrorCode, 1041);
  EXPECT_EQ(ErrorLine, 3);
  lua_pushstring(L, "reached");
  lua_rawget(L, LUA_GLOBALSINDEX);
  EXPECT_TRUE(lua_isnil(L, -1));
}

// A code returned by a native function that the interpreter itself called for an instruction
// (a TFORLOOP generator, a tag method) is reported with the line of that instruction.
TEST_F(VmTest, ReportErrorFromGeneratorOrTagMethodNamesTheInstructionsLine)
{
  Register("gen", [](lua_State *) -> int { return 1041; });
  ASSERT_EQ(Load("        loadk   r0, 0\n"
                 "        getglobal r1, \"gen\"\n"
                 "        loadnil r2, r3\n"
                 "        tforloop r1, 1\n"  // line 4: one loop variable
                 "        jmp     done\n"
                 "done:   return  r0\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1041);
  EXPECT_EQ(ErrorLine, 4);

  ResetWords();
  lua_newtable(L);  // a table whose __index is a native returning a code
  lua_newtable(L);
  lua_pushstring(L, "__index");
  lua_pushcfunction(L, [](lua_State *) -> int { return 1042; });
  lua_rawset(L, -3);
  lua_setmetatable(L, -2);
  lua_pushstring(L, "t");
  lua_insert(L, -2);
  lua_settable(L, LUA_GLOBALSINDEX);
  ASSERT_EQ(Load("        getglobal r0, \"t\"\n"
                 "        loadk   r1, 1\n"
                 "        gettable r1, r0, \"missing\"\n"  // line 3
                 "        return  r0\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 1042);
  EXPECT_EQ(ErrorLine, 3);
}

TEST_F(VmTest, ReportErrorInsideCallbackFailsOnlyTheCallback)
{
  Register("fail", ReturnCode);
  // the callback runner: nesting counter raised around a protected call
  Register("runcallback", [](lua_State *L) -> int {
    SetRuntimeTags(L, RTAG_CALLBACKNEST, 1, 0);
    int code = lua_pcall(L, 0, 0, 0);
    SetRuntimeTags(L, RTAG_CALLBACKNEST, 0, 0);
    lua_pushnumber(L, code);
    return 1;
  });
  ASSERT_EQ(Load(".func cb\n"
                 "        getglobal r0, \"fail\"\n"
                 "        loadk   r1, 1041\n"
                 "        call    r0, 1, 1\n"
                 "        return  r0\n"
                 ".end\n"
                 "        getglobal r0, \"runcallback\"\n"
                 "        closure r1, cb\n"
                 "        call    r0, 1, 2\n"
                 "        loadk   r1, \"after\"\n"
                 "        return  r0, 2\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 2, 0), 0);
  EXPECT_EQ(lua_tonumber(L, -2), 1041);
  EXPECT_STREQ(lua_tostring(L, -1), "after");
  EXPECT_EQ(StopFlag, 0);
}

TEST_F(VmTest, RaiseOutsideEveryProtectedCallRunsPanicAndExits)
{
  EXPECT_EXIT(
      {
        lua_atpanic(L, [](lua_State *) -> int {
          fprintf(stderr, "panic ran");
          return 0;
        });
        lua_pushcfunction(L, RaiseCode);
        lua_pushnumber(L, 1000);
        lua_call(L, 1, 0);
      },
      ::testing::ExitedWithCode(1), "panic ran");
}

TEST_F(VmTest, CallTracerPrintsNameAndArguments)
{
  Register("traced", [](lua_State *) -> int { return 0; });
  ASSERT_EQ(Load("        getglobal r0, \"traced\"\n"
                 "        loadk   r1, 1\n"
                 "        loadk   r2, \"a\"\n"
                 "        call    r0, 2, 0\n"
                 "        return  r0\n"),
            0);
  CallTraceFlag = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(lua_pcall(L, 0, 0, 0), 0);
  fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  CallTraceFlag = 0;
  EXPECT_EQ(out, "Now calling traced() with arguments #1=(NUMBER)1 #2=(STRING)\"a\" \n");
}

TEST_F(VmTest, HookRunsWithoutNestingAndRestoresTop)
{
  static int calls = 0;
  calls = 0;
  lua_sethook(
      L,
      [](lua_State *L, lua_Debug *ar) {
        calls++;
        lua_pushnumber(L, 1);  // a hook may use the stack; it is restored after
        lua_Debug info;
        memset(&info, 0, sizeof(info));
        ASSERT_TRUE(lua_getstack(L, 0, &info));
        ASSERT_TRUE(lua_getinfo(L, "Sl", &info));
        EXPECT_STREQ(info.what, "main");
        EXPECT_EQ(info.currentline, ar->currentline);
      },
      LUA_MASKLINE, 0);
  ASSERT_EQ(Load("        loadk   r0, 1\n"
                 "        loadk   r1, 2\n"
                 "        add     r2, r0, r1\n"
                 "        return  r2, 1\n"),
            0);
  EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
  EXPECT_EQ(lua_tonumber(L, -1), 3);
  EXPECT_EQ(lua_gettop(L), 1);
  EXPECT_EQ(calls, 3);  // lines 2, 3, 4 (the first instruction initialises the positions)
  EXPECT_EQ(lua_gethookmask(L), LUA_MASKLINE);
  lua_sethook(L, nullptr, LUA_MASKLINE, 0);
  EXPECT_EQ(lua_gethookmask(L), 0);
}

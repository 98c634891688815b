// System-library behaviour that a golden script cannot pin down: waiting with and without the
// event pump, timers on a controlled clock, and copying tables nested deeper than any C stack.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <vector>

#include "platform/os.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"

namespace {

double MillisSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// ---- waiting ----

TEST(Wait, UpTo100MsSleepsWithoutPumping)
{
    StopFlag = 1;   // a pump would report the stop at once
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, OsWaitMillis(nullptr, 100));
    EXPECT_GE(MillisSince(start), 100.0);
    StopFlag = 0;
}

TEST(Wait, LongerWaitsPumpAndEndOnAStop)
{
    StopFlag = 1;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(1, OsWaitMillis(nullptr, 101));
    EXPECT_LT(MillisSince(start), 80.0);
    StopFlag = 0;
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, OsWaitMillis(nullptr, 150));
    EXPECT_GE(MillisSince(start), 150.0);
}

TEST(Wait, NothingAndNegativeReturnAtOnce)
{
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, OsWaitMillis(nullptr, 0));
    EXPECT_EQ(0, OsWaitMillis(nullptr, -50));
    OsSleepMillis(nullptr, -1);
    EXPECT_LT(MillisSince(start), 50.0);
}

// ---- a state with the system library ----

OsTimeVal FakeNow;

void FakeClock(OsTimeVal *out)
{
    *out = FakeNow;
}

void Advance(uint32_t millis)
{
    OsTimeVal step = {millis / 1000, (millis % 1000) * 1000};
    OsAddTime(&FakeNow, &step);
}

int OpenLibs(lua_State *L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenStringLib(L);
    lua_settop(L, 0);
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenSystemLib(L);
    lua_settop(L, 0);
    return 0;
}

struct CallRequest {
    const char *name;
    std::vector<double> args;
    int code;
    double result;
};

int DoCall(lua_State *L)
{
    CallRequest *r = static_cast<CallRequest *>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_pushstring(L, r->name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    for (double a : r->args) lua_pushnumber(L, a);
    r->code = lua_call(L, (int)r->args.size(), 1);
    r->result = lua_tonumber(L, -1);
    lua_settop(L, 0);
    return 0;
}

class SystemLib : public ::testing::Test {
protected:
    lua_State *L = nullptr;

    void SetUp() override
    {
        FakeNow = {1000, 0};
        OsSetClock(FakeClock);
        L = lua_open();
        ASSERT_NE(L, nullptr);
        ASSERT_EQ(0, lua_cpcall(L, OpenLibs, nullptr));
    }
    void TearDown() override
    {
        CloseSystemLib(L);
        lua_close(L);
        FreeCommandTables();
        OsSetClock(nullptr);
    }

    // Calls a command with number arguments: returns the code the handler returned (0 when it
    // worked) and its first result in *result.
    int Call(const char *name, std::initializer_list<double> args, double *result = nullptr)
    {
        CallRequest r = {name, std::vector<double>(args), -1, 0};
        EXPECT_EQ(0, lua_cpcall(L, DoCall, &r)) << name;
        if (result) *result = r.result;
        return r.code;
    }
    double Timer(double id)
    {
        double ms = -1;
        EXPECT_EQ(0, Call("gettimer", {id}, &ms));
        return ms;
    }
};

TEST_F(SystemLib, TimerCountsPausesAndResets)
{
    ASSERT_EQ(0, Call("starttimer", {1}));
    Advance(1234);
    EXPECT_EQ(1234, Timer(1));
    ASSERT_EQ(0, Call("pausetimer", {1}));
    Advance(5000);
    EXPECT_EQ(1234, Timer(1));
    ASSERT_EQ(0, Call("pausetimer", {1}));          // already paused: nothing
    ASSERT_EQ(0, Call("resumetimer", {1}));
    Advance(500);
    EXPECT_EQ(1734, Timer(1));
    ASSERT_EQ(0, Call("resumetimer", {1}));         // running: nothing
    EXPECT_EQ(1734, Timer(1));

    ASSERT_EQ(0, Call("resettimer", {1, 1500}));
    EXPECT_EQ(1500, Timer(1));
    Advance(250);
    EXPECT_EQ(1750, Timer(1));
    ASSERT_EQ(0, Call("resettimer", {1, 999.9}));   // truncated: 0 s and 999000 us
    EXPECT_EQ(999, Timer(1));
    Advance(2);
    EXPECT_EQ(1001, Timer(1));

    // A paused timer reset with a time runs again from that time.
    ASSERT_EQ(0, Call("pausetimer", {1}));
    ASSERT_EQ(0, Call("resettimer", {1, 40}));
    Advance(10);
    EXPECT_EQ(50, Timer(1));

    // StartTimer on the same number clears and restarts the one timer.
    ASSERT_EQ(0, Call("starttimer", {1}));
    EXPECT_EQ(0, Timer(1));
    ASSERT_EQ(0, Call("stoptimer", {1}));
    EXPECT_EQ(1181, Call("gettimer", {1}));
}

TEST_F(SystemLib, NegativeResetIsRefusedAndLeavesTheTimerAlone)
{
    ASSERT_EQ(0, Call("starttimer", {7}));
    Advance(300);
    EXPECT_EQ(1055, Call("resettimer", {7, -5}));
    EXPECT_EQ(1055, Call("resettimer", {7, -1e12}));
    EXPECT_EQ(300, Timer(7));
    Advance(100);
    EXPECT_EQ(400, Timer(7));
}

TEST_F(SystemLib, WaitTimerOnAPausedTimerIsRefused)
{
    ASSERT_EQ(0, Call("starttimer", {3}));
    ASSERT_EQ(0, Call("pausetimer", {3}));
    EXPECT_EQ(1055, Call("waittimer", {3, 100}));
    EXPECT_EQ(1181, Call("waittimer", {4, 100}));
}

TEST_F(SystemLib, EndSetsTheStopFlag)
{
    StopFlag = 0;
    EXPECT_EQ(0, Call("end", {}));
    EXPECT_EQ(1, StopFlag);
    StopFlag = 0;
}

// ---- CopyTable ----

int CopyDeepChain(lua_State *L)
{
    int depth = (int)(intptr_t)lua_touserdata(L, 1);
    lua_settop(L, 0);
    lua_newtable(L);                        // 1: the chain's root
    lua_pushvalue(L, 1);                    // 2: the current link
    for (int i = 0; i < depth; i++) {
        lua_newtable(L);
        lua_pushstring(L, "next");
        lua_pushvalue(L, -2);
        lua_settable(L, 2);
        lua_replace(L, 2);
    }
    lua_settop(L, 1);
    lua_pushstring(L, "copytable");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushvalue(L, 1);
    if (lua_call(L, 1, 1)) return 0;
    // Walk the copy: as long as the source, and no link of it shared with the source.
    int found = 0;
    lua_pushvalue(L, 1);                    // 3: source link
    lua_pushvalue(L, 2);                    // 4: copy link
    for (;;) {
        if (lua_rawequal(L, 3, 4)) return 0;
        lua_pushstring(L, "next");
        lua_rawget(L, 4);
        if (lua_isnil(L, -1)) break;
        lua_replace(L, 4);
        lua_pushstring(L, "next");
        lua_rawget(L, 3);
        lua_replace(L, 3);
        found++;
    }
    lua_pushnumber(L, found);
    lua_replace(L, 1);
    lua_settop(L, 1);
    lua_pushstring(L, "depth");
    lua_pushvalue(L, 1);
    lua_settable(L, LUA_REGISTRYINDEX);
    return 0;
}

TEST_F(SystemLib, CopyTableOfADeepChainNeedsNoDeepStack)
{
#ifdef KV_GC_STRESS
    GTEST_SKIP() << "a collection at every allocation makes 200000 nested tables too slow; the "
                    "golden script system/tables copies a shorter chain";
#endif
    const int depth = 200000;
    ASSERT_EQ(0, lua_cpcall(L, CopyDeepChain, (void *)(intptr_t)depth));
    lua_pushstring(L, "depth");
    lua_gettable(L, LUA_REGISTRYINDEX);
    EXPECT_EQ(depth, lua_tonumber(L, -1));
    lua_settop(L, 0);
}

int CopyShared(lua_State *L)
{
    lua_settop(L, 0);
    lua_newtable(L);                        // 1: source {[0] = s, [1] = s, [2] = source}
    lua_newtable(L);                        // 2: s
    lua_pushvalue(L, 2);
    lua_rawseti(L, 1, 0);
    lua_pushvalue(L, 2);
    lua_rawseti(L, 1, 1);
    lua_pushvalue(L, 1);
    lua_rawseti(L, 1, 2);
    lua_pushstring(L, "copytable");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushvalue(L, 1);
    lua_call(L, 1, 1);                      // 3: the copy
    lua_rawgeti(L, 3, 0);                   // 4
    lua_rawgeti(L, 3, 1);                   // 5
    lua_rawgeti(L, 3, 2);                   // 6
    int bits = 0;
    if (lua_rawequal(L, 4, 5)) bits |= 1;   // the shared table is copied once
    if (!lua_rawequal(L, 4, 2)) bits |= 2;  // ... and is a copy
    if (lua_rawequal(L, 6, 3)) bits |= 4;   // the cycle points at the copy
    lua_pushnumber(L, bits);
    lua_pushstring(L, "bits");
    lua_insert(L, -2);
    lua_settable(L, LUA_REGISTRYINDEX);
    return 0;
}

TEST_F(SystemLib, CopyTableKeepsSharingAndCycles)
{
    ASSERT_EQ(0, lua_cpcall(L, CopyShared, nullptr));
    lua_pushstring(L, "bits");
    lua_gettable(L, LUA_REGISTRYINDEX);
    EXPECT_EQ(7, lua_tonumber(L, -1));
    lua_settop(L, 0);
}

}  // namespace

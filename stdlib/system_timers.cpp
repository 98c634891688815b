// Timer objects of the system library and the waiting commands.
//
// A timer counts the time since its start plus an offset (the time counted before the start,
// set by ResetTimer or collected by PauseTimer); a paused timer shows its offset alone. Time
// values come from OsGetSysTime; elapsed times are reported in milliseconds as a signed 32-bit
// number.
#include <cstdint>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "stdlib/system.h"

enum { ERR_OBJECTNOTFOUND = 1041, ERR_NOTIMER = 1181, ERR_OUTOFMEMORY = 1000 };

struct TimerNode {
    TimerNode *next;
    ObjectId id;            // number, or the node's address as handle for a timer made with Nil
    OsTimeVal start;        // zero while paused
    OsTimeVal offset;       // time counted before start
    int paused;
};

// All timers in creation order.
static TimerNode *TimerList;

static void RestartTimer(TimerNode *t)
{
    OsGetSysTime(&t->start);
    t->offset.seconds = 0;
    t->offset.micros = 0;
    t->paused = 0;
}

static TimerNode *FindTimerById(const ObjectId &id)
{
    for (TimerNode *t = TimerList; t; t = t->next) {
        if (ObjectIdMatches(t->id, id)) return t;
    }
    return nullptr;
}

// The timer named by argument n, or the lookup error: 1041 for an unknown handle, 1181 with the
// number for an unknown number.
static int FindTimer(lua_State *L, int n, TimerNode **out)
{
    ObjectId id = GetObjectIdArg(L, n);
    *out = FindTimerById(id);
    if (*out) return 0;
    if (id.handle) return ERR_OBJECTNOTFOUND;
    SetErrorNumber((long)id.number);
    return ERR_NOTIMER;
}

// The time the timer shows (out may be the timer's own offset).
static void ElapsedTime(const TimerNode *t, OsTimeVal *out)
{
    OsTimeVal v = t->offset;
    if (!t->paused) {
        OsGetSysTime(&v);
        OsAddTime(&v, &t->offset);
        OsSubTime(&v, &t->start);
    }
    *out = v;
}

static int32_t TimeToMillis(const OsTimeVal *v)
{
    return (int32_t)(v->micros / 1000 + v->seconds * 1000u);
}

int SysStartTimer(lua_State *L)
{
    CheckArgs(L, 1, 2);
    int isNil = 0;
    ObjectId id = {GetObjectIdOrNilArg(L, 1, &isNil), nullptr};
    TimerNode *t = isNil ? nullptr : FindTimerById(id);
    if (!t) {
        t = (TimerNode *)MemAlloc(sizeof(TimerNode), 1);
        if (!t) return ERR_OUTOFMEMORY;
        if (isNil) {
            t->id.number = 0;
            t->id.handle = t;
        } else {
            t->id = id;
        }
        TimerNode **tail = &TimerList;
        while (*tail) tail = &(*tail)->next;
        *tail = t;
    }
    RestartTimer(t);
    if (!isNil) return 0;
    lua_pushlightuserdata(L, t);
    return 1;
}

int SysStopTimer(lua_State *L)
{
    CheckArgs(L, 1, 1);
    TimerNode *t;
    if (int err = FindTimer(L, 1, &t)) return err;
    TimerNode **link = &TimerList;
    while (*link != t) link = &(*link)->next;
    *link = t->next;
    MemFree(t);
    return 0;
}

int SysGetTimer(lua_State *L)
{
    CheckArgs(L, 1, 2);
    TimerNode *t;
    if (int err = FindTimer(L, 1, &t)) return err;
    OsTimeVal elapsed;
    ElapsedTime(t, &elapsed);
    lua_pushnumber(L, TimeToMillis(&elapsed));
    return 1;
}

int SysPauseTimer(lua_State *L)
{
    CheckArgs(L, 1, 1);
    TimerNode *t;
    if (int err = FindTimer(L, 1, &t)) return err;
    if (t->paused) return 0;
    ElapsedTime(t, &t->offset);
    t->start.seconds = 0;
    t->start.micros = 0;
    t->paused = 1;
    return 0;
}

int SysResumeTimer(lua_State *L)
{
    CheckArgs(L, 1, 1);
    TimerNode *t;
    if (int err = FindTimer(L, 1, &t)) return err;
    if (!t->paused) return 0;
    OsGetSysTime(&t->start);
    t->paused = 0;
    return 0;
}

// A negative time would give an offset that no unsigned time value can hold: refused.
int SysResetTimer(lua_State *L)
{
    CheckArgs(L, 1, 2);
    TimerNode *t;
    if (int err = FindTimer(L, 1, &t)) return err;
    int32_t ms = GetOptIntArg(L, 2, 0);
    if (ms < 0) return SYS_ERR_WRONGUSAGE;
    OsGetSysTime(&t->start);
    t->offset.seconds = (uint32_t)(ms / 1000);
    t->offset.micros = (uint32_t)(ms % 1000) * 1000;
    t->paused = 0;
    return 0;
}

// Waits until the timer shows ms; with reset the timer then starts again from zero, so that a
// loop calling it keeps a steady pace whatever time its own work took.
int SysWaitTimer(lua_State *L)
{
    CheckArgs(L, 2, 3);
    TimerNode *t;
    if (int err = FindTimer(L, 1, &t)) return err;
    int32_t ms = GetIntArg(L, 2);
    int32_t reset = GetOptIntArg(L, 3, 1);
    if (t->paused) return SYS_ERR_WRONGUSAGE;
    OsTimeVal elapsed;
    ElapsedTime(t, &elapsed);
    int64_t remaining = (int64_t)ms - TimeToMillis(&elapsed);
    if (remaining > 0) OsWaitMillis(L, (int)remaining);
    if (reset) RestartTimer(t);
    return 0;
}

int SysWait(lua_State *L)
{
    CheckArgs(L, 1, 2);
    int32_t n = GetIntArg(L, 1);
    int32_t unit = GetOptIntArg(L, 2, SYS_TICKS);
    if (n < 1) return 0;
    int64_t ms;
    switch (unit) {
    case SYS_TICKS: ms = (int64_t)n * 20; break;
    case SYS_SECONDS: ms = (int64_t)n * 1000; break;
    default: ms = n; break;
    }
    if (ms > INT32_MAX) ms = INT32_MAX;
    OsWaitMillis(L, (int)ms);
    return 0;
}

void FreeAllTimers(void)
{
    while (TimerList) {
        TimerNode *next = TimerList->next;
        MemFree(TimerList);
        TimerList = next;
    }
}

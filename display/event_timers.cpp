// Intervals and timeouts: script functions run by the dispatcher when platform timers fall due.
#include "display/event.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

CallbackTimerNode *IntervalList = nullptr, *TimeoutList = nullptr;

static OsTimerId TimerIdOf(ObjectId id) { return OsTimerId{id.number, id.handle}; }

CallbackTimerNode *FindTimerNode(CallbackTimerNode *list, const OsTimerId *id)
{
    for (CallbackTimerNode *n = list; n; n = n->next)
        if (n->id.number == id->number && n->id.handle == id->handle) return n;
    return nullptr;
}

CallbackTimerNode *TakeTimerNode(CallbackTimerNode **list, const OsTimerId *id)
{
    for (CallbackTimerNode **link = list; *link; link = &(*link)->next) {
        CallbackTimerNode *n = *link;
        if (n->id.number == id->number && n->id.handle == id->handle) {
            *link = n->next;
            return n;
        }
    }
    return nullptr;
}

static void ReleaseRefs(CallbackTimerNode *n)
{
    if (!EventLibState) return;
    if (n->function != -1) luaL_unref(EventLibState, LUA_REGISTRYINDEX, n->function);
    if (n->userdata != -1) luaL_unref(EventLibState, LUA_REGISTRYINDEX, n->userdata);
}

// Removes the node and its platform timer; the dispatcher's saved timer position moves past it.
static void ClearTimer(CallbackTimerNode **list, int kind, CallbackTimerNode *n)
{
    OsTimerId tid = TimerIdOf(n->id);
    TakeTimerNode(list, &tid);
    ReleaseRefs(n);
    OsTimerNode *next = nullptr;
    OsTimerNode *platform = FindOsTimer(kind, &tid, &next);
    EventDispatchState *s = DispatchState;
    if (platform && s && s->phase == 1 && !s->timersDone && s->timerIterator == platform) {
        s->timerIterator = next;
        if (!next) s->timersDone = 1;
    }
    MemFree(n);
    OsSetTimer(kind == OS_TIMER_INTERVAL ? OS_TIMER_REMOVE_INTERVAL : OS_TIMER_REMOVE_TIMEOUT, &tid, 0);
}

static int StartTimer(lua_State *L, CallbackTimerNode **list, int kind)
{
    CheckArgs(L, 3, 4);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int32_t ms = GetIntArg(L, 3);
    if (ms < 1) return 1055;
    if (!lua_isfunction(L, 2)) {
        SetErrorNumber(2);
        return 1185;
    }
    if (!isNil) {
        OsTimerId tid = {number, nullptr};
        CallbackTimerNode *old = FindTimerNode(*list, &tid);
        if (old) ClearTimer(list, kind, old);
    }
    CallbackTimerNode *n = (CallbackTimerNode *)MemAlloc(sizeof(CallbackTimerNode), 1);
    if (!n) return 1000;
    n->id.number = isNil ? 0 : number;
    n->id.handle = isNil ? n : nullptr;
    n->millis = ms;
    lua_pushvalue(L, 2);
    n->function = luaL_ref(L, LUA_REGISTRYINDEX);
    n->userdata = -1;
    if (lua_gettop(L) >= 4) {
        lua_pushvalue(L, 4);
        n->userdata = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    CallbackTimerNode **link = list;
    while (*link) link = &(*link)->next;
    *link = n;
    OsTimerId tid = TimerIdOf(n->id);
    int err = OsSetTimer(kind == OS_TIMER_INTERVAL ? OS_TIMER_START_INTERVAL : OS_TIMER_START_TIMEOUT, &tid, ms);
    if (err) return err;
    if (!isNil) return 0;
    lua_pushlightuserdata(L, n);
    return 1;
}

// The node of argument 1, or 1041 for a handle / the list's own code for a number.
static int TimerArg(lua_State *L, CallbackTimerNode *list, int missing, CallbackTimerNode **out)
{
    ObjectId id = GetObjectIdArg(L, 1);
    OsTimerId tid = TimerIdOf(id);
    *out = FindTimerNode(list, &tid);
    if (*out) return 0;
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return missing;
}

int SetInterval(lua_State *L) { return StartTimer(L, &IntervalList, OS_TIMER_INTERVAL); }
int SetTimeout(lua_State *L) { return StartTimer(L, &TimeoutList, OS_TIMER_TIMEOUT); }

static int StopTimer(lua_State *L, CallbackTimerNode **list, int kind, int missing)
{
    CheckArgs(L, 1, 1);
    CallbackTimerNode *n;
    int err = TimerArg(L, *list, missing, &n);
    if (err) return err;
    ClearTimer(list, kind, n);
    return 0;
}

int ClearInterval(lua_State *L) { return StopTimer(L, &IntervalList, OS_TIMER_INTERVAL, 1194); }
int ClearTimeout(lua_State *L) { return StopTimer(L, &TimeoutList, OS_TIMER_TIMEOUT, 1195); }

int ChangeInterval(lua_State *L)
{
    CheckArgs(L, 2, 2);
    CallbackTimerNode *n;
    int err = TimerArg(L, IntervalList, 1194, &n);
    if (err) return err;
    int32_t ms = GetIntArg(L, 2);
    if (ms < 1) return 1055;
    OsTimerId tid = TimerIdOf(n->id);
    // The platform keeps its node, so the dispatcher's saved timer position stays valid.
    return OsSetTimer(OS_TIMER_CHANGE_INTERVAL, &tid, ms);
}

void FreeCallbackTimers(void)
{
    CallbackTimerNode **lists[] = {&IntervalList, &TimeoutList};
    for (CallbackTimerNode **list : lists)
        while (*list) {
            CallbackTimerNode *n = *list;
            *list = n->next;
            MemFree(n);
        }
}

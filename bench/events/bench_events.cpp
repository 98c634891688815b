// Speed of the event dispatcher: key events posted with PostEvent (batches of 200, below the
// queue's 256 slots) are served by a script loop of CheckEvent calls to an onkeydown handler,
// against the same handler called directly by the script with a table of the same fields, in
// the same run. Targets: at least 300,000 dispatched events a second, at most 10 times the
// direct call.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "display/display.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tools/kvasm/kvasm_lib.h"

namespace {

const char *const Script = R"(
.func onkey params=1                 ; counts the keys it is given
  gettable r1, r0, "key"
  getglobal r2, "count"
  add r2, r2, 1
  setglobal r2, "count"
  return r0
.end

.func drain params=1                 ; drain(n): n CheckEvent calls
  loadk r1, 0
loop:
  jge r1, r0, done
  cmd r3 = CheckEvent()
  add r1, r1, 1
  jmp loop
done:
  return r0
.end

.func direct params=1                ; direct(n): the handler called n times with a message table
  loadk r1, 0
loop2:
  jge r1, r0, done2
  newtable r2
  settable r2, "action", "OnKeyDown"
  settable r2, "key", "a"
  settable r2, "id", 1
  getglobal r3, "onkey"
  move r4, r2
  call r3, 1, 0
  add r1, r1, 1
  jmp loop2
done2:
  return r0
.end

  loadk r5, 0
  setglobal r5, "count"
  closure r5, onkey
  setglobal r5, "onkey"
  closure r5, drain
  setglobal r5, "drain"
  closure r5, direct
  setglobal r5, "direct"
  newtable r6
  closure r7, onkey
  settable r6, "onkeydown", r7
  cmd InstallEventHandler(r6)
  return r0
)";

enum { BATCH = 200, BATCHES = 50 };

void CallGlobal(lua_State *L, const char *name, int n)
{
    lua_pushstring(L, name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushnumber(L, n);
    if (lua_pcall(L, 1, 0, 0) != 0) {
        fprintf(stderr, "%s failed\n", name);
        exit(1);
    }
}

double Count(lua_State *L)
{
    lua_pushstring(L, "count");
    lua_gettable(L, LUA_GLOBALSINDEX);
    double n = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return n;
}

}  // namespace

int main()
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (InitRuntime() != 0) return 1;
    lua_State *L = lua_open();
    AppletRecord applet;
    memset(&applet, 0, sizeof applet);
    SetAppletDisplayDefaults(&applet);
    luaL_setregpointer(L, "applet", &applet);
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    if (OpenDisplayLib(L) || OpenEventLib(L)) return 1;
    lua_settop(L, 0);
    lua_newtable(L);
    SetFieldInt(L, "width", 64);
    SetFieldInt(L, "height", 64);
    DisplayRecord *d = nullptr;
    if (CreateDisplayCore(L, 1, 0, lua_gettop(L), &d) || OpenWindowForDisplay(L, d, 0)) return 1;
    MakeDisplayCurrent(d);
    lua_settop(L, 0);

    AsmProgram prog;
    std::string err;
    std::vector<uint8_t> code;
    if (AsmParse(Script, "bench_events.kvs", &prog, &err) || AsmBuildBytecode(&prog, &code, &err) ||
        AsmLoadChunk(L, code.data(), code.size(), "bench_events.kvs") || lua_pcall(L, 0, 0, 0)) {
        fprintf(stderr, "script: %s\n", err.c_str());
        return 1;
    }
    AsmFree(&prog);

    double before = Count(L);
    double dispatched = BenchBestTime([&] {
        for (int b = 0; b < BATCHES; b++) {
            for (int i = 0; i < BATCH; i++) PostEvent(d, IEVENT_KEY, 1, 0, 'a', nullptr);
            CallGlobal(L, "drain", BATCH);
        }
    }, 50);
    double served = Count(L) - before;
    double direct = BenchBestTime([&] {
        for (int b = 0; b < BATCHES; b++) CallGlobal(L, "direct", BATCH);
    }, 50);
    double events = (double)BATCH * BATCHES;
    double rate = events / dispatched;
    double ratio = dispatched / direct;
    printf("events: %.0f key events a second through CheckEvent (target >= 300000), %.2f x the direct call "
           "(target <= 10)%s\n",
           rate, ratio, served > 0 ? "" : " -- NO EVENT WAS SERVED");
    CloseEventLib(L);
    FreeAllDisplays(L);
    lua_close(L);
    FreeRuntime();
    return rate >= 300000 && ratio <= 10 && served > 0 ? 0 : 1;
}

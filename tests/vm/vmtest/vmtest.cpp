// vmtest: headless runner of the interpreter's golden tests. Assembles a kvasm file, loads it,
// registers the main function's labels and a small test-only command set, runs the main chunk
// in a protected call and prints what the script prints, then the raised code when there is one.
//
//   vmtest FILE.kvs
//
// Test commands (lower-case globals):
//   print(...)            values separated by blanks, then a line feed
//   expect(got, want)     prints "EXPECT FAILED ..." unless both are raw-equal
//   raise(code)           returns the error code (handed to ReportError by the interpreter)
//   throw(code)           raises the code directly
//   jump(label [, mode])  asks for a label Gosub (mode -1 default, or -2)
//   jumponce(label, mode) as jump, on its first call only
//   jumpraw(offset, mode) asks for a Gosub with a raw JumpOffset
//   stop()                sets the stop flag
//   exitonerror(flag)     sets exit-on-error
//   lasterror()           the last error code (not cleared by its own call)
//   errorstring()         the current error string
//   pcall(f, ...)         protected call; returns the code, then the stack growth (0 expected)
//   callback(f, ...)      as pcall, with the callback nesting counter raised
//   next(t, k)            table traversal (used by TFORPREP)
//   gosubcount()          entries on the Gosub stack
//   linehook(flag)        prints "line N" on every line event while set
//   counthook(n)          prints "count" every n instructions (0 switches it off)
//   stopafter(n)          a count hook sets the stop flag after n instructions
//   trace(flag)           the call tracer
//   gc()                  a full collection
//   setmeta(t, mt)        sets a metatable
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/gosub.h"
#include "runtime/vm/interpwords.h"
#include "runtime/vm/state.h"
#include "tools/kvasm/kvasm_lib.h"

static void printvalue(lua_State *L, int i)
{
  switch (lua_type(L, i)) {
    case LUA_TNIL: fputs("nil", stdout); break;
    case LUA_TNONE: fputs("none", stdout); break;
    case LUA_TBOOLEAN: fputs(lua_toboolean(L, i) ? "true" : "false", stdout); break;
    case LUA_TNUMBER: printf("%.14g", lua_tonumber(L, i)); break;
    case LUA_TSTRING: fwrite(lua_tostring(L, i), 1, lua_strlen(L, i), stdout); break;
    default: fputs(lua_typename(L, lua_type(L, i)), stdout); break;
  }
}

static int T_print(lua_State *L)
{
  int n = lua_gettop(L);
  for (int i = 1; i <= n; i++) {
    if (i > 1) fputc(' ', stdout);
    printvalue(L, i);
  }
  fputc('\n', stdout);
  fflush(stdout);
  return 0;
}

static int T_expect(lua_State *L)
{
  if (lua_gettop(L) < 2 || !lua_rawequal(L, 1, 2)) {
    fputs("EXPECT FAILED: ", stdout);
    printvalue(L, 1);
    fputs(" ~= ", stdout);
    printvalue(L, 2);
    fputc('\n', stdout);
  }
  return 0;
}

static int T_raise(lua_State *L) { return (int)luaL_checknumber(L, 1); }

static int T_throw(lua_State *L) { lua_error(L, (int)luaL_checknumber(L, 1)); }

static int T_jump(lua_State *L)
{
  int index = FindLabel(L, luaL_checkstring(L, 1));
  int mode = luaL_optinteger(L, 2, -1);
  if (index < 0) return 0;
  JumpOffset = index - CurrentPcIndex;
  return mode;
}

// jump(), but only on its first call in the run (for -2, whose Return calls it again)
static int T_jumponce(lua_State *L)
{
  static int used = 0;
  if (used) return 0;
  used = 1;
  return T_jump(L);
}

static int T_jumpraw(lua_State *L)
{
  JumpOffset = luaL_checkinteger(L, 1);
  return luaL_checkinteger(L, 2);
}

static int T_stop(lua_State *L)
{
  StopFlag = 1;
  return 0;
}

static int T_exitonerror(lua_State *L)
{
  RuntimeSettings.exitOnError = luaL_checkinteger(L, 1);
  return 0;
}

static int T_lasterror(lua_State *L)
{
  lua_pushnumber(L, LastErrorCode);
  return 1;
}

static int T_errorstring(lua_State *L)
{
  lua_pushstring(L, GetErrorArgString());
  return 1;
}

static int protectedcall(lua_State *L, int callback)
{
  int n = lua_gettop(L);  // the function at index 1, its arguments above
  if (callback) SetRuntimeTags(L, RTAG_CALLBACKNEST, 1, 0);
  int code = lua_pcall(L, n - 1, 0, 0);
  if (callback) SetRuntimeTags(L, RTAG_CALLBACKNEST, 0, 0);
  int growth = lua_gettop(L);  // 0: nothing left where the function and arguments were
  lua_settop(L, 0);
  lua_pushnumber(L, code);
  lua_pushnumber(L, growth);
  return 2;
}

static int T_pcall(lua_State *L) { return protectedcall(L, 0); }
static int T_callback(lua_State *L) { return protectedcall(L, 1); }

static int T_next(lua_State *L)
{
  luaL_checktable(L, 1);
  lua_settop(L, 2);
  if (lua_next(L, 1)) return 2;
  lua_pushnil(L);
  return 1;
}

static int T_gosubcount(lua_State *L)
{
  lua_pushnumber(L, GosubCount);
  return 1;
}

static void linehook(lua_State *L, lua_Debug *ar)
{
  if (ar->event == LUA_HOOKLINE) printf("line %d\n", ar->currentline);
  else if (ar->event == LUA_HOOKCOUNT) printf("count\n");
}

static int T_linehook(lua_State *L)
{
  if (luaL_checkinteger(L, 1))
    lua_sethook(L, linehook, LUA_MASKLINE, 0);
  else
    lua_sethook(L, nullptr, 0, 0);
  return 0;
}

static int T_counthook(lua_State *L)
{
  int n = luaL_checkinteger(L, 1);
  if (n > 0)
    lua_sethook(L, linehook, LUA_MASKCOUNT, n);
  else
    lua_sethook(L, nullptr, 0, 0);
  return 0;
}

static int stopCountdown = 0;

static void stophook(lua_State *L, lua_Debug *ar)
{
  if (--stopCountdown <= 0) StopFlag = 1;
}

static int T_stopafter(lua_State *L)
{
  stopCountdown = luaL_checkinteger(L, 1);
  lua_sethook(L, stophook, LUA_MASKCOUNT, 1);
  return 0;
}

static int T_trace(lua_State *L)
{
  CallTraceFlag = luaL_checkinteger(L, 1);
  return 0;
}

static int T_gc(lua_State *L)
{
  luaC_collectgarbage(L);
  return 0;
}

static int T_setmeta(lua_State *L)
{
  luaL_checktable(L, 1);
  lua_settop(L, 2);
  lua_setmetatable(L, 1);
  return 0;
}

static const luaL_reg TestCommands[] = {
    {"print", T_print},         {"expect", T_expect},       {"raise", T_raise},
    {"throw", T_throw},         {"jump", T_jump},           {"jumpOnce", T_jumponce},           {"jumpraw", T_jumpraw},
    {"stop", T_stop},           {"exitOnError", T_exitonerror}, {"lastError", T_lasterror},
    {"errorString", T_errorstring}, {"pcall", T_pcall},     {"callback", T_callback},
    {"next", T_next},           {"gosubCount", T_gosubcount}, {"lineHook", T_linehook},
    {"countHook", T_counthook}, {"stopAfter", T_stopafter}, {"trace", T_trace},         {"gc", T_gc},
    {"setMeta", T_setmeta},     {nullptr, nullptr}};

struct ChunkReader {
  const std::vector<uint8_t> *data;
  int done;
};

static const char *readchunk(lua_State *, void *ud, size_t *size)
{
  ChunkReader *r = (ChunkReader *)ud;
  if (r->done) {
    *size = 0;
    return nullptr;
  }
  r->done = 1;
  *size = r->data->size();
  return (const char *)r->data->data();
}

static int panic(lua_State *L)
{
  printf("== panic\n");
  return 0;
}

int main(int argc, char **argv)
{
  if (argc != 2) {
    fprintf(stderr, "usage: vmtest FILE.kvs\n");
    return 2;
  }
  std::vector<uint8_t> text;
  if (AsmReadFile(argv[1], &text)) {
    fprintf(stderr, "vmtest: cannot read %s\n", argv[1]);
    return 2;
  }
  AsmProgram prog;
  std::string err;
  std::vector<uint8_t> bytecode;
  if (AsmParse(std::string(text.begin(), text.end()), argv[1], &prog, &err) ||
      AsmBuildBytecode(&prog, &bytecode, &err)) {
    fprintf(stderr, "vmtest: %s\n", err.c_str());
    AsmFree(&prog);
    return 2;
  }
  lua_State *L = lua_open();
  if (L == nullptr) return 2;
  lua_atpanic(L, panic);
  GetLastErrorHandler = T_lasterror;
  lua_pushvalue(L, LUA_GLOBALSINDEX);
  luaL_openlib(L, nullptr, TestCommands, 0);
  lua_settop(L, 0);
  for (const AsmLabel &l : prog.main->labels) AddLabel(L, l.name.c_str(), l.pc);
  AsmFree(&prog);

  ChunkReader reader = {&bytecode, 0};
  int code = lua_load(L, readchunk, &reader, "=vmtest");
  if (code == 0) code = lua_pcall(L, 0, 0, 0);
  if (code != 0) printf("== error %d\n", code);
  if (StopFlag) printf("== stopped\n");
  if (GosubCount != 0) printf("== gosub entries left %d\n", GosubCount);
  if (lua_gettop(L) != 0) printf("== stack left %d\n", lua_gettop(L));
  fflush(stdout);
  lua_close(L);
  return 0;
}

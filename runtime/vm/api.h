// The script API: the stack-based interface through which command handlers and the
// runtime talk to the interpreter.
//
// How a command handler is written
// --------------------------------
//   static int MyCommand(lua_State *L)
//   {
//       CheckArgs(L, 2, 3);                              // argument count (runtime/handler_support.h)
//       int id = luaL_checkinteger(L, 1);                // readers raise 1138/1139/1140/1185 ...
//       const char *name = luaL_checkstring(L, 2);       //   with the argument's position set
//       lua_Number speed = luaL_optnumber(L, 3, 1.0);    // absent -> default; explicit Nil -> error
//       Thing *t = FindThing(id);
//       if (!t) { SetErrorNumber(id); return 1180; }      // failure: set the message argument and
//                                                        //   RETURN the code (>= 1000), pushing nothing
//       lua_pushnumber(L, t->value);                     // results are pushed on the stack ...
//       lua_pushstring(L, t->name);
//       return 2;                                        // ... and their count (0..999) returned
//   }
//
// - Arguments sit at indices 1 .. lua_gettop(L); index -1 is the top. A reader given an index
//   beyond the top answers "no value" (lua_type gives LUA_TNONE), which is not the same as Nil.
// - The argument readers of runtime/vm/auxlib.h raise their error code themselves (a raise never
//   returns); everything a handler detects on its own is reported by returning the code.
// - A returned code of 1000 or more makes the call yield no results; the interpreter hands the
//   code to ReportError (fatal with exit-on-error on, else stored as the last error).
// - A handler that wants the script to run a label as a subroutine sets JumpOffset
//   (runtime/vm/interpwords.h) and returns LUA_GOSUB_AFTER (-1: the subroutine returns behind
//   the command) or LUA_GOSUB_AGAIN (-2: it returns to the instruction before the call, so the
//   command runs again). Only honoured when the command was called from the main chunk's frame.
// - A handler gets LUA_MINSTACK (20) free slots; lua_checkstack gives more.
// - Register handlers with luaL_openlib and constants with luaL_registerconstants (auxlib.h).
//
// Raised errors carry an error code, never a message value: a failed lua_pcall returns the code,
// pushes nothing, removes the function and its arguments (the top is where the function was)
// and leaves the call records as they were before the call.
#pragma once
#include <cstdarg>
#include <cstddef>

struct lua_State;
struct lua_Debug;

typedef double lua_Number;
// A native command handler: returns its result count (0..999), an error code
// (1000 or more) or -1/-2 (a Gosub request).
typedef int (*lua_CFunction)(lua_State *L);
// Reader of lua_load: returns the next block of bytes (size in *size); null or size 0 ends.
typedef const char *(*lua_Chunkreader)(lua_State *L, void *data, size_t *size);
// Writer of lua_dump: returns 0 on success.
typedef int (*lua_Chunkwriter)(lua_State *L, const void *p, size_t size, void *data);
typedef void (*lua_Hook)(lua_State *L, lua_Debug *ar);

// Pseudo-indices.
#define LUA_REGISTRYINDEX (-10000)
#define LUA_GLOBALSINDEX (-10001)
#define lua_upvalueindex(i) (LUA_GLOBALSINDEX - (i))

// Value kinds (lua_type; also the tags of the interpreter's values). LUA_TNONE is the answer
// for an index with no value.
#define LUA_TNONE (-1)
#define LUA_TNIL 0
#define LUA_TBOOLEAN 1
#define LUA_TLIGHTUSERDATA 2
#define LUA_TNUMBER 3
#define LUA_TSTRING 4
#define LUA_TTABLE 5
#define LUA_TFUNCTION 6
#define LUA_TUSERDATA 7
#define LUA_TTHREAD 8

#define LUA_MULTRET (-1)
// Free slots every native call gets.
#define LUA_MINSTACK 20

// Handler return values that ask for a Gosub (see above).
#define LUA_GOSUB_AFTER (-1)
#define LUA_GOSUB_AGAIN (-2)
// The lowest error code a handler can return.
#define LUA_FIRSTERRORCODE 1000

// Hook events and masks.
#define LUA_HOOKCALL 0
#define LUA_HOOKRET 1
#define LUA_HOOKLINE 2
#define LUA_HOOKCOUNT 3
#define LUA_HOOKTAILRET 4
#define LUA_MASKCALL (1 << LUA_HOOKCALL)
#define LUA_MASKRET (1 << LUA_HOOKRET)
#define LUA_MASKLINE (1 << LUA_HOOKLINE)
#define LUA_MASKCOUNT (1 << LUA_HOOKCOUNT)

// Size of a printable chunk name (lua_Debug.short_src, luaO_chunkid).
#define LUA_IDSIZE 60

// Debug record filled by lua_getstack / lua_getinfo.
struct lua_Debug {
    int event;
    const char *name;       // (n)
    const char *namewhat;   // (n) "global", "local", "field", "method" or ""
    const char *what;       // (S) "Kestrovia", "main", "C" or "tail"
    const char *source;     // (S)
    int currentline;        // (l)
    int nups;               // (u) number of upvalues
    int linedefined;        // (S)
    char short_src[LUA_IDSIZE]; // (S)
    int i_ci;               // private: index of the call record
};

// State (created and closed by the state module).
lua_State *lua_open(void);
void lua_close(lua_State *L);
lua_State *lua_newthread(lua_State *L);
lua_CFunction lua_atpanic(lua_State *L, lua_CFunction panicf);

// Stack.
int lua_gettop(lua_State *L);
void lua_settop(lua_State *L, int idx);
void lua_pushvalue(lua_State *L, int idx);
void lua_remove(lua_State *L, int idx);
void lua_insert(lua_State *L, int idx);
void lua_replace(lua_State *L, int idx);
int lua_checkstack(lua_State *L, int sz);
void lua_xmove(lua_State *from, lua_State *to, int n);

// Read and test.
int lua_isnumber(lua_State *L, int idx);
int lua_isstring(lua_State *L, int idx);
int lua_iscfunction(lua_State *L, int idx);
int lua_isuserdata(lua_State *L, int idx);
int lua_type(lua_State *L, int idx);
const char *lua_typename(lua_State *L, int tp);
int lua_equal(lua_State *L, int idx1, int idx2);
int lua_rawequal(lua_State *L, int idx1, int idx2);
int lua_lessthan(lua_State *L, int idx1, int idx2, int casesensitive);
lua_Number lua_tonumber(lua_State *L, int idx);
int lua_toboolean(lua_State *L, int idx);
const char *lua_tostring(lua_State *L, int idx);
size_t lua_strlen(lua_State *L, int idx);
lua_CFunction lua_tocfunction(lua_State *L, int idx);
void *lua_touserdata(lua_State *L, int idx);
lua_State *lua_tothread(lua_State *L, int idx);
const void *lua_topointer(lua_State *L, int idx);

// Push.
void lua_pushnil(lua_State *L);
void lua_pushnumber(lua_State *L, lua_Number n);
void lua_pushlstring(lua_State *L, const char *s, size_t len);
void lua_pushstring(lua_State *L, const char *s);
void lua_pushstringnogc(lua_State *L, const char *s);
const char *lua_pushvfstring(lua_State *L, const char *fmt, va_list argp);
const char *lua_pushfstring(lua_State *L, const char *fmt, ...);
void lua_pushcclosure(lua_State *L, lua_CFunction fn, int n);
void lua_pushboolean(lua_State *L, int b);
void lua_pushlightuserdata(lua_State *L, void *p);

// Tables and metatables.
void lua_gettable(lua_State *L, int idx);
void lua_rawget(lua_State *L, int idx);
void lua_rawgeti(lua_State *L, int idx, int n);
void lua_newtable(lua_State *L);
void lua_newtablenogc(lua_State *L);
void *lua_newuserdata(lua_State *L, size_t sz);
int lua_getmetatable(lua_State *L, int objindex);
void lua_getfenv(lua_State *L, int idx);
void lua_settable(lua_State *L, int idx);
void lua_rawset(lua_State *L, int idx);
void lua_rawseti(lua_State *L, int idx, int n);
int lua_setmetatable(lua_State *L, int objindex);
int lua_setfenv(lua_State *L, int idx);
int lua_next(lua_State *L, int idx);
void lua_concat(lua_State *L, int n);
int lua_pushupvalues(lua_State *L);
const char *lua_getupvalue(lua_State *L, int funcindex, int n);
const char *lua_setupvalue(lua_State *L, int funcindex, int n);

// Calls, errors and loading.
// lua_call returns the error code a called native function returned (0 otherwise);
// lua_pcall / lua_cpcall return 0 or the raised code (a native's returned code is no raise).
int lua_call(lua_State *L, int nargs, int nresults);
int lua_pcall(lua_State *L, int nargs, int nresults, int errfunc);
int lua_cpcall(lua_State *L, lua_CFunction func, void *ud);
// Raises `code`; never returns.
[[noreturn]] void lua_error(lua_State *L, int code);
// Loading and dumping bytecode (the bytecode module).
int lua_load(lua_State *L, lua_Chunkreader reader, void *data, const char *chunkname);
int lua_dump(lua_State *L, int idx, lua_Chunkwriter writer, void *data);

// Collector (kilobytes).
int lua_getgcthreshold(lua_State *L);
int lua_getgccount(lua_State *L);
void lua_setgcthreshold(lua_State *L, int newthreshold);

// Debug interface.
int lua_sethook(lua_State *L, lua_Hook func, int mask, int count);
lua_Hook lua_gethook(lua_State *L);
int lua_gethookmask(lua_State *L);
int lua_gethookcount(lua_State *L);
int lua_getstack(lua_State *L, int level, lua_Debug *ar);
int lua_getinfo(lua_State *L, const char *what, lua_Debug *ar);
const char *lua_getlocal(lua_State *L, const lua_Debug *ar, int n);
const char *lua_setlocal(lua_State *L, const lua_Debug *ar, int n);

// Shorthands.
#define lua_pop(L, n) lua_settop(L, -(n)-1)
#define lua_pushcfunction(L, f) lua_pushcclosure(L, f, 0)
#define lua_register(L, n, f) (lua_pushstring(L, n), lua_pushcfunction(L, f), lua_settable(L, LUA_GLOBALSINDEX))
#define lua_isfunction(L, n) (lua_type(L, n) == LUA_TFUNCTION)
#define lua_istable(L, n) (lua_type(L, n) == LUA_TTABLE)
#define lua_islightuserdata(L, n) (lua_type(L, n) == LUA_TLIGHTUSERDATA)
#define lua_isnil(L, n) (lua_type(L, n) == LUA_TNIL)
#define lua_isboolean(L, n) (lua_type(L, n) == LUA_TBOOLEAN)
#define lua_isnone(L, n) (lua_type(L, n) == LUA_TNONE)
#define lua_isnoneornil(L, n) (lua_type(L, n) <= 0)
#define lua_pushliteral(L, s) lua_pushlstring(L, "" s, (sizeof(s) / sizeof(char)) - 1)

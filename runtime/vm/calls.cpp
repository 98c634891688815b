// Calls of script and native functions, stack growth, hooks, protected calls and raising.
#include "runtime/vm/calls.h"

#include <cstdlib>

#include "runtime/vm/api.h"
#include "runtime/vm/debug.h"
#include "runtime/vm/func.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/gosub.h"
#include "runtime/vm/interpreter.h"
#include "runtime/vm/interpwords.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/tagmethods.h"
#include "runtime/vm/vmmemory.h"
#include "platform/os.h"

int StopFlag = 0;
// The event pump reads and sets this flag through the platform's upcall table.
static const int StopFlagRegistered = [] {
    OsUpcalls up = {};
    up.stopFlag = &StopFlag;
    OsSetUpcalls(&up);
    return 1;
}();
int LastErrorCode = 0;
int ErrorLine = -1;
int CallTraceFlag = 0;
int CurrentPcIndex = 0;
int JumpOffset = 0;
int (*GetLastErrorHandler)(lua_State *L) = nullptr;

// ---- raising and catching ----

[[noreturn]] void luaD_throw(lua_State *L, int code)
{
  if (L->errorJmp) {
    L->errorJmp->status = code;
    throw lua_ErrorThrow{code};
  }
  if (G(L)->panic) G(L)->panic(L);
  exit(1);
}

int luaD_rawrunprotected(lua_State *L, Pfunc f, void *ud)
{
  lua_longjmp lj;
  lj.status = 0;
  lj.previous = L->errorJmp;
  L->errorJmp = &lj;
  try {
    f(L, ud);
  } catch (const lua_ErrorThrow &e) {
    if (lj.status == 0) lj.status = e.code ? e.code : 1000;
  }
  L->errorJmp = lj.previous;
  return lj.status;
}

// ---- stack and call-record arrays ----

static void correctstack(lua_State *L, TObject *oldstack)
{
  L->top = (L->top - oldstack) + L->stack;
  for (GCObject *up = L->openupval; up != NULL; up = up->gch.next)
    gcotouv(up)->v = (gcotouv(up)->v - oldstack) + L->stack;
  for (CallInfo *ci = L->base_ci; ci <= L->ci; ci++) {
    ci->top = (ci->top - oldstack) + L->stack;
    ci->base = (ci->base - oldstack) + L->stack;
  }
  L->base = L->ci->base;
}

void luaD_reallocstack(lua_State *L, int newsize)
{
  TObject *oldstack = L->stack;
  int oldsize = L->stacksize;
  int realsize = newsize + 1 + EXTRA_STACK;
  luaM_reallocvector(L, L->stack, L->stacksize, realsize, TObject);
  for (int i = oldsize; i < realsize; i++) setnilvalue(L->stack + i);
  L->stacksize = realsize;
  L->stack_last = L->stack + newsize;
  correctstack(L, oldstack);
}

void luaD_reallocCI(lua_State *L, int newsize)
{
  CallInfo *oldci = L->base_ci;
  luaM_reallocvector(L, L->base_ci, L->size_ci, newsize, CallInfo);
  L->size_ci = (unsigned short)newsize;
  L->ci = (L->ci - oldci) + L->base_ci;
  L->end_ci = L->base_ci + L->size_ci;
}

void luaD_growstack(lua_State *L, int n)
{
  if (n <= L->stacksize)
    luaD_reallocstack(L, 2 * L->stacksize);
  else
    luaD_reallocstack(L, L->stacksize + n + EXTRA_STACK);
}

static void growCI(lua_State *L)
{
  if (L->size_ci > LUA_MAXCI) luaD_throw(L, 1135);  // already handling an overflow
  luaD_reallocCI(L, 2 * L->size_ci);
  if (L->size_ci > LUA_MAXCI) luaG_runerror(L, 1135);
}

static inline CallInfo *next_ci(lua_State *L)
{
  if (L->ci + 1 == L->end_ci) growCI(L);
  return ++L->ci;
}

// ---- hooks ----

void luaD_callhook(lua_State *L, int event, int line)
{
  lua_Hook hook = L->hook;
  if (hook && L->allowhook) {
    ptrdiff_t top = savestack(L, L->top);
    ptrdiff_t ci_top = savestack(L, L->ci->top);
    lua_Debug ar;
    ar.event = event;
    ar.currentline = line;
    ar.i_ci = (event == LUA_HOOKTAILRET) ? 0 : (int)(L->ci - L->base_ci);
    luaD_checkstack(L, LUA_MINSTACK);
    L->ci->top = L->top + LUA_MINSTACK;
    L->allowhook = 0;
    hook(L, &ar);
    L->allowhook = 1;
    L->ci->top = restorestack(L, ci_top);
    L->top = restorestack(L, top);
  }
}

// ---- precall / poscall ----

// Puts the __call handler of a non-function below its arguments.
static StkId tryfuncTM(lua_State *L, StkId func)
{
  const TObject *tm = luaT_gettmbyobj(L, func, TM_CALL);
  if (tm == NULL || !ttisfunction(tm)) luaG_typeerror(L, func, 1133, "()");
  ptrdiff_t funcr = savestack(L, func);
  TObject handler;
  setobj(&handler, tm);
  luaD_checkstack(L, 1);
  func = restorestack(L, funcr);
  for (StkId p = L->top; p > func; p--) setobj(p, p - 1);
  L->top++;
  setobj(func, &handler);
  return func;
}

// Moves the extra arguments of a vararg call into a table (keys 0 .. n-1, "n" = n) that
// becomes the last parameter. Room for the padding and the table is made first.
static void adjust_varargs(lua_State *L, int nfixargs, StkId base)
{
  int actual = (int)(L->top - base);
  if (actual < nfixargs) {
    ptrdiff_t b = savestack(L, base);
    luaD_checkstack(L, nfixargs - actual + 1);
    base = restorestack(L, b);
    for (; actual < nfixargs; ++actual) setnilvalue(L->top++);
  }
  actual -= nfixargs;
  Table *htab = luaH_new(L, 0, 0);
  // the table is not yet reachable: it must be filled before any collection can run
  for (int i = 0; i < actual; i++) setobj(luaH_setnum(L, htab, i), L->top - actual + i);
  TObject nv;
  setnvalue(&nv, (lua_Number)actual);
  TObject key;
  setsvalue(&key, luaS_newliteral(L, "n"));
  setobj(luaH_set(L, htab, &key), &nv);
  L->top -= actual;
  sethvalue(L->top, htab);
  incr_top(L);
}

StkId luaD_precall(lua_State *L, StkId func, int *code)
{
  if (!ttisfunction(func)) func = tryfuncTM(L, func);
  ptrdiff_t funcr = savestack(L, func);
  Closure *cl = clvalue(func);
  if (!cl->c.isC) {
    Proto *p = cl->l.p;
    if (p->is_vararg) {
      adjust_varargs(L, p->numparams, func + 1);
      func = restorestack(L, funcr);
    }
    luaD_checkstack(L, p->maxstacksize);
    CallInfo *ci = next_ci(L);
    StkId base = restorestack(L, funcr) + 1;
    L->base = ci->base = base;
    ci->top = base + p->maxstacksize;
    ci->savedpc = p->code;
    ci->pc = nullptr;
    ci->tailcalls = 0;
    ci->state = CI_SAVEDPC;
    while (L->top < ci->top) setnilvalue(L->top++);
    L->top = ci->top;
    return NULL;
  }
  luaD_checkstack(L, LUA_MINSTACK);
  CallInfo *ci = next_ci(L);
  L->base = ci->base = restorestack(L, funcr) + 1;
  ci->top = L->top + LUA_MINSTACK;
  ci->state = CI_C;
  ci->savedpc = nullptr;
  ci->pc = nullptr;
  ci->tailcalls = 0;
  if (L->hookmask & LUA_MASKCALL) luaD_callhook(L, LUA_HOOKCALL, -1);
  if (CallTraceFlag && !StopFlag) luaG_tracecall(L);
  lua_CFunction f = clvalue(L->base - 1)->c.f;
  if (f != GetLastErrorHandler) LastErrorCode = 0;
  int n = f(L);
  if (n >= 0 && n < LUA_FIRSTERRORCODE) {
    int have = (int)(L->top - L->base);
    if (n > have) n = have;  // never take results from below the frame
    return L->top - n;
  }
  *code = n;  // a Gosub request (-1/-2) or an error code
  return L->top;
}

static void callrethooks(lua_State *L)
{
  luaD_callhook(L, LUA_HOOKRET, -1);
  if (!(L->ci->state & CI_C)) {
    while (L->ci->tailcalls > 0) {
      L->ci->tailcalls--;
      luaD_callhook(L, LUA_HOOKTAILRET, -1);
    }
  }
}

void luaD_poscall(lua_State *L, int wanted, StkId firstResult)
{
  if (L->hookmask & LUA_MASKRET) {
    ptrdiff_t fr = savestack(L, firstResult);
    callrethooks(L);
    firstResult = restorestack(L, fr);
  }
  luaG_gosubdropci(L, L->ci);
  StkId res = L->base - 1;
  L->ci--;
  L->base = L->ci->base;
  if (firstResult > L->top) firstResult = L->top;
  while (wanted != 0 && firstResult < L->top) {
    setobj(res++, firstResult++);
    wanted--;
  }
  while (wanted-- > 0) setnilvalue(res++);
  L->top = res;
}

int luaD_call(lua_State *L, StkId func, int nResults)
{
  if (++L->nCcalls >= LUA_MAXCCALLS) {
    if (L->nCcalls == LUA_MAXCCALLS)
      luaG_runerror(L, 1135);
    else if (L->nCcalls >= LUA_MAXCCALLS + (LUA_MAXCCALLS >> 3))
      luaD_throw(L, 1135);
  }
  ptrdiff_t funcr = savestack(L, func);
  ptrdiff_t cir = saveci(L, L->ci);
  int code = 0;
  StkId firstResult = luaD_precall(L, func, &code);
  if (firstResult == NULL) firstResult = luaV_execute(L);
  if (firstResult == NULL) {
    // Stopped: every record this call pushed is abandoned; the caller gets nils.
    func = restorestack(L, funcr);
    CallInfo *ci = restoreci(L, cir);
    luaF_close(L, func);
    luaG_gosubdropci(L, ci + 1);
    L->ci = ci;
    L->base = ci->base;
    L->top = func;
    for (int i = 0; i < nResults; i++) setnilvalue(L->top++);
  } else {
    luaD_poscall(L, nResults, firstResult);
  }
  L->nCcalls--;
  luaC_checkGC(L);
  if (code == LUA_GOSUB_AFTER || code == LUA_GOSUB_AGAIN) code = 0;
  return code;
}

// ---- protected calls ----

int luaD_pcall(lua_State *L, Pfunc func, void *u, ptrdiff_t oldtop, ptrdiff_t ef)
{
  unsigned short oldnCcalls = L->nCcalls;
  ptrdiff_t old_ci = saveci(L, L->ci);
  lu_byte old_allowhooks = L->allowhook;
  ptrdiff_t old_errfunc = L->errfunc;
  int oldGosubCount = GosubCount;
  L->errfunc = ef;
  int status = luaD_rawrunprotected(L, func, u);
  if (status != 0) {
    StkId oldtopp = restorestack(L, oldtop);
    luaF_close(L, oldtopp);
    L->nCcalls = oldnCcalls;
    L->ci = restoreci(L, old_ci);
    L->base = L->ci->base;
    L->allowhook = old_allowhooks;
    if (GosubCount > oldGosubCount) GosubCount = oldGosubCount;
    L->top = oldtopp;
    L->stack_last = L->stack + L->stacksize - EXTRA_STACK - 1;
    if (L->size_ci > LUA_MAXCI) {
      int inuse = (int)(L->ci - L->base_ci);
      if (inuse + 1 < LUA_MAXCI) luaD_reallocCI(L, LUA_MAXCI);
    }
  }
  L->errfunc = old_errfunc;
  return status;
}

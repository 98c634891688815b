// The script API: stack, values, tables, calls and collector control.
#include "runtime/vm/api.h"

#include <cstdio>
#include <cstring>

#include "runtime/vm/calls.h"
#include "runtime/vm/debug.h"
#include "runtime/vm/func.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/interpreter.h"
#include "runtime/vm/state.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/tagmethods.h"
#include "runtime/vm/values.h"
#include "runtime/vm/vmmemory.h"

// Pushes one slot, growing the stack when a handler pushes beyond its reserve.
#define api_incr_top(L)                                   \
  do {                                                    \
    if ((L)->top >= (L)->stack_last) luaD_growstack(L, 1); \
    (L)->top++;                                           \
  } while (0)

static TObject *negindex(lua_State *L, int idx)
{
  if (idx > LUA_REGISTRYINDEX) {
    TObject *o = L->top + idx;
    return (o >= L->base) ? o : NULL;
  }
  switch (idx) {
    case LUA_REGISTRYINDEX: return registry(L);
    case LUA_GLOBALSINDEX: return gt(L);
    default: {
      if (L->ci == L->base_ci) return NULL;
      TObject *func = L->base - 1;
      if (!ttisfunction(func) || !clvalue(func)->c.isC) return NULL;
      int n = LUA_GLOBALSINDEX - idx;
      if (n < 1 || n > clvalue(func)->c.nupvalues) return NULL;
      return &clvalue(func)->c.upvalue[n - 1];
    }
  }
}

// The value at idx, or null when the index holds no value.
static TObject *index2adr(lua_State *L, int idx)
{
  if (idx > 0) {
    TObject *o = L->base + (idx - 1);
    return (o < L->top) ? o : NULL;
  }
  if (idx == 0) return NULL;
  return negindex(L, idx);
}

static TObject nonevalue = {LUA_TNIL, {NULL}};

// For operations that need a value: a missing one reads as nil.
static TObject *luaA_index(lua_State *L, int idx)
{
  TObject *o = index2adr(L, idx);
  if (o == NULL) {
    setnilvalue(&nonevalue);
    return &nonevalue;
  }
  return o;
}

static void pushobject(lua_State *L, const TObject *o)
{
  setobj(L->top, o);
  api_incr_top(L);
}

// ---- state ----

lua_CFunction lua_atpanic(lua_State *L, lua_CFunction panicf)
{
  lua_CFunction old = G(L)->panic;
  G(L)->panic = panicf;
  return old;
}

lua_State *lua_newthread(lua_State *L)
{
  luaC_checkGC(L);
  lua_State *L1 = luaE_newthread(L);
  setthvalue(L->top, L1);
  api_incr_top(L);
  return L1;
}

// ---- stack ----

int lua_gettop(lua_State *L) { return (int)(L->top - L->base); }

void lua_settop(lua_State *L, int idx)
{
  if (idx >= 0) {
    if (L->base + idx > L->top) luaD_checkstack(L, (int)(L->base + idx - L->top));
    while (L->top < L->base + idx) setnilvalue(L->top++);
    L->top = L->base + idx;
  } else {
    StkId t = L->top + idx + 1;
    L->top = (t < L->base) ? L->base : t;
  }
}

void lua_remove(lua_State *L, int idx)
{
  StkId p = index2adr(L, idx);
  if (p == NULL || p < L->base || p >= L->top) return;
  while (++p < L->top) setobj(p - 1, p);
  L->top--;
}

void lua_insert(lua_State *L, int idx)
{
  StkId p = index2adr(L, idx);
  if (p == NULL || p < L->base || p >= L->top) return;
  for (StkId q = L->top; q > p; q--) setobj(q, q - 1);
  setobj(p, L->top);
}

void lua_replace(lua_State *L, int idx)
{
  TObject *o = index2adr(L, idx);
  // the globals must stay a table
  if (o != NULL && (idx != LUA_GLOBALSINDEX || ttistable(L->top - 1))) setobj(o, L->top - 1);
  L->top--;
}

void lua_pushvalue(lua_State *L, int idx) { pushobject(L, luaA_index(L, idx)); }

int lua_checkstack(lua_State *L, int size)
{
  if (size < 0 || (L->top - L->base + size) > LUA_MAXCSTACK) return 0;
  luaD_checkstack(L, size);
  if (L->ci->top < L->top + size) L->ci->top = L->top + size;
  return 1;
}

void lua_xmove(lua_State *from, lua_State *to, int n)
{
  if (from == to || n <= 0) return;
  luaD_checkstack(to, n);
  from->top -= n;
  for (int i = 0; i < n; i++) {
    setobj(to->top, from->top + i);
    to->top++;
  }
}

// ---- read and test ----

int lua_type(lua_State *L, int idx)
{
  TObject *o = index2adr(L, idx);
  return (o == NULL) ? LUA_TNONE : ttype(o);
}

const char *lua_typename(lua_State *L, int t)
{
  (void)L;
  return (t < 0 || t >= LUA_NUMTAGS) ? "no value" : luaT_typenames[t];
}

int lua_iscfunction(lua_State *L, int idx)
{
  TObject *o = index2adr(L, idx);
  return (o != NULL) && iscfunction(o);
}

int lua_isnumber(lua_State *L, int idx)
{
  TObject n;
  const TObject *o = index2adr(L, idx);
  return (o != NULL) && tonumber(o, &n);
}

int lua_isstring(lua_State *L, int idx)
{
  int t = lua_type(L, idx);
  return (t == LUA_TSTRING || t == LUA_TNUMBER);
}

int lua_isuserdata(lua_State *L, int idx)
{
  const TObject *o = index2adr(L, idx);
  return (o != NULL) && (ttisuserdata(o) || ttislightuserdata(o));
}

int lua_rawequal(lua_State *L, int index1, int index2)
{
  TObject *o1 = index2adr(L, index1);
  TObject *o2 = index2adr(L, index2);
  return (o1 == NULL || o2 == NULL) ? 0 : luaO_rawequalObj(o1, o2);
}

int lua_equal(lua_State *L, int index1, int index2)
{
  TObject *o1 = index2adr(L, index1);
  TObject *o2 = index2adr(L, index2);
  return (o1 == NULL || o2 == NULL) ? 0 : equalobj(L, o1, o2);
}

int lua_lessthan(lua_State *L, int index1, int index2, int casesensitive)
{
  TObject *o1 = index2adr(L, index1);
  TObject *o2 = index2adr(L, index2);
  return (o1 == NULL || o2 == NULL) ? 0 : luaV_lessthan(L, o1, o2, casesensitive);
}

lua_Number lua_tonumber(lua_State *L, int idx)
{
  TObject n;
  const TObject *o = index2adr(L, idx);
  if (o != NULL && tonumber(o, &n)) return nvalue(o);
  return 0;
}

int lua_toboolean(lua_State *L, int idx)
{
  const TObject *o = index2adr(L, idx);
  return (o != NULL) && !(ttisnil(o) || (ttisboolean(o) && bvalue(o) == 0));
}

const char *lua_tostring(lua_State *L, int idx)
{
  StkId o = index2adr(L, idx);
  if (o == NULL) return NULL;
  if (ttisstring(o)) return svalue(o);
  if (ttisnumber(o) || ttisnil(o)) {
    luaC_checkGC(L);
    o = index2adr(L, idx);  // the collector may have moved the stack
    if (o != NULL && luaV_tostring(L, o)) return svalue(o);
  }
  return NULL;
}

size_t lua_strlen(lua_State *L, int idx)
{
  StkId o = index2adr(L, idx);
  if (o == NULL) return 0;
  if (ttisstring(o)) return tsvalue(o)->len;
  if (ttisnumber(o) && luaV_tostring(L, o)) return tsvalue(o)->len;
  return 0;
}

lua_CFunction lua_tocfunction(lua_State *L, int idx)
{
  StkId o = index2adr(L, idx);
  return (o == NULL || !iscfunction(o)) ? NULL : clvalue(o)->c.f;
}

void *lua_touserdata(lua_State *L, int idx)
{
  StkId o = index2adr(L, idx);
  if (o == NULL) return NULL;
  switch (ttype(o)) {
    case LUA_TUSERDATA: return getudata(uvalue(o));
    case LUA_TLIGHTUSERDATA: return pvalue(o);
    default: return NULL;
  }
}

lua_State *lua_tothread(lua_State *L, int idx)
{
  StkId o = index2adr(L, idx);
  return (o == NULL || !ttisthread(o)) ? NULL : thvalue(o);
}

const void *lua_topointer(lua_State *L, int idx)
{
  StkId o = index2adr(L, idx);
  if (o == NULL) return NULL;
  switch (ttype(o)) {
    case LUA_TTABLE: return hvalue(o);
    case LUA_TFUNCTION: return clvalue(o);
    case LUA_TTHREAD: return thvalue(o);
    case LUA_TUSERDATA:
    case LUA_TLIGHTUSERDATA: return lua_touserdata(L, idx);
    default: return NULL;
  }
}

// ---- push ----

void lua_pushnil(lua_State *L)
{
  setnilvalue(L->top);
  api_incr_top(L);
}

void lua_pushnumber(lua_State *L, lua_Number n)
{
  setnvalue(L->top, n);
  api_incr_top(L);
}

void lua_pushlstring(lua_State *L, const char *s, size_t len)
{
  luaC_checkGC(L);
  setsvalue(L->top, luaS_newlstr(L, s, len));
  api_incr_top(L);
}

void lua_pushstring(lua_State *L, const char *s)
{
  if (s == NULL)
    lua_pushnil(L);
  else
    lua_pushlstring(L, s, strlen(s));
}

void lua_pushstringnogc(lua_State *L, const char *s)
{
  setsvalue(L->top, luaS_newlstr(L, s, strlen(s)));
  api_incr_top(L);
}

// Formats into the global state's scratch buffer, then interns the text.
static char *fmtspace(lua_State *L, size_t need)
{
  Mbuffer *b = &G(L)->buff;
  if (need > b->size) {
    size_t n = need * 2;
    b->buffer = (char *)luaM_realloc(L, b->buffer, b->size, n);
    b->size = n;
  }
  return b->buffer;
}

static void fmtput(lua_State *L, size_t *len, const char *s, size_t n)
{
  char *buf = fmtspace(L, *len + n + 1);
  memcpy(buf + *len, s, n);
  *len += n;
}

const char *lua_pushvfstring(lua_State *L, const char *fmt, va_list argp)
{
  luaC_checkGC(L);
  size_t len = 0;
  for (const char *p = fmt; *p; p++) {
    if (*p != '%' || p[1] == 0) {
      fmtput(L, &len, p, 1);
      continue;
    }
    char tmp[64];
    int n;
    p++;
    switch (*p) {
      case 's': {
        const char *s = va_arg(argp, const char *);
        if (s == NULL) s = "(null)";
        fmtput(L, &len, s, strlen(s));
        break;
      }
      case 'd':
        n = snprintf(tmp, sizeof(tmp), "%d", va_arg(argp, int));
        fmtput(L, &len, tmp, (size_t)n);
        break;
      case 'f':
        n = snprintf(tmp, sizeof(tmp), "%.14g", va_arg(argp, double));
        fmtput(L, &len, tmp, (size_t)n);
        break;
      case 'c':
        tmp[0] = (char)va_arg(argp, int);
        fmtput(L, &len, tmp, 1);
        break;
      case '%':
        fmtput(L, &len, "%", 1);
        break;
      default:
        tmp[0] = '%';
        tmp[1] = *p;
        fmtput(L, &len, tmp, 2);
        break;
    }
  }
  TString *ts = luaS_newlstr(L, len ? G(L)->buff.buffer : "", len);
  setsvalue(L->top, ts);
  api_incr_top(L);
  return getstr(ts);
}

const char *lua_pushfstring(lua_State *L, const char *fmt, ...)
{
  va_list argp;
  va_start(argp, fmt);
  const char *ret = lua_pushvfstring(L, fmt, argp);
  va_end(argp);
  return ret;
}

void lua_pushcclosure(lua_State *L, lua_CFunction fn, int n)
{
  luaC_checkGC(L);
  Closure *cl = luaF_newCclosure(L, n);
  cl->c.f = fn;
  L->top -= n;
  while (n--) setobj(&cl->c.upvalue[n], L->top + n);
  setclvalue(L->top, cl);
  api_incr_top(L);
}

void lua_pushboolean(lua_State *L, int b)
{
  setbvalue(L->top, (b != 0));
  api_incr_top(L);
}

void lua_pushlightuserdata(lua_State *L, void *p)
{
  setpvalue(L->top, p);
  api_incr_top(L);
}

// ---- tables ----

void lua_gettable(lua_State *L, int idx)
{
  StkId t = luaA_index(L, idx);
  luaV_gettable(L, t, L->top - 1, L->top - 1, 0);
}

void lua_rawget(lua_State *L, int idx)
{
  StkId t = luaA_index(L, idx);
  if (ttistable(t))
    setobj(L->top - 1, luaH_get(hvalue(t), L->top - 1));
  else
    setnilvalue(L->top - 1);
}

void lua_rawgeti(lua_State *L, int idx, int n)
{
  StkId o = luaA_index(L, idx);
  if (ttistable(o))
    setobj(L->top, luaH_getnum(hvalue(o), n));
  else
    setnilvalue(L->top);
  api_incr_top(L);
}

void lua_newtable(lua_State *L)
{
  luaC_checkGC(L);
  sethvalue(L->top, luaH_new(L, 0, 0));
  api_incr_top(L);
}

void lua_newtablenogc(lua_State *L)
{
  sethvalue(L->top, luaH_new(L, 0, 0));
  api_incr_top(L);
}

void *lua_newuserdata(lua_State *L, size_t size)
{
  luaC_checkGC(L);
  Udata *u = luaS_newudata(L, size);
  setuvalue(L->top, u);
  api_incr_top(L);
  return getudata(u);
}

int lua_getmetatable(lua_State *L, int objindex)
{
  const TObject *obj = index2adr(L, objindex);
  Table *mt = NULL;
  if (obj != NULL) {
    if (ttistable(obj))
      mt = hvalue(obj)->metatable;
    else if (ttisuserdata(obj))
      mt = uvalue(obj)->metatable;
  }
  if (mt == NULL || mt == hvalue(defaultmeta(L))) return 0;
  sethvalue(L->top, mt);
  api_incr_top(L);
  return 1;
}

void lua_getfenv(lua_State *L, int idx)
{
  StkId o = luaA_index(L, idx);
  if (isLfunction(o))
    setobj(L->top, &clvalue(o)->l.g);
  else
    setobj(L->top, gt(L));
  api_incr_top(L);
}

void lua_settable(lua_State *L, int idx)
{
  StkId t = luaA_index(L, idx);
  luaV_settable(L, t, L->top - 2, L->top - 1);
  L->top -= 2;
}

void lua_rawset(lua_State *L, int idx)
{
  StkId t = luaA_index(L, idx);
  if (ttistable(t)) setobj(luaH_set(L, hvalue(t), L->top - 2), L->top - 1);
  L->top -= 2;
}

void lua_rawseti(lua_State *L, int idx, int n)
{
  StkId o = luaA_index(L, idx);
  if (ttistable(o)) setobj(luaH_setnum(L, hvalue(o), n), L->top - 1);
  L->top--;
}

int lua_setmetatable(lua_State *L, int objindex)
{
  TObject *obj = luaA_index(L, objindex);
  TObject *mt = L->top - 1;
  Table *t;
  if (ttisnil(mt))
    t = hvalue(defaultmeta(L));
  else if (ttistable(mt))
    t = hvalue(mt);
  else {
    L->top--;
    return 0;
  }
  int res = 1;
  if (ttistable(obj))
    hvalue(obj)->metatable = t;
  else if (ttisuserdata(obj))
    uvalue(obj)->metatable = t;
  else
    res = 0;
  L->top--;
  return res;
}

int lua_setfenv(lua_State *L, int idx)
{
  StkId o = luaA_index(L, idx);
  int res = 0;
  if (isLfunction(o) && ttistable(L->top - 1)) {
    setobj(&clvalue(o)->l.g, L->top - 1);
    res = 1;
  }
  L->top--;
  return res;
}

int lua_next(lua_State *L, int idx)
{
  StkId t = luaA_index(L, idx);
  if (!ttistable(t)) {
    L->top--;
    return 0;
  }
  int more = luaH_next(L, hvalue(t), L->top - 1);
  if (more)
    api_incr_top(L);
  else
    L->top--;
  return more;
}

void lua_concat(lua_State *L, int n)
{
  if (n >= 2) {
    luaC_checkGC(L);
    luaV_concat(L, n, (int)(L->top - L->base) - 1);
    L->top -= (n - 1);
  } else if (n == 0) {
    luaC_checkGC(L);
    setsvalue(L->top, luaS_newlstr(L, "", 0));
    api_incr_top(L);
  }
}

int lua_pushupvalues(lua_State *L)
{
  if (L->ci == L->base_ci) return 0;
  TObject *func = L->base - 1;
  if (!ttisfunction(func) || !clvalue(func)->c.isC) return 0;
  int n = clvalue(func)->c.nupvalues;
  luaD_checkstack(L, n + LUA_MINSTACK);
  func = L->base - 1;
  for (int i = 0; i < n; i++) {
    setobj(L->top, &clvalue(func)->c.upvalue[i]);
    L->top++;
  }
  return n;
}

static const char *aux_upvalue(lua_State *L, int funcindex, int n, TObject **val)
{
  StkId fi = index2adr(L, funcindex);
  if (fi == NULL || !ttisfunction(fi)) return NULL;
  Closure *f = clvalue(fi);
  if (f->c.isC) {
    if (n < 1 || n > f->c.nupvalues) return NULL;
    *val = &f->c.upvalue[n - 1];
    return "";
  }
  Proto *p = f->l.p;
  if (n < 1 || n > f->l.nupvalues) return NULL;
  *val = f->l.upvals[n - 1]->v;
  return (n <= p->sizeupvalues && p->upvalues[n - 1]) ? getstr(p->upvalues[n - 1]) : "";
}

const char *lua_getupvalue(lua_State *L, int funcindex, int n)
{
  TObject *val;
  const char *name = aux_upvalue(L, funcindex, n, &val);
  if (name) pushobject(L, val);
  return name;
}

const char *lua_setupvalue(lua_State *L, int funcindex, int n)
{
  TObject *val;
  const char *name = aux_upvalue(L, funcindex, n, &val);
  if (name) {
    L->top--;
    setobj(val, L->top);
  }
  return name;
}

// ---- calls ----

int lua_call(lua_State *L, int nargs, int nresults)
{
  StkId func = L->top - (nargs + 1);
  return luaD_call(L, func, nresults);
}

struct CallS {
  StkId func;
  int nresults;
};

static void f_call(lua_State *L, void *ud)
{
  CallS *c = (CallS *)ud;
  luaD_call(L, c->func, c->nresults);
}

int lua_pcall(lua_State *L, int nargs, int nresults, int errfunc)
{
  ptrdiff_t func = 0;
  if (errfunc != 0) {
    TObject *o = index2adr(L, errfunc);
    func = (o != NULL) ? savestack(L, o) : 0;
  }
  CallS c;
  c.func = L->top - (nargs + 1);
  c.nresults = nresults;
  return luaD_pcall(L, f_call, &c, savestack(L, c.func), func);
}

struct CCallS {
  lua_CFunction func;
  void *ud;
};

static void f_Ccall(lua_State *L, void *ud)
{
  CCallS *c = (CCallS *)ud;
  Closure *cl = luaF_newCclosure(L, 0);
  cl->c.f = c->func;
  setclvalue(L->top, cl);
  incr_top(L);
  setpvalue(L->top, c->ud);
  incr_top(L);
  luaD_call(L, L->top - 2, 0);
}

int lua_cpcall(lua_State *L, lua_CFunction func, void *ud)
{
  CCallS c;
  c.func = func;
  c.ud = ud;
  return luaD_pcall(L, f_Ccall, &c, savestack(L, L->top), 0);
}

[[noreturn]] void lua_error(lua_State *L, int code) { luaG_runerror(L, code); }

// ---- collector ----

int lua_getgcthreshold(lua_State *L) { return (int)(G(L)->GCthreshold >> 10); }

int lua_getgccount(lua_State *L) { return (int)(G(L)->nblocks >> 10); }

void lua_setgcthreshold(lua_State *L, int newthreshold)
{
  if (newthreshold < 0) newthreshold = 0;
  G(L)->GCthreshold = (lu_mem)newthreshold << 10;
  luaC_checkGC(L);
}

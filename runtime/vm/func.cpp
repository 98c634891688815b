// Closures, upvalues and prototypes.
#include "runtime/vm/func.h"

#include <string.h>

#include "runtime/vm/gc.h"
#include "runtime/vm/state.h"
#include "runtime/vm/vmmemory.h"

Closure *luaF_newCclosure(lua_State *L, int nelems) {
  Closure *c = (Closure *)luaM_malloc(L, sizeCclosure(nelems));
  luaC_link(L, valtogco(c), LUA_TFUNCTION);
  c->c.isC = 1;
  c->c.nupvalues = (lu_byte)nelems;
  c->c.gclist = NULL;
  c->c.f = NULL;
  for (int i = 0; i < nelems; i++) setnilvalue(&c->c.upvalue[i]);
  return c;
}

Closure *luaF_newLclosure(lua_State *L, int nelems, const TObject *e) {
  Closure *c = (Closure *)luaM_malloc(L, sizeLclosure(nelems));
  luaC_link(L, valtogco(c), LUA_TFUNCTION);
  c->l.isC = 0;
  c->l.nupvalues = (lu_byte)nelems;
  c->l.gclist = NULL;
  c->l.p = NULL;
  setobj(&c->l.g, e);
  for (int i = 0; i < nelems; i++) c->l.upvals[i] = NULL;
  return c;
}

Proto *luaF_newproto(lua_State *L) {
  Proto *f = luaM_new(L, Proto);
  memset((void *)f, 0, sizeof(Proto));
  luaC_link(L, valtogco(f), LUA_TPROTO);
  return f;
}

UpVal *luaF_findupval(lua_State *L, StkId level) {
  GCObject **pp = &L->openupval;
  UpVal *p;
  while ((p = ngcotouv(*pp)) != NULL && p->v >= level) {
    if (p->v == level) return p;
    pp = &p->next;
  }
  UpVal *v = luaM_new(L, UpVal);
  v->tt = LUA_TUPVAL;
  v->marked = 1;  // open upvalues are not in the root list and are never swept
  v->v = level;
  setnilvalue(&v->value);
  v->next = *pp;  // insert in order, highest slot first
  *pp = valtogco(v);
  return v;
}

void luaF_close(lua_State *L, StkId level) {
  UpVal *p;
  while ((p = ngcotouv(L->openupval)) != NULL && p->v >= level) {
    setobj(&p->value, p->v);
    p->v = &p->value;
    L->openupval = p->next;
    luaC_link(L, valtogco(p), LUA_TUPVAL);
    // Marked, so that an upvalue closed while the collector sweeps (a dead
    // thread being freed) survives that sweep; a live closure re-marks it.
    p->marked = 1;
  }
}

void luaF_freeproto(lua_State *L, Proto *f) {
  luaM_freearray(L, f->code, f->sizecode, Instruction);
  luaM_freearray(L, f->p, f->sizep, Proto *);
  luaM_freearray(L, f->k, f->sizek, TObject);
  luaM_freearray(L, f->lineinfo, f->sizelineinfo, int);
  luaM_freearray(L, f->locvars, f->sizelocvars, LocVar);
  luaM_freearray(L, f->upvalues, f->sizeupvalues, TString *);
  luaM_freelem(L, f);
}

void luaF_freeclosure(lua_State *L, Closure *c) {
  size_t size = c->c.isC ? sizeCclosure(c->c.nupvalues) : sizeLclosure(c->l.nupvalues);
  luaM_free(L, c, size);
}

const char *luaF_getlocalname(const Proto *f, int local_number, int pc) {
  for (int i = 0; i < f->sizelocvars && f->locvars[i].startpc <= pc; i++) {
    if (pc < f->locvars[i].endpc) {  // the variable is active
      local_number--;
      if (local_number == 0) return getstr(f->locvars[i].varname);
    }
  }
  return NULL;
}

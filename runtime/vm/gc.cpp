// Stop-the-world mark-and-sweep collector with weak tables and finalisers.
// Grey objects (tables, closures, threads, prototypes) wait on a list linked
// through their gclist field; weak tables are kept on G(L)->weak after their
// traversal. Strings are marked wherever they appear and are never weak.
#include "runtime/vm/gc.h"

#include <string.h>

#include "runtime/vm/calls.h"
#include "runtime/vm/func.h"
#include "runtime/vm/state.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/tagmethods.h"
#include "runtime/vm/vmmemory.h"


#define MARKMASK (1 << MARKBIT)
#define FIXEDMASK (1 << FIXEDBIT)
#define FINALMASK (1 << FINALBIT)
#define WEAKMASK (KEYWEAK | VALUEWEAK)

struct GCState {
  GCObject *gray;  // objects marked but not yet traversed
  global_State *g;
};

static void reallymarkobject(GCState *st, GCObject *o);

#define markobject(st, o)                                               \
  do {                                                                  \
    GCObject *m_o = (GCObject *)(o);                                    \
    if (m_o != NULL && !ismarked(m_o)) reallymarkobject(st, m_o);      \
  } while (0)

#define markvalue(st, v)                                                     \
  do {                                                                       \
    const TObject *m_v = (v);                                                \
    if (iscollectable(m_v) && !ismarked(gcvalue(m_v))) reallymarkobject(st, gcvalue(m_v)); \
  } while (0)

static void reallymarkobject(GCState *st, GCObject *o) {
  o->gch.marked |= MARKMASK;
  switch (o->gch.tt) {
    case LUA_TSTRING:
      break;
    case LUA_TUSERDATA:
      markobject(st, gcotou(o)->metatable);
      break;
    case LUA_TUPVAL:
      markvalue(st, gcotouv(o)->v);
      break;
    case LUA_TFUNCTION:
      gcotocl(o)->c.gclist = st->gray;
      st->gray = o;
      break;
    case LUA_TTABLE:
      gcotoh(o)->gclist = st->gray;
      st->gray = o;
      break;
    case LUA_TTHREAD:
      gcototh(o)->gclist = st->gray;
      st->gray = o;
      break;
    case LUA_TPROTO:
      gcotop(o)->gclist = st->gray;
      st->gray = o;
      break;
    default:
      break;
  }
}

// ---- traversal ----

static void traversetable(GCState *st, Table *h) {
  int weakkey = 0, weakvalue = 0;
  markobject(st, h->metatable);
  h->marked &= (lu_byte)~WEAKMASK;
  const TObject *mode = gfasttm(st->g, h->metatable, TM_MODE);
  if (mode != NULL && ttisstring(mode)) {
    weakkey = strchr(svalue(mode), 'k') != NULL;
    weakvalue = strchr(svalue(mode), 'v') != NULL;
    if (weakkey || weakvalue) {
      h->marked |= (lu_byte)((weakkey ? KEYWEAK : 0) | (weakvalue ? VALUEWEAK : 0));
      h->gclist = st->g->weak;
      st->g->weak = valtogco(h);
    }
  }
  for (int i = 0; i < h->sizearray; i++) {
    const TObject *v = &h->array[i];
    if (!weakvalue || ttisstring(v)) markvalue(st, v);
  }
  if (h->lsizenode > 0) {
    for (int i = sizenode(h) - 1; i >= 0; i--) {
      Node *n = &h->node[i];
      if (ttisnil(gval(n))) continue;  // free or removed: its key is not followed
      if (!weakkey || ttisstring(gkey(n))) markvalue(st, gkey(n));
      if (!weakvalue || ttisstring(gval(n))) markvalue(st, gval(n));
    }
  }
}

static void traverseproto(GCState *st, Proto *f) {
  markobject(st, f->source);
  for (int i = 0; i < f->sizek; i++) {
    if (ttisstring(&f->k[i])) markvalue(st, &f->k[i]);
  }
  for (int i = 0; i < f->sizeupvalues; i++) markobject(st, f->upvalues[i]);
  for (int i = 0; i < f->sizep; i++) markobject(st, f->p[i]);
  for (int i = 0; i < f->sizelocvars; i++) markobject(st, f->locvars[i].varname);
}

static void traverseclosure(GCState *st, Closure *cl) {
  if (cl->c.isC) {
    for (int i = 0; i < cl->c.nupvalues; i++) markvalue(st, &cl->c.upvalue[i]);
    return;
  }
  markobject(st, cl->l.p);
  markvalue(st, &cl->l.g);
  for (int i = 0; i < cl->l.nupvalues; i++) {
    UpVal *u = cl->l.upvals[i];
    if (u == NULL) continue;  // closure still being built
    // Always follow the value: an open upvalue's slot may belong to an
    // unreachable thread, and a closed one may carry a stale mark.
    u->marked |= MARKMASK;
    markvalue(st, u->v);
  }
}

// Halves the call-record array and the stack when they are mostly unused.
static void checkstacksizes(lua_State *L, StkId max) {
  int ci_used = (int)(L->ci - L->base_ci);
  if (4 * ci_used < L->size_ci && 2 * BASIC_CI_SIZE < L->size_ci) luaD_reallocCI(L, L->size_ci / 2);
  int s_used = (int)(max - L->stack);
  if (4 * s_used < L->stacksize && 2 * (BASIC_STACK_SIZE + EXTRA_STACK) < L->stacksize)
    luaD_reallocstack(L, L->stacksize / 2);
}

static void traversestack(GCState *st, lua_State *L1) {
  markvalue(st, gt(L1));
  if (L1->stack == NULL) return;  // thread still being created
  StkId o;
  for (o = L1->stack; o < L1->top; o++) markvalue(st, o);
  StkId lim = L1->top;
  for (CallInfo *ci = L1->base_ci; ci <= L1->ci; ci++) {
    if (lim < ci->top) lim = ci->top;
  }
  if (lim > L1->stack_last + EXTRA_STACK) lim = L1->stack_last + EXTRA_STACK;
  for (; o <= lim; o++) setnilvalue(o);  // dead slots above the top
  checkstacksizes(L1, lim);
}

static void propagatemarks(GCState *st) {
  while (st->gray) {
    GCObject *o = st->gray;
    switch (o->gch.tt) {
      case LUA_TTABLE:
        st->gray = gcotoh(o)->gclist;
        traversetable(st, gcotoh(o));
        break;
      case LUA_TFUNCTION:
        st->gray = gcotocl(o)->c.gclist;
        traverseclosure(st, gcotocl(o));
        break;
      case LUA_TTHREAD:
        st->gray = gcototh(o)->gclist;
        traversestack(st, gcototh(o));
        break;
      case LUA_TPROTO:
        st->gray = gcotop(o)->gclist;
        traverseproto(st, gcotop(o));
        break;
      default:
        st->gray = NULL;  // cannot happen: only the kinds above are grey
        break;
    }
  }
}

// ---- weak tables ----

// True for a collectable value that is about to be collected (strings never).
static int iscleared(const TObject *o) {
  if (!iscollectable(o) || ttisstring(o)) return 0;
  return !ismarked(gcvalue(o));
}

static void clearweaktables(global_State *g) {
  for (GCObject *w = g->weak; w != NULL; w = gcotoh(w)->gclist) {
    Table *h = gcotoh(w);
    if (h->marked & VALUEWEAK) {
      for (int i = 0; i < h->sizearray; i++) {
        if (iscleared(&h->array[i])) setnilvalue(&h->array[i]);
      }
    }
    if (h->lsizenode == 0) continue;
    for (int i = sizenode(h) - 1; i >= 0; i--) {
      Node *n = &h->node[i];
      if (ttisnil(gval(n))) continue;
      if (((h->marked & KEYWEAK) && iscleared(gkey(n))) || ((h->marked & VALUEWEAK) && iscleared(gval(n))))
        setnilvalue(gval(n));  // the entry is removed; its dead key is never followed again
    }
  }
  g->weak = NULL;
}

// ---- finalisers ----

size_t luaC_separateudata(lua_State *L, int all) {
  global_State *g = G(L);
  size_t deadmem = 0;
  GCObject **p = &g->rootudata;
  GCObject *collected = NULL;
  GCObject **lastcollected = &collected;
  GCObject *curr;
  while ((curr = *p) != NULL) {
    Udata *u = gcotou(curr);
    if ((!all && (curr->gch.marked & MARKMASK)) || (curr->gch.marked & FIXEDMASK) ||
        !(curr->gch.marked & FINALMASK) || fasttm(L, u->metatable, TM_GC) == NULL) {
      p = &curr->gch.next;
      continue;
    }
    deadmem += sizeudata(u->len);
    *p = curr->gch.next;
    curr->gch.next = NULL;  // append at the end of `collected`, keeping the order
    *lastcollected = curr;
    lastcollected = &curr->gch.next;
  }
  *lastcollected = g->tmudata;  // in front of those already waiting
  g->tmudata = collected;
  return deadmem;
}

static void marktmu(GCState *st) {
  for (GCObject *u = st->g->tmudata; u != NULL; u = u->gch.next) reallymarkobject(st, u);
}

void luaC_callGCTM(lua_State *L) {
  global_State *g = G(L);
  if (g->gcfinalising) return;  // the running pass takes the rest
  g->gcfinalising = 1;
  lu_byte oldah = L->allowhook;
  L->allowhook = 0;  // no hooks inside finalisers
  while (g->tmudata != NULL) {
    GCObject *o = g->tmudata;
    Udata *udata = gcotou(o);
    g->tmudata = udata->next;  // back to the userdata list
    udata->next = g->rootudata;
    g->rootudata = o;
    udata->marked &= (lu_byte)~(FINALMASK | MARKMASK);  // finalised once only; unswept mark dropped
    const TObject *tm = fasttm(L, udata->metatable, TM_GC);
    if (tm != NULL) {
      if ((char *)L->stack_last - (char *)L->top <= (ptrdiff_t)(2 * sizeof(TObject))) {
        g->gcfinalising = 0;  // a raise here leaves the rest for the next pass
        luaD_growstack(L, 2);
        g->gcfinalising = 1;
      }
      setobj2s(L->top, tm);
      setuvalue(L->top + 1, udata);
      L->top += 2;
      g->gcfinalising = 0;  // an error in the finaliser propagates from here
      luaD_call(L, L->top - 2, 0);
      g->gcfinalising = 1;
    }
  }
  L->allowhook = oldah;
  g->gcfinalising = 0;
}

// ---- sweep ----

static void sweeplist(lua_State *L, GCObject **p, int all) {
  GCObject *curr;
  while ((curr = *p) != NULL) {
    if (!all && (curr->gch.marked & (MARKMASK | FIXEDMASK))) {
      curr->gch.marked &= (lu_byte)~MARKMASK;
      p = &curr->gch.next;
    } else {
      *p = curr->gch.next;
      luaC_freeobj(L, curr);
    }
  }
}

// Frees the unmarked strings; each bucket's summary is recomputed from the strings left.
static void sweepstrings(lua_State *L) {
  stringtable *tb = &G(L)->strt;
  uint32_t *tags = strtags(tb);
  for (int i = 0; i < tb->size; i++) {
    luaS_prefetchchains(tb, i);
    uint32_t tag = 0;
    GCObject **p = &tb->hash[i];
    GCObject *curr;
    while ((curr = *p) != NULL) {
      if (curr->gch.marked & (MARKMASK | FIXEDMASK)) {
        curr->gch.marked &= (lu_byte)~MARKMASK;
        tag |= luaS_tagbit(gcotots(curr)->hash);
        p = &curr->gch.next;
      } else {
        *p = curr->gch.next;
        luaC_freeobj(L, curr);
      }
    }
    tags[i] = tag;
  }
}

// Frees every string and the bucket array at close. The bucket array goes first: a large
// block freed after a great many small ones makes the C allocator merge all of those at once,
// which costs more than freeing the strings themselves. The strings are first linked into
// FREELISTS lists (bucket i into list i % FREELISTS), then freed a string of each list in
// turn, each list's next string fetched ahead while the others are freed.
#define FREELISTS 16
static void freeallstrings(lua_State *L) {
  stringtable *tb = &G(L)->strt;
  GCObject *lists[FREELISTS] = {NULL};
  for (int i = 0; i < tb->size; i++) {
    luaS_prefetchchains(tb, i);
    GCObject **list = &lists[i % FREELISTS];
    GCObject *p = tb->hash[i];
    while (p != NULL) {
      GCObject *next = p->gch.next;
      p->gch.next = *list;
      *list = p;
      p = next;
    }
  }
  luaS_freeall(L);
  for (int left = 1; left;) {
    left = 0;
    for (int k = 0; k < FREELISTS; k++) {
      GCObject *o = lists[k];
      if (o == NULL) continue;
      lists[k] = o->gch.next;
#if defined(__GNUC__)
      if (lists[k] != NULL) __builtin_prefetch(lists[k]);  // wanted FREELISTS strings later
#endif
      luaC_freeobj(L, o);
      left = 1;
    }
  }
}

void luaC_sweep(lua_State *L, int all) {
  global_State *g = G(L);
  if (all) {
    // Freeing a thread closes its upvalues into rootgc: sweep until empty.
    while (g->rootgc != NULL || g->rootudata != NULL || g->tmudata != NULL) {
      sweeplist(L, &g->tmudata, 1);
      sweeplist(L, &g->rootudata, 1);
      sweeplist(L, &g->rootgc, 1);
    }
  } else {
    sweeplist(L, &g->rootudata, 0);
    sweeplist(L, &g->rootgc, 0);
  }
  if (all)
    freeallstrings(L);
  else
    sweepstrings(L);
}

void luaC_freeobj(lua_State *L, GCObject *o) {
  switch (o->gch.tt) {
    case LUA_TSTRING:
      G(L)->strt.nuse--;
      luaM_free(L, o, sizestring(gcotots(o)->len));
      break;
    case LUA_TTABLE:
      luaH_free(L, gcotoh(o));
      break;
    case LUA_TFUNCTION:
      luaF_freeclosure(L, gcotocl(o));
      break;
    case LUA_TUSERDATA:
      luaM_free(L, o, sizeudata(gcotou(o)->len));
      break;
    case LUA_TTHREAD:
      luaE_freethread(L, gcototh(o));
      break;
    case LUA_TPROTO:
      luaF_freeproto(L, gcotop(o));
      break;
    case LUA_TUPVAL:
      luaM_freelem(L, gcotouv(o));
      break;
    default:
      break;
  }
}

// ---- collection ----

static void checkSizes(lua_State *L) {
  global_State *g = G(L);
  if (g->strt.nuse < (uint32_t)(g->strt.size / 4) && g->strt.size > MINSTRTABSIZE * 2)
    luaS_tryresize(L, g->strt.size / 2);  // shrinking is optional: no raise inside the collector
  if (g->buff.size > 64) {  // halve the concatenation buffer
    size_t newsize = g->buff.size / 2;
    g->buff.buffer = (char *)luaM_tryrealloc(L, g->buff.buffer, g->buff.size, newsize);
    g->buff.size = newsize;
  }
}

static void markroot(GCState *st, lua_State *L) {
  global_State *g = st->g;
  markvalue(st, defaultmeta(L));
  markvalue(st, registry(L));
  reallymarkobject(st, valtogco(g->mainthread));  // never swept: its mark is cleared below
  if (L != g->mainthread) markobject(st, L);
}

static size_t mark(lua_State *L) {
  GCState st;
  st.gray = NULL;
  st.g = G(L);
  st.g->weak = NULL;
  markroot(&st, L);
  propagatemarks(&st);
  size_t deadmem = luaC_separateudata(L, 0);
  marktmu(&st);
  propagatemarks(&st);
  clearweaktables(st.g);
  return deadmem;
}

void luaC_collectgarbage(lua_State *L) {
  global_State *g = G(L);
  size_t deadmem = mark(L);
  luaC_sweep(L, 0);
  g->mainthread->marked &= (lu_byte)~MARKMASK;
  checkSizes(L);
  g->GCthreshold = 2 * g->nblocks - deadmem;
  luaC_callGCTM(L);
}

void luaC_link(lua_State *L, GCObject *o, lu_byte tt) {
  o->gch.next = G(L)->rootgc;
  G(L)->rootgc = o;
  o->gch.marked = 0;
  o->gch.tt = tt;
}

// Creation and closing of the interpreter state and of threads.
#include "runtime/vm/state.h"

#include <string.h>

#include "runtime/vm/calls.h"
#include "runtime/vm/func.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/tagmethods.h"
#include "runtime/vm/vmmemory.h"


// The default panic function: does nothing (the caller ends the process).
static int default_panic(lua_State *L) {
  return 0;
}

static void stack_init(lua_State *L1, lua_State *L) {
  L1->base_ci = luaM_newvector(L, BASIC_CI_SIZE, CallInfo);
  memset((void *)L1->base_ci, 0, BASIC_CI_SIZE * sizeof(CallInfo));
  L1->ci = L1->base_ci;
  L1->size_ci = BASIC_CI_SIZE;
  L1->end_ci = L1->base_ci + L1->size_ci;
  int size = BASIC_STACK_SIZE + EXTRA_STACK;
  TObject *stack = luaM_newvector(L, size, TObject);
  for (int i = 0; i < size; i++) setnilvalue(&stack[i]);
  L1->stack = stack;
  L1->stacksize = size;
  L1->top = L1->stack;
  L1->stack_last = L1->stack + (L1->stacksize - EXTRA_STACK) - 1;
  // The first record: a native frame whose base is slot 1.
  L1->ci->state = CI_C;
  setnilvalue(L1->top++);
  L1->base = L1->ci->base = L1->top;
  L1->ci->top = L1->top + LUA_MINSTACK;
}

static void freestack(lua_State *L, lua_State *L1) {
  luaM_freearray(L, L1->base_ci, L1->size_ci, CallInfo);
  luaM_freearray(L, L1->stack, L1->stacksize, TObject);
  L1->base_ci = NULL;
  L1->stack = NULL;
}

static void preinit_state(lua_State *L) {
  L->stack = NULL;
  L->stacksize = 0;
  L->errorJmp = NULL;
  L->hook = NULL;
  L->hookmask = 0;
  L->hookinit = 0;
  L->basehookcount = 0;
  L->allowhook = 1;
  L->hookcount = 0;
  L->openupval = NULL;
  L->size_ci = 0;
  L->nCcalls = 0;
  L->base_ci = L->ci = NULL;
  L->end_ci = NULL;
  L->top = L->base = L->stack_last = NULL;
  L->errfunc = 0;
  L->gclist = NULL;
  setnilvalue(gt(L));
}

// Builds the global state inside a protected call: any failure raises 1000.
static void f_luaopen(lua_State *L, void *ud) {
  global_State *g = (global_State *)luaM_malloc(L, sizeof(global_State));
  memset((void *)g, 0, sizeof(global_State));
  L->l_G = g;
  g->mainthread = L;
  g->panic = default_panic;
  g->nblocks = LUA_STATE_SIZE;
  g->GCthreshold = 0;
  setnilvalue(&g->registry);
  setnilvalue(&g->defaultmeta);
  setnilvalue(gkey(g->dummynode));
  setnilvalue(gval(g->dummynode));
  g->dummynode->next = 0;
  stack_init(L, L);
  // The default metatable is its own metatable.
  Table *dm = luaH_new(L, 0, 0);
  dm->metatable = dm;
  sethvalue(&g->defaultmeta, dm);
  sethvalue(gt(L), luaH_new(L, 0, 4));         // globals: 16 nodes
  sethvalue(registry(L), luaH_new(L, 4, 4));   // registry: array of 4, 16 nodes
  luaS_resize(L, MINSTRTABSIZE);
  luaT_init(L);
  luaS_fix(luaS_newliteral(L, "not enough memory"));
  g->GCthreshold = 4 * g->nblocks;
}

// Frees everything of a state whose objects are no longer needed.
static void close_state(lua_State *L) {
  global_State *g = G(L);
  if (g != NULL) {
    if (L->stack != NULL) luaF_close(L, L->stack);
    luaC_sweep(L, 1);
    luaS_freeall(L);
    luaM_freearray(L, g->buff.buffer, g->buff.size, char);
    g->buff.buffer = NULL;
  }
  freestack(L, L);
  if (g != NULL) luaM_realloc(NULL, g, sizeof(global_State), 0);
  luaM_realloc(NULL, L, sizeof(lua_State), 0);
}

lua_State *luaE_newthread(lua_State *L) {
  lua_State *L1 = (lua_State *)luaM_malloc(L, sizeof(lua_State));
  preinit_state(L1);
  L1->l_G = G(L);
  luaC_link(L, valtogco(L1), LUA_TTHREAD);
  stack_init(L1, L);  // a failure leaves a linked thread without stack, freed later
  setobj2n(gt(L1), gt(L));  // shares the globals
  return L1;
}

void luaE_freethread(lua_State *L, lua_State *L1) {
  if (L1->stack != NULL) luaF_close(L1, L1->stack);
  if (L1->base_ci != NULL) luaM_freearray(L, L1->base_ci, L1->size_ci, CallInfo);
  if (L1->stack != NULL) luaM_freearray(L, L1->stack, L1->stacksize, TObject);
  luaM_free(L, L1, sizeof(lua_State));
}

lua_State *lua_open(void) {
  lua_State *L = (lua_State *)luaM_realloc(NULL, NULL, 0, sizeof(lua_State));
  if (L == NULL) return NULL;
  memset((void *)L, 0, sizeof(lua_State));
  L->tt = LUA_TTHREAD;
  L->marked = 0;
  L->next = NULL;
  L->l_G = NULL;
  preinit_state(L);
  if (luaD_rawrunprotected(L, f_luaopen, NULL) != 0) {
    close_state(L);
    return NULL;
  }
  return L;
}

static void callallgcTM(lua_State *L, void *ud) {
  luaC_callGCTM(L);
}

void lua_close(lua_State *L) {
  L = G(L)->mainthread;
  luaF_close(L, L->stack);
  luaC_separateudata(L, 1);  // every userdata with a pending finaliser
  L->errfunc = 0;
  do {  // each failing finaliser restarts the pass
    L->ci = L->base_ci;
    L->base = L->top = L->ci->base;
    L->nCcalls = 0;
  } while (luaD_rawrunprotected(L, callallgcTM, NULL) != 0);
  close_state(L);
}

// The runtime's counting allocator.
#include "runtime/vm/vmmemory.h"

#include <stdlib.h>

#include "runtime/memory.h"
#include "runtime/vm/calls.h"
#include "runtime/vm/state.h"


#define ERR_OUT_OF_MEMORY 1000
#define MINSIZEARRAY 4

long luaM_failafter = -1;

// Injected failure for tests: true for the allocation that brings the
// countdown to 0.
static int injected_failure(void) {
  if (luaM_failafter < 0) return 0;
  if (luaM_failafter > 0) luaM_failafter--;
  if (luaM_failafter == 0) {
    luaM_failafter = -1;
    return 1;
  }
  return 0;
}

static void account(lua_State *L, lu_mem oldsize, lu_mem size) {
  if (L != NULL && G(L) != NULL) G(L)->nblocks = G(L)->nblocks - oldsize + size;
}

void *luaM_tryrealloc(lua_State *L, void *block, lu_mem oldsize, lu_mem size) {
  if (block == NULL) oldsize = 0;
  if (size == 0) {
    free(block);
    account(L, oldsize, 0);
    return NULL;
  }
  if (block != NULL && size <= oldsize) {  // shrinking: keep the block if realloc refuses
    void *nb = realloc(block, size);
    account(L, oldsize, size);
    return nb != NULL ? nb : block;
  }
  if (size > MAX_ALLOC_SIZE || injected_failure()) return NULL;
#ifdef KV_FUZZING
  if (size > FUZZ_MAX_BLOCK || (L != NULL && G(L) != NULL && G(L)->nblocks - oldsize + size > FUZZ_MAX_LIVE))
    return NULL;
#endif
  void *nb = realloc(block, size);
  if (nb == NULL) return NULL;
  account(L, oldsize, size);
  return nb;
}

void *luaM_realloc(lua_State *L, void *block, lu_mem oldsize, lu_mem size) {
  void *nb = luaM_tryrealloc(L, block, oldsize, size);
  if (nb == NULL && size != 0 && L != NULL) luaD_throw(L, ERR_OUT_OF_MEMORY);
  return nb;
}

void luaM_toobig(lua_State *L) {
  luaD_throw(L, ERR_OUT_OF_MEMORY);
}

size_t luaM_arraysize(lua_State *L, size_t n, size_t elemsize) {
  if (elemsize != 0 && n > MAX_ALLOC_SIZE / elemsize) {
    if (L != NULL) luaD_throw(L, ERR_OUT_OF_MEMORY);
    return MAX_ALLOC_SIZE + 1;  // refused by luaM_realloc
  }
  return n * elemsize;
}

void *luaM_growaux(lua_State *L, void *block, int *size, size_t elemsize, int limit, int errorcode) {
  int newsize;
  if (*size >= limit / 2) {  // cannot double
    if (*size >= limit - MINSIZEARRAY) luaD_throw(L, errorcode);
    newsize = limit;
  } else {
    newsize = *size * 2;
    if (newsize < MINSIZEARRAY) newsize = MINSIZEARRAY;
  }
  void *nb = luaM_realloc(L, block, luaM_arraysize(L, (size_t)*size, elemsize),
                          luaM_arraysize(L, (size_t)newsize, elemsize));
  *size = newsize;
  return nb;
}

// The runtime's counting allocator: every block of script-visible memory goes
// through luaM_realloc, which keeps G(L)->nblocks exact (real sizes).
#pragma once
#include "runtime/vm/object.h"

// Largest block the allocator accepts; larger requests raise 1000.
#define MAX_ALLOC_SIZE ((size_t)0xFFFFFFFCu)

// Reallocates `block` from `oldsize` to `size` bytes. Size 0 frees (and gives
// null). A size above MAX_ALLOC_SIZE or a failed allocation raises 1000
// "Out of memory!" through the error jump; the state stays usable. With L null
// (during state creation) a failure just returns null.
void *luaM_realloc(lua_State *L, void *block, lu_mem oldsize, lu_mem size);
// As luaM_realloc, but a failure gives null (the block stays as it was)
// instead of raising. Shrinking a block never fails in either.
void *luaM_tryrealloc(lua_State *L, void *block, lu_mem oldsize, lu_mem size);
// Raises 1000 "Out of memory!" (a size the allocator cannot honour).
void luaM_toobig(lua_State *L);
// Byte size of n elements of elemsize bytes; raises 1000 when it cannot be
// represented (no silent overflow).
size_t luaM_arraysize(lua_State *L, size_t n, size_t elemsize);
// Grows a vector for one more element (doubling, at least 4) up to `limit`
// elements; beyond it raises `errorcode`. Returns the new block, sets *size.
void *luaM_growaux(lua_State *L, void *block, int *size, size_t elemsize, int limit, int errorcode);

#define luaM_free(L, b, s) luaM_realloc(L, (b), (s), 0)
#define luaM_freelem(L, b) luaM_realloc(L, (b), sizeof(*(b)), 0)
#define luaM_freearray(L, b, n, t) luaM_realloc(L, (b), luaM_arraysize(L, (size_t)(n), sizeof(t)), 0)
#define luaM_malloc(L, t) luaM_realloc(L, NULL, 0, (t))
#define luaM_new(L, t) ((t *)luaM_malloc(L, sizeof(t)))
#define luaM_newvector(L, n, t) ((t *)luaM_malloc(L, luaM_arraysize(L, (size_t)(n), sizeof(t))))
#define luaM_reallocvector(L, v, oldn, n, t)                                            \
  ((v) = (t *)luaM_realloc(L, v, luaM_arraysize(L, (size_t)(oldn), sizeof(t)), \
                           luaM_arraysize(L, (size_t)(n), sizeof(t))))
#define luaM_growvector(L, v, nelems, size, t, limit, e) \
  if ((nelems) + 1 > (size)) ((v) = (t *)luaM_growaux(L, v, &(size), sizeof(t), limit, e))

// Allocation-failure injection for tests: when >= 0, counts down at every
// allocation that asks for memory and makes the one that brings it to 0 fail
// (the counter then stays at -1). -1 (the default) disables it.
extern long luaM_failafter;

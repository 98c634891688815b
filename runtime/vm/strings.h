// Interned strings and the global string table; full userdata creation.
#pragma once
#include "runtime/vm/object.h"
#include "runtime/vm/state.h"

#define MINSTRTABSIZE 32
#define MAX_STRTAB_SIZE ((1 << 30) - 1)
// Mark bit that fixes an object (never collected).
#define FIXEDBIT 4
#define luaS_fix(s) ((s)->marked |= (1 << FIXEDBIT))

// The bucket array is followed, in the same block, by one 32-bit summary per bucket: the
// bits luaS_tagbit of the hashes of the bucket's strings. A lookup whose bit is clear in the
// summary of its bucket knows the string is new without walking the chain. The collector's
// sweep recomputes the summaries of the chains it shortens.
#define STRBUCKETSIZE (sizeof(GCObject *) + sizeof(uint32_t))
#define strtags(tb) ((uint32_t *)((tb)->hash + (tb)->size))
inline uint32_t luaS_tagbit(lu_hash h) { return 1u << ((h * 0x9E3779B1u) >> 27); }

// Hash of l bytes (every byte up to 31 bytes, at most 32 sampled bytes beyond).
lu_hash luaS_hash(const char *str, size_t l);
// The interned string of these bytes, created when new.
TString *luaS_newlstr(lua_State *L, const char *str, size_t l);
TString *luaS_new(lua_State *L, const char *str);
#define luaS_newliteral(L, s) luaS_newlstr(L, "" s, sizeof(s) - 1)
// Rehashes every string into newsize buckets (a power of two).
void luaS_resize(lua_State *L, int newsize);
// As luaS_resize, but gives 0 (table unchanged) when memory runs out.
int luaS_tryresize(lua_State *L, int newsize);
// Frees the bucket array (the strings are freed by the collector).
void luaS_freeall(lua_State *L);
// New full userdata of s bytes (default metatable, finaliser pending),
// linked into the userdata list.
Udata *luaS_newudata(lua_State *L, size_t s);

// For a walk over every chain of the string table, at bucket i: asks the cache for the first
// string of a bucket well ahead and for the second string of a nearer one (whose first has
// arrived by then). The strings are scattered in memory and the chains short. A macro: the
// compiler drops a call to a function that does nothing but prefetch.
#if defined(__GNUC__)
#define luaS_prefetchchains(tb, i)                                                              \
  do {                                                                                          \
    const stringtable *pf_tb = (tb);                                                            \
    int pf_i = (i);                                                                             \
    if (pf_i + 16 < pf_tb->size && pf_tb->hash[pf_i + 16] != NULL)                              \
      __builtin_prefetch(pf_tb->hash[pf_i + 16]);                                               \
    if (pf_i + 4 < pf_tb->size && pf_tb->hash[pf_i + 4] != NULL &&                              \
        pf_tb->hash[pf_i + 4]->gch.next != NULL)                                                \
      __builtin_prefetch(pf_tb->hash[pf_i + 4]->gch.next);                                      \
  } while (0)
#else
#define luaS_prefetchchains(tb, i) ((void)0)
#endif

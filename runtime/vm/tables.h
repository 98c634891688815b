// Script tables: array part for the keys 1..n, chained scatter hash for the
// rest. A nil key reads and writes the entry of the number key 0.
#pragma once
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/vm/object.h"

#define MAXBITS 24                 // at most 2^24 nodes and 2^24 array entries
#define MAXASIZE (1 << MAXBITS)

// New table with n nil array entries and 2^lnhash nodes (lnhash 0: the shared
// dummy node). n or lnhash beyond the limits raise 1207 "Table overflow!".
Table *luaH_new(lua_State *L, int narray, int lnhash);
// NEWTABLE's sizes: array size from b read as a floating-point byte
// ((b & 7) << (b >> 3), computed in 64 bits), log2 of the node count c.
// A request above 2^24 raises 1207.
Table *luaH_newfromcode(lua_State *L, int b, int c);
// Array size encoded by NEWTABLE's floating-point byte (64-bit, no overflow).
uint64_t luaH_fb2size(int b);
void luaH_free(lua_State *L, Table *t);

// Lookups: the value slot, or &luaO_nilobject.
const TObject *luaH_getnum(Table *t, int key);
// The array slot of a number key, or null when the key is not an integer 1..sizearray.
inline TObject *luaH_arrayslot(Table *t, lua_Number n) {
#if defined(__SSE2__)
  int32_t k = _mm_cvttsd_si32(_mm_set_sd(n));  // INT32_MIN when out of range or NaN
#else
  int32_t k = (n > 0 && n <= MAXASIZE) ? (int32_t)n : 0;
#endif
  if ((uint32_t)k - 1u < (uint32_t)t->sizearray && (lua_Number)k == n) return &t->array[k - 1];
  return NULL;
}
// An interned string's lookup: first the node where the string was last found
// off its main position (in any table: the index is taken modulo the node
// count and the key compared), then the chain from the main position. The
// remembered node counts only with a value: a removed entry's key may be a
// freed string whose address a new string now has, and that node need not lie
// on the new string's chain.
inline const TObject *luaH_getstr(Table *t, TString *key) {
  const uint32_t mask = (uint32_t)sizenode(t) - 1;
  Node *const mp = &t->node[key->hash & mask];
  Node *n = &t->node[key->nodehint & mask];
  if (n != mp && ttisstring(gkey(n)) && gcvalue(gkey(n)) == (GCObject *)key && !ttisnil(gval(n)))
    return gval(n);
  if (ttisstring(gkey(mp)) && gcvalue(gkey(mp)) == (GCObject *)key) return gval(mp);
  for (n = gnext(mp); n; n = gnext(n)) {
    if (ttisstring(gkey(n)) && gcvalue(gkey(n)) == (GCObject *)key) {
      key->nodehint = (uint32_t)(n - t->node);
      return gval(n);
    }
  }
  return &luaO_nilobject;
}
const TObject *luaH_get(Table *t, const TObject *key);
// Value slot for the key, created (nil) when missing. Clears t->flags. A NaN
// key raises 1208. The slot stays valid until the next insertion into t.
TObject *luaH_set(lua_State *L, Table *t, const TObject *key);
// luaH_set for a key that luaH_get has just reported missing (&luaO_nilobject),
// without looking it up again.
TObject *luaH_setmissing(lua_State *L, Table *t, const TObject *key);
TObject *luaH_setnum(lua_State *L, Table *t, int key);
// Traversal: key slot in, next key in it and value in key + 1; 0 at the end.
// A key not in the table raises 1206.
int luaH_next(lua_State *L, Table *t, StkId key);

// The node a key hashes to (exposed for the collector and tests).
Node *luaH_mainposition(const Table *t, const TObject *key);

// Script tables: an array part for the keys 1..sizearray and a chained
// scatter hash (Brent's variation) for every other key. A nil key is the
// number key 0. Every node above firstfree is in use; a node is free when its
// key is nil. A node whose value is nil but whose key is set is a removed
// entry: it keeps its key so that a traversal can go on past it.
#include "runtime/vm/tables.h"

#include <math.h>
#include <string.h>

#include "runtime/vm/debug.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/state.h"
#include "runtime/vm/values.h"
#include "runtime/vm/vmmemory.h"


#define ERR_NEXT_KEY 1206
#define ERR_TABLE_OVERFLOW 1207
#define ERR_INDEX_NAN 1208

#define gnode(t, i) (&(t)->node[i])

// ---- main positions ----

static Node *hashnum(const Table *t, lua_Number n) {
  lua_Number y = n + 1.0;  // -0 and +0 become the same bits
  uint32_t w[2];
  memcpy(w, &y, sizeof(w));
  uint32_t sum = w[0] + w[1];
  return gnode(t, sum % (uint32_t)((sizenode(t) - 1) | 1));
}

static Node *hashpointer(const Table *t, const void *p) {
  uint32_t low = (uint32_t)(uintptr_t)p;  // low 32 bits of the address
  return gnode(t, low % (uint32_t)((sizenode(t) - 1) | 1));
}

Node *luaH_mainposition(const Table *t, const TObject *key) {
  switch (ttype(key)) {
    case LUA_TNUMBER:
      return hashnum(t, nvalue(key));
    case LUA_TSTRING:
      return gnode(t, tsvalue(key)->hash & (uint32_t)(sizenode(t) - 1));
    case LUA_TBOOLEAN:
      return gnode(t, (uint32_t)bvalue(key) & (uint32_t)(sizenode(t) - 1));
    case LUA_TLIGHTUSERDATA:
      return hashpointer(t, pvalue(key));
    default:
      return hashpointer(t, gcvalue(key));
  }
}

// Array index of a number key that is an integer 1..2^24, else -1 (1-based k).
static int arrayindex(lua_Number n) {
  if (!(n >= 1 && n <= MAXASIZE)) return -1;
  int k = (int)n;
  return ((lua_Number)k == n) ? k : -1;
}

// ---- lookups ----

static const TObject *getnumhash(Table *t, int key) {
  lua_Number nk = (lua_Number)key;
  Node *n = hashnum(t, nk);
  do {
    if (ttisnumber(gkey(n)) && nvalue(gkey(n)) == nk) return gval(n);
    n = gnext(n);
  } while (n);
  return &luaO_nilobject;
}

const TObject *luaH_getnum(Table *t, int key) {
  if ((uint32_t)key - 1u < (uint32_t)t->sizearray) return &t->array[key - 1];
  return getnumhash(t, key);
}

static const TObject *getany(Table *t, const TObject *key) {
  Node *n = luaH_mainposition(t, key);
  do {
    if (luaO_rawequalObj(gkey(n), key)) return gval(n);
    n = gnext(n);
  } while (n);
  return &luaO_nilobject;
}

const TObject *luaH_get(Table *t, const TObject *key) {
  switch (ttype(key)) {
    case LUA_TNIL:
      return luaH_getnum(t, 0);
    case LUA_TSTRING:
      return luaH_getstr(t, tsvalue(key));
    case LUA_TNUMBER: {
      lua_Number n = nvalue(key);
      if (n >= -2147483648.0 && n <= 2147483647.0) {  // false for NaN
        int k = (int)n;
        if ((lua_Number)k == n) return luaH_getnum(t, k);  // also -0
      }
      return getany(t, key);
    }
    default:
      return getany(t, key);
  }
}

// ---- vectors ----

static void setarrayvector(lua_State *L, Table *t, int size) {
  luaM_reallocvector(L, t->array, t->sizearray, size, TObject);
  for (int i = t->sizearray; i < size; i++) setnilvalue(&t->array[i]);
  t->sizearray = size;
}

static Node *newnodevector(lua_State *L, int lsize) {
  int size = twoto(lsize);
  Node *v = luaM_newvector(L, size, Node);
  for (int i = 0; i < size; i++) {
    v[i].next = 0;
    v[i].keyhash = 0;
    setnilvalue(gkey(&v[i]));
    setnilvalue(gval(&v[i]));
  }
  return v;
}

static void setnodevector(lua_State *L, Table *t, int lsize) {
  if (lsize == 0) {
    t->node = G(L)->dummynode;
  } else {
    t->node = newnodevector(L, lsize);
  }
  t->lsizenode = (lu_byte)lsize;
  t->firstfree = gnode(t, sizenode(t) - 1);
}

// ---- rehash ----

// Counts the non-nil entries: nums[i] gets the integer keys k with k - 1 in
// [2^(i-1), 2^i) (slice 0: key 1); returns the total, *narray the candidates.
static int numuse(const Table *t, int nums[MAXBITS + 1], int *narray) {
  int totaluse = 0, nacand = 0;
  for (int i = 0; i <= MAXBITS; i++) nums[i] = 0;
  int slices = luaO_log2((uint32_t)t->sizearray) + 1;
  for (int i = 0; i < slices; i++) {
    int from = (i == 0) ? 0 : twoto(i - 1);
    int to = twoto(i);
    if (to > t->sizearray) to = t->sizearray;
    for (; from < to; from++) {
      if (!ttisnil(&t->array[from])) {
        nums[i]++;
        totaluse++;
      }
    }
  }
  nacand = totaluse;
  if (t->lsizenode > 0) {
    for (int i = sizenode(t) - 1; i >= 0; i--) {
      Node *n = gnode(t, i);
      if (ttisnil(gval(n))) continue;
      if (ttisnumber(gkey(n))) {
        int k = arrayindex(nvalue(gkey(n)));
        if (k > 0) {
          nums[luaO_log2((uint32_t)(k - 1)) + 1]++;
          nacand++;
        }
      }
      totaluse++;
    }
  }
  *narray = nacand;
  return totaluse;
}

// Chooses the array size (a power of two more than half used) and the count of
// entries left for the hash part.
static void computesizes(const int nums[MAXBITS + 1], int ntotal, int *narray, int *nhash) {
  int a = nums[0];  // candidates below 2^i so far
  int na = a;       // candidates that go to the array part
  int n = (na == 0) ? -1 : 0;
  for (int i = 1; i <= MAXBITS && a < *narray && *narray >= twoto(i - 1); i++) {
    if (nums[i] > 0) {
      a += nums[i];
      if (a >= twoto(i - 1)) {
        n = i;
        na = a;
      }
    }
  }
  *nhash = ntotal - na;
  *narray = (n == -1) ? 0 : twoto(n);
}

static TObject *insertkey(lua_State *L, Table *t, const TObject *key, lu_hash h);

// Value slot of an old node's entry moving into the resized table: its array slot, or a new
// node (the old keys are distinct and none is in the new node vector yet, so there is no
// lookup, and a string key's hash comes from the old node).
static TObject *reinsert(lua_State *L, Table *t, const Node *old) {
  const TObject *key = gkey(old);
  if (ttisnumber(key)) {
    int k = arrayindex(nvalue(key));
    if (k > 0 && k <= t->sizearray) return &t->array[k - 1];
  }
  return insertkey(L, t, key, old->keyhash);
}

// Resizes to nasize array entries and 2^lsize nodes. Both blocks are obtained
// before any entry moves: a failure leaves the table exactly as it was (a
// grown array alone would hide hash entries behind its new nil slots).
static void resize(lua_State *L, Table *t, int nasize, int lsize) {
  if (lsize > MAXBITS || nasize > MAXASIZE) luaG_runerror(L, ERR_TABLE_OVERFLOW);
  int oldasize = t->sizearray;
  int oldlsize = t->lsizenode;
  Node *nold = t->node;
  Node *nnew = (lsize == 0) ? G(L)->dummynode : newnodevector(L, lsize);
  if (nasize > oldasize) {
    TObject *na = (TObject *)luaM_tryrealloc(L, t->array, (size_t)oldasize * sizeof(TObject),
                                             (size_t)nasize * sizeof(TObject));
    if (na == NULL) {
      if (lsize > 0) luaM_freearray(L, nnew, twoto(lsize), Node);
      luaM_toobig(L);
    }
    t->array = na;
    for (int i = oldasize; i < nasize; i++) setnilvalue(&t->array[i]);
    t->sizearray = nasize;
  }
  t->node = nnew;
  t->lsizenode = (lu_byte)lsize;
  t->firstfree = gnode(t, sizenode(t) - 1);
  if (nasize < oldasize) {  // vanishing array entries move to the hash part
    t->sizearray = nasize;
    for (int i = nasize; i < oldasize; i++) {
      if (!ttisnil(&t->array[i])) setobj2t(luaH_setnum(L, t, i + 1), &t->array[i]);
    }
    luaM_reallocvector(L, t->array, oldasize, nasize, TObject);  // shrinking never fails
  }
  if (oldlsize > 0) {
    t->flags = 0;
    for (int i = twoto(oldlsize) - 1; i >= 0; i--) {
      Node *old = nold + i;
      if (!ttisnil(gval(old))) setobj2t(reinsert(L, t, old), gval(old));
    }
    luaM_freearray(L, nold, twoto(oldlsize), Node);
  }
}

// extrakey: a key not yet in the table that must fit after the rehash.
static void rehash(lua_State *L, Table *t, const TObject *extrakey) {
  int nums[MAXBITS + 1];
  int nasize, nhsize;
  int totaluse = numuse(t, nums, &nasize);
  if (extrakey != NULL) {
    totaluse++;
    int k = ttisnumber(extrakey) ? arrayindex(nvalue(extrakey)) : -1;
    if (k > 0) {
      nums[luaO_log2((uint32_t)(k - 1)) + 1]++;
      nasize++;
    }
  }
  computesizes(nums, totaluse, &nasize, &nhsize);
  resize(L, t, nasize, luaO_log2((uint32_t)nhsize) + 1);
}

// ---- insertion ----

// True when a free node is left once `used1` and `used2` (may be null) are
// taken. Free nodes all lie at or below firstfree.
static int freenodeleft(const Table *t, const Node *used1, const Node *used2) {
  for (const Node *f = t->firstfree;; f--) {
    if (ttisnil(gkey(f)) && f != used1 && f != used2) return 1;
    if (f == t->node) return 0;
  }
}

static TObject *newkey(lua_State *L, Table *t, const TObject *key);

// Grows the table for one more key, then inserts it. The rehash happens before
// the key is stored, so a failed allocation leaves the table as it was.
static TObject *rehashandinsert(lua_State *L, Table *t, const TObject *key) {
  rehash(L, t, key);
  TObject *v = (TObject *)luaH_get(t, key);
  if (v != &luaO_nilobject) return v;  // now an array entry
  return newkey(L, t, key);
}

// Main position of a key whose hash, for a string, is h (kept in its node).
static Node *mainpositionh(const Table *t, const TObject *key, lu_hash h) {
  if (ttisstring(key)) return gnode(t, h & (uint32_t)(sizenode(t) - 1));
  return luaH_mainposition(t, key);
}

static void setnext(Node *n, const Node *target) {
  n->next = (target != NULL) ? (int32_t)(target - n) : 0;
}

// Inserts a key that is not in the table (h: its hash when a string); returns its (nil)
// value slot. When the insertion would take the last free node, the table is rehashed first
// (sizes counted with the new key), as if the key had been stored before.
static TObject *insertkey(lua_State *L, Table *t, const TObject *key, lu_hash h) {
  if (t->lsizenode == 0) return rehashandinsert(L, t, key);  // the dummy node is never written
  Node *mp = mainpositionh(t, key, h);
  Node *n = ttisnil(gval(mp)) ? NULL : t->firstfree;  // main position taken: a free node is needed
  if (!freenodeleft(t, mp, n)) return rehashandinsert(L, t, key);
  if (n != NULL) {
    Node *othern = mainpositionh(t, gkey(mp), mp->keyhash);
    if (othern != mp) {  // the colliding node is out of its main position: move it
      while (gnext(othern) != mp) othern = gnext(othern);
      setnext(othern, n);
      Node *mpnext = gnext(mp);
      *n = *mp;
      setnext(n, mpnext);
      mp->next = 0;
      setnilvalue(gval(mp));
    } else {  // the colliding node is in its main position: the new key takes the free node
      setnext(n, gnext(mp));
      setnext(mp, n);
      mp = n;
    }
  }
  setobj2t(gkey(mp), key);
  mp->keyhash = h;
  while (!ttisnil(gkey(t->firstfree))) t->firstfree--;  // stops at the free node left
  return gval(mp);
}

static TObject *newkey(lua_State *L, Table *t, const TObject *key) {
  return insertkey(L, t, key, ttisstring(key) ? tsvalue(key)->hash : 0);
}

TObject *luaH_set(lua_State *L, Table *t, const TObject *key) {
  t->flags = 0;
  const TObject *p = luaH_get(t, key);
  if (p != &luaO_nilobject) return (TObject *)p;
  return luaH_setmissing(L, t, key);
}

TObject *luaH_setmissing(lua_State *L, Table *t, const TObject *key) {
  t->flags = 0;
  if (ttisnil(key)) {
    TObject k;
    setnvalue(&k, 0);
    return newkey(L, t, &k);
  }
  if (ttisnumber(key) && isnan(nvalue(key))) luaG_runerror(L, ERR_INDEX_NAN);
  if (ttisnumber(key) && nvalue(key) == 0) {  // -0 is stored as +0
    TObject k;
    setnvalue(&k, 0);
    return newkey(L, t, &k);
  }
  return newkey(L, t, key);
}

TObject *luaH_setnum(lua_State *L, Table *t, int key) {
  const TObject *p = luaH_getnum(t, key);
  if (p != &luaO_nilobject) return (TObject *)p;
  TObject k;
  setnvalue(&k, (lua_Number)key);
  return newkey(L, t, &k);
}

// ---- creation ----

Table *luaH_new(lua_State *L, int narray, int lnhash) {
  if (narray < 0 || narray > MAXASIZE || lnhash < 0 || lnhash > MAXBITS)
    luaG_runerror(L, ERR_TABLE_OVERFLOW);
  Table *t = luaM_new(L, Table);
  luaC_link(L, valtogco(t), LUA_TTABLE);
  t->metatable = ttistable(defaultmeta(L)) ? hvalue(defaultmeta(L)) : NULL;
  t->flags = (lu_byte)~0;  // no fields yet, so no tag methods
  t->array = NULL;
  t->sizearray = 0;
  t->lastnext = 0;
  t->gclist = NULL;
  t->lsizenode = 0;
  t->node = G(L)->dummynode;
  t->firstfree = G(L)->dummynode;
  setarrayvector(L, t, narray);
  setnodevector(L, t, lnhash);
  return t;
}

uint64_t luaH_fb2size(int b) {
  b &= 0x1FF;  // nine-bit operand
  return (uint64_t)(b & 7) << (b >> 3);
}

Table *luaH_newfromcode(lua_State *L, int b, int c) {
  uint64_t narray = luaH_fb2size(b);
  if (narray > (uint64_t)MAXASIZE || c < 0 || c > MAXBITS) luaG_runerror(L, ERR_TABLE_OVERFLOW);
  return luaH_new(L, (int)narray, c);
}

void luaH_free(lua_State *L, Table *t) {
  if (t->lsizenode > 0) luaM_freearray(L, t->node, sizenode(t), Node);
  luaM_freearray(L, t->array, t->sizearray, TObject);
  luaM_freelem(L, t);
}

// ---- traversal ----

// Position of a key: -1 for nil (start), 0..sizearray-1 for array keys,
// sizearray + node index for the hash part.
static int findindex(lua_State *L, Table *t, StkId key) {
  if (ttisnil(key)) return -1;
  if (ttisnumber(key)) {
    int k = arrayindex(nvalue(key));
    if (k > 0 && k <= t->sizearray) return k - 1;
  }
  if (t->lsizenode > 0) {
    // a traversal passes the key it was given last: its node is checked before any hashing
    int h = t->lastnext;
    if (h >= 0 && h < sizenode(t) && ttype(gkey(gnode(t, h))) == ttype(key) &&
        luaO_rawequalObj(gkey(gnode(t, h)), key))
      return h + t->sizearray;
    Node *n = luaH_mainposition(t, key);
    do {
      if (luaO_rawequalObj(gkey(n), key)) return (int)(n - t->node) + t->sizearray;
      n = gnext(n);
    } while (n);
  }
  luaG_runerror(L, ERR_NEXT_KEY);
  return 0;
}

int luaH_next(lua_State *L, Table *t, StkId key) {
  int i = findindex(L, t, key);
  for (i++; i < t->sizearray; i++) {
    if (!ttisnil(&t->array[i])) {
      setnvalue(key, (lua_Number)(i + 1));
      setobj2s(key + 1, &t->array[i]);
      return 1;
    }
  }
  if (t->lsizenode > 0) {
    for (i -= t->sizearray; i < sizenode(t); i++) {
      if (!ttisnil(gval(gnode(t, i)))) {
        t->lastnext = i;
        setobj2s(key, gkey(gnode(t, i)));
        setobj2s(key + 1, gval(gnode(t, i)));
        return 1;
      }
    }
  }
  return 0;
}

// Interned strings, the string table and full userdata.
#include "runtime/vm/strings.h"

#include <string.h>

#include "runtime/vm/gc.h"
#include "runtime/vm/state.h"
#include "runtime/vm/vmmemory.h"

lu_hash luaS_hash(const char *str, size_t l) {
  lu_hash h = (lu_hash)l;
  size_t step = (l >> 5) + 1;  // long strings: sample at most 32 bytes, from the end
  for (size_t l1 = l; l1 >= step; l1 -= step)
    h = h ^ ((h << 5) + (h >> 2) + (unsigned char)str[l1 - 1]);
  return h;
}

int luaS_tryresize(lua_State *L, int newsize) {
  GCObject **newhash =
      (GCObject **)luaM_tryrealloc(L, NULL, 0, luaM_arraysize(L, (size_t)newsize, STRBUCKETSIZE));
  if (newhash == NULL) return 0;
  uint32_t *newtags = (uint32_t *)(newhash + newsize);
  stringtable *tb = &G(L)->strt;
  for (int i = 0; i < newsize; i++) {
    newhash[i] = NULL;
    newtags[i] = 0;
  }
  for (int i = 0; i < tb->size; i++) {
    luaS_prefetchchains(tb, i);
    GCObject *p = tb->hash[i];
    while (p) {
      GCObject *next = p->gch.next;
      lu_hash h = gcotots(p)->hash;
      unsigned h1 = h & (unsigned)(newsize - 1);
      p->gch.next = newhash[h1];
      newhash[h1] = p;
      newtags[h1] |= luaS_tagbit(h);
      p = next;
    }
  }
  luaM_free(L, tb->hash, luaM_arraysize(L, (size_t)tb->size, STRBUCKETSIZE));
  tb->size = newsize;
  tb->hash = newhash;
  return 1;
}

void luaS_resize(lua_State *L, int newsize) {
  if (!luaS_tryresize(L, newsize)) luaM_toobig(L);
}

void luaS_freeall(lua_State *L) {
  stringtable *tb = &G(L)->strt;
  luaM_free(L, tb->hash, luaM_arraysize(L, (size_t)tb->size, STRBUCKETSIZE));
  tb->hash = NULL;
  tb->size = 0;
}

static TString *newlstr(lua_State *L, const char *str, size_t l, lu_hash h) {
  if (l > MAX_ALLOC_SIZE - sizeof(TString) - 1) luaM_toobig(L);
  TString *ts = (TString *)luaM_malloc(L, sizestring(l));
  ts->len = (uint32_t)l;
  ts->hash = h;
  ts->marked = 0;
  ts->tt = LUA_TSTRING;
  ts->reserved = 0;
  ts->nodehint = h;
  memcpy(getstr(ts), str, l);
  getstr(ts)[l] = '\0';
  stringtable *tb = &G(L)->strt;
  unsigned h1 = h & (unsigned)(tb->size - 1);
  ts->next = tb->hash[h1];
  tb->hash[h1] = valtogco(ts);
  strtags(tb)[h1] |= luaS_tagbit(h);
  tb->nuse++;
  if (tb->nuse > (uint32_t)tb->size && tb->size < MAX_STRTAB_SIZE)
    luaS_tryresize(L, tb->size * 2);  // a table that cannot grow just gets longer chains
  return ts;
}

TString *luaS_newlstr(lua_State *L, const char *str, size_t l) {
  lu_hash h = luaS_hash(str, l);
  const stringtable *tb = &G(L)->strt;
  unsigned h1 = h & (unsigned)(tb->size - 1);
  if (strtags(tb)[h1] & luaS_tagbit(h)) {
    for (GCObject *o = tb->hash[h1]; o != NULL; o = o->gch.next) {
      TString *ts = gcotots(o);
      if (ts->hash == h && ts->len == l && memcmp(str, getstr(ts), l) == 0) return ts;
    }
  }
  return newlstr(L, str, l, h);
}

TString *luaS_new(lua_State *L, const char *str) {
  return luaS_newlstr(L, str, strlen(str));
}

Udata *luaS_newudata(lua_State *L, size_t s) {
  if (s > MAX_ALLOC_SIZE - sizeof(Udata)) luaM_toobig(L);
  Udata *u = (Udata *)luaM_malloc(L, sizeudata(s));
  u->marked = (1 << FINALBIT);  // finaliser not yet run
  u->tt = LUA_TUSERDATA;
  u->len = (uint32_t)s;
  u->metatable = hvalue(defaultmeta(L));
  u->next = G(L)->rootudata;
  G(L)->rootudata = valtogco(u);
  return u;
}

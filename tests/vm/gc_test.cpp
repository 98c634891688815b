// Collector and memory accounting: weak tables, finalisers, thresholds,
// allocation failures and leak-free open/close.
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/vm/vmcore_fixture.h"

namespace {

using Collector = VmCoreTest;

Table *WeakTable(VmCoreTest &f, const char *mode) {
  Table *w = f.NewTable();
  Table *mt = f.NewTable();
  f.SetField(mt, "__mode", f.Str(mode));
  w->metatable = mt;
  return w;
}

TEST_F(Collector, WeakKeys) {
  Table *w = WeakTable(*this, "k");
  Table *kept = NewTable();
  SetField(w, Tab(kept), Num(1));
  SetField(w, Tab(luaH_new(L, 0, 0)), Num(2));  // key referenced nowhere else
  SetField(w, "str", Num(3));                    // strings are never weak
  SetField(w, Num(4), Tab(luaH_new(L, 0, 0)));   // values stay strong
  ASSERT_EQ(Count(w), 4);
  luaC_collectgarbage(L);
  EXPECT_EQ(Count(w), 3);
  TObject k = Tab(kept);
  EXPECT_EQ(nvalue(luaH_get(w, &k)), 1);
  EXPECT_EQ(nvalue(luaH_getstr(w, luaS_new(L, "str"))), 3);
  EXPECT_TRUE(ttistable(luaH_getnum(w, 4)));
  EXPECT_NE(w->marked & KEYWEAK, 0);
}

TEST_F(Collector, WeakValues) {
  Table *w = WeakTable(*this, "v");
  Table *kept = NewTable();
  setobj(luaH_setnum(L, w, 1), Push(Tab(luaH_new(L, 0, 0))));  // array part
  L->top--;
  ASSERT_EQ(w->sizearray, 1);
  SetField(w, "loose", Tab(luaH_new(L, 0, 0)));
  SetField(w, "kept", Tab(kept));
  SetField(w, "text", Str("a string value"));
  SetField(w, Tab(luaH_new(L, 0, 0)), Num(5));  // keys stay strong
  luaC_collectgarbage(L);
  EXPECT_TRUE(ttisnil(luaH_getnum(w, 1)));
  EXPECT_TRUE(ttisnil(luaH_getstr(w, luaS_new(L, "loose"))));
  EXPECT_TRUE(ttistable(luaH_getstr(w, luaS_new(L, "kept"))));
  EXPECT_STREQ(svalue(luaH_getstr(w, luaS_new(L, "text"))), "a string value");
  EXPECT_EQ(Count(w), 3);
}

TEST_F(Collector, UnreferencedWeakTableIsFreedAndAccountingBalances) {
  luaC_collectgarbage(L);
  lu_mem base = G(L)->nblocks;
  Table *w = luaH_new(L, 0, 0);
  Table *mt = luaH_new(L, 0, 0);
  w->metatable = mt;
  SetField(mt, "__mode", Str("kv"));
  for (int i = 0; i < 50; i++) setnvalue(luaH_setnum(L, w, i), i);
  EXPECT_GT(G(L)->nblocks, base);
  luaC_collectgarbage(L);
  EXPECT_EQ(G(L)->nblocks, base);
  // With no finalisers pending the threshold is twice the bytes in use.
  EXPECT_EQ(G(L)->GCthreshold, 2 * G(L)->nblocks);
}

int g_finalised;
void *g_lastfinalised;
int CountingGC(lua_State *L) {
  g_finalised++;
  g_lastfinalised = ttisuserdata(L->base) ? (void *)uvalue(L->base) : nullptr;
  return 0;
}
int RaisingGC(lua_State *L) {
  g_finalised++;
  luaD_throw(L, 1089);
}

TEST_F(Collector, FinaliserRunsOnceThenTheUserdataIsFreed) {
  Table *mt = NewTable();
  SetField(mt, "__gc", CFunc(CountingGC));
  g_finalised = 0;
  luaC_collectgarbage(L);
  Udata *kept = luaS_newudata(L, 8);
  kept->metatable = mt;
  Push(TObject{LUA_TUSERDATA, {valtogco(kept)}});
  lu_mem before = G(L)->nblocks;
  Udata *u = luaS_newudata(L, 100);
  u->metatable = mt;
  EXPECT_EQ(G(L)->nblocks, before + sizeudata(100));
  luaC_collectgarbage(L);
  EXPECT_EQ(g_finalised, 1);
  EXPECT_EQ(g_lastfinalised, (void *)u);
  luaC_collectgarbage(L);  // finalised already: now freed, not finalised again
  EXPECT_EQ(g_finalised, 1);
  EXPECT_EQ(G(L)->nblocks, before);
  luaC_collectgarbage(L);
  EXPECT_EQ(g_finalised, 1);
}

TEST_F(Collector, FinaliserErrorPropagatesAndTheRestRunLater) {
  Table *mt1 = NewTable();
  Table *mt2 = NewTable();
  SetField(mt1, "__gc", CFunc(RaisingGC));
  SetField(mt2, "__gc", CFunc(CountingGC));
  g_finalised = 0;
  luaS_newudata(L, 4)->metatable = mt1;
  luaS_newudata(L, 4)->metatable = mt2;
  int code = Protected([&] { luaC_collectgarbage(L); });
  if (code != 0) {
    EXPECT_EQ(code, 1089);
  }
  Protected([&] { luaC_collectgarbage(L); });
  Protected([&] { luaC_collectgarbage(L); });
  EXPECT_EQ(g_finalised, 2);  // each finaliser once
}

TEST(CollectorClose, CloseRunsPendingFinalisersOnceEvenWhenOneRaises) {
  lua_State *L = lua_open();
  ASSERT_NE(L, nullptr);
  Table *mt1 = luaH_new(L, 0, 0);
  Table *mt2 = luaH_new(L, 0, 0);
  sethvalue(L->top++, mt1);
  sethvalue(L->top++, mt2);
  Closure *raising = luaF_newCclosure(L, 0);
  raising->c.f = RaisingGC;
  Closure *counting = luaF_newCclosure(L, 0);
  counting->c.f = CountingGC;
  TObject gcname;
  setsvalue(&gcname, luaS_new(L, "__gc"));
  setclvalue(luaH_set(L, mt1, &gcname), raising);
  setclvalue(luaH_set(L, mt2, &gcname), counting);
  for (int i = 0; i < 3; i++) {
    Udata *u = luaS_newudata(L, 4);
    u->metatable = (i == 1) ? mt1 : mt2;
    setuvalue(L->top++, u);  // alive until close
  }
  g_finalised = 0;
  lua_close(L);
  EXPECT_EQ(g_finalised, 3);
}

TEST_F(Collector, CollectionShrinksStacksAndBuffers) {
  luaD_reallocstack(L, 400);
  luaD_reallocCI(L, 64);
  G(L)->buff.buffer = (char *)luaM_realloc(L, G(L)->buff.buffer, G(L)->buff.size, 1000);
  G(L)->buff.size = 1000;
  int stacksize = L->stacksize;
  Push(Str("kept on the stack"));
  luaC_collectgarbage(L);
  EXPECT_EQ(L->size_ci, 32);
  EXPECT_LT(L->stacksize, stacksize);
  EXPECT_GE(L->stacksize, stacksize / 2);
  EXPECT_EQ(G(L)->buff.size, 500u);
  EXPECT_STREQ(svalue(L->top - 1), "kept on the stack");
  EXPECT_TRUE(L->ci->top <= L->stack_last);
  // Small arrays are left alone.
  luaC_collectgarbage(L);
  luaC_collectgarbage(L);
  luaC_collectgarbage(L);
  EXPECT_EQ(L->size_ci, 16);
  EXPECT_GE(L->stacksize, BASIC_STACK_SIZE + EXTRA_STACK);
  EXPECT_EQ(G(L)->buff.size, 62u);
}

// Reads everything reachable from a value (the sanitizer build catches any
// freed object still reachable); returns the number of tables visited.
int Walk(lua_State *L, const TObject *o, std::set<const void *> &seen) {
  if (ttisstring(o)) {
    volatile char c = svalue(o)[tsvalue(o)->len];  // touches the bytes
    (void)c;
    return 0;
  }
  if (ttisuserdata(o)) {
    Table *mt = uvalue(o)->metatable;
    TObject m;
    sethvalue(&m, mt);
    return mt ? Walk(L, &m, seen) : 0;
  }
  if (ttisfunction(o) && !clvalue(o)->c.isC) {
    int n = 0;
    for (int i = 0; i < clvalue(o)->l.nupvalues; i++) n += Walk(L, clvalue(o)->l.upvals[i]->v, seen);
    return n;
  }
  if (!ttistable(o) || !seen.insert(hvalue(o)).second) return 0;
  Table *t = hvalue(o);
  int n = 1;
  for (int i = 0; i < t->sizearray; i++) n += Walk(L, &t->array[i], seen);
  for (int i = 0; t->lsizenode > 0 && i < sizenode(t); i++) {
    Node *nd = &t->node[i];
    if (ttisnil(gval(nd))) continue;
    n += Walk(L, gkey(nd), seen);
    n += Walk(L, gval(nd), seen);
  }
  TObject m;
  sethvalue(&m, t->metatable);
  return n + (t->metatable ? Walk(L, &m, seen) : 0);
}

// Finalised userdata by serial number (addresses are reused after a free).
std::set<long> g_finalisedset;
int g_doublefinalised;
int RecordingGC(lua_State *L) {
  long serial;
  memcpy(&serial, getudata(uvalue(L->base)), sizeof(serial));
  if (!g_finalisedset.insert(serial).second) g_doublefinalised++;
  return 0;
}

TEST_F(Collector, RandomObjectGraphSurvivesCollections) {
  std::mt19937 rng(777);
  Table *root = NewTable();
  Table *weakk = WeakTable(*this, "k");
  Table *weakv = WeakTable(*this, "v");
  Table *udmt = NewTable();
  SetField(udmt, "__gc", CFunc(RecordingGC));
  g_finalisedset.clear();
  g_doublefinalised = 0;
  std::vector<Table *> pool{root, weakk, weakv};  // tables that may have died are never touched
  for (int op = 0; op < 3000; op++) {
    // Choose a live table: one reachable from the root or a weak table.
    std::set<const void *> live;
    TObject r = Tab(root);
    Walk(L, &r, live);
    live.insert(weakk);
    live.insert(weakv);
    std::vector<Table *> candidates;
    for (const void *p : live) candidates.push_back((Table *)p);
    Table *target = candidates[rng() % candidates.size()];
    TObject key = (rng() % 2) ? Num((double)(rng() % 20)) : Str(("s" + std::to_string(rng() % 20)).c_str());
    StkId ks = Push(key);
    TObject val;
    switch (rng() % 6) {
      case 0: val = Tab(luaH_new(L, 0, 0)); break;
      case 1: {
        Udata *u = luaS_newudata(L, sizeof(long) + rng() % 32);
        long serial = op;
        memcpy(getudata(u), &serial, sizeof(serial));
        u->metatable = udmt;
        setuvalue(&val, u);
        break;
      }
      case 2: val = Str(std::to_string(rng()).c_str()); break;
      case 3: {
        StkId slot = Push(Str("captured"));
        Closure *c = luaF_newLclosure(L, 1, gt(L));
        c->l.upvals[0] = luaF_findupval(L, slot);
        c->l.p = luaF_newproto(L);
        c->l.p->nups = 1;
        setclvalue(&val, c);
        luaF_close(L, slot);
        L->top = slot;
        break;
      }
      case 4: val = Nil(); break;  // drops a reference
      default: val = Tab(candidates[rng() % candidates.size()]); break;  // cycles
    }
    StkId vs = Push(val);
    if (rng() % 4 == 0) {
      setobj(luaH_set(L, target, vs), ks);  // objects as keys too
    } else {
      setobj(luaH_set(L, target, ks), vs);
    }
    L->top = ks;
    if (op % 50 == 0) {
      luaC_collectgarbage(L);
      std::set<const void *> after;
      TObject w1 = Tab(weakk), w2 = Tab(weakv);
      Walk(L, &r, after);
      Walk(L, &w1, after);
      Walk(L, &w2, after);
    }
  }
  EXPECT_EQ(g_doublefinalised, 0);
  EXPECT_GT(g_finalisedset.size(), 0u);
}

TEST_F(Collector, ThresholdTriggersTheCheck) {
  luaC_collectgarbage(L);
  lu_mem threshold = G(L)->GCthreshold;
  EXPECT_EQ(threshold, 2 * G(L)->nblocks);
  G(L)->GCthreshold = 0;
  luaC_checkGC(L);
  EXPECT_EQ(G(L)->GCthreshold, 2 * G(L)->nblocks);
}

TEST_F(Collector, OversizedRequestsRaiseOutOfMemoryAndTheStateStaysUsable) {
  EXPECT_EQ(Protected([&] { luaM_realloc(L, nullptr, 0, (lu_mem)0xFFFFFFFDu); }), 1000);
  EXPECT_EQ(Protected([&] { luaM_realloc(L, nullptr, 0, (lu_mem)1 << 40); }), 1000);
  EXPECT_EQ(Protected([&] { luaS_newudata(L, (size_t)1 << 33); }), 1000);
  EXPECT_EQ(Protected([&] { luaS_newudata(L, (size_t)0xFFFFFFFFu); }), 1000);
  EXPECT_EQ(Protected([&] { (void)luaM_newvector(L, (size_t)0x40000000u, TObject); }), 1000);  // 16 GiB
  EXPECT_EQ(Protected([&] { (void)luaM_newvector(L, SIZE_MAX / 2, TObject); }), 1000);         // wraps
  lu_mem before = G(L)->nblocks;
  Table *t = NewTable();
  for (int i = 1; i <= 20; i++) setnvalue(luaH_setnum(L, t, i), i);
  EXPECT_EQ(nvalue(luaH_getnum(t, 20)), 20);
  EXPECT_GT(G(L)->nblocks, before);
}

TEST_F(Collector, AllocationFailureInjection) {
  // Make the n-th allocation fail for every n until the work completes.
  Table *t = NewTable();
  std::vector<std::string> stored;
  int failures = 0;
  for (long n = 1;; n++) {
    ptrdiff_t top = savestack(L, L->top);
    size_t storedBefore = stored.size();
    luaM_failafter = n;
    int code = Protected([&] {
      for (int i = 0; i < 60; i++) {
        char buf[32];
        snprintf(buf, sizeof(buf), "key%d", i);
        TObject k = Str(buf);
        setnvalue(luaH_set(L, t, &k), i);
        setnvalue(luaH_setnum(L, t, i + 1), i);
        stored.push_back(buf);
      }
      Table *u = luaH_new(L, 10, 3);
      Push(Tab(u));
      Udata *ud = luaS_newudata(L, 64);
      Push(TObject{LUA_TUSERDATA, {valtogco(ud)}});
      Closure *c = luaF_newLclosure(L, 2, gt(L));
      Push(TObject{LUA_TFUNCTION, {valtogco(c)}});
      luaS_resize(L, G(L)->strt.size * 2);
    });
    luaM_failafter = -1;
    L->top = restorestack(L, top);
    ASSERT_TRUE(code == 0 || code == 1000) << code;
    // Whatever was stored before the failure is intact.
    for (size_t i = 0; i < stored.size(); i++) {
      const TObject *v = luaH_getstr(t, luaS_new(L, stored[i].c_str()));
      ASSERT_TRUE(ttisnumber(v)) << stored[i] << " after failure at " << n;
      v = luaH_getnum(t, (int)i + 1);
      ASSERT_TRUE(ttisnumber(v)) << "key " << i + 1 << " after failure at " << n;
    }
    int entries = Count(t);  // a failure may come between the two stores of one round
    ASSERT_TRUE(entries == (int)(2 * stored.size()) || (code != 0 && entries == (int)(2 * stored.size() + 1)))
        << entries << " entries after failure at " << n;
    for (const TObject *v = t->array; v < t->array + t->sizearray; v++) ASSERT_FALSE(ttisboolean(v));
    luaC_collectgarbage(L);
    if (code == 0) break;
    failures++;
    stored.resize(storedBefore);
    // Start each round from an empty table so that every step can fail.
    t = luaH_new(L, 0, 0);
    setobj(restorestack(L, top) - 1, Push(Tab(t)));
    L->top--;
    stored.clear();
  }
  EXPECT_GT(failures, 10);
}

const double k_closeprobe = 42;

TEST(StateLife, OpenCloseWithAllocationFailuresIsLeakFree) {
  int opened = 0;
  for (long n = 1; n < 200; n++) {
    luaM_failafter = n;
    lua_State *L = lua_open();
    luaM_failafter = -1;
    if (L == nullptr) continue;
    opened++;
    // A usable state: fresh globals and registry.
    EXPECT_EQ(hvalue(registry(L))->sizearray, 4);
    EXPECT_EQ(sizenode(hvalue(gt(L))), 16);
    lua_close(L);
    break;
  }
  EXPECT_EQ(opened, 1);
  for (int i = 0; i < 20; i++) {
    lua_State *L = lua_open();
    ASSERT_NE(L, nullptr);
    EXPECT_EQ(G(L)->GCthreshold, 4 * G(L)->nblocks);
    Table *t = luaH_new(L, 0, 0);
    sethvalue(L->top++, t);
    for (int k = 0; k < 100; k++) setsvalue(luaH_setnum(L, t, k), luaS_new(L, std::to_string(k).c_str()));
    // A live thread with an open upvalue held by a closure: closed while swept.
    lua_State *L1 = luaE_newthread(L);
    setthvalue(L->top++, L1);
    setnvalue(L1->top++, k_closeprobe);
    Closure *c = luaF_newLclosure(L, 1, gt(L));
    c->l.upvals[0] = luaF_findupval(L1, L1->top - 1);
    setclvalue(L->top++, c);
    // Growable vectors stop at their limit with the given code.
    int size = 0;
    int *v = nullptr;
    for (int n = 0; n < 10; n++) luaM_growvector(L, v, n, size, int, 100, 1066);
    EXPECT_EQ(size, 16);
    luaM_freearray(L, v, size, int);
    lua_close(L);
  }
}

}  // namespace

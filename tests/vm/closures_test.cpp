// Closures and upvalues, tag-method lookup with its absence cache, and the
// contents of a fresh state.
#include "tests/vm/vmcore_fixture.h"

namespace {

using Closures = VmCoreTest;

// A script closure over the given upvalues (its prototype is anchored by it).
Closure *NewLClosure(lua_State *L, std::initializer_list<UpVal *> ups) {
  Proto *p = luaF_newproto(L);
  p->nups = (lu_byte)ups.size();
  Closure *c = luaF_newLclosure(L, (int)ups.size(), gt(L));
  c->l.p = p;
  int i = 0;
  for (UpVal *u : ups) c->l.upvals[i++] = u;
  return c;
}

TEST_F(Closures, ClosuresOverOneLocalShareItsUpvalue) {
  StkId local = Push(Num(1));
  ptrdiff_t localpos = savestack(L, local);
  Closure *a = NewLClosure(L, {luaF_findupval(L, local)});
  Push(TObject{LUA_TFUNCTION, {valtogco(a)}});
  Closure *b = NewLClosure(L, {luaF_findupval(L, restorestack(L, localpos))});
  Push(TObject{LUA_TFUNCTION, {valtogco(b)}});
  ASSERT_EQ(a->l.upvals[0], b->l.upvals[0]);
  setnvalue(restorestack(L, localpos), 2);  // the local changes while the upvalue is open
  EXPECT_EQ(nvalue(b->l.upvals[0]->v), 2);
  luaC_collectgarbage(L);
  setnvalue(a->l.upvals[0]->v, 3);  // written through one closure
  EXPECT_EQ(nvalue(restorestack(L, localpos)), 3);
  // The scope ends: the upvalue closes with the last value, still shared.
  luaF_close(L, restorestack(L, localpos));
  EXPECT_EQ(L->openupval, nullptr);
  UpVal *u = a->l.upvals[0];
  EXPECT_EQ(u->v, &u->value);
  EXPECT_EQ(nvalue(b->l.upvals[0]->v), 3);
  setnvalue(restorestack(L, localpos), 99);  // the slot no longer matters
  setsvalue(b->l.upvals[0]->v, luaS_new(L, "kept by the upvalue"));
  luaC_collectgarbage(L);
  luaC_collectgarbage(L);
  EXPECT_STREQ(svalue(a->l.upvals[0]->v), "kept by the upvalue");
}

TEST_F(Closures, OpenUpvaluesAreOrderedAndClosedFromALevelUp) {
  StkId base = Push(Num(10));
  Push(Num(11));
  Push(Num(12));
  Push(Num(13));
  UpVal *u2 = luaF_findupval(L, base + 2);
  UpVal *u0 = luaF_findupval(L, base + 0);
  UpVal *u3 = luaF_findupval(L, base + 3);
  UpVal *u1 = luaF_findupval(L, base + 1);
  EXPECT_EQ(luaF_findupval(L, base + 2), u2);
  // Highest slot first.
  std::vector<UpVal *> order;
  for (GCObject *o = L->openupval; o != nullptr; o = o->gch.next) order.push_back(ngcotouv(o));
  EXPECT_EQ(order, (std::vector<UpVal *>{u3, u2, u1, u0}));
  Closure *c = NewLClosure(L, {u0, u1, u2, u3});  // keeps the closed ones alive
  Push(TObject{LUA_TFUNCTION, {valtogco(c)}});
  luaF_close(L, base + 2);
  EXPECT_EQ(u2->v, &u2->value);
  EXPECT_EQ(u3->v, &u3->value);
  EXPECT_EQ(nvalue(u3->v), 13);
  EXPECT_EQ(u1->v, base + 1);  // still open
  EXPECT_EQ(L->openupval, valtogco(u1));
  luaC_collectgarbage(L);
  EXPECT_EQ(nvalue(c->l.upvals[3]->v), 13);
  luaF_close(L, base);
  EXPECT_EQ(L->openupval, nullptr);
}

TEST_F(Closures, NativeClosureUpvaluesAndLocalNames) {
  Closure *c = luaF_newCclosure(L, 3);
  Push(TObject{LUA_TFUNCTION, {valtogco(c)}});
  EXPECT_TRUE(c->c.isC);
  EXPECT_EQ(c->c.nupvalues, 3);
  for (int i = 0; i < 3; i++) EXPECT_TRUE(ttisnil(&c->c.upvalue[i]));
  setsvalue(&c->c.upvalue[2], luaS_new(L, "upvalue text"));
  luaC_collectgarbage(L);
  EXPECT_STREQ(svalue(&c->c.upvalue[2]), "upvalue text");

  Proto *p = luaF_newproto(L);
  Push(TObject{LUA_TPROTO, {valtogco(p)}});
  p->locvars = luaM_newvector(L, 3, LocVar);
  p->sizelocvars = 3;
  p->locvars[0] = {luaS_new(L, "a"), 0, 10};
  p->locvars[1] = {luaS_new(L, "b"), 2, 5};
  p->locvars[2] = {luaS_new(L, "c"), 6, 10};
  EXPECT_STREQ(luaF_getlocalname(p, 1, 3), "a");
  EXPECT_STREQ(luaF_getlocalname(p, 2, 3), "b");
  EXPECT_STREQ(luaF_getlocalname(p, 2, 7), "c");
  EXPECT_EQ(luaF_getlocalname(p, 3, 7), nullptr);
  luaC_collectgarbage(L);  // the names are kept by the prototype
  EXPECT_STREQ(getstr(p->locvars[2].varname), "c");
  L->top--;
}

using TagMethods = VmCoreTest;

TEST_F(TagMethods, AbsenceCacheIsClearedByAnySet) {
  Table *mt = NewTable();
  Table *t = NewTable();
  t->metatable = mt;
  TObject to = Tab(t);
  mt->flags = 0;
  EXPECT_EQ(fasttm(L, mt, TM_INDEX), nullptr);
  EXPECT_NE(mt->flags & (1u << TM_INDEX), 0u);  // absence cached
  EXPECT_EQ(fasttm(L, mt, TM_EQ), nullptr);
  EXPECT_NE(mt->flags & (1u << TM_EQ), 0u);
  // Any set clears all bits, even one under an unrelated key.
  SetField(mt, "unrelated", Num(1));
  EXPECT_EQ(mt->flags, 0);
  setnvalue(luaH_setnum(L, mt, 1), 1);
  SetField(mt, "__index", Tab(NewTable()));
  EXPECT_EQ(mt->flags, 0);
  const TObject *tm = fasttm(L, mt, TM_INDEX);
  ASSERT_NE(tm, nullptr);
  EXPECT_TRUE(ttistable(tm));
  EXPECT_EQ(luaT_gettmbyobj(L, &to, TM_INDEX), tm);
  // Events beyond the flags byte are looked up every time.
  EXPECT_EQ(fasttm(L, mt, TM_CALL), nullptr);
  SetField(mt, "__call", Num(5));
  mt->flags = 0xFF;
  EXPECT_NE(fasttm(L, mt, TM_CALL), nullptr);
  // Only tables and full userdata have metatables.
  TObject n = Num(1), s = Str("x");
  EXPECT_EQ(luaT_gettmbyobj(L, &n, TM_INDEX), nullptr);
  EXPECT_EQ(luaT_gettmbyobj(L, &s, TM_INDEX), nullptr);
}

TEST_F(TagMethods, EventNamesInOrder) {
  const char *names[TM_N] = {"__index", "__newindex", "__gc",  "__mode", "__eq",  "__add",    "__sub",  "__mul",
                             "__div",   "__divint",   "__mod", "__lsh",  "__rsh", "__or",     "__and",  "__xor",
                             "__pow",   "__unm",      "__not", "__lt",   "__le",  "__concat", "__call"};
  ASSERT_EQ(TM_N, 23);
  for (int i = 0; i < TM_N; i++) EXPECT_STREQ(getstr(G(L)->tmname[i]), names[i]);
}

using FreshState = VmCoreTest;

TEST_F(FreshState, InitialContents) {
  Table *globals = hvalue(gt(L));
  Table *reg = hvalue(registry(L));
  EXPECT_EQ(Count(globals), 0);
  EXPECT_EQ(Count(reg), 0);
  EXPECT_EQ(globals->sizearray, 0);
  EXPECT_EQ(sizenode(globals), 16);
  EXPECT_EQ(reg->sizearray, 4);
  EXPECT_EQ(sizenode(reg), 16);
  Table *dm = hvalue(defaultmeta(L));
  EXPECT_EQ(dm->metatable, dm);
  Table *t = NewTable();
  EXPECT_EQ(t->metatable, dm);  // "no metatable" is the default one
  EXPECT_EQ(L->stacksize, BASIC_STACK_SIZE + EXTRA_STACK);
  EXPECT_EQ(L->stack_last, L->stack + 39);
  EXPECT_EQ(L->size_ci, BASIC_CI_SIZE);
  EXPECT_EQ(L->base_ci->base, L->stack + 1);
  EXPECT_EQ(L->base_ci->top, L->stack + 1 + LUA_MINSTACK);
  EXPECT_EQ(L->allowhook, 1);
  EXPECT_EQ(L->hookmask, 0);
  EXPECT_EQ(G(L)->strt.size, MINSTRTABSIZE);
  EXPECT_EQ(G(L)->mainthread, L);
}

TEST_F(FreshState, ThreadsShareGlobalsAndAreCollected) {
  luaC_collectgarbage(L);
  lu_mem base = G(L)->nblocks;
  lua_State *L1 = luaE_newthread(L);
  EXPECT_EQ(hvalue(gt(L1)), hvalue(gt(L)));
  EXPECT_EQ(G(L1), G(L));
  // An open upvalue of the thread, captured by a closure that outlives it.
  setsvalue(L1->top, luaS_new(L, "from the thread"));
  L1->top++;
  Closure *c = NewLClosure(L, {luaF_findupval(L1, L1->top - 1)});
  Push(TObject{LUA_TFUNCTION, {valtogco(c)}});
  luaC_collectgarbage(L);  // the thread is unreachable: freed, its upvalue closed
  luaC_collectgarbage(L);
  EXPECT_STREQ(svalue(c->l.upvals[0]->v), "from the thread");
  L->top--;
  luaC_collectgarbage(L);
  luaC_collectgarbage(L);
  EXPECT_EQ(G(L)->nblocks, base);
}

}  // namespace

// A removed entry keeps its key, but the collector may free that key's string and a new
// string may then be made at the same address. A string-key lookup that jumps straight to a
// remembered node must not take such a node for the new string's own entry: a value stored
// there would sit off the new key's chain and be lost to the next lookup.
#include <string>

#include "tests/vm/vmcore_fixture.h"

namespace {

using RemovedKeys = VmCoreTest;

TEST_F(RemovedKeys, NewStringAtAFreedKeysAddressIsStoredOnItsOwnChain) {
  Table *t = NewTable(0, 6);  // 64 nodes
  StkId anchor = L->top;
  // Fill a few nodes, then remove the entry of "gone": its node keeps the key.
  for (int i = 0; i < 20; i++) SetField(t, ("fill" + std::to_string(i)).c_str(), Num(i));
  TObject gone = Str("gone0");
  setnvalue(luaH_set(L, t, &gone), 1);
  Node *stale = nullptr;
  for (int i = 0; i < sizenode(t); i++)
    if (ttisstring(gkey(&t->node[i])) && gcvalue(gkey(&t->node[i])) == gcvalue(&gone)) stale = &t->node[i];
  ASSERT_NE(stale, nullptr);
  setnilvalue(gval(stale));
  void *oldaddress = gcvalue(&gone);
  L->top = anchor;
  luaC_collectgarbage(L);  // "gone0" is unreachable: freed, its node still points at it
  // A string of the same size may now be made in the freed block (the C allocator reuses
  // the block freed last); try a few contents for one whose main position is elsewhere.
  TString *fresh = nullptr;
  for (int i = 0; i < 50 && fresh == nullptr; i++) {
    std::string s = "new" + std::to_string(10 + i);
    TString *ts = luaS_newlstr(L, s.data(), s.size());
    Push(TObject{LUA_TSTRING, {valtogco(ts)}});
    if ((void *)ts == oldaddress && &t->node[ts->hash & (sizenode(t) - 1)] != stale) fresh = ts;
    else L->top--;
  }
  if (fresh == nullptr) GTEST_SKIP() << "the allocator did not reuse the freed block";
  // The string remembers the stale node's index (as if it had been found there in another
  // table of this size), then is stored and looked up again with another remembered node.
  fresh->nodehint = (uint32_t)(stale - t->node);
  TObject k;
  setsvalue(&k, fresh);
  setnvalue(luaH_set(L, t, &k), 42);
  fresh->nodehint = fresh->hash;
  const TObject *v = luaH_getstr(t, fresh);
  ASSERT_TRUE(ttisnumber(v)) << "the stored value is lost";
  EXPECT_EQ(nvalue(v), 42);
  EXPECT_EQ(Count(t), 21);
}

}  // namespace

// Hash chains of tables under many colliding keys: nodes move out of main positions taken by
// new keys, removed slots are reused and rehashes rebuild the chains. Every stored key must
// stay reachable from its main position and be found with its value.
#include <map>
#include <random>
#include <string>

#include "tests/vm/vmcore_fixture.h"

namespace {

using TableChains = VmCoreTest;

TEST_F(TableChains, EveryKeyReachableFromItsMainPosition) {
  std::mt19937 rng(4242);
  Table *t = NewTable();
  std::map<std::string, double> model;  // string keys "cN" and numbers written "#N"
  char buf[32];
  auto check = [&]() {
    int live = 0;
    for (int i = 0; i < sizenode(t); i++) {
      Node *n = &t->node[i];
      // free, or removed (the collector may have freed a removed key's string)
      if (ttisnil(gval(n))) continue;
      live++;
      // the chain from the key's main position passes through its node
      Node *m = luaH_mainposition(t, gkey(n));
      int steps = 0;
      while (m != NULL && m != n && steps++ <= sizenode(t)) m = gnext(m);
      ASSERT_EQ(m, n) << "node " << i << " is not on its key's chain";
    }
    for (const auto &e : model) {
      const TObject *v;
      if (e.first[0] == '#') {
        v = luaH_getnum(t, std::stoi(e.first.substr(1)));
      } else {
        v = luaH_getstr(t, luaS_newlstr(L, e.first.data(), e.first.size()));
      }
      ASSERT_TRUE(ttisnumber(v)) << e.first;
      ASSERT_EQ(nvalue(v), e.second) << e.first;
    }
    EXPECT_EQ(Count(t), (int)model.size());
    EXPECT_LE(live, (int)model.size());  // the number keys 1..n may live in the array part
  };
  for (int op = 0; op < 30000; op++) {
    unsigned r = rng();
    double v = (double)(r % 100000);
    if (r % 5 == 0) {  // a number key in the hash part (negative) or the array part
      int k = (int)(r % 700) - 350;
      setnvalue(luaH_setnum(L, t, k), v);
      snprintf(buf, sizeof(buf), "#%d", k);
      model[buf] = v;
      continue;
    }
    int id = (int)(r % ((op < 15000) ? 4000 : 600));  // later rounds mostly overwrite and remove
    snprintf(buf, sizeof(buf), "c%d", id);
    TObject key = Str(buf);
    if (r % 7 < 2) {
      const TObject *p = luaH_get(t, &key);
      if (!ttisnil(p)) setnilvalue((TObject *)p);
      model.erase(buf);
    } else {
      setnvalue(luaH_set(L, t, &key), v);
      model[buf] = v;
    }
    if (op % 3000 == 2999) {
      luaC_collectgarbage(L);  // frees the strings of removed keys
      check();
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace

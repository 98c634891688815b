// String-key lookups remember where a string was last found; these tests
// share one set of strings between tables of different sizes, moved around by
// collisions, removals and resizes, and check that every lookup answers for
// its own table.
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/vm/vmcore_fixture.h"

namespace {

class StringKeys : public VmCoreTest {
 protected:
  // Interned strings, anchored on the stack.
  std::vector<TString *> MakeKeys(int n) {
    std::vector<TString *> keys;
    for (int i = 0; i < n; i++) {
      std::string s = "key" + std::to_string(i);
      keys.push_back(tsvalue(Push(Str(s.c_str()))));
    }
    return keys;
  }
  void Set(Table *t, TString *key, double v) {
    TObject k;
    setsvalue(&k, key);
    setnvalue(luaH_set(L, t, &k), v);
  }
};

// A key found off its main position in one table is then looked up in tables
// where that node index holds another key, holds nothing, or lies beyond
// their node count.
TEST_F(StringKeys, RememberedNodeOfAnotherTableIsNotTrusted) {
  std::vector<TString *> keys = MakeKeys(64);
  Table *big = NewTable(0, 6);  // 64 nodes: every key stored, many off their main position
  for (size_t i = 0; i < keys.size(); i++) Set(big, keys[i], (double)i);
  for (size_t i = 0; i < keys.size(); i++) ASSERT_EQ(nvalue(luaH_getstr(big, keys[i])), (double)i);

  Table *other = NewTable(0, 6);  // the same size, the keys in reverse order: other nodes
  for (size_t i = keys.size(); i-- > 0;) Set(other, keys[i], 1000.0 + i);
  Table *small = NewTable(0, 2);  // 4 nodes: remembered indexes beyond its size
  for (size_t i = 0; i < 3; i++) Set(small, keys[i], 2000.0 + i);
  Table *empty = NewTable();

  for (int pass = 0; pass < 2; pass++) {
    for (size_t i = 0; i < keys.size(); i++) {
      EXPECT_EQ(nvalue(luaH_getstr(other, keys[i])), 1000.0 + i);
      EXPECT_EQ(nvalue(luaH_getstr(big, keys[i])), (double)i);
      const TObject *s = luaH_getstr(small, keys[i]);
      if (i < 3) EXPECT_EQ(nvalue(s), 2000.0 + i);
      else EXPECT_TRUE(ttisnil(s));
      EXPECT_TRUE(ttisnil(luaH_getstr(empty, keys[i])));
    }
  }
}

// Random stores, removals and lookups over several tables that share their
// keys, with resizes along the way, against one std::map per table.
TEST_F(StringKeys, SharedKeysAgainstStdMap) {
  std::mt19937 rng(4242);
  std::vector<TString *> keys = MakeKeys(300);
  const int kTables = 5;
  std::vector<Table *> tables;
  std::vector<std::map<int, double>> models(kTables);
  for (int t = 0; t < kTables; t++) tables.push_back(NewTable(0, t));
  for (int op = 0; op < 30000; op++) {
    const int t = (int)(rng() % kTables);
    const int k = (int)(rng() % (unsigned)(60 + 60 * t));  // tables of different fullness
    TObject key;
    setsvalue(&key, keys[k]);
    const unsigned what = rng() % 10;
    if (what < 5) {
      const double v = (double)(rng() % 100000);
      Set(tables[t], keys[k], v);
      models[t][k] = v;
    } else if (what < 7) {
      const TObject *p = luaH_getstr(tables[t], keys[k]);
      if (!ttisnil(p)) setnilvalue((TObject *)p);
      models[t].erase(k);
    } else {
      const TObject *p = (what == 7) ? luaH_get(tables[t], &key) : luaH_getstr(tables[t], keys[k]);
      auto it = models[t].find(k);
      if (it == models[t].end()) {
        ASSERT_TRUE(ttisnil(p)) << "table " << t << " key " << k;
      } else {
        ASSERT_TRUE(ttisnumber(p)) << "table " << t << " key " << k;
        ASSERT_EQ(nvalue(p), it->second) << "table " << t << " key " << k;
      }
    }
  }
  for (int t = 0; t < kTables; t++)
    for (auto &[k, v] : models[t]) EXPECT_EQ(nvalue(luaH_getstr(tables[t], keys[k])), v);
}

}  // namespace

// Tables: the nil/0 and -0/+0 keys, array sizing, collisions, traversal and
// the table errors, plus a randomised comparison against std::map.
#include <math.h>

#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/vm/vmcore_fixture.h"

namespace {

using Tables = VmCoreTest;

// Entries in the hash part (non-nil values).
int HashEntries(const Table *t) {
  if (t->lsizenode == 0) return 0;
  int n = 0;
  for (int i = 0; i < sizenode(t); i++) n += !ttisnil(gval(&t->node[i]));
  return n;
}

TEST_F(Tables, NilKeyIsTheNumberZero) {
  Table *t = NewTable();
  TObject nil = Nil(), zero = Num(0);
  SetField(t, nil, Num(7));
  EXPECT_EQ(nvalue(luaH_getnum(t, 0)), 7);
  EXPECT_EQ(nvalue(luaH_get(t, &zero)), 7);
  SetField(t, zero, Num(8));
  EXPECT_EQ(nvalue(luaH_get(t, &nil)), 8);
  EXPECT_EQ(Count(t), 1);
  // Traversal shows the key as the number 0.
  StkId key = Push(Nil());
  Push(Nil());
  ASSERT_TRUE(luaH_next(L, t, key));
  EXPECT_TRUE(ttisnumber(key));
  EXPECT_EQ(nvalue(key), 0);
  EXPECT_FALSE(luaH_next(L, t, key));
}

TEST_F(Tables, NegativeAndPositiveZeroAreOneKey) {
  Table *t = NewTable();
  TObject mz = Num(-0.0), pz = Num(0.0);
  SetField(t, mz, Num(1));
  EXPECT_EQ(nvalue(luaH_get(t, &pz)), 1);
  SetField(t, pz, Num(2));
  EXPECT_EQ(nvalue(luaH_get(t, &mz)), 2);
  EXPECT_EQ(Count(t), 1);
  // The same holds for the hash of other number keys: -0 and +0 hash alike.
  EXPECT_EQ(luaH_mainposition(t, &mz), luaH_mainposition(t, &pz));
}

TEST_F(Tables, ArraySizing) {
  Table *t = NewTable();
  for (int k = 1; k <= 100; k++) setnvalue(luaH_setnum(L, t, k), k);
  EXPECT_EQ(t->sizearray, 128);
  EXPECT_EQ(HashEntries(t), 0);
  for (int k = 1; k <= 100; k++) EXPECT_EQ(nvalue(luaH_getnum(t, k)), k);

  Table *u = NewTable();
  for (int k : {1, 2, 1000}) setnvalue(luaH_setnum(L, u, k), k);
  setnvalue(luaH_setnum(L, u, 3000), 3000);  // forces another rehash
  EXPECT_EQ(u->sizearray, 2);
  EXPECT_EQ(HashEntries(u), 2);
  EXPECT_EQ(nvalue(luaH_getnum(u, 1000)), 1000);

  // Non-integral and out-of-range numbers stay in the hash part.
  Table *v = NewTable();
  TObject half = Num(1.5), big = Num(4294967297.0), neg = Num(-1);
  SetField(v, half, Num(1));
  SetField(v, big, Num(2));
  SetField(v, neg, Num(3));
  EXPECT_EQ(v->sizearray, 0);
  EXPECT_EQ(nvalue(luaH_get(v, &big)), 2);
  EXPECT_EQ(nvalue(luaH_get(v, &neg)), 3);
}

TEST_F(Tables, ShrinkingArrayMovesEntriesToTheHash) {
  Table *t = NewTable();
  for (int k = 1; k <= 64; k++) setnvalue(luaH_setnum(L, t, k), k);
  ASSERT_EQ(t->sizearray, 64);
  for (int k = 2; k <= 64; k++) setnilvalue(luaH_setnum(L, t, k));
  // Enough new hash keys to force rehashes: the sparse array part shrinks.
  for (int i = 0; i < 40; i++) setnvalue(luaH_set(L, t, Push(Num(1000.5 + i))), i);
  EXPECT_LT(t->sizearray, 64);
  EXPECT_EQ(nvalue(luaH_getnum(t, 1)), 1);
  for (int i = 0; i < 40; i++) {
    TObject k = Num(1000.5 + i);
    EXPECT_EQ(nvalue(luaH_get(t, &k)), i);
  }
}

TEST_F(Tables, CollidingNodeOutOfItsMainPositionMoves) {
  Table *t = NewTable(0, 3);  // 8 nodes, no rehash below 8 keys
  // Find a, b with the same main position, then c whose main position is
  // the free node that b will take.
  std::vector<TObject> keys;
  for (int i = 0; i < 200; i++) keys.push_back(Num(i + 0.25));
  TObject a{}, b{};
  bool found = false;
  for (size_t i = 0; i < keys.size() && !found; i++)
    for (size_t j = i + 1; j < keys.size() && !found; j++)
      if (luaH_mainposition(t, &keys[i]) == luaH_mainposition(t, &keys[j])) {
        a = keys[i];
        b = keys[j];
        found = true;
      }
  ASSERT_TRUE(found);
  SetField(t, a, Num(1));
  SetField(t, b, Num(2));
  Node *bnode = nullptr;
  for (int i = 0; i < sizenode(t); i++)
    if (luaO_rawequalObj(gkey(&t->node[i]), &b)) bnode = &t->node[i];
  ASSERT_NE(bnode, nullptr);
  ASSERT_NE(bnode, luaH_mainposition(t, &b));  // b lives outside its main position
  TObject c{};
  found = false;
  // Number keys hash modulo an odd count, so the last node may only be a
  // string's main position: offer both kinds.
  for (int i = 0; i < 200; i++) {
    char s[16];
    snprintf(s, sizeof(s), "c%d", i);
    keys.push_back(Str(s));
  }
  for (auto &k : keys)
    if (luaH_mainposition(t, &k) == bnode && !luaO_rawequalObj(&k, &a) && !luaO_rawequalObj(&k, &b)) {
      c = k;
      found = true;
      break;
    }
  ASSERT_TRUE(found);
  SetField(t, c, Num(3));
  EXPECT_TRUE(luaO_rawequalObj(gkey(bnode), &c));  // c took its main position, b moved
  EXPECT_EQ(nvalue(luaH_get(t, &a)), 1);
  EXPECT_EQ(nvalue(luaH_get(t, &b)), 2);
  EXPECT_EQ(nvalue(luaH_get(t, &c)), 3);
}

TEST_F(Tables, TableErrors) {
  Table *t = NewTable();
  SetField(t, "a", Num(1));
  // 1206: next with a key that is not in the table.
  StkId key = Push(Str("never"));
  Push(Nil());
  EXPECT_EQ(Protected([&] { luaH_next(L, t, key); }), 1206);
  StkId k2 = Push(Num(5));
  Push(Nil());
  EXPECT_EQ(Protected([&] { luaH_next(L, t, k2); }), 1206);
  // 1208: a NaN key; the table is unchanged.
  TObject nan = Num(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(Protected([&] { luaH_set(L, t, &nan); }), 1208);
  EXPECT_EQ(Count(t), 1);
  EXPECT_TRUE(ttisnil(luaH_get(t, &nan)));  // reading under NaN is no error
  // 1207: sizes beyond 2^24.
  EXPECT_EQ(Protected([&] { luaH_new(L, 0, 25); }), 1207);
  EXPECT_EQ(Protected([&] { luaH_new(L, (1 << 24) + 1, 0); }), 1207);
}

TEST_F(Tables, NewTableSizeDecodingIsSixtyFourBit) {
  EXPECT_EQ(luaH_fb2size(0), 0u);
  EXPECT_EQ(luaH_fb2size(5), 5u);
  EXPECT_EQ(luaH_fb2size(1 | (3 << 3)), 8u);
  EXPECT_EQ(luaH_fb2size(1 | (24 << 3)), 1u << 24);
  EXPECT_EQ(luaH_fb2size(1 | (32 << 3)), 1ull << 32);  // would wrap to 0 in 32 bits
  EXPECT_EQ(luaH_fb2size(0x1FF), 7ull << 63);
  Table *t = nullptr;
  EXPECT_EQ(Protected([&] { t = luaH_newfromcode(L, 3 | (2 << 3), 2); }), 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->sizearray, 12);
  EXPECT_EQ(sizenode(t), 4);
  struct {
    int b, c;
  } overflowing[] = {{2 | (24 << 3), 0}, {1 | (32 << 3), 0}, {1 | (44 << 3), 0}, {0x1FF, 0}, {0, 25}, {0, 511}};
  for (auto &o : overflowing) EXPECT_EQ(Protected([&] { luaH_newfromcode(L, o.b, o.c); }), 1207) << o.b << " " << o.c;
}

TEST_F(Tables, NextAfterTheLastEntryAndOverDeletedEntries) {
  Table *t = NewTable();
  for (int k = 1; k <= 3; k++) setnvalue(luaH_setnum(L, t, k), k);
  SetField(t, "x", Num(4));
  SetField(t, "y", Num(5));
  StkId key = Push(Nil());
  Push(Nil());
  int seen = 0;
  while (luaH_next(L, t, key)) {
    seen++;
    setnilvalue(luaH_set(L, t, key));  // delete the current entry, then go on from it
  }
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(Count(t), 0);
}

// ---- randomised comparison with std::map ----

std::string KeyName(const TObject *k) {
  char buf[64];
  switch (ttype(k)) {
    case LUA_TNIL: return "n:0";
    case LUA_TNUMBER:
      snprintf(buf, sizeof(buf), "n:%.17g", nvalue(k) == 0 ? 0.0 : nvalue(k));
      return buf;
    case LUA_TSTRING: return "s:" + std::string(svalue(k), tsvalue(k)->len);
    case LUA_TBOOLEAN: return bvalue(k) ? "b:1" : "b:0";
    default: return "?";
  }
}

TEST_F(Tables, RandomisedAgainstStdMap) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 8; round++) {
    Table *t = NewTable();
    std::map<std::string, double> model;
    auto randomKey = [&]() -> TObject {
      switch (rng() % 8) {
        case 0: return Num((double)(rng() % 40) + 1);                // array candidates
        case 1: return Num((double)(rng() % 2000) - 1000);           // sparse integers
        case 2: return Num((double)(rng() % 50) / 4.0);               // fractions
        case 3: return Nil();                                         // the key 0
        case 4: return Num(rng() % 2 ? -0.0 : 0.0);
        case 5: return Bool(rng() % 2);
        case 6: return Num((double)(rng() % 100) * 1e9);              // beyond 32 bits
        default: {
          char s[8];
          int n = snprintf(s, sizeof(s), "k%u", (unsigned)(rng() % 300));
          if (rng() % 4 == 0) s[1] = '\0';  // a NUL inside the key
          return Str(s, (size_t)n);
        }
      }
    };
    for (int op = 0; op < 4000; op++) {
      TObject k = randomKey();
      StkId ks = Push(k);  // keep the key string alive while used
      std::string name = KeyName(ks);
      unsigned what = rng() % 10;
      if (what < 6) {
        double v = (double)(rng() % 1000000);
        setnvalue(luaH_set(L, t, ks), v);
        model[name] = v;
      } else if (what < 9) {
        const TObject *p = luaH_get(t, ks);
        if (!ttisnil(p)) setnilvalue((TObject *)p);
        model.erase(name);
      } else {
        const TObject *p = luaH_get(t, ks);
        auto it = model.find(name);
        if (it == model.end()) {
          EXPECT_TRUE(ttisnil(p)) << name;
        } else {
          ASSERT_TRUE(ttisnumber(p)) << name;
          EXPECT_EQ(nvalue(p), it->second) << name;
        }
      }
      L->top = ks;
      if (op % 500 == 0) luaC_collectgarbage(L);  // frees keys of deleted entries
    }
    // Full traversal with deletions of about a third of the entries on the way.
    std::map<std::string, double> seen;
    StkId key = Push(Nil());
    Push(Nil());
    while (luaH_next(L, t, key)) {
      std::string name = KeyName(key);
      ASSERT_TRUE(ttisnumber(key + 1));
      EXPECT_EQ(seen.count(name), 0u) << "visited twice: " << name;
      seen[name] = nvalue(key + 1);
      if (rng() % 3 == 0) {
        setnilvalue(luaH_set(L, t, key));
        model.erase(name);
        seen.erase(name);
        seen["deleted " + name] = 0;
      }
    }
    for (auto it = seen.begin(); it != seen.end();)
      it = (it->first.rfind("deleted ", 0) == 0) ? seen.erase(it) : std::next(it);
    EXPECT_EQ(seen, model) << "round " << round;
    L->top = key;
    EXPECT_EQ(Count(t), (int)model.size());
    L->top--;  // drop the table
  }
}

}  // namespace

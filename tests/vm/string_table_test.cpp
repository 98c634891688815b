// The string table across collections and resizes: a live string is always found again (no
// second copy is made), whatever the collector freed in its bucket and however often the
// bucket array was rebuilt.
#include <string>
#include <vector>

#include "tests/vm/vmcore_fixture.h"

namespace {

using StringTable = VmCoreTest;

TEST_F(StringTable, LiveStringsAreFoundAfterCollectionsAndResizes) {
  Table *keep = NewTable();
  std::vector<TString *> kept;
  std::vector<int> slot;  // the key of each kept string in `keep`
  int slots = 0;
  char buf[32];
  int n = 0;
  // Rounds of new strings, a third of them kept; each round ends with a collection (which
  // frees the rest and may halve the table) and a check that every kept string is found.
  for (int round = 0; round < 6; round++) {
    int count = (round % 2) ? 300 : 6000;  // the table grows and shrinks
    for (int i = 0; i < count; i++, n++) {
      snprintf(buf, sizeof(buf), "s%d", n);
      TString *ts = luaS_new(L, buf);
      if (n % 3 == 0) {
        TObject v;
        setsvalue(&v, ts);
        setobj(luaH_setnum(L, keep, ++slots), &v);
        kept.push_back(ts);
        slot.push_back(slots);
      }
    }
    luaC_collectgarbage(L);
    uint32_t used = G(L)->strt.nuse;
    for (TString *ts : kept) ASSERT_EQ(luaS_newlstr(L, getstr(ts), ts->len), ts) << getstr(ts);
    EXPECT_EQ(G(L)->strt.nuse, used) << "a live string was interned twice";
    if (round == 3) {  // drop most of them: the next collection shrinks the table
      std::vector<TString *> left;
      std::vector<int> leftslot;
      for (size_t i = 0; i < kept.size(); i++) {
        if (i % 10 != 0) {
          setnilvalue(luaH_setnum(L, keep, slot[i]));
        } else {
          left.push_back(kept[i]);
          leftslot.push_back(slot[i]);
        }
      }
      kept = left;
      slot = leftslot;
      int before = G(L)->strt.size;
      luaC_collectgarbage(L);
      EXPECT_LT(G(L)->strt.size, before);
    }
  }
}

TEST_F(StringTable, StringsWithTheSameHashStayApart) {
  // Long strings differing only in bytes the hash does not sample share a bucket and its
  // summary bit; one of them is collected, and both are interned again.
  std::string a(2000, 'x'), b = a, c = a;
  b[1000] = 'y';
  c[1001] = 'z';
  ASSERT_EQ(luaS_hash(a.data(), a.size()), luaS_hash(b.data(), b.size()));
  ASSERT_EQ(luaS_hash(a.data(), a.size()), luaS_hash(c.data(), c.size()));
  StkId sa = Push(Str(a.data(), a.size()));
  Push(Str(b.data(), b.size()));
  L->top--;  // b is garbage
  StkId sc = Push(Str(c.data(), c.size()));
  luaC_collectgarbage(L);
  EXPECT_EQ(luaS_newlstr(L, a.data(), a.size()), tsvalue(sa));
  EXPECT_EQ(luaS_newlstr(L, c.data(), c.size()), tsvalue(sc));
  TString *nb = luaS_newlstr(L, b.data(), b.size());
  EXPECT_NE(nb, tsvalue(sa));
  EXPECT_NE(nb, tsvalue(sc));
  EXPECT_EQ(std::string(getstr(nb), nb->len), b);
  EXPECT_EQ(luaS_newlstr(L, b.data(), b.size()), nb);
}

}  // namespace

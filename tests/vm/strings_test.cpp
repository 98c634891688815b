// Interned strings and the string table.
#include <string>

#include "tests/vm/vmcore_fixture.h"

namespace {

using Strings = VmCoreTest;

TEST_F(Strings, SameBytesGiveTheSameObject) {
  TString *a = luaS_newlstr(L, "hello", 5);
  std::string copy = "hel";
  copy += "lo";
  EXPECT_EQ(luaS_newlstr(L, copy.data(), copy.size()), a);
  EXPECT_EQ(luaS_new(L, "hello"), a);
  EXPECT_NE(luaS_new(L, "hellO"), a);
  EXPECT_NE(luaS_newlstr(L, "hello", 4), a);
}

TEST_F(Strings, NulBytesAreContent) {
  TString *a = luaS_newlstr(L, "a\0b", 3);
  TString *b = luaS_newlstr(L, "a\0c", 3);
  TString *c = luaS_newlstr(L, "a", 1);
  EXPECT_NE(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(a->len, 3u);
  EXPECT_EQ(memcmp(getstr(a), "a\0b", 4), 0);  // with the terminating zero
  EXPECT_EQ(luaS_newlstr(L, "a\0b", 3), a);
  TString *empty = luaS_newlstr(L, "", 0);
  EXPECT_EQ(empty->len, 0u);
  EXPECT_EQ(getstr(empty)[0], '\0');
}

TEST_F(Strings, LongStringsDifferingOnlyInUnsampledBytes) {
  std::string s1(1000, 'x');
  std::string s2 = s1;
  // With 1000 bytes every 32nd byte from the end is hashed: byte 998 is not.
  s2[998] = 'y';
  ASSERT_EQ(luaS_hash(s1.data(), s1.size()), luaS_hash(s2.data(), s2.size()));
  TString *a = luaS_newlstr(L, s1.data(), s1.size());
  TString *b = luaS_newlstr(L, s2.data(), s2.size());
  EXPECT_NE(a, b);
  EXPECT_EQ(luaS_newlstr(L, s2.data(), s2.size()), b);
  EXPECT_EQ(luaS_newlstr(L, s1.data(), s1.size()), a);
  // Short strings hash every byte.
  EXPECT_NE(luaS_hash("abc", 3), luaS_hash("abd", 3));
}

TEST_F(Strings, TableDoublesOnThe33rdStringAndShrinksWhenMostlyFree) {
  stringtable *tb = &G(L)->strt;
  ASSERT_EQ(tb->size, MINSTRTABSIZE);
  ASSERT_LE(tb->nuse, 32u);
  int i = 0;
  char buf[32];
  while (tb->nuse < 32) {
    snprintf(buf, sizeof(buf), "fill%d", i++);
    Push(Str(buf));
  }
  EXPECT_EQ(tb->size, 32);
  Push(Str("the 33rd"));
  EXPECT_EQ(tb->nuse, 33u);
  EXPECT_EQ(tb->size, 64);
  // Many strings, then drop them: a collection halves the table.
  ptrdiff_t mark = savestack(L, L->top);  // the stack grows below
  for (int k = 0; k < 300; k++) {
    snprintf(buf, sizeof(buf), "many%d", k);
    Push(Str(buf));
  }
  int big = tb->size;
  EXPECT_GE(big, 256);
  L->top = restorestack(L, mark);
  luaC_collectgarbage(L);
  EXPECT_EQ(tb->size, big / 2);
  EXPECT_LT(tb->nuse, 300u);
  // Every remaining string is still found.
  EXPECT_EQ(luaS_new(L, "the 33rd"), tsvalue(L->top - 1));
}

TEST_F(Strings, FixedStringsSurviveCollections) {
  TString *idx = G(L)->tmname[TM_INDEX];
  luaC_collectgarbage(L);
  luaC_collectgarbage(L);
  EXPECT_EQ(luaS_new(L, "__index"), idx);
  EXPECT_STREQ(getstr(G(L)->tmname[TM_CALL]), "__call");
  EXPECT_STREQ(getstr(G(L)->tmname[TM_DIVINT]), "__divint");
  EXPECT_NE(luaS_new(L, "not enough memory")->marked & (1 << FIXEDBIT), 0);
}

}  // namespace

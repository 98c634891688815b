// A global read remembers, per instruction, the node where it found its name last. These
// tests run one such instruction against global tables that change under it (new keys and
// resizes, removals, other tables for the same code, tables freed and allocated again) and
// check that every read answers for the table it reads now.
#include <cmath>
#include <random>
#include <string>

#include "tests/vm/vm_fixture.h"

namespace {

struct GlobalRead : VmTest {
  // Pushes a closure of `return v` (one global read and its result).
  void PushReader() {
    PushRaw({CREATE_ABx(OP_GETGLOBAL, 0, 0), CREATE_ABC(OP_RETURN, 0, 2, 0)}, 2, {{1, 0, "v"}});
  }
  // Calls the closure at the top of the stack (left in place); returns its result, NaN for nil.
  double Read() {
    lua_pushvalue(L, -1);
    lua_call(L, 0, 1);
    double r = lua_isnil(L, -1) ? NAN : lua_tonumber(L, -1);
    lua_pop(L, 1);
    return r;
  }
  // t[key] = value in the table at index idx (value: NaN stores nil).
  void Set(int idx, const std::string &key, double value) {
    lua_pushstring(L, key.c_str());
    if (std::isnan(value)) lua_pushnil(L);
    else lua_pushnumber(L, value);
    lua_rawset(L, idx < 0 ? idx - 2 : idx);
  }
  static void ExpectValue(double got, double want) {
    if (std::isnan(want)) EXPECT_TRUE(std::isnan(got)) << got;
    else EXPECT_EQ(got, want);
  }
};

// In one global table: the value changes, the table grows through several resizes, the name
// is removed and comes back.
TEST_F(GlobalRead, FollowsChangesOfItsTable)
{
  lua_newtable(L);
  int env = lua_gettop(L);
  Set(env, "v", 1);
  PushReader();
  lua_pushvalue(L, env);
  ASSERT_TRUE(lua_setfenv(L, -2));
  EXPECT_EQ(Read(), 1);
  EXPECT_EQ(Read(), 1);
  Set(env, "v", 2);
  EXPECT_EQ(Read(), 2);
  for (int n = 0; n < 300; n++) {
    Set(env, "g" + std::to_string(n), n);
    ASSERT_EQ(Read(), 2) << "after " << n + 1 << " new keys";
  }
  Set(env, "v", NAN);
  ExpectValue(Read(), NAN);
  ExpectValue(Read(), NAN);
  Set(env, "v", 3);
  EXPECT_EQ(Read(), 3);
}

// The name is removed and other keys fill the free nodes, one of them the name's old node,
// without a resize: the remembered node then holds another key with a value.
TEST_F(GlobalRead, RemovedNameWhoseNodeAnotherKeyTakes)
{
  lua_newtable(L);
  int env = lua_gettop(L);
  for (int n = 0; n < 40; n++) Set(env, "f" + std::to_string(n), n);  // 64 nodes, 24 free
  Set(env, "v", 1);
  PushReader();
  lua_pushvalue(L, env);
  ASSERT_TRUE(lua_setfenv(L, -2));
  EXPECT_EQ(Read(), 1);
  Set(env, "v", NAN);
  for (int n = 0; n < 20; n++) {
    Set(env, "n" + std::to_string(n), 100 + n);
    ExpectValue(Read(), NAN);
  }
}

// The same instruction reads fresh tables of random sizes, with or without the name, some
// swapped back and forth and some freed before the next is made (so a new table or node array
// may take a freed one's address), against the value each table holds.
TEST_F(GlobalRead, EveryReadAnswersForTheTableItReads)
{
  std::mt19937 rng(3232);
  PushReader();
  int reader = lua_gettop(L);
  lua_newtable(L);  // keeps the table read in the last round
  int keep = lua_gettop(L);
  double keptValue = NAN;
  for (int round = 0; round < 400; round++) {
    lua_newtable(L);
    int env = lua_gettop(L);
    int others = (int)(rng() % 40);
    int vAt = (int)(rng() % (others + 2));  // where among the other keys "v" goes in (or not)
    double want = NAN;
    for (int n = 0; n <= others; n++) {
      if (n == vAt) {
        want = (double)(rng() % 1000);
        Set(env, "v", want);
      }
      if (n < others) Set(env, "k" + std::to_string(rng() % 64), n);
    }
    lua_pushvalue(L, reader);
    lua_pushvalue(L, env);
    lua_setfenv(L, -2);
    ExpectValue(Read(), want);
    ExpectValue(Read(), want);
    lua_pop(L, 1);
    if (rng() % 2) {
      // back to the table of the last round, then here again
      lua_pushvalue(L, reader);
      lua_rawgeti(L, keep, 1);
      if (lua_istable(L, -1)) {
        lua_setfenv(L, -2);
        ExpectValue(Read(), keptValue);
      } else {
        lua_pop(L, 1);
      }
      lua_pushvalue(L, env);
      lua_setfenv(L, -2);
      ExpectValue(Read(), want);
      lua_pop(L, 1);
    }
    lua_pushvalue(L, env);
    lua_rawseti(L, keep, 1);
    keptValue = want;
    lua_settop(L, keep);
    if (round % 8 == 0) lua_setgcthreshold(L, 0);  // frees the dropped tables now
  }
}

}  // namespace

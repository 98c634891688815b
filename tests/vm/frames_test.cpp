// Script functions called from script code: results moved to the caller and padded with nil or
// cut to the count it asked for, open counts ending at the last result, and a callee's registers
// above its arguments starting as nil whatever the caller left there.
#define KV_VM_FIXTURE_KVASM
#include "tests/vm/vm_fixture.h"

namespace {

// f returns `given` values 1..given (directly, or through an open return of a nested call);
// main calls it asking for `wanted` (-1: open) and returns what arrived.
std::string ResultsProgram(int given, int wanted, bool openReturn)
{
  std::string f = ".func f\n";
  for (int j = 0; j < given; j++) f += "        loadk r" + std::to_string(j) + ", " + std::to_string(j + 1) + "\n";
  f += "        return r0, " + std::to_string(given) + "\n.end\n";
  std::string t = f + ".func g\n" + f + "        closure r0, f\n        call r0, 0, *\n        return r0, *\n.end\n";
  for (int j = 1; j <= 6; j++) t += "        loadk r" + std::to_string(j) + ", \"old\"\n";
  t += std::string("        closure r0, ") + (openReturn ? "g" : "f") + "\n";
  std::string w = wanted < 0 ? "*" : std::to_string(wanted);
  t += "        call r0, 0, " + w + "\n        return r0, " + w + "\n";
  return t;
}

}  // namespace

TEST_F(VmTest, ScriptCallResultsArePaddedOrCutToTheCountAsked)
{
  for (int openReturn = 0; openReturn <= 1; openReturn++) {
    for (int given : {0, 1, 3}) {
      for (int wanted : {-1, 0, 1, 2, 4}) {
        SCOPED_TRACE("given " + std::to_string(given) + " wanted " + std::to_string(wanted) +
                     (openReturn ? " through an open return" : ""));
        ASSERT_EQ(Load(ResultsProgram(given, wanted, openReturn)), 0);
        ASSERT_EQ(lua_pcall(L, 0, LUA_MULTRET, 0), 0);
        int expect = wanted < 0 ? given : wanted;
        ASSERT_EQ(lua_gettop(L), expect);
        for (int j = 1; j <= expect; j++) {
          if (j <= given)
            EXPECT_EQ(lua_tonumber(L, j), j);
          else
            EXPECT_TRUE(lua_isnil(L, j)) << "result " << j;
        }
        lua_settop(L, 0);
      }
    }
  }
}

TEST_F(VmTest, CalleeRegistersAboveTheArgumentsStartAsNil)
{
  // the callee's frame lies over the caller's r2..r5, which hold strings; one argument given
  ASSERT_EQ(Load(".func f params=1 stack=5\n"
                 "        return r0, 5\n"
                 ".end\n"
                 "        loadk   r2, \"old\"\n"
                 "        loadk   r3, \"old\"\n"
                 "        loadk   r4, \"old\"\n"
                 "        loadk   r5, \"old\"\n"
                 "        loadk   r6, \"kept\"\n"
                 "        closure r0, f\n"
                 "        loadk   r1, 7\n"
                 "        call    r0, 1, 5\n"
                 "        return  r0, 7\n"),
            0);
  ASSERT_EQ(lua_pcall(L, 0, LUA_MULTRET, 0), 0);
  ASSERT_EQ(lua_gettop(L), 7);
  EXPECT_EQ(lua_tonumber(L, 1), 7);
  for (int j = 2; j <= 5; j++) EXPECT_TRUE(lua_isnil(L, j)) << "register " << j - 1;
  EXPECT_STREQ(lua_tostring(L, 7), "kept");  // above the callee's frame: untouched
}

// Value rules: integer views, number arithmetic, truth, conversions, equality
// and order, with their error codes.
#include <math.h>

#include <limits>

#include "runtime/vm/interpreter.h"
#include "tests/vm/vmcore_fixture.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(IntegerViews, SignedViewTruncatesAndSaturates) {
  struct {
    double in;
    int32_t out;
  } cases[] = {
      {0, 0},           {-0.0, 0},        {3.7, 3},           {-3.7, -3},
      {kNaN, 0},        {1e300, INT32_MAX}, {-1e300, INT32_MIN}, {kInf, INT32_MAX},
      {-kInf, INT32_MIN}, {2147483647.9, INT32_MAX}, {2147483648.0, INT32_MAX},
      {-2147483648.9, INT32_MIN}, {-2147483649.0, INT32_MIN}, {-2147483647.5, -2147483647},
  };
  for (auto &c : cases) EXPECT_EQ(luaO_toint32(c.in), c.out) << c.in;
}

TEST(IntegerViews, UnsignedViewClampsThenTruncates) {
  struct {
    double in;
    uint32_t out;
  } cases[] = {
      {0, 0},          {-0.0, 0},          {-1, 0},  {kNaN, 0}, {-1e300, 0}, {3.9, 3},
      {4294967295.0, 4294967295u}, {4294967295.5, 4294967295u}, {4294967296.0, 4294967295u},
      {1e300, 4294967295u}, {kInf, 4294967295u}, {2147483648.0, 2147483648u},
  };
  for (auto &c : cases) EXPECT_EQ(luaO_touint32(c.in), c.out) << c.in;
}

TEST(IntegerViews, ArgumentWordIsTwosComplementForNegatives) {
  EXPECT_EQ(luaO_toword32(-1), 0xFFFFFFFFu);
  EXPECT_EQ(luaO_toword32(-2.5), 0xFFFFFFFEu);
  EXPECT_EQ(luaO_toword32(-1e300), 0x80000000u);
  EXPECT_EQ(luaO_toword32(1e300), 0xFFFFFFFFu);
  EXPECT_EQ(luaO_toword32(4294967296.0), 0xFFFFFFFFu);
  EXPECT_EQ(luaO_toword32(kNaN), 0u);
  EXPECT_EQ(luaO_toword32(3000000000.0), 3000000000u);
}

TEST(IntegerViews, DivisionOfTheMostNegativeValueByMinusOne) {
  EXPECT_EQ(luaO_idiv(INT32_MIN, -1), INT32_MIN);
  EXPECT_EQ(luaO_imod(INT32_MIN, -1), 0);
  EXPECT_EQ(luaO_idiv(7, -2), -3);
  EXPECT_EQ(luaO_imod(-7, 2), -1);
}

TEST(Arithmetic, OperatorTable) {
  struct {
    TMS op;
    double a, b;
    int code;
    double res;
  } cases[] = {
      {TM_ADD, 1, 2, 0, 3},
      {TM_DIV, 1, 4, 0, 0.25},
      {TM_DIV, 1, 0, 1089, 0},
      {TM_DIV, 1, -0.0, 1089, 0},
      {TM_DIVINT, 7, -2, 0, -3},
      {TM_DIVINT, -7, 2, 0, -3},
      {TM_DIVINT, 7, 0.5, 1089, 0},
      {TM_DIVINT, -2147483648.0, -1, 0, -2147483648.0},
      {TM_DIVINT, 1e300, 1, 0, 2147483647.0},
      {TM_DIVINT, kNaN, 1, 0, 0},
      {TM_DIVINT, 1, kNaN, 1089, 0},
      {TM_MOD, -7, 2, 0, -1},
      {TM_MOD, 7, -2, 0, 1},
      {TM_MOD, 5, 0.5, 1089, 0},
      {TM_MOD, -2147483648.0, -1, 0, 0},
      {TM_OR, -1, 0, 0, 0},
      {TM_OR, 1, 2, 0, 3},
      {TM_AND, 4294967296.0, 1, 0, 1},
      {TM_XOR, 4294967295.0, 1, 0, 4294967294.0},
      {TM_LSH, 1, 33, 0, 2},
      {TM_LSH, 1, 32, 0, 1},
      {TM_LSH, 1, -1, 0, 2147483648.0},
      {TM_LSH, 4294967295.0, 4, 0, 4294967280.0},
      {TM_LSH, 1, 1e300, 0, 2147483648.0},
      {TM_RSH, 2147483648.0, 31, 0, 1},
      {TM_RSH, 4294967295.0, 64, 0, 4294967295.0},
      {TM_RSH, -5, 1, 0, 0},
      {TM_NOT, 0, 0, 0, 4294967295.0},
      {TM_NOT, -5, 0, 0, 4294967295.0},
      {TM_NOT, 4294967295.0, 0, 0, 0},
      {TM_POW, 2, 10, 0, 1024},
      {TM_UNM, 5, 0, 0, -5},
      {TM_EQ, 1, 1, 1030, 0},
  };
  for (auto &c : cases) {
    double res = 12345;
    int code = luaO_arith(c.op, c.a, c.b, &res);
    EXPECT_EQ(code, c.code) << luaT_eventname[c.op] << " " << c.a << " " << c.b;
    if (c.code == 0) {
      EXPECT_EQ(res, c.res) << luaT_eventname[c.op] << " " << c.a << " " << c.b;
    }
  }
  double r;
  ASSERT_EQ(luaO_arith(TM_UNM, 0, 0, &r), 0);
  EXPECT_TRUE(std::signbit(r));  // nil counts as 0 and negates to -0
}

TEST(StringToNumber, ConversionTable) {
  struct {
    const char *s;
    int ok;
    double v;
  } cases[] = {
      {"12", 1, 12},        {" 12 ", 1, 12},      {"\t12\n", 1, 12},   {"12a", 0, 0},
      {"", 0, 0},           {" ", 0, 0},          {"1e3", 1, 1000},    {"-2.5", 1, -2.5},
      {"$ff", 1, 255},      {"0xff", 1, 255},     {"$FF", 1, 255},     {"0xFF ", 1, 255},
      {"$FFFFFFFF", 1, 4294967295.0},             {"$100000000", 1, 4294967295.0},
      {"0x123456789abcdef", 1, 4294967295.0},     {"$-1", 1, 4294967295.0},
      {"$-0x10", 1, 4294967280.0},                {"$", 1, 0},         {"$ ", 1, 0},
      {"$ ff", 1, 255},     {"$0x1f", 1, 31},     {"0x0x1f", 1, 31},   {"$xyz", 0, 0},
      {"$ffg", 0, 0},       {"0x", 0, 0},         {"-$ff", 0, 0},      {" $ff", 0, 0},
      {"0X10", 1, 16},  // capital X: left to strtod, which reads hexadecimal itself
  };
  for (auto &c : cases) {
    double v = -777;
    EXPECT_EQ(luaO_str2d(c.s, &v), c.ok) << '"' << c.s << '"';
    if (c.ok) {
      EXPECT_EQ(v, c.v) << c.s;
    }
  }
}

TEST(SmallOperations, Log2AndChunkNames) {
  EXPECT_EQ(luaO_log2(0), -1);
  EXPECT_EQ(luaO_log2(1), 0);
  EXPECT_EQ(luaO_log2(255), 7);
  EXPECT_EQ(luaO_log2(256), 8);
  EXPECT_EQ(luaO_log2(0x01000000u), 24);
  EXPECT_EQ(luaO_log2(0xFFFFFFFFu), 31);
  char buf[LUA_IDSIZE];
  luaO_chunkid(buf, "=stdin", sizeof(buf));
  EXPECT_STREQ(buf, "stdin");
  luaO_chunkid(buf, "@short.kvs", sizeof(buf));
  EXPECT_STREQ(buf, "short.kvs");
  std::string longname = "@" + std::string(100, 'd') + "/end.kvs";
  luaO_chunkid(buf, longname.c_str(), sizeof(buf));
  EXPECT_EQ(std::string(buf).substr(0, 3), "...");
  EXPECT_LT(strlen(buf), sizeof(buf));
  EXPECT_EQ(std::string(buf).substr(strlen(buf) - 8), "/end.kvs");
  luaO_chunkid(buf, "x = 1\ny = 2", sizeof(buf));
  EXPECT_STREQ(buf, "[string \"x = 1...\"]");
  luaO_chunkid(buf, "x = 1", sizeof(buf));
  EXPECT_STREQ(buf, "[string \"x = 1\"]");
}

using Values = VmCoreTest;

TEST_F(Values, Truth) {
  Table *t = NewTable();
  TObject falsy[] = {Nil(), Bool(0), Num(0), Num(-0.0), Str("")};
  TObject truthy[] = {Bool(1), Num(1), Num(kNaN), Str("0"), Str("a"), Tab(t), Str("\0", 1)};
  for (auto &o : falsy) EXPECT_TRUE(l_isfalse(&o)) << ttype(&o);
  for (auto &o : truthy) EXPECT_FALSE(l_isfalse(&o)) << ttype(&o);
  // A comparison tag method's result is false only for nil and 0.
  TObject f = Bool(0), z = Num(0), n = Nil(), nan = Num(kNaN);
  EXPECT_FALSE(luaO_tmresfalse(&f));
  EXPECT_FALSE(luaO_tmresfalse(&nan));
  EXPECT_TRUE(luaO_tmresfalse(&z));
  EXPECT_TRUE(luaO_tmresfalse(&n));
}

TEST_F(Values, NumberAndStringConversions) {
  TObject tmp;
  TObject nil = Nil(), s = Str(" 10 "), bad = Str("10x"), num = Num(2.5), tab = Tab(NewTable());
  ASSERT_NE(luaV_tonumber(&nil, &tmp), nullptr);
  EXPECT_EQ(nvalue(luaV_tonumber(&nil, &tmp)), 0);
  EXPECT_EQ(nvalue(luaV_tonumber(&s, &tmp)), 10);
  EXPECT_EQ(luaV_tonumber(&bad, &tmp), nullptr);
  EXPECT_EQ(luaV_tonumber(&num, &tmp), &num);
  EXPECT_EQ(luaV_tonumber(&tab, &tmp), nullptr);

  struct {
    TObject in;
    const char *out;
  } cases[] = {{Num(1), "1"}, {Num(1.5), "1.5"}, {Num(1e15), "1e+15"}, {Num(-0.1), "-0.1"},
               {Num(12345678901234.0), "12345678901234"}, {Nil(), ""}, {Str("x"), "x"}};
  for (auto &c : cases) {
    StkId slot = Push(c.in);
    ASSERT_TRUE(luaV_tostring(L, slot));
    ASSERT_TRUE(ttisstring(slot));  // converted in place
    EXPECT_STREQ(svalue(slot), c.out);
  }
  StkId t = Push(tab);
  EXPECT_FALSE(luaV_tostring(L, t));
  EXPECT_TRUE(ttistable(t));
}

// Result of a comparison, or the raised code plus 100 (so 1130 -> 1230).
struct CompareCase {
  const char *name;
  TObject a, b;
  int eq, lt, le;
};

TEST_F(Values, ComparisonMatrix) {
  Table *t1 = NewTable();
  Table *t2 = NewTable();
  const int E1030 = 1030 + 100, E1130 = 1130 + 100;
  CompareCase cases[] = {
      {"nil nil", Nil(), Nil(), 1, 0, 1},
      {"nil 0", Nil(), Num(0), 1, 0, 1},
      {"nil 1", Nil(), Num(1), 0, 1, 1},
      {"nil -1", Nil(), Num(-1), 0, 0, 0},
      {"nil empty", Nil(), Str(""), 1, 0, 0},
      {"nil a", Nil(), Str("a"), 0, 0, 0},
      {"nil table", Nil(), Tab(t1), 0, E1030, E1030},
      {"nil false", Nil(), Bool(0), 0, E1030, E1030},
      {"0 nil", Num(0), Nil(), 1, 0, 1},
      {"-1 nil", Num(-1), Nil(), 0, 1, 1},
      {"1 nil", Num(1), Nil(), 0, 0, 0},
      {"a nil", Str("a"), Nil(), 0, 0, 0},
      {"empty nil", Str(""), Nil(), 1, 0, 0},
      {"table nil", Tab(t1), Nil(), 0, E1030, E1030},
      {"0 empty", Num(0), Str(""), E1130, E1130, E1130},
      {"1 '1'", Num(1), Str("1"), E1130, E1130, E1130},
      {"'1' 1", Str("1"), Num(1), E1130, E1130, E1130},
      {"table 0", Tab(t1), Num(0), E1030, E1030, E1030},
      {"table string", Tab(t1), Str("x"), E1030, E1030, E1030},
      {"true 1", Bool(1), Num(1), E1030, E1030, E1030},
      {"1 2", Num(1), Num(2), 0, 1, 1},
      {"2 2", Num(2), Num(2), 1, 0, 1},
      {"NaN NaN", Num(kNaN), Num(kNaN), 0, 0, 0},
      {"-0 +0", Num(-0.0), Num(0), 1, 0, 1},
      {"A a", Str("A"), Str("a"), 0, 1, 1},
      {"a a", Str("a"), Str("a"), 1, 0, 1},
      {"a ab", Str("a"), Str("ab"), 0, 1, 1},
      {"a\\0b a\\0c", Str("a\0b", 3), Str("a\0c", 3), 0, 1, 1},
      {"a a\\0", Str("a"), Str("a\0", 2), 0, 1, 1},
      {"a\\0 a", Str("a\0", 2), Str("a"), 0, 0, 0},
      {"t1 t1", Tab(t1), Tab(t1), 1, E1030, E1030},
      {"t1 t2", Tab(t1), Tab(t2), 0, E1030, E1030},
      {"true true", Bool(1), Bool(1), 1, E1030, E1030},
      {"true false", Bool(1), Bool(0), 0, E1030, E1030},
  };
  for (auto &c : cases) {
    StkId a = Push(c.a);
    StkId b = Push(c.b);
    int r = 0;
    int code = Protected([&] { r = luaV_equalval(L, a, b); });
    EXPECT_EQ(code ? code + 100 : r, c.eq) << "== " << c.name;
    code = Protected([&] { r = luaV_lessthan(L, a, b, 1); });
    EXPECT_EQ(code ? code + 100 : r, c.lt) << "< " << c.name;
    code = Protected([&] { r = luaV_lessequal(L, a, b); });
    EXPECT_EQ(code ? code + 100 : r, c.le) << "<= " << c.name;
    L->top = a;
  }
}

TEST_F(Values, CaseFlagOfLessThan) {
  StkId a = Push(Str("a"));
  StkId b = Push(Str("B"));
  EXPECT_TRUE(luaV_lessthan(L, a, b, 0));
  EXPECT_FALSE(luaV_lessthan(L, a, b, 1));
  StkId c = Push(Str("x\0A", 3));
  StkId d = Push(Str("X\0b", 3));
  EXPECT_TRUE(luaV_lessthan(L, c, d, 0));  // equal first segments, then "A" < "b" ignoring case
}

int g_eqcalls;
int EqAlwaysTrue(lua_State *L) {
  g_eqcalls++;
  setnvalue(L->top, 1);
  L->top++;
  return 1;
}
int ReturnsFalseBoolean(lua_State *L) {
  g_eqcalls++;
  setbvalue(L->top, 0);
  L->top++;
  return 1;
}
int ReturnsZero(lua_State *L) {
  g_eqcalls++;
  setnvalue(L->top, 0);
  L->top++;
  return 1;
}

TEST_F(Values, EqualityTagMethodNeedsTheSameHandlerOnBothSides) {
  Table *mt1 = NewTable();
  Table *mt2 = NewTable();
  Table *mt3 = NewTable();
  TObject eq = CFunc(EqAlwaysTrue);
  Push(eq);
  SetField(mt1, "__eq", eq);
  SetField(mt2, "__eq", eq);
  SetField(mt3, "__eq", CFunc(EqAlwaysTrue));  // a different closure
  Table *a = NewTable(), *b = NewTable(), *c = NewTable(), *d = NewTable();
  a->metatable = mt1;
  b->metatable = mt2;
  c->metatable = mt3;
  StkId sa = Push(Tab(a)), sb = Push(Tab(b)), sc = Push(Tab(c)), sd = Push(Tab(d));
  g_eqcalls = 0;
  EXPECT_TRUE(luaV_equalval(L, sa, sb));
  EXPECT_EQ(g_eqcalls, 1);
  EXPECT_FALSE(luaV_equalval(L, sa, sc));  // different handlers
  EXPECT_FALSE(luaV_equalval(L, sa, sd));  // no handler on one side
  EXPECT_EQ(g_eqcalls, 1);
  // A boolean false result counts as true; the number 0 as false.
  SetField(mt1, "__eq", CFunc(ReturnsFalseBoolean));
  SetField(mt2, "__eq", *luaH_getstr(mt1, luaS_new(L, "__eq")));
  EXPECT_TRUE(luaV_equalval(L, sa, sb));
  SetField(mt1, "__eq", CFunc(ReturnsZero));
  SetField(mt2, "__eq", *luaH_getstr(mt1, luaS_new(L, "__eq")));
  EXPECT_FALSE(luaV_equalval(L, sa, sb));
}

TEST_F(Values, OrderTagMethods) {
  Table *mt = NewTable();
  SetField(mt, "__lt", CFunc(EqAlwaysTrue));
  Table *a = NewTable(), *b = NewTable();
  a->metatable = mt;
  b->metatable = mt;
  StkId sa = Push(Tab(a)), sb = Push(Tab(b));
  EXPECT_TRUE(luaV_lessthan(L, sa, sb, 1));
  // <= without __le uses not (b < a).
  EXPECT_FALSE(luaV_lessequal(L, sa, sb));
  SetField(mt, "__le", CFunc(EqAlwaysTrue));
  EXPECT_TRUE(luaV_lessequal(L, sa, sb));
}

TEST_F(Values, CoercionInArithmeticAndConcatenation) {
  Table *t = NewTable();
  struct {
    TMS op;
    TObject a, b;
    int code;
    double res;
  } arith[] = {
      {TM_ADD, Nil(), Num(1), 0, 1},       {TM_MUL, Str("10"), Str("2"), 0, 20},
      {TM_SUB, Str("$10 "), Nil(), 0, 16}, {TM_DIV, Num(1), Str("0"), 1089, 0},
      {TM_MOD, Num(5), Str("0.5"), 1089, 0}, {TM_ADD, Tab(t), Num(1), 1030, 0},
      {TM_ADD, Str("1x"), Num(1), 1030, 0}, {TM_OR, Bool(1), Num(1), 1030, 0},
  };
  for (auto &c : arith) {
    StkId ra = Push(Nil());
    StkId rb = Push(c.a);
    StkId rc = Push(c.b);
    int code = Protected([&] { luaV_arith(L, ra, rb, rc, c.op); });
    EXPECT_EQ(code, c.code) << luaT_eventname[c.op];
    if (code == 0) {
      ASSERT_TRUE(ttisnumber(ra));
      EXPECT_EQ(nvalue(ra), c.res) << luaT_eventname[c.op];
    }
    L->top = ra;
  }
  struct {
    TObject a, b;
    int code;
    const char *res;
  } concat[] = {
      {Nil(), Str("x"), 0, "x"},     {Num(1), Num(2), 0, "12"},    {Str("a"), Nil(), 0, "a"},
      {Nil(), Nil(), 0, ""},         {Num(0.5), Str("!"), 0, "0.5!"}, {Tab(t), Str("x"), 1131, nullptr},
      {Str("x"), Bool(1), 1131, nullptr},
  };
  for (auto &c : concat) {
    StkId first = Push(c.a);
    Push(c.b);
    int last = (int)(L->top - 1 - L->base);
    int code = Protected([&] { luaV_concat(L, 2, last); });
    EXPECT_EQ(code, c.code);
    if (code == 0) {
      ASSERT_TRUE(ttisstring(L->base + last - 1));
      EXPECT_STREQ(svalue(L->base + last - 1), c.res);
    }
    L->top = first;
  }
}

}  // namespace

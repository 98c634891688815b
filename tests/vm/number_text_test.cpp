// The interpreter's number-to-text conversion against "%.14g" (the format every number is
// shown in), digit for digit: integral values take a path of their own.
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "tests/vm/vmcore_fixture.h"

namespace {

struct NumberText : VmCoreTest {
  static std::string Model(double d) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%.14g", d);
    return buf;
  }
  std::string Convert(double d) {
    StkId slot = Push(Num(d));
    EXPECT_EQ(luaV_tostring(L, slot), 1);
    EXPECT_TRUE(ttisstring(slot));
    std::string text(svalue(slot), tsvalue(slot)->len);
    L->top = slot;
    return text;
  }
  void ExpectModel(double d) { EXPECT_EQ(Convert(d), Model(d)) << "value " << Model(d); }
};

TEST_F(NumberText, TableOfValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {
      0, -0.0, 1, -1, 7, -9, 10, 99, 100, -100, 65535, 65536, 123456789, -123456789,
      2147483647, 2147483648.0, -2147483648.0, -2147483649.0, 4294967295.0, 4294967296.0,
      99999999999999.0, -99999999999999.0, 1e14, -1e14, 100000000000001.0, 123456789012345.0,
      1e15, -1e15, 9007199254740992.0, 9007199254740993.0, 1e16, 1e21, 1e300, -1e300, 1.7976931348623157e308,
      0.5, -0.5, 0.1, 1.0 / 3, -2.5, 2.5e-7, 1e-5, 1e-300, 5e-324, -5e-324, 1.5e14,
      12345678901234.5, 99999999999999.5, -99999999999999.5, 3.0000000000001, 0.999999999999999,
      inf, -inf, std::nan(""), -std::nan("")};
  for (double d : values) ExpectModel(d);
}

TEST_F(NumberText, IntegersAroundPowersOfTen) {
  for (int p = 0; p <= 16; p++) {
    double base = std::pow(10.0, p);
    for (int delta = -3; delta <= 3; delta++) {
      ExpectModel(base + delta);
      ExpectModel(-(base + delta));
    }
  }
  for (int v = -20000; v <= 20000; v++) ExpectModel(v);
}

TEST_F(NumberText, RandomIntegersAndBitPatterns) {
  std::mt19937_64 rng(20261210);
  for (int n = 0; n < 20000; n++) {
    int64_t i = (int64_t)(rng() >> (rng() % 64));  // integers of every magnitude up to 2^64
    ExpectModel((double)i);
    ExpectModel(-(double)i);
    uint64_t bits = rng();
    double d;
    memcpy(&d, &bits, sizeof(d));
    ExpectModel(d);
  }
}

}  // namespace

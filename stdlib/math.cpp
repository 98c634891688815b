// The math library: 47 numeric commands (arithmetic, the C maths functions, rounding, random
// numbers, ranges and 32-bit bit operations) and the constant #PI.
//
// "Integer" arguments are 32-bit words (luaL_checkinteger); bit results are that word read as
// unsigned, except Sar, whose result is signed. Counts and bit numbers are numbers truncated
// toward zero to a signed 32-bit integer.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/values.h"

enum { ERR_DIVBYZERO = 1089, ERR_WRONGUSAGE = 1055 };

// Width selectors (the system library's #INTEGER/#LONG, #SHORT/#WORD, #BYTE).
enum { WIDTH_INTEGER = 1, WIDTH_SHORT = 6, WIDTH_BYTE = 7 };

static const lua_Number RadPerDegree = 0.017453292519943295;

static uint32_t WordArg(lua_State *L, int n)
{
    return (uint32_t)luaL_checkinteger(L, n);
}

static int PushNumber(lua_State *L, lua_Number x)
{
    lua_pushnumber(L, x);
    return 1;
}

// One-argument commands that apply a function of the C maths library.
static lua_Number ArgOne(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return luaL_checknumber(L, 1);
}

static int Abs(lua_State *L) { return PushNumber(L, fabs(ArgOne(L))); }
static int Sin(lua_State *L) { return PushNumber(L, sin(ArgOne(L))); }
static int Cos(lua_State *L) { return PushNumber(L, cos(ArgOne(L))); }
static int Tan(lua_State *L) { return PushNumber(L, tan(ArgOne(L))); }
static int ASin(lua_State *L) { return PushNumber(L, asin(ArgOne(L))); }
static int ACos(lua_State *L) { return PushNumber(L, acos(ArgOne(L))); }
static int ATan(lua_State *L) { return PushNumber(L, atan(ArgOne(L))); }
static int Ceil(lua_State *L) { return PushNumber(L, ceil(ArgOne(L))); }
static int Floor(lua_State *L) { return PushNumber(L, floor(ArgOne(L))); }
static int Sqrt(lua_State *L) { return PushNumber(L, sqrt(ArgOne(L))); }
static int Log(lua_State *L) { return PushNumber(L, log10(ArgOne(L))); }
static int Ld(lua_State *L) { return PushNumber(L, log10(ArgOne(L)) / log10(2.0)); }
static int Ln(lua_State *L) { return PushNumber(L, log(ArgOne(L))); }
static int Exp(lua_State *L) { return PushNumber(L, exp(ArgOne(L))); }
static int Deg(lua_State *L) { return PushNumber(L, ArgOne(L) / RadPerDegree); }
static int Rad(lua_State *L) { return PushNumber(L, ArgOne(L) * RadPerDegree); }
static int Int(lua_State *L) { return PushNumber(L, luaO_toint32(ArgOne(L))); }

static int Frac(lua_State *L)
{
    lua_Number whole;
    return PushNumber(L, modf(ArgOne(L), &whole));
}

// lrint: to the nearest integer, halves to the even one (the default rounding mode).
static int Round(lua_State *L)
{
    return PushNumber(L, luaO_toint32(nearbyint(ArgOne(L))));
}

static int Sgn(lua_State *L)
{
    lua_Number x = ArgOne(L);
    return PushNumber(L, x < 0 ? -1 : x > 0 ? 1 : 0);
}

// The two number arguments of the binary commands, read first to last (so that of two bad
// arguments the first is the one reported, whatever order a compiler evaluates calls in).
static void ArgTwo(lua_State *L, lua_Number *a, lua_Number *b)
{
    CheckArgs(L, 2, 2);
    *a = luaL_checknumber(L, 1);
    *b = luaL_checknumber(L, 2);
}

static int ATan2(lua_State *L)
{
    lua_Number a, b;
    ArgTwo(L, &a, &b);
    return PushNumber(L, atan2(a, b));
}

static int Pow(lua_State *L)
{
    lua_Number a, b;
    ArgTwo(L, &a, &b);
    return PushNumber(L, pow(a, b));
}

static int Mod(lua_State *L)
{
    lua_Number a, b;
    ArgTwo(L, &a, &b);
    if (b == 0) return ERR_DIVBYZERO;
    return PushNumber(L, fmod(a, b));
}

static int Add(lua_State *L)
{
    lua_Number a, b;
    ArgTwo(L, &a, &b);
    return PushNumber(L, a + b);
}

static int Sub(lua_State *L)
{
    lua_Number a, b;
    ArgTwo(L, &a, &b);
    return PushNumber(L, a - b);
}

static int Mul(lua_State *L)
{
    lua_Number a, b;
    ArgTwo(L, &a, &b);
    return PushNumber(L, a * b);
}

static int Div(lua_State *L)
{
    lua_Number a, b;
    ArgTwo(L, &a, &b);
    if (b == 0) return ERR_DIVBYZERO;
    return PushNumber(L, a / b);
}

// The smallest (sign -1) or largest (sign 1) argument; a NaN after the first never wins
// because every comparison with it is false.
static int Extreme(lua_State *L, int sign)
{
    CheckArgs(L, 2, 0);
    int n = lua_gettop(L);
    lua_Number best = luaL_checknumber(L, 1);
    for (int i = 2; i <= n; i++) {
        lua_Number x = luaL_checknumber(L, i);
        if (sign < 0 ? x < best : x > best) best = x;
    }
    return PushNumber(L, best);
}

static int Min(lua_State *L) { return Extreme(L, -1); }
static int Max(lua_State *L) { return Extreme(L, 1); }

static int Rt(lua_State *L)
{
    lua_Number x, n;
    ArgTwo(L, &x, &n);
    if (n == 0) return ERR_DIVBYZERO;
    if (n < 0) return ERR_WRONGUSAGE;
    return PushNumber(L, pow(x, 1 / n));
}

static int Shr(lua_State *L)
{
    CheckArgs(L, 2, 2);
    uint32_t x = WordArg(L, 1);
    return PushNumber(L, x >> (GetIntArg(L, 2) & 31));
}

static int Shl(lua_State *L)
{
    CheckArgs(L, 2, 2);
    uint32_t x = WordArg(L, 1);
    return PushNumber(L, (uint32_t)(x << (GetIntArg(L, 2) & 31)));
}

// Arithmetic shift: the sign bit is copied in (done on the unsigned word so that no signed
// shift is involved).
static int Sar(lua_State *L)
{
    CheckArgs(L, 2, 2);
    uint32_t x = WordArg(L, 1);
    int n = GetIntArg(L, 2) & 31;
    uint32_t r = x >> n;
    if ((x & 0x80000000u) && n) r |= ~(0xFFFFFFFFu >> n);
    return PushNumber(L, (int32_t)r);
}

static int FrExp(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int e;
    lua_Number m = frexp(luaL_checknumber(L, 1), &e);
    lua_pushnumber(L, m);
    lua_pushnumber(L, e);
    return 2;
}

static int LdExp(lua_State *L)
{
    CheckArgs(L, 2, 2);
    lua_Number m = luaL_checknumber(L, 1);
    return PushNumber(L, ldexp(m, GetIntArg(L, 2)));
}

static int Rnd(lua_State *L)
{
    CheckArgs(L, 1, 1);
    lua_Number n = luaL_checknumber(L, 1);
    if (n == 0) return ERR_DIVBYZERO;
    if (n < 0) return ERR_WRONGUSAGE;
    return PushNumber(L, luaO_toint32(n * drand48()));
}

static int RndF(lua_State *L)
{
    CheckArgs(L, 0, 0);
    return PushNumber(L, drand48());
}

// One period is added or taken away: below low by x - low + high, at or above high by
// x - high + low.
static int Wrap(lua_State *L)
{
    CheckArgs(L, 3, 3);
    lua_Number x = luaL_checknumber(L, 1), low = luaL_checknumber(L, 2), high = luaL_checknumber(L, 3);
    if (low > x) x = x - low + high;
    else if (x >= high) x = x - high + low;
    return PushNumber(L, x);
}

static int Limit(lua_State *L)
{
    CheckArgs(L, 3, 3);
    lua_Number x = luaL_checknumber(L, 1), low = luaL_checknumber(L, 2), high = luaL_checknumber(L, 3);
    if (x < low) x = low;
    else if (x > high) x = high;
    return PushNumber(L, x);
}

// Reads (word, bit) for the single-bit commands; 0 or 1055 for a bit outside 0..31.
static int BitArgs(lua_State *L, uint32_t *word, uint32_t *mask)
{
    CheckArgs(L, 2, 2);
    *word = WordArg(L, 1);
    int bit = GetIntArg(L, 2);
    if (bit < 0 || bit > 31) return ERR_WRONGUSAGE;
    *mask = 1u << bit;
    return 0;
}

static int BitSet(lua_State *L)
{
    uint32_t x, m;
    if (int err = BitArgs(L, &x, &m)) return err;
    return PushNumber(L, x | m);
}

static int BitClear(lua_State *L)
{
    uint32_t x, m;
    if (int err = BitArgs(L, &x, &m)) return err;
    return PushNumber(L, x & ~m);
}

static int BitTest(lua_State *L)
{
    uint32_t x, m;
    if (int err = BitArgs(L, &x, &m)) return err;
    return PushNumber(L, (x & m) ? 1 : 0);
}

static int BitXor(lua_State *L)
{
    CheckArgs(L, 2, 2);
    uint32_t a = WordArg(L, 1);
    return PushNumber(L, a ^ WordArg(L, 2));
}

static int BitComplement(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return PushNumber(L, (uint32_t)~WordArg(L, 1));
}

// Rotation of the low `bits` bits of v by n (0..255). Every shift count is taken modulo 32 as
// the processor's shift does, so counts beyond the width give the bits these formulas give.
static uint32_t Rotate(uint32_t v, uint32_t n, int bits, int right)
{
    if (bits == 32) {
        n &= 31;
        if (n == 0) return v;
        return right ? (v >> n) | (v << (32 - n)) : (v << n) | (v >> (32 - n));
    }
    uint32_t mask = (1u << bits) - 1;
    v &= mask;
    uint32_t s = n & 31, t = ((uint32_t)bits - n) & 31;
    return (right ? (v >> s) | (v << t) : (v << s) | (v >> t)) & mask;
}

static int RotateCommand(lua_State *L, int right)
{
    CheckArgs(L, 2, 3);
    uint32_t x = WordArg(L, 1);
    uint32_t n = (uint32_t)GetIntArg(L, 2) & 255;
    int bits;
    switch (GetOptIntArg(L, 3, WIDTH_INTEGER)) {
    case WIDTH_INTEGER: bits = 32; break;
    case WIDTH_SHORT: bits = 16; break;
    case WIDTH_BYTE: bits = 8; break;
    default: return ERR_WRONGUSAGE;
    }
    return PushNumber(L, Rotate(x, n, bits, right));
}

static int Ror(lua_State *L) { return RotateCommand(L, 1); }
static int Rol(lua_State *L) { return RotateCommand(L, 0); }

static int Cast(lua_State *L)
{
    CheckArgs(L, 3, 3);
    uint32_t x = WordArg(L, 1);
    int sign = GetIntArg(L, 2);
    lua_Number r;
    switch (GetIntArg(L, 3)) {
    case WIDTH_INTEGER: r = sign ? (lua_Number)(int32_t)x : (lua_Number)x; break;
    case WIDTH_SHORT: r = sign ? (lua_Number)(int16_t)(x & 0xFFFF) : (lua_Number)(x & 0xFFFF); break;
    case WIDTH_BYTE: r = sign ? (lua_Number)(int8_t)(x & 0xFF) : (lua_Number)(x & 0xFF); break;
    default: return ERR_WRONGUSAGE;
    }
    return PushNumber(L, r);
}

static const luaL_reg MathCommands[] = {
    {"Abs", Abs},
    {"Sin", Sin},
    {"Cos", Cos},
    {"Tan", Tan},
    {"ASin", ASin},
    {"ACos", ACos},
    {"ATan", ATan},
    {"ATan2", ATan2},
    {"Ceil", Ceil},
    {"Floor", Floor},
    {"Mod", Mod},
    {"Sqrt", Sqrt},
    {"Pow", Pow},
    {"Log", Log},
    {"Ld", Ld},
    {"Ln", Ln},
    {"Exp", Exp},
    {"Deg", Deg},
    {"Rad", Rad},
    {"Min", Min},
    {"Max", Max},
    {"Rt", Rt},
    {"Int", Int},
    {"Frac", Frac},
    {"Shr", Shr},
    {"Shl", Shl},
    {"Sar", Sar},
    {"Round", Round},
    {"Add", Add},
    {"Sub", Sub},
    {"Mul", Mul},
    {"Div", Div},
    {"FrExp", FrExp},
    {"LdExp", LdExp},
    {"Rnd", Rnd},
    {"RndF", RndF},
    {"Wrap", Wrap},
    {"Limit", Limit},
    {"BitSet", BitSet},
    {"BitClear", BitClear},
    {"BitTest", BitTest},
    {"BitXor", BitXor},
    {"BitComplement", BitComplement},
    {"Sgn", Sgn},
    {"Ror", Ror},
    {"Rol", Rol},
    {"Cast", Cast},
    {nullptr, nullptr},
};

static const luaL_Constant MathConstants[] = {
    {"PI", nullptr, 3.141592653589793},
    {nullptr, nullptr, 0},
};

int OpenMathLib(lua_State *L)
{
    luaL_openlib(L, nullptr, MathCommands, 0);
    int err = RegisterCommandTable(MathCommands, "math");
    if (err) return err;
    luaL_registerconstants(L, MathConstants);
    long seed = (long)time(nullptr);
    srand((unsigned)seed);
    srand48(seed);
    return 0;
}

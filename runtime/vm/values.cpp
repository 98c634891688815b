// Value rules of the script language: integer views, arithmetic on numbers,
// truth, conversions between numbers and strings, equality and order.
#include "runtime/vm/values.h"

#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "runtime/vm/debug.h"
#include "runtime/vm/interpreter.h"
#include "runtime/vm/state.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"


#define ERR_WRONG_OPERATOR 1030
#define ERR_DIVISION_BY_ZERO 1089
#define ERR_COMPARE_NUM_STR 1130

const TObject luaO_nilobject = {LUA_TNIL, {NULL}};

// ---- integer views ----

int32_t luaO_toint32(lua_Number d) {
  if (isnan(d)) return 0;
  if (d >= 2147483648.0) return INT32_MAX;
  if (d <= -2147483649.0) return INT32_MIN;
  return (int32_t)d;  // in range: truncation toward zero is defined
}

uint32_t luaO_touint32(lua_Number d) {
  if (!(d > 0)) return 0;  // negatives, -0 and NaN
  if (d >= 4294967295.0) return 0xFFFFFFFFu;
  return (uint32_t)d;
}

uint32_t luaO_toword32(lua_Number d) {
  if (isnan(d)) return 0;
  if (d >= 4294967295.0) return 0xFFFFFFFFu;
  if (d >= 0) return (uint32_t)d;
  return (uint32_t)luaO_toint32(d);  // two's complement of the signed view
}

int32_t luaO_idiv(int32_t a, int32_t b) {
  if (b == -1) return (int32_t)(0u - (uint32_t)a);  // INT32_MIN / -1 wraps to INT32_MIN
  return a / b;
}

int32_t luaO_imod(int32_t a, int32_t b) {
  if (b == -1) return 0;
  return a % b;
}

int luaO_arith(TMS op, lua_Number a, lua_Number b, lua_Number *res) {
  switch (op) {
    case TM_ADD: *res = a + b; return 0;
    case TM_SUB: *res = a - b; return 0;
    case TM_MUL: *res = a * b; return 0;
    case TM_DIV:
      if (b == 0) return ERR_DIVISION_BY_ZERO;
      *res = a / b;
      return 0;
    case TM_DIVINT:
    case TM_MOD: {
      int32_t ib = luaO_toint32(b);
      if (ib == 0) return ERR_DIVISION_BY_ZERO;
      int32_t ia = luaO_toint32(a);
      *res = (lua_Number)(op == TM_DIVINT ? luaO_idiv(ia, ib) : luaO_imod(ia, ib));
      return 0;
    }
    case TM_LSH: *res = (lua_Number)(uint32_t)(luaO_touint32(a) << luaO_shiftcount(b)); return 0;
    case TM_RSH: *res = (lua_Number)(luaO_touint32(a) >> luaO_shiftcount(b)); return 0;
    case TM_OR: *res = (lua_Number)(luaO_touint32(a) | luaO_touint32(b)); return 0;
    case TM_AND: *res = (lua_Number)(luaO_touint32(a) & luaO_touint32(b)); return 0;
    case TM_XOR: *res = (lua_Number)(luaO_touint32(a) ^ luaO_touint32(b)); return 0;
    case TM_POW: *res = pow(a, b); return 0;
    case TM_UNM: *res = -a; return 0;
    case TM_NOT: *res = (lua_Number)(uint32_t)~luaO_touint32(a); return 0;
    default: return ERR_WRONG_OPERATOR;
  }
}

// ---- truth and raw equality ----

int luaO_isfalse(const TObject *o) {
  switch (ttype(o)) {
    case LUA_TNIL: return 1;
    case LUA_TBOOLEAN: return bvalue(o) == 0;
    case LUA_TNUMBER: return nvalue(o) == 0;
    case LUA_TSTRING: return tsvalue(o)->len == 0;
    default: return 0;
  }
}

int luaO_rawequalObj(const TObject *t1, const TObject *t2) {
  if (ttype(t1) != ttype(t2)) return 0;
  switch (ttype(t1)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(t1) == nvalue(t2);
    case LUA_TBOOLEAN: return bvalue(t1) == bvalue(t2);
    case LUA_TLIGHTUSERDATA: return pvalue(t1) == pvalue(t2);
    default: return gcvalue(t1) == gcvalue(t2);
  }
}

int luaO_log2(uint32_t x) {
  static const lu_byte log_8[256] = {
      0, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
      5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5,
      6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
      6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
      7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
      7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
      7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
      7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
  if (x == 0) return -1;
  if (x >= 0x01000000u) return log_8[x >> 24] + 24;
  if (x >= 0x00010000u) return log_8[x >> 16] + 16;
  if (x >= 0x00000100u) return log_8[x >> 8] + 8;
  return log_8[x];
}

// ---- string to number ----

static int hexdigit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// strtoul(s, end, 16) with a 32-bit unsigned long: leading white space, a
// sign, an optional "0x"/"0X" prefix; an overflow saturates to 4294967295, a
// negative value wraps modulo 2^32; no digits: 0 and *end = s.
static uint32_t strtoul32hex(const char *s, const char **end) {
  const char *p = s;
  while (isspace((unsigned char)*p)) p++;
  int neg = 0;
  if (*p == '+' || *p == '-') {
    neg = (*p == '-');
    p++;
  }
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexdigit((unsigned char)p[2]) >= 0) p += 2;
  const char *digits = p;
  uint64_t v = 0;
  int d;
  while ((d = hexdigit((unsigned char)*p)) >= 0) {
    if (v <= 0xFFFFFFFFu) v = v * 16 + (uint64_t)d;
    p++;
  }
  if (p == digits) {
    *end = s;
    return 0;
  }
  *end = p;
  if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  return neg ? 0u - (uint32_t)v : (uint32_t)v;
}

int luaO_str2d(const char *s, lua_Number *result) {
  const char *endptr;
  lua_Number res;
  if ((s[0] == '0' && s[1] == 'x' && s[2] != '\0') || s[0] == '$') {
    const char *digits = (s[0] == '$') ? s + 1 : s + 2;
    res = (lua_Number)strtoul32hex(digits, &endptr);
  } else {
    char *e;
    res = strtod(s, &e);
    endptr = e;
    if (endptr == s) return 0;
  }
  while (isspace((unsigned char)*endptr)) endptr++;
  if (*endptr != '\0') return 0;
  *result = res;
  return 1;
}

// ---- chunk names ----

void luaO_chunkid(char *out, const char *source, int bufflen) {
  if (bufflen <= 0) return;
  if (*source == '=') {
    snprintf(out, (size_t)bufflen, "%s", source + 1);
  } else if (*source == '@') {
    source++;
    size_t room = (size_t)bufflen - sizeof(" `...' ");
    size_t l = strlen(source);
    if (l > room)
      snprintf(out, (size_t)bufflen, "...%s", source + (l - room));
    else
      snprintf(out, (size_t)bufflen, "%s", source);
  } else {
    size_t len = strcspn(source, "\n");
    size_t room = (size_t)bufflen - sizeof(" [string \"...\"] ");
    if (len > room) len = room;
    if (source[len] != '\0')
      snprintf(out, (size_t)bufflen, "[string \"%.*s...\"]", (int)len, source);
    else
      snprintf(out, (size_t)bufflen, "[string \"%s\"]", source);
  }
}

// ---- conversions ----

const TObject *luaV_tonumber(const TObject *obj, TObject *n) {
  lua_Number num;
  if (ttisnumber(obj)) return obj;
  if (ttisnil(obj)) {
    setnvalue(n, 0);
    return n;
  }
  if (ttisstring(obj) && luaO_str2d(svalue(obj), &num)) {
    setnvalue(n, num);
    return n;
  }
  return NULL;
}

int luaV_tostring(lua_State *L, StkId obj) {
  switch (ttype(obj)) {
    case LUA_TSTRING:
      return 1;
    case LUA_TNUMBER: {
      lua_Number d = nvalue(obj);
      char s[48];
      if (d > -1e14 && d < 1e14 && d == (lua_Number)(int64_t)d && !(d == 0 && signbit(d))) {
        // an integer of at most 14 digits: "%.14g" gives its plain decimal digits
        int64_t v = (int64_t)d;
        uint64_t u = v < 0 ? 0 - (uint64_t)v : (uint64_t)v;
        char *e = s + sizeof(s), *p = e;
        do {
          *--p = (char)('0' + u % 10);
          u /= 10;
        } while (u != 0);
        if (v < 0) *--p = '-';
        setsvalue2s(obj, luaS_newlstr(L, p, (size_t)(e - p)));
        return 1;
      }
      snprintf(s, sizeof(s), "%.14g", d);
      setsvalue2s(obj, luaS_new(L, s));
      return 1;
    }
    case LUA_TNIL:
      setsvalue2s(obj, luaS_newlstr(L, "", 0));
      return 1;
    default:
      return 0;
  }
}

// ---- comparison ----

// Calls a binary tag method with (p1, p2) (a native one's error code goes to
// ReportError); its first result is left at L->top.
static void callTMres(lua_State *L, const TObject *f, const TObject *p1, const TObject *p2) {
  luaV_callTMres(L, f, p1, p2);
  L->top--;
}

// The tag method of an event when both metatables give the same one.
static const TObject *get_compTM(lua_State *L, Table *mt1, Table *mt2, TMS event) {
  const TObject *tm1 = fasttm(L, mt1, event);
  if (tm1 == NULL) return NULL;
  if (mt1 == mt2) return tm1;
  const TObject *tm2 = fasttm(L, mt2, event);
  if (tm2 == NULL) return NULL;
  if (luaO_rawequalObj(tm1, tm2)) return tm1;
  return NULL;
}

// Order tag method: -1 when the operands do not share one, else its truth.
static int call_orderTM(lua_State *L, const TObject *p1, const TObject *p2, TMS event) {
  const TObject *tm1 = luaT_gettmbyobj(L, p1, event);
  if (tm1 == NULL) return -1;
  const TObject *tm2 = luaT_gettmbyobj(L, p2, event);
  if (tm2 == NULL || !luaO_rawequalObj(tm1, tm2)) return -1;
  callTMres(L, tm1, p1, p2);
  return !luaO_tmresfalse(L->top);
}

// Raises the error for operands of two different kinds (neither nil).
static void mismatch(lua_State *L, const TObject *a, const TObject *b) {
  if ((ttisnumber(a) && ttisstring(b)) || (ttisstring(a) && ttisnumber(b)))
    luaG_runerror(L, ERR_COMPARE_NUM_STR);
  luaG_runerror(L, ERR_WRONG_OPERATOR);
}

// nil against another kind: equal to 0 and "", unequal to everything else.
static int nilequal(const TObject *o) {
  if (ttisnumber(o)) return nvalue(o) == 0;
  if (ttisstring(o)) return tsvalue(o)->len == 0;
  return 0;
}

int luaV_equalval(lua_State *L, const TObject *t1, const TObject *t2) {
  const TObject *tm;
  if (ttype(t1) != ttype(t2)) {
    if (ttisnil(t1)) return nilequal(t2);
    if (ttisnil(t2)) return nilequal(t1);
    mismatch(L, t1, t2);
    return 0;
  }
  switch (ttype(t1)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(t1) == nvalue(t2);
    case LUA_TBOOLEAN: return bvalue(t1) == bvalue(t2);
    case LUA_TLIGHTUSERDATA: return pvalue(t1) == pvalue(t2);
    case LUA_TUSERDATA:
      if (uvalue(t1) == uvalue(t2)) return 1;
      tm = get_compTM(L, uvalue(t1)->metatable, uvalue(t2)->metatable, TM_EQ);
      break;
    case LUA_TTABLE:
      if (hvalue(t1) == hvalue(t2)) return 1;
      tm = get_compTM(L, hvalue(t1)->metatable, hvalue(t2)->metatable, TM_EQ);
      break;
    default:
      return gcvalue(t1) == gcvalue(t2);
  }
  if (tm == NULL) return 0;
  callTMres(L, tm, t1, t2);
  return !luaO_tmresfalse(L->top);
}

int luaV_strcmp(const TString *ls, const TString *rs, int casesens) {
  const char *l = getstr(ls);
  size_t ll = ls->len;
  const char *r = getstr(rs);
  size_t lr = rs->len;
  for (;;) {  // compare the segments between embedded zero bytes
    int temp = casesens ? strcmp(l, r) : strcasecmp(l, r);
    if (temp != 0) return temp;
    size_t len = strlen(l);  // both segments are equal
    if (len == lr) return (len == ll) ? 0 : 1;
    if (len == ll) return -1;
    len++;
    l += len;
    ll -= len;
    r += len;
    lr -= len;
  }
}

int luaV_lessthan(lua_State *L, const TObject *l, const TObject *r, int casesens) {
  if (ttisnil(l)) {
    if (ttisnumber(r)) return nvalue(r) > 0;
    if (ttisnil(r) || ttisstring(r)) return 0;
    luaG_runerror(L, ERR_WRONG_OPERATOR);
  }
  if (ttisnil(r)) {
    if (ttisnumber(l)) return nvalue(l) < 0;
    if (ttisstring(l)) return 0;
    luaG_runerror(L, ERR_WRONG_OPERATOR);
  }
  if (ttype(l) != ttype(r)) {
    mismatch(L, l, r);
    return 0;
  }
  if (ttisnumber(l)) return nvalue(l) < nvalue(r);
  if (ttisstring(l)) return luaV_strcmp(tsvalue(l), tsvalue(r), casesens) < 0;
  int res = call_orderTM(L, l, r, TM_LT);
  if (res != -1) return res;
  luaG_runerror(L, ERR_WRONG_OPERATOR);
  return 0;
}

int luaV_lessequal(lua_State *L, const TObject *l, const TObject *r) {
  if (ttisnil(l)) {
    if (ttisnil(r)) return 1;
    if (ttisnumber(r)) return nvalue(r) >= 0;
    if (ttisstring(r)) return 0;
    luaG_runerror(L, ERR_WRONG_OPERATOR);
  }
  if (ttisnil(r)) {
    if (ttisnumber(l)) return nvalue(l) <= 0;
    if (ttisstring(l)) return 0;
    luaG_runerror(L, ERR_WRONG_OPERATOR);
  }
  if (ttype(l) != ttype(r)) {
    mismatch(L, l, r);
    return 0;
  }
  if (ttisnumber(l)) return nvalue(l) <= nvalue(r);
  if (ttisstring(l)) return luaV_strcmp(tsvalue(l), tsvalue(r), 1) <= 0;
  int res = call_orderTM(L, l, r, TM_LE);
  if (res != -1) return res;
  res = call_orderTM(L, r, l, TM_LT);  // a <= b as not (b < a)
  if (res != -1) return !res;
  luaG_runerror(L, ERR_WRONG_OPERATOR);
  return 0;
}

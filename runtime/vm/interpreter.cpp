// The interpreter loop and the value operations that may run tag methods.
#include "runtime/vm/interpreter.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/errors.h"
#include "runtime/vm/api.h"
#include "runtime/vm/calls.h"
#include "runtime/vm/debug.h"
#include "runtime/vm/func.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/gosub.h"
#include "runtime/vm/interpwords.h"
#include "runtime/vm/opcodes.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/values.h"
#include "runtime/vm/vmmemory.h"

#define MAXTAGLOOP 100
#define MAXCONCATLEN ((size_t)4294967293u)

// ---- tag-method calls ----

// A native tag method that returns an error code is reported like a command's.
static void calltmvalue(lua_State *L, int nresults)
{
  int code = luaD_call(L, L->top - (nresults ? 3 : 4), nresults);
  if (code) ReportError(L, code);
}

void luaV_callTMres(lua_State *L, const TObject *f, const TObject *p1, const TObject *p2)
{
  // the slots up to top + 2 exist (EXTRA_STACK); the pointers may point into the stack,
  // so they are copied before the stack can move
  setobj(L->top, f);
  setobj(L->top + 1, p1);
  setobj(L->top + 2, p2);
  luaD_checkstack(L, 3);
  L->top += 3;
  calltmvalue(L, 1);
}

void luaV_callTM(lua_State *L, const TObject *f, const TObject *p1, const TObject *p2,
                 const TObject *p3)
{
  setobj(L->top, f);
  setobj(L->top + 1, p1);
  setobj(L->top + 2, p2);
  setobj(L->top + 3, p3);
  luaD_checkstack(L, 4);
  L->top += 4;
  calltmvalue(L, 0);
}

// ---- table access ----

static void missingfield(lua_State *L, const TObject *key)
{
  char buf[128];
  if (ttisstring(key)) {
    TString *ts = tsvalue(key);
    size_t len = ts->len;
    // "key" in double quotes, cut to the error buffer
    char tmp[ERR_STRING_SIZE];
    if (len > sizeof(tmp) - 3) len = sizeof(tmp) - 3;
    tmp[0] = '"';
    memcpy(tmp + 1, getstr(ts), len);
    tmp[len + 1] = '"';
    tmp[len + 2] = 0;
    SetErrorString(tmp);
  } else if (ttisnumber(key)) {
    snprintf(buf, sizeof(buf), "%g", nvalue(key));
    SetErrorString(buf);
  } else {
    SetErrorString(ttype(key) >= 0 && ttype(key) < LUA_NUMTAGS ? luaT_typenames[ttype(key)] : "?");
  }
  luaG_runerror(L, 1159);
}

void luaV_gettable(lua_State *L, const TObject *t, TObject *key, StkId res, int strict)
{
  ptrdiff_t resr = savestack(L, res);
  for (int loop = 0; loop < MAXTAGLOOP; loop++) {
    const TObject *tm;
    if (ttistable(t)) {
      Table *h = hvalue(t);
      const TObject *v = luaH_get(h, key);
      if (!ttisnil(v)) {
        setobj(restorestack(L, resr), v);
        return;
      }
      tm = fasttm(L, h->metatable, TM_INDEX);
      if (tm == NULL || ttisnil(tm)) {
        if (strict) missingfield(L, key);
        setnilvalue(restorestack(L, resr));
        return;
      }
    } else {
      tm = luaT_gettmbyobj(L, t, TM_INDEX);
      if (tm == NULL || ttisnil(tm)) luaG_typeerror(L, t, 1132, "{}");
    }
    if (ttisfunction(tm)) {
      luaV_callTMres(L, tm, t, key);
      L->top--;
      setobj(restorestack(L, resr), L->top);
      return;
    }
    t = tm;
  }
  SetErrorString("#1");
  luaG_runerror(L, 1134);
}

void luaV_settable(lua_State *L, const TObject *t, TObject *key, StkId val)
{
  for (int loop = 0; loop < MAXTAGLOOP; loop++) {
    const TObject *tm;
    if (ttistable(t)) {
      Table *h = hvalue(t);
      const TObject *oldval = luaH_get(h, key);
      if (!ttisnil(oldval)) {
        setobj((TObject *)oldval, val);
        return;
      }
      tm = fasttm(L, h->metatable, TM_NEWINDEX);
      if (tm == NULL || ttisnil(tm)) {
        // the lookup above already tells whether the key has a slot
        TObject *slot;
        if (oldval == &luaO_nilobject) {
          slot = luaH_setmissing(L, h, key);
        } else {
          h->flags = 0;
          slot = (TObject *)oldval;
        }
        setobj(slot, val);
        return;
      }
    } else {
      tm = luaT_gettmbyobj(L, t, TM_NEWINDEX);
      if (tm == NULL || ttisnil(tm)) luaG_typeerror(L, t, 1132, "{}");
    }
    if (ttisfunction(tm)) {
      luaV_callTM(L, tm, t, key, val);
      return;
    }
    t = tm;
  }
  SetErrorString("#2");
  luaG_runerror(L, 1134);
}

// ---- arithmetic and concatenation ----

static int call_binTM(lua_State *L, const TObject *p1, const TObject *p2, StkId res, TMS event)
{
  const TObject *tm = luaT_gettmbyobj(L, p1, event);
  if (tm == NULL || ttisnil(tm)) tm = luaT_gettmbyobj(L, p2, event);
  if (tm == NULL || ttisnil(tm)) return 0;
  ptrdiff_t resr = savestack(L, res);
  luaV_callTMres(L, tm, p1, p2);
  L->top--;
  setobj(restorestack(L, resr), L->top);
  return 1;
}

void luaV_arith(lua_State *L, StkId ra, const TObject *rb, const TObject *rc, TMS op)
{
  TObject tempb, tempc;
  const TObject *b, *c;
  if ((b = luaV_tonumber(rb, &tempb)) != NULL && (c = luaV_tonumber(rc, &tempc)) != NULL) {
    lua_Number res;
    int err = luaO_arith(op, nvalue(b), nvalue(c), &res);
    if (err) luaG_runerror(L, err);
    setnvalue(ra, res);
  } else if (!call_binTM(L, rb, rc, ra, op)) {
    luaG_runerror(L, 1030);
  }
}

static char *openspace(lua_State *L, size_t n)
{
  Mbuffer *b = &G(L)->buff;
  if (n > b->size) {
    if (n < 32) n = 32;
    b->buffer = (char *)luaM_realloc(L, b->buffer, b->size, n);
    b->size = n;
  }
  return b->buffer;
}

static inline int concatable(const TObject *o)
{
  return ttisstring(o) || ttisnumber(o) || ttisnil(o);
}

void luaV_concat(lua_State *L, int total, int last)
{
  do {
    StkId top = L->base + last + 1;
    int n = 2;  // values handled in this pass (at least 2)
    if (!concatable(top - 2) || !concatable(top - 1)) {
      if (!call_binTM(L, top - 2, top - 1, top - 2, TM_CONCAT)) luaG_runerror(L, 1131);
    } else {
      tostring(L, top - 2);
      tostring(L, top - 1);
      if (tsvalue(top - 1)->len == 0) {
        // result is the first operand as it is
      } else {
        size_t tl = tsvalue(top - 1)->len;
        for (n = 1; n < total && concatable(top - n - 1); n++) {
          tostring(L, top - n - 1);
          size_t l = tsvalue(top - n - 1)->len;
          if (l > MAXCONCATLEN - tl) luaG_runerror(L, 1066);
          tl += l;
        }
        char *buffer = openspace(L, tl + 1);
        size_t pos = 0;
        for (int i = n; i > 0; i--) {
          size_t l = tsvalue(top - i)->len;
          memcpy(buffer + pos, svalue(top - i), l);
          pos += l;
        }
        setsvalue(top - n, luaS_newlstr(L, buffer, tl));
      }
    }
    total -= n - 1;
    last -= n - 1;
  } while (total > 1);
}

// ---- the loop ----

// Raw lookup with the array part of integer keys and interned strings first.
static inline const TObject *fastget(Table *h, const TObject *key)
{
  if (ttisnumber(key)) {
    const TObject *v = luaH_arrayslot(h, nvalue(key));
    if (v != NULL) return v;
  } else if (ttisstring(key)) {
    return luaH_getstr(h, tsvalue(key));
  }
  return luaH_get(h, key);
}

static void traceexec(lua_State *L)
{
  lu_byte mask = L->hookmask;
  if (mask & LUA_MASKCOUNT) {
    if (mask & LUA_MASKLINE) L->hookcount--;  // not yet counted by the loop
    if (L->hookcount <= 0) {
      resethookcount(L);
      luaD_callhook(L, LUA_HOOKCOUNT, -1);
      if (!(mask & LUA_MASKLINE)) return;
    }
  }
  if (mask & LUA_MASKLINE) {
    CallInfo *ci = L->ci;
    Proto *p = ci_func(ci)->l.p;
    int pc = pcRel(*ci->pc, p);
    int newline = luaG_line(p, pc);
    if (!L->hookinit) {
      luaG_inithooks(L);
      return;
    }
    if (pc == 0) ci->savedpc = *ci->pc;  // tracing may start here
    if (*ci->pc <= ci->savedpc || newline != luaG_line(p, pcRel(ci->savedpc, p))) {
      luaD_callhook(L, LUA_HOOKLINE, newline);
      ci = L->ci;
    }
    ci->savedpc = *ci->pc;
  }
}

// A command asked for a label Gosub (-1: return behind the call, -2: return to the
// instruction before it). Honoured only in the main chunk's own frame, with the return
// address and the target inside its code.
static const Instruction *gosubrequest(lua_State *L, LClosure *cl, const Instruction *pc, int code)
{
  Proto *p = cl->p;
  int callIndex = (int)(pc - p->code) - 1;
  if (L != G(L)->mainthread || L->ci != L->base_ci + 1) luaG_runerror(L, 1055);
  long long ret = (code == LUA_GOSUB_AFTER) ? callIndex + 1 : callIndex - 1;
  long long target = (long long)callIndex + 1 + JumpOffset;
  if (ret < 0 || ret >= p->sizecode || target < 0 || target >= p->sizecode) luaG_runerror(L, 1055);
  luaG_gosubpush(L, p->code + ret);
  return p->code + target;
}

// Instruction dispatch: a jump table where the compiler has computed gotos (each handler then
// fetches and dispatches the next instruction itself), else a switch.
#if defined(__GNUC__)
#define KV_JUMPTABLE 1
#else
#define KV_JUMPTABLE 0
#endif

#if defined(__GNUC__)
#define l_unlikely(x) __builtin_expect(!!(x), 0)
#define l_likely(x) __builtin_expect(!!(x), 1)
#else
#define l_unlikely(x) (x)
#define l_likely(x) (x)
#endif

// The stop flag, the count hook and the line hook are handled out of line (vmhook), before the
// instruction just fetched runs: with a jump table, while any of them is set every opcode
// dispatches through a table whose entries all lead to vmhook (disp); without one, a copy of
// them (trap) is tested after the fetch. The flag is only ever set by code the loop calls
// (commands, tag methods, hooks, finalisers, the event pump inside commands; the signal handlers
// only leave a note for the pump), so the trap is chosen again after everything that calls out
// and the loop still stops before the next instruction, without testing the flag at each one.
#define vmfetch()                                    \
  {                                                  \
    i = *pc++;                                       \
    ra = RA(i);                                      \
    vmtesthook();                                    \
  }

#if KV_JUMPTABLE
#define hooktrap() \
  (disp = ((L->hookmask & (LUA_MASKLINE | LUA_MASKCOUNT)) | StopFlag) ? hooktab : disptab)
#define vmtesthook() ((void)0)
#define vmdispatch(o) goto *disp[o];
#define vmcase(l) L_##l:
#define vmdefault L_NOP:
#define vmbreak                     \
  {                                 \
    vmfetch();                      \
    goto *disp[GET_OPCODE(i)];      \
  }
#else
#define hooktrap() (trap = (L->hookmask & (LUA_MASKLINE | LUA_MASKCOUNT)) | StopFlag)
#define vmtesthook()                  \
  {                                   \
    if (l_unlikely(trap)) goto vmhook; \
  }
#define vmdispatch(o) switch (o)
#define vmcase(l) case l:
#define vmdefault default:
#define vmbreak break
#endif

// Operands are taken from the word as byte offsets (field * 16), which saves a shift each.
static_assert(sizeof(TObject) == 16, "operand offsets assume 16-byte values");
#define OFFA(i) (((i) >> (POS_A - 4)) & (MAXARG_A << 4))
#define OFFB(i) (((i) >> (POS_B - 4)) & (MAXARG_B << 4))
#define OFFC(i) (((i) >> (POS_C - 4)) & (MAXARG_C << 4))
#define REGOFF(off) ((TObject *)((char *)base + (off)))
// an RK operand: a register below MAXINDEXRK, else constant (value - MAXINDEXRK)
#define RKOFF(off)                                                                   \
  ((off) >= MAXINDEXRK * 16u ? (TObject *)((char *)k + ((off) - MAXINDEXRK * 16u)) \
                             : REGOFF(off))
#define RA(i) REGOFF(OFFA(i))
#define XRA(i) (L->base + GETARG_A(i))
#define RB(i) REGOFF(OFFB(i))
// compiled code has its constants on the C side: a B operand is nearly always a register
#define RKB(i)                                                                           \
  (l_likely(OFFB(i) < MAXINDEXRK * 16u) ? REGOFF(OFFB(i))                               \
                                        : (TObject *)((char *)k + (OFFB(i) - MAXINDEXRK * 16u)))
#define RKC(i) RKOFF(OFFC(i))
#define KBx(i) (k + GETARG_Bx(i))
#define dojump(pc, n) ((pc) += (n))
// The running frame's program counter lives in a register (pc); what the debug interface
// reads through ci->pc is pcslot, stored before every call out of the loop (savepc).
#define savepc() (pcslot = pc)
// runs x, which may call out, raise, move the stack or collect; reloads the base and the
// hook trap
#define Protect(x)  \
  {                 \
    savepc();       \
    x;              \
    base = L->base; \
    hooktrap();     \
  }
// raises a code with the current instruction's position published
#define vmerror(code)           \
  {                             \
    savepc();                   \
    luaG_runerror(L, code);     \
  }

#define ARITH_OP(op, event)                                                     \
  {                                                                             \
    TObject *rb = RKB(i);                                                       \
    TObject *rc = RKC(i);                                                       \
    if (l_likely(ttisnumber(rb) && ttisnumber(rc))) {                           \
      setnvalue(ra, nvalue(rb) op nvalue(rc));                                  \
    } else                                                                      \
      Protect(luaV_arith(L, ra, rb, rc, event));                                \
    vmbreak;                                                                    \
  }

// The 32-bit signed view of a number, without a call when it is in range (NaN gives 0).
static inline int32_t toint32(lua_Number d)
{
#if defined(__SSE2__)
  // the machine's truncation gives INT32_MIN for anything out of range and for NaN
  int32_t r = _mm_cvttsd_si32(_mm_set_sd(d));
  if (r != INT32_MIN) return r;
#else
  if (d > -2147483649.0 && d < 2147483648.0) return (int32_t)d;
#endif
  return luaO_toint32(d);
}

// Operators whose number-number case may fail (division by zero) or needs more than one
// machine operation; `expr` computes res from x and y or raises. DIVINT and MOD divide in 64
// bits, where -2147483648 / -1 cannot overflow: its quotient wraps back to -2147483648 in the
// 32-bit view, and every remainder by -1 is 0.
#define NUM_OP(expr, event)                                                     \
  {                                                                             \
    TObject *rb = RKB(i);                                                       \
    TObject *rc = RKC(i);                                                       \
    if (l_likely(ttisnumber(rb) && ttisnumber(rc))) {                           \
      lua_Number x = nvalue(rb), y = nvalue(rc), res;                           \
      expr;                                                                     \
      setnvalue(ra, res);                                                       \
    } else                                                                      \
      Protect(luaV_arith(L, ra, rb, rc, event));                                \
    vmbreak;                                                                    \
  }

#define BIT_OP(expr, event)                                                     \
  {                                                                             \
    TObject *rb = RKB(i);                                                       \
    TObject *rc = RKC(i);                                                       \
    if (l_likely(ttisnumber(rb) && ttisnumber(rc))) {                           \
      uint32_t x = luaO_touint32(nvalue(rb));                                   \
      uint32_t y = luaO_touint32(nvalue(rc));                                   \
      (void)y;                                                                  \
      setnvalue(ra, (lua_Number)(uint32_t)(expr));                              \
    } else                                                                      \
      Protect(luaV_arith(L, ra, rb, rc, event));                                \
    vmbreak;                                                                    \
  }

// GCC merges the identical fetch-and-dispatch tails of the handlers into one indirect jump
// (cross-jumping); kept apart, each handler's jump is predicted on its own. Without
// if-conversion an RK operand's register-or-constant choice stays a branch, which the machine
// predicts per handler, instead of a conditional move that delays every operand load.
#if KV_JUMPTABLE && defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-crossjumping", "no-if-conversion", "no-if-conversion2")))
#endif
StkId luaV_execute(lua_State *L)
{
#if KV_JUMPTABLE
  static const void *const disptab[64] = {
      &&L_OP_MOVE,    &&L_OP_LOADK,    &&L_OP_LOADBOOL,  &&L_OP_LOADNIL,  &&L_OP_GETUPVAL, &&L_OP_GETGLOBAL,
      &&L_OP_GETTABLE, &&L_OP_SETGLOBAL, &&L_OP_SETUPVAL, &&L_OP_SETTABLE, &&L_OP_NEWTABLE, &&L_OP_ADD,
      &&L_OP_SUB,     &&L_OP_MUL,      &&L_OP_DIV,       &&L_OP_DIVINT,   &&L_OP_MOD,      &&L_OP_LSH,
      &&L_OP_RSH,     &&L_OP_OR,       &&L_OP_AND,       &&L_OP_XOR,      &&L_OP_POW,      &&L_OP_UNM,
      &&L_OP_NOT,     &&L_OP_BNOT,     &&L_OP_CONCAT,    &&L_OP_JMP,      &&L_OP_EQ,       &&L_OP_LT,
      &&L_OP_LE,      &&L_OP_TEST,     &&L_OP_CALL,      &&L_OP_TAILCALL, &&L_OP_RETURN,   &&L_OP_FORLOOP,
      &&L_OP_TFORLOOP, &&L_OP_TFORPREP, &&L_OP_SETLIST,  &&L_OP_SETLISTO, &&L_OP_CLOSE,    &&L_OP_CLOSURE,
      &&L_OP_SELF,    &&L_NOP,         &&L_NOP,          &&L_NOP,         &&L_NOP,         &&L_NOP,
      &&L_NOP,        &&L_NOP,         &&L_NOP,          &&L_NOP,         &&L_NOP,         &&L_NOP,
      &&L_NOP,        &&L_NOP,         &&L_NOP,          &&L_NOP,         &&L_NOP,         &&L_NOP,
      &&L_NOP,        &&L_NOP,         &&L_NOP,          &&L_NOP};
#define H &&vmhook
  static const void *const hooktab[64] = {H, H, H, H, H, H, H, H, H, H, H, H, H, H, H, H,
                                          H, H, H, H, H, H, H, H, H, H, H, H, H, H, H, H,
                                          H, H, H, H, H, H, H, H, H, H, H, H, H, H, H, H,
                                          H, H, H, H, H, H, H, H, H, H, H, H, H, H, H, H};
#undef H
  const void *const *disp;    // disptab, or hooktab while a count or line hook or the stop flag is set
#else
  int trap;                   // count or line hook bits of the hook mask, or the stop flag
#endif
  LClosure *cl;
  TObject *k;
  const Instruction *pc;      // the running frame's program counter (kept in a register)
  const Instruction *pcslot;  // its published copy: ci->pc of the running frame points here
  StkId base;
  uint64_t i;                 // the instruction word (zero-extended: operand offsets need no extension)
  StkId ra;
callentry:
  if (L->hookmask & LUA_MASKCALL) {
    pc = pcslot = L->ci->savedpc;
    L->ci->pc = &pcslot;
    luaD_callhook(L, LUA_HOOKCALL, -1);
  }
retentry: {
  CallInfo *ci = L->ci;
  ci->pc = &pcslot;
  ci->state = CI_HASFRAME;
  pc = pcslot = ci->savedpc;
  base = L->base;
  cl = &clvalue(base - 1)->l;
  k = cl->p->k;
  hooktrap();
}
  for (;;) {
    vmfetch();
#if !KV_JUMPTABLE
  dispatch:
#endif
    vmdispatch(GET_OPCODE(i)) {
      vmcase(OP_MOVE)
        setobj(ra, RB(i));
        vmbreak;
      vmcase(OP_LOADK)
        setobj(ra, KBx(i));
        vmbreak;
      vmcase(OP_LOADBOOL)
        setnvalue(ra, (lua_Number)GETARG_B(i));
        if (GETARG_C(i)) pc++;
        vmbreak;
      vmcase(OP_LOADNIL) {
        TObject *rb = RB(i);
        do {
          setnilvalue(rb--);
        } while (rb >= ra);
        vmbreak;
      }
      vmcase(OP_GETUPVAL)
        setobj(ra, cl->upvals[GETARG_B(i)]->v);
        vmbreak;
      vmcase(OP_GETGLOBAL) {
        TObject *rb = KBx(i);
        if (ttistable(&cl->g) && ttisstring(rb)) {
          // first the node this instruction found its name in last time, from a record chosen
          // by the instruction's address: the checks of the record are branches the machine
          // predicts, so the node's value loads without waiting for the table. A node array
          // belongs to one table (the shared empty node holds no value), so the same array of
          // the same size means the remembered node lies in this table's live array.
          Table *h = hvalue(&cl->g);
          GlobalHint *hint = &G(L)->globalhint[((uintptr_t)pc >> 2) & (GLOBALHINT_SIZE - 1)];
          if (l_likely(hint->nodes == h->node && hint->lsizenode == h->lsizenode)) {
            const Node *n = hint->node;
            if (l_likely(gcvalue(gkey(n)) == gcvalue(rb) && ttisstring(gkey(n)) && !ttisnil(gval(n)))) {
              setobj(ra, gval(n));
              vmbreak;
            }
          }
          const TObject *v = luaH_getstr(h, tsvalue(rb));
          if (!ttisnil(v)) {
            // a string key's value always lies in the node array
            hint->nodes = h->node;
            hint->lsizenode = h->lsizenode;
            hint->node = (const Node *)((const char *)v - offsetof(Node, i_val));
            setobj(ra, v);
            vmbreak;
          }
        }
        Protect(luaV_gettable(L, &cl->g, rb, ra, 0));
        vmbreak;
      }
      vmcase(OP_GETTABLE) {
        StkId rb = RB(i);
        TObject *rc = RKC(i);
        if (ttistable(rb)) {
          const TObject *v = fastget(hvalue(rb), rc);
          if (!ttisnil(v)) {
            setobj(ra, v);
            vmbreak;
          }
        }
        Protect(luaV_gettable(L, rb, rc, ra, 1));
        vmbreak;
      }
      vmcase(OP_SETGLOBAL)
        Protect(luaV_settable(L, &cl->g, KBx(i), ra));
        vmbreak;
      vmcase(OP_SETUPVAL) {
        UpVal *uv = cl->upvals[GETARG_B(i)];
        setobj(uv->v, ra);
        vmbreak;
      }
      vmcase(OP_SETTABLE) {
        TObject *rb = RKB(i);
        TObject *rc = RKC(i);
        if (ttistable(ra)) {
          // a slot that holds a value, or any slot while there is no __newindex (as
          // luaV_settable does for a table)
          Table *h = hvalue(ra);
          if (ttisnumber(rb)) {
            TObject *slot = luaH_arrayslot(h, nvalue(rb));
            if (slot != NULL && (!ttisnil(slot) || fasttm(L, h->metatable, TM_NEWINDEX) == NULL)) {
              setobj(slot, rc);
              vmbreak;
            }
          } else if (ttisstring(rb)) {
            TObject *slot = (TObject *)luaH_getstr(h, tsvalue(rb));
            if (!ttisnil(slot)) {
              setobj(slot, rc);
              vmbreak;
            }
            if (fasttm(L, h->metatable, TM_NEWINDEX) == NULL) {
              if (slot == &luaO_nilobject) {
                Protect(slot = luaH_setmissing(L, h, rb));
                rc = RKC(i);
              } else {
                h->flags = 0;
              }
              setobj(slot, rc);
              vmbreak;
            }
          }
        }
        Protect(luaV_settable(L, ra, rb, rc));
        vmbreak;
      }
      vmcase(OP_NEWTABLE) {
        savepc();
        Table *t = luaH_newfromcode(L, GETARG_B(i), GETARG_C(i));
        sethvalue(ra, t);
        Protect(luaC_checkGC(L));
        vmbreak;
      }
      vmcase(OP_ADD) ARITH_OP(+, TM_ADD)
      vmcase(OP_SUB) ARITH_OP(-, TM_SUB)
      vmcase(OP_MUL) ARITH_OP(*, TM_MUL)
      vmcase(OP_DIV)
        NUM_OP(if (y == 0) vmerror(1089); res = x / y, TM_DIV)
      vmcase(OP_DIVINT)
        NUM_OP(int32_t d = toint32(y); if (d == 0) vmerror(1089); int32_t n = toint32(x);
               res = (lua_Number)(int32_t)((int64_t)n / d), TM_DIVINT)
      vmcase(OP_MOD)
        NUM_OP(int32_t d = toint32(y); if (d == 0) vmerror(1089); int32_t n = toint32(x);
               res = (lua_Number)(int32_t)((int64_t)n % d), TM_MOD)
      vmcase(OP_LSH) BIT_OP(x << luaO_shiftcount(nvalue(rc)), TM_LSH)
      vmcase(OP_RSH) BIT_OP(x >> luaO_shiftcount(nvalue(rc)), TM_RSH)
      vmcase(OP_OR) BIT_OP(x | y, TM_OR)
      vmcase(OP_AND) BIT_OP(x & y, TM_AND)
      vmcase(OP_XOR) BIT_OP(x ^ y, TM_XOR)
      vmcase(OP_POW)
        NUM_OP(res = pow(x, y), TM_POW)
      vmcase(OP_UNM) {
        StkId rb = RB(i);
        if (ttisnumber(rb)) {
          setnvalue(ra, -nvalue(rb));
        } else
          Protect(luaV_arith(L, ra, rb, &luaO_nilobject, TM_UNM));
        vmbreak;
      }
      vmcase(OP_NOT) {
        int res = l_isfalse(RB(i));
        setnvalue(ra, res ? 1 : 0);
        vmbreak;
      }
      vmcase(OP_BNOT) {
        StkId rb = RB(i);
        if (ttisnumber(rb)) {
          setnvalue(ra, (lua_Number)(uint32_t)~luaO_touint32(nvalue(rb)));
        } else
          Protect(luaV_arith(L, ra, rb, &luaO_nilobject, TM_NOT));
        vmbreak;
      }
      vmcase(OP_CONCAT) {
        int b = GETARG_B(i);
        int c = GETARG_C(i);
        Protect(luaV_concat(L, c - b + 1, c); luaC_checkGC(L));
        setobj(RA(i), base + b);
        vmbreak;
      }
      vmcase(OP_JMP)
        if (GETARG_G(i) == GOSUB_FLAG) {
          savepc();
          luaG_gosubpush(L, pc);
        }
        dojump(pc, GETARG_sJ(i));
        vmbreak;
      vmcase(OP_EQ) {
        TObject *rb = RKB(i);
        TObject *rc = RKC(i);
        int res;
        if (l_likely(ttisnumber(rb) && ttisnumber(rc)))
          res = nvalue(rb) == nvalue(rc);
        else
          Protect(res = luaV_equalval(L, rb, rc));
        if (res != GETARG_A(i))
          pc++;
        else
          dojump(pc, GETARG_sJ(*pc) + 1);
        vmbreak;
      }
      vmcase(OP_LT) {
        TObject *rb = RKB(i);
        TObject *rc = RKC(i);
        int res;
        if (l_likely(ttisnumber(rb) && ttisnumber(rc)))
          res = nvalue(rb) < nvalue(rc);
        else
          Protect(res = luaV_lessthan(L, rb, rc, 1));
        if (res != GETARG_A(i))
          pc++;
        else
          dojump(pc, GETARG_sJ(*pc) + 1);
        vmbreak;
      }
      vmcase(OP_LE) {
        TObject *rb = RKB(i);
        TObject *rc = RKC(i);
        int res;
        if (l_likely(ttisnumber(rb) && ttisnumber(rc)))
          res = nvalue(rb) <= nvalue(rc);
        else
          Protect(res = luaV_lessequal(L, rb, rc));
        if (res != GETARG_A(i))
          pc++;
        else
          dojump(pc, GETARG_sJ(*pc) + 1);
        vmbreak;
      }
      vmcase(OP_TEST) {
        TObject *rb = RB(i);
        if (l_isfalse(rb) == GETARG_C(i))
          pc++;
        else {
          setobj(ra, rb);
          dojump(pc, GETARG_sJ(*pc) + 1);
        }
        vmbreak;
      }
      vmcase(OP_CALL)
      vmcase(OP_TAILCALL) {
        int b = GETARG_B(i);
        int nresults = GETARG_C(i) - 1;
        // the arguments end at argtop (an open count ends at the top, never below ra + 1)
        StkId argtop = b != 0 ? ra + b : (L->top < ra + 1 ? ra + 1 : L->top);
        CurrentPcIndex = (int)(pc - cl->p->code);
        CallInfo *callerci = L->ci;  // stale once luaD_precall may have grown the records
        callerci->savedpc = pc;
        int code;
        StkId firstResult;
        Closure *fcl;
        Proto *fp;
        if (ttisfunction(ra) && !(fcl = clvalue(ra))->c.isC && !(fp = fcl->l.p)->is_vararg &&
            callerci + 1 != L->end_ci &&
            (char *)L->stack_last - (char *)argtop > (ptrdiff_t)fp->maxstacksize * (ptrdiff_t)sizeof(TObject)) {
          // a script function with room for its frame: the common case of luaD_precall inline
          CallInfo *nci = callerci + 1;
          StkId nbase = ra + 1;
          StkId ntop = nbase + fp->maxstacksize;
          L->ci = nci;
          L->base = nci->base = nbase;
          nci->top = ntop;
          nci->savedpc = fp->code;
          nci->tailcalls = 0;
          for (StkId t = argtop; t < ntop; t++) setnilvalue(t);  // registers start as nil
          L->top = ntop;
          if (GET_OPCODE(i) == OP_CALL && !(L->hookmask & LUA_MASKCALL)) {
            // no call hook: enter the callee at once, as callentry and retentry would
            (nci - 1)->state = (CI_SAVEDPC | CI_CALLING);
            nci->pc = &pcslot;
            nci->state = CI_HASFRAME;
            pc = pcslot = fp->code;
            base = nbase;
            cl = &fcl->l;
            k = fp->k;
            vmbreak;  // the hook trap stays as it is: nothing was called
          }
          nci->pc = nullptr;
          nci->state = CI_SAVEDPC;
          firstResult = NULL;
        } else {
          L->top = argtop;
          savepc();  // the caller stays the running frame while a native runs
          code = 0;
          firstResult = luaD_precall(L, ra, &code);
        }
        if (firstResult) {
          if (code >= LUA_FIRSTERRORCODE || code < LUA_GOSUB_AGAIN) ReportError(L, code);
          luaD_poscall(L, nresults, firstResult);
          if (code == LUA_GOSUB_AFTER || code == LUA_GOSUB_AGAIN) pc = gosubrequest(L, cl, pc, code);
          if (nresults >= 0) L->top = L->ci->top;
          base = L->base;
          hooktrap();
        } else if (GET_OPCODE(i) == OP_CALL) {
          (L->ci - 1)->savedpc = pc;
          (L->ci - 1)->state = (CI_SAVEDPC | CI_CALLING);
          goto callentry;
        } else {
          // tail call: the callee's frame replaces the current one
          CallInfo *ci = L->ci - 1;
          luaG_gosubdropci(L, ci);
          StkId pbase = ci->base;
          StkId func = L->base - 1;
          if (L->openupval) luaF_close(L, pbase);
          int aux;
          for (aux = 0; func + aux < L->top; aux++) setobj(pbase - 1 + aux, func + aux);
          ci->top = L->top = pbase - 1 + aux;
          ci->savedpc = L->ci->savedpc;
          ci->tailcalls++;
          ci->state = CI_SAVEDPC;
          L->ci--;
          L->base = L->ci->base;
          goto callentry;
        }
        vmbreak;
      }
      vmcase(OP_RETURN) {
        if (GETARG_C(i) == 1) {
          savepc();
          pc = luaG_gosubpop(L);
          vmbreak;
        }
        int b = GETARG_B(i);
        // the results end at rtop (an open count ends at the top, never below ra)
        StkId rtop = b != 0 ? ra + b - 1 : (L->top < ra ? ra : L->top);
        if (L->openupval) luaF_close(L, base);
        CallInfo *ci = L->ci - 1;
        int nres;
        if (l_unlikely(!(ci->state & CI_CALLING) || (L->hookmask & LUA_MASKRET))) {
          L->top = rtop;
          L->ci->state = CI_SAVEDPC;
          L->ci->savedpc = pc;
          if (!(ci->state & CI_CALLING)) return ra;  // back to a native caller
          nres = GETARG_C(*(ci->savedpc - 1)) - 1;
          luaD_poscall(L, nres, ra);
        } else {
          nres = GETARG_C(*(ci->savedpc - 1)) - 1;
          // luaD_poscall without hooks, inline: results to the function's slot, nil padding
          luaG_gosubdropci(L, L->ci);
          StkId res = base - 1;
          L->ci = ci;
          L->base = ci->base;
          int have = (int)(rtop - ra);
          if (l_likely(nres == 1 && have > 0)) {
            setobj(res, ra);  // the common case: one result asked for and given
            L->top = ci->top;
          } else if (nres < 0) {
            for (int j = 0; j < have; j++) setobj(res + j, ra + j);
            L->top = res + have;
          } else {
            int j = 0;
            for (; j < nres && j < have; j++) setobj(res + j, ra + j);
            for (; j < nres; j++) setnilvalue(res + j);
            L->top = ci->top;
          }
          // back in the caller, as retentry does; the hook trap stays: nothing was called
          ci->pc = &pcslot;
          ci->state = CI_HASFRAME;
          pc = pcslot = ci->savedpc;
          base = ci->base;
          cl = &clvalue(base - 1)->l;
          k = cl->p->k;
          vmbreak;
        }
        if (nres >= 0) L->top = L->ci->top;
        goto retentry;
      }
      vmcase(OP_FORLOOP) {
        if (l_unlikely(!ttisnumber(ra) || !ttisnumber(ra + 1) || !ttisnumber(ra + 2))) {
          savepc();
          if (!ttisnumber(ra)) luaG_runerror(L, 1024);
          for (int j = 1; j <= 2; j++) {
            if (!ttisnumber(ra + j)) {
              TObject tmp;
              const TObject *v = luaV_tonumber(ra + j, &tmp);
              if (v == NULL) luaG_runerror(L, 1024);
              setnvalue(ra + j, nvalue(v));  // nil becomes 0, numeric strings their number
            }
          }
        }
        lua_Number step = nvalue(ra + 2);
        lua_Number idx = nvalue(ra) + step;
        lua_Number limit = nvalue(ra + 1);
        // the loop ends when idx passes the limit (or either is NaN)
        if (step > 0) {
          if (!(idx <= limit)) vmbreak;
        } else if (!(idx >= limit)) {
          vmbreak;
        }
        dojump(pc, GETARG_sBx(i));
        nvalue(ra) = idx;
        vmbreak;
      }
      vmcase(OP_TFORLOOP) {
        int nvar = GETARG_C(i) + 1;
        // room for the call base, its two arguments and the results above R(A+2), even
        // for code the checker never saw
        if (l_unlikely(L->stack_last - ra <= 2 * nvar + 5)) {
          ptrdiff_t rar = savestack(L, ra);
          Protect(luaD_growstack(L, 2 * nvar + 5));
          ra = restorestack(L, rar);
        }
        StkId cb = ra + nvar + 2;  // call base
        setobj(cb, ra);
        setobj(cb + 1, ra + 1);
        setobj(cb + 2, ra + 2);
        L->top = cb + 3;
        L->ci->savedpc = pc;
        int code;
        savepc();
        Protect(code = luaD_call(L, cb, nvar));
        if (code) Protect(ReportError(L, code));
        L->top = L->ci->top;
        ra = XRA(i) + 2;  // final position of the first result
        cb = ra + nvar;
        do {
          nvar--;
          setobj(ra + nvar, cb + nvar);
        } while (nvar > 0);
        if (ttisnil(ra))
          pc++;
        else
          dojump(pc, GETARG_sJ(*pc) + 1);
        vmbreak;
      }
      vmcase(OP_TFORPREP) {
        if (ttistable(ra)) {
          savepc();
          setobj(ra + 1, ra);
          TString *next = luaS_newliteral(L, "next");
          const TObject *nf = ttistable(gt(L)) ? luaH_getstr(hvalue(gt(L)), next) : &luaO_nilobject;
          setobj(ra, nf);
        }
        dojump(pc, GETARG_sBx(i));
        vmbreak;
      }
      vmcase(OP_SETLIST)
      vmcase(OP_SETLISTO) {
        savepc();
        int bc = GETARG_Bx(i);
        int n;
        if (GET_OPCODE(i) == OP_SETLIST)
          n = (bc & (LFIELDS_PER_FLUSH - 1)) + 1;
        else {
          n = (int)(L->top - ra) - 1;
          if (n < 0) n = 0;
        }
        if (!ttistable(ra)) luaG_typeerror(L, ra, 1132, "{}");
        Table *h = hvalue(ra);
        bc &= ~(LFIELDS_PER_FLUSH - 1);  // key of the first value
        for (; n > 0; n--) {
          TObject *val = ra + n;
          setobj(luaH_setnum(L, h, bc + n - 1), val);
        }
        if (GET_OPCODE(i) == OP_SETLISTO) L->top = L->ci->top;
        vmbreak;
      }
      vmcase(OP_CLOSE)
        savepc();
        luaF_close(L, ra);
        vmbreak;
      vmcase(OP_CLOSURE) {
        savepc();
        Proto *p = cl->p->p[GETARG_Bx(i)];
        int nup = p->nups;
        Closure *ncl = luaF_newLclosure(L, nup, &cl->g);
        ncl->l.p = p;
        for (int j = 0; j < nup; j++, pc++) {
          if (GET_OPCODE(*pc) == OP_GETUPVAL)
            ncl->l.upvals[j] = cl->upvals[GETARG_B(*pc)];
          else
            ncl->l.upvals[j] = luaF_findupval(L, base + GETARG_B(*pc));
        }
        setclvalue(ra, ncl);
        Protect(luaC_checkGC(L));
        vmbreak;
      }
      vmcase(OP_SELF) {
        StkId rb = RB(i);
        TObject *rc = RKC(i);
        if (!ttisstring(rc)) vmerror(1030);
        setobj(ra + 1, rb);
        if (ttistable(rb)) {
          const TObject *v = luaH_getstr(hvalue(rb), tsvalue(rc));
          if (!ttisnil(v)) {
            setobj(ra, v);
            vmbreak;
          }
        }
        Protect(luaV_gettable(L, ra + 1, rc, ra, 0));
        vmbreak;
      }
      vmdefault
        vmbreak;  // opcodes 43 to 63 do nothing
    }
  }
vmhook:
  if (StopFlag) {
    // the instruction just fetched is not executed and the frame stays as it is
    L->ci->savedpc = --pc;
    return NULL;
  }
  // count and line hooks of the instruction just fetched
  if ((L->hookmask & LUA_MASKLINE) || ((L->hookmask & LUA_MASKCOUNT) && --L->hookcount <= 0)) {
    savepc();
    traceexec(L);
    if (StopFlag) {
      L->ci->savedpc = --pc;  // the instruction is not executed
      return NULL;
    }
    base = L->base;
    ra = RA(i);
    hooktrap();
  } else {
    hooktrap();  // the hooks or the stop flag may have gone away
  }
#if KV_JUMPTABLE
  goto *disptab[GET_OPCODE(i)];
#else
  goto dispatch;
#endif
}

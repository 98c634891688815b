// Debug information (stack levels, names, lines), hooks, raising and the call tracer.
#include "runtime/vm/debug.h"

#include <cstdio>
#include <cstring>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/vm/api.h"
#include "runtime/vm/calls.h"
#include "runtime/vm/func.h"
#include "runtime/vm/interpwords.h"
#include "runtime/vm/opcodes.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/values.h"

// ---- positions and lines ----

int luaG_currentpc(CallInfo *ci)
{
  if (!isLua(ci)) return -1;
  if ((ci->state & CI_HASFRAME) && ci->pc) ci->savedpc = *ci->pc;
  return pcRel(ci->savedpc, ci_func(ci)->l.p);
}

static int currentline(CallInfo *ci)
{
  int pc = luaG_currentpc(ci);
  if (pc < 0) return -1;
  return luaG_line(ci_func(ci)->l.p, pc);
}

void luaG_inithooks(lua_State *L)
{
  for (CallInfo *ci = L->ci; ci != L->base_ci; ci--) luaG_currentpc(ci);
  L->hookinit = 1;
}

// ---- hooks ----

int lua_sethook(lua_State *L, lua_Hook func, int mask, int count)
{
  if (func == NULL || mask == 0) {
    mask = 0;
    func = NULL;
  }
  L->hook = func;
  L->basehookcount = count;
  resethookcount(L);
  L->hookmask = (lu_byte)mask;
  L->hookinit = 0;
  return 1;
}

lua_Hook lua_gethook(lua_State *L) { return L->hook; }
int lua_gethookmask(lua_State *L) { return L->hookmask; }
int lua_gethookcount(lua_State *L) { return L->basehookcount; }

// ---- stack levels ----

int lua_getstack(lua_State *L, int level, lua_Debug *ar)
{
  CallInfo *ci;
  for (ci = L->ci; level > 0 && ci > L->base_ci; ci--) {
    level--;
    if (isLua(ci)) level -= ci->tailcalls;  // lost tail calls
  }
  if (level > 0 || ci == L->base_ci) return 0;
  ar->i_ci = (level < 0) ? 0 : (int)(ci - L->base_ci);
  return 1;
}

static Proto *getluaproto(CallInfo *ci)
{
  return isLua(ci) ? ci_func(ci)->l.p : NULL;
}

// Local n lives in register n - 1. Its records come from loaded bytecode, so the register
// is checked against the frame (and the prototype's register count) before it is touched.
static int inframe(CallInfo *ci, int n)
{
  return n >= 1 && n <= ci_func(ci)->l.p->maxstacksize && ci->base + (n - 1) < ci->top;
}

const char *lua_getlocal(lua_State *L, const lua_Debug *ar, int n)
{
  CallInfo *ci = L->base_ci + ar->i_ci;
  Proto *fp = getluaproto(ci);
  if (!fp || ar->i_ci == 0 || !inframe(ci, n)) return NULL;
  const char *name = luaF_getlocalname(fp, n, luaG_currentpc(ci));
  if (name) {
    luaD_checkstack(L, 1);
    ci = L->base_ci + ar->i_ci;
    setobj(L->top, ci->base + (n - 1));
    L->top++;
  }
  return name;
}

const char *lua_setlocal(lua_State *L, const lua_Debug *ar, int n)
{
  CallInfo *ci = L->base_ci + ar->i_ci;
  Proto *fp = getluaproto(ci);
  L->top--;  // the value is popped in every case
  if (!fp || ar->i_ci == 0 || !inframe(ci, n)) return NULL;
  const char *name = luaF_getlocalname(fp, n, luaG_currentpc(ci));
  if (!name || name[0] == '(') return NULL;  // internal variables are not changed
  setobj(ci->base + (n - 1), L->top);
  return name;
}

// ---- names ----

// The instruction that last set register reg before lastpc (forward jumps inside the
// range are followed); a RETURN when nothing set it.
static Instruction symbexec(const Proto *p, int lastpc, int reg)
{
  int last = -1;
  if (lastpc > p->sizecode) lastpc = p->sizecode;
  for (int pc = 0; pc < lastpc; pc++) {
    Instruction i = p->code[pc];
    int op = GET_OPCODE(i);
    int a = GETARG_A(i);
    switch (op) {
      case OP_LOADNIL:
        if (a <= reg && reg <= GETARG_B(i)) last = pc;
        break;
      case OP_CALL:
      case OP_TAILCALL:
        if (reg >= a) last = pc;
        break;
      case OP_TFORLOOP:
        if (reg >= a + 2) last = pc;
        break;
      case OP_SELF:
        if (reg == a || reg == a + 1) last = pc;
        break;
      case OP_JMP: {
        if (GETARG_G(i) == GOSUB_FLAG) break;
        int dest = pc + 1 + GETARG_sJ(i);
        if (pc < dest && dest <= lastpc) pc = dest - 1;
        break;
      }
      case OP_CLOSURE: {
        if (a == reg) last = pc;
        int bx = GETARG_Bx(i);
        if (bx < p->sizep) pc += p->p[bx]->nups;  // pass over the pseudo-instructions
        break;
      }
      default:
        if (op < NUM_OPCODES && testOpMode(op, OPMODE_SETSA) && a == reg) last = pc;
        break;
    }
  }
  return last >= 0 ? p->code[last] : CREATE_ABC(OP_RETURN, 0, 0, 0);
}

static const char *kname(const Proto *p, int c)
{
  if (ISK(c) && INDEXK(c) < p->sizek && ttisstring(&p->k[INDEXK(c)])) return svalue(&p->k[INDEXK(c)]);
  return NULL;
}

static const char *getobjname_depth(CallInfo *ci, int stackpos, const char **name, int depth)
{
  if (!isLua(ci) || depth > 32) return NULL;
  Proto *p = ci_func(ci)->l.p;
  int pc = luaG_currentpc(ci);
  if (pc < 0) return NULL;
  *name = luaF_getlocalname(p, stackpos + 1, pc);
  if (*name) return "local";
  Instruction i = symbexec(p, pc, stackpos);
  switch (GET_OPCODE(i)) {
    case OP_GETGLOBAL: {
      int g = GETARG_Bx(i);
      if (g < p->sizek && ttisstring(&p->k[g])) {
        *name = svalue(&p->k[g]);
        return "global";
      }
      break;
    }
    case OP_MOVE: {
      int a = GETARG_A(i);
      int b = GETARG_B(i);
      if (b < a) return getobjname_depth(ci, b, name, depth + 1);
      break;
    }
    case OP_GETTABLE:
    case OP_SELF: {
      *name = kname(p, GETARG_C(i));
      if (*name) return GET_OPCODE(i) == OP_SELF ? "method" : "field";
      break;
    }
    default:
      break;
  }
  return NULL;
}

const char *luaG_getobjname(CallInfo *ci, int stackpos, const char **name)
{
  return getobjname_depth(ci, stackpos, name, 0);
}

static const char *getfuncname(lua_State *L, CallInfo *ci, const char **name)
{
  if (ci <= L->base_ci + 1) return NULL;  // called from the outermost native level
  if ((isLua(ci) && ci->tailcalls > 0) || !isLua(ci - 1)) return NULL;
  ci--;
  Proto *p = ci_func(ci)->l.p;
  int pc = luaG_currentpc(ci);
  if (pc < 0 || pc >= p->sizecode) return NULL;
  Instruction i = p->code[pc];
  if (GET_OPCODE(i) == OP_CALL || GET_OPCODE(i) == OP_TAILCALL) return luaG_getobjname(ci, GETARG_A(i), name);
  return NULL;
}

// The name of a string key of the globals' hash part whose value is f.
static const char *globalname(lua_State *L, const TObject *f)
{
  if (!ttistable(gt(L))) return NULL;
  Table *g = hvalue(gt(L));
  int n = sizenode(g);
  for (int j = 0; j < n; j++) {
    Node *nd = &g->node[j];
    if (ttisstring(gkey(nd)) && luaO_rawequalObj(gval(nd), f)) return svalue(gkey(nd));
  }
  return NULL;
}

// ---- lua_getinfo ----

static void funcinfo(lua_Debug *ar, const TObject *func)
{
  Closure *cl = clvalue(func);
  if (cl->c.isC) {
    ar->source = "=[C]";
    ar->linedefined = -1;
    ar->what = "C";
  } else {
    ar->source = cl->l.p->source ? getstr(cl->l.p->source) : "=?";
    ar->linedefined = cl->l.p->lineDefined;
    ar->what = (ar->linedefined == 0) ? "main" : "Kestrovia";
  }
  luaO_chunkid(ar->short_src, ar->source, LUA_IDSIZE);
}

static void info_tailcall(lua_Debug *ar)
{
  ar->name = ar->namewhat = "";
  ar->what = "tail";
  ar->linedefined = ar->currentline = -1;
  ar->source = "=(tail call)";
  luaO_chunkid(ar->short_src, ar->source, LUA_IDSIZE);
  ar->nups = 0;
}

int lua_getinfo(lua_State *L, const char *what, lua_Debug *ar)
{
  StkId f = NULL;
  CallInfo *ci = NULL;
  TObject fcopy;
  if (*what == '>') {
    StkId func = L->top - 1;
    if (!ttisfunction(func)) {
      SetErrorNumber(1);
      luaG_runerror(L, 1185);
    }
    what++;
    setobj(&fcopy, func);
    f = &fcopy;
    L->top--;
  } else if (ar->i_ci != 0) {
    ci = L->base_ci + ar->i_ci;
    f = ci->base - 1;
  }
  int status = 1;
  for (; *what; what++) {
    switch (*what) {
      case 'S':
        if (f == NULL) info_tailcall(ar);
        else funcinfo(ar, f);
        break;
      case 'l':
        ar->currentline = (ci) ? currentline(ci) : -1;
        break;
      case 'u':
        ar->nups = (f == NULL) ? 0 : clvalue(f)->c.nupvalues;
        break;
      case 'n':
        ar->namewhat = (ci) ? getfuncname(L, ci, &ar->name) : NULL;
        if (ar->namewhat == NULL) {
          ar->name = (f != NULL) ? globalname(L, f) : NULL;
          ar->namewhat = ar->name ? "global" : "";
        }
        break;
      case 'f':
        luaD_checkstack(L, 1);
        if (f == NULL) setnilvalue(L->top);
        else setobj(L->top, f);
        L->top++;
        break;
      default:
        status = 0;
        break;
    }
  }
  return status;
}

// ---- raising ----

[[noreturn]] void luaG_runerror(lua_State *L, int code)
{
  CallInfo *ci = L->ci;
  if (ci != L->base_ci && isLua(ci)) {
    int pc = luaG_currentpc(ci);
    ErrorLine = (pc < 0) ? -1 : luaG_line(ci_func(ci)->l.p, pc);
  } else {
    ErrorLine = -1;
  }
  UpdateErrorContext(L);
  luaD_throw(L, code);
}

static int isinstack(CallInfo *ci, const TObject *o)
{
  for (StkId p = ci->base; p < ci->top; p++)
    if (o == p) return 1;
  return 0;
}

[[noreturn]] void luaG_typeerror(lua_State *L, const TObject *o, int code, const char *suffix)
{
  const char *name = NULL;
  const char *kind = NULL;
  if (L->ci != L->base_ci && isinstack(L->ci, o)) kind = luaG_getobjname(L->ci, (int)(o - L->base), &name);
  char buf[ERR_STRING_SIZE];
  snprintf(buf, sizeof(buf), "%s%s", (kind && name) ? name : "??", suffix);
  SetErrorString(buf);
  luaG_runerror(L, code);
}

// ---- call tracer ----

void luaG_tracecall(lua_State *L)
{
  lua_Debug ar;
  memset(&ar, 0, sizeof(ar));
  ar.i_ci = (int)(L->ci - L->base_ci);
  lua_getinfo(L, "n", &ar);
  OsPrintF("Now calling %s()", ar.name ? ar.name : "(null)");
  int n = (int)(L->top - L->base);
  if (n > 0) {
    OsPrintF(" with arguments ");
    for (int i = 0; i < n; i++) {
      const TObject *o = L->base + i;
      int a = i + 1;
      switch (ttype(o)) {
        case LUA_TNIL: OsPrintF("#%d=(NIL) ", a); break;
        case LUA_TNUMBER: OsPrintF("#%d=(NUMBER)%g ", a, nvalue(o)); break;
        case LUA_TSTRING: OsPrintF("#%d=(STRING)\"%s\" ", a, svalue(o)); break;
        case LUA_TTABLE: OsPrintF("#%d=(TABLE)%p ", a, (void *)hvalue(o)); break;
        case LUA_TFUNCTION: OsPrintF("#%d=(FUNCPTR)%p ", a, (void *)clvalue(o)); break;
        default: OsPrintF("#%d=(INTERNAL)%d ", a, ttype(o)); break;
      }
    }
  }
  OsPrintF("\n");
}

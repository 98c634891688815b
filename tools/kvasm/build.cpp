// kvasm back end: AsmProgram -> prototypes of the runtime -> luaU_dump, and chunks in memory
// back through the runtime's loader.
#include <cstring>

#include "runtime/vm/bytecode.h"
#include "runtime/vm/calls.h"
#include "runtime/vm/func.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/vmmemory.h"
#include "tools/kvasm/kvasm_lib.h"

namespace {

void Reach(int *top, int reg) {
  if (reg + 1 > *top) *top = reg + 1;
}

// Registers the code reaches, by the same rules the loader's checker applies.
int ComputeMaxStack(const AsmFunc *f) {
  int top = f->params + (f->vararg ? 1 : 0);
  for (const AsmInsn &in : f->code) {
    Instruction i = in.word;
    int op = GET_OPCODE(i);
    if (op >= NUM_OPCODES) continue;
    int a = GETARG_A(i), b = GETARG_B(i), c = GETARG_C(i), bx = GETARG_Bx(i);
    if (op == OP_JMP) continue;
    Reach(&top, a);
    if (getOpMode(op) == iABC) {
      if (testOpMode(op, OPMODE_BREG)) Reach(&top, b);
      if (testOpMode(op, OPMODE_BRK) && !ISK(b)) Reach(&top, b);
      if (testOpMode(op, OPMODE_CRK) && !ISK(c)) Reach(&top, c);
    }
    switch (op) {
      case OP_LOADNIL: Reach(&top, b); break;
      case OP_CALL:
      case OP_TAILCALL:
        if (b > 0) Reach(&top, a + b - 1);
        if (c > 1) Reach(&top, a + c - 2);
        break;
      case OP_RETURN:
        if (c != 1 && b > 1) Reach(&top, a + b - 2);
        break;
      case OP_FORLOOP: Reach(&top, a + 2); break;
      case OP_TFORPREP: Reach(&top, a + 1); break;
      case OP_TFORLOOP:
        Reach(&top, a + c + 5);
        Reach(&top, a + 2 * c + 3);
        break;
      case OP_SETLIST: Reach(&top, a + (bx & 31) + 1); break;
      case OP_SETLISTO: Reach(&top, a + 1); break;
      case OP_SELF: Reach(&top, a + 1); break;
      default: break;
    }
  }
  // named registers, and every local active at one instruction holds a register
  for (const AsmAlias &al : f->aliases) Reach(&top, al.reg);
  int n = (int)f->code.size();
  std::vector<int> delta((size_t)n + 1, 0);
  for (const AsmLocal &l : f->locals) {
    int s = l.startpc < 0 ? 0 : l.startpc > n ? n : l.startpc;
    int e = l.endpc < 0 || l.endpc > n ? n : l.endpc;
    if (s < e) {
      delta[(size_t)s]++;
      delta[(size_t)e]--;
    }
  }
  int active = 0;
  for (int pc = 0; pc < n; pc++) {
    active += delta[(size_t)pc];
    if (active > top) top = active;
  }
  if (top > 255) top = 255;
  return top;
}

TString *NewString(lua_State *L, const std::string &s) { return luaS_newlstr(L, s.data(), s.size()); }

Proto *BuildProto(lua_State *L, const AsmFunc *f, TString *parentSource) {
  Proto *p = luaF_newproto(L);
  if (!f->parent || f->hasSource) p->source = NewString(L, f->source);
  else p->source = parentSource;
  p->lineDefined = f->lineDefined;
  p->nups = (lu_byte)(f->nups >= 0 ? f->nups : (int)f->upvals.size());
  p->numparams = (lu_byte)f->params;
  p->is_vararg = (lu_byte)f->vararg;
  p->maxstacksize = (lu_byte)(f->maxStack >= 0 ? f->maxStack : ComputeMaxStack(f));

  int n = (int)f->code.size();
  p->code = luaM_newvector(L, n, Instruction);
  p->sizecode = n;
  for (int i = 0; i < n; i++) p->code[i] = f->code[i].word;
  if (!f->noLines) {
    p->lineinfo = luaM_newvector(L, n, int);
    p->sizelineinfo = n;
    for (int i = 0; i < n; i++) p->lineinfo[i] = f->code[i].line;
  }
  n = (int)f->locals.size();
  p->locvars = luaM_newvector(L, n, LocVar);
  p->sizelocvars = n;
  for (int i = 0; i < n; i++) {
    p->locvars[i].varname = NewString(L, f->locals[i].name);
    p->locvars[i].startpc = f->locals[i].startpc;
    p->locvars[i].endpc = f->locals[i].endpc;
  }
  int named = 0;
  for (const AsmUpval &u : f->upvals) named |= !u.name.empty();
  n = named ? (int)f->upvals.size() : 0;
  p->upvalues = luaM_newvector(L, n, TString *);
  p->sizeupvalues = n;
  for (int i = 0; i < n; i++) p->upvalues[i] = NewString(L, f->upvals[i].name);
  n = (int)f->k.size();
  p->k = luaM_newvector(L, n, TObject);
  p->sizek = n;
  for (int i = 0; i < n; i++) {
    const AsmConst &k = f->k[i];
    if (k.kind == 3) setnvalue(&p->k[i], k.num);
    else if (k.kind == 4) setsvalue(&p->k[i], NewString(L, k.str));
    else setnilvalue(&p->k[i]);
  }
  n = (int)f->children.size();
  p->p = luaM_newvector(L, n, Proto *);
  p->sizep = n;
  for (int i = 0; i < n; i++) p->p[i] = BuildProto(L, f->children[i], p->source);
  return p;
}

struct BuildJob {
  AsmProgram *prog;
  std::vector<uint8_t> *out;
};

// The reader of AsmLoadChunk: the whole chunk at once.
struct MemReader {
  const uint8_t *p;
  size_t n;
};

const char *ReadOnce(lua_State *, void *data, size_t *size) {
  MemReader *r = (MemReader *)data;
  if (r->n == 0) return nullptr;
  *size = r->n;
  r->n = 0;
  return (const char *)r->p;
}

int CollectWriter(lua_State *L, const void *p, size_t size, void *data) {
  std::vector<uint8_t> *out = (std::vector<uint8_t> *)data;
  out->insert(out->end(), (const uint8_t *)p, (const uint8_t *)p + size);
  return 0;
}

void BuildAndDump(lua_State *L, void *ud) {
  BuildJob *job = (BuildJob *)ud;
  Proto *p = BuildProto(L, job->prog->main, nullptr);
  luaU_dump(L, p, CollectWriter, job->out);
}

}  // namespace

int AsmBuildBytecode(AsmProgram *prog, std::vector<uint8_t> *out, std::string *err) {
  lua_State *L = lua_open();
  if (!L) {
    *err = "cannot create the interpreter state";
    return 1;
  }
  BuildJob job = {prog, out};
  out->clear();
  int status = luaD_pcall(L, BuildAndDump, &job, savestack(L, L->top), 0);
  lua_close(L);
  if (status) {
    *err = "building the bytecode failed with error " + std::to_string(status);
    return 1;
  }
  return 0;
}

int AsmLoadChunk(lua_State *L, const uint8_t *p, size_t n, const char *name) {
  MemReader r = {p, n};
  return lua_load(L, ReadOnce, &r, name);
}

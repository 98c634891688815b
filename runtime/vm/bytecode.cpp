// Bytecode reader and writer, the buffered input stream, and lua_load / lua_dump.
#include "runtime/vm/bytecode.h"

#include <cstring>

#include "runtime/vm/calls.h"
#include "runtime/vm/debug.h"
#include "runtime/vm/func.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/vmmemory.h"

// ---- buffered input stream ----

void luaZ_init(ZIO *z, lua_Chunkreader reader, void *data, const char *name) {
  z->reader = reader;
  z->data = data;
  z->name = name;
  z->n = 0;
  z->p = nullptr;
}

int luaZ_fill(ZIO *z) {
  size_t size = 0;
  const char *buff = z->reader(nullptr, z->data, &size);
  if (buff == nullptr || size == 0) {
    z->n = 0;
    return EOZ;
  }
  z->n = size - 1;
  z->p = buff;
  return (int)(unsigned char)(*(z->p++));
}

int luaZ_lookahead(ZIO *z) {
  if (z->n == 0) {
    int c = luaZ_fill(z);
    if (c == EOZ) return EOZ;
    z->n++;
    z->p--;
  }
  return (int)(unsigned char)(*z->p);
}

size_t luaZ_read(ZIO *z, void *b, size_t n) {
  while (n) {
    if (luaZ_lookahead(z) == EOZ) return n;  // return number of missing bytes
    size_t m = (n <= z->n) ? n : z->n;  // min. between n and z->n
    memcpy(b, z->p, m);
    z->n -= m;
    z->p += m;
    b = (char *)b + m;
    n -= m;
  }
  return 0;
}

char *luaZ_openspace(lua_State *L, Mbuffer *buff, size_t n) {
  if (n > buff->size) {
    if (n < 32) n = 32;
    buff->buffer = (char *)luaM_realloc(L, buff->buffer, buff->size, n);
    buff->size = n;
  }
  return buff->buffer;
}

void luaZ_freebuffer(lua_State *L, Mbuffer *buff) {
  if (buff->buffer) luaM_free(L, buff->buffer, buff->size);
  buff->buffer = nullptr;
  buff->size = 0;
}

// ---- reader ----

// The whole chunk is pulled into the scratch buffer first, so that every count and length
// can be compared with the bytes really left before anything is allocated for it.
struct LoadState {
  lua_State *L;
  const unsigned char *p;  // next byte
  size_t left;             // bytes left
  int swap;                // fields are big-endian
};

[[noreturn]] static void LoadError(LoadState *S, int code) {
  luaG_runerror(S->L, code);
}

static void LoadBlock(LoadState *S, void *b, size_t n) {
  if (n > S->left) LoadError(S, BCERR_EOF);
  memcpy(b, S->p, n);
  S->p += n;
  S->left -= n;
}

static int LoadByte(LoadState *S) {
  if (S->left < 1) LoadError(S, BCERR_EOF);
  S->left--;
  return *S->p++;
}

static uint32_t Load32(LoadState *S) {
  unsigned char b[4];
  LoadBlock(S, b, 4);
  if (S->swap) return ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
  return ((uint32_t)b[3] << 24) | ((uint32_t)b[2] << 16) | ((uint32_t)b[1] << 8) | b[0];
}

// An int read singly: negative values are refused.
static int LoadInt(LoadState *S) {
  int32_t x = (int32_t)Load32(S);
  if (x < 0) LoadError(S, BCERR_INT);
  return x;
}

static lua_Number LoadNumber(LoadState *S) {
  unsigned char b[8];
  LoadBlock(S, b, 8);
  uint64_t bits = 0;
  for (int i = 0; i < 8; i++) {
    int k = S->swap ? i : 7 - i;
    bits = (bits << 8) | b[k];
  }
  lua_Number x;
  memcpy(&x, &bits, sizeof x);
  return x;
}

// A count of elements that take at least `minsize` bytes each in the stream.
static int LoadCount(LoadState *S, size_t minsize) {
  int n = LoadInt(S);
  if ((uint64_t)n * (uint64_t)minsize > (uint64_t)S->left) LoadError(S, BCERR_EOF);
  return n;
}

// Length 0 is the empty marker (null); otherwise the bytes including the terminating zero.
static TString *LoadString(LoadState *S) {
  uint32_t size = Load32(S);
  if (size == 0) return nullptr;
  if ((uint64_t)size > (uint64_t)S->left) LoadError(S, BCERR_EOF);
  TString *ts = luaS_newlstr(S->L, (const char *)S->p, size - 1);
  S->p += size;
  S->left -= size;
  return ts;
}

static void LoadInts(LoadState *S, int *v, int n) {
  for (int i = 0; i < n; i++) v[i] = (int32_t)Load32(S);
}

static void LoadLines(LoadState *S, Proto *f) {
  int n = LoadCount(S, 4);
  f->lineinfo = luaM_newvector(S->L, n, int);
  f->sizelineinfo = n;
  LoadInts(S, f->lineinfo, n);
}

static void LoadLocals(LoadState *S, Proto *f) {
  int n = LoadCount(S, 12);
  f->locvars = luaM_newvector(S->L, n, LocVar);
  for (int i = 0; i < n; i++) f->locvars[i].varname = nullptr;
  f->sizelocvars = n;
  for (int i = 0; i < n; i++) {
    TString *name = LoadString(S);
    if (name == nullptr) LoadError(S, BCERR_INT);
    f->locvars[i].varname = name;
    f->locvars[i].startpc = LoadInt(S);
    f->locvars[i].endpc = LoadInt(S);
  }
}

static void LoadUpvalues(LoadState *S, Proto *f) {
  int n = LoadInt(S);
  if (n != 0 && n != f->nups) LoadError(S, BCERR_UPVALUES);
  if ((uint64_t)n * 4 > (uint64_t)S->left) LoadError(S, BCERR_EOF);
  f->upvalues = luaM_newvector(S->L, n, TString *);
  for (int i = 0; i < n; i++) f->upvalues[i] = nullptr;
  f->sizeupvalues = n;
  for (int i = 0; i < n; i++) {
    TString *name = LoadString(S);
    if (name == nullptr) LoadError(S, BCERR_INT);
    f->upvalues[i] = name;
  }
}

static Proto *LoadFunction(LoadState *S, TString *p, int depth);

static void LoadConstants(LoadState *S, Proto *f, int depth) {
  int n = LoadCount(S, 1);
  f->k = luaM_newvector(S->L, n, TObject);
  for (int i = 0; i < n; i++) setnilvalue(&f->k[i]);
  f->sizek = n;
  for (int i = 0; i < n; i++) {
    TObject *o = &f->k[i];
    int t = LoadByte(S);
    switch (t) {
      case LUA_TNUMBER:
        setnvalue(o, LoadNumber(S));
        break;
      case LUA_TSTRING: {
        TString *s = LoadString(S);
        if (s == nullptr) LoadError(S, BCERR_CONSTANT);
        setsvalue(o, s);
        break;
      }
      case LUA_TNIL:
        setnilvalue(o);
        break;
      default:
        LoadError(S, BCERR_CONSTANT);
    }
  }
  // nested prototypes: a record takes at least 36 bytes
  n = LoadCount(S, 36);
  f->p = luaM_newvector(S->L, n, Proto *);
  for (int i = 0; i < n; i++) f->p[i] = nullptr;
  f->sizep = n;
  for (int i = 0; i < n; i++) f->p[i] = LoadFunction(S, f->source, depth + 1);
}

static void LoadCode(LoadState *S, Proto *f) {
  int n = LoadCount(S, sizeof(Instruction));
  f->code = luaM_newvector(S->L, n, Instruction);
  f->sizecode = n;
  for (int i = 0; i < n; i++) f->code[i] = Load32(S);
}

// Each active local variable lives in a register, so the debug interface addresses the n-th
// active local as register n - 1: more locals active at one instruction than the function
// has registers would let it reach outside the frame.
static int LocalsFitFrame(lua_State *L, const Proto *f) {
  if (f->sizelocvars == 0) return 1;
  int n = f->sizecode;
  int *delta = luaM_newvector(L, n + 1, int);
  for (int i = 0; i <= n; i++) delta[i] = 0;
  for (int i = 0; i < f->sizelocvars; i++) {
    int start = f->locvars[i].startpc, end = f->locvars[i].endpc;
    if (start > n) start = n;
    if (end > n) end = n;
    if (start < end) {
      delta[start]++;
      delta[end]--;
    }
  }
  int active = 0, ok = 1;
  for (int pc = 0; pc < n && ok; pc++) {
    active += delta[pc];
    if (active > f->maxstacksize) ok = 0;
  }
  luaM_freearray(L, delta, n + 1, int);
  return ok;
}

static Proto *LoadFunction(LoadState *S, TString *p, int depth) {
  if (depth > LUAU_MAXNESTING) LoadError(S, BCERR_CODE);
  Proto *f = luaF_newproto(S->L);
  f->source = LoadString(S);
  if (f->source == nullptr) f->source = p;
  f->lineDefined = LoadInt(S);
  f->nups = (lu_byte)LoadByte(S);
  f->numparams = (lu_byte)LoadByte(S);
  f->is_vararg = (lu_byte)LoadByte(S);
  f->maxstacksize = (lu_byte)LoadByte(S);
  LoadLines(S, f);
  LoadLocals(S, f);
  LoadUpvalues(S, f);
  LoadConstants(S, f, depth);
  LoadCode(S, f);
  if (!luaG_checkcode(f) || !LocalsFitFrame(S->L, f)) LoadError(S, BCERR_CODE);
  return f;
}

static void LoadHeader(LoadState *S) {
  char sig[4];
  LoadBlock(S, sig, 4);
  if (memcmp(sig, LUA_SIGNATURE, 4) != 0) LoadError(S, BCERR_SIGNATURE);
  S->swap = LoadByte(S) != 1;
  // int, size_t, Instruction, bits of OP, A, B, C, number
  static const unsigned char want[8] = {4, 4, 4, SIZE_OP, SIZE_A, SIZE_B, SIZE_C, 8};
  for (int i = 0; i < 8; i++)
    if (LoadByte(S) != want[i]) LoadError(S, BCERR_SIZES);
  lua_Number x = LoadNumber(S);
  // only the integer part is compared
  if (!(x >= 31415926.0 && x < 31415927.0)) LoadError(S, BCERR_NUMBER);
}

Proto *luaU_undump(lua_State *L, ZIO *z, Mbuffer *buff) {
  size_t used = 0;
  for (;;) {
    size_t room = buff->size - used;
    if (room < 256) {
      size_t want = buff->size < 1024 ? 1024 : buff->size * 2;
      if (want > MAX_ALLOC_SIZE) want = MAX_ALLOC_SIZE;
      if (want <= buff->size) luaG_runerror(L, 1000);
      luaZ_openspace(L, buff, want);
      room = buff->size - used;
    }
    size_t missing = luaZ_read(z, buff->buffer + used, room);
    used += room - missing;
    if (missing) break;
  }
  LoadState S;
  S.L = L;
  S.p = (const unsigned char *)buff->buffer;
  S.left = used;
  S.swap = 0;
  LoadHeader(&S);
  const char *name = z->name ? z->name : "?";
  return LoadFunction(&S, luaS_new(L, name), 0);
}

// ---- writer ----

struct DumpState {
  lua_State *L;
  lua_Chunkwriter writer;
  void *data;
  int status;  // first non-zero answer of the writer
};

static void DumpBlock(const void *b, size_t size, DumpState *D) {
  if (D->status == 0 && size > 0) D->status = D->writer(D->L, b, size, D->data);
}

static void DumpByte(int x, DumpState *D) {
  unsigned char c = (unsigned char)x;
  DumpBlock(&c, 1, D);
}

static void Put32(unsigned char *b, uint32_t x) {
  b[0] = (unsigned char)x;
  b[1] = (unsigned char)(x >> 8);
  b[2] = (unsigned char)(x >> 16);
  b[3] = (unsigned char)(x >> 24);
}

static void DumpInt(int x, DumpState *D) {
  unsigned char b[4];
  Put32(b, (uint32_t)x);
  DumpBlock(b, 4, D);
}

static void DumpNumber(lua_Number x, DumpState *D) {
  uint64_t bits;
  memcpy(&bits, &x, sizeof bits);
  unsigned char b[8];
  for (int i = 0; i < 8; i++) b[i] = (unsigned char)(bits >> (8 * i));
  DumpBlock(b, 8, D);
}

// A little-endian array of 32-bit words in one writer call.
static void DumpWords(const uint32_t *v, int n, DumpState *D) {
  DumpInt(n, D);
  if (n <= 0) return;
  size_t bytes = (size_t)n * 4;
  unsigned char *buf = (unsigned char *)luaM_malloc(D->L, bytes);
  for (int i = 0; i < n; i++) Put32(buf + 4 * i, v[i]);
  DumpBlock(buf, bytes, D);
  luaM_free(D->L, buf, bytes);
}

static void DumpString(const TString *s, DumpState *D) {
  if (s == nullptr) {
    DumpInt(0, D);
  } else {
    DumpInt((int)(s->len + 1), D);  // include the terminating zero
    DumpBlock(getstr(s), s->len + 1, D);
  }
}

static void DumpFunction(const Proto *f, const TString *p, DumpState *D) {
  DumpString((f->source == p) ? nullptr : f->source, D);
  DumpInt(f->lineDefined, D);
  DumpByte(f->nups, D);
  DumpByte(f->numparams, D);
  DumpByte(f->is_vararg, D);
  DumpByte(f->maxstacksize, D);
  DumpWords((const uint32_t *)f->lineinfo, f->sizelineinfo, D);
  DumpInt(f->sizelocvars, D);
  for (int i = 0; i < f->sizelocvars; i++) {
    DumpString(f->locvars[i].varname, D);
    DumpInt(f->locvars[i].startpc, D);
    DumpInt(f->locvars[i].endpc, D);
  }
  DumpInt(f->sizeupvalues, D);
  for (int i = 0; i < f->sizeupvalues; i++) DumpString(f->upvalues[i], D);
  DumpInt(f->sizek, D);
  for (int i = 0; i < f->sizek; i++) {
    const TObject *o = &f->k[i];
    DumpByte(ttype(o), D);
    switch (ttype(o)) {
      case LUA_TNUMBER:
        DumpNumber(nvalue(o), D);
        break;
      case LUA_TSTRING:
        DumpString(tsvalue(o), D);
        break;
      default:
        break;
    }
  }
  DumpInt(f->sizep, D);
  for (int i = 0; i < f->sizep; i++) DumpFunction(f->p[i], f->source, D);
  DumpWords(f->code, f->sizecode, D);
}

static void DumpHeader(DumpState *D) {
  DumpBlock(LUA_SIGNATURE, 4, D);
  DumpByte(luaU_endianness(), D);
  DumpByte(4, D);  // int
  DumpByte(4, D);  // size_t
  DumpByte(4, D);  // Instruction
  DumpByte(SIZE_OP, D);
  DumpByte(SIZE_A, D);
  DumpByte(SIZE_B, D);
  DumpByte(SIZE_C, D);
  DumpByte(8, D);  // lua_Number
  DumpNumber(TEST_NUMBER, D);
}

int luaU_dump(lua_State *L, const Proto *f, lua_Chunkwriter w, void *data) {
  DumpState D;
  D.L = L;
  D.writer = w;
  D.data = data;
  D.status = 0;
  DumpHeader(&D);
  DumpFunction(f, nullptr, &D);
  return D.status;
}

int luaU_endianness(void) { return 1; }

// ---- lua_load / lua_dump ----

struct SParser {
  ZIO *z;
  Mbuffer buff;
  int bin;
};

static void f_parser(lua_State *L, void *ud) {
  SParser *p = (SParser *)ud;
  if (!p->bin) luaG_runerror(L, BCERR_SIGNATURE);  // there is no source parser
  Proto *tf = luaU_undump(L, p->z, &p->buff);
  Closure *cl = luaF_newLclosure(L, tf->nups, gt(L));
  cl->l.p = tf;
  // a main function's upvalues start closed, holding nil
  for (int i = 0; i < tf->nups; i++) {
    UpVal *uv = luaM_new(L, UpVal);
    uv->v = &uv->value;
    setnilvalue(&uv->value);
    luaC_link(L, valtogco(uv), LUA_TUPVAL);
    cl->l.upvals[i] = uv;
  }
  setclvalue(L->top, cl);
  incr_top(L);
}

int lua_load(lua_State *L, lua_Chunkreader reader, void *data, const char *chunkname) {
  ZIO z;
  if (!chunkname) chunkname = "?";
  luaZ_init(&z, reader, data, chunkname);
  SParser p;
  p.z = &z;
  p.buff.buffer = nullptr;
  p.buff.size = 0;
  p.bin = luaZ_lookahead(&z) == LUA_SIGNATURE[0];
  int status = luaD_pcall(L, f_parser, &p, savestack(L, L->top), L->errfunc);
  luaZ_freebuffer(L, &p.buff);
  return status;
}

int lua_dump(lua_State *L, int idx, lua_Chunkwriter writer, void *data) {
  lua_pushvalue(L, idx);
  const TObject *o = L->top - 1;
  int status = BCERR_NOTUSER;
  if (isLfunction(o)) status = luaU_dump(L, clvalue(o)->l.p, writer, data);
  lua_settop(L, -2);
  return status;
}

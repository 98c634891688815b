// Bytecode reader, writer and code checker: round trips in both byte orders, every header
// and record error, and a table of malformed code that the checker must refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/vm/api.h"
#include "runtime/vm/bytecode.h"
#include "runtime/vm/opcodes.h"
#include "runtime/vm/state.h"
#include "runtime/vm/vmmemory.h"

namespace {

// ---- a fixture writer of its own (independent of luaU_dump) ----

struct KSpec {
  int type;  // 0 nil, 3 number, 4 string, other: raw type byte
  double num;
  std::string str;
  int64_t rawLen;  // >= 0: string length field written as this value with no bytes
};

struct FnSpec {
  std::string source = "t.kvs";
  int sourceEmpty = 0;  // write the empty marker
  int lineDefined = 0;
  int nups = 0, params = 0, vararg = 0, maxstack = 4;
  std::vector<int> lines;  // written as given
  int autoLines = 1;       // one line per instruction
  struct Loc {
    std::string name;
    int start, end;
  };
  std::vector<Loc> locals;
  std::vector<std::string> upnames;
  std::vector<KSpec> k;
  std::vector<FnSpec> p;
  std::vector<Instruction> code;
};

struct Out {
  std::vector<uint8_t> b;
  int big = 0;
  void u8(int v) { b.push_back((uint8_t)v); }
  void u32(uint32_t v) {
    uint8_t x[4] = {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
    if (big) std::swap(x[0], x[3]), std::swap(x[1], x[2]);
    b.insert(b.end(), x, x + 4);
  }
  void num(double d) {
    uint64_t bits;
    memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; i++) u8((int)(bits >> (8 * (big ? 7 - i : i))));
  }
  void str(const std::string &s) {
    u32((uint32_t)s.size() + 1);
    b.insert(b.end(), s.begin(), s.end());
    u8(0);
  }
};

void WriteFn(Out *o, const FnSpec &f) {
  if (f.sourceEmpty) o->u32(0);
  else o->str(f.source);
  o->u32((uint32_t)f.lineDefined);
  o->u8(f.nups);
  o->u8(f.params);
  o->u8(f.vararg);
  o->u8(f.maxstack);
  if (f.autoLines) {
    o->u32((uint32_t)f.code.size());
    for (size_t i = 0; i < f.code.size(); i++) o->u32((uint32_t)i + 1);
  } else {
    o->u32((uint32_t)f.lines.size());
    for (int l : f.lines) o->u32((uint32_t)l);
  }
  o->u32((uint32_t)f.locals.size());
  for (auto &l : f.locals) {
    if (l.name.empty()) o->u32(0);
    else o->str(l.name);
    o->u32((uint32_t)l.start);
    o->u32((uint32_t)l.end);
  }
  o->u32((uint32_t)f.upnames.size());
  for (auto &u : f.upnames) {
    if (u.empty()) o->u32(0);
    else o->str(u);
  }
  o->u32((uint32_t)f.k.size());
  for (auto &k : f.k) {
    o->u8(k.type);
    if (k.type == 3) o->num(k.num);
    else if (k.type == 4) {
      if (k.rawLen >= 0) o->u32((uint32_t)k.rawLen);
      else o->str(k.str);
    }
  }
  o->u32((uint32_t)f.p.size());
  for (auto &c : f.p) WriteFn(o, c);
  o->u32((uint32_t)f.code.size());
  for (Instruction i : f.code) o->u32(i);
}

std::vector<uint8_t> Chunk(const FnSpec &f, int big = 0, double testnum = 31415926.535897933) {
  Out o;
  o.big = big;
  o.b.insert(o.b.end(), {0x1b, 'K', 'V', 'B'});
  o.u8(big ? 0 : 1);
  for (int s : {4, 4, 4, 6, 8, 9, 9, 8}) o.u8(s);
  o.num(testnum);
  WriteFn(&o, f);
  return o.b;
}

KSpec Num(double d) { return {3, d, "", -1}; }
KSpec Str(const std::string &s) { return {4, 0, s, -1}; }

Instruction ABC(int o, int a, int b, int c) { return CREATE_ABC(o, a, b, c); }
Instruction ABx(int o, int a, int bx) { return CREATE_ABx(o, a, bx); }
Instruction AsBx(int o, int a, int sbx) { return CREATE_AsBx(o, a, sbx); }
Instruction Jmp(int off, int g = 0) { return CREATE_J(OP_JMP, off, g); }
const Instruction RET = CREATE_ABC(OP_RETURN, 0, 1, 0);

// A function exercising every record field.
FnSpec Sample() {
  FnSpec f;
  f.maxstack = 6;
  f.nups = 1;
  f.upnames = {"up"};
  f.locals = {{"x", 0, 5}, {"y", 2, 5}};
  f.k = {Num(1.5), Str("print"), {0, 0, "", -1}, Str(std::string("a\0b", 3)), Num(-0.0)};
  FnSpec child;
  child.sourceEmpty = 1;
  child.lineDefined = 7;
  child.nups = 1;
  child.params = 1;
  child.maxstack = 2;
  child.code = {ABC(OP_GETUPVAL, 1, 0, 0), ABC(OP_RETURN, 1, 2, 0)};
  f.p = {child};
  f.code = {ABx(OP_LOADK, 0, 0),     ABx(OP_GETGLOBAL, 1, 1),  ABC(OP_ADD, 2, 0, 250),
            ABC(OP_EQ, 1, 0, 254),  Jmp(1),                   ABx(OP_CLOSURE, 3, 0),
            ABC(OP_MOVE, 0, 0, 0),  ABC(OP_CALL, 3, 1, 0),    ABC(OP_RETURN, 0, 0, 0)};
  return f;
}

struct Reader {
  const std::vector<uint8_t> *b;
  size_t pos;
  size_t step;  // block size handed out
};

const char *ReadBlocks(lua_State *, void *data, size_t *size) {
  Reader *r = (Reader *)data;
  if (r->pos >= r->b->size()) return nullptr;
  size_t n = std::min(r->step, r->b->size() - r->pos);
  *size = n;
  const char *p = (const char *)r->b->data() + r->pos;
  r->pos += n;
  return p;
}

int Collect(lua_State *, const void *p, size_t n, void *data) {
  auto *v = (std::vector<uint8_t> *)data;
  v->insert(v->end(), (const uint8_t *)p, (const uint8_t *)p + n);
  return 0;
}

class Bytecode : public ::testing::Test {
 protected:
  lua_State *L = nullptr;
  void SetUp() override { L = lua_open(); ASSERT_NE(L, nullptr); }
  void TearDown() override { lua_close(L); }

  int Load(const std::vector<uint8_t> &b, size_t step = 1 << 20, const char *name = "t.kvs") {
    Reader r = {&b, 0, step};
    int top = lua_gettop(L);
    int code = lua_load(L, ReadBlocks, &r, name);
    EXPECT_EQ(lua_gettop(L), top + (code == 0 ? 1 : 0));
    return code;
  }
  std::vector<uint8_t> DumpTop() {
    std::vector<uint8_t> out;
    EXPECT_EQ(lua_dump(L, -1, Collect, &out), 0);
    return out;
  }
  const Proto *TopProto() { return clvalue(L->top - 1)->l.p; }
};

TEST_F(Bytecode, RoundTripIsByteIdentical) {
  std::vector<uint8_t> le = Chunk(Sample());
  ASSERT_EQ(Load(le), 0);
  EXPECT_EQ(DumpTop(), le);
  const Proto *f = TopProto();
  EXPECT_EQ(f->sizek, 5);
  EXPECT_EQ(f->sizep, 1);
  EXPECT_EQ(f->p[0]->source, f->source);  // empty marker: the enclosing source
  EXPECT_EQ(std::string(getstr(f->source)), "t.kvs");
  EXPECT_EQ(tsvalue(&f->k[3])->len, 3u);

  // the same chunk handed over in blocks of 1, 2, 3 and 7 bytes
  for (size_t step : {1, 2, 3, 7}) {
    lua_settop(L, 0);
    ASSERT_EQ(Load(le, step), 0) << step;
    EXPECT_EQ(DumpTop(), le);
  }
}

TEST_F(Bytecode, BigEndianLoadsToTheSameFunction) {
  std::vector<uint8_t> le = Chunk(Sample());
  std::vector<uint8_t> be = Chunk(Sample(), 1);
  ASSERT_NE(le, be);
  ASSERT_EQ(Load(be), 0);
  EXPECT_EQ(DumpTop(), le);  // the writer always writes little-endian
  EXPECT_EQ(nvalue(&TopProto()->k[0]), 1.5);
  // any endianness byte other than 1 means big-endian
  be[4] = 7;
  lua_settop(L, 0);
  EXPECT_EQ(Load(be), 0);
}

TEST_F(Bytecode, HeaderErrors) {
  std::vector<uint8_t> good = Chunk(Sample());
  std::vector<uint8_t> b = good;
  b[1] = 'X';
  EXPECT_EQ(Load(b), 1204);
  b = good;
  b[0] = 'K';  // not bytecode: there is no source parser
  EXPECT_EQ(Load(b), 1204);
  EXPECT_EQ(Load({}), 1204);
  for (int i = 5; i < 13; i++) {  // each size byte
    b = good;
    b[(size_t)i]++;
    EXPECT_EQ(Load(b), 1199) << "size byte " << i;
  }
  EXPECT_EQ(Load(Chunk(Sample(), 0, 31415926.9)), 0);  // only the integer part counts
  lua_settop(L, 0);
  EXPECT_EQ(Load(Chunk(Sample(), 0, 31415927.0)), 1205);
  EXPECT_EQ(Load(Chunk(Sample(), 0, std::nan(""))), 1205);
  EXPECT_EQ(Load(Chunk(Sample(), 0, 1e300)), 1205);
}

TEST_F(Bytecode, EveryTruncationIsEndOfFile) {
  std::vector<uint8_t> good = Chunk(Sample());
  for (size_t n = 1; n < good.size(); n++) {
    std::vector<uint8_t> b(good.begin(), good.begin() + (long)n);
    ASSERT_EQ(Load(b), 1198) << "length " << n;
  }
}

TEST_F(Bytecode, MainFunctionSourceAndUpvalues) {
  FnSpec f;
  f.sourceEmpty = 1;
  f.nups = 2;
  f.maxstack = 1;
  f.code = {ABC(OP_GETUPVAL, 0, 1, 0), ABC(OP_RETURN, 0, 2, 0)};
  ASSERT_EQ(Load(Chunk(f), 1 << 20, "chunk.kvs"), 0);
  const Proto *p = TopProto();
  EXPECT_EQ(std::string(getstr(p->source)), "chunk.kvs");
  LClosure *cl = &clvalue(L->top - 1)->l;
  ASSERT_EQ(cl->nupvalues, 2);
  for (int i = 0; i < 2; i++) {
    ASSERT_NE(cl->upvals[i], nullptr);
    EXPECT_TRUE(ttisnil(cl->upvals[i]->v));
  }
  lua_settop(L, 0);
  Reader r = {nullptr, 0, 1};
  std::vector<uint8_t> b = Chunk(f);
  r.b = &b;
  ASSERT_EQ(lua_load(L, ReadBlocks, &r, nullptr), 0);  // no chunk name: "?"
  EXPECT_EQ(std::string(getstr(TopProto()->source)), "?");
}

TEST_F(Bytecode, DumpOfNativeFunctionIsRefused) {
  lua_pushcfunction(L, [](lua_State *) { return 0; });
  std::vector<uint8_t> out;
  EXPECT_EQ(lua_dump(L, -1, Collect, &out), 1324);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(lua_gettop(L), 1);
  lua_pushnumber(L, 1);
  EXPECT_EQ(lua_dump(L, -1, Collect, &out), 1324);
}

TEST_F(Bytecode, WriterFailureStopsTheDump) {
  ASSERT_EQ(Load(Chunk(Sample())), 0);
  int calls = 0;
  auto failing = [](lua_State *, const void *, size_t, void *d) {
    int *c = (int *)d;
    return ++*c == 3 ? 1005 : 0;
  };
  EXPECT_EQ(lua_dump(L, -1, failing, &calls), 1005);
  EXPECT_EQ(calls, 3);
}

TEST_F(Bytecode, NestingLimit) {
  auto nest = [](int depth) {
    FnSpec f;
    f.maxstack = 1;
    f.code = {RET};
    for (int i = 0; i < depth; i++) {
      FnSpec outer;
      outer.maxstack = 1;
      outer.code = {RET};
      outer.p.push_back(f);
      f = outer;
    }
    return f;
  };
  EXPECT_EQ(Load(Chunk(nest(LUAU_MAXNESTING))), 0);
  lua_settop(L, 0);
  EXPECT_EQ(Load(Chunk(nest(LUAU_MAXNESTING + 1))), 1203);
}

// One malformed function per rule: (name, function, expected code).
struct Bad {
  const char *name;
  FnSpec f;
  int code;
};

FnSpec Fn(std::vector<Instruction> code, int maxstack = 4) {
  FnSpec f;
  f.maxstack = maxstack;
  f.code = std::move(code);
  return f;
}

std::vector<Bad> BadTable() {
  std::vector<Bad> t;
  FnSpec f;
  // ---- record fields ----
  f = Fn({RET});
  f.lineDefined = -1;
  t.push_back({"negative line defined", f, 1200});
  f = Fn({RET});
  f.locals = {{"x", -1, 1}};
  t.push_back({"negative local start", f, 1200});
  f = Fn({RET});
  f.locals = {{"x", 0, -5}};
  t.push_back({"negative local end", f, 1200});
  f = Fn({RET});
  f.locals = {{"", 0, 1}};
  t.push_back({"empty local name", f, 1200});
  f = Fn({RET});
  f.nups = 1;
  f.upnames = {""};
  t.push_back({"empty upvalue name", f, 1200});
  f = Fn({RET});
  f.nups = 1;
  f.upnames = {"a", "b"};
  t.push_back({"upvalue names differ from count", f, 1201});
  f = Fn({RET});
  f.k = {{5, 0, "", -1}};
  t.push_back({"constant type 5", f, 1202});
  f = Fn({RET});
  f.k = {{1, 0, "", -1}};
  t.push_back({"boolean constant", f, 1202});
  f = Fn({RET});
  f.k = {{4, 0, "", 0}};
  t.push_back({"empty string constant", f, 1202});
  f = Fn({RET});
  f.k = {{4, 0, "", 0x7fffffff}};
  t.push_back({"string longer than the stream", f, 1198});
  f = Fn({RET});
  f.k = {{4, 0, "", 0xfffffff0LL}};
  t.push_back({"string length near 4G", f, 1198});
  f = Fn({RET});
  f.autoLines = 0;
  f.lines = {1, 2};
  t.push_back({"line info count differs from code", f, 1203});
  // ---- checker ----
  t.push_back({"empty code", Fn({}), 1203});
  t.push_back({"maxstacksize above 250", Fn({RET}, 251), 1203});
  t.push_back({"last instruction not RETURN", Fn({ABC(OP_MOVE, 0, 1, 0)}), 1203});
  t.push_back({"code ends with JMP", Fn({RET, Jmp(-2)}), 1203});
  t.push_back({"opcode 43", Fn({ABC(43, 0, 0, 0), RET}), 1203});
  t.push_back({"opcode 63", Fn({ABC(63, 0, 0, 0), RET}), 1203});
  t.push_back({"A at maxstacksize", Fn({ABC(OP_LOADNIL, 4, 4, 0), RET}), 1203});
  t.push_back({"MOVE B register out of frame", Fn({ABC(OP_MOVE, 0, 4, 0), RET}), 1203});
  t.push_back({"LOADK constant out of range", Fn({ABx(OP_LOADK, 0, 0), RET}), 1203});
  t.push_back({"ADD RK register out of frame", Fn({ABC(OP_ADD, 0, 1, 249), RET}), 1203});
  t.push_back({"ADD RK constant out of range", Fn({ABC(OP_ADD, 0, 1, 250), RET}), 1203});
  t.push_back({"SETTABLE B constant out of range", Fn({ABC(OP_SETTABLE, 0, 251, 0), RET}), 1203});
  t.push_back({"GETTABLE B not a register", Fn({ABC(OP_GETTABLE, 0, 300, 0), RET}), 1203});
  t.push_back({"EQ not followed by JMP", Fn({ABC(OP_EQ, 0, 0, 1), ABC(OP_MOVE, 0, 0, 0), RET}), 1203});
  t.push_back({"TEST in the last two", Fn({ABC(OP_TEST, 0, 0, 0), RET}), 1203});
  t.push_back({"TFORLOOP without JMP", Fn({ABC(OP_TFORLOOP, 0, 0, 0), RET, RET}, 8), 1203});
  t.push_back({"LOADBOOL skip in the last two", Fn({ABC(OP_LOADBOOL, 0, 1, 1), RET}), 1203});
  t.push_back({"GETUPVAL beyond upvalues", Fn({ABC(OP_GETUPVAL, 0, 0, 0), RET}), 1203});
  t.push_back({"SETUPVAL beyond upvalues", Fn({ABC(OP_SETUPVAL, 0, 0, 0), RET}), 1203});
  f = Fn({ABx(OP_GETGLOBAL, 0, 0), RET});
  f.k = {Num(1)};
  t.push_back({"GETGLOBAL of a number constant", f, 1203});
  f = Fn({ABx(OP_SETGLOBAL, 0, 0), RET});
  f.k = {{0, 0, "", -1}};
  t.push_back({"SETGLOBAL of a nil constant", f, 1203});
  t.push_back({"CONCAT B not below C", Fn({ABC(OP_CONCAT, 0, 2, 2), RET}), 1203});
  f = Fn({ABC(OP_CONCAT, 0, 1, 250), RET});
  f.k = {Num(1)};
  t.push_back({"CONCAT C a constant", f, 1203});
  t.push_back({"JMP before the code", Fn({Jmp(-2), RET}), 1203});
  t.push_back({"JMP past the code", Fn({Jmp(1), RET}), 1203});
  t.push_back({"JMP far with Gosub flag", Fn({Jmp(5000000, 2), RET}), 1203});
  t.push_back({"CALL arguments out of frame", Fn({ABC(OP_CALL, 2, 3, 1), RET}), 1203});
  t.push_back({"CALL results out of frame", Fn({ABC(OP_CALL, 2, 1, 4), RET}), 1203});
  t.push_back({"open CALL not consumed", Fn({ABC(OP_CALL, 0, 1, 0), ABC(OP_MOVE, 0, 0, 0), RET}), 1203});
  t.push_back({"open CALL consumed by a higher CALL", Fn({ABC(OP_CALL, 0, 1, 0), ABC(OP_CALL, 1, 0, 1), RET}), 1203});
  t.push_back({"open CALL consumed by a higher RETURN", Fn({ABC(OP_CALL, 0, 1, 0), ABC(OP_RETURN, 1, 0, 0)}), 1203});
  t.push_back({"open CALL consumed by a higher SETLISTO", Fn({ABC(OP_CALL, 1, 1, 0), ABx(OP_SETLISTO, 2, 0), RET}), 1203});
  t.push_back({"TAILCALL open into a CALL with B", Fn({ABC(OP_TAILCALL, 1, 1, 0), ABC(OP_CALL, 0, 2, 1), RET}), 1203});
  t.push_back({"RETURN values out of frame", Fn({ABC(OP_RETURN, 2, 4, 0)}), 1203});
  t.push_back({"RETURN with C 2 out of frame", Fn({ABC(OP_RETURN, 2, 4, 2)}), 1203});
  t.push_back({"SETLIST beyond frame", Fn({ABx(OP_SETLIST, 1, 2), RET}), 1203});
  t.push_back({"CLOSURE without prototype", Fn({ABx(OP_CLOSURE, 0, 0), RET}), 1203});
  {
    FnSpec child = Fn({RET}, 1);
    child.nups = 2;
    f = Fn({ABx(OP_CLOSURE, 0, 0), RET});
    f.p = {child};
    t.push_back({"CLOSURE upvalues past the code", f, 1203});
    f = Fn({ABx(OP_CLOSURE, 0, 0), ABC(OP_MOVE, 0, 1, 0), ABC(OP_LOADNIL, 0, 0, 0), RET});
    f.p = {child};
    t.push_back({"CLOSURE pseudo-instruction not MOVE/GETUPVAL", f, 1203});
    f = Fn({ABx(OP_CLOSURE, 0, 0), ABC(OP_MOVE, 0, 1, 0), ABC(OP_MOVE, 0, 9, 0), RET});
    f.p = {child};
    t.push_back({"CLOSURE capture register out of frame", f, 1203});
    f = Fn({ABx(OP_CLOSURE, 0, 0), ABC(OP_MOVE, 0, 1, 0), ABC(OP_GETUPVAL, 0, 0, 0), RET});
    f.p = {child};
    t.push_back({"CLOSURE shares a missing upvalue", f, 1203});
  }
  t.push_back({"SELF A+1 out of frame", Fn({ABC(OP_SELF, 3, 0, 0), RET}), 1203});
  // ---- additions ----
  t.push_back({"FORLOOP target before the code", Fn({AsBx(OP_FORLOOP, 0, -2), RET}), 1203});
  t.push_back({"FORLOOP target past the code", Fn({AsBx(OP_FORLOOP, 0, 1), RET}), 1203});
  t.push_back({"TFORPREP target past the code", Fn({AsBx(OP_TFORPREP, 0, 100), RET}), 1203});
  t.push_back({"FORLOOP A+2 out of frame", Fn({AsBx(OP_FORLOOP, 2, -1), RET}), 1203});
  t.push_back({"TFORPREP A+1 out of frame", Fn({AsBx(OP_TFORPREP, 3, 0), RET}), 1203});
  t.push_back({"TFORLOOP A+C+5 out of frame", Fn({ABC(OP_TFORLOOP, 0, 0, 3), Jmp(0), RET}, 8), 1203});
  // C + 1 results arrive at A+C+3.. before they move down: A+2C+3 must lie in the frame
  t.push_back({"TFORLOOP results area out of frame", Fn({ABC(OP_TFORLOOP, 0, 0, 4), Jmp(0), RET}, 10), 1203});
  t.push_back({"RETURN with C 0 out of frame", Fn({ABC(OP_RETURN, 3, 3, 0)}), 1203});
  f = Fn({RET}, 2);
  f.params = 2;
  f.vararg = 1;
  t.push_back({"parameters and vararg table beyond frame", f, 1203});
  f = Fn({RET}, 2);
  f.params = 3;
  t.push_back({"parameters beyond frame", f, 1203});
  f = Fn({ABC(OP_MOVE, 0, 1, 0), RET}, 2);
  f.locals = {{"a", 0, 2}, {"b", 0, 2}, {"c", 1, 2}};
  t.push_back({"more active locals than registers", f, 1203});
  return t;
}

TEST_F(Bytecode, MalformedTable) {
  for (const Bad &b : BadTable()) {
    lua_settop(L, 0);
    EXPECT_EQ(Load(Chunk(b.f)), b.code) << b.name;
    // the same in big-endian order
    lua_settop(L, 0);
    EXPECT_EQ(Load(Chunk(b.f, 1)), b.code) << b.name << " (big-endian)";
  }
}

TEST_F(Bytecode, BoundaryCasesThatMustLoad) {
  std::vector<FnSpec> ok;
  ok.push_back(Fn({ABC(OP_RETURN, 0, 1, 1)}, 1));                     // Gosub return at the end
  ok.push_back(Fn({ABC(OP_TFORLOOP, 0, 0, 2), Jmp(0), RET}, 8));       // A+C+5 = 7 < 8
  ok.push_back(Fn({AsBx(OP_FORLOOP, 1, -1), RET}, 4));                 // target = itself
  ok.push_back(Fn({ABC(OP_CALL, 0, 1, 0), ABC(OP_RETURN, 0, 0, 0)}));  // open results returned
  ok.push_back(Fn({ABC(OP_CALL, 1, 1, 0), ABC(OP_CALL, 0, 0, 1), RET}));
  ok.push_back(Fn({ABC(OP_CALL, 2, 1, 0), ABx(OP_SETLISTO, 1, 0), RET}));
  ok.push_back(Fn({ABC(OP_RETURN, 1, 4, 0)}, 4));                      // R1..R3
  ok.push_back(Fn({Jmp(0, 2), Jmp(0, 3), RET}, 1));                    // flags 2 and 3
  FnSpec loc = Fn({ABC(OP_MOVE, 0, 1, 0), RET}, 2);
  loc.locals = {{"a", 0, 2}, {"b", 0, 1}, {"c", 1, 2}, {"d", 5, 900}};  // at most 2 at a time
  ok.push_back(loc);
  FnSpec p = Fn({RET}, 3);
  p.params = 2;
  p.vararg = 1;
  ok.push_back(p);
  for (size_t i = 0; i < ok.size(); i++) {
    lua_settop(L, 0);
    std::vector<uint8_t> b = Chunk(ok[i]);
    ASSERT_EQ(Load(b), 0) << "case " << i;
    EXPECT_EQ(DumpTop(), b) << "case " << i;
  }
}

TEST_F(Bytecode, CountsBeyondTheStream) {
  std::vector<uint8_t> good = Chunk(Fn({RET}, 1));
  // offsets of the counts in a record with source "t.kvs" (4 + 6 bytes) after the 21-byte header
  const size_t rec = 21;
  const size_t lineCount = rec + 10 + 4 + 4;
  struct {
    const char *name;
    size_t at;
  } counts[] = {{"line info", lineCount},
                {"locals", lineCount + 8},
                {"constants", lineCount + 16},
                {"prototypes", lineCount + 20},
                {"code", lineCount + 24}};
  for (auto &c : counts) {
    for (uint32_t v : {0x7fffffffu, 0x40000000u, 1000u}) {
      std::vector<uint8_t> b = good;
      memcpy(&b[c.at], &v, 4);
      lua_settop(L, 0);
      EXPECT_EQ(Load(b), 1198) << c.name << " " << v;
    }
    std::vector<uint8_t> b = good;
    uint32_t neg = 0x80000000u;
    memcpy(&b[c.at], &neg, 4);
    lua_settop(L, 0);
    EXPECT_EQ(Load(b), 1200) << c.name << " negative";
  }
  // the upvalue-name count with zero upvalues is a count mismatch
  std::vector<uint8_t> b = good;
  uint32_t v = 0x7fffffffu;
  memcpy(&b[lineCount + 12], &v, 4);
  EXPECT_EQ(Load(b), 1201);
}

TEST_F(Bytecode, CheckerFindsTheSettingInstruction) {
  FnSpec f = Sample();
  ASSERT_EQ(Load(Chunk(f)), 0);
  const Proto *p = TopProto();
  // register 1 was last set by the GETGLOBAL at index 1 before index 3
  EXPECT_EQ(luaG_symbexec(p, 3, 1), p->code[1]);
  // register 3 is set by the CALL (every register from A up)
  EXPECT_EQ(luaG_symbexec(p, 8, 3), p->code[7]);
}

}  // namespace

namespace {

// Every allocation of a load may fail: the load then returns 1000, leaves the stack as it was
// and the state stays usable (the sanitizer build checks that nothing leaks).
TEST_F(Bytecode, AllocationFailuresDuringLoad) {
  std::vector<uint8_t> good = Chunk(Sample());
  int failures = 0;
  for (long n = 0; n < 10000; n++) {
    lua_settop(L, 0);
    luaM_failafter = n;
    int code = Load(good, 5);
    luaM_failafter = -1;
    if (code == 0) break;
    ASSERT_EQ(code, 1000) << "failing allocation " << n;
    failures++;
  }
  EXPECT_GT(failures, 5);
  lua_settop(L, 0);
  ASSERT_EQ(Load(good), 0);
  EXPECT_EQ(DumpTop(), good);
}

}  // namespace

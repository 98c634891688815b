// Fuzz target of the bytecode loader and its code checker.
//
// First input byte:
//   0x00-0x3f  the rest is a chunk, handed to lua_load in one block;
//   0x80-0xff  the same in blocks of (byte & 0x7f) + 1 bytes;
//   0x40-0x7f  the rest is the body of a main function inside a fixed valid chunk: four
//              bytes (maxstacksize, parameters, vararg flag, upvalue counts) and then raw
//              instruction words, so that most inputs reach the checker's rules.
// A chunk that loads must dump to bytes that load again and dump identically, and it is run
// (with a count hook that ends it after a few hundred instructions or 16 MB): code that passed the
// checker must never make the interpreter leave its frame, constants, upvalues or code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/vm/api.h"
#include "runtime/vm/bytecode.h"
#include "runtime/vm/interpwords.h"

namespace {

struct Reader {
  const uint8_t *p;
  size_t n;
  size_t step;
};

const char *ReadBlocks(lua_State *, void *data, size_t *size) {
  Reader *r = (Reader *)data;
  if (r->n == 0) return nullptr;
  size_t m = r->n < r->step ? r->n : r->step;
  const char *p = (const char *)r->p;
  r->p += m;
  r->n -= m;
  *size = m;
  return p;
}

int Collect(lua_State *, const void *p, size_t n, void *data) {
  auto *v = (std::vector<uint8_t> *)data;
  v->insert(v->end(), (const uint8_t *)p, (const uint8_t *)p + n);
  return 0;
}

// Runs end after 300 instructions or when the runtime holds more than 16 MB (a string that
// doubles in a loop), so that the fuzzer measures faults and not memory exhaustion.
int HookCalls;
void StopHook(lua_State *L, lua_Debug *) {
  if (++HookCalls > 30 || G(L)->nblocks > ((lu_mem)16 << 20)) lua_error(L, 1003);
}

// Tables of up to 2^24 slots are legal; such sizes are not run here.
int SmallTables(const Proto *f) {
  for (int pc = 0; pc < f->sizecode; pc++) {
    Instruction i = f->code[pc];
    if (GET_OPCODE(i) != OP_NEWTABLE) continue;
    int b = GETARG_B(i), c = GETARG_C(i);
    if (((uint64_t)(b & 7) << ((b >> 3) & 63)) > 4096 || c > 12) return 0;
  }
  for (int k = 0; k < f->sizep; k++)
    if (!SmallTables(f->p[k])) return 0;
  return 1;
}

void U32(std::string &b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back((char)(v >> (8 * i)));
}
void Str(std::string &b, const char *s) {
  U32(b, (uint32_t)strlen(s) + 1);
  b.append(s, strlen(s) + 1);
}

// A function record with three constants (a number, the string "next", nil, the string "x")
// and, for the main function, one nested function with `childNups` upvalues.
void Function(std::string &b, int nups, int params, int vararg, int maxstack, const uint32_t *code, size_t n,
              int withChild, int childNups) {
  Str(b, "fuzz");
  U32(b, 0);
  b.push_back((char)nups);
  b.push_back((char)params);
  b.push_back((char)vararg);
  b.push_back((char)maxstack);
  U32(b, 0);  // line information
  U32(b, 0);  // locals
  U32(b, 0);  // upvalue names
  U32(b, 4);
  b.push_back(3);
  double d = 2.5;
  b.append((const char *)&d, 8);
  b.push_back(4);
  Str(b, "next");
  b.push_back(0);
  b.push_back(4);
  Str(b, "x");
  if (withChild) {
    U32(b, 1);
    const uint32_t body[2] = {CREATE_ABC(OP_GETUPVAL, 0, 0, 0), CREATE_ABC(OP_RETURN, 0, 2, 0)};
    Function(b, childNups, 1, 0, 3, childNups ? body : body + 1, childNups ? 2 : 1, 0, 0);
  } else {
    U32(b, 0);
  }
  U32(b, (uint32_t)n);
  b.append((const char *)code, n * 4);
}

std::string StructuredChunk(const uint8_t *data, size_t size) {
  std::string b("\x1bKVB\x01\x04\x04\x04\x06\x08\x09\x09\x08", 13);
  double t = 31415926.535897933;
  b.append((const char *)&t, 8);
  if (size < 4) return b;
  size_t n = (size - 4) / 4;
  if (n > 256) n = 256;
  std::vector<uint32_t> code(n);
  if (n) memcpy(code.data(), data + 4, n * 4);
  Function(b, data[3] & 3, data[1] & 7, data[2] & 1, data[0], code.data(), n, 1, data[3] >> 6);
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  int mode = data[0];
  std::string built;
  Reader r = {data + 1, size - 1, (size_t)1 << 30};
  if (mode & 0x80) {
    r.step = (size_t)(mode & 0x7f) + 1;
  } else if (mode & 0x40) {
    built = StructuredChunk(data + 1, size - 1);
    r.p = (const uint8_t *)built.data();
    r.n = built.size();
  }
  lua_State *L = lua_open();
  if (!L) return 0;
  if (lua_load(L, ReadBlocks, &r, "fuzz") == 0) {
    const Proto *f = clvalue(L->top - 1)->l.p;
    // the debug-name search runs over any checked code
    for (int reg = 0; reg < f->maxstacksize; reg++) (void)luaG_symbexec(f, f->sizecode, reg);
    std::vector<uint8_t> first, second;
    if (lua_dump(L, -1, Collect, &first) != 0) abort();
    Reader again = {first.data(), first.size(), (size_t)1 << 30};
    if (lua_load(L, ReadBlocks, &again, "fuzz") != 0) abort();
    if (lua_dump(L, -1, Collect, &second) != 0) abort();
    if (first != second) abort();
    lua_settop(L, 1);
    if (!SmallTables(clvalue(L->top - 1)->l.p)) {
      lua_close(L);
      return 0;
    }
    HookCalls = 0;
    StopFlag = 0;
    lua_sethook(L, StopHook, LUA_MASKCOUNT, 10);
    lua_pushnumber(L, 1);
    lua_pushstring(L, "a");
    lua_newtable(L);
    lua_pcall(L, 3, 0, 0);
    StopFlag = 0;
  }
  lua_close(L);
  return 0;
}

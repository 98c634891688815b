// Fuzz target of the bytecode loader: any bytes through lua_load, handed over in blocks of a
// size taken from the first input byte. A chunk that loads must dump to bytes that load again
// and dump identically.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/vm/api.h"
#include "runtime/vm/bytecode.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  size_t step = data[0] & 0x80 ? (size_t)(data[0] & 0x7f) + 1 : (size_t)1 << 30;
  lua_State *L = lua_open();
  if (!L) return 0;
  Reader r = {data + 1, size - 1, step};
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
  }
  lua_close(L);
  return 0;
}

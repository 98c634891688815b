// Fixture of the interpreter, call and API tests: a fresh state with the process-wide words
// reset, assembling of kvasm fixtures, and script functions built from raw instruction words
// (which bypass the loader's code checker on purpose).
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/calls.h"
#include "runtime/vm/func.h"
#include "runtime/vm/gosub.h"
#include "runtime/vm/interpwords.h"
#include "runtime/vm/opcodes.h"
#include "runtime/vm/state.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/vmmemory.h"

#ifdef KV_VM_FIXTURE_KVASM
#include "tools/kvasm/kvasm_lib.h"
#endif

struct VmTest : ::testing::Test {
  lua_State *L = nullptr;

  static void ResetWords() {
    StopFlag = 0;
    LastErrorCode = 0;
    ErrorLine = -1;
    CallTraceFlag = 0;
    JumpOffset = 0;
    GosubCount = 0;
    RuntimeSettings.exitOnError = 1;
    RuntimeSettings.callbackNesting = 0;
  }

  void SetUp() override {
    ResetWords();
    L = lua_open();
    ASSERT_NE(L, nullptr);
  }
  void TearDown() override {
    if (L != nullptr) lua_close(L);
    ResetWords();
  }

  // Registers a native function as a lower-case global.
  void Register(const char *name, lua_CFunction f) {
    lua_pushstring(L, name);
    lua_pushcfunction(L, f);
    lua_settable(L, LUA_GLOBALSINDEX);
  }

  // Pushes a script closure over raw code (no checker); constants are numbers or strings.
  struct K {
    int isString;
    double n;
    const char *s;
  };
  void PushRaw(const std::vector<Instruction> &code, int maxstack, const std::vector<K> &k = {},
               int numparams = 0, int vararg = 0) {
    Proto *p = luaF_newproto(L);
    // anchor the prototype through a closure before anything else is allocated
    Closure *cl = luaF_newLclosure(L, 0, gt(L));
    cl->l.p = p;
    setclvalue(L->top, cl);
    L->top++;
    p->code = luaM_newvector(L, code.size(), Instruction);
    p->sizecode = (int)code.size();
    memcpy(p->code, code.data(), code.size() * sizeof(Instruction));
    p->k = luaM_newvector(L, k.size(), TObject);
    for (size_t i = 0; i < k.size(); i++) setnilvalue(&p->k[i]);
    p->sizek = (int)k.size();
    for (size_t i = 0; i < k.size(); i++) {
      if (k[i].isString)
        setsvalue(&p->k[i], luaS_new(L, k[i].s));
      else
        setnvalue(&p->k[i], k[i].n);
    }
    p->maxstacksize = (lu_byte)maxstack;
    p->numparams = (lu_byte)numparams;
    p->is_vararg = (lu_byte)vararg;
    p->source = luaS_new(L, "=raw");
  }

#ifdef KV_VM_FIXTURE_KVASM
  // Assembles kvasm text and pushes its main function; returns the load code (0 on success).
  // The main function's labels go to the label registry.
  int Load(const std::string &text) {
    AsmProgram prog;
    std::string err;
    std::vector<uint8_t> bc;
    if (AsmParse(text, "fixture.kvs", &prog, &err) || AsmBuildBytecode(&prog, &bc, &err)) {
      ADD_FAILURE() << err;
      AsmFree(&prog);
      return -1;
    }
    for (const AsmLabel &l : prog.main->labels) AddLabel(L, l.name.c_str(), l.pc);
    AsmFree(&prog);
    struct R {
      std::vector<uint8_t> *b;
      int done;
    } r{&bc, 0};
    return lua_load(
        L,
        [](lua_State *, void *ud, size_t *size) -> const char * {
          R *rr = (R *)ud;
          if (rr->done) {
            *size = 0;
            return nullptr;
          }
          rr->done = 1;
          *size = rr->b->size();
          return (const char *)rr->b->data();
        },
        &r, "=fixture");
  }
#endif
};

// Fixture of the virtual-machine core tests: a fresh interpreter state, raw
// value helpers and a protected runner that returns the raised error code.
#pragma once
#include <gtest/gtest.h>

#include <functional>

#include "runtime/vm/calls.h"
#include "runtime/vm/func.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/state.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/tagmethods.h"
#include "runtime/vm/values.h"
#include "runtime/vm/vmmemory.h"

struct VmCoreTest : ::testing::Test {
  lua_State *L = nullptr;

  void SetUp() override {
    luaM_failafter = -1;
    L = lua_open();
    ASSERT_NE(L, nullptr);
  }
  void TearDown() override {
    luaM_failafter = -1;
    if (L != nullptr) lua_close(L);
  }

  // Runs fn in a protected call; returns 0 or the raised code.
  int Protected(const std::function<void()> &fn) {
    struct Box {
      const std::function<void()> *fn;
    } box{&fn};
    return luaD_pcall(
        L, [](lua_State *, void *ud) { (*static_cast<Box *>(ud)->fn)(); }, &box, savestack(L, L->top), 0);
  }

  // Value makers.
  static TObject Nil() {
    TObject o;
    setnilvalue(&o);
    return o;
  }
  static TObject Num(double d) {
    TObject o;
    setnvalue(&o, d);
    return o;
  }
  static TObject Bool(int b) {
    TObject o;
    setbvalue(&o, b);
    return o;
  }
  TObject Str(const char *s, size_t len) {
    TObject o;
    setsvalue(&o, luaS_newlstr(L, s, len));
    return o;
  }
  TObject Str(const char *s) { return Str(s, strlen(s)); }
  static TObject Tab(Table *t) {
    TObject o;
    sethvalue(&o, t);
    return o;
  }

  // Pushes a value on the stack (keeps it reachable for the collector).
  StkId Push(const TObject &o) {
    luaD_checkstack(L, 1);
    setobj(L->top, &o);
    return L->top++;
  }
  // New table anchored on the stack.
  Table *NewTable(int narray = 0, int lnhash = 0) {
    Table *t = luaH_new(L, narray, lnhash);
    Push(Tab(t));
    return t;
  }
  void SetField(Table *t, const TObject &key, const TObject &val) {
    TObject *slot = luaH_set(L, t, &key);
    setobj(slot, &val);
  }
  void SetField(Table *t, const char *key, const TObject &val) { SetField(t, Str(key), val); }
  // Native function value.
  TObject CFunc(lua_CFunction f) {
    Closure *c = luaF_newCclosure(L, 0);
    c->c.f = f;
    TObject o;
    setclvalue(&o, c);
    return o;
  }
  // Number of entries a traversal visits.
  int Count(Table *t) {
    int n = 0;
    Push(Nil());
    Push(Nil());
    StkId key = L->top - 2;
    while (luaH_next(L, t, key)) n++;
    L->top -= 2;
    return n;
  }
};

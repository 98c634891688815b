// The Gosub stack (interpwords.h) and the label registry.
#pragma once
#include "runtime/vm/state.h"
#include "runtime/vm/interpwords.h"

// Pushes a return address for the running frame of L; raises 1066 when the stack is full.
void luaG_gosubpush(lua_State *L, const Instruction *pc);
// Pops the running frame's top entry; raises 1040 when the frame has none.
const Instruction *luaG_gosubpop(lua_State *L);
// Drops the entries of L's frames at or above call-record index `level`.
void luaG_gosubdrop(lua_State *L, int level);
#define luaG_gosubdropci(L, ci)                                                        \
  do {                                                                                  \
    if (GosubCount > 0) luaG_gosubdrop(L, (int)((ci) - (L)->base_ci));                 \
  } while (0)

// Label registry (registry["labels"]): returns the zero-based instruction index of the
// label, -1 when the registry or the label is missing. Names are looked up in lower case.
int FindLabel(lua_State *L, const char *name);
void AddLabel(lua_State *L, const char *name, int index);
void AddLabelRef(lua_State *L, const char *name, int pc);

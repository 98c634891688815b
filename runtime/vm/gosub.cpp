// The Gosub stack and the label registry.
#include "runtime/vm/gosub.h"

#include <cctype>
#include <cstring>

#include "runtime/vm/api.h"
#include "runtime/vm/debug.h"

GosubEntry GosubStack[GOSUB_STACK_SIZE];
int GosubCount = 0;

void luaG_gosubpush(lua_State *L, const Instruction *pc)
{
  if (GosubCount >= GOSUB_STACK_SIZE) luaG_runerror(L, 1066);
  GosubEntry *e = &GosubStack[GosubCount++];
  e->pc = pc;
  e->L = L;
  e->level = (int)(L->ci - L->base_ci);
}

const Instruction *luaG_gosubpop(lua_State *L)
{
  if (GosubCount == 0) luaG_runerror(L, 1040);
  GosubEntry *e = &GosubStack[GosubCount - 1];
  // Only the running frame's own entries may be popped: a Return never continues in the
  // code of another function.
  if (e->L != L || e->level != (int)(L->ci - L->base_ci)) luaG_runerror(L, 1040);
  GosubCount--;
  return e->pc;
}

void luaG_gosubdrop(lua_State *L, int level)
{
  while (GosubCount > 0) {
    GosubEntry *e = &GosubStack[GosubCount - 1];
    if (e->L != L || e->level < level) break;
    GosubCount--;
  }
}

// ---- label registry ----

#define LABEL_NAME_SIZE 140

static void lowercopy(char *dst, const char *src, size_t size)
{
  size_t i = 0;
  for (; src[i] && i + 1 < size; i++) dst[i] = (char)tolower((unsigned char)src[i]);
  dst[i] = 0;
}

int FindLabel(lua_State *L, const char *name)
{
  // Names longer than the buffer cannot be registered labels (the applet reader limits
  // them), so they are not found rather than cut to a shorter, different name.
  if (name == nullptr || strlen(name) >= LABEL_NAME_SIZE) return -1;
  char buf[LABEL_NAME_SIZE];
  lowercopy(buf, name, sizeof(buf));
  int top = lua_gettop(L);
  int result = -1;
  lua_pushstringnogc(L, "labels");
  lua_rawget(L, LUA_REGISTRYINDEX);
  if (lua_type(L, -1) == LUA_TTABLE) {
    lua_pushstring(L, buf);
    lua_rawget(L, -2);
    if (lua_type(L, -1) == LUA_TNUMBER) result = (int)lua_tonumber(L, -1);
  }
  lua_settop(L, top);
  return result;
}

static void pushlabeltable(lua_State *L, const char *key, int withCount)
{
  lua_pushstringnogc(L, key);
  lua_rawget(L, LUA_REGISTRYINDEX);
  if (lua_type(L, -1) != LUA_TTABLE) {
    lua_pop(L, 1);
    lua_newtable(L);
    if (withCount) {
      lua_pushstring(L, "n");
      lua_pushnumber(L, 0);
      lua_rawset(L, -3);
    }
    lua_pushstring(L, key);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
  }
}

void AddLabel(lua_State *L, const char *name, int index)
{
  char buf[LABEL_NAME_SIZE];
  lowercopy(buf, name, sizeof(buf));
  pushlabeltable(L, "labels", 0);
  lua_pushstring(L, buf);
  lua_pushnumber(L, index);
  lua_rawset(L, -3);
  lua_pop(L, 1);
}

void AddLabelRef(lua_State *L, const char *name, int pc)
{
  char buf[LABEL_NAME_SIZE];
  lowercopy(buf, name, sizeof(buf));
  pushlabeltable(L, "labelrefs", 1);
  lua_pushstring(L, "n");
  lua_rawget(L, -2);
  int n = (int)lua_tonumber(L, -1);
  lua_pop(L, 1);
  lua_newtable(L);
  lua_pushstring(L, "name");
  lua_pushstring(L, buf);
  lua_rawset(L, -3);
  lua_pushstring(L, "pc");
  lua_pushnumber(L, pc);
  lua_rawset(L, -3);
  lua_rawseti(L, -2, n);
  lua_pushstring(L, "n");
  lua_pushnumber(L, n + 1);
  lua_rawset(L, -3);
  lua_pop(L, 1);
}

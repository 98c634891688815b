// Auxiliary library: argument readers, registry access, library and constant registration,
// references, table sizes and string buffers.
#include "runtime/vm/auxlib.h"

#include <cctype>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/debug.h"
#include "runtime/vm/values.h"

#define FREELIST_REF 1   // t[1]: head of the free list of references
#define ARRAYSIZE_REF 2  // registry[2]: the table of table sizes
#define RESERVED_REFS 2

static int absindex(lua_State *L, int i)
{
  return (i < 0 && i > LUA_REGISTRYINDEX) ? lua_gettop(L) + i + 1 : i;
}

// Pushes name lower-cased (without a collection step).
static void pushlower(lua_State *L, const char *name)
{
  char small[256];
  size_t len = strlen(name);
  char *buf = small;
  if (len >= sizeof(small)) {
    buf = (char *)MemAlloc(len + 1, 0);
    if (buf == nullptr) luaG_runerror(L, 1000);
  }
  for (size_t i = 0; i < len; i++) buf[i] = (char)tolower((unsigned char)name[i]);
  buf[len] = 0;
  lua_pushstringnogc(L, buf);
  if (buf != small) MemFree(buf);
}

// ---- registry access ----

static void getreg(lua_State *L, const char *key)
{
  lua_pushstringnogc(L, key);
  lua_rawget(L, LUA_REGISTRYINDEX);
}

void *luaL_getregpointer(lua_State *L, const char *key)
{
  getreg(L, key);
  void *p = lua_islightuserdata(L, -1) ? lua_touserdata(L, -1) : nullptr;
  lua_pop(L, 1);
  return p;
}

const char *luaL_getregstring(lua_State *L, const char *key)
{
  getreg(L, key);
  const char *s = (lua_type(L, -1) == LUA_TSTRING) ? lua_tostring(L, -1) : nullptr;
  lua_pop(L, 1);  // the registry keeps the string alive
  return s;
}

lua_Number luaL_getregnumber(lua_State *L, const char *key)
{
  getreg(L, key);
  lua_Number n = (lua_type(L, -1) == LUA_TNUMBER) ? lua_tonumber(L, -1) : 0;
  lua_pop(L, 1);
  return n;
}

void luaL_setregpointer(lua_State *L, const char *key, void *p)
{
  lua_pushstringnogc(L, key);
  lua_pushlightuserdata(L, p);
  lua_rawset(L, LUA_REGISTRYINDEX);
}

void luaL_setregstring(lua_State *L, const char *key, const char *s)
{
  lua_pushstringnogc(L, key);
  lua_pushstring(L, s);
  lua_rawset(L, LUA_REGISTRYINDEX);
}

void luaL_setregnumber(lua_State *L, const char *key, lua_Number n)
{
  lua_pushstringnogc(L, key);
  lua_pushnumber(L, n);
  lua_rawset(L, LUA_REGISTRYINDEX);
}

// ---- argument readers ----

[[noreturn]] static void argerror(lua_State *L, int narg, int code)
{
  SetErrorNumber(narg);
  luaG_runerror(L, code);
}

[[noreturn]] static void fielderror(lua_State *L, const char *field, int code)
{
  SetErrorString(field);
  luaG_runerror(L, code);
}

// 1 and the number when the value is a number or a string that converts.
static int getnumber(lua_State *L, int idx, lua_Number *out)
{
  int t = lua_type(L, idx);
  if (t == LUA_TNUMBER) {
    *out = lua_tonumber(L, idx);
    return 1;
  }
  if (t == LUA_TSTRING) {
    lua_Number n;
    if (luaO_str2d(lua_tostring(L, idx), &n)) {
      *out = n;
      return 1;
    }
  }
  return 0;
}

void luaL_checktable(lua_State *L, int narg)
{
  if (lua_type(L, narg) != LUA_TTABLE) argerror(L, narg, 1140);
}

void luaL_checkfunction(lua_State *L, int narg)
{
  if (lua_type(L, narg) != LUA_TFUNCTION) argerror(L, narg, 1185);
}

const char *luaL_checklstring(lua_State *L, int narg, size_t *len)
{
  int t = lua_type(L, narg);
  if (t != LUA_TSTRING && t != LUA_TNUMBER) argerror(L, narg, 1139);
  const char *s = lua_tostring(L, narg);
  if (len) *len = lua_strlen(L, narg);
  return s;
}

const char *luaL_optlstring(lua_State *L, int narg, const char *def, size_t *len)
{
  if (lua_type(L, narg) == LUA_TNONE) {
    if (len) *len = def ? strlen(def) : 0;
    return def;
  }
  return luaL_checklstring(L, narg, len);
}

const char *luaL_checknamedlstring(lua_State *L, int idx, const char *field, size_t *len)
{
  int t = lua_type(L, idx);
  if (t != LUA_TSTRING && t != LUA_TNUMBER) fielderror(L, field, 1247);
  const char *s = lua_tostring(L, idx);
  if (len) *len = lua_strlen(L, idx);
  return s;
}

lua_Number luaL_checknumber(lua_State *L, int narg)
{
  lua_Number n;
  if (!getnumber(L, narg, &n)) argerror(L, narg, 1138);
  return n;
}

lua_Number luaL_optnumber(lua_State *L, int narg, lua_Number def)
{
  if (lua_type(L, narg) == LUA_TNONE) return def;
  return luaL_checknumber(L, narg);
}

lua_Number luaL_checknamednumber(lua_State *L, int idx, const char *field)
{
  lua_Number n;
  if (!getnumber(L, idx, &n)) fielderror(L, field, 1189);
  return n;
}

int luaL_numbertoword(lua_Number n) { return (int)luaO_toword32(n); }

int luaL_checkinteger(lua_State *L, int narg) { return luaL_numbertoword(luaL_checknumber(L, narg)); }

int luaL_optinteger(lua_State *L, int narg, int def)
{
  if (lua_type(L, narg) == LUA_TNONE) return def;
  return luaL_checkinteger(L, narg);
}

int luaL_checknamedinteger(lua_State *L, int idx, const char *field)
{
  return luaL_numbertoword(luaL_checknamednumber(L, idx, field));
}

lua_Number luaL_getnumberresult(lua_State *L, int idx, int *code)
{
  lua_Number n;
  if (!getnumber(L, idx, &n)) {
    if (code) *code = 1190;
    return 0;
  }
  if (code) *code = 0;
  return n;
}

// ---- libraries and constants ----

void luaL_openlib(lua_State *L, const char *libname, const luaL_reg *l, int nup)
{
  if (libname) {
    lua_pushstring(L, libname);
    lua_gettable(L, LUA_GLOBALSINDEX);
    if (lua_isnil(L, -1)) {
      lua_pop(L, 1);
      lua_newtable(L);
      lua_pushstring(L, libname);
      lua_pushvalue(L, -2);
      lua_settable(L, LUA_GLOBALSINDEX);
    }
    lua_insert(L, -(nup + 1));  // library table below the upvalues
  }
  for (; l->name; l++) {
    pushlower(L, l->name);
    for (int i = 0; i < nup; i++) lua_pushvalue(L, -(nup + 1));
    lua_pushcclosure(L, l->func, nup);
    lua_settable(L, -(nup + 3));
  }
  lua_pop(L, nup);
}

static void pushconstants(lua_State *L)
{
  lua_pushstringnogc(L, "constants");
  lua_rawget(L, LUA_REGISTRYINDEX);
}

void luaL_registerconstants(lua_State *L, const luaL_Constant *defs)
{
  pushconstants(L);
  if (!lua_istable(L, -1)) {
    lua_pop(L, 1);
    lua_newtablenogc(L);
    lua_pushstringnogc(L, "constants");
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
  }
  for (; defs->name; defs++) {
    pushlower(L, defs->name);
    if (defs->str)
      lua_pushstringnogc(L, defs->str);
    else
      lua_pushnumber(L, defs->num);
    lua_rawset(L, -3);
  }
  lua_pop(L, 1);
}

int luaL_getconstant(lua_State *L, const char *name, const char **str, lua_Number *num)
{
  pushconstants(L);
  if (!lua_istable(L, -1)) {
    lua_pop(L, 1);
    return 0;
  }
  pushlower(L, name);
  lua_rawget(L, -2);
  int found = 1;
  switch (lua_type(L, -1)) {
    case LUA_TNIL:
      found = 0;
      break;
    case LUA_TNUMBER:
      if (num) {
        *num = lua_tonumber(L, -1);
        if (str) *str = nullptr;
      }
      break;
    case LUA_TSTRING:
      if (str) *str = lua_tostring(L, -1);  // kept alive by the constant table
      break;
    default:
      break;
  }
  lua_pop(L, 2);
  return found;
}

int luaL_getmetafield(lua_State *L, int obj, const char *field)
{
  if (!lua_getmetatable(L, obj)) return 0;
  lua_pushstring(L, field);
  lua_rawget(L, -2);
  if (lua_isnil(L, -1)) {
    lua_pop(L, 2);
    return 0;
  }
  lua_remove(L, -2);
  return 1;
}

int luaL_callmeta(lua_State *L, int obj, const char *field)
{
  obj = absindex(L, obj);
  if (!luaL_getmetafield(L, obj, field)) return 0;
  lua_pushvalue(L, obj);
  lua_call(L, 1, 1);
  return 1;
}

// ---- table sizes ----

static void getsizes(lua_State *L)
{
  lua_rawgeti(L, LUA_REGISTRYINDEX, ARRAYSIZE_REF);
  if (lua_isnil(L, -1)) {
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setmetatable(L, -2);  // its own metatable, with weak keys
    lua_pushstring(L, "__mode");
    lua_pushstring(L, "k");
    lua_rawset(L, -3);
    lua_pushvalue(L, -1);
    lua_rawseti(L, LUA_REGISTRYINDEX, ARRAYSIZE_REF);
  }
}

void luaL_setn(lua_State *L, int t, int n)
{
  t = absindex(L, t);
  lua_pushstring(L, "n");
  lua_rawget(L, t);
  int hasn = (lua_type(L, -1) == LUA_TNUMBER);
  lua_pop(L, 1);
  if (hasn) {
    lua_pushstring(L, "n");
    lua_pushnumber(L, n);
    lua_rawset(L, t);
  } else {
    getsizes(L);
    lua_pushvalue(L, t);
    lua_pushnumber(L, n);
    lua_rawset(L, -3);
    lua_pop(L, 1);
  }
}

int luaL_getn(lua_State *L, int t)
{
  t = absindex(L, t);
  lua_pushstring(L, "n");
  lua_rawget(L, t);
  if (lua_type(L, -1) == LUA_TNUMBER) {
    int n = (int)lua_tonumber(L, -1);
    lua_pop(L, 1);
    return n;
  }
  lua_pop(L, 1);
  getsizes(L);
  lua_pushvalue(L, t);
  lua_rawget(L, -2);
  if (lua_type(L, -1) == LUA_TNUMBER) {
    int n = (int)lua_tonumber(L, -1);
    lua_pop(L, 2);
    return n;
  }
  lua_pop(L, 2);
  int n = 0;
  for (;; n++) {
    lua_rawgeti(L, t, n + 1);
    int nil = lua_isnil(L, -1);
    lua_pop(L, 1);
    if (nil) break;
  }
  return n;
}

// ---- references ----

int luaL_ref(lua_State *L, int t)
{
  t = absindex(L, t);
  if (lua_isnil(L, -1)) {
    lua_pop(L, 1);
    return LUA_REFNIL;
  }
  lua_rawgeti(L, t, FREELIST_REF);
  int ref = (int)lua_tonumber(L, -1);
  lua_pop(L, 1);
  if (ref != 0) {
    lua_rawgeti(L, t, ref);
    lua_rawseti(L, t, FREELIST_REF);
  } else {
    ref = luaL_getn(L, t);
    if (ref < RESERVED_REFS) ref = RESERVED_REFS;
    ref++;
    luaL_setn(L, t, ref);
  }
  lua_rawseti(L, t, ref);
  return ref;
}

void luaL_unref(lua_State *L, int t, int ref)
{
  if (ref >= 0) {
    t = absindex(L, t);
    lua_rawgeti(L, t, FREELIST_REF);
    lua_rawseti(L, t, ref);
    lua_pushnumber(L, ref);
    lua_rawseti(L, t, FREELIST_REF);
  }
}

// ---- string buffers ----

#define bufflen(B) ((size_t)((B)->p - (B)->buffer))
#define bufffree(B) ((size_t)(LUAL_BUFFERSIZE - bufflen(B)))
#define LIMIT (LUA_MINSTACK / 2)

static int emptybuffer(luaL_Buffer *B)
{
  size_t l = bufflen(B);
  if (l == 0) return 0;
  lua_pushlstring(B->L, B->buffer, l);
  B->p = B->buffer;
  B->lvl++;
  return 1;
}

static void adjuststack(luaL_Buffer *B)
{
  if (B->lvl > 1) {
    lua_State *L = B->L;
    int toget = 1;  // pieces to merge
    size_t toplen = lua_strlen(L, -1);
    do {
      size_t l = lua_strlen(L, -(toget + 1));
      if (B->lvl - toget + 1 >= LIMIT || toplen > l) {
        toplen += l;
        toget++;
      } else
        break;
    } while (toget < B->lvl);
    lua_concat(L, toget);
    B->lvl = B->lvl - toget + 1;
  }
}

char *luaL_prepbuffer(luaL_Buffer *B)
{
  if (emptybuffer(B)) adjuststack(B);
  return B->buffer;
}

void luaL_addlstring(luaL_Buffer *B, const char *s, size_t l)
{
  while (l > 0) {
    size_t n = bufffree(B);
    if (n == 0) {
      luaL_prepbuffer(B);
      n = bufffree(B);
    }
    if (n > l) n = l;
    memcpy(B->p, s, n);
    B->p += n;
    s += n;
    l -= n;
  }
}

void luaL_addstring(luaL_Buffer *B, const char *s) { luaL_addlstring(B, s, strlen(s)); }

void luaL_pushresult(luaL_Buffer *B)
{
  emptybuffer(B);
  lua_concat(B->L, B->lvl);
  B->lvl = 1;
}

void luaL_addvalue(luaL_Buffer *B)
{
  lua_State *L = B->L;
  size_t vl = lua_strlen(L, -1);
  if (vl <= bufffree(B)) {
    memcpy(B->p, lua_tostring(L, -1), vl);
    B->p += vl;
    lua_pop(L, 1);
  } else {
    if (emptybuffer(B)) lua_insert(L, -2);  // the value stays on top
    B->lvl++;
    adjuststack(B);
  }
}

void luaL_buffinit(lua_State *L, luaL_Buffer *B)
{
  B->L = L;
  B->p = B->buffer;
  B->lvl = 0;
}

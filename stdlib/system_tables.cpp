// System-library commands on values and tables: type tests, lists (items under the keys
// 0, 1, 2, ...; the length is the number of items before the first nil), sorting, copying,
// raw access, metatables and traversal.
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/values.h"
#include "stdlib/system.h"

enum {
    ERR_WRONGTYPE = 1019,
    ERR_STACKOVERFLOW = 1135,
    ERR_FUNCTIONEXPECTED = 1185,
    ERR_TABLEORNIL = 1237,
    ERR_PROTECTEDMETA = 1238,
    ERR_BADORDER = 1362,
};

// Number of items of the list at stack index t before the first nil (and, with stopAtEmpty,
// before the first empty string).
static int ListLength(lua_State *L, int t, int stopAtEmpty)
{
    int n = 0;
    for (;;) {
        lua_rawgeti(L, t, n);
        int type = lua_type(L, -1);
        int end = type == LUA_TNIL || (stopAtEmpty && type == LUA_TSTRING && lua_strlen(L, -1) == 0);
        lua_pop(L, 1);
        if (end || n == 0x7FFFFFFF) return n;
        n++;
    }
}

int SysGetType(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int code;
    switch (lua_type(L, 1)) {
    case LUA_TNIL: code = SYS_TYPE_NIL; break;
    case LUA_TNUMBER: code = SYS_TYPE_NUMBER; break;
    case LUA_TSTRING: code = SYS_TYPE_STRING; break;
    case LUA_TTABLE: code = SYS_TYPE_TABLE; break;
    case LUA_TFUNCTION: code = SYS_TYPE_FUNCTION; break;
    case LUA_TUSERDATA: code = SYS_TYPE_USERDATA; break;
    case LUA_TLIGHTUSERDATA: code = SYS_TYPE_LIGHTUSERDATA; break;
    case LUA_TTHREAD: code = SYS_TYPE_THREAD; break;
    default: code = SYS_TYPE_BOOLEAN; break;
    }
    lua_pushnumber(L, code);
    return 1;
}

int SysIIf(lua_State *L)
{
    CheckArgs(L, 3, 3);
    int take;
    switch (lua_type(L, 1)) {
    case LUA_TNIL: take = 3; break;
    case LUA_TNUMBER: take = lua_tonumber(L, 1) != 0 ? 2 : 3; break;
    case LUA_TSTRING: take = lua_strlen(L, 1) != 0 ? 2 : 3; break;
    default: return ERR_WRONGTYPE;
    }
    lua_pushvalue(L, take);
    return 1;
}

int SysListItems(lua_State *L)
{
    CheckArgs(L, 1, 1);
    luaL_checktable(L, 1);
    lua_pushnumber(L, ListLength(L, 1, 0));
    return 1;
}

int SysInsertItem(lua_State *L)
{
    CheckArgs(L, 2, 3);
    luaL_checktable(L, 1);
    int pos = GetOptIntArg(L, 3, -1);
    int n = ListLength(L, 1, 0);
    if (pos < 0 || pos > n) pos = n;
    for (int k = n; k > pos; k--) {
        lua_rawgeti(L, 1, k - 1);
        lua_rawseti(L, 1, k);
    }
    lua_pushvalue(L, 2);
    lua_rawseti(L, 1, pos);
    return 0;
}

int SysRemoveItem(lua_State *L)
{
    CheckArgs(L, 1, 2);
    luaL_checktable(L, 1);
    int pos = GetOptIntArg(L, 2, -1);
    int n = ListLength(L, 1, 0);
    if (n == 0) return 0;
    if (pos < 0 || pos > n - 1) pos = n - 1;
    lua_rawgeti(L, 1, pos);
    for (int k = pos; k < n - 1; k++) {
        lua_rawgeti(L, 1, k + 1);
        lua_rawseti(L, 1, k);
    }
    lua_pushnil(L);
    lua_rawseti(L, 1, n - 1);
    return 1;
}

int SysUnpack(lua_State *L)
{
    CheckArgs(L, 1, 1);
    luaL_checktable(L, 1);
    int n = ListLength(L, 1, 0);
    if (!lua_checkstack(L, n)) return ERR_STACKOVERFLOW;
    for (int k = 0; k < n; k++) lua_rawgeti(L, 1, k);
    return n;
}

// ---- Sort: quicksort on the keys l..u of the table at index 1 ----

static void SwapItems(lua_State *L, int i, int j)
{
    lua_rawgeti(L, 1, i);
    lua_rawgeti(L, 1, j);
    lua_rawseti(L, 1, i);
    lua_rawseti(L, 1, j);
}

// *less = whether the value at stack index a goes before the one at b (both absolute): the
// compare function at index 2 when there is one (its result read as a number), else the
// interpreter's less-than with strings compared without regard to case. Returns 0, or the
// error code a native compare function returned.
static int SortLess(lua_State *L, int hasCompare, int a, int b, int *less)
{
    if (!hasCompare) {
        *less = lua_lessthan(L, a, b, 0);
        return 0;
    }
    lua_pushvalue(L, 2);
    lua_pushvalue(L, a);
    lua_pushvalue(L, b);
    int err = lua_call(L, 2, 1);
    *less = lua_tonumber(L, -1) != 0;
    lua_pop(L, 1);
    return err;
}

// Compares the items i and j of the list: *less = item i goes before item j.
static int ItemLess(lua_State *L, int hasCompare, int i, int j, int *less)
{
    lua_rawgeti(L, 1, i);
    lua_rawgeti(L, 1, j);
    int top = lua_gettop(L);
    int err = SortLess(L, hasCompare, top - 1, top, less);
    lua_pop(L, 2);
    return err;
}

// The items l, middle and u are put in order, ranges of two or three items are then done;
// otherwise the middle item is the pivot (moved to u - 1), i runs up and j down swapping items
// on the wrong side, the pivot goes to its place i, the smaller side is sorted by recursion and
// the larger one by the loop. An index running past the range means an inconsistent order.
static int SortRange(lua_State *L, int hasCompare, int l, int u)
{
    int less, err;
    while (l < u) {
        if ((err = ItemLess(L, hasCompare, u, l, &less))) return err;
        if (less) SwapItems(L, l, u);
        if (u - l == 1) break;
        int m = l + (u - l) / 2;
        if ((err = ItemLess(L, hasCompare, m, l, &less))) return err;
        if (less) {
            SwapItems(L, m, l);
        } else {
            if ((err = ItemLess(L, hasCompare, u, m, &less))) return err;
            if (less) SwapItems(L, m, u);
        }
        if (u - l == 2) break;
        lua_rawgeti(L, 1, m);                  // the pivot stays on the stack
        int pivot = lua_gettop(L);
        SwapItems(L, m, u - 1);
        int i = l, j = u - 1;
        for (;;) {
            for (;;) {                         // up while item i < pivot
                if (++i > u) return ERR_BADORDER;
                lua_rawgeti(L, 1, i);
                err = SortLess(L, hasCompare, lua_gettop(L), pivot, &less);
                lua_pop(L, 1);
                if (err) return err;
                if (!less) break;
            }
            for (;;) {                         // down while pivot < item j
                if (--j < l) return ERR_BADORDER;
                lua_rawgeti(L, 1, j);
                err = SortLess(L, hasCompare, pivot, lua_gettop(L), &less);
                lua_pop(L, 1);
                if (err) return err;
                if (!less) break;
            }
            if (j < i) break;
            SwapItems(L, i, j);
        }
        lua_pop(L, 1);
        SwapItems(L, u - 1, i);
        if (i - l < u - i) {
            if ((err = SortRange(L, hasCompare, l, i - 1))) return err;
            l = i + 1;
        } else {
            if ((err = SortRange(L, hasCompare, i + 1, u))) return err;
            u = i - 1;
        }
    }
    return 0;
}

int SysSort(lua_State *L)
{
    CheckArgs(L, 1, 2);
    luaL_checktable(L, 1);
    int hasCompare = lua_gettop(L) >= 2;
    if (hasCompare && !lua_isfunction(L, 2)) {
        SetErrorNumber(2);
        return ERR_FUNCTIONEXPECTED;
    }
    if (!lua_checkstack(L, 40)) return ERR_STACKOVERFLOW;
    lua_settop(L, hasCompare ? 2 : 1);
    int n = ListLength(L, 1, !hasCompare);
    return SortRange(L, hasCompare, 0, n - 1);
}

// ---- CopyTable ----

// A copy of the table whose nested tables are copied as well; keys and all other values are
// shared, metatables are not copied. Every source table is copied once: a table met again
// (shared, or containing itself) refers to its one copy, so cycles are copied as cycles. The
// walk keeps its work list in a table rather than on the C stack, so any depth of nesting is
// copied without recursion.
int SysCopyTable(lua_State *L)
{
    CheckArgs(L, 1, 1);
    luaL_checktable(L, 1);
    lua_settop(L, 1);
    lua_newtable(L);                           // 2: source table -> its copy
    lua_newtable(L);                           // 3: sources still to fill, keys 1..pending
    lua_newtable(L);                           // 4: the copy of the argument
    lua_pushvalue(L, 1);
    lua_pushvalue(L, 4);
    lua_rawset(L, 2);
    lua_pushvalue(L, 1);
    lua_rawseti(L, 3, 1);
    int pending = 1;
    while (pending > 0) {
        lua_rawgeti(L, 3, pending);            // 5: source
        lua_pushnil(L);
        lua_rawseti(L, 3, pending--);
        lua_pushvalue(L, 5);
        lua_rawget(L, 2);                      // 6: its copy
        lua_pushnil(L);
        while (lua_next(L, 5)) {               // 7: key, 8: value
            if (lua_istable(L, 8)) {
                lua_pushvalue(L, 8);
                lua_rawget(L, 2);
                if (lua_isnil(L, -1)) {
                    lua_pop(L, 1);
                    lua_newtable(L);
                    lua_pushvalue(L, 8);
                    lua_pushvalue(L, -2);
                    lua_rawset(L, 2);
                    lua_pushvalue(L, 8);
                    lua_rawseti(L, 3, ++pending);
                }
                lua_replace(L, 8);
            }
            lua_pushvalue(L, 7);
            lua_pushvalue(L, 8);
            lua_settable(L, 6);
            lua_settop(L, 7);
        }
        lua_settop(L, 4);
    }
    return 1;
}

// ---- metatables, raw access, traversal ----

int SysGetMetaTable(lua_State *L)
{
    CheckArgs(L, 1, 1);
    if (!lua_getmetatable(L, 1)) {
        lua_pushnil(L);
        return 1;
    }
    lua_pushliteral(L, "__metatable");
    lua_rawget(L, -2);
    if (lua_isnil(L, -1)) lua_pop(L, 1);
    return 1;
}

int SysSetMetaTable(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int t = lua_type(L, 2);
    if (t != LUA_TNIL && t != LUA_TTABLE) return ERR_TABLEORNIL;
    luaL_checktable(L, 1);
    if (lua_getmetatable(L, 1)) {
        lua_pushliteral(L, "__metatable");
        lua_rawget(L, -2);
        int isProtected = !lua_isnil(L, -1);
        lua_pop(L, 2);
        if (isProtected) return ERR_PROTECTEDMETA;
    }
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    lua_pushvalue(L, 1);
    return 1;
}

int SysRawEqual(lua_State *L)
{
    CheckArgs(L, 2, 2);
    lua_pushnumber(L, lua_rawequal(L, 1, 2) ? 1 : 0);
    return 1;
}

int SysRawGet(lua_State *L)
{
    CheckArgs(L, 2, 2);
    luaL_checktable(L, 1);
    lua_settop(L, 2);
    lua_rawget(L, 1);
    return 1;
}

int SysRawSet(lua_State *L)
{
    CheckArgs(L, 3, 3);
    luaL_checktable(L, 1);
    lua_settop(L, 3);
    lua_rawset(L, 1);
    lua_pushvalue(L, 1);
    return 1;
}

int SysNextItem(lua_State *L)
{
    CheckArgs(L, 1, 2);
    luaL_checktable(L, 1);
    lua_settop(L, 2);
    if (lua_next(L, 1)) return 2;
    lua_pushnil(L);
    return 1;
}

int SysPairs(lua_State *L)
{
    CheckArgs(L, 1, 1);
    luaL_checktable(L, 1);
    lua_pushliteral(L, "nextitem");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushvalue(L, 1);
    lua_pushnil(L);
    return 3;
}

// With the table alone: the iterator (the global "ipairs", this command), the table and 0.
// With a position i: i + 1 and the item there, or nothing once that item is nil, so a generic
// for loop visits the keys 1, 2, ... up to the first nil.
int SysIPairs(lua_State *L)
{
    CheckArgs(L, 1, 2);
    luaL_checktable(L, 1);
    if (lua_gettop(L) == 1) {
        lua_pushliteral(L, "ipairs");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushvalue(L, 1);
        lua_pushnumber(L, 0);
        return 3;
    }
    int next = luaO_toint32(luaL_checknumber(L, 2) + 1);
    lua_rawgeti(L, 1, next);
    if (lua_isnil(L, -1)) return 0;
    lua_pushnumber(L, next);
    lua_insert(L, -2);
    return 2;
}

// Calling script commands by name from native code (the declared objects and the backfill
// display are made this way), and the region tables of display options.
#pragma once
#include <cstdint>

#include "runtime/applet.h"

struct lua_State;

// Argument kinds of CallScriptFunction, each followed by its value (CSF_NIL by none).
enum { CSF_INT = 0, CSF_UINT = 1, CSF_TEXT = 2, CSF_NIL = 3, CSF_POINTER = 4, CSF_OBJECTID = 5 };

// Calls the global command `name` (lower-cased) with `args` arguments given as (kind, value)
// pairs (CSF_OBJECTID: a pointer to an ObjectId, pushed as its handle when non-zero, else its
// number), keeping `results` results. Not protected. Returns the code the command returned, or
// 0; does nothing (0) without a state.
int CallScriptFunction(lua_State *L, const char *name, int results, int args, ...);
// 1 when the global `name` (lower-cased) is a function.
int CommandRegistered(lua_State *L, const char *name);
// Sets field `key` of the table on the stack top to an array of count region tables
// {type, x, y, width, height} at indexes 0 to count - 1.
void PushRegionTable(lua_State *L, const char *key, int count, const RegionEntry *regions);

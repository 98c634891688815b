// What every command handler uses: the argument-count check, object identifiers, the readers and
// writers of option-table fields, numbers given as percentages, constants written as "#NAME",
// the parser of numeric texts, the registry of command tables (with the command-list and
// constant-name exports) and the verbose progress lines.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

struct AppletRecord;

// An object named by the script: by a number of its choosing, or by the handle (the address of
// the object's node) it received as a light userdata when it passed Nil. A read argument yields
// exactly one of the two non-zero; lookups compare both.
struct ObjectId {
    uint32_t number;
    void *handle;
};

// ---------------------------------------------------------------------------------------------
// Arguments

// The first call of every handler. n = number of arguments: raises 1193 when min and max are
// both 0 and n >= 1; 1014 when n < min; 1193 when max >= 1 and n > max (max 0 = no bound).
// Returns L.
lua_State *CheckArgs(lua_State *L, int min, int max);

#ifdef KV_FUZZING
// The command fuzzer learns the argument counts a command accepts without running it: while
// `active` is set, CheckArgs stores its bounds here, sets `reached` and raises 1193.
struct ArgCountProbe {
    int active;
    int reached;
    int min, max;
};
extern ArgCountProbe CheckArgsProbe;
#endif

// The applet record kept in the registry under "applet" (none before start-up stored it).
AppletRecord *GetAppletRecord(lua_State *L);

// Argument i: a light userdata gives the handle; anything else the number (luaL_checkinteger:
// truncated to a 32-bit word; 1138 when it is no number).
ObjectId GetObjectIdArg(lua_State *L, int i);
// Argument i of a creating command: *isNil = 1 and 0 for Nil (the object then gets an automatic
// id), else *isNil = 0 and the number as GetObjectIdArg reads it.
uint32_t GetObjectIdOrNilArg(lua_State *L, int i, int *isNil);
// Argument i of a creating command as the id to give the new object: the number, or for Nil
// (*isNil = 1) the handle word 1 that asks for an automatic id (the new node's address
// replaces it).
ObjectId GetNewObjectIdArg(lua_State *L, int i, int *isNil);
// The result of a creating command: the new object's handle when it got an automatic id (one
// result), else none. Returns the result count.
int PushNewObjectHandle(lua_State *L, int isNil, ObjectId id);
// Whether the object whose id is `have` is the one `wanted` names: the same handle when wanted
// carries one, else an object without a handle and the same number.
int ObjectIdMatches(ObjectId have, ObjectId wanted);

// Argument i as a number truncated toward zero to a signed 32-bit integer (luaL_checknumber,
// then luaO_toint32); the optional form gives def for a missing or Nil argument.
int GetIntArg(lua_State *L, int i);
int GetOptIntArg(lua_State *L, int i, int def);

// Argument i as a number or a percentage text:
// - a number is returned as it is; Nil counts as 0;
// - a string is read as a decimal number (no digits: error number i, raises 1184); a number not
//   followed by '%' is returned as it is; one followed by '%' must be 0 or more and, unless
//   allowOver100 is set, at most 100 (else 1184); with a non-zero reference the result is
//   reference * value / 100, with reference 0 it is value / 100 and *isPercent becomes 1;
// - any other type: error number i, raises 1183.
// *isPercent (may be none) is set to 0 unless a percentage against reference 0 was read.
double GetNumberOrPercentArg(lua_State *L, int i, double reference, int allowOver100,
                             int *isPercent);
// A width or height: GetNumberOrPercentArg with percentages over 100 allowed, truncated toward
// zero to a signed 32-bit integer that saturates at the ends of the range (NaN gives 0), so
// that no size wraps.
int32_t GetSizeArg(lua_State *L, int i, double reference);

// Kinds of ParseConstantName results (the script value kinds).
enum { CONSTANT_NUMBER = LUA_TNUMBER, CONSTANT_STRING = LUA_TSTRING };

// A constant written "#NAME" at the start of text: '#' must come first (else 1055); then a
// letter or '_' (else 1018); the name runs over letters, digits, '_', '$' and '!' (at most 64
// characters) and is looked up in the constant registry without regard to case (not found:
// 1042). On success *used = name length + 1, *kind is CONSTANT_NUMBER with *value, or
// CONSTANT_STRING with *str (any output may be none). Returns the code, 0 on success; never
// raises.
int ParseConstantName(lua_State *L, const char *text, int *used, int *kind, double *value,
                      const char **str);

// The numeric text at the start of text: optional '-'; '$' hexadecimal (a '-' right behind it
// also negates), '%' binary, "0x"/"0X" hexadecimal, a decimal digit starts a decimal number with
// optional fraction and exponent. Hexadecimal and binary values are unsigned 32-bit words
// (further digits are read but the value saturates at 4294967295). *error: 0, 1018 "General
// syntax error!" (no digit behind '$' or "0x") or 1024 "Value expected!" (no number). *used:
// the characters consumed from the start of the text (0 on error). Either output may be none.
double StrToNumber(const char *text, int *used, int *error);

// ---------------------------------------------------------------------------------------------
// Option tables
//
// Every getter reads field `key` of the table at index t: when the field is not nil it stores
// the value, sets *found (may be none) to 1 and returns 1; else it returns 0 and leaves the
// outputs alone. The stack is always restored. Type errors name the key: 1189 "Number expected
// in table argument "%s"!", 1247 "String expected in table argument "%s"!".

int GetFieldInt(lua_State *L, int t, const char *key, int *out, int *found);
// A number converted to a 32-bit word (luaL_numbertoword); a non-number raises 1189.
int GetFieldUInt32(lua_State *L, int t, const char *key, uint32_t *out, int *found);
int GetFieldDouble(lua_State *L, int t, const char *key, double *out, int *found);
// A string field copied into a new allocation (MemAlloc, the caller frees it); *length is its
// length without the terminator. With fontFlag set the name first goes through
// ResolveLinkedFile as a font name (*fontFound may be none). Returns 0 when the field is nil, and
// also (with *found set to 1) when the copy cannot be allocated.
int GetFieldFileName(lua_State *L, int t, const char *key, int fontFlag, int *fontFound,
                     char **copy, size_t *length, int *found);
// A string field copied into the caller's buffer of `capacity` bytes, cut to capacity - 1
// bytes and always terminated (capacity 0: nothing is written).
int GetFieldStringCopy(lua_State *L, int t, const char *key, char *buffer, size_t capacity,
                       int *found);
// A light userdata gives the handle, anything else the number (1189 when it is no number).
int GetFieldObjectId(lua_State *L, int t, const char *key, ObjectId *id, int *found);
// GetNumberOrPercentArg on the field (its errors carry the table's argument index t).
int GetFieldPercent(lua_State *L, int t, const char *key, double reference, int allowOver100,
                    double *out, int *isPercent, int *found);
// A number is the layer number; a string is looked up among the current BGPic's layers
// (LayerNameLookup, 1-based; not found raises 1369 "Cannot find layer "%s" in current BGPic!"
// with the name); any other type raises 1055.
int GetFieldLayer(lua_State *L, int t, const char *key, int *layer, int *found);
// The field must be a table (else 1140 with error number t); its entries 0 to 3 must all be
// present (a missing one raises 1014) and numbers (else 1189 with the key).
int GetFieldNumberArray4(lua_State *L, int t, const char *key, double out[4], int *found);

// Set field key of the table on the stack top. An ObjectId is stored as its handle (light
// userdata) when the handle is non-zero, else as its number.
void SetFieldInt(lua_State *L, const char *key, int value);
void SetFieldDouble(lua_State *L, const char *key, double value);
void SetFieldString(lua_State *L, const char *key, const char *value);
void SetFieldObjectId(lua_State *L, const char *key, ObjectId id);

// Finds a layer of the current BGPic by name: its 1-based position from the bottom, or 0 when
// no layer has that name. Set by the layers library; none while it is not open.
typedef int (*LayerNameLookupFunc)(lua_State *L, const char *name);
extern LayerNameLookupFunc LayerNameLookup;

// ---------------------------------------------------------------------------------------------
// Command tables

// One library's (name, handler) table (ending with a null name) and its library name.
struct CommandTableNode {
    CommandTableNode *next;
    const luaL_reg *commands;
    char libName[64];
};

// Appends a node for the table (kept by pointer; it must stay valid). 0 or 1000.
int RegisterCommandTable(const luaL_reg *table, const char *libName);
// The first registered node (registration order), or none.
CommandTableNode *GetCommandTables(void);
// Frees the registry (FreeRuntime calls it; safe when empty).
void FreeCommandTables(void);
// The spelling of a command in its command table, looked up without regard to case in every
// registered table; none when no table has it.
const char *FindCommandName(const char *name);

// Writes the command list to path through the file layer: per table in registration order
// "::<library>\n", the command count "%lu\n", one command name a line; finally "::end\n".
// Returns 1 when written, 0 when the file cannot be opened (nothing happens then).
int ExportCommandList(const char *path);
// Writes every key of the registry table "constants", one a line ("%s\n"), in table order.
// Returns 1 when written, 0 when the file cannot be opened.
int ExportConstants(lua_State *L, const char *path);

// ---------------------------------------------------------------------------------------------
// Text and progress lines

// Lower-cases text in place; returns it.
char *ToLowerString(char *text);

// Progress lines on standard output, printed only while RuntimeTag 2 (quiet) is off. With a
// name, format is filled with the file part of the name; with dots set "..." is appended; no
// line feed.
void PrintVerbose(const char *format, const char *name, int dots);
// "done" / "failed" (message texts 95 and 108) and a line feed, unless quiet.
void PrintVerboseDone(void);
void PrintVerboseFailed(void);

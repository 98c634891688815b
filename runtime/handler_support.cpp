// Argument checks, object identifiers, option-table fields, percentages, constant names, the
// command-table registry with its exports, and the verbose progress lines.
#include "runtime/handler_support.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/values.h"

LayerNameLookupFunc LayerNameLookup = nullptr;

static CommandTableNode *CommandTables = nullptr;

enum { CONSTANT_NAME_MAX = 64 };

// ---------------------------------------------------------------------------------------------
// Arguments

#ifdef KV_FUZZING
ArgCountProbe CheckArgsProbe;
#endif

lua_State *CheckArgs(lua_State *L, int min, int max)
{
#ifdef KV_FUZZING
    if (CheckArgsProbe.active) {
        CheckArgsProbe.reached = 1;
        CheckArgsProbe.min = min;
        CheckArgsProbe.max = max;
        lua_error(L, 1193);
    }
#endif
    int n = lua_gettop(L);
    if (min == 0 && max == 0 && n >= 1) lua_error(L, 1193);
    if (n < min) lua_error(L, 1014);
    if (max >= 1 && n > max) lua_error(L, 1193);
    return L;
}

AppletRecord *GetAppletRecord(lua_State *L)
{
    return (AppletRecord *)luaL_getregpointer(L, "applet");
}

ObjectId GetObjectIdArg(lua_State *L, int i)
{
    ObjectId id = {0, nullptr};
    if (lua_type(L, i) == LUA_TLIGHTUSERDATA) id.handle = lua_touserdata(L, i);
    else id.number = (uint32_t)luaL_checkinteger(L, i);
    return id;
}

uint32_t GetObjectIdOrNilArg(lua_State *L, int i, int *isNil)
{
    if (lua_type(L, i) == LUA_TNIL) {
        if (isNil) *isNil = 1;
        return 0;
    }
    if (isNil) *isNil = 0;
    return (uint32_t)luaL_checkinteger(L, i);
}

ObjectId GetNewObjectIdArg(lua_State *L, int i, int *isNil)
{
    uint32_t number = GetObjectIdOrNilArg(L, i, isNil);
    ObjectId id = {*isNil ? 0 : number, *isNil ? (void *)1 : nullptr};
    return id;
}

int PushNewObjectHandle(lua_State *L, int isNil, ObjectId id)
{
    if (!isNil) return 0;
    lua_pushlightuserdata(L, id.handle);
    return 1;
}

int ObjectIdMatches(ObjectId have, ObjectId wanted)
{
    if (wanted.handle) return have.handle == wanted.handle;
    return !have.handle && have.number == wanted.number;
}

int GetIntArg(lua_State *L, int i)
{
    return luaO_toint32(luaL_checknumber(L, i));
}

int GetOptIntArg(lua_State *L, int i, int def)
{
    return luaO_toint32(luaL_optnumber(L, i, def));
}

// A decimal number at the start of s (optional blanks and sign, digits, fraction, exponent):
// its value and the character behind it; *end = s when there are no digits.
static double ScanDecimal(const char *s, const char **end)
{
    const char *p = s;
    while (*p == ' ' || *p == '\t') p++;
    if (*p == '+' || *p == '-') p++;
    const char *digits = p;
    while (isdigit((unsigned char)*p)) p++;
    int count = (int)(p - digits);
    if (*p == '.') {
        p++;
        const char *frac = p;
        while (isdigit((unsigned char)*p)) p++;
        count += (int)(p - frac);
    }
    if (count == 0) {
        *end = s;
        return 0;
    }
    if (*p == 'e' || *p == 'E') {
        const char *q = p + 1;
        if (*q == '+' || *q == '-') q++;
        if (isdigit((unsigned char)*q)) {
            while (isdigit((unsigned char)*q)) q++;
            p = q;
        }
    }
    // strtod follows the same grammar here and stops where the scan stopped, except on a
    // "0x" form, which it would read as hexadecimal: that text is the number 0.
    char *stop;
    double v = strtod(s, &stop);
    if (stop != p) v = 0;
    *end = p;
    return v;
}

// The number-or-percentage reader on the value at stack index idx; errors name argument errArg.
static double ReadNumberOrPercent(lua_State *L, int idx, int errArg, double reference,
                                  int allowOver100, int *isPercent)
{
    if (isPercent) *isPercent = 0;
    int type = lua_type(L, idx);
    if (type == LUA_TNUMBER) return lua_tonumber(L, idx);
    if (type == LUA_TNIL || type == LUA_TNONE) return 0;
    if (type != LUA_TSTRING) {
        SetErrorNumber(errArg);
        lua_error(L, 1183);
    }
    const char *s = lua_tostring(L, idx);
    const char *end;
    double value = ScanDecimal(s, &end);
    if (end == s) {
        SetErrorNumber(errArg);
        lua_error(L, 1184);
    }
    if (*end != '%') return value;
    if (value < 0 || (!allowOver100 && value > 100)) {
        SetErrorNumber(errArg);
        lua_error(L, 1184);
    }
    if (reference != 0) return reference * value / 100;
    if (isPercent) *isPercent = 1;
    return value / 100;
}

double GetNumberOrPercentArg(lua_State *L, int i, double reference, int allowOver100,
                             int *isPercent)
{
    return ReadNumberOrPercent(L, i, i, reference, allowOver100, isPercent);
}

int32_t GetSizeArg(lua_State *L, int i, double reference)
{
    return luaO_toint32(ReadNumberOrPercent(L, i, i, reference, 1, nullptr));
}

int ParseConstantName(lua_State *L, const char *text, int *used, int *kind, double *value,
                      const char **str)
{
    if (!text || text[0] != '#') return 1055;
    const char *p = text + 1;
    if (!(isalpha((unsigned char)*p) || *p == '_')) return 1018;
    char name[CONSTANT_NAME_MAX + 1];
    int len = 0;
    while (len < CONSTANT_NAME_MAX &&
           (isalnum((unsigned char)p[len]) || p[len] == '_' || p[len] == '$' || p[len] == '!')) {
        name[len] = (char)tolower((unsigned char)p[len]);
        len++;
    }
    name[len] = 0;
    const char *s = nullptr;
    lua_Number n = 0;
    if (!luaL_getconstant(L, name, &s, &n)) return 1042;
    if (used) *used = len + 1;
    if (s) {
        if (kind) *kind = CONSTANT_STRING;
        if (str) *str = s;
    } else {
        if (kind) *kind = CONSTANT_NUMBER;
        if (value) *value = n;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Option tables

static int AbsIndex(lua_State *L, int t)
{
    return (t < 0 && t > LUA_REGISTRYINDEX) ? lua_gettop(L) + t + 1 : t;
}

// Pushes field key of the table at t; returns the index of the value, or 0 (nothing pushed)
// when the field is nil.
static int PushField(lua_State *L, int t, const char *key)
{
    t = AbsIndex(L, t);
    lua_pushstring(L, key);
    lua_gettable(L, t);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    return lua_gettop(L);
}

static int Found(int *found)
{
    if (found) *found = 1;
    return 1;
}

int GetFieldInt(lua_State *L, int t, const char *key, int *out, int *found)
{
    int v = PushField(L, t, key);
    if (!v) return 0;
    *out = luaL_checknamedinteger(L, v, key);
    lua_pop(L, 1);
    return Found(found);
}

int GetFieldUInt32(lua_State *L, int t, const char *key, uint32_t *out, int *found)
{
    int v = PushField(L, t, key);
    if (!v) return 0;
    *out = (uint32_t)luaL_checknamedinteger(L, v, key);
    lua_pop(L, 1);
    return Found(found);
}

int GetFieldDouble(lua_State *L, int t, const char *key, double *out, int *found)
{
    int v = PushField(L, t, key);
    if (!v) return 0;
    *out = luaL_checknamednumber(L, v, key);
    lua_pop(L, 1);
    return Found(found);
}

int GetFieldFileName(lua_State *L, int t, const char *key, int fontFlag, int *fontFound,
                     char **copy, size_t *length, int *found)
{
    int v = PushField(L, t, key);
    if (!v) return 0;
    const char *name = luaL_checknamedstring(L, v, key);
    if (fontFlag) name = ResolveLinkedFile(L, name, 1, fontFound);
    size_t n = strlen(name);
    char *c = (char *)MemAlloc(n + 1, 0);
    if (found) *found = 1;
    if (!c) {
        lua_pop(L, 1);
        return 0;
    }
    memcpy(c, name, n + 1);
    *copy = c;
    if (length) *length = n;
    lua_pop(L, 1);
    return 1;
}

int GetFieldStringCopy(lua_State *L, int t, const char *key, char *buffer, size_t capacity,
                       int *found)
{
    int v = PushField(L, t, key);
    if (!v) return 0;
    size_t len;
    const char *s = luaL_checknamedlstring(L, v, key, &len);
    if (capacity > 0) {
        if (len > capacity - 1) len = capacity - 1;
        memcpy(buffer, s, len);
        buffer[len] = 0;
    }
    lua_pop(L, 1);
    return Found(found);
}

int GetFieldObjectId(lua_State *L, int t, const char *key, ObjectId *id, int *found)
{
    int v = PushField(L, t, key);
    if (!v) return 0;
    ObjectId r = {0, nullptr};
    if (lua_type(L, v) == LUA_TLIGHTUSERDATA) r.handle = lua_touserdata(L, v);
    else r.number = (uint32_t)luaL_checknamedinteger(L, v, key);
    *id = r;
    lua_pop(L, 1);
    return Found(found);
}

int GetFieldPercent(lua_State *L, int t, const char *key, double reference, int allowOver100,
                    double *out, int *isPercent, int *found)
{
    int errArg = AbsIndex(L, t);
    int v = PushField(L, t, key);
    if (!v) return 0;
    int pct = 0;
    *out = ReadNumberOrPercent(L, v, errArg, reference, allowOver100, &pct);
    if (isPercent) *isPercent = pct;
    lua_pop(L, 1);
    return Found(found);
}

int GetFieldLayer(lua_State *L, int t, const char *key, int *layer, int *found)
{
    int v = PushField(L, t, key);
    if (!v) return 0;
    int type = lua_type(L, v);
    if (type == LUA_TNUMBER) {
        *layer = luaL_numbertoword(lua_tonumber(L, v));
    } else if (type == LUA_TSTRING) {
        const char *name = lua_tostring(L, v);
        int pos = LayerNameLookup ? LayerNameLookup(L, name) : 0;
        if (pos <= 0) {
            SetErrorString(name);
            lua_error(L, 1369);
        }
        *layer = pos;
    } else {
        lua_error(L, 1055);
    }
    lua_pop(L, 1);
    return Found(found);
}

int GetFieldNumberArray4(lua_State *L, int t, const char *key, double out[4], int *found)
{
    int errArg = AbsIndex(L, t);
    int v = PushField(L, t, key);
    if (!v) return 0;
    if (lua_type(L, v) != LUA_TTABLE) {
        SetErrorNumber(errArg);
        lua_error(L, 1140);
    }
    double values[4];
    for (int k = 0; k < 4; k++) {
        lua_rawgeti(L, v, k);
        if (lua_isnil(L, -1)) lua_error(L, 1014);
        values[k] = luaL_checknamednumber(L, lua_gettop(L), key);
        lua_pop(L, 1);
    }
    for (int k = 0; k < 4; k++) out[k] = values[k];
    lua_pop(L, 1);
    return Found(found);
}

void SetFieldInt(lua_State *L, const char *key, int value)
{
    lua_pushstring(L, key);
    lua_pushnumber(L, value);
    lua_settable(L, -3);
}

void SetFieldDouble(lua_State *L, const char *key, double value)
{
    lua_pushstring(L, key);
    lua_pushnumber(L, value);
    lua_settable(L, -3);
}

void SetFieldString(lua_State *L, const char *key, const char *value)
{
    lua_pushstring(L, key);
    lua_pushstring(L, value ? value : "");
    lua_settable(L, -3);
}

void SetFieldObjectId(lua_State *L, const char *key, ObjectId id)
{
    lua_pushstring(L, key);
    if (id.handle) lua_pushlightuserdata(L, id.handle);
    else lua_pushnumber(L, id.number);
    lua_settable(L, -3);
}

// ---------------------------------------------------------------------------------------------
// Command tables

int RegisterCommandTable(const luaL_reg *table, const char *libName)
{
    CommandTableNode *node = (CommandTableNode *)MemAlloc(sizeof(CommandTableNode), 1);
    if (!node) return 1000;
    node->commands = table;
    snprintf(node->libName, sizeof node->libName, "%s", libName ? libName : "");
    CommandTableNode **tail = &CommandTables;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    return 0;
}

CommandTableNode *GetCommandTables(void)
{
    return CommandTables;
}

void FreeCommandTables(void)
{
    while (CommandTables) {
        CommandTableNode *next = CommandTables->next;
        MemFree(CommandTables);
        CommandTables = next;
    }
}

const char *FindCommandName(const char *name)
{
    if (!name) return nullptr;
    for (CommandTableNode *node = CommandTables; node; node = node->next) {
        for (const luaL_reg *r = node->commands; r && r->name; r++)
            if (strcasecmp(r->name, name) == 0) return r->name;
    }
    return nullptr;
}

static void WriteText(FileHandle *fh, const char *s)
{
    FWrite(fh, s, strlen(s));
}

int ExportCommandList(const char *path)
{
    FileHandle *fh = FOpen(path, FMODE_WRITE);
    if (!fh) return 0;
    char line[96];
    for (CommandTableNode *node = CommandTables; node; node = node->next) {
        unsigned long count = 0;
        for (const luaL_reg *r = node->commands; r && r->name; r++) count++;
        snprintf(line, sizeof line, "::%s\n%lu\n", node->libName, count);
        WriteText(fh, line);
        for (const luaL_reg *r = node->commands; r && r->name; r++) {
            WriteText(fh, r->name);
            WriteText(fh, "\n");
        }
    }
    WriteText(fh, "::end\n");
    FClose(fh);
    return 1;
}

int ExportConstants(lua_State *L, const char *path)
{
    FileHandle *fh = FOpen(path, FMODE_WRITE);
    if (!fh) return 0;
    int top = lua_gettop(L);
    lua_pushstring(L, "constants");
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (lua_istable(L, -1)) {
        int t = lua_gettop(L);
        lua_pushnil(L);
        while (lua_next(L, t)) {
            if (lua_type(L, -2) == LUA_TSTRING) {
                WriteText(fh, lua_tostring(L, -2));
                WriteText(fh, "\n");
            }
            lua_pop(L, 1);
        }
    }
    lua_settop(L, top);
    FClose(fh);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Text and progress lines

char *ToLowerString(char *text)
{
    for (char *p = text; p && *p; p++) *p = (char)tolower((unsigned char)*p);
    return text;
}

void PrintVerbose(const char *format, const char *name, int dots)
{
    if (RuntimeSettings.quiet || !format) return;
    char line[ERR_TEXT_SIZE + 8];
    if (name) snprintf(line, sizeof line, format, GetFilePart(name));
    else snprintf(line, sizeof line, "%s", format);
    OsPrintF("%s%s", line, dots ? "..." : "");
}

void PrintVerboseDone(void)
{
    if (RuntimeSettings.quiet) return;
    const char *s = GetErrorString(MSG_DONE);
    OsPrintF("%s\n", s ? s : "done");
}

void PrintVerboseFailed(void)
{
    if (RuntimeSettings.quiet) return;
    const char *s = GetErrorString(MSG_FAILED);
    OsPrintF("%s\n", s ? s : "failed");
}

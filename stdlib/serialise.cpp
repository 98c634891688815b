// Tables and functions stored in open files: "KVT0" tables (WriteTable, ReadTable) and "KVF0"
// binary or "KVF1" Base64 functions (WriteFunction, ReadFunction). Numbers are big-endian.
// What is read from a file is untrusted: every length is checked against the bytes the file
// still holds before anything is allocated, nesting is capped, and bytecode goes through the
// checking loader.
#include <cstdio>
#include <cstring>

#include "runtime/memory.h"
#include "stdlib/dos.h"

enum {
    SER_END = 0, SER_NUMBER = 2, SER_STRING = 3, SER_TABLE = 4, SER_FUNCTION = 5,
    SER_MAX_KEY = 256,
    SER_MAX_DEPTH = 200,        // nested tables, written or read
    SER_LINE = 72,              // Base64 characters per line
};

// ---------------------------------------------------------------------------------------------
// Bytes in memory (dumps and Base64 text)

struct ByteBuffer {
    unsigned char *data;
    size_t length;
    size_t capacity;
};

static int Append(ByteBuffer *b, const void *p, size_t n)
{
    if (n > b->capacity - b->length) {
        size_t capacity = b->capacity;
        while (n > capacity - b->length) {
            if (capacity > ((size_t)1 << 40)) return 1000;
            capacity += 65536;
        }
        unsigned char *grown = (unsigned char *)MemAlloc(capacity, 0);
        if (!grown) return 1000;
        if (b->length) memcpy(grown, b->data, b->length);
        MemFree(b->data);
        b->data = grown;
        b->capacity = capacity;
    }
    memcpy(b->data + b->length, p, n);
    b->length += n;
    return 0;
}

static int DumpWriter(lua_State *L, const void *p, size_t size, void *data)
{
    return Append((ByteBuffer *)data, p, size);
}

static const char Base64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 text of the bytes, a line feed before every 73rd, 145th ... character.
static int EncodeBase64(const ByteBuffer *in, ByteBuffer *out)
{
    size_t column = 0;
    for (size_t i = 0; i < in->length; i += 3) {
        uint32_t v = (uint32_t)in->data[i] << 16;
        size_t left = in->length - i;
        if (left > 1) v |= (uint32_t)in->data[i + 1] << 8;
        if (left > 2) v |= in->data[i + 2];
        char quad[4] = {Base64Alphabet[(v >> 18) & 63], Base64Alphabet[(v >> 12) & 63],
                        left > 1 ? Base64Alphabet[(v >> 6) & 63] : '=',
                        left > 2 ? Base64Alphabet[v & 63] : '='};
        for (int k = 0; k < 4; k++) {
            if (column == SER_LINE) {
                if (Append(out, "\n", 1)) return 1000;
                column = 0;
            }
            if (Append(out, &quad[k], 1)) return 1000;
            column++;
        }
    }
    return 0;
}

static int Base64Value(int c)
{
    const char *p = c ? strchr(Base64Alphabet, c) : nullptr;
    return p ? (int)(p - Base64Alphabet) : -1;
}

// Decodes Base64 text into out (at most 3/4 of the text's length): 0 or 1323.
static int DecodeBase64(const unsigned char *text, size_t n, unsigned char *out, size_t *outLength)
{
    size_t o = 0;
    int quad[4];
    int have = 0;
    int padding = 0;
    for (size_t i = 0; i < n; i++) {
        int c = text[i];
        if (c < 33) continue;
        if (c == '=') {
            padding = 1;
            break;
        }
        int v = Base64Value(c);
        if (v < 0) return 1323;
        quad[have++] = v;
        if (have == 4) {
            out[o++] = (unsigned char)((quad[0] << 2) | (quad[1] >> 4));
            out[o++] = (unsigned char)((quad[1] << 4) | (quad[2] >> 2));
            out[o++] = (unsigned char)((quad[2] << 6) | quad[3]);
            have = 0;
        }
    }
    if (padding) {
        // "=" in the third place gives one byte, in the fourth two.
        if (have == 2) out[o++] = (unsigned char)((quad[0] << 2) | (quad[1] >> 4));
        else if (have == 3) {
            out[o++] = (unsigned char)((quad[0] << 2) | (quad[1] >> 4));
            out[o++] = (unsigned char)((quad[1] << 4) | (quad[2] >> 2));
        } else return 1323;
    } else if (have != 0) {
        return 1323;
    }
    *outLength = o;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Writing

static int WriteByte(FileNode *f, int b)
{
    return DosWriteNumber(f, (unsigned char)b, 1);
}

static int WriteString(FileNode *f, const char *s, size_t n)
{
    if (n > 0xffffffffu) return 1055;
    int code = DosWriteNumber(f, (uint32_t)n, 4);
    return code ? code : DosWriteBytes(f, s, n);
}

// The function at stack index idx as a function body of the kind base64 selects.
static int WriteFunctionBody(lua_State *L, FileNode *f, int idx, int base64)
{
    ByteBuffer dump = {nullptr, 0, 0};
    int code = lua_dump(L, idx, DumpWriter, &dump);
    if (!code && !base64) {
        if (dump.length > 0xffffffffu) code = 1000;
        else if (!(code = DosWriteNumber(f, (uint32_t)dump.length, 4)))
            code = DosWriteBytes(f, dump.data, dump.length);
    } else if (!code) {
        ByteBuffer text = {nullptr, 0, 0};
        code = EncodeBase64(&dump, &text);
        if (!code && text.length > 0xffffffffu) code = 1000;
        if (!code) {
            char length[16];
            snprintf(length, sizeof(length), "%.8lx", (unsigned long)text.length);
            code = DosWriteBytes(f, length, 8);
        }
        if (!code) code = DosWriteBytes(f, text.data, text.length);
        MemFree(text.data);
    }
    MemFree(dump.data);
    return code;
}

// The body of the table at stack index t. `path` (a stack index) holds the tables being written
// above this one, so that a table holding itself is refused instead of written without end.
static int WriteTableBody(lua_State *L, FileNode *f, int t, int path, int base64, int depth)
{
    if (depth > SER_MAX_DEPTH || !lua_checkstack(L, 6)) return 1055;
    lua_pushvalue(L, t);
    lua_pushboolean(L, 1);
    lua_rawset(L, path);
    int code = 0;
    lua_pushnil(L);
    while (!code && lua_next(L, t)) {
        int key = lua_gettop(L) - 1, value = lua_gettop(L);
        int vt = lua_type(L, value);
        // A value the format has no type for (boolean, thread) is left out with its key.
        if (vt == LUA_TBOOLEAN || vt == LUA_TTHREAD || vt == LUA_TNIL) {
            lua_pop(L, 1);
            continue;
        }
        switch (lua_type(L, key)) {
        case LUA_TNUMBER:
            if (!(code = WriteByte(f, SER_NUMBER))) code = DosWriteDouble(f, lua_tonumber(L, key));
            break;
        case LUA_TSTRING:
            if (!(code = WriteByte(f, SER_STRING)))
                code = WriteString(f, lua_tostring(L, key), lua_strlen(L, key));
            break;
        default:
            code = 1055;
            break;
        }
        if (code) break;
        switch (vt) {
        case LUA_TNUMBER:
            if (!(code = WriteByte(f, SER_NUMBER))) code = DosWriteDouble(f, lua_tonumber(L, value));
            break;
        case LUA_TSTRING:
            if (!(code = WriteByte(f, SER_STRING)))
                code = WriteString(f, lua_tostring(L, value), lua_strlen(L, value));
            break;
        case LUA_TTABLE:
            lua_pushvalue(L, value);
            lua_rawget(L, path);
            if (!lua_isnil(L, -1)) code = 1055;   // the table contains itself
            lua_pop(L, 1);
            if (!code && !(code = WriteByte(f, SER_TABLE)))
                code = WriteTableBody(L, f, value, path, base64, depth + 1);
            break;
        case LUA_TFUNCTION:
            if (lua_iscfunction(L, value)) code = 1324;
            else if (!(code = WriteByte(f, SER_FUNCTION))) code = WriteFunctionBody(L, f, value, base64);
            break;
        default:   // light and full userdata
            if (!(code = WriteByte(f, SER_NUMBER))) code = DosWriteDouble(f, 0.0);
            break;
        }
        lua_settop(L, key);
    }
    if (code) return code;
    lua_pushvalue(L, t);
    lua_pushnil(L);
    lua_rawset(L, path);
    return WriteByte(f, SER_END);
}

// WriteTable(file, table [, base64 = 0])
int DosWriteTable(lua_State *L)
{
    CheckArgs(L, 2, 3);
    luaL_checktable(L, 2);
    int base64 = luaL_optinteger(L, 3, 0);
    FileNode *f;
    int code = GetWritableFileArg(L, 1, &f);
    if (code) return code;
    lua_settop(L, 3);
    lua_newtable(L);   // index 4: the tables being written
    if ((code = DosWriteBytes(f, "KVT0", 4)) != 0) return code;
    code = WriteTableBody(L, f, 2, 4, base64, 0);
    return code;
}

// WriteFunction(file, function [, base64 = 0])
int DosWriteFunction(lua_State *L)
{
    CheckArgs(L, 2, 3);
    luaL_checkfunction(L, 2);
    int base64 = luaL_optinteger(L, 3, 0);
    FileNode *f;
    int code = GetWritableFileArg(L, 1, &f);
    if (code) return code;
    if (lua_iscfunction(L, 2)) return 1324;
    if ((code = DosWriteBytes(f, base64 ? "KVF1" : "KVF0", 4)) != 0) return code;
    return WriteFunctionBody(L, f, 2, base64);
}

// ---------------------------------------------------------------------------------------------
// Reading

static int ReadByte(FileNode *f, int *b)
{
    uint64_t v;
    int code = DosReadNumber(f, 1, &v);
    *b = code ? 0 : (int)v;
    return code;
}

static int ReadBE32(FileNode *f, uint32_t *v)
{
    uint64_t wide;
    int code = DosReadNumber(f, 4, &wide);
    *v = code ? 0 : (uint32_t)wide;
    return code;
}

// 1242 when n bytes would pass the file's end (checked before allocating for them).
static int Available(FileNode *f, uint64_t n)
{
    return n > f->size || f->position > f->size - n ? 1242 : 0;
}

struct LoadBuffer {
    const unsigned char *data;
    size_t length;
};

static const char *LoadReader(lua_State *L, void *data, size_t *size)
{
    LoadBuffer *b = (LoadBuffer *)data;
    if (!b->data) return nullptr;
    const char *p = (const char *)b->data;
    *size = b->length;
    b->data = nullptr;
    return p;
}

// Loads a dump through the checking loader and pushes the function.
static int LoadDump(lua_State *L, const unsigned char *data, size_t n)
{
    LoadBuffer b = {data, n};
    int top = lua_gettop(L);
    int code = lua_load(L, LoadReader, &b, "=ReadFunction");
    if (code) lua_settop(L, top);
    return code;
}

static int HexValue(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads n bytes of the file into a new allocation.
static int ReadBlock(FileNode *f, uint64_t n, unsigned char **out)
{
    int code = Available(f, n);
    if (code) return code;
    unsigned char *data = (unsigned char *)MemAlloc(n ? (size_t)n : 1, 0);
    if (!data) return 1000;
    if ((code = DosReadBytes(f, data, (size_t)n)) != 0) {
        MemFree(data);
        return code;
    }
    *out = data;
    return 0;
}

static int ReadBinaryBody(lua_State *L, FileNode *f, uint32_t n)
{
    unsigned char *data;
    int code = ReadBlock(f, n, &data);
    if (code) return code;
    code = LoadDump(L, data, n);
    MemFree(data);
    return code;
}

// A Base64 body whose eight hexadecimal length digits have been read.
static int ReadBase64Body(lua_State *L, FileNode *f, const unsigned char digits[8])
{
    uint64_t n = 0;
    for (int i = 0; i < 8; i++) {
        int v = HexValue(digits[i]);
        if (v < 0) return 1322;
        n = n * 16 + (uint64_t)v;
    }
    unsigned char *text;
    int code = ReadBlock(f, n, &text);
    if (code) return code;
    unsigned char *data = (unsigned char *)MemAlloc((size_t)(n / 4 * 3 + 3), 0);
    if (!data) {
        MemFree(text);
        return 1000;
    }
    size_t length;
    code = DecodeBase64(text, (size_t)n, data, &length);
    MemFree(text);
    if (!code) code = LoadDump(L, data, length);
    MemFree(data);
    return code;
}

// A function value inside a table: written in the binary kind, or in the Base64 kind by a
// WriteTable with the base64 flag. A binary body's dump begins with ESC, which is no
// hexadecimal digit, so eight digits in a row can only start a Base64 body.
static int ReadTableFunction(lua_State *L, FileNode *f)
{
    unsigned char head[8];
    int code = DosReadBytes(f, head, 4);
    if (code) return code;
    int hex = 1;
    for (int i = 0; i < 4; i++) hex = hex && HexValue(head[i]) >= 0;
    if (hex && Available(f, 4) == 0) {
        uint64_t at = f->position;
        if ((code = DosReadBytes(f, head + 4, 4)) != 0) return code;
        for (int i = 4; i < 8; i++) hex = hex && HexValue(head[i]) >= 0;
        if (hex) return ReadBase64Body(L, f, head);
        FSeek(f->fh, (int64_t)at, FSEEK_START);
        f->position = at;
    }
    uint32_t n = ((uint32_t)head[0] << 24) | ((uint32_t)head[1] << 16) | ((uint32_t)head[2] << 8) | head[3];
    return ReadBinaryBody(L, f, n);
}

// Reads a string of length n and pushes it.
static int PushReadString(lua_State *L, FileNode *f, uint32_t n)
{
    int code = Available(f, n);
    if (code) return code;
    char local[SER_MAX_KEY + 1];
    char *data = local;
    if (n > SER_MAX_KEY) {
        data = (char *)MemAlloc(n, 0);
        if (!data) return 1000;
    }
    code = DosReadBytes(f, data, n);
    if (!code) lua_pushlstring(L, data, n);
    if (data != local) MemFree(data);
    return code;
}

// Reads a table body and pushes the table.
static int ReadTableBody(lua_State *L, FileNode *f, int depth)
{
    if (depth > SER_MAX_DEPTH || !lua_checkstack(L, 6)) return 1328;
    lua_newtable(L);
    int t = lua_gettop(L);
    for (;;) {
        int type, code;
        if ((code = ReadByte(f, &type)) != 0) return code;
        if (type == SER_END) return 0;
        if (type == SER_NUMBER) {
            double d;
            if ((code = DosReadDouble(f, &d)) != 0) return code;
            lua_pushnumber(L, d);
        } else if (type == SER_STRING) {
            uint32_t n;
            if ((code = ReadBE32(f, &n)) != 0) return code;
            if (n > SER_MAX_KEY) return 1055;
            if ((code = PushReadString(L, f, n)) != 0) return code;
        } else {
            return 1328;   // no key type
        }
        if ((code = ReadByte(f, &type)) != 0) return code;
        switch (type) {
        case SER_NUMBER: {
            double d;
            if ((code = DosReadDouble(f, &d)) != 0) return code;
            lua_pushnumber(L, d);
            break;
        }
        case SER_STRING: {
            uint32_t n;
            if ((code = ReadBE32(f, &n)) != 0) return code;
            code = PushReadString(L, f, n);
            break;
        }
        case SER_TABLE:
            code = ReadTableBody(L, f, depth + 1);
            break;
        case SER_FUNCTION:
            code = ReadTableFunction(L, f);
            break;
        default:
            return 1328;   // no value type
        }
        if (code) return code;
        // A number key that is not a number (NaN) cannot index a table.
        if (lua_type(L, -2) == LUA_TNUMBER && lua_tonumber(L, -2) != lua_tonumber(L, -2)) return 1328;
        lua_rawset(L, t);
    }
}

// ReadTable(file)
int DosReadTable(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetReadableFileArg(L, 1, &f);
    if (code) return code;
    char magic[4];
    if ((code = DosReadBytes(f, magic, 4)) != 0) return code;
    if (memcmp(magic, "KVT0", 4) != 0) return 1328;
    int top = lua_gettop(L);
    code = ReadTableBody(L, f, 0);
    if (code) {
        lua_settop(L, top);
        return code;
    }
    return 1;
}

// ReadFunction(file)
int DosReadFunction(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetReadableFileArg(L, 1, &f);
    if (code) return code;
    char magic[4];
    if ((code = DosReadBytes(f, magic, 4)) != 0) return code;
    if (memcmp(magic, "KVF0", 4) == 0) {
        uint32_t n;
        if ((code = ReadBE32(f, &n)) != 0) return code;
        code = ReadBinaryBody(L, f, n);
    } else if (memcmp(magic, "KVF1", 4) == 0) {
        unsigned char digits[8];
        if ((code = DosReadBytes(f, digits, 8)) != 0) return code;
        code = ReadBase64Body(L, f, digits);
    } else {
        return 1322;
    }
    return code ? code : 1;
}

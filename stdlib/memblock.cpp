// The memblock library: raw byte blocks that scripts allocate, read and write at byte offsets
// (numbers big-endian), fill, copy, move to and from open files, and dump in hexadecimal.
// Every range check is done in 64 bits, so no offset or count can wrap around the block's size.
#include <cctype>
#include <cstring>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "stdlib/dos.h"
#include "stdlib/memblock.h"

// Type constants of the system library.
enum { MB_INTEGER = 1, MB_STRING = 3, MB_SHORT = 6, MB_BYTE = 7 };

struct MemBlock {
    MemBlock *next;
    ObjectId id;
    int32_t size;
    unsigned char *data;
};

static MemBlock *MemBlocks = nullptr;

static int GetMemBlock(ObjectId id, MemBlock **out)
{
    for (MemBlock *b = MemBlocks; b; b = b->next) {
        if (ObjectIdMatches(b->id, id)) {
            *out = b;
            return 0;
        }
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1180;
}

static void FreeMemBlock(MemBlock *block)
{
    for (MemBlock **p = &MemBlocks; *p; p = &(*p)->next) {
        if (*p == block) {
            *p = block->next;
            break;
        }
    }
    MemFree(block->data);
    MemFree(block);
}

int CountMemBlocks(void)
{
    int n = 0;
    for (MemBlock *b = MemBlocks; b; b = b->next) n++;
    return n;
}

int GetMemBlockSize(ObjectId id, int32_t *size)
{
    MemBlock *b;
    int code = GetMemBlock(id, &b);
    if (!code) *size = b->size;
    return code;
}

// 1 when [offset, offset + count) lies inside the block.
static int InBlock(const MemBlock *b, int64_t offset, int64_t count)
{
    return offset >= 0 && count >= 0 && offset + count <= (int64_t)b->size;
}

static int TypeWidth(int type)
{
    switch (type) {
    case MB_INTEGER: return 4;
    case MB_SHORT: return 2;
    case MB_BYTE: return 1;
    default: return 0;
    }
}

// AllocMem(id or Nil, size)
static int MbAllocMem(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int32_t size = luaL_checkinteger(L, 2);
    if (size < 0) return 1055;
    if (!isNil) {
        ObjectId id = {number, nullptr};
        MemBlock *old;
        if (GetMemBlock(id, &old) == 0) FreeMemBlock(old);
    }
    if (size == 0) return 1000;
    MemBlock *b = (MemBlock *)MemAlloc(sizeof(MemBlock), 1);
    if (!b) return 1000;
    b->data = (unsigned char *)MemAlloc((size_t)size, 0);
    if (!b->data) {
        MemFree(b);
        return 1000;
    }
    b->size = size;
    b->id.number = isNil ? 0 : number;
    b->id.handle = isNil ? b : nullptr;
    MemBlock **p = &MemBlocks;
    while (*p) p = &(*p)->next;
    *p = b;
    if (isNil) {
        lua_pushlightuserdata(L, b);
        return 1;
    }
    return 0;
}

static int MbFreeMem(lua_State *L)
{
    CheckArgs(L, 1, 1);
    MemBlock *b;
    int code = GetMemBlock(GetObjectIdArg(L, 1), &b);
    if (code) return code;
    FreeMemBlock(b);
    return 0;
}

// Poke(id, offset, value [, type = #INTEGER])
static int MbPoke(lua_State *L)
{
    CheckArgs(L, 3, 4);
    MemBlock *b;
    int code = GetMemBlock(GetObjectIdArg(L, 1), &b);
    if (code) return code;
    int64_t offset = luaL_checkinteger(L, 2);
    int type = luaL_optinteger(L, 4, MB_INTEGER);
    if (type == MB_STRING) {
        size_t len;
        const char *s = luaL_checklstring(L, 3, &len);
        if (!InBlock(b, offset, (int64_t)len + 1)) return 1146;
        memcpy(b->data + offset, s, len);
        b->data[offset + (int64_t)len] = 0;
        return 0;
    }
    int width = TypeWidth(type);
    if (!width) return 1055;
    uint32_t v = (uint32_t)luaL_checkinteger(L, 3);
    if (!InBlock(b, offset, width)) return 1146;
    PutBigEndian(b->data + offset, v, width);
    return 0;
}

// Peek(id, offset [, type = #INTEGER [, length = 0]])
static int MbPeek(lua_State *L)
{
    CheckArgs(L, 2, 4);
    MemBlock *b;
    int code = GetMemBlock(GetObjectIdArg(L, 1), &b);
    if (code) return code;
    int64_t offset = luaL_checkinteger(L, 2);
    int type = luaL_optinteger(L, 3, MB_INTEGER);
    if (type == MB_STRING) {
        int64_t length = luaL_optinteger(L, 4, 0);
        if (length < 0) return 1055;
        if (length > 0) {
            if (!InBlock(b, offset, length)) return 1146;
            lua_pushlstring(L, (const char *)b->data + offset, (size_t)length);
            return 1;
        }
        if (!InBlock(b, offset, 1)) return 1146;
        int64_t end = offset;
        while (end < b->size) {
            int c = b->data[end];
            if (!isgraph(c) && c != ' ' && c != '\n' && c != '\t' && c != '\r') break;
            end++;
        }
        lua_pushlstring(L, (const char *)b->data + offset, (size_t)(end - offset));
        return 1;
    }
    int width = TypeWidth(type);
    if (!width) return 1055;
    if (!InBlock(b, offset, width)) return 1146;
    lua_pushnumber(L, (double)GetBigEndian(b->data + offset, width));
    return 1;
}

// FillMem(id, value, count [, offset = 0 [, type = #BYTE]])
static int MbFillMem(lua_State *L)
{
    CheckArgs(L, 3, 5);
    MemBlock *b;
    int code = GetMemBlock(GetObjectIdArg(L, 1), &b);
    if (code) return code;
    uint32_t value = (uint32_t)luaL_checkinteger(L, 2);
    int64_t count = luaL_checkinteger(L, 3);
    int64_t offset = luaL_optinteger(L, 4, 0);
    int type = luaL_optinteger(L, 5, MB_BYTE);
    int width = TypeWidth(type);
    if (!width) return 1055;
    if (count < 0) return 1055;
    if (offset % width != 0 || count % width != 0) return 1055;
    if (!InBlock(b, offset, count)) return 1146;
    for (int64_t at = offset; at + width <= offset + count; at += width)
        PutBigEndian(b->data + at, value, width);
    return 0;
}

// CopyMem(source, destination, count [, source offset = 0 [, destination offset = 0]])
static int MbCopyMem(lua_State *L)
{
    CheckArgs(L, 3, 5);
    MemBlock *src, *dst;
    int code = GetMemBlock(GetObjectIdArg(L, 1), &src);
    if (code) return code;
    if ((code = GetMemBlock(GetObjectIdArg(L, 2), &dst)) != 0) return code;
    int64_t count = luaL_checkinteger(L, 3);
    int64_t srcOffset = luaL_optinteger(L, 4, 0);
    int64_t dstOffset = luaL_optinteger(L, 5, 0);
    if (src == dst) return 1055;
    if (count < 0) return 1055;
    if (!InBlock(src, srcOffset, count) || !InBlock(dst, dstOffset, count)) return 1146;
    if (count > 0) memcpy(dst->data + dstOffset, src->data + srcOffset, (size_t)count);
    return 0;
}

// ReadMem(id, file, count [, offset = 0])
static int MbReadMem(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int64_t count = luaL_checkinteger(L, 3);
    int64_t offset = luaL_optinteger(L, 4, 0);
    if (offset < 0 || count < 0) return 1055;
    FileNode *f;
    int code = GetFileArg(L, 2, &f);
    if (code) return code;
    MemBlock *b;
    if ((code = GetMemBlock(GetObjectIdArg(L, 1), &b)) != 0) return code;
    if ((code = CheckReadAccess(f)) != 0) return code;
    if (!InBlock(b, offset, count)) return 1146;
    if (count == 0) return 0;
    code = DosReadBytes(f, b->data + offset, (size_t)count);
    return code == 1242 ? 1009 : code;   // bytes the file does not hold: a short read
}

// WriteMem(id, file, count [, offset = 0])
static int MbWriteMem(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int64_t count = luaL_checkinteger(L, 3);
    int64_t offset = luaL_optinteger(L, 4, 0);
    if (offset < 0 || count < 0) return 1055;
    MemBlock *b;
    int code = GetMemBlock(GetObjectIdArg(L, 1), &b);
    if (code) return code;
    FileNode *f;
    if ((code = GetWritableFileArg(L, 2, &f)) != 0) return code;
    if (!InBlock(b, offset, count)) return 1146;
    if (count == 0) return 0;
    return DosWriteBytes(f, b->data + offset, (size_t)count);
}

// DumpMem(id [, length = 0 (to the end) [, offset = 0]])
static int MbDumpMem(lua_State *L)
{
    CheckArgs(L, 1, 3);
    MemBlock *b;
    int code = GetMemBlock(GetObjectIdArg(L, 1), &b);
    if (code) return code;
    int64_t length = luaL_optinteger(L, 2, 0);
    int64_t offset = luaL_optinteger(L, 3, 0);
    if (offset < 0 || length < 0) return 1055;
    if (offset > b->size) return 1146;
    if (length == 0) length = b->size - offset;   // from the offset to the end
    if (!InBlock(b, offset, length)) return 1146;
    for (int64_t line = 0; line < length; line += 16) {
        int64_t n = length - line < 16 ? length - line : 16;
        const unsigned char *p = b->data + offset + line;
        OsPrintF("%.8x: ", (unsigned)(offset + line));
        for (int64_t i = 0; i < n; i++) OsPrintF("%.2x ", p[i]);
        for (int64_t i = n; i < 16; i++) OsPrintF("   ");
        for (int64_t i = 0; i < n; i++) OsPrintF("%c", isprint(p[i]) ? p[i] : '.');
        OsPrintF("\n");
    }
    return 0;
}

static const luaL_reg MemBlockCommands[] = {
    {"AllocMem", MbAllocMem},
    {"FreeMem", MbFreeMem},
    {"Poke", MbPoke},
    {"Peek", MbPeek},
    {"FillMem", MbFillMem},
    {"CopyMem", MbCopyMem},
    {"ReadMem", MbReadMem},
    {"WriteMem", MbWriteMem},
    {"DumpMem", MbDumpMem},
    {nullptr, nullptr},
};

int OpenMemBlockLib(lua_State *L)
{
    luaL_openlib(L, nullptr, MemBlockCommands, 0);
    return RegisterCommandTable(MemBlockCommands, "memblock");
}

void FreeAllMemBlocks(lua_State *L)
{
    while (MemBlocks) FreeMemBlock(MemBlocks);
}

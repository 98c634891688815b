// Open files and their contents: opening, closing, seeking, reading and writing bytes, lines,
// strings and big-endian numbers.
#include <cstring>

#include "runtime/errors.h"
#include "runtime/memory.h"
#include "stdlib/dos.h"

// OpenFile(id or Nil, path [, mode = #MODE_READ])
int DosOpenFile(lua_State *L)
{
    CheckArgs(L, 2, 3);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int mode = luaL_optinteger(L, 3, DOS_MODE_READ);
    int access;
    const char *path;
    switch (mode) {
    case DOS_MODE_READ:
        access = FMODE_READ;
        path = ResolveLinkedFileArg(L, 2, 0, nullptr);
        break;
    case DOS_MODE_WRITE:
        access = FMODE_WRITE;
        path = luaL_checkstring(L, 2);
        break;
    case DOS_MODE_READWRITE:
        access = FMODE_READWRITE;
        path = luaL_checkstring(L, 2);
        break;
    default:
        return 1055;
    }
    if (!*path) return 1055;

    if (!isNil) {
        ObjectId id = {number, nullptr};
        FileNode *old;
        // The old file's last bytes may fail to reach the disk: that is told, naming it, and
        // the new file is not opened.
        if (FindFile(id, &old) == 0) {
            int err = FreeFileNode(old);
            if (err) return err;
        }
    }
    PrintVerbose(GetErrorString(MSG_OPENING_FILE), path, 1);
    SetErrorString(path);
    FileHandle *fh = FOpen(path, access);
    if (!fh) {
        PrintVerboseFailed();
        return 1045;
    }
    FSeek(fh, 0, FSEEK_END);
    int64_t size = FSeek(fh, 0, FSEEK_START);
    FileNode *f = (FileNode *)MemAlloc(sizeof(FileNode), 1);
    size_t pathSize = strlen(path) + 1;
    char *pathCopy = (char *)MemAlloc(pathSize, 0);
    if (!f || !pathCopy) {
        MemFree(f);
        MemFree(pathCopy);
        FClose(fh);
        PrintVerboseFailed();
        return 1000;
    }
    f->id.number = isNil ? 0 : number;
    f->id.handle = isNil ? f : nullptr;
    f->mode = mode;
    f->access = access;
    f->size = size > 0 ? (uint64_t)size : 0;
    f->fh = fh;
    memcpy(pathCopy, path, pathSize);
    f->path = pathCopy;
    FileNode **p = &DosFiles;
    while (*p) p = &(*p)->next;
    *p = f;
    PrintVerboseDone();
    if (isNil) {
        lua_pushlightuserdata(L, f);
        return 1;
    }
    return 0;
}

int DosCloseFile(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetFileArg(L, 1, &f);
    if (code) return code;
    // Buffered data that cannot be written at the close is a failed write.
    return FreeFileNode(f);
}

int DosEof(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetFileArg(L, 1, &f);
    if (code) return code;
    lua_pushnumber(L, f->position >= f->size ? 1 : 0);
    return 1;
}

int DosFilePos(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetFileArg(L, 1, &f);
    if (code) return code;
    lua_pushnumber(L, (double)f->position);
    return 1;
}

int DosFileLength(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetFileArg(L, 1, &f);
    if (code) return code;
    lua_pushnumber(L, (double)f->size);
    return 1;
}

int DosFlushFile(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetFileArg(L, 1, &f);
    if (code) return code;
    FFlush(f->fh);
    // A flush that could not write the buffered bytes is a failed write.
    if (f->fh->stream && ferror(f->fh->stream)) {
        clearerr(f->fh->stream);
        return 1005;
    }
    return 0;
}

int DosSetIOMode(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int mode = luaL_checkinteger(L, 1);
    if (mode != DOS_IO_BUFFERED && mode != DOS_IO_UNBUFFERED) return 1055;
    DosIoMode = mode;
    return 0;
}

// Seek(file, position): #EOF (-1) is the end.
int DosSeek(lua_State *L)
{
    CheckArgs(L, 2, 2);
    FileNode *f;
    int code = GetFileArg(L, 1, &f);
    if (code) return code;
    double d = luaL_checknumber(L, 2);
    if (!(d >= -9.2e18 && d <= 9.2e18)) return 1076;
    int64_t pos = (int64_t)d;
    if (pos == -1) pos = (int64_t)f->size;
    if (pos < 0 || (uint64_t)pos > f->size) return 1076;
    FSeek(f->fh, pos, FSEEK_START);
    f->position = (uint64_t)pos;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Reading

// ReadChr, ReadShort and ReadInt: an unsigned byte, an unsigned 16-bit or a signed 32-bit
// big-endian number.
static int ReadNumber(lua_State *L, int width)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetReadableFileArg(L, 1, &f);
    if (code) return code;
    uint64_t v;
    if ((code = DosReadNumber(f, width, &v)) != 0) return code;
    lua_pushnumber(L, width == 4 ? (double)(int32_t)(uint32_t)v : (double)v);
    return 1;
}

int DosReadChr(lua_State *L) { return ReadNumber(L, 1); }
int DosReadShort(lua_State *L) { return ReadNumber(L, 2); }
int DosReadInt(lua_State *L) { return ReadNumber(L, 4); }

int DosReadFloat(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetReadableFileArg(L, 1, &f);
    if (code) return code;
    double d;
    if ((code = DosReadDouble(f, &d)) != 0) return code;
    lua_pushnumber(L, d);
    return 1;
}

int DosReadString(lua_State *L)
{
    CheckArgs(L, 2, 2);
    FileNode *f;
    int code = GetReadableFileArg(L, 1, &f);
    if (code) return code;
    double d = luaL_checknumber(L, 2);
    if (!(d >= 1)) return d < 0 ? 1055 : 1000;
    if (d > (double)f->size) return 1242;
    size_t n = (size_t)d;
    if (f->position > f->size - n) return 1242;
    char *buffer = (char *)MemAlloc(n, 0);
    if (!buffer) return 1000;
    code = DosReadBytes(f, buffer, n);
    if (!code) lua_pushlstring(L, buffer, n);
    MemFree(buffer);
    return code ? code : 1;
}

// ReadLine(file): bytes up to a line feed or the end; carriage returns dropped. An empty line
// is a string of one zero byte.
int DosReadLine(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FileNode *f;
    int code = GetReadableFileArg(L, 1, &f);
    if (code) return code;
    if (f->position >= f->size) return 1242;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    size_t length = 0;
    while (f->position < f->size) {
        int c;
        if (DosIoMode == DOS_IO_UNBUFFERED) {
            unsigned char byte;
            c = FReadBlock(f->fh, &byte, 1) == 1 ? byte : -1;
        } else {
            c = FGetC(f->fh);
        }
        if (c < 0) {
            luaL_pushresult(&b);
            lua_pop(L, 1);
            return 1009;
        }
        f->position++;
        if (c == 10) break;
        if (c == 13) continue;
        luaL_addchar(&b, c);
        length++;
    }
    if (length == 0) luaL_addchar(&b, 0);
    luaL_pushresult(&b);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Writing

// WriteChr, WriteShort and WriteInt: the low byte, 16 or 32 bits of the integer, big-endian.
static int WriteNumber(lua_State *L, int width)
{
    CheckArgs(L, 2, 2);
    FileNode *f;
    int code = GetWritableFileArg(L, 1, &f);
    if (code) return code;
    return DosWriteNumber(f, (uint32_t)luaL_checkinteger(L, 2), width);
}

int DosWriteChr(lua_State *L) { return WriteNumber(L, 1); }
int DosWriteShort(lua_State *L) { return WriteNumber(L, 2); }
int DosWriteInt(lua_State *L) { return WriteNumber(L, 4); }

int DosWriteFloat(lua_State *L)
{
    CheckArgs(L, 2, 2);
    FileNode *f;
    int code = GetWritableFileArg(L, 1, &f);
    if (code) return code;
    return DosWriteDouble(f, luaL_checknumber(L, 2));
}

int DosWriteString(lua_State *L)
{
    CheckArgs(L, 2, 3);
    FileNode *f;
    int code = GetWritableFileArg(L, 1, &f);
    if (code) return code;
    size_t len;
    const char *s = luaL_checklstring(L, 2, &len);
    double n = luaL_optnumber(L, 3, 0);
    if (n < 0) return 1055;
    if (n > (double)len) return 1245;
    size_t count = n >= 1 ? (size_t)n : len;
    return DosWriteBytes(f, s, count);
}

// WriteLine(file, text): the text and a line feed; a failed write is reported like every other.
int DosWriteLine(lua_State *L)
{
    CheckArgs(L, 2, 2);
    FileNode *f;
    int code = GetWritableFileArg(L, 1, &f);
    if (code) return code;
    size_t len;
    const char *s = luaL_checklstring(L, 2, &len);
    if ((code = DosWriteBytes(f, s, len)) != 0) return code;
    return DosWriteBytes(f, "\n", 1);
}

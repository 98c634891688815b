// Path and attribute commands of the dos library: existence, sizes, path parts, directories,
// volumes, renaming, attributes and dates, CRC-32, temporary and virtual names, the current
// directory, packed files and starting programs.
#include <cstdio>
#include <cstring>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/packfile.h"
#include "stdlib/dos.h"

// A path argument that must not be empty (1055); linked files resolved when resolve is set.
static int NonEmptyPath(lua_State *L, int i, int resolve, char *out, const char **path)
{
    const char *p = DosPathArg(L, i, resolve, out);
    if (!p || !*p) return 1055;
    *path = p;
    return 0;
}

// Examines a file or directory that must exist (1286 with the path as the error string when it
// cannot be locked). *examined (may be none) gets ExamineLock's result; full (may be none, else
// KV_PATH_SIZE bytes) gets the locked object's full path, or the path itself when there is none.
static int ExamineExisting(const char *path, OsFileInfo *info, char *full, int *examined)
{
    FileLock *lock;
    int code = LockExisting(path, &lock);
    if (code) return code;
    int result = ExamineLock(lock, info);
    if (examined) *examined = result;
    if (full && !GetLockPath(lock, full, KV_PATH_SIZE)) snprintf(full, KV_PATH_SIZE, "%s", path);
    UnLockFile(lock);
    return 0;
}

void PushAttributeTable(lua_State *L, const char *key, const char *value, const OsFileInfo *info)
{
    char date[64];
    lua_newtable(L);
    SetFieldString(L, key, value);
    SetFieldInt(L, "type", info->directory ? DOS_TYPE_DIRECTORY : DOS_TYPE_FILE);
    if (!info->directory) SetFieldDouble(L, "size", (double)info->size);
    SetFieldDouble(L, "flags", (double)info->flags);
    FormatDosDate((time_t)info->times[1], date, sizeof(date));
    SetFieldString(L, "time", date);
    FormatDosDate((time_t)info->times[0], date, sizeof(date));
    SetFieldString(L, "lastaccesstime", date);
}

int DosExists(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path;
    int code = NonEmptyPath(L, 1, 1, buffer, &path);
    if (code) return code;
    FileLock *lock = LockFile(path, 0);
    lua_pushnumber(L, lock ? 1 : 0);
    UnLockFile(lock);
    return 1;
}

int DosFileSize(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path;
    int code = NonEmptyPath(L, 1, 1, buffer, &path);
    if (code) return code;
    FileLock *lock = LockFile(path, 0);
    double size = -1;
    if (lock) {
        OsFileInfo info;
        ExamineLock(lock, &info);
        size = (double)info.size;
        UnLockFile(lock);
    }
    lua_pushnumber(L, size);
    return 1;
}

int DosIsDirectory(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 1, buffer);
    if (!path) return 1055;
    OsFileInfo info;
    int examined;
    int code = ExamineExisting(path, &info, nullptr, &examined);
    if (code) return code;
    if (examined) return 1055;
    lua_pushnumber(L, info.directory ? 1 : 0);
    return 1;
}

int DosPathPart(lua_State *L)
{
    CheckArgs(L, 1, 1);
    const char *path = luaL_checkstring(L, 1);
    if (IsVirtualName(path)) return 1055;
    lua_pushlstring(L, path, (size_t)(DirPartEnd(path) - path));
    return 1;
}

int DosFilePart(lua_State *L)
{
    CheckArgs(L, 1, 1);
    lua_pushstring(L, GetFilePart(luaL_checkstring(L, 1)));
    return 1;
}

// FullPath(directory, name): a slash between them unless the directory is empty or ends with a
// slash or a backslash.
int DosFullPath(lua_State *L)
{
    CheckArgs(L, 2, 2);
    size_t dirLen;
    const char *dir = luaL_checklstring(L, 1, &dirLen);
    const char *name = luaL_checkstring(L, 2);
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    luaL_addlstring(&b, dir, dirLen);
    if (dirLen > 0 && dir[dirLen - 1] != '/' && dir[dirLen - 1] != '\\') luaL_addchar(&b, '/');
    luaL_addstring(&b, name);
    luaL_pushresult(&b);
    return 1;
}

int MakeDirectoryPath(const char *path)
{
    char part[KV_PATH_SIZE];
    size_t len = strlen(path);
    if (len == 0 || len >= sizeof(part)) {
        SetErrorString(path);
        return 1084;
    }
    // Every prefix that ends before a separator, then the whole path.
    for (size_t i = 1; i <= len; i++) {
        if (i < len && path[i] != '/' && path[i] != '\\') continue;
        if (path[i - 1] == '/' || path[i - 1] == '\\') continue;
        memcpy(part, path, i);
        part[i] = 0;
        FileLock *lock = LockFile(part, 0);
        if (lock) {
            UnLockFile(lock);
            continue;
        }
        int code = OsMakeDir(part);
        if (code) {
            SetErrorString(path);
            return code;
        }
    }
    return 0;
}

int DosMakeDirectory(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 0, buffer);
    if (!path || IsVirtualName(path)) {
        SetErrorString(luaL_checkstring(L, 1));
        return 1084;
    }
    return MakeDirectoryPath(path);
}

int DosGetVolumeInfo(lua_State *L)
{
    CheckArgs(L, 2, 2);
    char buffer[KV_PATH_SIZE];
    const char *path;
    int code = NonEmptyPath(L, 1, 0, buffer, &path);
    if (code) return code;
    int kind = luaL_checkinteger(L, 2);
    uint64_t freeBytes, usedBytes;
    OsGetVolumeInfo(path, &freeBytes, &usedBytes);
    lua_pushnumber(L, (double)(kind ? freeBytes : usedBytes));
    return 1;
}

int DosGetVolumeName(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path;
    int code = NonEmptyPath(L, 1, 0, buffer, &path);
    if (code) return code;
    char name[KV_PATH_SIZE];
    if (OsGetVolumeName(path, name, sizeof(name)) != 0) {
        SetErrorString(path);
        return 1286;
    }
    lua_pushstring(L, name);
    return 1;
}

int DosChangeDirectory(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 0, buffer);
    if (!path) return 0;
    char *native = OsNativePath(path);
    MemFree(OsChangeDir(native ? native : path));
    MemFree(native);
    return 0;
}

int DosGetCurrentDirectory(lua_State *L)
{
    CheckArgs(L, 0, 0);
    char path[KV_PATH_SIZE];
    FileLock *lock = LockFile("", 0);
    if (!lock || !GetLockPath(lock, path, sizeof(path))) {
        if (!getcwd(path, sizeof(path))) path[0] = 0;
    }
    UnLockFile(lock);
    lua_pushstring(L, path);
    return 1;
}

// Rename(path, new name): the new name's file part replaces the old path's file part; an
// existing file of the new name is never replaced.
int DosRename(lua_State *L)
{
    CheckArgs(L, 2, 2);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 0, buffer);
    const char *newName = luaL_checkstring(L, 2);
    if (!path || !*path || !*newName || IsVirtualName(path) || IsVirtualName(newName)) return 1055;
    const char *part = GetFilePart(newName);
    if (!*part) return 1055;
    char target[KV_PATH_SIZE];
    size_t dirLen = (size_t)(DirPartEnd(path) - path);
    if (dirLen + strlen(part) + 1 > sizeof(target)) return 1145;
    memcpy(target, path, dirLen);
    strcpy(target + dirLen, part);
    return OsRename(path, target) ? 0 : 1145;
}

int DosGetFileAttributes(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 1, buffer);
    if (!path) return 1055;
    OsFileInfo info;
    char full[KV_PATH_SIZE];
    int code = ExamineExisting(path, &info, full, nullptr);
    if (code) return code;
    PushAttributeTable(L, "path", full, &info);
    return 1;
}

// SetFileAttributes(path, {flags, time, lastaccesstime})
int DosSetFileAttributes(lua_State *L)
{
    CheckArgs(L, 2, 2);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 0, buffer);
    luaL_checktable(L, 2);
    if (!path || IsVirtualName(path)) return 1055;
    OsFileInfo info;
    char real[KV_PATH_SIZE];
    int code = ExamineExisting(path, &info, real, nullptr);
    if (code) return code;

    uint32_t flags;
    int found = 0;
    if (GetFieldUInt32(L, 2, "flags", &flags, &found) && !OsSetProtection(real, flags)) return 1282;

    // The dates given replace the file's own: times[1] is the modification, times[0] the access.
    static const struct { const char *key; int index; } dateFields[] = {
        {"time", 1}, {"lastaccesstime", 0},
    };
    int64_t times[2] = {info.times[0], info.times[1]};
    int dated = 0;
    for (const auto &field : dateFields) {
        char text[64];
        time_t t;
        if (!GetFieldStringCopy(L, 2, field.key, text, sizeof(text), &found)) continue;
        if (!ParseDosDate(text, &t)) return 1285;
        times[field.index] = (int64_t)t;
        dated = 1;
    }
    if (dated && !OsSetFileDate(real, times)) return 1283;
    return 0;
}

// CRC32(path): the standard CRC-32 of the file's bytes.
int DosCRC32(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char buffer[KV_PATH_SIZE];
    const char *path;
    int code = NonEmptyPath(L, 1, 1, buffer, &path);
    if (code) return code;
    enum { CRC_BUFFER = 65536 };
    unsigned char *data = (unsigned char *)MemAlloc(CRC_BUFFER, 0);
    if (!data) return 1000;
    FileHandle *fh = FOpen(path, FMODE_READ);
    if (!fh) {
        MemFree(data);
        SetErrorString(path);
        return 1045;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t got;
    while ((got = FReadBlock(fh, data, CRC_BUFFER)) > 0) crc = crc32(crc, data, (uInt)got);
    FClose(fh);
    MemFree(data);
    lua_pushnumber(L, (double)(uint32_t)crc);
    return 1;
}

int DosMatchPattern(lua_State *L)
{
    CheckArgs(L, 2, 2);
    const char *text = luaL_checkstring(L, 1);
    const char *pattern = luaL_checkstring(L, 2);
    if (!OsAllocPattern()) return 1000;
    int match = OsParsePattern(pattern) && OsMatchPattern(pattern, text);
    OsFreePattern();
    lua_pushnumber(L, match ? 1 : 0);
    return 1;
}

int DosGetTempFileName(lua_State *L)
{
    CheckArgs(L, 0, 0);
    char name[KV_PATH_SIZE];
    if (!OsTempFileName(name, sizeof(name))) {
        // A temporary folder that takes no new file (read-only, full) is a failed write.
        SetErrorString(name);
        return 1052;
    }
    int code = AddTempFile(name, nullptr);
    if (code) {
        OsDelete(name);
        return code;
    }
    lua_pushstring(L, name);
    return 1;
}

// DefineVirtualFile(file, offset, size, name): the virtual name of a stretch of a file.
int DosDefineVirtualFile(lua_State *L)
{
    CheckArgs(L, 4, 4);
    char container[KV_PATH_SIZE];
    const char *file = DosPathArg(L, 1, 0, container);   // "PROGDIR:" made a real path
    double offset = luaL_checknumber(L, 2);
    double size = luaL_checknumber(L, 3);
    const char *name = luaL_checkstring(L, 4);
    if (!file || !*file || !(offset >= 0 && offset < 9.2e18) || !(size >= 1 && size <= 4294967295.0))
        return 1055;
    char buffer[KV_PATH_SIZE];
    if (!MakeChunkName(name, buffer, sizeof(buffer), (int64_t)offset, (uint32_t)size, 0, file, nullptr))
        return 1055;
    lua_pushstring(L, buffer);
    return 1;
}

// CompressFile(source, destination) / DecompressFile(source, destination): the packed-file
// commands, with a linked file accepted as the source.
static void ResolveSourceArg(lua_State *L)
{
    const char *source = ResolveLinkedFileArg(L, 1, 0, nullptr);
    lua_pushstring(L, source);
    lua_replace(L, 1);
}

int DosCompressFile(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ResolveSourceArg(L);
    return CompressFileCmd(L);
}

int DosDecompressFile(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ResolveSourceArg(L);
    return DecompressFileCmd(L);
}

// ---------------------------------------------------------------------------------------------
// Starting programs

// Copies a linked program to a temporary file (once per linked name) and returns its path.
static int TempCopyOfLinked(const char *virtualName, const char **out)
{
    const char *existing = FindTempFileFor(virtualName);
    if (existing) {
        *out = existing;
        return 0;
    }
    // The temporary name keeps the linked file's extension.
    const char *own = GetFilePart(virtualName);
    const char *dot = strrchr(own, '.');
    char suffix[64] = "";
    if (dot && strlen(dot) < sizeof(suffix)) strcpy(suffix, dot);
    char temp[KV_PATH_SIZE];
    if (!OsTempFileNameSuffix(temp, sizeof(temp), suffix)) {
        SetErrorString(temp);
        return 1052;
    }
    // The copy is recorded for reuse only once it is complete: a failed copy is removed, so a
    // later run copies again instead of starting a truncated program.
    int code = 0;
    FileHandle *in = FOpen(virtualName, FMODE_READ);
    FileHandle *outFile = in ? FOpen(temp, FMODE_WRITE) : nullptr;
    if (!in) {
        SetErrorString(virtualName);
        code = 1045;
    } else if (!outFile) {
        SetErrorString(temp);
        code = 1052;
    }
    char block[16384];
    size_t got;
    while (!code && (got = FRead(in, block, sizeof(block))) > 0)
        if (FWrite(outFile, block, got) != got) code = 1005;
    if (in) FClose(in);
    if (outFile && !FClose(outFile) && !code) code = 1005;
    if (!code) code = AddTempFile(temp, virtualName);
    if (code) {
        OsDelete(temp);
        return code;
    }
    chmod(temp, 0700);   // a program must be executable to start
    *out = FindTempFileFor(virtualName);
    return 0;
}

static int LaunchCommandLine(lua_State *L, int async)
{
    CheckArgs(L, 1, 1);
    const char *line = luaL_checkstring(L, 1);
    while (*line == ' ' || *line == '\t') line++;
    if (!*line) return 1055;
    char program[KV_PATH_SIZE];
    const char *rest;
    size_t n;
    if (*line == '"') {
        const char *close = strchr(line + 1, '"');
        if (!close) return 1055;
        n = (size_t)(close - line - 1);
        if (n >= sizeof(program)) return 1055;
        memcpy(program, line + 1, n);
        rest = close + 1;
    } else {
        const char *end = line;
        while (*end && *end != ' ' && *end != '\t') end++;
        n = (size_t)(end - line);
        if (n >= sizeof(program)) return 1055;
        memcpy(program, line, n);
        rest = end;
    }
    program[n] = 0;
    if (!*program) return 1055;
    while (*rest == ' ' || *rest == '\t') rest++;
    const char *args = *rest ? rest : nullptr;

    const char *resolved = ResolveLinkedFile(L, program, 0, nullptr);
    const char *path;
    char expanded[KV_PATH_SIZE];
    if (IsVirtualName(resolved)) {
        int code = TempCopyOfLinked(resolved, &path);
        if (code) return code;
    } else {
        path = DosExpandPath(program, expanded);
        if (!path) return 1055;
    }
    return OsLaunch(path, args, async);
}

int DosExecute(lua_State *L)
{
    return LaunchCommandLine(L, 0);
}

int DosRun(lua_State *L)
{
    return LaunchCommandLine(L, 1);
}

// The dos library: its command table, its constants, open and close, the open-file and
// temporary-file lists, path arguments, dates and script callbacks.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <strings.h>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/interpwords.h"
#include "stdlib/dos.h"

FileNode *DosFiles = nullptr;
DirNode *DosDirs = nullptr;
TempFileNode *DosTempFiles = nullptr;
int DosIoMode = DOS_IO_BUFFERED;

// ---------------------------------------------------------------------------------------------
// Open files

int FindFile(ObjectId id, FileNode **out)
{
    for (FileNode *f = DosFiles; f; f = f->next) {
        if (ObjectIdMatches(f->id, id)) {
            *out = f;
            return 0;
        }
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1179;
}

int GetFileArg(lua_State *L, int i, FileNode **out)
{
    return FindFile(GetObjectIdArg(L, i), out);
}

int CheckReadAccess(FileNode *f)
{
    return f->access == FMODE_WRITE ? 1142 : 0;
}

int CheckWriteAccess(FileNode *f)
{
    return f->access == FMODE_READ ? 1141 : 0;
}

int GetReadableFileArg(lua_State *L, int i, FileNode **out)
{
    int code = GetFileArg(L, i, out);
    return code ? code : CheckReadAccess(*out);
}

int GetWritableFileArg(lua_State *L, int i, FileNode **out)
{
    int code = GetFileArg(L, i, out);
    return code ? code : CheckWriteAccess(*out);
}

int DosReadBytes(FileNode *f, void *buffer, size_t n)
{
    if (n > f->size || f->position > f->size - n) return 1242;
    size_t got = DosIoMode == DOS_IO_UNBUFFERED ? FReadBlock(f->fh, buffer, n) : FRead(f->fh, buffer, n);
    f->position += got;
    return got == n ? 0 : 1009;
}

int DosWriteBytes(FileNode *f, const void *buffer, size_t n)
{
    if (n == 0) return 0;
    size_t put = DosIoMode == DOS_IO_UNBUFFERED ? FWriteBlock(f->fh, buffer, n) : FWrite(f->fh, buffer, n);
    f->position += put;
    if (f->position > f->size) f->size = f->position;
    return put == n ? 0 : 1005;
}

void PutBigEndian(unsigned char *out, uint64_t v, int width)
{
    for (int i = width - 1; i >= 0; i--, v >>= 8) out[i] = (unsigned char)v;
}

uint64_t GetBigEndian(const unsigned char *in, int width)
{
    uint64_t v = 0;
    for (int i = 0; i < width; i++) v = (v << 8) | in[i];
    return v;
}

int DosWriteNumber(FileNode *f, uint64_t v, int width)
{
    unsigned char b[8];
    PutBigEndian(b, v, width);
    return DosWriteBytes(f, b, (size_t)width);
}

int DosReadNumber(FileNode *f, int width, uint64_t *v)
{
    unsigned char b[8];
    int code = DosReadBytes(f, b, (size_t)width);
    if (!code) *v = GetBigEndian(b, width);
    return code;
}

int DosWriteDouble(FileNode *f, double d)
{
    uint64_t bits;
    memcpy(&bits, &d, 8);
    return DosWriteNumber(f, bits, 8);
}

int DosReadDouble(FileNode *f, double *d)
{
    uint64_t bits;
    int code = DosReadNumber(f, 8, &bits);
    if (!code) memcpy(d, &bits, 8);
    return code;
}

int FreeFileNode(FileNode *f)
{
    for (FileNode **p = &DosFiles; *p; p = &(*p)->next) {
        if (*p == f) {
            *p = f->next;
            break;
        }
    }
    int err = FClose(f->fh) ? 0 : WriteFailure(f->path);
    MemFree(f->path);
    MemFree(f);
    return err;
}

int CountOpenFiles(void)
{
    int n = 0;
    for (FileNode *f = DosFiles; f; f = f->next) n++;
    return n;
}

int CountOpenDirectories(void)
{
    int n = 0;
    for (DirNode *d = DosDirs; d; d = d->next) n++;
    return n;
}

// ---------------------------------------------------------------------------------------------
// Temporary files

static char *CopyText(const char *text)
{
    if (!text) return nullptr;
    size_t n = strlen(text) + 1;
    char *copy = (char *)MemAlloc(n, 0);
    if (copy) memcpy(copy, text, n);
    return copy;
}

int AddTempFile(const char *path, const char *linkedName)
{
    TempFileNode *t = (TempFileNode *)MemAlloc(sizeof(TempFileNode), 1);
    if (!t) return 1000;
    t->path = CopyText(path);
    t->linkedName = CopyText(linkedName);
    if (!t->path || (linkedName && !t->linkedName)) {
        MemFree(t->path);
        MemFree(t->linkedName);
        MemFree(t);
        return 1000;
    }
    TempFileNode **p = &DosTempFiles;
    while (*p) p = &(*p)->next;
    *p = t;
    return 0;
}

const char *FindTempFileFor(const char *linkedName)
{
    for (TempFileNode *t = DosTempFiles; t; t = t->next)
        if (t->linkedName && strcmp(t->linkedName, linkedName) == 0) return t->path;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Paths

const char *DosExpandPath(const char *name, char *out)
{
    if (strncmp(name, "PROGDIR:", 8) == 0) {
        if (!OsGetExecutablePath(0, nullptr, out, KV_PATH_SIZE)) return nullptr;
        *DirPartEnd(out) = 0;
        if (!AddPart(out, name + 8, KV_PATH_SIZE)) return nullptr;
        return out;
    }
    size_t n = strlen(name);
    if (n >= KV_PATH_SIZE) return nullptr;
    memcpy(out, name, n + 1);
    return out;
}

const char *DosPathArg(lua_State *L, int i, int resolve, char *out)
{
    const char *name = resolve ? ResolveLinkedFileArg(L, i, 0, nullptr) : luaL_checkstring(L, i);
    return DosExpandPath(name, out);
}

int LockExisting(const char *path, FileLock **lock)
{
    *lock = LockFile(path, 0);
    if (*lock) return 0;
    SetErrorString(path);
    return 1286;
}

// ---------------------------------------------------------------------------------------------
// Dates

static const char *const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void FormatDosDate(time_t t, char *out, size_t size)
{
    int d[6];
    OsTimeToDate(t, d);
    int month = d[4] >= 0 && d[4] < 12 ? d[4] : 0;
    snprintf(out, size, "%.2d-%s-%d %.2d:%.2d:%.2d", d[3], MonthNames[month], d[5], d[2], d[1], d[0]);
}

// A run of decimal digits of exactly that many characters; -1 when it is not one.
static int Digits(const char *p, int count)
{
    int v = 0;
    for (int i = 0; i < count; i++) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

int ParseDosDate(const char *text, time_t *t)
{
    // "dd-Mon-yyyy hh:mm:ss": '-' at 2 and 6, ':' at 14 and 17.
    if (strlen(text) != 20 || text[2] != '-' || text[6] != '-' || text[11] != ' ' ||
        text[14] != ':' || text[17] != ':')
        return 0;
    int day = Digits(text, 2), year = Digits(text + 7, 4);
    int hour = Digits(text + 12, 2), minute = Digits(text + 15, 2), second = Digits(text + 18, 2);
    int month = -1;
    for (int m = 0; m < 12; m++)
        if (strncasecmp(text + 3, MonthNames[m], 3) == 0) month = m;
    if (day < 1 || day > 31 || month < 0 || year < 0 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return 0;
    int date[6] = {second, minute, hour, day, month, year};
    time_t r = OsDateToTime(date);
    if (r == 0 || r == (time_t)-1) return 0;
    *t = r;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Callbacks

int CallDosCallback(lua_State *L, int func, double *result, int *stop)
{
    int table = lua_gettop(L);
    lua_pushvalue(L, func);
    lua_pushvalue(L, table);
    SetRuntimeTags(L, RTAG_CALLBACKNEST, 1, 0);
    int code = lua_pcall(L, 1, 1, 0);
    SetRuntimeTags(L, RTAG_CALLBACKNEST, 0, 0);
    *stop = StopFlag ? 1 : 0;
    if (code) {
        lua_settop(L, table - 1);
        return code;
    }
    int err = 0;
    *result = luaL_getnumberresult(L, -1, &err);
    lua_settop(L, table - 1);
    return err;
}

// ---------------------------------------------------------------------------------------------
// The library

static const luaL_reg DosCommands[] = {
    {"OpenFile", DosOpenFile},
    {"Eof", DosEof},
    {"ReadChr", DosReadChr},
    {"ReadLine", DosReadLine},
    {"ReadString", DosReadString},
    {"Seek", DosSeek},
    {"WriteChr", DosWriteChr},
    {"WriteLine", DosWriteLine},
    {"WriteString", DosWriteString},
    {"Exists", DosExists},
    {"FileSize", DosFileSize},
    {"PathPart", DosPathPart},
    {"FilePart", DosFilePart},
    {"MakeDirectory", DosMakeDirectory},
    {"GetVolumeInfo", DosGetVolumeInfo},
    {"DeleteFile", DosDeleteFile},
    {"Execute", DosExecute},
    {"Run", DosRun},
    {"ChangeDirectory", DosChangeDirectory},
    {"GetVolumeName", DosGetVolumeName},
    {"CloseFile", DosCloseFile},
    {"ReadDirectory", DosReadDirectory},
    {"FullPath", DosFullPath},
    {"CopyFile", DosCopyFile},
    {"Rename", DosRename},
    {"IsDirectory", DosIsDirectory},
    {"CRC32", DosCRC32},
    {"WriteShort", DosWriteShort},
    {"WriteInt", DosWriteInt},
    {"WriteFloat", DosWriteFloat},
    {"ReadShort", DosReadShort},
    {"ReadInt", DosReadInt},
    {"ReadFloat", DosReadFloat},
    {"FilePos", DosFilePos},
    {"MatchPattern", DosMatchPattern},
    {"FlushFile", DosFlushFile},
    {"SetIOMode", DosSetIOMode},
    {"GetFileAttributes", DosGetFileAttributes},
    {"SetFileAttributes", DosSetFileAttributes},
    {"GetTempFileName", DosGetTempFileName},
    {"FileLength", DosFileLength},
    {"CompressFile", DosCompressFile},
    {"DecompressFile", DosDecompressFile},
    {"OpenDirectory", DosOpenDirectory},
    {"CloseDirectory", DosCloseDirectory},
    {"NextDirectoryEntry", DosNextDirectoryEntry},
    {"WriteFunction", DosWriteFunction},
    {"ReadFunction", DosReadFunction},
    {"DefineVirtualFile", DosDefineVirtualFile},
    {"ReadTable", DosReadTable},
    {"WriteTable", DosWriteTable},
    {"GetCurrentDirectory", DosGetCurrentDirectory},
    {nullptr, nullptr},
};

static const luaL_Constant DosConstants[] = {
    {"FREESPACE", nullptr, 1},
    {"USEDSPACE", nullptr, 0},
    {"EOF", nullptr, -1},
    {"MODE_READWRITE", nullptr, 1004},
    {"MODE_WRITE", nullptr, 1006},
    {"MODE_READ", nullptr, 1005},
    {"COPYFILE_STATUS", nullptr, 0},
    {"COPYFILE_OVERWRITE", nullptr, 1},
    {"COPYFILE_UNPROTECT", nullptr, 2},
    {"DELETEFILE_STATUS", nullptr, 0},
    {"DELETEFILE_UNPROTECT", nullptr, 1},
    {"IO_BUFFERED", nullptr, 0},
    {"IO_UNBUFFERED", nullptr, 1},
    {"FILEATTR_NORMAL", nullptr, 65536},
    {"FILEATTR_READ_USR", nullptr, 1},
    {"FILEATTR_WRITE_USR", nullptr, 2},
    {"FILEATTR_DELETE_USR", nullptr, 4},
    {"FILEATTR_EXECUTE_USR", nullptr, 8},
    {"FILEATTR_READ_GRP", nullptr, 512},
    {"FILEATTR_WRITE_GRP", nullptr, 1024},
    {"FILEATTR_EXECUTE_GRP", nullptr, 2048},
    {"FILEATTR_READ_OTH", nullptr, 4096},
    {"FILEATTR_WRITE_OTH", nullptr, 8192},
    {"FILEATTR_EXECUTE_OTH", nullptr, 16384},
    {"FILEATTR_PURE", nullptr, 16},
    {"FILEATTR_ARCHIVE", nullptr, 32},
    {"FILEATTR_SCRIPT", nullptr, 64},
    {"FILEATTR_HIDDEN", nullptr, 128},
    {"FILEATTR_SYSTEM", nullptr, 256},
    {"FILEATTR_READONLY", nullptr, 32768},
    {"DOSTYPE_FILE", nullptr, 0},
    {"DOSTYPE_DIRECTORY", nullptr, 1},
    {nullptr, nullptr, 0},
};

int OpenDosLib(lua_State *L)
{
    luaL_openlib(L, nullptr, DosCommands, 0);
    int err = RegisterCommandTable(DosCommands, "dos");
    if (err) return err;
    luaL_registerconstants(L, DosConstants);
    return 0;
}

void CloseDosLib(lua_State *L)
{
    // Files the script left open are closed now; what could not reach the disk is told.
    while (DosFiles) {
        if (FreeFileNode(DosFiles) != 0) PrintWriteFailure(GetErrorArgString());
    }
    while (DosTempFiles) {
        TempFileNode *t = DosTempFiles;
        DosTempFiles = t->next;
        OsDelete(t->path);
        MemFree(t->path);
        MemFree(t->linkedName);
        MemFree(t);
    }
    while (DosDirs) FreeDirNode(DosDirs);
    DosIoMode = DOS_IO_BUFFERED;
}

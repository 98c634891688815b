// The dos library's records and the words its files share: dos_lib.cpp holds the command table,
// the constants, open and close; dos_files.cpp open files and their contents; dos_paths.cpp the
// path and attribute commands; dos_dirs.cpp directory listings and objects; dos_tree.cpp copying
// and deleting trees; serialise.cpp tables and functions in files. The memblock library reaches
// open files through GetFileArg, GetWritableFileArg, DosReadBytes and DosWriteBytes and uses the
// big-endian helpers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "runtime/filelayer.h"
#include "runtime/handler_support.h"

struct lua_State;

// Script constants used by the code.
enum {
    DOS_MODE_READWRITE = 1004, DOS_MODE_READ = 1005, DOS_MODE_WRITE = 1006,
    DOS_IO_BUFFERED = 0, DOS_IO_UNBUFFERED = 1,
    DOS_FILEATTR_WRITE_USR = 2, DOS_FILEATTR_NORMAL = 65536,
    DOS_COPYFILE_STATUS = 0, DOS_COPYFILE_OVERWRITE = 1, DOS_COPYFILE_UNPROTECT = 2,
    DOS_DELETEFILE_STATUS = 0, DOS_DELETEFILE_UNPROTECT = 1,
    DOS_TYPE_FILE = 0, DOS_TYPE_DIRECTORY = 1,
};

// One open file; a list in creation order.
struct FileNode {
    FileNode *next;
    ObjectId id;
    int mode;               // the script constant given (#MODE_READ ...)
    int access;             // FMODE_READ, FMODE_WRITE or FMODE_READWRITE
    uint64_t position;      // kept by the commands
    uint64_t size;          // length when opened, raised whenever a write passes it
    FileHandle *fh;
    char *path;             // the path it was opened with (for the message of a failed close)
};

// One open directory; a list in creation order.
struct DirNode {
    DirNode *next;
    ObjectId id;
    int endReached;
    FileLock *lock;
};

// A temporary file deleted at library close.
struct TempFileNode {
    TempFileNode *next;
    char *path;
    char *linkedName;       // the linked file it was made from, or none
};

// dos_lib.cpp: the lists and the I/O mode.
extern FileNode *DosFiles;
extern DirNode *DosDirs;
extern TempFileNode *DosTempFiles;
extern int DosIoMode;

// Looks an open file up: 0, 1179 "Could not find file handle %ld!" (error number set) or 1041.
int FindFile(ObjectId id, FileNode **out);
// The open file of argument i (lookup errors are returned as codes).
int GetFileArg(lua_State *L, int i, FileNode **out);
// 1142 for a write-only file, 1141 for a read-only one, else 0.
int CheckReadAccess(FileNode *f);
int CheckWriteAccess(FileNode *f);
// The open file of argument i, checked for reading or for writing (GetFileArg, then
// CheckReadAccess or CheckWriteAccess).
int GetReadableFileArg(lua_State *L, int i, FileNode **out);
int GetWritableFileArg(lua_State *L, int i, FileNode **out);
// Reads exactly n bytes at the file's position: 1242 when they pass the size, 1009 on a short
// read (the position follows the bytes read). Uses the block calls in unbuffered mode.
int DosReadBytes(FileNode *f, void *buffer, size_t n);
// Writes n bytes at the position, raising the size when passed: 1005 on a short write.
int DosWriteBytes(FileNode *f, const void *buffer, size_t n);
// Big-endian numbers: the low `width` bytes (1 to 8) of v stored at out, and read back.
void PutBigEndian(unsigned char *out, uint64_t v, int width);
uint64_t GetBigEndian(const unsigned char *in, int width);
// A big-endian number of width bytes at the file's position, written or read (*v is set only
// when all its bytes were read); doubles as the 8 bytes of their bit pattern.
int DosWriteNumber(FileNode *f, uint64_t v, int width);
int DosReadNumber(FileNode *f, int width, uint64_t *v);
int DosWriteDouble(FileNode *f, double d);
int DosReadDouble(FileNode *f, double *d);
// Closes and frees an open file (unlinked first). 0, or 1005 when the close failed (the file's
// path is then the error string).
int FreeFileNode(FileNode *f);
int CountOpenFiles(void);
int CountOpenDirectories(void);

// Records a temporary file to delete at close; 0 or 1000.
int AddTempFile(const char *path, const char *linkedName);
// The temporary copy made earlier for that linked file, or none.
const char *FindTempFileFor(const char *linkedName);

// A path argument ready for the file layer's locks: a "PROGDIR:" name becomes the path in the
// executable's directory; with resolve set, a linked file's name becomes its virtual name.
// Returns out (KV_PATH_SIZE bytes), or none when it does not fit.
const char *DosPathArg(lua_State *L, int i, int resolve, char *out);
const char *DosExpandPath(const char *name, char *out);
// Locks a file or directory that must exist: 0, or 1286 with the path as the error string.
int LockExisting(const char *path, FileLock **lock);

// Dates of the dos library: "%.2d-%s-%d %.2d:%.2d:%.2d" in local time (32 bytes suffice).
void FormatDosDate(time_t t, char *out, size_t size);
// 1 and *t on success; 0 when the text does not have that shape exactly.
int ParseDosDate(const char *text, time_t *t);

// Calls the callback at stack index func with the table on the stack top (popped) in a protected
// call, the callback nesting raised. Returns 0 with *result = its number, the error the callback
// raised, or 1190 when it returned no number. *stop becomes 1 when the stop flag is set after it.
int CallDosCallback(lua_State *L, int func, double *result, int *stop);

// dos_files.cpp
int DosOpenFile(lua_State *L);
int DosEof(lua_State *L);
int DosReadChr(lua_State *L);
int DosReadLine(lua_State *L);
int DosReadString(lua_State *L);
int DosSeek(lua_State *L);
int DosWriteChr(lua_State *L);
int DosWriteLine(lua_State *L);
int DosWriteString(lua_State *L);
int DosCloseFile(lua_State *L);
int DosWriteShort(lua_State *L);
int DosWriteInt(lua_State *L);
int DosWriteFloat(lua_State *L);
int DosReadShort(lua_State *L);
int DosReadInt(lua_State *L);
int DosReadFloat(lua_State *L);
int DosFilePos(lua_State *L);
int DosFlushFile(lua_State *L);
int DosSetIOMode(lua_State *L);
int DosFileLength(lua_State *L);

// dos_paths.cpp
int DosExists(lua_State *L);
int DosFileSize(lua_State *L);
int DosPathPart(lua_State *L);
int DosFilePart(lua_State *L);
int DosMakeDirectory(lua_State *L);
int DosGetVolumeInfo(lua_State *L);
int DosExecute(lua_State *L);
int DosRun(lua_State *L);
int DosChangeDirectory(lua_State *L);
int DosGetVolumeName(lua_State *L);
int DosFullPath(lua_State *L);
int DosRename(lua_State *L);
int DosIsDirectory(lua_State *L);
int DosCRC32(lua_State *L);
int DosMatchPattern(lua_State *L);
int DosGetFileAttributes(lua_State *L);
int DosSetFileAttributes(lua_State *L);
int DosGetTempFileName(lua_State *L);
int DosDefineVirtualFile(lua_State *L);
int DosGetCurrentDirectory(lua_State *L);
int DosCompressFile(lua_State *L);
int DosDecompressFile(lua_State *L);
// Creates every missing directory of the path: 0 or 1084.
int MakeDirectoryPath(const char *path);
// Pushes the attribute table of a file: "path" (full path) or "name", and the rest.
void PushAttributeTable(lua_State *L, const char *key, const char *value, const OsFileInfo *info);

// dos_dirs.cpp
int DosReadDirectory(lua_State *L);
int DosOpenDirectory(lua_State *L);
int DosCloseDirectory(lua_State *L);
int DosNextDirectoryEntry(lua_State *L);
void FreeDirNode(DirNode *d);

// dos_tree.cpp
int DosDeleteFile(lua_State *L);
int DosCopyFile(lua_State *L);

// serialise.cpp
int DosWriteTable(lua_State *L);
int DosReadTable(lua_State *L);
int DosWriteFunction(lua_State *L);
int DosReadFunction(lua_State *L);

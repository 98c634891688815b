// The file layer: every read and write of file contents by the program's own code goes through
// a FileHandle, which stands for a plain file or for a section of another file or of memory.
// Linked files of an applet are such sections and are named by virtual names beginning with
// ":::chunk"; names beginning with "PROGDIR:" are resolved to the executable's directory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/os.h"

struct lua_State;

// Open modes of FOpen. FMODE_REPLACE is a save: the bytes go to a new file beside the
// destination, which takes the destination's place at FClose only once every write and the close
// succeeded (the old file keeps its permissions); FDiscard, a failed write or a failed close
// leave the old file whole and no new file behind. Where no new file can be made beside it (a
// symbolic link, a device, a folder that refuses new files) the destination is written in place.
enum { FMODE_READ = 0, FMODE_WRITE = 1, FMODE_READWRITE = 2, FMODE_REPLACE = 3 };
// Seek origins of FSeek.
enum { FSEEK_CURRENT = 0, FSEEK_START = 1, FSEEK_END = 2 };

struct FileHandle {
    FILE *stream;               // none for a memory section
    int section;                // 1 for a section of a container or of memory
    int64_t start;              // offset of the section in its container (0 for a plain file)
    int64_t size;               // -1 when unknown (files opened for writing)
    int64_t position;           // relative to the section start, or to the start of the file
    int lastWrite;              // the last access was a write
    const unsigned char *memory;  // bytes of a memory section, else none
    int writeFailed;            // a write moved fewer bytes than asked
    OsReplacement *replacement; // FMODE_REPLACE: the new file that is to take the old one's place
};

// Opens a plain file, a "PROGDIR:" name or a ":::chunk" virtual name (read only). Mode 2 creates
// a missing file first. None on failure.
FileHandle *FOpen(const char *name, int mode);
// Closes the stream and frees the handle: 1 on success, 0 when the close or an earlier write
// failed (the handle is freed either way); none gives 0. A save (FMODE_REPLACE) is put in place
// of the old file only on success.
int FClose(FileHandle *fh);
// Closes and frees the handle of a save that is given up: the new file is removed and the old
// one stays as it was (a save written in place stays as far as it got). Any other handle is
// simply closed. None is ignored.
void FDiscard(FileHandle *fh);
// Ends a save: FClose when ok is set (1 once the file is whole and in place, else 0), FDiscard
// and 0 when it is not.
int FCloseSave(FileHandle *fh, int ok);
// Moves within the file or section; returns the position before the call. Targets are clamped
// to the section's start and end.
int64_t FSeek(FileHandle *fh, int64_t offset, int origin);
size_t FRead(FileHandle *fh, void *buffer, size_t n);
size_t FReadBlock(FileHandle *fh, void *buffer, size_t n);
// One byte, or -1 at the end (of the section or the file) or on error.
int FGetC(FileHandle *fh);
size_t FWrite(FileHandle *fh, const void *buffer, size_t n);
size_t FWriteBlock(FileHandle *fh, const void *buffer, size_t n);
// Writes one byte: the byte, or -1 on failure.
int FPutC(FileHandle *fh, int c);
int FFlush(FileHandle *fh);         // 1
int FEof(FileHandle *fh);           // 1 when position >= size

// ---------------------------------------------------------------------------------------------
// Memory sections. A ":::chunkS" name opens only bytes that lie inside a range the program
// registered here; anything else is refused, so a script cannot read arbitrary memory.
// Returns 0 or 1000.
int RegisterMemorySection(const void *base, size_t size);
void UnregisterMemorySection(const void *base);

// ---------------------------------------------------------------------------------------------
// Virtual names and linked files

// Capacity of every path and virtual-name buffer of the runtime.
enum { KV_PATH_SIZE = 1024 };

// Builds the virtual name of a linked file into buffer (size bytes):
//   offset >= 0: ":::chunk<offset>:<size>*<own name>/<container>" (offset is absolute in the
//                container; base is not added)
//   offset == -1: ":::chunkS<base>:<size>*<own name>/<memory address in lower-case hex>"
// The own name is the file part of `name`. Returns buffer, or none when the name does not fit
// (the buffer then holds "").
char *MakeChunkName(const char *name, char *buffer, size_t bufferSize, int64_t offset,
                    uint32_t size, int64_t base, const char *container, const void *memory);

// The parts of a virtual name (ParseChunkName).
struct ChunkNameParts {
    int memory;             // 1 for the ":::chunkS" memory form
    uint64_t offset;        // offset in the container (the base number for the memory form)
    uint64_t size;
    const char *ownName;    // points into the name, at the own name (ends at '/')
    size_t ownLength;
    const char *container;  // points behind the first '/' after the own name
};
// 1 when name is a well-formed virtual name, else 0.
int ParseChunkName(const char *name, ChunkNameParts *parts);

// One file linked into the running applet (a list owned by the applet record).
struct LinkedFileEntry {
    LinkedFileEntry *next;
    char name[KV_PATH_SIZE];        // fonts carry the prefix "::font:"
    char container[KV_PATH_SIZE];   // path of the file that holds the data ("" = the script)
    int32_t offset;                 // offset of the data relative to the applet start
    uint32_t size;
};

// The linked files of the running applet, set by the applet loader: the list, the applet's start
// offset inside its container (the appended-applet offset for an applet appended to the
// executable; 0 for an applet in a file of its own or unpacked to a temporary file) and the
// script path used when an entry's container is empty. The runtime keeps the pointers only;
// SetLinkedFiles(nullptr, 0, nullptr) forgets them.
void SetLinkedFiles(LinkedFileEntry *files, int64_t appletStart, const char *scriptPath);
// The applet's start offset given to SetLinkedFiles (linked offsets inside linked fonts are
// relative to it).
int64_t GetLinkedAppletStart(void);

// The virtual name of a linked file of that name, or the name itself when none is linked. With
// fontFlag set, ".ttf"/".otf" names are plain linked files and any other name is looked up
// (without a trailing ".font") among the "::font:" entries; *fontFound (may be none) becomes 1
// when a font entry matched, else 0. The result lives in the runtime's name buffer until the
// next call.
const char *ResolveLinkedFile(lua_State *L, const char *name, int fontFlag, int *fontFound);
// The same on the string argument at stack index `index`; *linked (may be none) becomes 1 when a
// linked file (or font) was found. Raises 1139 when the argument is no string.
const char *ResolveLinkedFileArg(lua_State *L, int index, int fontFlag, int *linked);

// Non-zero when the name is a ":::chunk" virtual name.
int IsVirtualName(const char *name);

// ---------------------------------------------------------------------------------------------
// Path routines

// The file part: of a virtual name the linked file's own name (in a static buffer); of a path
// shorter than 2 characters the path; of a path ending in '/' or '\' the empty text behind it;
// else the text behind the last '/' or '\', or behind the first ':' when there is none.
const char *GetFilePart(const char *path);
// Pointer behind the directory part: after the last '/' or '\', or after a later ':'; leading
// '/' characters are passed over first.
const char *DirPartEnd(const char *path);
inline char *DirPartEnd(char *path) { return const_cast<char *>(DirPartEnd((const char *)path)); }
// Appends '/' (unless path is empty or ends in '/' or '\') and name to path, a buffer of size
// bytes. 1; 0 when the result would not fit (path is then left unchanged).
int AddPart(char *path, const char *name, size_t size);

// ---------------------------------------------------------------------------------------------
// Locks for directories and file information (used by the dos library). A virtual name gets a
// lock that holds only its name.
struct FileLock {
    OsLockHandle *os;               // none for a virtual name
    char name[KV_PATH_SIZE];
};

FileLock *LockFile(const char *path, int mode);    // none on failure
void UnLockFile(FileLock *lock);                    // none is ignored
// A virtual name: the size written in the name, flags 15 and 16 August 1982 00:00:00 as all
// three dates. Returns 0.
int ExamineLock(FileLock *lock, OsFileInfo *info);
// The next entry of a directory lock: 1, or 0 at the end (always 0 for a virtual name).
int ReadNextDirEntry(FileLock *lock, const char **name, int *isDir, OsFileInfo *info);
// 0 with *isDir = 1 for a directory; a virtual name or a file: error string = the name, *isDir
// = 0, 1250 ("%s is not a directory!").
int CheckDirLock(FileLock *lock, int *isDir);
// The lock's path; for a virtual name the current directory joined with the linked file's own
// name ("unknown" when that is empty). 1, or 0 when it does not fit.
int GetLockPath(FileLock *lock, char *buffer, size_t size);

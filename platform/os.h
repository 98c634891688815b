// The platform layer: the one interface through which the runtime and the libraries reach the
// operating system. The Linux implementation lives in platform/linux/, one file per service.
//
// Paths handed to these calls are the script's own texts. Buffers always come with their size;
// a result that does not fit is refused (0 / none), never cut silently.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

struct lua_State;
struct lua_Debug;

// ---------------------------------------------------------------------------------------------
// Start and end

// Starts the platform layer: keeps SDL away from the process's signals and loads the message
// catalog "PROGDIR:Kestrovia.catalog" (a missing catalog is no error). Starts no video system:
// SDL's video and event subsystems come up with the first display (OsInitVideo). Returns 0.
int OsInit(void);
// Ends the platform layer: frees the message catalog and quits whatever SDL subsystems were
// started. Safe without OsInit and when called twice.
void OsShutdown(void);
// Starts SDL video and events on first use; 0 on success, else 1010 ("Unable to open window!").
int OsInitVideo(void);
// Non-zero when a real display is available: the video driver (running, or named by
// SDL_VIDEODRIVER) is not "dummy" or "offscreen", and an X11 or Wayland display is reachable.
int OsHasRealDisplay(void);

// The interpreter's line hook and the pump of every waiting loop. Until the real event pump is
// built it only pumps SDL's queue (when video is up, at most every 10 ms) and returns at once;
// with no display open it does nothing. Returns 1 while the interpreter's stop flag is set.
int OsPumpEvents(lua_State *L, lua_Debug *ar);

// Hooks that do nothing on this platform.
void OsNullHook(void);
void OsOpenDebugDevice(void);
int OsUsePubScreen(const char *name);   // 0
void OsOpenCatalog(void);
void OsCloseCatalog(void);
const char *OsGetCatalogString(void *catalog, int number, const char *defaultText);

// ---------------------------------------------------------------------------------------------
// Time: {seconds, microseconds}, microseconds 0..999999. Stamps and timers come from a monotonic
// clock, so they never jump with the wall clock.
struct OsTimeVal {
    uint32_t seconds;
    uint32_t micros;
};

void OsGetSysTime(OsTimeVal *out);
// a = a - b, borrowing 1000000 microseconds when a's microseconds are smaller.
void OsSubTime(OsTimeVal *a, const OsTimeVal *b);
// a = a + b, carrying one second when the microseconds exceed 999999.
void OsAddTime(OsTimeVal *a, const OsTimeVal *b);
// -1, 0 or 1: seconds first, then microseconds.
int OsCmpTime(const OsTimeVal *a, const OsTimeVal *b);
// The monotonic clock as seconds plus microseconds / 1000000.
double OsGetTimeSeconds(void);

// Waits that long. Up to 100 ms it sleeps without pumping events and returns 0; longer waits
// keep the event pump running (OsPumpEvents) and return 1 as soon as the program must stop,
// else 0 once the time has passed. Runs on the real monotonic clock (not OsSetClock's).
int OsWaitMillis(lua_State *L, int millis);
// Sleeps that long without pumping events.
void OsSleepMillis(lua_State *L, int millis);

// Replaces the clock behind OsGetSysTime (tests); nullptr restores the system clock.
typedef void (*OsClockFunc)(OsTimeVal *out);
void OsSetClock(OsClockFunc clock);

// Dates (local time through the C library; the process locale is never changed).
// kind 0: short local date into text1 (at most 64 bytes); kind 1: "%.2d-%.2d-%.2d" (month, day,
// year - 2000) into text1 and "%.2d:%.2d:%.2d" into text2; kind 2: the time into text1;
// kind 3: the local weekday name into text1 (at most 64 bytes). Both texts hold 64 bytes.
void OsGetDateString(int kind, char *text1, char *text2);
// Six words: seconds, minutes, hours, day of month, month 0-11, full year (local time).
void OsTimeToDate(time_t t, int date[6]);
// The inverse through mktime with the daylight-saving flag -1; 0 when the date is invalid.
time_t OsDateToTime(const int date[6]);

// ---------------------------------------------------------------------------------------------
// Recursive mutexes (the same thread may lock again; as many unlocks as locks release it).
struct OsMutex;
OsMutex *OsCreateMutex(void);          // none when creation fails
void OsDeleteMutex(OsMutex *mutex);     // none is ignored
void OsLockMutex(OsMutex *mutex);
int OsTryLockMutex(OsMutex *mutex);     // 1 when locked now, 0 when another thread holds it
void OsUnlockMutex(OsMutex *mutex);

// ---------------------------------------------------------------------------------------------
// Console, requesters, process information

// printf to standard output.
int OsPrintF(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Requester icon kinds (any other value shows the caution icon).
enum { OS_REQ_PLAIN = 0, OS_REQ_NOTE = 1, OS_REQ_STOP = 2, OS_REQ_CAUTION = 3 };
// A modal alert: title, text, buttons separated by "|" (at most 32), icon kind.
// With a button list: the chosen button's position counted from 1, 0 for the last button, -1
// on failure; with none: one "OK" button and the result 0.
// Uses an SDL message box only when a real display is available; otherwise (and in tests)
// prints one line on standard error and returns the hook's answer, else 0 without a button
// list and -1 with one. Never blocks a headless run.
int OsRequester(const char *title, const char *text, const char *buttons, int icon);
// Test hook: when set, OsRequester never shows anything; it prints its stderr line and returns
// `answer`. OsSetRequesterHook(0, 0) removes the hook.
void OsSetRequesterHook(int enabled, int answer);

// Creates a new empty temporary file atomically (mkstemp) and writes its path into the buffer.
// Returns 1, or 0 when the file cannot be made or the path does not fit.
int OsTempFileName(char *buffer, size_t size);

// Bytes of physical memory, saturated at 4294967295.
uint32_t OsGetPhysicalMemory(void);

// The executable's path (/proc/self/exe, else argv[0] made absolute). 1, or 0 when unknown or
// it does not fit. argc/argv may be 0/none.
int OsGetExecutablePath(int argc, char **argv, char *buffer, size_t size);
// The "bundle" of the player: on Linux the directory that holds the executable; the bundle's
// resource folder is that same directory. 1, or 0 when unknown or it does not fit.
int OsGetBundlePath(char *buffer, size_t size);
// Launch arguments of a bundle's property list: there are none on Linux, so always "".
void OsGetLaunchArgs(int argc, char **argv, char *buffer, size_t size);
// The document of a pending open-document event: none on Linux.
const char *OsGetLaunchDocument(void);

// ---------------------------------------------------------------------------------------------
// Paths and the file system (the part the file layer needs)

// The absolute path of a name: its real path; else a relative name joined to the current
// directory; else the name itself. 1, or 0 when the result does not fit the buffer.
int OsFullPath(const char *path, char *buffer, size_t size);
// Makes path the current directory and returns the previous one (allocated with MemAlloc, for
// the caller to free and perhaps pass back to restore); none when it cannot be allocated (the
// directory is then not changed). A path that cannot be entered leaves the directory as it is.
char *OsChangeDir(const char *path);
// An allocated (MemAlloc) native form of a Latin-1 path: UTF-8, with "\" turned into "/" in
// paths shorter than 1024 bytes; none on failure (the caller then uses the path as it is).
char *OsNativePath(const char *path);
// Deletes a file or an empty directory: 1 on success.
int OsDelete(const char *path);

// File information of a lock.
struct OsFileInfo {
    int directory;          // 1 for a directory
    int64_t size;
    uint32_t flags;         // FILEATTR bits of the dos library
    int64_t times[3];       // access, modification, change (seconds since the epoch)
};

// A lock on a file or a directory (fields private to the platform layer).
struct OsLockHandle;
// Mode 0 (read) only: a lock for the real path ("" = the current directory), or none when it
// does not exist, is neither a directory nor a regular file, or cannot be opened.
OsLockHandle *OsLock(const char *path, int mode);
void OsUnLock(OsLockHandle *lock);
int OsExamineLock(OsLockHandle *lock, OsFileInfo *info);         // 0
// The next entry of a directory lock ("." and ".." skipped); 1, or 0 at the end. The name
// stays valid until the next call; isDir and info may be none.
int OsExamineNext(OsLockHandle *lock, const char **name, int *isDir, OsFileInfo *info);
void OsEndExamine(OsLockHandle *lock);
// 0 with *isDir = 1 for a directory; for a file *isDir = 0, the error string is set to the
// path and 1250 ("%s is not a directory!") is returned.
int OsCheckDirLock(OsLockHandle *lock, int *isDir);
// The lock's path into the buffer: 1, or 0 when it does not fit.
int OsLockPath(OsLockHandle *lock, char *buffer, size_t size);

// ---------------------------------------------------------------------------------------------
// File-system changes and launching (platform/linux/os_files.cpp). Paths are Latin-1 texts,
// converted with OsNativePath (the text as given when that fails).

// Renames old to new. Never replaces: an existing new name makes it fail. 1 on success, else 0.
int OsRename(const char *oldPath, const char *newPath);
// Sets the nine permission bits from FILEATTR flags (read/write/execute of owner, group and
// others); FILEATTR_NORMAL (0x10000) gives 0644 whatever else is set. 1 on success.
int OsSetProtection(const char *path, uint32_t flags);
// Sets access (times[0]) and modification (times[1]) time in seconds. 1 on success.
int OsSetFileDate(const char *path, const int64_t times[2]);
// Creates one directory with mode 0755: 0, or 1084 (error string = the path).
int OsMakeDir(const char *path);
// 1 when path names a symbolic link (lstat), whatever it points to; else 0.
int OsIsSymLink(const char *path);
// Like OsTempFileName, with the suffix (e.g. ".png"; none or "" for no suffix) kept at the end of
// the name (mkstemps). 1, or 0.
int OsTempFileNameSuffix(char *buffer, size_t size, const char *suffix);
// Starts a program or opens a document. A name whose file part holds a '.' and that is longer
// than 5 characters without ending in ".app" or ".exe" is a document, opened with xdg-open.
// Otherwise: synchronous runs the program through the shell (its path quoted, then the
// arguments text as it is) and waits; asynchronous starts it with an argument vector (at most
// 128 entries; a double-quoted run is one argument) and returns at once. Every child is reaped.
// Returns 0, 1000 or 1055 (too many arguments, an unterminated quote).
int OsLaunch(const char *program, const char *args, int async);
// Opens a URL (Latin-1 text) with the desktop's handler (xdg-open, started detached and reaped).
// Returns 0; failures are not reported.
int OsOpenURL(const char *url);
// The name of the volume that holds path (on Linux: the mount point of its file system) into the
// buffer; 0, or 1 when it cannot be found or does not fit.
int OsGetVolumeName(const char *path, char *buffer, size_t size);
// Free and used bytes of the volume that holds path: 0, or 1 when unknown (both then 0).
int OsGetVolumeInfo(const char *path, uint64_t *freeBytes, uint64_t *usedBytes);
// File comments do not exist here: does nothing, 0.
int OsSetComment(const char *path, const char *comment);
// Wildcard patterns: this platform recognises none. OsParsePattern says whether a text is a
// pattern (always 0); OsMatchPattern whether a name matches one (always 0).
int OsAllocPattern(void);
void OsFreePattern(void);
int OsParsePattern(const char *pattern);
int OsMatchPattern(const char *pattern, const char *name);

// ---------------------------------------------------------------------------------------------
// Picture decoding and encoding (platform/linux/os_images.cpp, over SDL2_image)
struct AlphaChannel;

// Decodes the first picture of a file (read whole through the file layer, so linked files work;
// `data` must then be none) or of `dataSize` bytes at `data`: PNG, JPEG, TIFF, GIF or WebP. With `pixels` the picture comes back as a MemAlloc'd array of width x
// height words 0x00RRGGBB, rows top to bottom, and, when it carries an alpha channel, an
// AlphaChannel of the same size in *alpha (else none); without `pixels` only the size (and
// *hasAlpha) is reported. alpha and hasAlpha may be none. Sizes are checked in 64 bits.
// Returns 0; 1000 when the file can't be opened, memory runs out or the header declares more
// than 2^28 pixels; 1358 when the bytes are no picture of those formats.
int OsLoadImage(const char *path, const void *data, size_t dataSize, int32_t *width, int32_t *height,
                uint32_t **pixels, AlphaChannel **alpha, int *hasAlpha);

// Encoded picture bytes in memory (OsEncodeImage without a path).
struct OsData;
enum { OS_IMAGE_PNG = 0, OS_IMAGE_JPEG = 1 };
// Encodes width x height words 0xAARRGGBB (rows bytesPerRow apart) as PNG or JPEG (quality in
// percent, 0..100). With alphaFlag the top byte is the alpha (PNG only), else the picture is
// opaque. The words are never changed. With a path the file is written through the file layer;
// without one *data receives the bytes. 0, 1000, or 1277 (PNG) / 1315 (JPEG) when encoding or
// writing fails.
int OsEncodeImage(const char *path, const uint32_t *pixels, int32_t width, int32_t height,
                  int32_t bytesPerRow, int type, int alphaFlag, int quality, OsData **data);
int OsSavePNG(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int alphaFlag);
int OsSaveJPEG(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int quality);
int OsEncodeJPEGToMemory(const uint32_t *pixels, int32_t bytesPerRow, int32_t width, int32_t height,
                         int quality, OsData **data);
// The bytes of encoded data and their count; OsReleaseData frees it (none is ignored).
size_t OsGetDataBytes(const OsData *data, const uint8_t **bytes);
void OsReleaseData(OsData *data);

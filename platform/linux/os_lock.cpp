// Locks on files and directories, file information and directory scanning.
#include "platform/os.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/os_internal.h"

struct OsLockHandle {
    char *path;             // real path, file-system representation
    DIR *dir;               // none for a file
    int fd;                 // read-only descriptor of a file, -1 for a directory
    char *scan;             // path + room for one entry name
    size_t scanSize;
    char name[512];         // current entry name as the script sees it
    size_t pathLength;
};

// The dos library's FILEATTR bits for the nine permission bits.
static uint32_t ModeToFlags(mode_t mode)
{
    static const struct { mode_t bit; uint32_t flag; } map[] = {
        {S_IRUSR, 1}, {S_IWUSR, 2}, {S_IXUSR, 8},
        {S_IRGRP, 0x200}, {S_IWGRP, 0x400}, {S_IXGRP, 0x800},
        {S_IROTH, 0x1000}, {S_IWOTH, 0x2000}, {S_IXOTH, 0x4000},
    };
    uint32_t flags = 0;
    for (const auto &m : map)
        if (mode & m.bit) flags |= m.flag;
    return flags;
}

static void FillInfo(const struct stat *st, OsFileInfo *info)
{
    info->directory = S_ISDIR(st->st_mode) ? 1 : 0;
    info->size = info->directory ? 0 : (int64_t)st->st_size;
    info->flags = ModeToFlags(st->st_mode);
    info->times[0] = (int64_t)st->st_atime;
    info->times[1] = (int64_t)st->st_mtime;
    info->times[2] = (int64_t)st->st_ctime;
}

OsLockHandle *OsLock(const char *path, int mode)
{
    if (mode != 0) {
        OsPrintF("KVOS_LOCK_WRITE unsupported.\n");
        return nullptr;
    }
    char *native = OsNativePath(*path ? path : ".");
    char real[PATH_MAX + 1];
    int ok = realpath(native ? native : path, real) != nullptr;
    free(native);
    if (!ok) return nullptr;
    struct stat st;
    if (stat(real, &st) != 0 || (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))) return nullptr;

    OsLockHandle *lock = (OsLockHandle *)calloc(1, sizeof(OsLockHandle));
    if (!lock) return nullptr;
    lock->fd = -1;
    lock->pathLength = strlen(real);
    lock->path = (char *)malloc(lock->pathLength + 1);
    if (!lock->path) {
        free(lock);
        return nullptr;
    }
    memcpy(lock->path, real, lock->pathLength + 1);
    if (S_ISDIR(st.st_mode)) {
        lock->dir = opendir(real);
        lock->scanSize = lock->pathLength + 258;
        lock->scan = (char *)malloc(lock->scanSize);
        if (!lock->dir || !lock->scan) {
            OsUnLock(lock);
            return nullptr;
        }
    } else {
        lock->fd = open(real, O_RDONLY | O_CLOEXEC);
        if (lock->fd < 0) {
            OsUnLock(lock);
            return nullptr;
        }
    }
    return lock;
}

void OsUnLock(OsLockHandle *lock)
{
    if (!lock) return;
    if (lock->dir) closedir(lock->dir);
    if (lock->fd >= 0) close(lock->fd);
    free(lock->scan);
    free(lock->path);
    free(lock);
}

int OsExamineLock(OsLockHandle *lock, OsFileInfo *info)
{
    struct stat st;
    int r = lock->fd >= 0 ? fstat(lock->fd, &st) : stat(lock->path, &st);
    if (r != 0) memset(&st, 0, sizeof(st));
    FillInfo(&st, info);
    return 0;
}

int OsExamineNext(OsLockHandle *lock, const char **name, int *isDir, OsFileInfo *info)
{
    if (!lock->dir) return 0;
    for (;;) {
        struct dirent *e = readdir(lock->dir);
        if (!e) return 0;
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        memcpy(lock->scan, lock->path, lock->pathLength + 1);
        if (!OsAddPart(lock->scan, e->d_name, lock->scanSize)) continue;
        struct stat st;
        // A link whose target is gone is still an entry (as a file), so a delete can remove it.
        if (stat(lock->scan, &st) != 0 && lstat(lock->scan, &st) != 0) continue;
        char *text = NativeToScriptText(e->d_name);
        snprintf(lock->name, sizeof(lock->name), "%s", text ? text : e->d_name);
        free(text);
        if (name) *name = lock->name;
        if (isDir) *isDir = S_ISDIR(st.st_mode) ? 1 : 0;
        if (info) FillInfo(&st, info);
        return 1;
    }
}

void OsEndExamine(OsLockHandle *lock) {}

int OsCheckDirLock(OsLockHandle *lock, int *isDir)
{
    if (lock->dir) {
        if (isDir) *isDir = 1;
        return 0;
    }
    if (isDir) *isDir = 0;
    OsNameInError(lock->path);
    return 1250;
}

int OsLockPath(OsLockHandle *lock, char *buffer, size_t size)
{
    char *text = NativeToScriptText(lock->path);
    const char *path = text ? text : lock->path;
    size_t n = strlen(path);
    int ok = n + 1 <= size;
    if (ok) memcpy(buffer, path, n + 1);
    else if (size) buffer[0] = 0;
    free(text);
    return ok;
}

// Lock handles of the file layer: platform locks, or a virtual name that stands for itself.
#include <cstring>
#include <unistd.h>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

FileLock *LockFile(const char *path, int mode)
{
    if (!path || strlen(path) >= KV_PATH_SIZE) return nullptr;
    FileLock *lock = (FileLock *)MemAlloc(sizeof(FileLock), 1);
    if (!lock) return nullptr;
    strcpy(lock->name, path);
    if (IsVirtualName(path)) return lock;
    lock->os = OsLock(path, mode);
    if (!lock->os) {
        MemFree(lock);
        return nullptr;
    }
    return lock;
}

void UnLockFile(FileLock *lock)
{
    if (!lock) return;
    if (lock->os) OsUnLock(lock->os);
    MemFree(lock);
}

int ExamineLock(FileLock *lock, OsFileInfo *info)
{
    if (lock->os) return OsExamineLock(lock->os, info);
    ChunkNameParts parts;
    memset(info, 0, sizeof(*info));
    if (ParseChunkName(lock->name, &parts)) info->size = (int64_t)parts.size;
    info->flags = 15;
    // A linked file has no dates of its own: 16 August 1982, 00:00:00 local time.
    static const int fixedDate[6] = {0, 0, 0, 16, 7, 1982};
    time_t t = OsDateToTime(fixedDate);
    info->times[0] = info->times[1] = info->times[2] = (int64_t)t;
    return 0;
}

int ReadNextDirEntry(FileLock *lock, const char **name, int *isDir, OsFileInfo *info)
{
    if (!lock->os) return 0;
    return OsExamineNext(lock->os, name, isDir, info);
}

int CheckDirLock(FileLock *lock, int *isDir)
{
    if (lock->os) return OsCheckDirLock(lock->os, isDir);
    if (isDir) *isDir = 0;
    SetErrorString(lock->name);
    return 1250;
}

int GetLockPath(FileLock *lock, char *buffer, size_t size)
{
    if (lock->os) return OsLockPath(lock->os, buffer, size);
    const char *own = GetFilePart(lock->name);
    char path[KV_PATH_SIZE];
    if (!getcwd(path, sizeof(path))) path[0] = 0;
    if (!AddPart(path, *own ? own : "unknown", sizeof(path))) {
        if (size) buffer[0] = 0;
        return 0;
    }
    size_t n = strlen(path);
    if (n + 1 > size) {
        if (size) buffer[0] = 0;
        return 0;
    }
    memcpy(buffer, path, n + 1);
    return 1;
}

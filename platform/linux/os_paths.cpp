// Paths: full paths, the current directory, native forms, deleting.
#include "platform/os.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <unistd.h>

#include "platform/linux/os_internal.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

int OsFullPath(const char *path, char *buffer, size_t size)
{
    char real[PATH_MAX + 1];
    char joined[PATH_MAX + 1];
    const char *result = path;
    if (realpath(path, real)) {
        result = real;
    } else if (path[0] != '/' && getcwd(joined, sizeof(joined))) {
        if (AddPart(joined, path, sizeof(joined))) result = joined;
    }
    size_t n = strlen(result);
    if (n + 1 > size) {
        if (size) buffer[0] = 0;
        return 0;
    }
    memcpy(buffer, result, n + 1);
    return 1;
}

char *OsChangeDir(const char *path)
{
    char *previous = (char *)MemAlloc(PATH_MAX + 1, 1);
    if (!previous) return nullptr;
    if (!getcwd(previous, PATH_MAX + 1)) previous[0] = 0;
    if (path && *path && chdir(path) != 0) {
        // The directory stays; handing back the current one keeps a later restore harmless.
    }
    return previous;
}

char *OsNativePath(const char *path)
{
    char *native = Latin1ToUtf8(path);
    if (native && strlen(path) < 1024)
        for (char *p = native; *p; p++)
            if (*p == '\\') *p = '/';
    return native;
}

int OsDelete(const char *path)
{
    char *native = OsNativePath(path);
    int ok = remove(native ? native : path) == 0;
    MemFree(native);
    return ok;
}

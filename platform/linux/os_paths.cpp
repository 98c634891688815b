// Paths: full paths, the current directory, native forms, deleting.
#include "platform/os.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <unistd.h>

#include "platform/linux/os_internal.h"

int OsFullPath(const char *path, char *buffer, size_t size)
{
    char real[PATH_MAX + 1];
    char joined[PATH_MAX + 1];
    const char *result = path;
    if (realpath(path, real)) {
        result = real;
    } else if (path[0] != '/' && getcwd(joined, sizeof(joined))) {
        if (OsAddPart(joined, path, sizeof(joined))) result = joined;
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
    char *previous = (char *)calloc(1, PATH_MAX + 1);
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
    free(native);
    return ok;
}

const char *OsFilePart(const char *path)
{
    size_t len = strlen(path);
    if (len < 2) return path;
    if (path[len - 1] == '/' || path[len - 1] == '\\') return path + len;
    const char *slash = nullptr;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\') slash = p;
    if (slash) return slash + 1;
    const char *colon = strchr(path, ':');
    return colon ? colon + 1 : path;
}

int OsAddPart(char *path, const char *name, size_t size)
{
    size_t len = strlen(path);
    size_t nameLen = strlen(name);
    int slash = len > 0 && path[len - 1] != '/' && path[len - 1] != '\\';
    if (len + slash + nameLen + 1 > size) return 0;
    if (slash) path[len++] = '/';
    memcpy(path + len, name, nameLen + 1);
    return 1;
}

// Information about the running program: executable and bundle paths, launch arguments,
// physical memory, temporary files.
#include "platform/os.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <unistd.h>

static int CopyOut(char *buffer, size_t size, const char *text)
{
    size_t n = strlen(text);
    if (!buffer || n + 1 > size) {
        if (buffer && size) buffer[0] = 0;
        return 0;
    }
    memcpy(buffer, text, n + 1);
    return 1;
}

int OsGetExecutablePath(int argc, char **argv, char *buffer, size_t size)
{
    char path[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path));
    if (n > 0 && (size_t)n < sizeof(path)) {
        path[n] = 0;
        return CopyOut(buffer, size, path);
    }
    // No /proc (or the link did not fit): the real path of argv[0].
    if (argc > 0 && argv && argv[0] && realpath(argv[0], path)) return CopyOut(buffer, size, path);
    if (buffer && size) buffer[0] = 0;
    return 0;
}

int OsGetBundlePath(char *buffer, size_t size)
{
    char path[PATH_MAX + 1];
    if (!OsGetExecutablePath(0, nullptr, path, sizeof(path))) {
        if (buffer && size) buffer[0] = 0;
        return 0;
    }
    char *slash = strrchr(path, '/');
    if (slash == path) slash[1] = 0;   // an executable in "/"
    else if (slash) *slash = 0;
    return CopyOut(buffer, size, path);
}

void OsGetLaunchArgs(int argc, char **argv, char *buffer, size_t size)
{
    if (buffer && size) buffer[0] = 0;
}

const char *OsGetLaunchDocument(void)
{
    return nullptr;
}

uint32_t OsGetPhysicalMemory(void)
{
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    unsigned long long bytes = (unsigned long long)pages * (unsigned long long)pageSize;
    return bytes > 4294967295ULL ? 4294967295U : (uint32_t)bytes;
}

int OsTempFileName(char *buffer, size_t size)
{
    return OsTempFileNameSuffix(buffer, size, nullptr);
}

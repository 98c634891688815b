// Paths: full paths, the current directory, native forms, deleting.
#include "platform/os.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <sys/stat.h>
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

// 1 when the first n bytes of text hold a byte above 127.
static int HasHighByte(const char *text, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if ((unsigned char)text[i] >= 0x80) return 1;
    return 0;
}

// 1 when the name built so far in out (len bytes) exists, a dangling link included.
static int NameExists(char *out, size_t len)
{
    out[len] = 0;
    struct stat st;
    return lstat(out, &st) == 0;
}

char *OsNativePath(const char *path)
{
    size_t n = strlen(path);
    // Each byte may become two; the text lies behind that room, where nothing is written.
    char *out = (char *)malloc(3 * n + 2);
    if (!out) return nullptr;
    char *text = out + 2 * n + 1;
    memcpy(text, path, n + 1);
    if (n < 1024)
        for (char *p = text; *p; p++)
            if (*p == '\\') *p = '/';
    size_t len = 0;
    const char *p = text;
    while (*p) {
        size_t part = *p == '/' ? 1 : strcspn(p, "/");
        if (!HasHighByte(p, part)) {
            memcpy(out + len, p, part);
            len += part;
        } else {
            size_t utf8 = Latin1PartToUtf8(p, part, out + len);
            if (NameExists(out, len + utf8)) {
                len += utf8;
            } else {
                // A component that exists only in its raw bytes is those; a new name is UTF-8,
                // unless it already is UTF-8 (a name from the command line or the environment).
                memcpy(out + len, p, part);
                if (NameExists(out, len + part) || Utf8PartIsValid(p, part)) len += part;
                else len += Latin1PartToUtf8(p, part, out + len);
            }
        }
        p += part;
    }
    out[len] = 0;
    return out;
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

// File-system changes (renaming, protection, dates, directories), volumes, patterns and
// starting programs or documents.
#include "platform/os.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/os_internal.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

// The native form of a path, or the path itself when the conversion fails. Free with
// FreeNative(result, path).
static const char *Native(const char *path)
{
    char *n = OsNativePath(path);
    return n ? n : path;
}

static void FreeNative(const char *native, const char *path)
{
    if (native != path) free((void *)native);
}

int OsRename(const char *oldPath, const char *newPath)
{
    const char *a = Native(oldPath);
    const char *b = Native(newPath);
    int ok = 0;
#ifdef SYS_renameat2
    long r = syscall(SYS_renameat2, AT_FDCWD, a, AT_FDCWD, b, RENAME_NOREPLACE);
    if (r == 0) ok = 1;
    else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
#else
    {
#endif
        // A file system without the no-replace flag: refuse an existing name first.
        struct stat st;
        if (lstat(b, &st) != 0 && errno == ENOENT) ok = rename(a, b) == 0;
    }
    FreeNative(a, oldPath);
    FreeNative(b, newPath);
    return ok;
}

int OsSetProtection(const char *path, uint32_t flags)
{
    static const struct { uint32_t flag; mode_t bit; } map[] = {
        {1, S_IRUSR}, {2, S_IWUSR}, {8, S_IXUSR},
        {0x200, S_IRGRP}, {0x400, S_IWGRP}, {0x800, S_IXGRP},
        {0x1000, S_IROTH}, {0x2000, S_IWOTH}, {0x4000, S_IXOTH},
    };
    mode_t mode = 0;
    if (flags & 0x10000) {
        mode = 0644;
    } else {
        for (const auto &m : map)
            if (flags & m.flag) mode |= m.bit;
    }
    const char *n = Native(path);
    int ok = chmod(n, mode) == 0;
    FreeNative(n, path);
    return ok;
}

int OsSetFileDate(const char *path, const int64_t times[2])
{
    struct timespec ts[2];
    ts[0].tv_sec = (time_t)times[0];
    ts[0].tv_nsec = 0;
    ts[1].tv_sec = (time_t)times[1];
    ts[1].tv_nsec = 0;
    const char *n = Native(path);
    int ok = utimensat(AT_FDCWD, n, ts, 0) == 0;
    FreeNative(n, path);
    return ok;
}

int OsMakeDir(const char *path)
{
    const char *n = Native(path);
    int ok = mkdir(n, 0755) == 0;
    FreeNative(n, path);
    if (ok) return 0;
    OsNameInError(path);
    return 1084;
}

int OsIsSymLink(const char *path)
{
    // A trailing slash would make lstat follow the link; look at the name itself.
    char copy[PATH_MAX + 1];
    size_t len = strlen(path);
    if (len >= sizeof(copy)) return 0;
    memcpy(copy, path, len + 1);
    while (len > 1 && copy[len - 1] == '/') copy[--len] = 0;
    const char *n = Native(copy);
    struct stat st;
    int link = lstat(n, &st) == 0 && S_ISLNK(st.st_mode);
    FreeNative(n, copy);
    return link;
}

int OsNameExists(const char *path)
{
    const char *n = Native(path);
    struct stat st;
    int exists = lstat(n, &st) == 0;
    FreeNative(n, path);
    return exists;
}

int OsSameFile(const char *a, const char *b)
{
    const char *na = Native(a);
    const char *nb = Native(b);
    struct stat sa, sb;
    int same = stat(na, &sa) == 0 && stat(nb, &sb) == 0 && sa.st_dev == sb.st_dev &&
               sa.st_ino == sb.st_ino;
    FreeNative(na, a);
    FreeNative(nb, b);
    return same;
}

int OsTempFileNameSuffix(char *buffer, size_t size, const char *suffix)
{
    if (!suffix) suffix = "";
    const char *dir = getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    char name[PATH_MAX + 1];
    int n = snprintf(name, sizeof(name), "%s%skestrovia-XXXXXX%s", dir,
                     dir[strlen(dir) - 1] == '/' ? "" : "/", suffix);
    if (n < 0 || (size_t)n >= sizeof(name) || (size_t)n + 1 > size) {
        if (buffer && size) buffer[0] = 0;
        return 0;
    }
    // mkstemps creates the file itself: no other process can take the name in between. When
    // it cannot (a full or read-only folder), the buffer names the file that was to be made.
    memcpy(buffer, name, (size_t)n + 1);
    int fd = mkstemps(buffer, (int)strlen(suffix));
    if (fd < 0) {
        memcpy(buffer, name, (size_t)n + 1);
        return 0;
    }
    close(fd);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Launching

// Starts argv[0] (execv, or execvp with search set) detached: an intermediate child starts the
// program and ends at once, and is waited for here, so no child is ever left unreaped (the
// program itself is adopted by init). Everything the children use is built before the fork.
static int SpawnDetached(char *const argv[], int search)
{
    // Output still buffered is written first, so no child can write it a second time.
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return 0;
    if (pid == 0) {
        pid_t grandchild = fork();
        if (grandchild == 0) {
            if (search) execvp(argv[0], argv);
            else execv(argv[0], argv);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return 1;
}

// 1 when the program name stands for a document rather than a program.
static int IsDocument(const char *program)
{
    const char *part = OsFilePart(program);
    size_t len = strlen(program);
    if (!strchr(part, '.') || len <= 5) return 0;
    const char *tail = program + len - 4;
    return strcasecmp(tail, ".app") != 0 && strcasecmp(tail, ".exe") != 0;
}

// Appends text to the shell command in single quotes, so that no character of it (blanks,
// quotes, ';', '$', '`' ...) means anything to the shell.
static int AppendQuoted(char *out, size_t size, size_t *len, const char *text)
{
    if (*len + 1 >= size) return 0;
    out[(*len)++] = '\'';
    for (const char *t = text; *t; t++) {
        const char *piece = *t == '\'' ? "'\\''" : nullptr;
        size_t n = piece ? 4 : 1;
        if (*len + n + 1 >= size) return 0;
        if (piece) memcpy(out + *len, piece, n);
        else out[*len] = *t;
        *len += n;
    }
    if (*len + 2 >= size) return 0;
    out[(*len)++] = '\'';
    out[*len] = 0;
    return 1;
}

enum { LAUNCH_MAX_ARGS = 128 };

int OsLaunch(const char *program, const char *args, int async)
{
    if (!program || !*program) return 1055;
    const char *native = Native(program);
    int code = 0;

    if (IsDocument(program)) {
        // A document that does not exist is ignored.
        struct stat st;
        char *argv[3] = {(char *)"xdg-open", (char *)native, nullptr};
        if (stat(native, &st) == 0) SpawnDetached(argv, 1);
        FreeNative(native, program);
        return 0;
    }

    if (!async) {
        size_t size = strlen(native) * 4 + (args ? strlen(args) : 0) + 8;
        char *line = (char *)malloc(size);
        if (!line) {
            FreeNative(native, program);
            return 1000;
        }
        size_t len = 0;
        line[0] = 0;
        AppendQuoted(line, size, &len, native);
        if (args && *args) {
            line[len++] = ' ';
            memcpy(line + len, args, strlen(args) + 1);
        }
        int status = system(line);
        (void)status;
        free(line);
        FreeNative(native, program);
        return 0;
    }

    // Asynchronous: an argument vector, the program first.
    char *copy = nullptr;
    char *argv[LAUNCH_MAX_ARGS + 1];
    int argc = 0;
    argv[argc++] = (char *)native;
    if (args) {
        copy = (char *)malloc(strlen(args) + 1);
        if (!copy) {
            FreeNative(native, program);
            return 1000;
        }
        strcpy(copy, args);
        char *p = copy;
        for (;;) {
            while (*p == ' ') p++;
            if (!*p) break;
            if (argc + 1 >= LAUNCH_MAX_ARGS) {
                code = 1055;
                break;
            }
            char *start;
            if (*p == '"') {
                start = ++p;
                char *q = strchr(p, '"');
                if (!q) {
                    code = 1055;
                    break;
                }
                *q = 0;
                p = q + 1;
            } else {
                start = p;
                while (*p && *p != ' ') p++;
                if (*p) *p++ = 0;
            }
            argv[argc++] = start;
        }
    }
    argv[argc] = nullptr;
    if (!code) SpawnDetached(argv, 0);
    free(copy);
    FreeNative(native, program);
    return code;
}

// ---------------------------------------------------------------------------------------------
// Volumes, comments and patterns

int OsGetVolumeName(const char *path, char *buffer, size_t size)
{
    const char *n = Native(*path ? path : ".");
    char real[PATH_MAX + 1];
    int ok = realpath(n, real) != nullptr;
    FreeNative(n, *path ? path : ".");
    struct stat st, up;
    if (!ok || stat(real, &st) != 0) {
        if (size) buffer[0] = 0;
        return 1;
    }
    // Walk up while the parent lies on the same device: the last such directory is the mount
    // point.
    while (strcmp(real, "/") != 0) {
        char parent[PATH_MAX + 1];
        char *slash = strrchr(real, '/');
        size_t keep = slash && slash != real ? (size_t)(slash - real) : 1;
        memcpy(parent, real, keep);
        parent[keep] = 0;
        if (stat(parent, &up) != 0 || up.st_dev != st.st_dev) break;
        strcpy(real, parent);
    }
    size_t len = strlen(real);
    if (len + 1 > size) {
        if (size) buffer[0] = 0;
        return 1;
    }
    memcpy(buffer, real, len + 1);
    return 0;
}

int OsGetVolumeInfo(const char *path, uint64_t *freeBytes, uint64_t *usedBytes)
{
    *freeBytes = *usedBytes = 0;
    const char *n = Native(*path ? path : ".");
    struct statvfs vfs;
    int ok = statvfs(n, &vfs) == 0;
    FreeNative(n, *path ? path : ".");
    if (!ok) return 1;
    *freeBytes = (uint64_t)vfs.f_bavail * (uint64_t)vfs.f_frsize;
    *usedBytes = (uint64_t)(vfs.f_blocks - vfs.f_bfree) * (uint64_t)vfs.f_frsize;
    return 0;
}

int OsSetComment(const char *path, const char *comment)
{
    return 0;
}

int OsAllocPattern(void)
{
    return 1;
}

void OsFreePattern(void) {}

int OsParsePattern(const char *pattern)
{
    return 0;
}

int OsMatchPattern(const char *pattern, const char *name)
{
    return 0;
}

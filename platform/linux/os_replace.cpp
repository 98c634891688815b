// Saving over a file without losing it: the new contents go to a new file in the destination's
// folder, which takes the destination's place only once it is whole.
#include "platform/os.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct OsReplacement {
    char *target;       // native path of the destination
    char *temporary;    // native path of the new file beside it
    int hadTarget;      // the destination existed: its mode (and owner) go to the new file
    struct stat old;
};

static void FreeReplacement(OsReplacement *r)
{
    free(r->target);
    free(r->temporary);
    free(r);
}

// The folder part of a native path ("." for a bare name), malloc'd.
static char *FolderOf(const char *path)
{
    const char *slash = strrchr(path, '/');
    if (!slash) return strdup(".");
    if (slash == path) return strdup("/");
    return strndup(path, (size_t)(slash - path));
}

// Creates "<folder>/.<name>.save-XXXXXX" with O_EXCL; the name part is cut so that the whole
// file name stays within 255 bytes. The descriptor, or -1 with errno set.
static int CreateBeside(const char *target, char **temporary)
{
    char *folder = FolderOf(target);
    if (!folder) return -1;
    const char *slash = strrchr(target, '/');
    const char *name = slash ? slash + 1 : target;
    size_t nameLength = strlen(name);
    if (nameLength > 200) nameLength = 200;
    size_t size = strlen(folder) + nameLength + 32;
    char *path = (char *)malloc(size);
    if (!path) {
        free(folder);
        errno = ENOMEM;
        return -1;
    }
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned seed = (unsigned)getpid() * 2654435761u ^ (unsigned)(uintptr_t)path;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
        char suffix[7];
        for (int i = 0; i < 6; i++) {
            seed = seed * 1103515245u + 12345u + (unsigned)attempt;
            suffix[i] = digits[(seed >> 16) % 36];
        }
        suffix[6] = 0;
        snprintf(path, size, "%s/.%.*s.save-%s", folder, (int)nameLength, name, suffix);
        fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    free(folder);
    if (fd < 0) {
        int e = errno;
        free(path);
        errno = e;
        return -1;
    }
    *temporary = path;
    return fd;
}

// The destination must be written in place: a symbolic link (written through to its target), a
// device or other file that is no regular file, or a file mounted on its own.
static int MustWriteInPlace(const char *target, const struct stat *st)
{
    struct stat link;
    if (lstat(target, &link) == 0 && S_ISLNK(link.st_mode)) return 1;
    if (!S_ISREG(st->st_mode)) return 1;
    char *folder = FolderOf(target);
    struct stat dir;
    int own = folder && stat(folder, &dir) == 0 && dir.st_dev != st->st_dev;
    free(folder);
    return own;
}

FILE *OsOpenReplacement(const char *path, OsReplacement **replacement)
{
    *replacement = nullptr;
    char *native = OsNativePath(path);
    const char *target = native ? native : path;
    struct stat st;
    int exists = stat(target, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        free(native);
        errno = EISDIR;
        return nullptr;
    }
    if (!exists || !MustWriteInPlace(target, &st)) {
        char *temporary = nullptr;
        int fd = CreateBeside(target, &temporary);
        if (fd >= 0) {
            OsReplacement *r = (OsReplacement *)calloc(1, sizeof(OsReplacement));
            FILE *f = r ? fdopen(fd, "w+b") : nullptr;
            if (!f) {
                close(fd);
                unlink(temporary);
                free(temporary);
                free(r);
                free(native);
                errno = ENOMEM;
                return nullptr;
            }
            r->target = native ? native : strdup(path);
            r->temporary = temporary;
            r->hadTarget = exists;
            if (exists) r->old = st;
            *replacement = r;
            return f;
        }
        // A folder that takes no new file (but may hold a writable file) is written in place;
        // any other failure (a full disk, no inode left) must not cost the old file.
        if (errno != EACCES && errno != EPERM) {
            free(native);
            return nullptr;
        }
    }
    FILE *f = fopen(target, "w+b");
    if (!f) f = fopen(target, "wb");
    free(native);
    return f;
}

int OsCommitReplacement(FILE *f, OsReplacement *r)
{
    int ok = fflush(f) == 0 && !ferror(f);
    int fd = fileno(f);
    if (ok && r->hadTarget) {
        if (fchmod(fd, r->old.st_mode & 07777) != 0) ok = 0;
        if (geteuid() == 0) (void)!fchown(fd, r->old.st_uid, r->old.st_gid);
    }
    if (ok && fsync(fd) != 0 && errno != EINVAL && errno != EROFS) ok = 0;
    if (fclose(f) != 0) ok = 0;
    if (ok && rename(r->temporary, r->target) != 0) ok = 0;
    if (!ok) unlink(r->temporary);
    FreeReplacement(r);
    return ok;
}

void OsDiscardReplacement(FILE *f, OsReplacement *r)
{
    fclose(f);
    unlink(r->temporary);
    FreeReplacement(r);
}

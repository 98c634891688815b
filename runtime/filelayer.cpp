// The file layer: FileHandle over 64-bit stdio, with sections of containers and of memory.
#include "runtime/filelayer.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

#include "runtime/memory.h"

// ---------------------------------------------------------------------------------------------
// Registered memory sections: the only memory a ":::chunkS" name may open.

struct MemorySection {
    MemorySection *next;
    const unsigned char *base;
    size_t size;
};

static MemorySection *MemorySections = nullptr;

int RegisterMemorySection(const void *base, size_t size)
{
    MemorySection *s = (MemorySection *)MemAlloc(sizeof(MemorySection), 1);
    if (!s) return 1000;
    s->base = (const unsigned char *)base;
    s->size = size;
    s->next = MemorySections;
    MemorySections = s;
    return 0;
}

void UnregisterMemorySection(const void *base)
{
    for (MemorySection **p = &MemorySections; *p; p = &(*p)->next) {
        if ((*p)->base == base) {
            MemorySection *s = *p;
            *p = s->next;
            MemFree(s);
            return;
        }
    }
}

// 1 when [address, address + size) lies inside one registered section.
static int IsRegisteredMemory(uintptr_t address, uint64_t size)
{
    for (MemorySection *s = MemorySections; s; s = s->next) {
        uintptr_t b = (uintptr_t)s->base;
        if (address >= b && address - b <= s->size && size <= s->size - (address - b)) return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Virtual names

static const char ChunkPrefix[] = ":::chunk";
enum { CHUNK_PREFIX_LEN = 8 };

int IsVirtualName(const char *name)
{
    return name && strncmp(name, ChunkPrefix, CHUNK_PREFIX_LEN) == 0;
}

// A decimal (or, with hex set, hexadecimal) number without sign; 1 when digits were read.
static int ParseNumber(const char **p, uint64_t *out, int hex)
{
    const char *s = *p;
    int base = hex ? 16 : 10;
    if (!(hex ? isxdigit((unsigned char)*s) : isdigit((unsigned char)*s))) return 0;
    errno = 0;
    char *end;
    unsigned long long v = strtoull(s, &end, base);
    if (errno == ERANGE || end == s) return 0;
    *out = v;
    *p = end;
    return 1;
}

int ParseChunkName(const char *name, ChunkNameParts *parts)
{
    if (!IsVirtualName(name)) return 0;
    const char *p = name + CHUNK_PREFIX_LEN;
    parts->memory = 0;
    if (*p == 'S') {
        parts->memory = 1;
        p++;
        if (*p == '-') p++;   // the base number of the memory form is signed
    }
    if (!ParseNumber(&p, &parts->offset, 0) || *p++ != ':') return 0;
    if (!ParseNumber(&p, &parts->size, 0) || *p++ != '*') return 0;
    const char *slash = strchr(p, '/');
    if (!slash) return 0;
    parts->ownName = p;
    parts->ownLength = (size_t)(slash - p);
    parts->container = slash + 1;
    return 1;
}

char *MakeChunkName(const char *name, char *buffer, size_t bufferSize, int64_t offset,
                    uint32_t size, int64_t base, const char *container, const void *memory)
{
    if (!buffer || bufferSize == 0) return nullptr;
    // The own name may come from GetFilePart's static buffer; copy it before formatting.
    char own[KV_PATH_SIZE];
    const char *part = GetFilePart(name ? name : "");
    size_t ownLen = strlen(part);
    if (ownLen >= sizeof(own)) {
        buffer[0] = 0;
        return nullptr;
    }
    memcpy(own, part, ownLen + 1);
    int n;
    if (offset == -1) {
        n = snprintf(buffer, bufferSize, ":::chunkS%lld:%lu*%s/%lx", (long long)base,
                     (unsigned long)size, own, (unsigned long)(uintptr_t)memory);
    } else {
        n = snprintf(buffer, bufferSize, ":::chunk%llu:%lu*%s/%s", (unsigned long long)offset,
                     (unsigned long)size, own, container ? container : "");
    }
    if (n < 0 || (size_t)n >= bufferSize) {
        buffer[0] = 0;
        return nullptr;
    }
    return buffer;
}

// ---------------------------------------------------------------------------------------------
// Path routines

const char *GetFilePart(const char *path)
{
    static char own[KV_PATH_SIZE];
    ChunkNameParts parts;
    if (ParseChunkName(path, &parts)) {
        size_t n = parts.ownLength < sizeof(own) - 1 ? parts.ownLength : sizeof(own) - 1;
        memcpy(own, parts.ownName, n);
        own[n] = 0;
        return own;
    }
    return OsFilePart(path);
}

const char *DirPartEnd(const char *path)
{
    const char *p = path;
    while (*p == '/') p++;
    const char *end = p;
    for (const char *q = p; *q; q++)
        if (*q == '/' || *q == '\\' || *q == ':') end = q + 1;
    return end;
}

int AddPart(char *path, const char *name, size_t size)
{
    return OsAddPart(path, name, size);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

static FileHandle *NewHandle(void)
{
    return (FileHandle *)MemAlloc(sizeof(FileHandle), 1);
}

// Opens the native form of path. A directory is no file: stdio would open it for reading and
// then fail every read, so it is refused here.
static FILE *OpenNative(const char *path, const char *mode)
{
    char *native = OsNativePath(path);
    FILE *f = fopen(native ? native : path, mode);
    MemFree(native);
    struct stat st;
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(f);
        errno = EISDIR;
        return nullptr;
    }
    return f;
}

static FileHandle *OpenSection(const char *name)
{
    ChunkNameParts parts;
    if (!ParseChunkName(name, &parts)) return nullptr;
    if (parts.size > (uint64_t)INT64_MAX || parts.offset > (uint64_t)INT64_MAX) return nullptr;
    // A file section must end at a representable offset: seeks compute start + size.
    if (!parts.memory && parts.size > (uint64_t)INT64_MAX - parts.offset) return nullptr;
    FileHandle *fh = NewHandle();
    if (!fh) return nullptr;
    fh->section = 1;
    fh->size = (int64_t)parts.size;
    fh->position = 0;
    if (parts.memory) {
        const char *p = parts.container;
        uint64_t address;
        if (!ParseNumber(&p, &address, 1) || *p != 0 || !IsRegisteredMemory((uintptr_t)address, parts.size)) {
            MemFree(fh);
            return nullptr;
        }
        fh->memory = (const unsigned char *)(uintptr_t)address;
        fh->start = 0;
        return fh;
    }
    fh->start = (int64_t)parts.offset;
    fh->stream = OpenNative(parts.container, "rb");
    if (!fh->stream || fseeko(fh->stream, (off_t)fh->start, SEEK_SET) != 0) {
        if (fh->stream) fclose(fh->stream);
        MemFree(fh);
        return nullptr;
    }
    return fh;
}

FileHandle *FOpen(const char *name, int mode)
{
    if (!name || mode < FMODE_READ || mode > FMODE_REPLACE) return nullptr;

    char progdir[KV_PATH_SIZE];
    if (strncmp(name, "PROGDIR:", 8) == 0) {
        if (!OsGetExecutablePath(0, nullptr, progdir, sizeof(progdir))) return nullptr;
        *DirPartEnd(progdir) = 0;
        if (!AddPart(progdir, name + 8, sizeof(progdir))) return nullptr;
        name = progdir;
    }

    if (IsVirtualName(name)) {
        if (mode != FMODE_READ) return nullptr;
        return OpenSection(name);
    }

    FileHandle *fh = NewHandle();
    if (!fh) return nullptr;
    if (mode == FMODE_REPLACE) {
        fh->stream = OsOpenReplacement(name, &fh->replacement);
        if (!fh->stream) {
            MemFree(fh);
            return nullptr;
        }
        fh->size = -1;
        return fh;
    }
    static const char *const modes[] = {"rb", "wb", "r+b"};
    fh->stream = OpenNative(name, modes[mode]);
    if (!fh->stream && mode == FMODE_READWRITE && errno == ENOENT) {
        FILE *created = OpenNative(name, "wb");
        if (created) {
            fclose(created);
            fh->stream = OpenNative(name, "r+b");
        }
    }
    if (!fh->stream) {
        MemFree(fh);
        return nullptr;
    }
    fh->size = -1;
    if (mode != FMODE_WRITE && fseeko(fh->stream, 0, SEEK_END) == 0) {
        off_t end = ftello(fh->stream);
        if (end >= 0) fh->size = (int64_t)end;
        fseeko(fh->stream, 0, SEEK_SET);
    }
    return fh;
}

int FClose(FileHandle *fh)
{
    if (!fh) return 0;
    int ok = !fh->writeFailed;
    if (fh->replacement) {
        if (ok) ok = OsCommitReplacement(fh->stream, fh->replacement);
        else OsDiscardReplacement(fh->stream, fh->replacement);
    } else if (fh->stream) {
        if (fclose(fh->stream) != 0) ok = 0;
    }
    MemFree(fh);
    return ok;
}

void FDiscard(FileHandle *fh)
{
    if (!fh) return;
    if (fh->replacement) {
        OsDiscardReplacement(fh->stream, fh->replacement);
    } else if (fh->stream) {
        fclose(fh->stream);
    }
    MemFree(fh);
}

int FCloseSave(FileHandle *fh, int ok)
{
    if (ok) return FClose(fh);
    FDiscard(fh);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Positioning

int64_t FSeek(FileHandle *fh, int64_t offset, int origin)
{
    int64_t previous = fh->position;
    int64_t target;
    switch (origin) {
    case FSEEK_START:
        target = fh->start + offset;
        break;
    case FSEEK_CURRENT:
        target = fh->start + fh->position + offset;
        break;
    case FSEEK_END:
        if (fh->size < 0) {
            if (fh->stream && fh->lastWrite && fflush(fh->stream) != 0) fh->writeFailed = 1;
            if (fh->stream && fseeko(fh->stream, (off_t)offset, SEEK_END) == 0) {
                off_t at = ftello(fh->stream);
                if (at >= 0) fh->position = (int64_t)at - fh->start;
            }
            fh->lastWrite = 0;
            return previous;
        }
        target = fh->start + fh->size + offset;
        break;
    default:
        return previous;
    }
    // Clamp to the section (or the file's start): never before it, never past a section's end.
    if (target < fh->start) target = fh->start;
    if (fh->section && target > fh->start + fh->size) target = fh->start + fh->size;
    // Leaving a write empties stdio's buffer: a failure there is a failed write.
    if (fh->stream && fseeko(fh->stream, (off_t)target, SEEK_SET) != 0 && fh->lastWrite)
        fh->writeFailed = 1;
    fh->position = target - fh->start;
    fh->lastWrite = 0;
    return previous;
}

int FEof(FileHandle *fh)
{
    return fh->position >= fh->size ? 1 : 0;
}

int FFlush(FileHandle *fh)
{
    if (fh->stream && fflush(fh->stream) != 0) fh->writeFailed = 1;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Reading and writing

// Between a read and a write the stream must be repositioned (stdio requires it).
static void TurnDirection(FileHandle *fh, int write)
{
    if (fh->stream && fh->lastWrite != write && fseeko(fh->stream, 0, SEEK_CUR) != 0 && fh->lastWrite)
        fh->writeFailed = 1;
    fh->lastWrite = write;
}

size_t FRead(FileHandle *fh, void *buffer, size_t n)
{
    if (n == 0) return 0;
    if (fh->section) {
        int64_t left = fh->size - fh->position;
        if (left <= 0) return 0;
        if ((uint64_t)n > (uint64_t)left) n = (size_t)left;
        if (fh->memory) {
            memcpy(buffer, fh->memory + fh->position, n);
            fh->position += (int64_t)n;
            return n;
        }
    }
    if (!fh->stream) return 0;
    TurnDirection(fh, 0);
    size_t got = fread(buffer, 1, n, fh->stream);
    fh->position += (int64_t)got;
    return got;
}

size_t FReadBlock(FileHandle *fh, void *buffer, size_t n)
{
    return FRead(fh, buffer, n);
}

int FGetC(FileHandle *fh)
{
    unsigned char c;
    return FRead(fh, &c, 1) == 1 ? c : -1;
}

size_t FWrite(FileHandle *fh, const void *buffer, size_t n)
{
    // Sections are opened for reading only; a memory section is never written through.
    if (n == 0 || fh->section || !fh->stream) return 0;
    TurnDirection(fh, 1);
    size_t put = fwrite(buffer, 1, n, fh->stream);
    if (put != n) fh->writeFailed = 1;
    fh->position += (int64_t)put;
    if (fh->size >= 0 && fh->position > fh->size) fh->size = fh->position;
    return put;
}

size_t FWriteBlock(FileHandle *fh, const void *buffer, size_t n)
{
    return FWrite(fh, buffer, n);
}

int FPutC(FileHandle *fh, int c)
{
    unsigned char b = (unsigned char)c;
    return FWrite(fh, &b, 1) == 1 ? b : -1;
}

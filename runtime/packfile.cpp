// Packing and unpacking whole files with zlib through the file layer.
#include "runtime/packfile.h"

#include <cstring>
#include <sys/stat.h>
#include <zlib.h>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

enum { PACK_BUFFER_SIZE = 16384 };

// Maps a zlib answer to the program's error code.
static int ZlibError(int z)
{
    switch (z) {
    case Z_VERSION_ERROR: return 1308;
    case Z_MEM_ERROR: return 1000;
    case Z_DATA_ERROR:
    case Z_NEED_DICT: return 1309;
    case Z_STREAM_ERROR: return 1307;
    case Z_ERRNO: return 1306;
    default: return 1091;
    }
}

// The file-system file that a name reads from or writes to: the container of a linked
// file, the executable's folder for "PROGDIR:", else the name itself. Returns 0 when the
// name has no such file (a memory section).
static int FileSystemPath(const char *name, char *out, size_t size)
{
    if (strncmp(name, ":::chunk", 8) == 0) {
        if (name[8] == 'S') return 0;
        const char *slash = strchr(name, '/');
        if (!slash) return 0;
        snprintf(out, size, "%s", slash + 1);
        return 1;
    }
    if (strncmp(name, "PROGDIR:", 8) == 0) {
        char exe[1024];
        if (!OsGetExecutablePath(0, nullptr, exe, sizeof exe)) return 0;
        *DirPartEnd(exe) = 0;
        snprintf(out, size, "%s", exe);
        AddPart(out, name + 8, size);
        return 1;
    }
    snprintf(out, size, "%s", name);
    return 1;
}

// Non-zero when dest names the file that source reads from (writing dest would destroy
// the data being read).
static int SameFile(const char *source, const char *dest)
{
    char a[2048], b[2048];
    if (!FileSystemPath(source, a, sizeof a) || !FileSystemPath(dest, b, sizeof b)) return 0;
    char *na = OsNativePath(a);
    char *nb = OsNativePath(b);
    struct stat sa, sb;
    int same = stat(na ? na : a, &sa) == 0 && stat(nb ? nb : b, &sb) == 0 &&
               sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    MemFree(na);
    MemFree(nb);
    return same;
}

// Opens dest for writing unless it is the source's own file.
static FileHandle *OpenDestination(const char *source, const char *dest, int *code)
{
    if (SameFile(source, dest)) {
        SetErrorString(dest);
        *code = 1052;
        return nullptr;
    }
    FileHandle *out = FOpen(dest, 1);
    if (!out) {
        SetErrorString(dest);
        *code = 1052;
    }
    return out;
}

int DeflateFile(const char *magic, const char *source, const char *dest, int64_t *outSize)
{
    unsigned char *inBuf = (unsigned char *)MemAlloc(PACK_BUFFER_SIZE, 0);
    unsigned char *outBuf = (unsigned char *)MemAlloc(PACK_BUFFER_SIZE, 0);
    FileHandle *in = nullptr, *out = nullptr;
    int code = 0;
    int zInit = 0;
    z_stream z;
    memset(&z, 0, sizeof z);

    if (!inBuf || !outBuf) {
        code = 1000;
        goto done;
    }
    in = FOpen(source, 0);
    if (!in) {
        SetErrorString(source);
        code = 1045;
        goto done;
    }
    out = OpenDestination(source, dest, &code);
    if (!out) goto done;

    {
        static const unsigned char zero[4] = {0, 0, 0, 0};
        FWrite(out, magic, 4);
        FWrite(out, zero, 4);
    }

    {
        int z_rc = deflateInit(&z, Z_DEFAULT_COMPRESSION);
        if (z_rc != Z_OK) {
            code = ZlibError(z_rc);
            goto done;
        }
        zInit = 1;
    }

    for (;;) {
        int64_t got = FRead(in, inBuf, PACK_BUFFER_SIZE);
        int atEnd = FEof(in);
        if (got < PACK_BUFFER_SIZE && !atEnd) {
            code = 1009;
            goto done;
        }
        int flush = atEnd ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = inBuf;
        z.avail_in = (uInt)got;
        do {
            z.next_out = outBuf;
            z.avail_out = PACK_BUFFER_SIZE;
            int z_rc = deflate(&z, flush);
            if (z_rc == Z_STREAM_ERROR) {
                code = ZlibError(z_rc);
                goto done;
            }
            int64_t have = PACK_BUFFER_SIZE - z.avail_out;
            if (have > 0 && (int64_t)FWrite(out, outBuf, (size_t)have) != have) {
                code = 1005;
                goto done;
            }
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) break;
    }
    if (outSize) *outSize = FSeek(out, 0, 0);

done:
    if (zInit) deflateEnd(&z);
    if (out) FClose(out);
    if (in) FClose(in);
    MemFree(inBuf);
    MemFree(outBuf);
    return code;
}

int InflateFile(const char *magic, const char *source, const char *dest, int64_t sourceOffset,
                int64_t *outSize)
{
    unsigned char *inBuf = (unsigned char *)MemAlloc(PACK_BUFFER_SIZE, 0);
    unsigned char *outBuf = (unsigned char *)MemAlloc(PACK_BUFFER_SIZE, 0);
    FileHandle *in = nullptr, *out = nullptr;
    int code = 0;
    int zInit = 0;
    int streamEnd = 0;
    z_stream z;
    memset(&z, 0, sizeof z);

    if (!inBuf || !outBuf) {
        code = 1000;
        goto done;
    }
    in = FOpen(source, 0);
    if (!in) {
        SetErrorString(source);
        code = 1045;
        goto done;
    }
    FSeek(in, sourceOffset, 1);
    {
        unsigned char head[4];
        if (FRead(in, head, 4) != 4 || memcmp(head, magic, 4) != 0) {
            code = 1310;
            goto done;
        }
        FSeek(in, 4, 0);
    }
    out = OpenDestination(source, dest, &code);
    if (!out) goto done;

    {
        int z_rc = inflateInit(&z);
        if (z_rc != Z_OK) {
            code = ZlibError(z_rc);
            goto done;
        }
        zInit = 1;
    }

    while (!streamEnd) {
        int64_t got = FRead(in, inBuf, PACK_BUFFER_SIZE);
        if (got < PACK_BUFFER_SIZE && !FEof(in)) {
            code = 1009;
            goto done;
        }
        if (got == 0) break;
        z.next_in = inBuf;
        z.avail_in = (uInt)got;
        do {
            z.next_out = outBuf;
            z.avail_out = PACK_BUFFER_SIZE;
            int z_rc = inflate(&z, Z_NO_FLUSH);
            if (z_rc == Z_NEED_DICT || z_rc == Z_DATA_ERROR || z_rc == Z_MEM_ERROR ||
                z_rc == Z_STREAM_ERROR) {
                code = ZlibError(z_rc);
                goto done;
            }
            int64_t have = PACK_BUFFER_SIZE - z.avail_out;
            if (have > 0 && (int64_t)FWrite(out, outBuf, (size_t)have) != have) {
                code = 1005;
                goto done;
            }
            if (z_rc == Z_STREAM_END) {
                streamEnd = 1;
                break;
            }
            // Z_BUF_ERROR: no progress possible with this input; read more.
            if (z_rc == Z_BUF_ERROR) break;
        } while (z.avail_out == 0);
    }
    if (!streamEnd) code = 1309;
    if (outSize) *outSize = FSeek(out, 0, 0);

done:
    if (zInit) inflateEnd(&z);
    if (out) FClose(out);
    if (in) FClose(in);
    MemFree(inBuf);
    MemFree(outBuf);
    return code;
}

// CompressFile(source, destination): packs source into a "KVPK" file; returns its size. The
// source may be a file linked into the applet.
int CompressFileCmd(lua_State *L)
{
    CheckArgs(L, 2, 2);
    const char *source = ResolveLinkedFileArg(L, 1, 0, nullptr);
    const char *dest = luaL_checkstring(L, 2);
    int64_t size = 0;
    int code = DeflateFile("KVPK", source, dest, &size);
    if (code) return code;
    lua_pushnumber(L, (double)size);
    return 1;
}

// DecompressFile(source, destination): unpacks a "KVPK" file; returns the unpacked size. The
// source may be a file linked into the applet.
int DecompressFileCmd(lua_State *L)
{
    CheckArgs(L, 2, 2);
    const char *source = ResolveLinkedFileArg(L, 1, 0, nullptr);
    const char *dest = luaL_checkstring(L, 2);
    int64_t size = 0;
    int code = InflateFile("KVPK", source, dest, 0, &size);
    if (code) return code;
    lua_pushnumber(L, (double)size);
    return 1;
}

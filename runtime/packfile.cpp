// Packing and unpacking whole files with zlib through the file layer.
#include "runtime/packfile.h"

#include <cstring>
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
    return OsSameFile(a, b);
}

// Opens dest for writing unless it is the source's own file. The bytes go to a new file that
// takes the place of an existing dest only once it is whole (ClosePackFiles).
static FileHandle *OpenDestination(const char *source, const char *dest, int *code)
{
    FileHandle *out = SameFile(source, dest) ? nullptr : FOpen(dest, FMODE_REPLACE);
    if (!out) {
        SetErrorString(dest);
        *code = 1052;
    }
    return out;
}

// The files and buffers of one packing or unpacking run.
struct PackFiles {
    unsigned char *inBuf, *outBuf;
    FileHandle *in, *out;
};

// Allocates the buffers and opens the source: 0, 1000 or 1045.
static int OpenPackSource(PackFiles *p, const char *source)
{
    p->inBuf = (unsigned char *)MemAlloc(PACK_BUFFER_SIZE, 0);
    p->outBuf = (unsigned char *)MemAlloc(PACK_BUFFER_SIZE, 0);
    p->in = nullptr;
    p->out = nullptr;
    if (!p->inBuf || !p->outBuf) return 1000;
    p->in = FOpen(source, FMODE_READ);
    if (!p->in) {
        SetErrorString(source);
        return 1045;
    }
    return 0;
}

// Closes both files and frees the buffers. After an error (code) the destination is given up:
// an existing file of its name stays as it was and nothing new is left. Without one a failed
// close (the last bytes could not be written) gives 1005.
static int ClosePackFiles(PackFiles *p, int code)
{
    if (p->out && code) FDiscard(p->out);
    else if (p->out && !FClose(p->out)) code = 1005;
    if (p->in) FClose(p->in);
    MemFree(p->inBuf);
    MemFree(p->outBuf);
    return code;
}

// Reads the next block of the source as the stream's input: 0, or 1009 when the read falls
// short before the end of the file.
static int ReadPackInput(PackFiles *p, z_stream *z)
{
    int64_t got = FRead(p->in, p->inBuf, PACK_BUFFER_SIZE);
    if (got < PACK_BUFFER_SIZE && !FEof(p->in)) return 1009;
    z->next_in = p->inBuf;
    z->avail_in = (uInt)got;
    return 0;
}

// Hands the whole output buffer to the stream for its next step.
static void ResetPackOutput(PackFiles *p, z_stream *z)
{
    z->next_out = p->outBuf;
    z->avail_out = PACK_BUFFER_SIZE;
}

// Writes what the stream's last step put into the output buffer: 0 or 1005.
static int WritePackOutput(PackFiles *p, const z_stream *z)
{
    int64_t have = PACK_BUFFER_SIZE - z->avail_out;
    if (have > 0 && (int64_t)FWrite(p->out, p->outBuf, (size_t)have) != have) return 1005;
    return 0;
}

int DeflateFile(const char *magic, const char *source, const char *dest, int64_t *outSize)
{
    PackFiles p;
    int zInit = 0;
    z_stream z;
    memset(&z, 0, sizeof z);

    int code = OpenPackSource(&p, source);
    if (code) goto done;
    p.out = OpenDestination(source, dest, &code);
    if (!p.out) goto done;

    {
        static const unsigned char zero[4] = {0, 0, 0, 0};
        FWrite(p.out, magic, 4);
        FWrite(p.out, zero, 4);
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
        code = ReadPackInput(&p, &z);
        if (code) goto done;
        int flush = FEof(p.in) ? Z_FINISH : Z_NO_FLUSH;
        do {
            ResetPackOutput(&p, &z);
            int z_rc = deflate(&z, flush);
            if (z_rc == Z_STREAM_ERROR) {
                code = ZlibError(z_rc);
                goto done;
            }
            code = WritePackOutput(&p, &z);
            if (code) goto done;
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) break;
    }
    if (outSize) *outSize = FSeek(p.out, 0, FSEEK_CURRENT);

done:
    if (zInit) deflateEnd(&z);
    return ClosePackFiles(&p, code);
}

int InflateFile(const char *magic, const char *source, const char *dest, int64_t sourceOffset,
                int64_t *outSize)
{
    PackFiles p;
    int zInit = 0;
    int streamEnd = 0;
    z_stream z;
    memset(&z, 0, sizeof z);

    int code = OpenPackSource(&p, source);
    if (code) goto done;
    FSeek(p.in, sourceOffset, FSEEK_START);
    {
        unsigned char head[4];
        if (FRead(p.in, head, 4) != 4 || memcmp(head, magic, 4) != 0) {
            code = 1310;
            goto done;
        }
        FSeek(p.in, 4, FSEEK_CURRENT);
    }
    p.out = OpenDestination(source, dest, &code);
    if (!p.out) goto done;

    {
        int z_rc = inflateInit(&z);
        if (z_rc != Z_OK) {
            code = ZlibError(z_rc);
            goto done;
        }
        zInit = 1;
    }

    while (!streamEnd) {
        code = ReadPackInput(&p, &z);
        if (code) goto done;
        if (z.avail_in == 0) break;
        do {
            ResetPackOutput(&p, &z);
            int z_rc = inflate(&z, Z_NO_FLUSH);
            if (z_rc == Z_NEED_DICT || z_rc == Z_DATA_ERROR || z_rc == Z_MEM_ERROR ||
                z_rc == Z_STREAM_ERROR) {
                code = ZlibError(z_rc);
                goto done;
            }
            code = WritePackOutput(&p, &z);
            if (code) goto done;
            if (z_rc == Z_STREAM_END) {
                streamEnd = 1;
                break;
            }
            // Z_BUF_ERROR: no progress possible with this input; read more.
            if (z_rc == Z_BUF_ERROR) break;
        } while (z.avail_out == 0);
    }
    if (!streamEnd) code = 1309;
    if (outSize) *outSize = FSeek(p.out, 0, FSEEK_CURRENT);

done:
    if (zInit) inflateEnd(&z);
    return ClosePackFiles(&p, code);
}

// CompressFile and DecompressFile (source, destination): pack or unpack a "KVPK" file and
// return the size of the file written. The source may be a file linked into the applet.
static int PackFileCommand(lua_State *L, int unpack)
{
    CheckArgs(L, 2, 2);
    const char *source = ResolveLinkedFileArg(L, 1, 0, nullptr);
    const char *dest = luaL_checkstring(L, 2);
    int64_t size = 0;
    int code = unpack ? InflateFile("KVPK", source, dest, 0, &size)
                      : DeflateFile("KVPK", source, dest, &size);
    if (code) return code;
    lua_pushnumber(L, (double)size);
    return 1;
}

int CompressFileCmd(lua_State *L) { return PackFileCommand(L, 0); }

int DecompressFileCmd(lua_State *L) { return PackFileCommand(L, 1); }

// Names a script can hand to the file layer: virtual names, PROGDIR: names and paths. Opening
// must never read outside a file or a registered memory section, and the path routines must
// stay inside their buffers.
#include <cstdint>
#include <cstring>
#include <sys/stat.h>

#include "runtime/filelayer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char name[KV_PATH_SIZE];
    size_t n = size < sizeof(name) - 1 ? size : sizeof(name) - 1;
    memcpy(name, data, n);
    name[n] = 0;

    ChunkNameParts parts;
    int isChunk = ParseChunkName(name, &parts);
    GetFilePart(name);
    DirPartEnd(name);

    char joined[64] = "dir";
    AddPart(joined, name, sizeof(joined));
    char chunk[128];
    MakeChunkName(name, chunk, sizeof(chunk), 100, 20, 0, name, nullptr);

    // Only virtual names over memory or regular files are opened, read-only: a fuzzer must
    // neither create files nor block on device paths.
    struct stat st;
    int openable = isChunk && (parts.memory || (stat(parts.container, &st) == 0 && S_ISREG(st.st_mode)));
    FileHandle *fh = openable ? FOpen(name, FMODE_READ) : nullptr;
    if (fh) {
        unsigned char buf[64];
        FRead(fh, buf, sizeof(buf));
        FSeek(fh, -1000, FSEEK_CURRENT);
        FGetC(fh);
        FSeek(fh, 0, FSEEK_END);
        FClose(fh);
    }
    return 0;
}

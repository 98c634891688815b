// Fuzz target of the packed-file reader: any bytes, read through a registered memory section,
// are unpacked with InflateFile (a result or an error code, never a crash or a hang); and any
// bytes packed with DeflateFile must unpack to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "runtime/filelayer.h"
#include "runtime/packfile.h"

namespace {

char ScratchPaths[2][64];

void RemoveScratch(void)
{
    for (char *path : ScratchPaths)
        if (path[0]) unlink(path);
}

// Two scratch files of this process, made once and removed at exit.
const char *ScratchPath(int which)
{
    char (&paths)[2][64] = ScratchPaths;
    if (!paths[which][0]) {
        if (!paths[0][0] && !paths[1][0]) atexit(RemoveScratch);
        snprintf(paths[which], sizeof(paths[which]), "/tmp/kvfuzz-inflate-XXXXXX");
        int fd = mkstemp(paths[which]);
        if (fd < 0) abort();
        close(fd);
    }
    return paths[which];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20)) return 0;
    if (RegisterMemorySection(data, size ? size : 1) != 0) return 0;
    char name[KV_PATH_SIZE];
    if (MakeChunkName("input.kvpk", name, sizeof(name), -1, (uint32_t)size, 0, nullptr, data)) {
        int64_t unpacked = 0;
        InflateFile("KVPK", name, ScratchPath(0), 0, &unpacked);

        int64_t packed = 0;
        if (DeflateFile("KVPK", name, ScratchPath(0), &packed) != 0) abort();
        if (InflateFile("KVPK", ScratchPath(0), ScratchPath(1), 0, &unpacked) != 0) abort();
        if (unpacked != (int64_t)size) abort();
        FILE *f = fopen(ScratchPath(1), "rb");
        if (!f) abort();
        unsigned char *back = (unsigned char *)malloc(size + 1);
        size_t got = fread(back, 1, size + 1, f);
        fclose(f);
        if (got != size || (size && memcmp(back, data, size) != 0)) abort();
        free(back);
    }
    UnregisterMemorySection(data);
    return 0;
}

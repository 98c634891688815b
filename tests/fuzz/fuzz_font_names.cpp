// Font names from untrusted bytes: the bytes are scanned as a plain face, a collection and a
// resource file (the walks through directories, offsets, lengths and name records), and every
// collection face found is extracted.
#include <unistd.h>

#include <cstdint>
#include <initializer_list>
#include <cstdio>
#include <string>

#include "platform/os.h"
#include "runtime/memory.h"
#include "tests/text/font_fixtures.h"
#include "text/font_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20)) return 0;
    static std::string dir;
    if (dir.empty()) {
        char tmp[] = "/tmp/fuzznamesXXXXXX";
        dir = mkdtemp(tmp);
        setenv("TMPDIR", dir.c_str(), 1);
    }
    fontfix::Bytes bytes(data, data + size);
    for (const char *name : {"/x.ttf", "/x.ttc", "/x.dfont", "/x.font"}) {
        std::string path = dir + name;
        fontfix::WriteFile(path, bytes);
        FreeFontList();
        ScanFontFile(path.c_str(), 0);
        for (const SystemFontEntry *e = GetFontList(); e; e = e->next) {
            if (!e->collectionOffset) continue;
            char *face = ExtractCollectionFace(e);
            if (face) OsDelete(face);
            MemFree(face);
        }
        FreeFontList();
        unlink(path.c_str());
    }
    return 0;
}

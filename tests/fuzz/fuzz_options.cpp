// Option texts and configuration files from untrusted bytes: the first byte chooses how the
// rest is split between the command line and the configuration file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/applet.h"
#include "runtime/memory.h"
#include "runtime/options.h"
#include "runtime/player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    size_t split = data[0] % (size);
    std::string text((const char *)data + 1, split);
    text = text.c_str();    // the option text is a C string
    const char *config = (const char *)data + 1 + split;
    size_t configLen = size - 1 - split;

    OptionsRecord opts;
    InitOptionsRecord(&opts);
    ClArgsRecord *clargs = (ClArgsRecord *)MemAlloc(sizeof(ClArgsRecord), 1);
    AppletRecord *applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
    if (clargs && applet && ParseOptionText(&opts, text.c_str()) == 0 &&
        ParseConfigText(&opts, config, configLen) == 0) {
        opts.value[OPT_LINKFILES] = nullptr;    // no file reads
        opts.value[OPT_LINKFONTS] = nullptr;
        ApplyStartupOptions(clargs, &opts, applet);
        ParseLinkFileText(&opts, config, configLen, data[0] & 1);
    }
    FreeOptionsRecord(&opts);
    if (clargs) {
        for (UserArgNode *n = clargs->userArgs; n;) {
            UserArgNode *next = n->next;
            MemFree(n->name);
            MemFree(n->value);
            MemFree(n);
            n = next;
        }
        MemFree(clargs->private1File);
        MemFree(clargs->private2File);
        for (char *icon : clargs->iconFiles) MemFree(icon);
    }
    MemFree(clargs);
    MemFree(applet);
    return 0;
}

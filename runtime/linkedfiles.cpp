// Files linked into the running applet and their virtual names.
#include <cstring>
#include <strings.h>

#include "runtime/filelayer.h"

static LinkedFileEntry *LinkedFiles = nullptr;
static int64_t LinkedAppletStart = 0;
static const char *LinkedScriptPath = nullptr;
// The name of the last resolved linked file; the next call overwrites it.
static char LinkedNameBuffer[KV_PATH_SIZE];

static const char FontPrefix[] = "::font:";
enum { FONT_PREFIX_LEN = 7 };

void SetLinkedFiles(LinkedFileEntry *files, int64_t appletStart, const char *scriptPath)
{
    LinkedFiles = files;
    LinkedAppletStart = appletStart;
    LinkedScriptPath = scriptPath;
}

int64_t GetLinkedAppletStart(void)
{
    return LinkedAppletStart;
}

static int EndsWithNoCase(const char *s, size_t len, const char *suffix)
{
    size_t n = strlen(suffix);
    return len >= n && strncasecmp(s + len - n, suffix, n) == 0;
}

const char *ResolveLinkedFile(lua_State *L, const char *name, int fontFlag, int *fontFound)
{
    if (fontFound) *fontFound = 0;
    if (!LinkedFiles || !name) return name;

    size_t len = strlen(name);
    int fontEntry = fontFlag && !EndsWithNoCase(name, len, ".ttf") && !EndsWithNoCase(name, len, ".otf");
    if (fontEntry && EndsWithNoCase(name, len, ".font")) len -= 5;

    for (LinkedFileEntry *e = LinkedFiles; e; e = e->next) {
        int isFont = strncmp(e->name, FontPrefix, FONT_PREFIX_LEN) == 0;
        if (isFont != fontEntry) continue;
        const char *entryName = isFont ? e->name + FONT_PREFIX_LEN : e->name;
        if (strlen(entryName) != len || strncasecmp(entryName, name, len) != 0) continue;

        const char *container = e->container[0] ? e->container : (LinkedScriptPath ? LinkedScriptPath : "");
        if (!MakeChunkName(entryName, LinkedNameBuffer, sizeof(LinkedNameBuffer),
                           (int64_t)e->offset + LinkedAppletStart, e->size, LinkedAppletStart,
                           container, nullptr))
            return name;   // a name that does not fit is not resolved (the open then fails)
        if (fontFound && isFont) *fontFound = 1;
        return LinkedNameBuffer;
    }
    return name;
}

// The configuration file named after the script ("NAME = value" lines) and the link list files
// of the LINKFILES and LINKFONTS options.
#include <cstring>
#include <strings.h>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/options.h"
#include "runtime/player.h"

enum { CONFIG_MAX_SIZE = 16 << 20 };

int MakeConfigFileName(const char *scriptPath, int appended, char *buffer, size_t size)
{
    if (!scriptPath || size == 0) return 0;
    buffer[0] = 0;
    const char *filePart = DirPartEnd(scriptPath);
    const char *dot = strrchr(filePart, '.');
    size_t cut = (size_t)((dot ? dot : filePart + strlen(filePart)) - scriptPath);

    if (appended) {
        // The applet travels inside the executable: its configuration file lies in the
        // executable's own directory.
        char dir[KV_PATH_SIZE];
        char name[KV_PATH_SIZE];
        if (!OsGetBundlePath(dir, sizeof dir)) return 0;
        size_t nameLen = cut - (size_t)(filePart - scriptPath);
        if (nameLen + 5 > sizeof name) return 0;
        memcpy(name, filePart, nameLen);
        memcpy(name + nameLen, ".ini", 5);
        if (strlen(dir) >= size) return 0;
        memcpy(buffer, dir, strlen(dir) + 1);
        if (!AddPart(buffer, name, size)) {
            buffer[0] = 0;
            return 0;
        }
        return 1;
    }
    if (cut + 5 > size) return 0;
    memcpy(buffer, scriptPath, cut);
    memcpy(buffer + cut, ".ini", 5);
    return 1;
}

static int IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static int IsNameChar(char c)
{
    return IsLetter(c) || (c >= '0' && c <= '9') || c == '_';
}

// A switch is on for "true", "yes", "on" (any case) or a non-zero number.
static int SwitchValue(const char *value)
{
    if (strcasecmp(value, "true") == 0 || strcasecmp(value, "yes") == 0 ||
        strcasecmp(value, "on") == 0)
        return 1;
    int used, err;
    double n = StrToNumber(value, &used, &err);
    return !err && n != 0;
}

int ParseConfigText(OptionsRecord *opts, const char *text, size_t len)
{
    if (!text) return 0;
    const void *zero = memchr(text, 0, len);
    if (zero) len = (size_t)((const char *)zero - text);
    char *p = AddOptionTextBlock(opts, text, len);
    if (!p) return 1000;

    for (;;) {
        while (*p == '\r' || *p == '\n' || *p == ' ' || *p == '\t') p++;
        if (!*p) break;
        if (*p == '#' || *p == '[') {
            while (*p && *p != '\n') p++;
            continue;
        }
        if (!IsLetter(*p)) return 1363;

        char name[OPTION_NAME_MAX + 1];
        size_t nameLen = 0;
        while (IsNameChar(*p)) {
            if (nameLen == OPTION_NAME_MAX) return 1363;
            name[nameLen++] = *p++;
        }
        name[nameLen] = 0;
        while (*p == ' ' || *p == '\t') p++;
        if (*p != '=') return 1363;
        p++;
        while (*p == ' ' || *p == '\t') p++;

        char *value;
        if (*p == '"') {
            value = ++p;
            while (*p && *p != '"' && *p != '\r' && *p != '\n') p++;
            if (*p != '"') return 1363;
            *p++ = 0;
        } else {
            value = p;
            while (*p && *p != '\r' && *p != '\n') p++;
            char *next = *p ? p + 1 : p;
            char *end = p;
            while (end > value && (end[-1] == ' ' || end[-1] == '\t')) end--;
            *end = 0;
            p = next;
        }

        const OptionDef *def = FindOption(name);
        if (def) {
            if (def->takesValue) opts->value[def->id] = value;
            else opts->on[def->id] = SwitchValue(value);
        } else if (!AddUserArg(opts, name, nameLen, value)) {
            return 1000;
        }
    }
    return 0;
}

// Reads a whole file through the file layer into a new allocation; *len its size. 0, 1000, or
// -1 when the file cannot be opened or read.
static int ReadWholeFile(const char *path, char **out, size_t *len)
{
    FileHandle *fh = FOpen(path, FMODE_READ);
    if (!fh) return -1;
    int64_t size = fh->size;
    int result = 0;
    char *buf = nullptr;
    if (size < 0 || size > CONFIG_MAX_SIZE) {
        result = -1;
    } else {
        buf = (char *)MemAlloc((size_t)size + 1, 0);
        if (!buf) result = 1000;
        else if (FRead(fh, buf, (size_t)size) != (size_t)size) result = -1;
    }
    FClose(fh);
    if (result) {
        MemFree(buf);
        return result;
    }
    buf[size] = 0;
    *out = buf;
    *len = (size_t)size;
    return 0;
}

int ReadConfigFile(OptionsRecord *opts, const char *path)
{
    char *text;
    size_t len;
    int r = ReadWholeFile(path, &text, &len);
    if (r == -1) return 0;      // no configuration file: the command line alone counts
    if (r) return r;
    r = ParseConfigText(opts, text, len);
    MemFree(text);
    return r;
}

// ---------------------------------------------------------------------------------------------
// Link lists

static int AddLinkName(OptionsRecord *opts, const char *name, size_t len, int fonts)
{
    static const char FONT_PREFIX[] = "::font:";
    static const char FONT_SUFFIX[] = ".font";
    const size_t prefixLen = sizeof FONT_PREFIX - 1, suffixLen = sizeof FONT_SUFFIX - 1;
    if (fonts && len > suffixLen && strncasecmp(name + len - suffixLen, FONT_SUFFIX, suffixLen) == 0)
        len -= suffixLen;
    size_t total = len + (fonts ? prefixLen : 0);
    char *entry = (char *)MemAlloc(total + 1, 0);
    if (!entry) return 1000;
    if (fonts) memcpy(entry, FONT_PREFIX, prefixLen);
    memcpy(entry + (fonts ? prefixLen : 0), name, len);
    entry[total] = 0;

    LinkNameNode **tail = &opts->linkNames;
    for (; *tail; tail = &(*tail)->next) {
        if (strcasecmp((*tail)->name, entry) == 0) {
            MemFree(entry);     // already listed
            return 0;
        }
    }
    LinkNameNode *node = (LinkNameNode *)MemAlloc(sizeof(LinkNameNode), 1);
    if (!node) {
        MemFree(entry);
        return 1000;
    }
    node->name = entry;
    *tail = node;
    return 0;
}

int ParseLinkFileText(OptionsRecord *opts, const char *text, size_t len, int fonts)
{
    const char *p = text;
    const char *end = text + len;
    while (p < end) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) p++;
        if (p < end && *p == '\n') {
            p++;
            continue;
        }
        if (p >= end) break;
        const char *name;
        size_t nameLen;
        if (*p == '"') {
            name = ++p;
            while (p < end && *p != '"' && *p != '\n' && *p != '\r') p++;
            if (p >= end || *p != '"') return 1305;
            nameLen = (size_t)(p - name);
            p++;
        } else {
            name = p;
            while (p < end && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') p++;
            nameLen = (size_t)(p - name);
        }
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) p++;
        if (p < end && *p != '\n') return 1305;      // one entry a line
        if (nameLen == 0) return 1305;
        int r = AddLinkName(opts, name, nameLen, fonts);
        if (r) return r;
    }
    return 0;
}

int ReadLinkFileDatabase(OptionsRecord *opts, const char *path, int fonts)
{
    char *text;
    size_t len;
    int r = ReadWholeFile(path, &text, &len);
    if (r == -1) {
        SetErrorString(path);
        return 1045;
    }
    if (r) return r;
    r = ParseLinkFileText(opts, text, len, fonts);
    MemFree(text);
    if (r == 1305) SetErrorString(path);
    return r;
}

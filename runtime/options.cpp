// The option table, the option-text parser and ApplyStartupOptions.
#include "runtime/options.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/player.h"
#include "runtime/vm/values.h"

// In table order: the left column of the documented table, then the right one.
const OptionDef OptionTable[OPTION_COUNT] = {
    {"WINDOW", OPT_WINDOW, 0},
    {"BORDERLESS", OPT_BORDERLESS, 0},
    {"SIZEABLE", OPT_SIZEABLE, 0},
    {"BACKFILL", OPT_BACKFILL, 1},
    {"HIDETITLEBAR", OPT_HIDETITLEBAR, 0},
    {"BRUSH", OPT_BRUSH, 1},
    {"STARTCOLOR", OPT_STARTCOLOR, 1},
    {"ENDCOLOR", OPT_ENDCOLOR, 1},
    {"DEPTH", OPT_DEPTH, 1},
    {"COMPILE", OPT_COMPILE, 1},
    {"QUIET", OPT_QUIET, 0},
    {"PUBSCREEN", OPT_PUBSCREEN, 1},
    {"BRUSHFILE", OPT_BRUSHFILE, 1},
    {"MASTERVOLUME", OPT_MASTERVOLUME, 1},
    {"FIXED", OPT_FIXED, 0},
    {"NOSOUND", OPT_NOSOUND, 0},
    {"EXETYPE", OPT_EXETYPE, 1},
    {"SCALEPICTURE", OPT_SCALEPICTURE, 0},
    {"PICXPOS", OPT_PICXPOS, 1},
    {"PICYPOS", OPT_PICYPOS, 1},
    {"PICTRANS", OPT_PICTRANS, 1},
    {"FULLSCREEN", OPT_FULLSCREEN, 0},
    {"PRIVATE1", OPT_PRIVATE1, 1},
    {"PRIVATE2", OPT_PRIVATE2, 1},
    {"USEQUARTZ", OPT_USEQUARTZ, 0},
    {"NOHIDE", OPT_NOHIDE, 0},
    {"OWNSCREEN", OPT_OWNSCREEN, 0},
    {"SCRWIDTH", OPT_SCRWIDTH, 1},
    {"SCRHEIGHT", OPT_SCRHEIGHT, 1},
    {"FAKEFULLSCREEN", OPT_FAKEFULLSCREEN, 0},
    {"HIDEPOINTER", OPT_HIDEPOINTER, 0},
    {"NOMODESWITCH", OPT_NOMODESWITCH, 0},
    {"LINKFILES", OPT_LINKFILES, 1},
    {"DEBUGDEVICE", OPT_DEBUGDEVICE, 1},
    {"COMPRESS", OPT_COMPRESS, 0},
    {"OVERWRITE", OPT_OVERWRITE, 0},
    {"AUTOSCALE", OPT_AUTOSCALE, 0},
    {"SMOOTHSCALE", OPT_SMOOTHSCALE, 0},
    {"SCALEWIDTH", OPT_SCALEWIDTH, 1},
    {"SCALEHEIGHT", OPT_SCALEHEIGHT, 1},
    {"LAYERSCALE", OPT_LAYERSCALE, 0},
    {"USEWPA", OPT_USEWPA, 0},
    {"WPAMODE", OPT_WPAMODE, 1},
    {"LOCKSETTINGS", OPT_LOCKSETTINGS, 0},
    {"LINKFONTS", OPT_LINKFONTS, 1},
    {"PRIVATE3", OPT_PRIVATE3, 1},
    {"SCRIPTALIAS", OPT_SCRIPTALIAS, 1},
    {"ICON16X16", OPT_ICON16X16, 1},
    {"ICON24X24", OPT_ICON24X24, 1},
    {"ICON32X32", OPT_ICON32X32, 1},
    {"ICON48X48", OPT_ICON48X48, 1},
    {"ICON128X128", OPT_ICON128X128, 1},
    {"ICON256X256", OPT_ICON256X256, 1},
    {"ICON512X512", OPT_ICON512X512, 1},
    {"KEEPPROPORTIONS", OPT_KEEPPROPORTIONS, 0},
    {"FITSCALE", OPT_FITSCALE, 0},
};

const OptionDef *FindOption(const char *name)
{
    for (int i = 0; i < OPTION_COUNT; i++)
        if (strcasecmp(OptionTable[i].name, name) == 0) return &OptionTable[i];
    return nullptr;
}

void InitOptionsRecord(OptionsRecord *opts)
{
    memset(opts, 0, sizeof *opts);
}

static void FreeUserArgList(UserArgNode *node)
{
    while (node) {
        UserArgNode *next = node->next;
        MemFree(node->name);
        MemFree(node->value);
        MemFree(node);
        node = next;
    }
}

void FreeOptionsRecord(OptionsRecord *opts)
{
    FreeUserArgList(opts->userArgs);
    for (LinkNameNode *n = opts->linkNames; n;) {
        LinkNameNode *next = n->next;
        MemFree(n->name);
        MemFree(n);
        n = next;
    }
    while (opts->textBlocks) {
        void *next = *(void **)opts->textBlocks;
        MemFree(opts->textBlocks);
        opts->textBlocks = next;
    }
    InitOptionsRecord(opts);
}

// ---------------------------------------------------------------------------------------------
// Option text

int GatherOptionText(int argc, char **argv, char *buffer, size_t size)
{
    if (size == 0) return 1060;
    size_t len = 0;
    buffer[0] = 0;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i] ? argv[i] : "";
        int quote = arg[0] != '-';
        size_t need = (len ? 1 : 0) + strlen(arg) + (quote ? 2 : 0);
        if (len + need + 1 > size) {
            buffer[0] = 0;
            return 1060;
        }
        if (len) buffer[len++] = ' ';
        if (quote) buffer[len++] = '"';
        memcpy(buffer + len, arg, strlen(arg));
        len += strlen(arg);
        if (quote) buffer[len++] = '"';
        buffer[len] = 0;
    }
    return 0;
}

static char *CopyText(const char *s, size_t n)
{
    char *c = (char *)MemAlloc(n + 1, 0);
    if (!c) return nullptr;
    memcpy(c, s, n);
    c[n] = 0;
    return c;
}

UserArgNode *AddUserArg(OptionsRecord *opts, const char *name, size_t nameLen,
                        const char *value)
{
    UserArgNode *node = (UserArgNode *)MemAlloc(sizeof(UserArgNode), 1);
    if (!node) return nullptr;
    node->name = CopyText(name, nameLen);
    if (value) node->value = CopyText(value, strlen(value));
    if (!node->name || (value && !node->value)) {
        MemFree(node->name);
        MemFree(node->value);
        MemFree(node);
        return nullptr;
    }
    // Appending goes through the remembered end of the list, so a configuration file of many
    // entries is read in linear time.
    UserArgNode **tail = opts->userTail ? opts->userTail : &opts->userArgs;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    opts->userTail = &node->next;
    return node;
}

static int IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

char *AddOptionTextBlock(OptionsRecord *opts, const char *text, size_t n)
{
    // A block: the link to the previous block, then the text and its terminator.
    char *block = (char *)MemAlloc(sizeof(void *) + n + 1, 0);
    if (!block) return nullptr;
    *(void **)block = opts->textBlocks;
    opts->textBlocks = block;
    char *copy = block + sizeof(void *);
    memcpy(copy, text, n);
    copy[n] = 0;
    return copy;
}

int ParseOptionText(OptionsRecord *opts, const char *text)
{
    if (!text) text = "";
    char *buf = AddOptionTextBlock(opts, text, strlen(text));
    if (!buf) return 1000;

    int awaitOption = -1;           // option id whose value comes next
    UserArgNode *awaitUser = nullptr;  // user argument whose value may come next
    char *p = buf;
    for (;;) {
        while (*p == ' ' || *p == '\t') p++;
        if (!*p) break;

        if (*p == '-') {
            if (awaitOption >= 0) return 1060;
            char *name = ++p;
            while (IsNameChar(*p)) p++;
            size_t nameLen = (size_t)(p - name);
            if (nameLen == 0) return 1060;
            char local[OPTION_NAME_MAX + 1];
            const OptionDef *def = nullptr;
            if (nameLen <= OPTION_NAME_MAX) {
                memcpy(local, name, nameLen);
                local[nameLen] = 0;
                def = FindOption(local);
            }
            awaitUser = nullptr;
            if (def) {
                if (def->takesValue) awaitOption = def->id;
                else opts->on[def->id] = 1;
            } else {
                awaitUser = AddUserArg(opts, name, nameLen, nullptr);
                if (!awaitUser) return 1000;
            }
            continue;
        }

        // A word: quoted up to the closing quote, else up to the next blank.
        char *word;
        if (*p == '"') {
            word = ++p;
            char *close = strchr(p, '"');
            if (!close) return 1060;
            *close = 0;
            p = close + 1;
        } else {
            word = p;
            while (*p && *p != ' ' && *p != '\t') p++;
            if (*p) *p++ = 0;
        }
        if (awaitOption >= 0) {
            opts->value[awaitOption] = word;
            awaitOption = -1;
        } else if (awaitUser) {
            awaitUser->value = CopyText(word, strlen(word));
            if (!awaitUser->value) return 1000;
            awaitUser = nullptr;
        } else if (!opts->value[OPT_SCRIPT]) {
            opts->value[OPT_SCRIPT] = word;
        } else {
            return 1060;
        }
    }
    if (awaitOption >= 0) return 1060;
    return 0;
}

static void CopyField(char *dst, size_t size, const char *src)
{
    snprintf(dst, size, "%s", src ? src : "");
}

void StoreCompileOutput(ClArgsRecord *clargs, const OptionsRecord *opts)
{
    if (opts->value[OPT_COMPILE])
        CopyField(clargs->compileOutput, sizeof clargs->compileOutput, opts->value[OPT_COMPILE]);
}

// ---------------------------------------------------------------------------------------------
// ApplyStartupOptions

// The number of a value option as a 32-bit value; a trailing '%' (when percent is given) is
// reported there. Returns 0 or StrToNumber's error code.
static int OptionNumber(const char *text, int32_t *out, int *percent)
{
    int used, err;
    double v = StrToNumber(text, &used, &err);
    if (err) return err;
    if (percent) *percent = text[used] == '%';
    *out = luaO_toint32(v);
    return 0;
}

// Copies a value text into a fixed field; a value that does not fit is refused (1060) rather
// than cut into another name.
static int CopyOptionText(char *dst, size_t size, const char *src)
{
    if (strlen(src) >= size) return 1060;
    memcpy(dst, src, strlen(src) + 1);
    return 0;
}

static int AllocOptionText(char **dst, const char *src)
{
    MemFree(*dst);
    *dst = CopyText(src, strlen(src));
    return *dst ? 0 : 1000;
}

static const struct {
    const char *name;
    uint32_t bit;
} ExeTypes[] = {
    {"CLASSIC", 1}, {"MORPHOS", 2}, {"WARPOS", 8}, {"AMIGAOS4", 4}, {"AROS", 0x10},
    {"APPLET", 0x20}, {"WIN32", 0x40}, {"LINUX", 0x80}, {"MACOS", 0x100}, {"MACOS86", 0x200},
};

static int ParseExeTypes(const char *text, uint32_t *bits)
{
    uint32_t result = 0;
    const char *p = text;
    for (;;) {
        const char *end = strchr(p, '+');
        size_t len = end ? (size_t)(end - p) : strlen(p);
        uint32_t bit = 0;
        for (const auto &t : ExeTypes)
            if (strlen(t.name) == len && strncasecmp(t.name, p, len) == 0) bit = t.bit;
        if (!bit) return 1266;
        result |= bit;
        if (!end) break;
        p = end + 1;
    }
    if (!result) return 1266;
    *bits |= result;
    return 0;
}

static int BackfillKind(const char *word)
{
    static const struct {
        const char *name;
        int kind;
    } kinds[] = {{"COLOR", BACKFILL_COLOR}, {"RAINBOW", BACKFILL_GRADIENT},
                 {"GRADIENT", BACKFILL_GRADIENT}, {"TEXTURE", BACKFILL_TEXTURE},
                 {"PICTURE", BACKFILL_PICTURE}};
    for (const auto &k : kinds)
        if (strcasecmp(k.name, word) == 0) return k.kind;
    return -1;
}

static int ApplyBackfill(const OptionsRecord *o, AppletRecord *applet)
{
    const char *const *v = o->value;
    int kind = BackfillKind(v[OPT_BACKFILL]);
    if (kind < 0) return 1243;
    if (v[OPT_BRUSH] && v[OPT_BRUSHFILE]) return 1243;
    if (kind == BACKFILL_COLOR && !v[OPT_STARTCOLOR]) return 1243;
    if (kind == BACKFILL_GRADIENT && !(v[OPT_STARTCOLOR] && v[OPT_ENDCOLOR])) return 1243;
    if ((kind == BACKFILL_TEXTURE || kind == BACKFILL_PICTURE) && !v[OPT_BRUSH] &&
        !v[OPT_BRUSHFILE])
        return 1243;
    applet->backfillKind = kind;

    int err;
    int32_t n;
    if (v[OPT_BRUSH]) {
        if ((err = OptionNumber(v[OPT_BRUSH], &n, nullptr))) return err;
        applet->backfillBrushId = (uint32_t)n;
    }
    if (v[OPT_BRUSHFILE] && (err = CopyOptionText(applet->backfillBrushFile,
                                                  sizeof applet->backfillBrushFile,
                                                  v[OPT_BRUSHFILE])))
        return err;
    if (v[OPT_STARTCOLOR] && (err = OptionNumber(v[OPT_STARTCOLOR], &applet->backfillStartColor,
                                                 nullptr)))
        return err;
    if (v[OPT_ENDCOLOR] && (err = OptionNumber(v[OPT_ENDCOLOR], &applet->backfillEndColor,
                                               nullptr)))
        return err;
    if (o->on[OPT_SCALEPICTURE]) applet->scalePicture = 1;
    if (v[OPT_PICXPOS] && (err = OptionNumber(v[OPT_PICXPOS], &applet->backfillPicX, nullptr)))
        return err;
    if (v[OPT_PICYPOS] && (err = OptionNumber(v[OPT_PICYPOS], &applet->backfillPicY, nullptr)))
        return err;
    if (v[OPT_PICTRANS] && (err = OptionNumber(v[OPT_PICTRANS], &applet->backfillPicTrans,
                                               nullptr)))
        return err;
    return 0;
}

int ApplyStartupOptions(ClArgsRecord *clargs, OptionsRecord *opts, AppletRecord *applet)
{
    // The names that are no options belong to the start-up record from here on.
    UserArgNode **tail = &clargs->userArgs;
    while (*tail) tail = &(*tail)->next;
    *tail = opts->userArgs;
    opts->userArgs = nullptr;
    opts->userTail = nullptr;

    const int *on = opts->on;
    const char *const *v = opts->value;
    int err;

    // 1. Compile flag, window mode, title bar.
    if (v[OPT_COMPILE]) {
        clargs->compile = 1;
        StoreCompileOutput(clargs, opts);
    }
    if (on[OPT_WINDOW]) applet->displayMode = 1;
    if (on[OPT_HIDETITLEBAR]) applet->titleBarWord = 1;

    // 2. Display flags.
    static const struct {
        int id;
        uint32_t bit;
    } flags[] = {
        {OPT_BORDERLESS, DISPF_BORDERLESS}, {OPT_SIZEABLE, DISPF_SIZEABLE},
        {OPT_FIXED, DISPF_FIXED}, {OPT_NOHIDE, DISPF_NOHIDE},
        {OPT_HIDEPOINTER, DISPF_HIDEPOINTER}, {OPT_NOMODESWITCH, DISPF_NOMODESWITCH},
        {OPT_USEQUARTZ, DISPF_USEQUARTZ}, {OPT_KEEPPROPORTIONS, DISPF_KEEPPROPORTIONS},
        {OPT_FITSCALE, DISPF_FITSCALE},
    };
    for (const auto &f : flags)
        if (on[f.id]) applet->displayFlags |= f.bit;
    if (on[OPT_AUTOSCALE] && on[OPT_LAYERSCALE]) return 1060;
    if (on[OPT_AUTOSCALE]) applet->displayFlags |= DISPF_AUTOSCALE;
    if (on[OPT_LAYERSCALE]) applet->displayFlags |= DISPF_LAYERSCALE;

    // 3. Flags of the start-up record.
    if (on[OPT_OVERWRITE]) clargs->overwrite = 1;
    if (on[OPT_LOCKSETTINGS]) clargs->lockSettings = 1;
    if (on[OPT_COMPRESS]) clargs->compress = 1;

    // 4. Scaling (only with a scale mode); "50%" is stored as -50.
    if (on[OPT_AUTOSCALE] || on[OPT_LAYERSCALE]) {
        if (on[OPT_SMOOTHSCALE]) applet->displayFlags |= DISPF_SMOOTHSCALE;
        int32_t n;
        int pct;
        if (v[OPT_SCALEWIDTH]) {
            if ((err = OptionNumber(v[OPT_SCALEWIDTH], &n, &pct))) return err;
            applet->scaleWidth = pct ? -n : n;
        }
        if (v[OPT_SCALEHEIGHT]) {
            if ((err = OptionNumber(v[OPT_SCALEHEIGHT], &n, &pct))) return err;
            applet->scaleHeight = pct ? -n : n;
        }
    }

    // 5. Own screen.
    if (on[OPT_OWNSCREEN]) {
        if (on[OPT_FULLSCREEN] || on[OPT_FAKEFULLSCREEN]) return 1060;
        applet->displayMode = 5;
    }

    // 6. Screen size and depth.
    if (v[OPT_DEPTH] && (err = OptionNumber(v[OPT_DEPTH], &applet->depth, nullptr))) return err;
    if (v[OPT_SCRWIDTH] && (err = OptionNumber(v[OPT_SCRWIDTH], &applet->scrWidth, nullptr)))
        return err;
    if (v[OPT_SCRHEIGHT] && (err = OptionNumber(v[OPT_SCRHEIGHT], &applet->scrHeight, nullptr)))
        return err;

    // 7. Backfill (its options act only with BACKFILL).
    if (v[OPT_BACKFILL] && (err = ApplyBackfill(opts, applet))) return err;

    // 8. Quiet, public screen, volume, sound.
    if (on[OPT_QUIET]) clargs->quiet = 1;
    if (v[OPT_PUBSCREEN]) {
        if ((err = OsUsePubScreen(v[OPT_PUBSCREEN]))) return err;
        applet->displayMode = 1;
    }
    if (v[OPT_MASTERVOLUME]) {
        int32_t n;
        if ((err = OptionNumber(v[OPT_MASTERVOLUME], &n, nullptr))) return err;
        clargs->masterVolume = n;
    }
    if (on[OPT_NOSOUND]) clargs->soundOff = 1;

    // 9. Executable types.
    if (v[OPT_EXETYPE] && (err = ParseExeTypes(v[OPT_EXETYPE], &clargs->exeType))) return err;

    // 10. Export files, the initial display's text, the script alias.
    if (v[OPT_PRIVATE1] && (err = AllocOptionText(&clargs->private1File, v[OPT_PRIVATE1])))
        return err;
    if (v[OPT_PRIVATE2] && (err = AllocOptionText(&clargs->private2File, v[OPT_PRIVATE2])))
        return err;
    if (v[OPT_PRIVATE3] &&
        (err = CopyOptionText(clargs->private3, sizeof clargs->private3, v[OPT_PRIVATE3])))
        return err;
    if (v[OPT_SCRIPTALIAS] &&
        (err = CopyOptionText(clargs->scriptAlias, sizeof clargs->scriptAlias,
                              v[OPT_SCRIPTALIAS])))
        return err;

    // 11. Link lists (COMPILE only).
    if (v[OPT_COMPILE]) {
        if (v[OPT_LINKFILES] && (err = ReadLinkFileDatabase(opts, v[OPT_LINKFILES], 0)))
            return err;
        if (v[OPT_LINKFONTS] && (err = ReadLinkFileDatabase(opts, v[OPT_LINKFONTS], 1)))
            return err;
    }

    // 12. Debug device: the final report goes to standard output; the value is not used.
    if (v[OPT_DEBUGDEVICE]) {
        clargs->debugDevice = 1;
        OsOpenDebugDevice();
    }

    // 13. Icon file names, kept until shutdown.
    for (int k = 0; k < ICON_OPTION_COUNT; k++) {
        const char *icon = v[OPT_ICON16X16 + k];
        if (icon && (err = AllocOptionText(&clargs->iconFiles[k], icon))) return err;
    }

    // 14. Full-screen modes.
    if (on[OPT_FAKEFULLSCREEN]) {
        if (on[OPT_OWNSCREEN] || on[OPT_FULLSCREEN]) return 1060;
        applet->displayMode = 6;
    }
    if (on[OPT_FULLSCREEN]) {
        if (on[OPT_OWNSCREEN] || on[OPT_FAKEFULLSCREEN]) return 1060;
        applet->displayMode = 2;
    }
    return 0;
}

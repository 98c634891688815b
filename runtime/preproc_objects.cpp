// Declared objects: before the applet's first line runs, every object it declares is created by
// calling the script command of its kind by name, with the arguments and option tables a script
// would pass. Displays come last; a default display 1 is declared when the applet has none.
//
// The calls are not protected: an error a command raises ends the process (as in a script run
// before any protected call); an error a command returns stops the creation and is reported
// with the declaration's line and command name.
#include <cstdarg>
#include <cstring>

#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/player.h"
#include "runtime/settings.h"
#include "runtime/preproc_objects.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"
#include "gfx/draw_routines.h"

// Pushes the global of that name, lower-cased. Returns 1 when it is a function.
static int PushCommand(lua_State *L, const char *name)
{
    char lower[64];
    snprintf(lower, sizeof lower, "%s", name);
    ToLowerString(lower);
    lua_pushstring(L, lower);
    lua_gettable(L, LUA_GLOBALSINDEX);
    return lua_isfunction(L, -1);
}

int CommandRegistered(lua_State *L, const char *name)
{
    int found = PushCommand(L, name);
    lua_pop(L, 1);
    return found;
}

int CallScriptFunction(lua_State *L, const char *name, int results, int args, ...)
{
    if (!L) return 0;
    PushCommand(L, name);
    va_list ap;
    va_start(ap, args);
    for (int i = 0; i < args; i++) {
        switch (va_arg(ap, int)) {
        case CSF_INT: lua_pushnumber(L, (lua_Number)va_arg(ap, int32_t)); break;
        case CSF_UINT: lua_pushnumber(L, (lua_Number)va_arg(ap, uint32_t)); break;
        case CSF_TEXT: lua_pushstring(L, va_arg(ap, const char *)); break;
        case CSF_NIL: lua_pushnil(L); break;
        case CSF_POINTER: lua_pushlightuserdata(L, va_arg(ap, void *)); break;
        case CSF_OBJECTID: {
            const ObjectId *id = va_arg(ap, const ObjectId *);
            if (id->handle) lua_pushlightuserdata(L, id->handle);
            else lua_pushnumber(L, (lua_Number)id->number);
            break;
        }
        default: lua_pushnil(L); break;
        }
    }
    va_end(ap);
    return lua_call(L, args, results);
}

void PushRegionTable(lua_State *L, const char *key, int count, const RegionEntry *regions)
{
    lua_pushstring(L, key);
    lua_newtable(L);
    for (int i = 0; i < count; i++) {
        lua_newtable(L);
        SetFieldInt(L, "type", regions[i].type);
        SetFieldInt(L, "x", regions[i].x);
        SetFieldInt(L, "y", regions[i].y);
        SetFieldInt(L, "width", regions[i].width);
        SetFieldInt(L, "height", regions[i].height);
        lua_rawseti(L, -2, i);
    }
    lua_settable(L, -3);
}

// ---------------------------------------------------------------------------------------------

static const char *const CommandNames[] = {
    "LoadBGPic", "LoadBrush", "LoadAnim", "OpenMusic", "LoadSample", "CreateButton",
    "CreateKeyDown", "LoadSprite", "OpenFile", "OpenFont", "CreateDisplay",
};

static int IsPicture(int type)
{
    return type == PREPROC_BRUSH || type == PREPROC_ANIM || type == PREPROC_SPRITE;
}

// Later declarations of the same picture file load it from the cache the first one fills.
static void MarkSharedPictureFiles(AppletRecord *applet)
{
    for (PreprocObject *o = applet->objects; o; o = o->next) {
        if (!IsPicture(o->type) || !o->block) continue;
        PictureDeclBlock *b = (PictureDeclBlock *)o->block;
        if (b->cachedLoad || (o->type != PREPROC_BRUSH && b->frames == 0)) continue;
        for (PreprocObject *l = o->next; l; l = l->next) {
            if (!IsPicture(l->type) || !l->block) continue;
            PictureDeclBlock *lb = (PictureDeclBlock *)l->block;
            if (l->type != PREPROC_BRUSH && lb->frames == 0) continue;
            if (strcasecmp(l->fileName, o->fileName) != 0) continue;
            lb->cachedLoad = 1;
            b->cache = 1;
            if (l->param2 == 1 && o->param2 == 0) b->cacheAlpha = 1;
        }
    }
}

// Step 3: the global display options go into every display declaration.
static void MergeDisplaySettings(AppletRecord *applet)
{
    if (applet->noGlobalDisplaySettings) return;
    for (PreprocObject *o = applet->objects; o; o = o->next) {
        if (o->type != PREPROC_DISPLAY || !o->block) continue;
        DisplayDecl *d = (DisplayDecl *)o->block;
        d->flags |= applet->displayFlags & ~d->givenMask;
        if (d->scaleWidth == 0) d->scaleWidth = applet->scaleWidth;
        if (d->scaleHeight == 0) d->scaleHeight = applet->scaleHeight;
    }
}

static void SetIntField(lua_State *L, const char *key, int32_t value) { SetFieldInt(L, key, value); }
static void SetWordField(lua_State *L, const char *key, uint32_t value) { SetFieldDouble(L, key, value); }

static void PushPictureOptions(lua_State *L, const PreprocObject *o, int anim, int sprite)
{
    const PictureDeclBlock *b = (const PictureDeclBlock *)o->block;
    lua_newtable(L);
    SetWordField(L, "transparency", o->param1);
    SetWordField(L, "loadalpha", o->param2);
    if (!b) return;
    SetIntField(L, "width", b->width);
    SetIntField(L, "height", b->height);
    SetIntField(L, "x", b->x);
    SetIntField(L, "y", b->y);
    if (anim || sprite) {
        SetIntField(L, "frames", b->frames);
        SetIntField(L, "fpr", b->framesPerRow);
        SetIntField(L, "globalalpha", 0);
    } else if (b->globalAlpha != -1) {
        SetIntField(L, "globalalpha", b->globalAlpha);
    }
    if (anim) SetIntField(L, "fromdisk", b->fromDisk);
    if (b->cache) {
        SetFieldString(L, "cache", o->fileName);
        if (b->cacheAlpha) SetIntField(L, "cachealpha", 1);
    }
    if (b->cachedLoad) SetFieldString(L, "cachedload", o->fileName);
}

static void PushBGPicOptions(lua_State *L, const PreprocObject *o)
{
    const BGPicDeclBlock *b = (const BGPicDeclBlock *)o->block;
    lua_newtable(L);
    if (o->param1 != 0xFFFFFFFFu) SetWordField(L, "transparency", o->param1);
    SetWordField(L, "loadalpha", o->param2);
    if (!b || b->fillStyle == 0) return;
    SetIntField(L, "fillstyle", b->fillStyle);
    if (b->fillStyle == 2) {
        SetWordField(L, "gradientstartcolor", b->color1);
        SetWordField(L, "gradientendcolor", b->color2);
        SetIntField(L, "gradientangle", b->gradientAngle);
    } else if (b->fillStyle == 3) {
        SetWordField(L, "texturebrush", b->textureBrush);
        SetIntField(L, "texturex", b->textureX);
        SetIntField(L, "texturey", b->textureY);
    } else {
        SetWordField(L, "fillcolor", b->color1);
    }
}

// One declaration other than a display. The command must be registered.
static int CreateObject(lua_State *L, const PreprocObject *o, const char *file)
{
    const char *name = CommandNames[o->type];
    switch (o->type) {
    case PREPROC_BGPIC:
    case PREPROC_BRUSH:
    case PREPROC_ANIM:
    case PREPROC_SPRITE:
    case PREPROC_FONT:
        PushCommand(L, name);
        lua_pushnumber(L, o->id);
        lua_pushstring(L, file);
        if (o->type == PREPROC_FONT) {
            lua_pushnumber(L, o->param1);
            lua_newtable(L);
            if (o->param2 & 0xFFFF) SetIntField(L, "engine", (int32_t)(o->param2 & 0xFFFF));
            if (o->param2 & 0x10000) SetIntField(L, "cache", 0);
            return lua_call(L, 4, 0);
        }
        if (o->type == PREPROC_BGPIC) PushBGPicOptions(L, o);
        else PushPictureOptions(L, o, o->type == PREPROC_ANIM, o->type == PREPROC_SPRITE);
        return lua_call(L, 3, 0);
    case PREPROC_MUSIC:
    case PREPROC_SAMPLE:
        return CallScriptFunction(L, name, 0, 2, CSF_UINT, o->id, CSF_TEXT, file);
    case PREPROC_KEYDOWN:
        return CallScriptFunction(L, name, 0, 2, CSF_UINT, o->id, CSF_TEXT, o->fileName);
    case PREPROC_FILE:
        return CallScriptFunction(L, name, 0, 3, CSF_UINT, o->id, CSF_TEXT, file, CSF_INT, 1005);
    case PREPROC_BUTTON: {
        const ButtonDeclBlock *b = (const ButtonDeclBlock *)o->block;
        int32_t v[4] = {0, 0, 0, 0};
        if (b) memcpy(v, b->values, sizeof v);
        return CallScriptFunction(L, name, 0, 5, CSF_UINT, o->id, CSF_INT, v[0], CSF_INT, v[1], CSF_INT, v[2],
                                  CSF_INT, v[3]);
    }
    default:
        return 0;
    }
}

struct FlagField {
    uint32_t bit;
    const char *key;
    int32_t value;
};

static const FlagField DisplayFlagFields[] = {
    {DISPF_HIDDEN, "hidden", 1}, {DISPF_BORDERLESS, "borderless", 1}, {DISPF_SIZEABLE, "sizeable", 1},
    {DISPF_FIXED, "fixed", 1}, {DISPF_NOHIDE, "nohide", 1}, {DISPF_NOMODESWITCH, "nomodeswitch", 1},
    {DISPF_AUTOSCALE, "scalemode", 1}, {DISPF_LAYERSCALE, "scalemode", 2}, {DISPF_SMOOTHSCALE, "smoothscale", 1},
    {DISPF_HIDEPOINTER, "hidepointer", 1}, {DISPF_LAYERS, "layers", 1}, {DISPF_USEQUARTZ, "usequartz", 1},
    {DISPF_NOCLOSE, "noclose", 1}, {DISPF_KEEPPROPORTIONS, "keepproportions", 1}, {DISPF_FITSCALE, "fitscale", 1},
    {0, nullptr, 0},
};

static int CreateDisplayFromDecl(lua_State *L, AppletRecord *applet, const PreprocObject *o, int bgpic1Declared)
{
    const DisplayDecl *d = (const DisplayDecl *)o->block;
    int first = o->id == 1;
    PushCommand(L, "createdisplay");
    lua_pushnumber(L, o->id);
    lua_newtable(L);
    SetFieldString(L, "title", d->title);
    SetIntField(L, "x", d->x);
    SetIntField(L, "y", d->y);
    if (d->scaleWidth) SetIntField(L, "scalewidth", d->scaleWidth);
    if (d->scaleHeight) SetIntField(L, "scaleheight", d->scaleHeight);
    if (d->flags & DISPF_ACTIVE) SetIntField(L, "active", 1);
    if (d->flags & DISPF_BGPIC) {
        SetWordField(L, "bgpic", d->bgpicId);
    } else if (!(bgpic1Declared && first)) {
        int32_t w = d->width, h = d->height;
        if (applet->desktopSizedFirstDisplay && first) {
            OsGetAttr(nullptr, 14, &w, nullptr);
            OsGetAttr(nullptr, 15, &h, nullptr);
        }
        SetIntField(L, "width", w);
        SetIntField(L, "height", h);
        SetIntField(L, "fillstyle", d->fillStyle);
        if (d->fillStyle == 2) {
            SetWordField(L, "gradientstartcolor", d->color);
            SetWordField(L, "gradientendcolor", d->gradientEndColor);
            SetIntField(L, "gradientangle", d->gradientAngle);
        } else if (d->fillStyle == 3) {
            SetWordField(L, "texturebrush", d->textureBrush);
            SetIntField(L, "texturex", d->textureX);
            SetIntField(L, "texturey", d->textureY);
        } else {
            SetWordField(L, "color", d->color);
        }
    } else {
        SetIntField(L, "bgpic", 1);
    }
    for (const FlagField *f = DisplayFlagFields; f->key; f++)
        if (d->flags & f->bit) SetIntField(L, f->key, f->value);
    if (applet->desktopSizedFirstDisplay && first) SetIntField(L, "private2", 1);
    if (d->dragRegionCount) PushRegionTable(L, "dragregion", d->dragRegionCount, d->dragRegions);
    if (d->sizeRegionCount) PushRegionTable(L, "sizeregion", d->sizeRegionCount, d->sizeRegions);
    return lua_call(L, 2, 0);
}

// Quiet flag, error line and command name of one declaration.
static void EnterDeclaration(lua_State *L, ClArgsRecord *clargs, const PreprocObject *o, const char *command)
{
    int quiet = (clargs->isApplet || clargs->quiet) ? 1 : o->quiet;
    SetRuntimeTags(L, RTAG_QUIET, quiet, 0);
    ErrorLine = o->line;
    SetErrorCommandName(command);
}

static void FreeDeclarations(AppletRecord *applet)
{
    while (applet->objects) {
        PreprocObject *next = applet->objects->next;
        FreePreprocObject(applet->objects);
        applet->objects = next;
    }
    applet->defaultDisplay = nullptr;
}

// Whether the applet has the source range of its declarations (an empty source name).
static int HasDeclarationRange(const AppletRecord *applet)
{
    for (const SourceRange *r = applet->sourceRanges; r; r = r->next)
        if (!r->sourceName[0]) return 1;
    return 0;
}

static int RefuseDeclaration(void)
{
    SetErrorString("This player cannot create the objects and displays that the applet declares yet!");
    return 1064;
}

int CreatePreprocObjects(lua_State *L, ClArgsRecord *clargs, AppletRecord *applet)
{
    // 1
    const char *script = clargs->scriptAlias[0] ? clargs->scriptAlias : clargs->scriptPath;
    if (clargs->isApplet) PrintVerbose(GetErrorString(MSG_LOADING_APPLET), script, 1);

    // 2
    int bgpic1Declared = 0, display1Declared = 0;
    for (PreprocObject *o = applet->objects; o; o = o->next) {
        if (o->type == PREPROC_BGPIC && o->id == 1) bgpic1Declared = 1;
        if (o->type == PREPROC_DISPLAY && o->id == 1) display1Declared = 1;
    }
    int code;
    if (!display1Declared && (code = AddDefaultDisplayDecl(applet, ""))) return code;

    // 3-5
    MergeDisplaySettings(applet);
    MarkSharedPictureFiles(applet);
    int savedLine = ErrorLine;
    SetRuntimeTags(L, RTAG_PREPROC, 1, RTAG_LINEINFO, 1, 0);
    // While declarations are made the current source file is "?", which picks the source range
    // a compiler writes for them (the one with an empty source name). An applet without such a
    // range has a refused declaration reported against its own source instead, whose main
    // chunk waits at the bottom of the stack.
    SetErrorSourceFile(nullptr);
    if (!HasDeclarationRange(applet) && lua_gettop(L) >= 1 && lua_isfunction(L, 1)) {
        lua_Debug ar;
        lua_pushvalue(L, 1);
        if (lua_getinfo(L, ">S", &ar) && ar.source) SetErrorSourceFile(ar.source);
    }

    // 6
    char chunk[KV_PATH_SIZE];
    for (PreprocObject *o = applet->objects; o; o = o->next) {
        if (o->type == PREPROC_DISPLAY) continue;
        const char *command = CommandNames[o->type];
        EnterDeclaration(L, clargs, o, o->type == PREPROC_BUTTON ? "----" : command);
        const char *file = o->fileName;
        if (o->linkSize) {
            const char *container = o->containerPath[0] ? o->containerPath : clargs->scriptPath;
            file = MakeChunkName(o->fileName, chunk, sizeof chunk, (int64_t)o->linkOffset + AppendedAppletOffset,
                                 o->linkSize, 0, container, nullptr);
            if (!file) file = o->fileName;
        }
        if (!CommandRegistered(L, command)) return RefuseDeclaration();
        if ((code = CreateObject(L, o, file))) return code;
        SetErrorCommandName("----");
    }

    // 7
    for (PreprocObject *o = applet->objects; o; o = o->next) {
        if (o->type != PREPROC_DISPLAY || !o->block) continue;
        EnterDeclaration(L, clargs, o, "CreateDisplay");
        if (!CommandRegistered(L, "createdisplay")) return RefuseDeclaration();
        if ((code = CreateDisplayFromDecl(L, applet, o, bgpic1Declared))) return code;
        SetErrorCommandName("----");
    }

    // 8-9
    ErrorLine = savedLine;
    SetRuntimeTags(L, RTAG_PREPROC, 0, RTAG_QUIET, clargs->quiet, RTAG_LINEINFO, 0, 0);
    FreeDeclarations(applet);
    FreeGfxCache();
    if (clargs->isApplet) PrintVerboseDone();
    return 0;
}

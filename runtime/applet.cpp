// Reading the applet container into the AppletRecord.
//
// An applet starts with "KVA" and a zero byte and holds one-byte-tagged sections up to and
// including the bytecode section. Every number is big-endian. Every length, count, offset and
// text of the container is checked against the bytes that are there before it is used: a
// section cut short by the end of the file gives 1198, a name or text too long for its field,
// a table larger than its capacity or an offset outside the applet gives 1210.
#include "runtime/applet.h"

#include <cstdio>
#include <cstring>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/packfile.h"
#include "runtime/player.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"

// The locator record of an appended applet. A tool that appends an applet to a copy of the
// player finds these 53 bytes and writes the applet's offset into bytes 40-43. The record is
// volatile so that the compiler keeps exactly this one copy and never folds the test of the
// offset word.
extern volatile const unsigned char AppletLocator[APPLET_LOCATOR_SIZE];
volatile const unsigned char AppletLocator[APPLET_LOCATOR_SIZE] = {
    'K', 'V', 'Z', 0, 0, 0, 0, 0,
    'Q', 'u', 'o', 'r', 'v', 'a', 'n', 'e', 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0xde, 0xad, 0xc0, 0xde,
    0xc0, 0xde, 0xca, 0xfe, 0xc0, 0xca, 0xc0, 0x1a,
    0,
};

uint32_t ReadAppletLocatorOffset(void)
{
    const volatile unsigned char *p = AppletLocator + APPLET_LOCATOR_OFFSET;
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

enum { ERR_NOMEM = 1000, ERR_EOF = 1198, ERR_VERSION = 1209, ERR_SECTION = 1210,
       ERR_NOAPPLET = 1211, ERR_NOFILE = 1213 };

// Longest label name the container may hold.
enum { MAX_LABEL_NAME = 267 };

void SetAppletDisplayDefaults(AppletRecord *a)
{
    a->scrWidth = -1;
    a->scrHeight = -1;
    a->depth = -1;
    a->scaleWidth = 0;
    a->scaleHeight = 0;
    a->displayFlags = 0;
    a->displayMode = 0;
    a->titleBarWord = -1;
    a->backfillKind = 0;
    a->backfillStartColor = -1;
    a->backfillEndColor = -1;
    a->backfillPicX = -100000;
    a->backfillPicY = -100000;
    a->backfillPicTrans = -1;
}

// ---------------------------------------------------------------------------------------------
// Declarations

static void AppendObject(AppletRecord *a, PreprocObject *obj)
{
    PreprocObject **tail = &a->objects;
    while (*tail) tail = &(*tail)->next;
    *tail = obj;
}

// A new declaration, not yet in any list; none with *code set to 1000 when memory runs out.
static PreprocObject *NewPreprocObject(int type, uint32_t id, const char *name, uint32_t param1,
                                       uint32_t param2, int line, int word, const void *block,
                                       int *code)
{
    *code = ERR_NOMEM;
    PreprocObject *obj = (PreprocObject *)MemAlloc(sizeof(PreprocObject), 1);
    if (!obj) return nullptr;
    obj->type = type;
    obj->id = id;
    obj->word = word;
    obj->param1 = param1;
    obj->param2 = param2;
    obj->line = line;

    if (!name) name = "";
    size_t len = strlen(name);
    size_t nameSize = (size_t)KV_PATH_SIZE > len + 1 ? (size_t)KV_PATH_SIZE : len + 1;
    obj->fileName = (char *)MemAlloc(nameSize, 1);
    if (!obj->fileName) {
        MemFree(obj);
        return nullptr;
    }
    if (*name && type != PREPROC_KEYDOWN && type != PREPROC_FONT && len < KV_PATH_SIZE &&
        OsFullPath(name, obj->fileName, KV_PATH_SIZE)) {
        // made absolute
    } else {
        memcpy(obj->fileName, name, len + 1);
    }

    size_t blockSize = 0;
    int picture = 0;
    switch (type) {
    case PREPROC_BGPIC: blockSize = sizeof(BGPicDeclBlock); break;
    case PREPROC_BRUSH:
    case PREPROC_ANIM:
    case PREPROC_SPRITE:
        blockSize = sizeof(PictureDeclBlock);
        picture = 1;
        break;
    case PREPROC_BUTTON: blockSize = sizeof(ButtonDeclBlock); break;
    case PREPROC_DISPLAY: blockSize = sizeof(DisplayDecl); break;
    default: break;
    }
    if (blockSize) {
        obj->block = MemAlloc(blockSize, 1);
        if (!obj->block) {
            MemFree(obj->fileName);
            MemFree(obj);
            return nullptr;
        }
        // A picture declaration without a block of its own has no global alpha.
        if (block) memcpy(obj->block, block, blockSize);
        else if (picture) ((PictureDeclBlock *)obj->block)->globalAlpha = -1;
    }
    *code = 0;
    return obj;
}

int AddPreprocObject(AppletRecord *a, int type, uint32_t id, const char *name, uint32_t param1,
                     uint32_t param2, int line, int word, const void *block)
{
    int code;
    PreprocObject *obj = NewPreprocObject(type, id, name, param1, param2, line, word, block, &code);
    if (!obj) return code;
    AppendObject(a, obj);
    return 0;
}

int AddDefaultDisplayDecl(AppletRecord *a, const char *title)
{
    int code;
    PreprocObject *obj =
        NewPreprocObject(PREPROC_DISPLAY, 1, "", (uint32_t)-1, 0, 0, 0, nullptr, &code);
    if (!obj) return code;
    // The block comes cleared; the default display's fields are set in place.
    DisplayDecl *d = (DisplayDecl *)obj->block;
    snprintf(d->title, sizeof d->title, "%s", title && *title ? title : "Kestrovia");
    d->x = -100000;
    d->y = -100000;
    d->width = 640;
    d->height = 480;
    d->fillStyle = 1;
    d->flags = DISPF_ACTIVE;
    AppendObject(a, obj);
    return 0;
}

void FreePreprocObject(PreprocObject *obj)
{
    if (!obj) return;
    MemFree(obj->fileName);
    MemFree(obj->block);
    MemFree(obj);
}

void FreeAppletContents(AppletRecord *a)
{
    MemFree(a->bytecode);
    a->bytecode = nullptr;
    a->bytecodeLength = 0;
    while (a->objects) {
        PreprocObject *next = a->objects->next;
        FreePreprocObject(a->objects);
        a->objects = next;
    }
    a->defaultDisplay = nullptr;
    while (a->linkedFiles) {
        LinkedFileEntry *next = a->linkedFiles->next;
        MemFree(a->linkedFiles);
        a->linkedFiles = next;
    }
    while (a->sourceRanges) {
        SourceRange *next = a->sourceRanges->next;
        MemFree(a->sourceRanges);
        a->sourceRanges = next;
    }
}

// ---------------------------------------------------------------------------------------------
// Bounded reading of the container

struct AppletReader {
    FileHandle *fh;
    int64_t start;      // file offset of the applet
    int64_t size;       // bytes of the applet (from start to the end of the file)
    int64_t pos;        // position relative to the applet start
    int major, minor;   // last format version section read (0.0 before any)
    // The terminating links of the record's lists: appending never walks a list, so a
    // container of many small sections still loads in linear time.
    PreprocObject **objectTail;
    SourceRange **rangeTail;
    LinkedFileEntry **linkTail;
};

static int64_t BytesLeft(const AppletReader *r) { return r->size - r->pos; }

// Moves the read position to pos (relative to the applet start).
static void SeekReader(AppletReader *r, int64_t pos)
{
    r->pos = pos;
    FSeek(r->fh, r->start + r->pos, FSEEK_START);
}

static int ReadBytes(AppletReader *r, void *buffer, int64_t n)
{
    if (n < 0 || n > BytesLeft(r)) return ERR_EOF;
    if (n == 0) return 0;
    if ((int64_t)FRead(r->fh, buffer, (size_t)n) != n) return ERR_EOF;
    r->pos += n;
    return 0;
}

static int SkipBytes(AppletReader *r, int64_t n)
{
    if (n < 0 || n > BytesLeft(r)) return ERR_EOF;
    SeekReader(r, r->pos + n);
    return 0;
}

static int ReadU8(AppletReader *r, uint32_t *v)
{
    unsigned char b;
    int code = ReadBytes(r, &b, 1);
    if (!code) *v = b;
    return code;
}

// A byte stored in a 32-bit field.
static int ReadU8AsI32(AppletReader *r, int32_t *v)
{
    uint32_t u;
    int code = ReadU8(r, &u);
    if (!code) *v = (int32_t)u;
    return code;
}

static int ReadU16(AppletReader *r, uint32_t *v)
{
    unsigned char b[2];
    int code = ReadBytes(r, b, 2);
    if (!code) *v = ((uint32_t)b[0] << 8) | b[1];
    return code;
}

// A signed 16-bit value (sign-extended); never used for lengths.
static int ReadI16(AppletReader *r, int32_t *v)
{
    uint32_t u;
    int code = ReadU16(r, &u);
    if (!code) *v = (int16_t)(uint16_t)u;
    return code;
}

static int ReadU32(AppletReader *r, uint32_t *v)
{
    unsigned char b[4];
    int code = ReadBytes(r, b, 4);
    if (!code) *v = ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
    return code;
}

static int ReadI32(AppletReader *r, int32_t *v)
{
    uint32_t u;
    int code = ReadU32(r, &u);
    if (!code) *v = (int32_t)u;
    return code;
}

// Reads a NUL-terminated text into buffer (capacity bytes, terminator included). A text that
// does not fit is 1210; the end of the file before the terminator is 1198.
static int ReadCString(AppletReader *r, char *buffer, size_t capacity)
{
    size_t n = 0;
    for (;;) {
        unsigned char c;
        int code = ReadBytes(r, &c, 1);
        if (code) return code;
        if (n >= capacity) return ERR_SECTION;
        buffer[n++] = (char)c;
        if (c == 0) return 0;
    }
}

#define TRY(expr)                      \
    do {                               \
        int try_code_ = (expr);        \
        if (try_code_) return try_code_; \
    } while (0)

static int VersionAtLeast(const AppletReader *r, int major, int minor)
{
    return r->major > major || (r->major == major && r->minor >= minor);
}

// The default display declaration that the display sections edit; appended on first use.
static int DefaultDisplay(AppletReader *r, AppletRecord *a, DisplayDecl **out)
{
    if (!a->defaultDisplay) {
        TRY(AddDefaultDisplayDecl(a, ""));
        a->defaultDisplay = *r->objectTail;     // the one just appended
        r->objectTail = &a->defaultDisplay->next;
    }
    *out = (DisplayDecl *)a->defaultDisplay->block;
    return 0;
}

static int ReadRegionList(AppletReader *r, RegionEntry *regions, int32_t *count)
{
    uint32_t n;
    TRY(ReadU32(r, &n));
    if (n > MAX_DISPLAY_REGIONS) return ERR_SECTION;
    for (uint32_t i = 0; i < n; i++) {
        TRY(ReadI32(r, &regions[i].type));
        TRY(ReadI32(r, &regions[i].x));
        TRY(ReadI32(r, &regions[i].y));
        TRY(ReadI32(r, &regions[i].width));
        TRY(ReadI32(r, &regions[i].height));
    }
    *count = (int32_t)n;
    return 0;
}

// Size, frame count, frames per row and position of an anim or sprite declaration.
static int ReadFrameLayout(AppletReader *r, PictureDeclBlock *b)
{
    TRY(ReadI16(r, &b->width));
    TRY(ReadI16(r, &b->height));
    TRY(ReadI16(r, &b->frames));
    TRY(ReadI16(r, &b->framesPerRow));
    TRY(ReadI16(r, &b->x));
    TRY(ReadI16(r, &b->y));
    return 0;
}

// Reads the per-type block of one declaration into the caller's storage; *hasBlock tells
// whether the container carried one.
static int ReadDeclBlock(AppletReader *r, int type, void *block, int *hasBlock)
{
    *hasBlock = 0;
    switch (type) {
    case PREPROC_BGPIC: {
        if (!(r->major == 4 && r->minor == 7)) return 0;
        BGPicDeclBlock *b = (BGPicDeclBlock *)block;
        TRY(ReadU8AsI32(r, &b->fillStyle));
        TRY(ReadU32(r, &b->color1));
        TRY(ReadU32(r, &b->color2));
        TRY(ReadI16(r, &b->gradientAngle));
        TRY(ReadU32(r, &b->textureBrush));
        TRY(ReadI32(r, &b->textureX));
        TRY(ReadI32(r, &b->textureY));
        break;
    }
    case PREPROC_BRUSH: {
        PictureDeclBlock *b = (PictureDeclBlock *)block;
        TRY(ReadI16(r, &b->width));
        TRY(ReadI16(r, &b->height));
        TRY(ReadI16(r, &b->x));
        TRY(ReadI16(r, &b->y));
        TRY(ReadI16(r, &b->globalAlpha));
        break;
    }
    case PREPROC_ANIM: {
        // Anim and sprite declarations carry no global alpha of their own: 0.
        PictureDeclBlock *b = (PictureDeclBlock *)block;
        if (r->major > 2) TRY(ReadU8AsI32(r, &b->fromDisk));
        if (VersionAtLeast(r, 4, 1)) TRY(ReadFrameLayout(r, b));
        break;
    }
    case PREPROC_SPRITE:
        TRY(ReadFrameLayout(r, (PictureDeclBlock *)block));
        break;
    case PREPROC_BUTTON: {
        ButtonDeclBlock *b = (ButtonDeclBlock *)block;
        for (int i = 0; i < 4; i++) TRY(ReadI16(r, &b->values[i]));
        break;
    }
    case PREPROC_DISPLAY: {
        DisplayDecl *d = (DisplayDecl *)block;
        d->fillStyle = 1;
        TRY(ReadU32(r, &d->bgpicId));
        TRY(ReadI32(r, &d->x));
        TRY(ReadI32(r, &d->y));
        TRY(ReadI32(r, &d->width));
        TRY(ReadI32(r, &d->height));
        TRY(ReadU32(r, &d->color));
        TRY(ReadU32(r, &d->flags));
        TRY(ReadU32(r, &d->givenMask));
        TRY(ReadI32(r, &d->scaleWidth));
        TRY(ReadI32(r, &d->scaleHeight));
        TRY(ReadRegionList(r, d->dragRegions, &d->dragRegionCount));
        TRY(ReadRegionList(r, d->sizeRegions, &d->sizeRegionCount));
        uint32_t titleLength;
        TRY(ReadU16(r, &titleLength));
        if (titleLength >= sizeof d->title) return ERR_SECTION;
        TRY(ReadBytes(r, d->title, titleLength));
        d->title[titleLength] = 0;
        if (r->major == 4 && r->minor == 7) {
            TRY(ReadU8AsI32(r, &d->fillStyle));
            TRY(ReadU32(r, &d->gradientEndColor));
            TRY(ReadI16(r, &d->gradientAngle));
            TRY(ReadU32(r, &d->textureBrush));
            TRY(ReadI32(r, &d->textureX));
            TRY(ReadI32(r, &d->textureY));
        }
        break;
    }
    case PREPROC_MUSIC:
    case PREPROC_SAMPLE:
    case PREPROC_KEYDOWN:
    case PREPROC_FILE:
    case PREPROC_FONT:
        return 0;
    default:
        return ERR_SECTION;
    }
    *hasBlock = 1;
    return 0;
}

// Checks that [offset, offset + size) lies inside the applet.
static int InsideApplet(const AppletReader *r, uint64_t offset, uint64_t size)
{
    return offset <= (uint64_t)r->size && size <= (uint64_t)r->size - offset;
}

// Reads the stored name of a declaration (offset and length from the applet start; the stored
// bytes include the terminating zero) into a new allocation, and restores the read position.
static int ReadDeclName(AppletReader *r, uint32_t offset, uint32_t length, char **out)
{
    *out = nullptr;
    if (length == 0) return 0;
    if (!InsideApplet(r, offset, length)) return ERR_SECTION;
    char *name = (char *)MemAlloc((size_t)length + 1, 1);
    if (!name) return ERR_NOMEM;
    int64_t saved = r->pos;
    SeekReader(r, offset);
    int code = ReadBytes(r, name, length);
    SeekReader(r, saved);
    if (code) {
        MemFree(name);
        return code;
    }
    name[length] = 0;
    *out = name;
    return 0;
}

static int ReadDeclarations(AppletReader *r, AppletRecord *a, const char *container)
{
    uint32_t count;
    TRY(ReadU32(r, &count));
    for (uint32_t i = 0; i < count; i++) {
        uint32_t type, id, nameOffset, nameLength, linkOffset, linkSize, param1, param2, line;
        TRY(ReadU8(r, &type));
        TRY(ReadU32(r, &id));
        TRY(ReadU32(r, &nameOffset));
        TRY(ReadU32(r, &nameLength));
        TRY(ReadU32(r, &linkOffset));
        TRY(ReadU32(r, &linkSize));
        TRY(ReadU32(r, &param1));
        TRY(ReadU32(r, &param2));
        TRY(ReadU32(r, &line));
        if (type > PREPROC_DISPLAY) return ERR_SECTION;
        if (linkSize != 0 && !InsideApplet(r, linkOffset, linkSize)) return ERR_SECTION;

        union {
            BGPicDeclBlock bgpic;
            PictureDeclBlock picture;
            ButtonDeclBlock button;
            DisplayDecl display;
        } block;
        memset(&block, 0, sizeof block);
        int hasBlock;
        TRY(ReadDeclBlock(r, (int)type, &block, &hasBlock));

        char *name;
        TRY(ReadDeclName(r, nameOffset, nameLength, &name));
        int code;
        PreprocObject *obj = NewPreprocObject((int)type, id, name, param1, param2, (int)line, 1,
                                              hasBlock ? &block : nullptr, &code);
        MemFree(name);
        if (!obj) return code;
        *r->objectTail = obj;
        r->objectTail = &obj->next;
        obj->nameOffset = nameOffset;
        obj->nameLength = nameLength;
        obj->linkOffset = linkOffset;
        obj->linkSize = linkSize;
        snprintf(obj->containerPath, sizeof obj->containerPath, "%s", container);
    }
    return 0;
}

static int ReadSourceRanges(AppletReader *r, AppletRecord *a, const char *container, int named)
{
    uint32_t count;
    TRY(ReadU32(r, &count));
    for (uint32_t i = 0; i < count; i++) {
        SourceRange *sr = (SourceRange *)MemAlloc(sizeof(SourceRange), 1);
        if (!sr) return ERR_NOMEM;
        *r->rangeTail = sr;     // owned by the record from now on, whatever follows
        r->rangeTail = &sr->next;
        TRY(ReadI32(r, &sr->firstLine));
        TRY(ReadI32(r, &sr->lastLine));
        TRY(ReadI32(r, &sr->lineOffset));
        TRY(ReadCString(r, sr->fileName, sizeof sr->fileName));
        if (named) TRY(ReadCString(r, sr->sourceName, sizeof sr->sourceName));
        else snprintf(sr->sourceName, sizeof sr->sourceName, "%s", container);
    }
    return 0;
}

// The registry table "labels" (created on first use) is left on the stack top.
static void PushLabelTable(lua_State *L)
{
    lua_pushstring(L, "labels");
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (lua_type(L, -1) == LUA_TTABLE) return;
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushstring(L, "labels");
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

static int ReadLabels(AppletReader *r, lua_State *L)
{
    uint32_t count;
    TRY(ReadU32(r, &count));
    if (L) PushLabelTable(L);
    int code = 0;
    for (uint32_t i = 0; i < count && !code; i++) {
        uint32_t value;
        char name[MAX_LABEL_NAME + 1];
        code = ReadU32(r, &value);
        if (!code) code = ReadCString(r, name, sizeof name);
        if (!code && L) {
            lua_pushstring(L, name);
            lua_pushnumber(L, (lua_Number)value);
            lua_rawset(L, -3);
        }
    }
    if (L) lua_pop(L, 1);
    return code;
}

static int ReadLinkedFiles(AppletReader *r, AppletRecord *a, const char *container)
{
    uint32_t count, ignored;
    TRY(ReadU32(r, &count));
    TRY(ReadU32(r, &ignored));
    for (uint32_t i = 0; i < count; i++) {
        LinkedFileEntry *e = (LinkedFileEntry *)MemAlloc(sizeof(LinkedFileEntry), 1);
        if (!e) return ERR_NOMEM;
        *r->linkTail = e;
        r->linkTail = &e->next;
        snprintf(e->container, sizeof e->container, "%s", container);
        TRY(ReadCString(r, e->name, sizeof e->name));
        uint32_t size;
        TRY(ReadU32(r, &size));
        uint64_t offset;
        if (size == 0xffffffffu) {
            uint32_t off;
            TRY(ReadU32(r, &size));
            TRY(ReadU32(r, &off));
            offset = off;
        } else {
            offset = (uint64_t)r->pos;
            TRY(SkipBytes(r, size));
        }
        if (!InsideApplet(r, offset, size) || offset > 0x7fffffffu) return ERR_SECTION;
        e->offset = (int32_t)offset;
        e->size = size;
    }
    return 0;
}

static int ReadBackfill(AppletReader *r, AppletRecord *a)
{
    uint32_t kind;
    TRY(ReadU8(r, &kind));
    if (kind > BACKFILL_PICTURE) return ERR_SECTION;
    a->backfillKind = (int32_t)kind;
    switch (kind) {
    case BACKFILL_COLOR:
        TRY(ReadI32(r, &a->backfillStartColor));
        break;
    case BACKFILL_GRADIENT:
        TRY(ReadI32(r, &a->backfillStartColor));
        TRY(ReadI32(r, &a->backfillEndColor));
        break;
    case BACKFILL_TEXTURE:
        TRY(ReadU32(r, &a->backfillBrushId));
        break;
    case BACKFILL_PICTURE:
        TRY(ReadU32(r, &a->backfillBrushId));
        TRY(ReadI32(r, &a->backfillPicX));
        TRY(ReadI32(r, &a->backfillPicY));
        TRY(ReadI32(r, &a->backfillStartColor));
        TRY(ReadI32(r, &a->backfillEndColor));
        if (VersionAtLeast(r, 3, 2)) TRY(ReadU8AsI32(r, &a->scalePicture));
        a->backfillBrushFile[0] = 0;
        break;
    default:
        break;
    }
    return 0;
}

// Flag sections of the default display: the flag is set for a non-zero byte and always given.
static int ReadDisplayFlag(AppletReader *r, AppletRecord *a, uint32_t flag)
{
    uint32_t v;
    TRY(ReadU8(r, &v));
    DisplayDecl *d;
    TRY(DefaultDisplay(r, a, &d));
    if (v) d->flags |= flag;
    d->givenMask |= flag;
    return 0;
}

// Reads the sections up to and including the bytecode section.
static int ReadSections(AppletReader *r, AppletRecord *a, lua_State *L, const char *container)
{
    for (;;) {
        uint32_t tag, u, v;
        int32_t i1, i2;
        DisplayDecl *d;
        TRY(ReadU8(r, &tag));
        switch (tag) {
        case 0x00:
            TRY(ReadU32(r, &u));
            TRY(SkipBytes(r, u));
            break;
        case 0x01:
            TRY(ReadU32(r, &u));
            if (u > BytesLeft(r)) return ERR_EOF;
            MemFree(a->bytecode);
            a->bytecode = nullptr;
            a->bytecodeLength = 0;
            if (u) {
                a->bytecode = (unsigned char *)MemAlloc(u, 0);
                if (!a->bytecode) return ERR_NOMEM;
                TRY(ReadBytes(r, a->bytecode, u));
            }
            a->bytecodeLength = u;
            return 0;
        case 0x02:
            TRY(ReadDeclarations(r, a, container));
            break;
        case 0x03:
            TRY(ReadI16(r, &i1));
            TRY(ReadI16(r, &i2));
            TRY(DefaultDisplay(r, a, &d));
            d->width = i1;
            d->height = i2;
            break;
        case 0x04:
            // A 16-bit length is unsigned: it can never seek backwards.
            TRY(ReadU16(r, &u));
            TRY(SkipBytes(r, u));
            break;
        case 0x05:
            TRY(ReadU32(r, &u));
            TRY(DefaultDisplay(r, a, &d));
            d->color = u;
            break;
        case 0x06:
            TRY(ReadI32(r, &i1));
            TRY(ReadI32(r, &i2));
            TRY(DefaultDisplay(r, a, &d));
            d->x = i1;
            d->y = i2;
            break;
        case 0x07:
            a->desktopSizedFirstDisplay = 1;
            break;
        case 0x08:
            TRY(ReadSourceRanges(r, a, container, 0));
            break;
        case 0x09:
            TRY(ReadLabels(r, L));
            break;
        case 0x0a:
            TRY(ReadU8(r, &u));
            TRY(ReadU8(r, &v));
            r->major = (int)u;
            r->minor = (int)v;
            if (VersionAtLeast(r, 4, 8)) {
                char text[16];
                snprintf(text, sizeof text, "%d.%d", r->major, r->minor);
                SetErrorString(text);
                return ERR_VERSION;
            }
            break;
        case 0x0b: case 0x0c: case 0x0d: case 0x0e: case 0x0f:
            TRY(ReadCString(r, a->infoTexts[tag - 0x0b], sizeof a->infoTexts[0]));
            break;
        case 0x10:
            TRY(ReadU8AsI32(r, &a->displayMode));
            break;
        case 0x11:
            TRY(ReadBackfill(r, a));
            break;
        case 0x12: TRY(ReadDisplayFlag(r, a, DISPF_BORDERLESS)); break;
        case 0x13: TRY(ReadDisplayFlag(r, a, DISPF_FIXED)); break;
        case 0x14: TRY(ReadDisplayFlag(r, a, DISPF_SIZEABLE)); break;
        case 0x15:
            TRY(ReadU8AsI32(r, &a->titleBarWord));
            break;
        case 0x16:
            TRY(ReadI16(r, &i1));
            TRY(ReadI16(r, &i2));
            a->scrWidth = i1;
            a->scrHeight = i2;
            break;
        case 0x17:
            TRY(ReadU8AsI32(r, &a->depth));
            break;
        case 0x18: TRY(ReadDisplayFlag(r, a, DISPF_HIDEPOINTER)); break;
        case 0x19: TRY(ReadDisplayFlag(r, a, DISPF_NOMODESWITCH)); break;
        case 0x1a:
            TRY(ReadLinkedFiles(r, a, container));
            break;
        case 0x1b:
            TRY(ReadSourceRanges(r, a, container, 1));
            break;
        case 0x1c: {
            uint32_t mode, sw, sh, smooth;
            TRY(ReadU8(r, &mode));
            TRY(ReadU32(r, &sw));
            TRY(ReadU32(r, &sh));
            TRY(ReadU8(r, &smooth));
            TRY(DefaultDisplay(r, a, &d));
            uint32_t flag = mode == 0 ? DISPF_AUTOSCALE : DISPF_LAYERSCALE;
            d->flags |= flag;
            d->givenMask |= DISPF_AUTOSCALE | DISPF_LAYERSCALE;
            d->scaleWidth = (int32_t)sw;
            d->scaleHeight = (int32_t)sh;
            if (smooth) d->flags |= DISPF_SMOOTHSCALE;
            break;
        }
        case 0x1d:
            SetAppletDisplayDefaults(a);
            a->noGlobalDisplaySettings = 1;
            break;
        case 0x1e: TRY(ReadDisplayFlag(r, a, DISPF_NOHIDE)); break;
        default:
            return ERR_SECTION;
        }
    }
}

// ---------------------------------------------------------------------------------------------

// Opens the script, learns the size of the applet that starts at start and reads its first
// four bytes into magic (zeros when the applet is not longer than that). None with the
// path set as the error text when the script does not open.
static FileHandle *OpenApplet(const char *path, int64_t start, int64_t *appletSize,
                              unsigned char magic[4])
{
    FileHandle *fh = FOpen(path, FMODE_READ);
    if (!fh) {
        SetErrorString(path);
        return nullptr;
    }
    FSeek(fh, 0, FSEEK_END);
    *appletSize = FSeek(fh, start, FSEEK_START) - start;   // the position before: the file size
    if (*appletSize <= 4 || FRead(fh, magic, 4) != 4) memset(magic, 0, 4);
    return fh;
}

// Steps 5 to 8 of LoadScriptFile: open the script again, unpack a packed applet, check the
// magic and read the sections.
static int ReadAppletFile(ClArgsRecord *clargs, AppletRecord *a, lua_State *L)
{
    // 5: open again, learn the size, unpack a packed applet.
    int64_t start = AppendedAppletOffset;
    int64_t appletSize;
    unsigned char magic[4];
    FileHandle *fh = OpenApplet(clargs->scriptPath, start, &appletSize, magic);
    if (!fh) return ERR_NOFILE;
    if (memcmp(magic, "KVZ\0", 4) == 0) {
        FClose(fh);
        char temp[KV_PATH_SIZE];
        if (!OsTempFileName(temp, sizeof temp)) {
            SetErrorString(*temp ? temp : clargs->scriptPath);
            return 1052;
        }
        if (AddTempFile(temp)) {
            OsDelete(temp);
            return ERR_NOMEM;
        }
        int code = InflateFile("KVZ\0", clargs->scriptPath, temp, start, nullptr);
        if (code) return code;
        snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s", temp);
        // The unpacked applet starts at 0 of its own file: linked files are read from there,
        // so the appended-applet base that later steps add to linked-data offsets becomes 0.
        start = 0;
        AppendedAppletOffset = 0;
        fh = OpenApplet(clargs->scriptPath, start, &appletSize, magic);
        if (!fh) return ERR_NOFILE;
    }
    if (memcmp(magic, "KVA\0", 4) == 0) clargs->isApplet = 1;

    // 6
    if (!clargs->isApplet) {
        SetErrorString(GetFilePart(clargs->scriptPath));
        FClose(fh);
        return ERR_NOAPPLET;
    }

    // 7-8
    AppletReader r;
    memset(&r, 0, sizeof r);
    r.fh = fh;
    r.start = start;
    r.size = appletSize;
    r.pos = 4;
    r.objectTail = &a->objects;
    while (*r.objectTail) r.objectTail = &(*r.objectTail)->next;
    r.rangeTail = &a->sourceRanges;
    while (*r.rangeTail) r.rangeTail = &(*r.rangeTail)->next;
    r.linkTail = &a->linkedFiles;
    while (*r.linkTail) r.linkTail = &(*r.linkTail)->next;
    int code = ReadSections(&r, a, L, clargs->scriptPath);
    FClose(fh);
    a->appletStart = start;
    SetLinkedFiles(a->linkedFiles, start, clargs->scriptPath);
    if (L) {
        lua_pushstring(L, "script");
        lua_pushstring(L, ":none:");
        lua_rawset(L, LUA_REGISTRYINDEX);
    }
    return code;
}

int LoadScriptFile(ClArgsRecord *clargs, AppletRecord *a, lua_State *L)
{
    // 1-2: the script must exist; its path becomes absolute.
    FileHandle *fh = FOpen(clargs->scriptPath, FMODE_READ);
    if (!fh) {
        SetErrorString(clargs->scriptPath);
        return ERR_NOFILE;
    }
    FClose(fh);
    char full[KV_PATH_SIZE];
    if (OsFullPath(clargs->scriptPath, full, sizeof full))
        snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s", full);

    // 3: the current directory becomes the script's (the bundle's resources for an appended
    // applet).
    char dir[KV_PATH_SIZE];
    if (AppendedAppletOffset) {
        if (!OsGetBundlePath(dir, sizeof dir)) dir[0] = 0;
    } else {
        snprintf(dir, sizeof dir, "%s", clargs->scriptPath);
        *DirPartEnd(dir) = 0;
    }
    if (dir[0]) MemFree(OsChangeDir(dir));

    // 4
    PrintVerbose(GetErrorString(MSG_OPENING_SCRIPT),
                 clargs->scriptAlias[0] ? clargs->scriptAlias : clargs->scriptPath, 1);

    // 5-8. The progress line ends with "done", or with "failed" so that the final report
    // starts a line of its own.
    int code = ReadAppletFile(clargs, a, L);
    if (code == 0) PrintVerboseDone();
    else PrintVerboseFailed();
    return code;
}

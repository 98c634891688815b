// The anim library: its 18 commands, the open function, the picture source through which
// DisplayObject reaches anim frames, GetAttribute's answers for #ANIM and the shutdown.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/output_select.h"
#include "display/asyncdraw.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/anim_build.h"
#include "pictures/anim_file.h"
#include "pictures/anim_stream.h"
#include "pictures/brush.h"
#include "pictures/display_object.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000, ERR_USAGE = 1055, ERR_RANGE = 1094, ERR_FRAME = 1270, ERR_ACTIVE = 1340 };

// The anim of argument 1 for a change: 1340 while drawing goes into it, 1314 while it plays.
static int AnimForChange(lua_State *L, AnimNode **node)
{
    int code = FindAnim(GetObjectIdArg(L, 1), node, 0);
    if (code) return code;
    if (IsAnimOutputTarget(*node)) return ERR_ACTIVE;
    return FindAnim((*node)->id, node, FINDANIM_FORCHANGE);
}

static int PlayAnim(lua_State *L)
{
    int n = lua_gettop(CheckArgs(L, 3, 5));
    AnimNode *node;
    int code = FindAnim(GetObjectIdArg(L, 1), &node, 0);
    if (code) return code;
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3);
    DisplayRecord *d = CurrentDisplay;
    // Playing the anim that drawing goes to ends that selection first.
    if (d && IsAnimOutputTarget(node) && (code = SetBGPicOutput(L, d))) return code;
    if ((code = CheckDisplayOutput(d, 0))) return code;
    int32_t speed = 0, times = 1;
    int async = 0, optionIndex = 0;
    if (n >= 4 && lua_istable(L, 4)) {
        GetFieldInt(L, 4, "speed", &speed, nullptr);
        GetFieldInt(L, 4, "times", &times, nullptr);
        GetFieldSwitch(L, 4, "async", &async);
        optionIndex = 4;
    } else {
        speed = GetOptIntArg(L, 4, 0);
        times = GetOptIntArg(L, 5, 1);
    }
    void *handle = nullptr;
    if ((code = PlayAnimObject(L, node, x, y, speed, times, async, optionIndex, &handle))) return code;
    if (!async) return 0;
    lua_pushlightuserdata(L, handle);
    return 1;
}

static int FreeAnim(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return FreeAnimObject(L, GetObjectIdArg(L, 1), 1);
}

static int ScaleAnim(lua_State *L)
{
    CheckArgs(L, 3, 4);
    AnimNode *node;
    int code = AnimForChange(L, &node);
    if (code) return code;
    int32_t w = GetSizeArg(L, 2, node->width);
    int32_t h = GetSizeArg(L, 3, node->height);
    if ((w == KEEPASPRAT || h == KEEPASPRAT) && (code = ApplyKeepAspectRatio(node->width, node->height, &w, &h)))
        return code;
    if (w < 1 || h < 1) return ERR_USAGE;
    return ScaleAnimNode(node, w, h, GetOptIntArg(L, 4, 0));
}

static int PlayAnimDisk(lua_State *L)
{
    int n = lua_gettop(CheckArgs(L, 1, 7));
    const char *file = luaL_checkstring(L, 1);
    int32_t x = GetOptIntArg(L, 2, 0), y = GetOptIntArg(L, 3, 0);
    int32_t speed = GetOptIntArg(L, 5, 0), times = GetOptIntArg(L, 7, 1);
    int code = CheckDisplayOutput(CurrentDisplay, 0);
    if (code) return code;
    ObjectId id = {0, (void *)1};
    if ((code = LoadAnimFromFile(L, &id, file, n >= 6 && !lua_isnil(L, 6) ? 6 : 0, 1))) return code;
    AnimNode *node;
    if ((code = FindAnim(id, &node, 0))) return code;
    void *handle;
    code = PlayAnimObject(L, node, x, y, speed, times, 0, 0, &handle);
    FreeAnimObject(L, id, 0);
    return code;
}

// Replaces a numbered brush by a new one holding the planes (taken over on success).
static int StoreBrush(lua_State *L, ObjectId *id, BitMap *bm, Mask *mask, AlphaChannel *alpha, int32_t width,
                      int32_t height, int32_t transparent)
{
    int code = 0;
    if (!id->handle && (code = FreeBrushObject(L, *id, 0))) return code;
    return AddBrushNode(id, BRUSHTYPE_BITMAP, width, height, 0, 0, nullptr, bm, transparent, mask, alpha, nullptr);
}

static int LoadAnimFrame(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    int32_t frame = GetIntArg(L, 2);
    const char *file = luaL_checkstring(L, 3);
    int32_t transparent = GetOptIntArg(L, 4, -1);
    AnimFile *af;
    int32_t w, h, n;
    int code = LoadAnimFile(file, &af, &w, &h, &n);
    if (code) return code;
    if (frame == -1) frame = n;
    uint32_t *words = nullptr;
    if (frame < 1 || frame > n) code = ERR_RANGE;
    else if (!(words = GetAnimFileFrame(af, frame - 1))) code = ERR_FRAME;
    FreeAnimFile(af);
    if (code) return code;
    BitMap *bm;
    Mask *mask = nullptr;
    code = BitMapFromARGB(words, transparent, w, h, w, &bm, transparent == -1 ? nullptr : &mask);
    MemFree(words);
    if (!code && (code = StoreBrush(L, &id, bm, mask, nullptr, w, h, transparent))) FreeTriple(bm, mask, nullptr);
    if (code) return code;
    return PushNewObjectHandle(L, isNil, id);
}

static int LoadAnim(lua_State *L)
{
    CheckArgs(L, 2, 3);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    const char *file = luaL_checkstring(L, 2);
    int code = LoadAnimFromFile(L, &id, file, lua_gettop(L) >= 3 ? 3 : 0, 0);
    if (code) return code;
    return PushNewObjectHandle(L, isNil, id);
}

static int IsAnim(lua_State *L)
{
    CheckArgs(L, 1, 1);
    lua_pushnumber(L, IsAnimFile(luaL_checkstring(L, 1)));
    return 1;
}

static int CreateAnim(lua_State *L)
{
    CheckArgs(L, 6, 8);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    BrushNode *brush;
    int code = GetBrushNode(GetObjectIdArg(L, 2), &brush, BRUSH_NOVECTOR);
    if (code) return code;
    AnimBuildRequest req;
    memset(&req, 0, sizeof req);
    req.sourceKind = ANIMSRC_PICTURE;
    req.targetKind = ANIMTARGET_ANIM;
    req.grid = 1;
    req.frameWidth = GetIntArg(L, 3);
    req.frameHeight = GetIntArg(L, 4);
    req.frames = GetIntArg(L, 5);
    req.framesPerRow = GetIntArg(L, 6);
    req.x = GetOptIntArg(L, 7, 0);
    req.y = GetOptIntArg(L, 8, 0);
    req.transparentColor = 0xFFFFFFFFu;
    req.bitmap = brush->bitmap;
    req.mask = brush->mask;
    req.alpha = brush->alpha;
    req.sourceWidth = brush->width;
    req.sourceHeight = brush->height;
    if (!isNil && (code = FreeAnimObject(L, id, 0))) return code;
    req.targetId = id;
    if ((code = BuildAnimObject(&req, nullptr, nullptr, -1))) return code;
    return PushNewObjectHandle(L, isNil, req.targetId);
}

static int CopyAnim(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId src = GetObjectIdArg(L, 1);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 2, &isNil);
    AnimNode *node;
    int code = FindAnim(src, &node, 0);
    if (code) return code;
    if (!isNil) {
        if (!src.handle && src.number == id.number) return ERR_USAGE;
        if ((code = FreeAnimObject(L, id, 0))) return code;
    }
    if ((code = CopyAnimNode(node, &id, nullptr))) return code;
    return PushNewObjectHandle(L, isNil, id);
}

static int GetAnimFrame(lua_State *L)
{
    CheckArgs(L, 3, 3);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    int32_t frame = GetIntArg(L, 2);
    AnimNode *node;
    int code = FindAnim(GetObjectIdArg(L, 3), &node, 0);
    if (code) return code;
    if (frame < 1 || frame > node->frameCount) return ERR_RANGE;
    BitMap *bm;
    Mask *mask;
    AlphaChannel *alpha;
    int owned;
    if ((code = FetchAnimFrame(node, frame - 1, 1, 0, &bm, &mask, &alpha, &owned))) return code;
    code = StoreBrush(L, &id, bm, mask, alpha, node->width, node->height, node->transparentColour);
    if (code) {
        FreeTriple(bm, mask, alpha);
        return code;
    }
    return PushNewObjectHandle(L, isNil, id);
}

static int DisplayAnimFrame(lua_State *L)
{
    int n = lua_gettop(CheckArgs(L, 4, 5));
    ObjectId id = GetObjectIdArg(L, 1);
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3), frame = GetIntArg(L, 4);
    // Frames count from 1; any frame below that is out of range (DisplayObject: 1094).
    return DisplayObject(L, nullptr, nullptr, OBJTYPE_ANIM, id, frame > 0 ? frame - 1 : -1, 0, 0, x, y, 0, 0, 0,
                         n >= 5 ? 5 : 0, nullptr, nullptr, nullptr, nullptr, 0);
}

int DisplayAnimAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t frame)
{
    return DisplayObject(L, nullptr, nullptr, OBJTYPE_ANIM, id, frame, 0, 0, x, y, 0, 0, 0, 0, nullptr, nullptr,
                         nullptr, nullptr, 0);
}

static int ModifyAnimFrames(lua_State *L)
{
    CheckArgs(L, 2, 3);
    AnimNode *node;
    int code = AnimForChange(L, &node);
    if (code) return code;
    return ResizeAnimFrames(node, GetIntArg(L, 2), GetOptIntArg(L, 3, 0));
}

static int SelectAnim(lua_State *L)
{
    CheckArgs(L, 2, 3);
    ObjectId id = GetObjectIdArg(L, 1);
    return SelectOutput(L, OBJTYPE_ANIM, id, OBJTYPE_BRUSH, GetIntArg(L, 2), GetOptIntArg(L, 3, SELMODE_NORMAL));
}

static int SetAnimFrameDelay(lua_State *L)
{
    CheckArgs(L, 3, 3);
    AnimNode *node;
    int code = FindAnim(GetObjectIdArg(L, 1), &node, 0);
    if (code) return code;
    int32_t frame = GetIntArg(L, 2), delay = GetIntArg(L, 3);
    if (delay < 0) return ERR_USAGE;
    if (frame < 1 || frame > node->frameCount) return ERR_RANGE;
    node->delays[frame - 1] = delay;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Links to the other libraries

// The frame (0-based) DisplayObject and the layers draw.
static int AnimPictureSource(lua_State *L, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask,
                             AlphaChannel **alpha, int32_t *width, int32_t *height, int *owned)
{
    AnimNode *node;
    int code = FindAnim(id, &node, 0);
    if (code) return code;
    *width = node->width;
    *height = node->height;
    return FetchAnimFrame(node, frame, 0, 0, bitmap, mask, alpha, owned);
}

int SelectAnimFrame(ObjectId id, int32_t frame, void **node, BitMap **bitmap, Mask **mask, AlphaChannel **alpha,
                    int32_t *width, int32_t *height)
{
    AnimNode *a;
    int code = FindAnim(id, &a, FINDANIM_FORCHANGE);
    if (code) return code;
    if (a->diskBased) return 1338;
    if (frame < 1 || frame > a->frameCount) return ERR_RANGE;
    int owned;
    if ((code = FetchAnimFrame(a, frame - 1, 0, 0, bitmap, mask, alpha, &owned))) return code;
    *node = a;
    *width = a->width;
    *height = a->height;
    return 0;
}

int AnimAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) {
        lua_pushnumber(L, CountAnims());
        return 1;
    }
    AnimNode *node;
    int code = FindAnim(GetObjectIdArg(L, 2), &node, 0);
    if (code) return code;
    switch (attribute) {
    case ATTR_WIDTH: lua_pushnumber(L, node->width); return 1;
    case ATTR_HEIGHT: lua_pushnumber(L, node->height); return 1;
    case ATTR_TRANSPARENTCOLOR: lua_pushnumber(L, node->transparentColour); return 1;
    case 11: lua_pushnumber(L, node->frameCount); return 1;
    case ATTR_HASMASK:
    case ATTR_HASALPHA: {
        BitMap *bm;
        Mask *mask;
        AlphaChannel *alpha;
        int owned;
        if ((code = FetchAnimFrame(node, 0, 0, 0, &bm, &mask, &alpha, &owned))) return code;
        lua_pushnumber(L, attribute == ATTR_HASMASK ? mask != nullptr : alpha != nullptr);
        if (owned) FreeTriple(bm, mask, alpha);
        return 1;
    }
    case 37: {
        CheckArgs(L, 4, 4);
        int32_t frame = GetIntArg(L, 4);
        if (frame < 1 || frame > node->frameCount) return ERR_RANGE;
        lua_pushnumber(L, AnimFrameDelay(node, frame - 1));
        return 1;
    }
    default: return ERR_USAGE;
    }
}

static const luaL_reg AnimCommands[] = {
    {"PlayAnim", PlayAnim},
    {"FreeAnim", FreeAnim},
    {"ScaleAnim", ScaleAnim},
    {"PlayAnimDisk", PlayAnimDisk},
    {"LoadAnimFrame", LoadAnimFrame},
    {"LoadAnim", LoadAnim},
    {"IsAnim", IsAnim},
    {"CreateAnim", CreateAnim},
    {"CopyAnim", CopyAnim},
    {"GetAnimFrame", GetAnimFrame},
    {"DisplayAnimFrame", DisplayAnimFrame},
    {"ModifyAnimFrames", ModifyAnimFrames},
    {"SelectAnim", SelectAnim},
    {"SaveAnim", AnimSaveAnim},
    {"BeginAnimStream", AnimBeginAnimStream},
    {"WriteAnimFrame", AnimWriteAnimFrame},
    {"FinishAnimStream", AnimFinishAnimStream},
    {"SetAnimFrameDelay", SetAnimFrameDelay},
    {nullptr, nullptr},
};

int OpenAnimLib(lua_State *L)
{
    luaL_openlib(L, nullptr, AnimCommands, 0);
    int code = RegisterCommandTable(AnimCommands, "anim");
    if (code) return code;
    SetObjectPictureSource(OBJTYPE_ANIM, AnimPictureSource);
    SetAttributeProvider(OBJTYPE_ANIM, AnimAttribute);
    return 0;
}

void FreeAllAnims(lua_State *L)
{
    FreeAllAnimNodes();
    FreeAllAnimStreams();
}

// The sprite library: its nine commands, its open function and GetAttribute's answers for
// sprites.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "display/sprite.h"
#include "gfx/kernels.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/anim_build.h"
#include "pictures/brush.h"
#include "pictures/display_object.h"
#include "pictures/picture_flip.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

// The id a creating command makes: automatic for Nil (a handle word the record replaces), else
// the number, whose existing sprite is freed first.
static int ClaimSpriteId(lua_State *L, uint32_t number, int isNil, ObjectId *id)
{
    id->number = isNil ? 0 : number;
    id->handle = isNil ? (void *)1 : nullptr;
    return isNil ? 0 : FreeSpriteIfUnlocked(L, *id, 0);
}

static int CreateSprite(lua_State *L)
{
    CheckArgs(L, 3, 0);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int type = GetIntArg(L, 2);
    int top = lua_gettop(L);
    AnimBuildRequest req;
    memset(&req, 0, sizeof req);
    req.targetKind = ANIMTARGET_SPRITE;
    req.transparentColor = 0xFFFFFFFFu;
    ObjectId *sources = nullptr;
    if (type == OBJTYPE_SPRITE) {
        // Every id is read once before the list is allocated: a bad one raises.
        for (int i = 3; i <= top; i++) GetObjectIdArg(L, i);
        sources = (ObjectId *)MemAlloc(sizeof(ObjectId) * (size_t)(top - 2), 1);
        if (!sources) return 1000;
        for (int i = 3; i <= top; i++) sources[i - 3] = GetObjectIdArg(L, i);
        req.sourceKind = ANIMSRC_SPRITES;
        req.sprites = sources;
        req.spriteCount = top - 2;
    } else if (type == OBJTYPE_BRUSH) {
        if (top > 9) return 1193;
        req.sourceKind = ANIMSRC_PICTURE;
        req.grid = top > 3;
        req.frameWidth = GetOptIntArg(L, 4, 0);
        req.frameHeight = GetOptIntArg(L, 5, 0);
        req.frames = GetOptIntArg(L, 6, 0);
        req.framesPerRow = GetOptIntArg(L, 7, 0);
        req.x = GetOptIntArg(L, 8, 0);
        req.y = GetOptIntArg(L, 9, 0);
    } else if (type == OBJTYPE_ANIM) {
        if (top > 3) return 1193;
        int code = ClaimSpriteId(L, number, isNil, &req.targetId);
        if (!code) code = BuildSpriteFromAnim(&req.targetId, GetObjectIdArg(L, 3));
        if (code) return code;
        return PushNewObjectHandle(L, isNil, req.targetId);
    } else {
        return 1055;
    }
    // The old sprite of the number goes before the sources are looked up, so that no link can
    // be made to it.
    int code = ClaimSpriteId(L, number, isNil, &req.targetId);
    if (!code && type == OBJTYPE_BRUSH) {
        BrushNode *brush;
        code = GetBrushNode(GetObjectIdArg(L, 3), &brush, BRUSH_NOVECTOR);
        if (!code) {
            req.bitmap = brush->bitmap;
            req.mask = brush->mask;
            req.alpha = brush->alpha;
            req.sourceWidth = brush->width;
            req.sourceHeight = brush->height;
            if (brush->mask && brush->transparentColor != -1 && brush->transparentColor != BRUSH_TRANSPARENT_CREATED)
                req.transparentColor = (uint32_t)brush->transparentColor;
        }
    }
    if (!code) code = BuildAnim(L, &req);
    MemFree(sources);
    if (code) return code;
    return PushNewObjectHandle(L, isNil, req.targetId);
}

static int LoadSprite(lua_State *L)
{
    CheckArgs(L, 2, 3);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    const char *file = luaL_checkstring(L, 2);
    int code = LoadAnimObject(L, ANIMTARGET_SPRITE, &id, file, lua_gettop(L) >= 3 ? 3 : 0);
    if (code) return code;
    return PushNewObjectHandle(L, isNil, id);
}

static int DisplaySprite(lua_State *L)
{
    CheckArgs(L, 3, 4);
    ObjectId id = GetObjectIdArg(L, 1);
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3), frame = GetOptIntArg(L, 4, 0);
    int code = CheckSpriteOutput();
    if (code) return code;
    return ShowSpriteAt(L, id, x, y, frame);
}

static int RemoveSprite(lua_State *L)
{
    CheckArgs(L, 1, 1);
    ObjectId id = GetObjectIdArg(L, 1);
    int code = CheckSpriteOutput();
    if (code) return code;
    SpriteInstance *inst;
    if ((code = GetOnScreenSprite(id, &inst))) return code;
    return RemoveSpriteInstance(inst);
}

static int RemoveSprites(lua_State *L)
{
    CheckArgs(L, 0, 1);
    int keep = GetOptIntArg(L, 1, 0);
    int code = CheckSpriteOutput();
    if (code) return code;
    return RemoveAllSprites(keep);
}

static int FreeSprite(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return FreeSpriteIfUnlocked(L, GetObjectIdArg(L, 1), 1);
}

// The sprite of argument 1 for a change of its frames: 1219/1041, 1314, 1227 while shown, 1228
// for a linked sprite or a source of one.
static int SpriteForChange(lua_State *L, SpriteNode **out)
{
    int code = GetSprite(GetObjectIdArg(L, 1), out, GETSPRITE_FORCHANGE);
    if (code) return code;
    if (IsSpriteShown(*out)) return 1227;
    if ((*out)->sources || IsSpriteSource(*out)) return 1228;
    return 0;
}

static int ScaleSprite(lua_State *L)
{
    CheckArgs(L, 3, 4);
    SpriteNode *s;
    int code = SpriteForChange(L, &s);
    if (code) return code;
    int32_t w = GetSizeArg(L, 2, s->width);
    int32_t h = GetSizeArg(L, 3, s->height);
    int smooth = GetOptIntArg(L, 4, 0);
    if ((code = ApplyKeepAspectRatio(s->width, s->height, &w, &h))) return code;
    if (w == s->width && h == s->height) return 0;
    int32_t n = s->frameCount;
    if (!s->bitmaps) {
        s->width = w;
        s->height = h;
        return 0;
    }
    BitMap **bitmaps = (BitMap **)MemAlloc(sizeof(BitMap *) * (size_t)n, 1);
    Mask **masks = (Mask **)MemAlloc(sizeof(Mask *) * (size_t)n, 1);
    AlphaChannel **alphas = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *) * (size_t)n, 1);
    code = bitmaps && masks && alphas ? 0 : 1000;
    for (int32_t i = 0; i < n && !code; i++)
        code = ScaleBitMapTriple(s->bitmaps[i], s->masks[i], s->alphas[i], 0, 0, nullptr, s->width, s->height, w, h,
                                 smooth, &bitmaps[i], &masks[i], &alphas[i]);
    if (code) {
        FreeSpriteFrames(bitmaps ? n : 0, bitmaps, masks, alphas, nullptr);
        return code;
    }
    FreeSpriteFrames(n, s->bitmaps, s->masks, s->alphas, nullptr);
    s->bitmaps = bitmaps;
    s->masks = masks;
    s->alphas = alphas;
    s->width = w;
    s->height = h;
    return 0;
}

static int FlipSprite(lua_State *L)
{
    CheckArgs(L, 2, 2);
    SpriteNode *s;
    int code = SpriteForChange(L, &s);
    if (code) return code;
    int direction = GetIntArg(L, 2);
    for (int32_t i = 0; i < s->frameCount && s->bitmaps && !code; i++)
        code = FlipPictureTriple(s->bitmaps[i], s->masks ? s->masks[i] : nullptr, s->alphas ? s->alphas[i] : nullptr,
                                 s->width, s->height, direction);
    return code;
}

static int CopySprite(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId srcId = GetObjectIdArg(L, 1);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 2, &isNil);
    if (!isNil && !srcId.handle && srcId.number == number) return 1055;
    ObjectId id;
    // Freeing the target first may free the source too (a link made from it): looked up after.
    int code = ClaimSpriteId(L, number, isNil, &id);
    SpriteNode *s;
    if (!code) code = GetSprite(srcId, &s, 0);
    if (code) return code;
    int32_t n = s->frameCount;
    if (s->sources) {
        int32_t count = 0;
        while (s->sources[count]) count++;
        SpriteNode **sources = (SpriteNode **)MemAlloc(sizeof(SpriteNode *) * (size_t)(count + 1), 1);
        if (!sources) return 1000;
        memcpy(sources, s->sources, sizeof(SpriteNode *) * (size_t)count);
        code = AddSpriteRecord(&id, s->width, s->height, n, s->transparentColor, nullptr, nullptr, nullptr, nullptr,
                               0, sources, nullptr);
        if (code) MemFree(sources);
        return code ? code : PushNewObjectHandle(L, isNil, id);
    }
    BitMap **bitmaps = (BitMap **)MemAlloc(sizeof(BitMap *) * (size_t)n, 1);
    Mask **masks = (Mask **)MemAlloc(sizeof(Mask *) * (size_t)n, 1);
    AlphaChannel **alphas = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *) * (size_t)n, 1);
    code = bitmaps && masks && alphas ? 0 : 1000;
    for (int32_t i = 0; i < n && !code; i++)
        code = CutBitMapRegion(s->bitmaps[i], s->masks[i], s->alphas[i], 0, 0, s->width, s->height, &bitmaps[i],
                               &masks[i], &alphas[i]);
    if (!code)
        code = AddSpriteRecord(&id, s->width, s->height, n, s->transparentColor, bitmaps, masks, alphas, nullptr, 0,
                               nullptr, nullptr);
    if (code) {
        FreeSpriteFrames(bitmaps ? n : 0, bitmaps, masks, alphas, nullptr);
        return code;
    }
    return PushNewObjectHandle(L, isNil, id);
}

int SpriteAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) {
        lua_pushnumber(L, CountSprites());
        return 1;
    }
    SpriteNode *s;
    ObjectId id = GetObjectIdArg(L, 2);
    int code = GetSprite(id, &s, 0);
    if (code) return code;
    SpriteInstance *inst = nullptr;
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    switch (attribute) {
    case ATTR_WIDTH: lua_pushnumber(L, s->width); return 1;
    case ATTR_HEIGHT: lua_pushnumber(L, s->height); return 1;
    case ATTR_TRANSPARENTCOLOR: lua_pushnumber(L, s->transparentColor); return 1;
    case 11: lua_pushnumber(L, s->frameCount); return 1;
    case ATTR_XPOS:
    case ATTR_YPOS:
    case 12:
        if ((code = GetOnScreenSprite(id, &inst))) return code;
        lua_pushnumber(L, attribute == ATTR_XPOS ? inst->x : attribute == ATTR_YPOS ? inst->y : inst->frame);
        return 1;
    case ATTR_HASMASK:
    case ATTR_HASALPHA:
        GetSpriteFrame(s, 0, &bm, &mask, &alpha);
        lua_pushnumber(L, attribute == ATTR_HASMASK ? mask != nullptr : alpha != nullptr);
        return 1;
    case 23: lua_pushnumber(L, GetOnScreenSprite(id, &inst) == 0); return 1;
    default: return 1080;
    }
}

// The picture of a sprite frame (0-based) for ConvertToBrush and GetBrushLink: the sprite's own
// planes (a linked sprite's from its source), which the caller copies at once.
static int SpritePictureSource(lua_State *L, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask,
                               AlphaChannel **alpha, int32_t *width, int32_t *height, int *owned)
{
    SpriteNode *s;
    int code = GetSprite(id, &s, 0);
    if (code) return code;
    if (frame < 0 || frame >= s->frameCount) return 1094;
    if (!GetSpriteFrame(s, frame, bitmap, mask, alpha) || !*bitmap) return 1094;
    *width = s->width;
    *height = s->height;
    *owned = 0;
    return 0;
}

static const luaL_reg SpriteCommands[] = {
    {"CreateSprite", CreateSprite},
    {"LoadSprite", LoadSprite},
    {"DisplaySprite", DisplaySprite},
    {"RemoveSprite", RemoveSprite},
    {"RemoveSprites", RemoveSprites},
    {"FreeSprite", FreeSprite},
    {"ScaleSprite", ScaleSprite},
    {"FlipSprite", FlipSprite},
    {"CopySprite", CopySprite},
    {nullptr, nullptr},
};

int OpenSpriteLib(lua_State *L)
{
    luaL_openlib(L, nullptr, SpriteCommands, 0);
    int code = RegisterCommandTable(SpriteCommands, "sprite");
    if (code) return code;
    SetAttributeProvider(OBJTYPE_SPRITE, SpriteAttribute);
    SetObjectPictureSource(PICSOURCE_SPRITE, SpritePictureSource);
    return 0;
}

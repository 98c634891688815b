// Loading a multi-frame object from a file: the options, the picture (from the graphics cache
// while the declared objects are made, else from the file), then the builder.
#include <cstring>

#include "display/sprite.h"
#include "gfx/draw_routines.h"
#include "gfx/picload.h"
#include "pictures/anim.h"
#include "pictures/anim_build.h"
#include "pictures/cached_picture.h"
#include "pictures/transform_record.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

struct LoadAnimOptions {
    int32_t transparent;           // -1 none
    int loadAlpha;
    int32_t x, y, width, height, framesPerRow, frames;
    int framesGiven;
    int fromDisk;                  // anims only
    char *cache, *cachedLoad;
    int cacheAlpha;
};

static void ReadOptions(lua_State *L, int t, LoadAnimOptions *o)
{
    memset(o, 0, sizeof *o);
    o->transparent = -1;
    if (!t || lua_isnoneornil(L, t)) return;
    if (!lua_istable(L, t)) {
        o->transparent = luaL_checkinteger(L, t);
        return;
    }
    uint32_t colour;
    if (GetFieldUInt32(L, t, "transparency", &colour, nullptr)) o->transparent = (int32_t)colour;
    GetFieldSwitch(L, t, "loadalpha", &o->loadAlpha);
    GetFieldInt(L, t, "x", &o->x, nullptr);
    GetFieldInt(L, t, "y", &o->y, nullptr);
    GetFieldInt(L, t, "width", &o->width, nullptr);
    GetFieldInt(L, t, "height", &o->height, nullptr);
    GetFieldInt(L, t, "fpr", &o->framesPerRow, nullptr);
    GetFieldInt(L, t, "frames", &o->frames, &o->framesGiven);
    GetFieldSwitch(L, t, "fromdisk", &o->fromDisk);
    size_t len;
    GetFieldFileName(L, t, "cache", 0, nullptr, &o->cache, &len, nullptr);
    GetFieldFileName(L, t, "cachedload", 0, nullptr, &o->cachedLoad, &len, nullptr);
    GetFieldSwitch(L, t, "cachealpha", &o->cacheAlpha);
}

static int LoadCore(int targetKind, ObjectId *id, const char *file, const LoadAnimOptions *o)
{
    if (o->loadAlpha && o->transparent != -1) return 1223;
    int sprite = targetKind == ANIMTARGET_SPRITE;
    if (!sprite && o->fromDisk) targetKind = ANIMTARGET_DISKANIM;
    if (targetKind == ANIMTARGET_DISKANIM && o->framesGiven) return 1055;
    if (!id->handle) {
        int code = sprite ? FreeSpriteIfUnlocked(nullptr, *id, 0) : FreeAnimObject(nullptr, *id, 0);
        if (code) return code;
    }
    // An animation file gives all its frames (no grid).
    if (!o->framesGiven && !(RuntimeSettings.preproc && o->cachedLoad)) {
        int handled;
        int code = LoadFromAnimFile(targetKind, id, file, o->transparent, &handled);
        if (handled) return code;
    }
    // A still picture (or cached pixels) has no file to decode frames from: it is built in
    // memory also when a disk-based anim was asked for.
    if (targetKind == ANIMTARGET_DISKANIM) targetKind = ANIMTARGET_ANIM;
    uint32_t *pixels = nullptr;
    AlphaChannel *alpha = nullptr;
    int32_t key, width, height;
    int code = LoadCachedPicture(file, o->loadAlpha, o->cache, o->cachedLoad, o->cacheAlpha, &pixels,
                                 &alpha, &key, &width, &height);
    if (code) return code;
    AnimBuildRequest req;
    memset(&req, 0, sizeof req);
    req.targetId = *id;
    req.sourceKind = ANIMSRC_PICTURE;
    req.targetKind = targetKind;
    req.transparentColor = (uint32_t)(key != -1 && !alpha ? key : o->transparent);
    req.sourceWidth = width;
    req.sourceHeight = height;
    req.alpha = alpha;
    req.takeImages = 1;
    if (o->width > 0 && o->height > 0) {
        req.grid = 1;
        req.x = o->x;
        req.y = o->y;
        req.frameWidth = o->width;
        req.frameHeight = o->height;
        req.framesPerRow = o->framesPerRow;
        req.frames = o->framesGiven ? o->frames : 1;
    }
    if (RuntimeSettings.preproc) {
        // No display yet: the frames stay ARGB words until one opens.
        req.rawPixels = pixels;
        pixels = nullptr;
    } else {
        Mask *mask = nullptr;
        int32_t keyColour = alpha ? -1 : (int32_t)req.transparentColor;
        code = BitMapFromARGB(pixels, keyColour, width, height, width, &req.bitmap, keyColour == -1 ? nullptr : &mask);
        req.mask = mask;
        MemFree(pixels);
        pixels = nullptr;
    }
    if (!code) code = BuildAnim(nullptr, &req);
    if (!code) *id = req.targetId;
    // Whatever the builder did not take.
    MemFree(req.rawPixels);
    FreeBitMap(req.bitmap);
    FreeMask(req.mask);
    FreeAlphaChannel(req.alpha);
    return code;
}

int LoadAnimObject(lua_State *L, int targetKind, ObjectId *id, const char *file, int t)
{
    LoadAnimOptions o;
    ReadOptions(L, t, &o);
    PrintVerbose(GetErrorString(targetKind == ANIMTARGET_SPRITE ? MSG_LOADING_SPRITE : MSG_LOADING_ANIM), file, 1);
    int code = LoadCore(targetKind, id, file, &o);
    MemFree(o.cache);
    MemFree(o.cachedLoad);
    if (code) PrintVerboseFailed();
    else PrintVerboseDone();
    return code;
}

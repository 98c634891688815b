// Building anims from pictures and anim files, LoadAnim's loader, and the changes of an anim's
// frames (inserting, removing, scaling).
#include <cstring>

#include "display/sprite.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/anim_build.h"
#include "pictures/anim_file.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

enum { ERR_NOMEM = 1000, ERR_USAGE = 1055, ERR_FRAME = 1270, ERR_DISKBASED = 1338 };

static char *CopyText(const char *text)
{
    char *copy = (char *)MemAlloc(strlen(text) + 1, 0);
    if (copy) strcpy(copy, text);
    return copy;
}

int DecodeAnimFileFrames(AnimFile *file, int32_t width, int32_t height, int32_t frameCount, int deferred,
                         int32_t transparentColour, BitMap ***bitmaps, Mask ***masks, AlphaChannel ***alphas,
                         uint32_t ***raw, int32_t **delays)
{
    *raw = nullptr;
    *delays = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)frameCount, 0);
    int code = *delays ? AllocFrameArrays(frameCount, bitmaps, masks, alphas) : ERR_NOMEM;
    if (!code && deferred && !(*raw = (uint32_t **)MemAlloc(sizeof(uint32_t *) * (size_t)frameCount, 1)))
        code = ERR_NOMEM;
    for (int32_t i = 0; i < frameCount && !code; i++) {
        uint32_t *words = GetAnimFileFrame(file, i);
        if (!words) {
            code = ERR_FRAME;
            break;
        }
        if (deferred) {
            (*raw)[i] = words;
        } else {
            code = BitMapFromARGB(words, transparentColour, width, height, width, &(*bitmaps)[i],
                                  transparentColour == -1 ? nullptr : &(*masks)[i]);
            MemFree(words);
        }
    }
    // Delays are asked for once every frame is decoded: an IFF ANIM learns a frame's delay only
    // from the frame after it.
    for (int32_t i = 0; i < frameCount && !code; i++) (*delays)[i] = GetAnimFileDelay(file, i);
    if (code) {
        FreeFrameArrays(*bitmaps, *masks, *alphas, *raw, frameCount);
        MemFree(*delays);
        *bitmaps = nullptr;
        *masks = nullptr;
        *alphas = nullptr;
        *raw = nullptr;
        *delays = nullptr;
    }
    return code;
}

// A disk-based anim keeps the open file and its name.
static int BuildDiskAnim(AnimBuildRequest *req, AnimFile *file, const char *fileName, int32_t transparentColour)
{
    char *name = CopyText(fileName);
    AnimNode *node;
    int code = name ? AddAnimNode(&req->targetId, req->frameWidth, req->frameHeight, req->frames, 1,
                                  transparentColour, nullptr, nullptr, nullptr, nullptr, &node)
                    : ERR_NOMEM;
    if (code) {
        MemFree(name);
        return code;
    }
    node->animFile = file;
    node->fileName = name;
    return 0;
}

static int BuildFromAnimFile(AnimBuildRequest *req, AnimFile *file, int32_t transparentColour)
{
    BitMap **bitmaps;
    Mask **masks;
    AlphaChannel **alphas;
    uint32_t **raw;
    int32_t *delays;
    int32_t n = req->frames;
    int code = DecodeAnimFileFrames(file, req->frameWidth, req->frameHeight, n, RuntimeSettings.preproc,
                                    transparentColour, &bitmaps, &masks, &alphas, &raw, &delays);
    if (code) return code;
    AnimNode *node;
    code = AddAnimNode(&req->targetId, req->frameWidth, req->frameHeight, n, 0, transparentColour, bitmaps, masks,
                       alphas, raw, &node);
    if (code) {
        FreeFrameArrays(bitmaps, masks, alphas, raw, n);
        MemFree(delays);
        return code;
    }
    memcpy(node->delays, delays, sizeof(int32_t) * (size_t)n);
    MemFree(delays);
    return 0;
}

static int BuildFromPicture(AnimBuildRequest *req, int32_t transparentColour)
{
    AnimFrames f;
    int code = CutAnimFrames(req, &f);
    if (code) return code;
    // Frames still waiting for a display keep their words; the planes follow when it opens.
    if (!f.bitmaps && (code = AllocFrameArrays(f.count, &f.bitmaps, &f.masks, &f.alphas))) {
        FreeAnimFrames(&f);
        return code;
    }
    code = AddAnimNode(&req->targetId, f.width, f.height, f.count, 0, transparentColour, f.bitmaps, f.masks,
                       f.alphas, f.raw, nullptr);
    if (code) FreeAnimFrames(&f);
    return code;
}

int BuildAnimObject(AnimBuildRequest *req, AnimFile *file, const char *fileName, int32_t transparentColour)
{
    if (req->sourceKind == ANIMSRC_ANIMFILE) {
        if (req->targetKind == ANIMTARGET_DISKANIM) return BuildDiskAnim(req, file, fileName, transparentColour);
        return BuildFromAnimFile(req, file, transparentColour);
    }
    if (req->sourceKind == ANIMSRC_PICTURE) return BuildFromPicture(req, transparentColour);
    return ERR_USAGE;
}

// ---------------------------------------------------------------------------------------------
// Loading from anim files

// Every frame of the file becomes a sprite frame.
static int BuildSpriteFromAnimFile(ObjectId *id, AnimFile *af, int32_t w, int32_t h, int32_t n,
                                   int32_t transparentColour)
{
    BitMap **bitmaps;
    Mask **masks;
    AlphaChannel **alphas;
    uint32_t **raw;
    int32_t *delays;
    int deferred = RuntimeSettings.preproc;
    int code =
        DecodeAnimFileFrames(af, w, h, n, deferred, transparentColour, &bitmaps, &masks, &alphas, &raw, &delays);
    if (code) return code;
    MemFree(delays);
    if (deferred) {
        // Frames waiting for a display are only words.
        FreeFrameArrays(bitmaps, masks, alphas, nullptr, 0);
        bitmaps = nullptr;
        masks = nullptr;
        alphas = nullptr;
    }
    code = AddSpriteRecord(id, w, h, n, (uint32_t)transparentColour, bitmaps, masks, alphas, raw, 0, nullptr, nullptr);
    if (code) FreeFrameArrays(bitmaps, masks, alphas, raw, n);
    return code;
}

int LoadFromAnimFile(int targetKind, ObjectId *id, const char *file, int32_t transparentColour, int *handled)
{
    *handled = 0;
    AnimFile *af;
    int32_t w, h, n;
    int code = LoadAnimFile(file, &af, &w, &h, &n);
    if (code && code != ERR_NOMEM) return 0;
    *handled = 1;
    if (code) return code;
    if (targetKind == ANIMTARGET_SPRITE) {
        code = BuildSpriteFromAnimFile(id, af, w, h, n, transparentColour);
    } else {
        AnimBuildRequest req;
        memset(&req, 0, sizeof req);
        req.targetId = *id;
        req.sourceKind = ANIMSRC_ANIMFILE;
        req.targetKind = targetKind;
        req.frameWidth = w;
        req.frameHeight = h;
        req.frames = n;
        code = BuildAnimObject(&req, af, file, transparentColour);
        if (!code) *id = req.targetId;
        // A disk-based anim keeps the file.
        if (!code && targetKind == ANIMTARGET_DISKANIM) return 0;
    }
    FreeAnimFile(af);
    return code;
}

int LoadAnimFromFile(lua_State *L, ObjectId *id, const char *file, int t, int diskBased)
{
    return LoadAnimObject(L, diskBased ? ANIMTARGET_DISKANIM : ANIMTARGET_ANIM, id, file, t);
}

// ---------------------------------------------------------------------------------------------
// Changing the frames

// Converts the frames still held as words (frames change only in their planes).
static int ConvertPendingFrames(AnimNode *node)
{
    if (!node->rawPixels) return 0;
    for (int32_t i = 0; i < node->frameCount; i++) {
        BitMap *bm;
        Mask *mk;
        AlphaChannel *al;
        int code = FetchAnimFrame(node, i, 0, 0, &bm, &mk, &al, nullptr);
        if (code) return code;
    }
    MemFree(node->rawPixels);
    node->rawPixels = nullptr;
    return 0;
}

// A black frame of the anim's size with the planes the first frame has.
static int NewBlankFrame(const AnimNode *node, BitMap **bm, Mask **mk, AlphaChannel **al)
{
    *mk = nullptr;
    *al = nullptr;
    *bm = AllocBitMap(node->width, node->height);
    if (!*bm) return ERR_NOMEM;
    memset((*bm)->pixels, 0, (size_t)(*bm)->bytesPerRow * (size_t)node->height);
    if (node->masks[0] && !(*mk = AllocMask(*bm, node->width, node->height, 1))) return ERR_NOMEM;
    if (node->alphas[0]) {
        if (!(*al = AllocAlphaChannel(node->width, node->height, 0))) return ERR_NOMEM;
        memset((*al)->pixels, 255, (size_t)(*al)->bytesPerRow * (size_t)node->height);
    }
    return 0;
}

int ResizeAnimFrames(AnimNode *node, int32_t count, int32_t position)
{
    if (node->diskBased) return ERR_DISKBASED;
    int32_t n = node->frameCount;
    if (count == 0 || count <= -n || position < 0) return ERR_USAGE;
    int32_t removed = count < 0 ? -count : 0;
    // First affected frame, 0-based.
    int32_t first = position ? position - 1 : count > 0 ? n : n - removed;
    // Inserting: at most right behind the last frame; removing: the frames must exist.
    if (count > 0 && first > n) return ERR_USAGE;
    if (count < 0 && (int64_t)first + removed > n) return ERR_USAGE;
    // The new frames together are held to what one picture plane may be, checked in 64 bits
    // before the frame tables or any frame are allocated.
    if (count > 0 && !BitMapSizeFits(node->width, (int64_t)node->height * count)) return ERR_NOMEM;
    int code = ConvertPendingFrames(node);
    if (code) return code;
    int32_t total = n + count;
    BitMap **bitmaps;
    Mask **masks;
    AlphaChannel **alphas;
    int32_t *delays = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)total, 0);
    if (!delays) return ERR_NOMEM;
    if ((code = AllocFrameArrays(total, &bitmaps, &masks, &alphas))) {
        MemFree(delays);
        return code;
    }
    if (count > 0) {
        for (int32_t k = 0; k < count && !code; k++)
            code = NewBlankFrame(node, &bitmaps[first + k], &masks[first + k], &alphas[first + k]);
        if (code) {
            FreeFrameArrays(bitmaps, masks, alphas, nullptr, total);
            MemFree(delays);
            return code;
        }
    }
    // Old frame i goes to slot j; removed ones are freed.
    for (int32_t i = 0, j = 0; i < n; i++) {
        if (count < 0 && i >= first && i < first + removed) {
            FreeTriple(node->bitmaps[i], node->masks[i], node->alphas[i]);
            continue;
        }
        if (count > 0 && j == first) j += count;
        bitmaps[j] = node->bitmaps[i];
        masks[j] = node->masks[i];
        alphas[j] = node->alphas[i];
        delays[j] = node->delays[i];
        j++;
    }
    for (int32_t k = 0; k < count; k++) delays[first + k] = -1;
    FreeFrameArrays(node->bitmaps, node->masks, node->alphas, nullptr, 0);
    MemFree(node->delays);
    node->bitmaps = bitmaps;
    node->masks = masks;
    node->alphas = alphas;
    node->delays = delays;
    node->frameCount = total;
    return 0;
}

int ScaleAnimNode(AnimNode *node, int32_t width, int32_t height, int smooth)
{
    if (width == node->width && height == node->height) return 0;
    if (node->diskBased) {
        node->width = width;
        node->height = height;
        node->smoothScale = smooth ? 1 : 0;
        return 0;
    }
    int code = ConvertPendingFrames(node);
    if (code) return code;
    int32_t n = node->frameCount;
    BitMap **bitmaps;
    Mask **masks;
    AlphaChannel **alphas;
    if ((code = AllocFrameArrays(n, &bitmaps, &masks, &alphas))) return code;
    for (int32_t i = 0; i < n && !code; i++)
        code = ScaleBitMapTriple(node->bitmaps[i], node->masks[i], node->alphas[i], 0, 0, nullptr, node->width,
                                 node->height, width, height, smooth, &bitmaps[i], &masks[i], &alphas[i]);
    if (code) {
        FreeFrameArrays(bitmaps, masks, alphas, nullptr, n);
        return code;
    }
    FreeFrameArrays(node->bitmaps, node->masks, node->alphas, nullptr, n);
    node->bitmaps = bitmaps;
    node->masks = masks;
    node->alphas = alphas;
    node->width = node->storedWidth = width;
    node->height = node->storedHeight = height;
    return 0;
}

int BuildSpriteFromAnim(ObjectId *target, ObjectId anim)
{
    AnimNode *node;
    int code = FindAnim(anim, &node, 0);
    if (code) return code;
    int32_t n = node->frameCount;
    BitMap **bitmaps;
    Mask **masks;
    AlphaChannel **alphas;
    if ((code = AllocFrameArrays(n, &bitmaps, &masks, &alphas))) return code;
    for (int32_t i = 0; i < n && !code; i++) {
        int owned;
        code = FetchAnimFrame(node, i, 1, 0, &bitmaps[i], &masks[i], &alphas[i], &owned);
    }
    uint32_t transparent = (uint32_t)node->transparentColour;
    if (!code)
        code = AddSpriteRecord(target, node->width, node->height, n, transparent, bitmaps, masks, alphas, nullptr, 0,
                               nullptr, nullptr);
    if (code) FreeFrameArrays(bitmaps, masks, alphas, nullptr, n);
    return code;
}

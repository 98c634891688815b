// Building multi-frame objects: frames cut from a picture or brush on a grid (or the picture as
// one frame), and sprites linked from the frames of other sprites.
#include "pictures/anim_build.h"

#include <cstring>

#include "display/sprite.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "runtime/memory.h"

void FreeAnimFrames(AnimFrames *f)
{
    FreeSpriteFrames(f->count, f->bitmaps, f->masks, f->alphas, f->raw);
    memset(f, 0, sizeof *f);
}

// The ARGB words of a rectangle of the raw source, the alpha byte from the alpha channel.
static uint32_t *CutRawFrame(const AnimBuildRequest *req, int32_t fx, int32_t fy, int32_t w, int32_t h)
{
    uint32_t *words = (uint32_t *)MemAlloc((size_t)w * h * 4, 0);
    if (!words) return nullptr;
    for (int32_t j = 0; j < h; j++) {
        const uint32_t *row = req->rawPixels + (size_t)(fy + j) * req->sourceWidth + fx;
        uint32_t *out = words + (size_t)j * w;
        if (!req->alpha) {
            memcpy(out, row, (size_t)w * 4);
            continue;
        }
        const uint8_t *a = req->alpha->pixels + (size_t)(fy + j) * req->alpha->bytesPerRow + fx;
        for (int32_t i = 0; i < w; i++) out[i] = (row[i] & 0xFFFFFF) | (uint32_t)a[i] << 24;
    }
    return words;
}

// A single frame made of the source's own images.
static void TakeSourceImages(AnimBuildRequest *req, AnimFrames *f)
{
    if (req->rawPixels) {
        uint32_t *words = req->rawPixels;
        int32_t w = req->sourceWidth;
        if (req->alpha)
            for (int32_t j = 0; j < req->sourceHeight; j++)
                for (int32_t i = 0; i < w; i++)
                    words[(size_t)j * w + i] = (words[(size_t)j * w + i] & 0xFFFFFF) |
                                               (uint32_t)req->alpha->pixels[(size_t)j * req->alpha->bytesPerRow + i] << 24;
        f->raw[0] = words;
        FreeAlphaChannel(req->alpha);
    } else {
        f->bitmaps[0] = req->bitmap;
        f->masks[0] = req->mask;
        f->alphas[0] = req->alpha;
    }
    req->rawPixels = nullptr;
    req->bitmap = nullptr;
    req->mask = nullptr;
    req->alpha = nullptr;
}

int CutAnimFrames(AnimBuildRequest *req, AnimFrames *out)
{
    memset(out, 0, sizeof *out);
    int32_t n = 1, w = req->sourceWidth, h = req->sourceHeight, fpr = 1, x = 0, y = 0;
    if (req->grid) {
        n = req->frames;
        w = req->frameWidth;
        h = req->frameHeight;
        if (n < 1 || w < 1 || h < 1) return 1055;
        fpr = req->framesPerRow < 1 ? n : req->framesPerRow;
        int64_t rows = (n + (int64_t)fpr - 1) / fpr;
        x = req->x;
        y = req->y;
        if (x < 0 || y < 0) return 1154;
        if (x + (int64_t)w * fpr > req->sourceWidth || y + rows * h > req->sourceHeight) return 1156;
    }
    if (w < 1 || h < 1) return 1055;
    AnimFrames f;
    memset(&f, 0, sizeof f);
    f.width = w;
    f.height = h;
    if (req->rawPixels) {
        f.raw = (uint32_t **)MemAlloc(sizeof(uint32_t *) * (size_t)n, 1);
        if (!f.raw) return 1000;
    } else {
        f.bitmaps = (BitMap **)MemAlloc(sizeof(BitMap *) * (size_t)n, 1);
        f.masks = (Mask **)MemAlloc(sizeof(Mask *) * (size_t)n, 1);
        f.alphas = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *) * (size_t)n, 1);
        if (!f.bitmaps || !f.masks || !f.alphas) {
            FreeAnimFrames(&f);
            return 1000;
        }
    }
    f.count = n;
    if (!req->grid && req->takeImages) {
        TakeSourceImages(req, &f);
        *out = f;
        return 0;
    }
    for (int32_t k = 0; k < n; k++) {
        int32_t fx = x + (k % fpr) * w, fy = y + (k / fpr) * h;
        int code = 0;
        if (req->rawPixels) {
            if (!(f.raw[k] = CutRawFrame(req, fx, fy, w, h))) code = 1000;
        } else {
            code = CutBitMapRegion(req->bitmap, req->mask, req->alpha, fx, fy, w, h, &f.bitmaps[k], &f.masks[k],
                                   &f.alphas[k]);
        }
        if (code) {
            FreeAnimFrames(&f);
            return code;
        }
    }
    *out = f;
    return 0;
}

// A linked sprite: the frames of the sources one after the other.
static int BuildSpriteLink(AnimBuildRequest *req)
{
    int32_t n = req->spriteCount;
    if (n < 1) return 1055;
    SpriteNode **sources = (SpriteNode **)MemAlloc(sizeof(SpriteNode *) * (size_t)(n + 1), 1);
    if (!sources) return 1000;
    int32_t frames = 0;
    int code = 0;
    for (int32_t i = 0; i < n && !code; i++) {
        code = GetSprite(req->sprites[i], &sources[i], 0);
        if (code) break;
        if (sources[i]->sources) code = 1381;
        else if (sources[i]->width != sources[0]->width || sources[i]->height != sources[0]->height) code = 1382;
        frames += sources[i]->frameCount;
    }
    if (!code)
        code = AddSpriteRecord(&req->targetId, sources[0]->width, sources[0]->height, frames,
                               sources[0]->transparentColor, nullptr, nullptr, nullptr, nullptr, 0, sources, nullptr);
    if (code) MemFree(sources);
    return code;
}

static int BuildSpriteFrames(AnimBuildRequest *req)
{
    int pendingAlpha = req->rawPixels && req->alpha;
    AnimFrames f;
    int code = CutAnimFrames(req, &f);
    if (code) return code;
    code = AddSpriteRecord(&req->targetId, f.width, f.height, f.count, req->transparentColor, f.bitmaps, f.masks,
                           f.alphas, f.raw, pendingAlpha, nullptr, nullptr);
    if (code) FreeAnimFrames(&f);
    return code;
}

int BuildAnim(lua_State *L, AnimBuildRequest *req)
{
    // Anims (the anim and text-object sources of sprites come with their libraries).
    if (req->targetKind != ANIMTARGET_SPRITE)
        return BuildAnimObject(req, nullptr, nullptr, (int32_t)req->transparentColor);
    switch (req->sourceKind) {
    case ANIMSRC_SPRITES: return BuildSpriteLink(req);
    case ANIMSRC_PICTURE: return BuildSpriteFrames(req);
    default: return 1055;
    }
}

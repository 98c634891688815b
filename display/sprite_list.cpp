// The sprite list: adding, looking up and freeing sprites, their frame images, and building the
// images of sprites that were loaded before a display existed.
#include "display/sprite.h"

#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

SpriteNode *SpriteList = nullptr;

static int ConvertOneSprite(SpriteNode *s);

int GetSprite(ObjectId id, SpriteNode **out, int flags)
{
    SpriteNode *found = nullptr;
    for (SpriteNode *s = SpriteList; s; s = s->next) {
        if (s->beingFreed && !(flags & GETSPRITE_FREED)) continue;
        if (ObjectIdMatches(s->id, id)) {
            found = s;
            break;
        }
    }
    if (!found) {
        if (id.handle) return 1041;
        SetErrorNumber((long)id.number);
        return 1219;
    }
    // A sprite loaded while the declared objects were made gets its images at first use when
    // nobody built them yet.
    if (found->pendingFrames && !RuntimeSettings.preproc) {
        int code = ConvertOneSprite(found);
        if (code) return code;
    }
    if ((flags & GETSPRITE_FORCHANGE) && found->locked) return 1314;
    *out = found;
    return 0;
}

int GetSpriteFrame(const SpriteNode *s, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha)
{
    if (frame < 0) return 0;
    if (s->sources) {
        for (SpriteNode **src = s->sources; *src; src++) {
            if (frame < (*src)->frameCount) return GetSpriteFrame(*src, frame, bitmap, mask, alpha);
            frame -= (*src)->frameCount;
        }
        return 0;
    }
    if (frame >= s->frameCount || !s->bitmaps) return 0;
    *bitmap = s->bitmaps[frame];
    *mask = s->masks ? s->masks[frame] : nullptr;
    *alpha = s->alphas ? s->alphas[frame] : nullptr;
    return 1;
}

int AddSpriteRecord(ObjectId *id, int32_t width, int32_t height, int32_t frameCount, uint32_t transparentColor,
                    BitMap **bitmaps, Mask **masks, AlphaChannel **alphas, uint32_t **pendingFrames,
                    int32_t pendingAlpha, SpriteNode **sources, SpriteNode **out)
{
    SpriteNode *s = (SpriteNode *)MemAlloc(sizeof(SpriteNode), 1);
    if (!s) return 1000;
    s->id = *id;
    if (id->handle) s->id.handle = id->handle = s;
    s->width = width;
    s->height = height;
    s->frameCount = frameCount;
    s->transparentColor = transparentColor;
    s->bitmaps = bitmaps;
    s->masks = masks;
    s->alphas = alphas;
    s->pendingFrames = pendingFrames;
    s->pendingAlpha = pendingAlpha;
    s->sources = sources;
    SpriteNode **link = &SpriteList;
    while (*link) link = &(*link)->next;
    *link = s;
    if (out) *out = s;
    return 0;
}

int CountSprites(void)
{
    int n = 0;
    for (SpriteNode *s = SpriteList; s; s = s->next) n++;
    return n;
}

void FreeSpriteFrames(int32_t count, BitMap **bitmaps, Mask **masks, AlphaChannel **alphas, uint32_t **pending)
{
    for (int32_t i = 0; i < count; i++) {
        if (bitmaps) FreeBitMap(bitmaps[i]);
        if (masks) FreeMask(masks[i]);
        if (alphas) FreeAlphaChannel(alphas[i]);
        if (pending) MemFree(pending[i]);
    }
    MemFree(bitmaps);
    MemFree(masks);
    MemFree(alphas);
    MemFree(pending);
}

static int HasSource(const SpriteNode *link, const SpriteNode *sprite)
{
    if (!link->sources) return 0;
    for (SpriteNode **src = link->sources; *src; src++)
        if (*src == sprite) return 1;
    return 0;
}

int IsSpriteSource(const SpriteNode *sprite)
{
    for (SpriteNode *s = SpriteList; s; s = s->next)
        if (HasSource(s, sprite)) return 1;
    return 0;
}

static void Unlink(SpriteNode *sprite)
{
    for (SpriteNode **link = &SpriteList; *link; link = &(*link)->next) {
        if (*link == sprite) {
            *link = sprite->next;
            return;
        }
    }
}

void FreeSpriteRec(lua_State *L, SpriteNode *sprite)
{
    Unlink(sprite);
    RemoveSpriteEverywhere(sprite);
    if (sprite->sources) {
        MemFree(sprite->sources);
        MemFree(sprite);
        return;
    }
    // Links made from this sprite would point at freed frames: they go first.
    for (;;) {
        SpriteNode *link = SpriteList;
        while (link && !HasSource(link, sprite)) link = link->next;
        if (!link) break;
        FreeSpriteRec(L, link);
    }
    FreeSpriteFrames(sprite->frameCount, sprite->bitmaps, sprite->masks, sprite->alphas, sprite->pendingFrames);
    MemFree(sprite);
}

int FreeSpriteIfUnlocked(lua_State *L, ObjectId id, int report)
{
    SpriteNode *s;
    int code = GetSprite(id, &s, 0);
    if (code) return report ? code : 0;
    if (s->locked) return 1314;
    FreeSpriteRec(L, s);
    return 0;
}

void FreeAllSprites(lua_State *L)
{
    // Links first, so that no source is freed under a link.
    for (int pass = 0; pass < 2; pass++) {
        SpriteNode **link = &SpriteList;
        while (*link) {
            SpriteNode *s = *link;
            if ((pass == 0) != (s->sources != nullptr)) {
                link = &s->next;
                continue;
            }
            *link = s->next;
            MemFree(s->sources);
            FreeSpriteFrames(s->frameCount, s->bitmaps, s->masks, s->alphas, s->pendingFrames);
            MemFree(s);
        }
    }
}

// Bitmap and mask (key colour) or alpha channel (alpha byte) of each ARGB frame.
static int ConvertOneSprite(SpriteNode *s)
{
    int32_t n = s->frameCount, w = s->width, h = s->height;
    BitMap **bitmaps = (BitMap **)MemAlloc(sizeof(BitMap *) * (size_t)n, 1);
    Mask **masks = (Mask **)MemAlloc(sizeof(Mask *) * (size_t)n, 1);
    AlphaChannel **alphas = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *) * (size_t)n, 1);
    if (!bitmaps || !masks || !alphas) {
        FreeSpriteFrames(0, bitmaps, masks, alphas, nullptr);
        return 1000;
    }
    int32_t key = s->pendingAlpha ? -1 : (int32_t)s->transparentColor;
    for (int32_t i = 0; i < n; i++) {
        const uint32_t *words = s->pendingFrames[i];
        if (BitMapFromARGB(words, key, w, h, w, &bitmaps[i], key == -1 ? nullptr : &masks[i])) goto fail;
        if (!s->pendingAlpha) continue;
        alphas[i] = AllocAlphaChannel(w, h, 0);
        if (!alphas[i]) goto fail;
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++)
                alphas[i]->pixels[y * alphas[i]->bytesPerRow + x] = (uint8_t)(words[y * w + x] >> 24);
    }
    FreeSpriteFrames(n, nullptr, nullptr, nullptr, s->pendingFrames);
    s->pendingFrames = nullptr;
    s->bitmaps = bitmaps;
    s->masks = masks;
    s->alphas = alphas;
    return 0;
fail:
    FreeSpriteFrames(n, bitmaps, masks, alphas, nullptr);
    return 1000;
}

int ConvertSpriteFrames(void)
{
    for (SpriteNode *s = SpriteList; s; s = s->next) {
        if (!s->pendingFrames) continue;
        int code = ConvertOneSprite(s);
        if (code) return code;
    }
    return 0;
}

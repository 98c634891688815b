// Sprites: multi-frame images shown on top of a BGPic without touching it. The sprite library
// keeps the sprites (their frame images) in one list; every BGPic keeps the instances of the
// sprites shown on it, drawn in list order after its background and layers.
//
// A linked sprite has no frames of its own: its frames are those of its source sprites, one
// source after the other.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"

struct lua_State;
struct BGPicNode;
struct ClipRegionNode;
struct DisplayRecord;
struct PointerNode;

struct SpriteNode {
    SpriteNode *next;
    ObjectId id;                   // an automatic id has number 0 and the node's address as handle
    int32_t width, height;
    int32_t frameCount;
    int32_t locked;                // non-zero while something holds the sprite
    int32_t beingFreed;            // lookups skip it
    SpriteNode **sources;          // linked sprites: NULL-terminated source array; else none
    uint32_t transparentColor;     // 0xFFFFFFFF for none
    BitMap **bitmaps;              // frameCount entries each (none for a linked sprite)
    Mask **masks;                  // entries may be none
    AlphaChannel **alphas;
    uint32_t **pendingFrames;      // ARGB words kept until the first display opens; else none
    int32_t pendingAlpha;          // the pending words carry an alpha byte (else a key colour)
};

struct SpriteInstance {
    SpriteInstance *next;
    ObjectId id;                   // the sprite's
    int32_t x, y, width, height;
    int32_t frame;                 // 1-based
    SpriteNode *sprite;
    ClipRegionNode *clipRegion;    // the picture's active region when first shown, or none
};

extern SpriteNode *SpriteList;

// ---------------------------------------------------------------------------------------------
// The list (sprite_list.cpp)

enum {
    GETSPRITE_FORCHANGE = 1,   // a locked sprite gives 1314
    GETSPRITE_FREED = 2        // also sprites being freed
};
// 0 and the sprite, or 1219 (number; error number set) / 1041 (handle) / 1314.
int GetSprite(ObjectId id, SpriteNode **out, int flags);
// The frame images (0-based frame; a linked sprite takes them from the source the frame falls
// in). 1, or 0 with nothing stored when the frame does not exist.
int GetSpriteFrame(const SpriteNode *sprite, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha);
// Appends a sprite that takes over the arrays given (frames: bitmaps, masks, alphas or pending
// ARGB blocks; a linked sprite: the sources). A non-zero handle in *id is replaced by the node's
// address. 0 and *out (may be none), or 1000 with nothing taken.
int AddSpriteRecord(ObjectId *id, int32_t width, int32_t height, int32_t frameCount, uint32_t transparentColor,
                    BitMap **bitmaps, Mask **masks, AlphaChannel **alphas, uint32_t **pendingFrames,
                    int32_t pendingAlpha, SpriteNode **sources, SpriteNode **out);
int CountSprites(void);
// Frees a sprite's frame arrays and everything in them.
void FreeSpriteFrames(int32_t count, BitMap **bitmaps, Mask **masks, AlphaChannel **alphas, uint32_t **pending);
// Whether a linked sprite has the sprite among its sources.
int IsSpriteSource(const SpriteNode *sprite);
// Unlinks and frees a sprite: its instances on every BGPic go (their rectangles refreshed), and a
// sprite with frames first frees every linked sprite made from it.
void FreeSpriteRec(lua_State *L, SpriteNode *sprite);
// FreeSprite's body: 1219/1041 when missing (0 without report), 1314 when locked.
int FreeSpriteIfUnlocked(lua_State *L, ObjectId id, int report);
// Builds the frame images of every sprite that still holds ARGB frames. 0 or 1000.
int ConvertSpriteFrames(void);

// ---------------------------------------------------------------------------------------------
// Sprites on pictures (sprite_show.cpp)

// Shows or moves the sprite on the current picture (frame 0: the next frame). 0 or an error.
int ShowSpriteAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t frame);
// 0 and the sprite's instance on the current picture, 1220 (number) / 1325 (handle).
int GetOnScreenSprite(ObjectId id, SpriteInstance **out);
// The instance of the sprite on a BGPic, or none.
SpriteInstance *FindSpriteInstance(const BGPicNode *bgpic, const SpriteNode *sprite);
// Unlinks the sprite's instance from the current picture and refreshes its rectangle.
int RemoveSpriteInstance(SpriteInstance *instance);
// Removes every instance of the sprite from every BGPic, refreshing each shown rectangle.
void RemoveSpriteEverywhere(const SpriteNode *sprite);
// Whether the sprite is shown on any BGPic.
int IsSpriteShown(const SpriteNode *sprite);
// Removes every instance of the current picture. keep: the sprites stay in the picture.
int RemoveAllSprites(int keep);
// Draws the BGPic's instances that overlap the rectangle into dst (Redraw's last step).
void DrawSpriteInstances(BGPicNode *bgpic, BitMap *dst, int32_t x, int32_t y, int32_t width, int32_t height);
// Clears the region from the sprite instances of every BGPic that use it (the region is being
// freed) and refreshes their rectangles. 0, or -1 when no instance used it.
int ReleaseSpriteClipRegion(const ClipRegionNode *region);
// Recomposes and shows a rectangle of the display's shown picture (background and sprites).
void RefreshSpriteRect(DisplayRecord *display, int32_t x, int32_t y, int32_t width, int32_t height);
// The output checks of the sprite display commands (1229, 1339, 1082, 1056, 1147, 1167, 1162).
int CheckSpriteOutput(void);

// ---------------------------------------------------------------------------------------------
// The library (sprite_lib.cpp, sprite_pointer.cpp)

// CreatePointer's #SPRITE source: sprite id (argument 3), frame (4, default 1), hot spot (5, 6).
// 0, a lookup error, 1094, 1321 or 1000.
int CursorFromSprite(lua_State *L, PointerNode *pointer);
// GetAttribute's answers for #SPRITE.
int SpriteAttribute(lua_State *L, int attribute);

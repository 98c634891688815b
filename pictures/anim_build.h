// The builder of multi-frame objects: a picture or brush cut into a grid of frames (or taken as
// one frame), or frames joined from sprites, stored as a new sprite. LoadAnimObject loads such
// an object from a file. The anim library adds its targets and sources to the same request.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"

struct lua_State;

// Source kinds and target kinds (object type numbers).
enum { ANIMSRC_PICTURE = 3, ANIMSRC_ANIMFILE = 4, ANIMSRC_TEXTOBJECT = 8, ANIMSRC_SPRITES = 32 };
enum { ANIMTARGET_ANIM = 4, ANIMTARGET_DISKANIM = 20, ANIMTARGET_SPRITE = 32 };

struct AnimBuildRequest {
    ObjectId targetId;             // a non-zero handle asks for an automatic id; the new id on return
    int32_t sourceKind, targetKind;
    int32_t frameWidth, frameHeight, frames, framesPerRow, x, y;
    int32_t grid;                  // cut the picture into frames (else it is one frame)
    uint32_t transparentColor;     // 0xFFFFFFFF for none
    // A picture source: its images, or (conversion deferred until a display exists) its ARGB
    // words with the alpha channel, if any. With takeImages a single frame takes the images
    // themselves (the pointers are cleared then); otherwise they are copied.
    int32_t sourceWidth, sourceHeight;
    BitMap *bitmap;
    Mask *mask;
    AlphaChannel *alpha;
    uint32_t *rawPixels;
    int32_t takeImages;
    // A sprite source: the sprites whose frames are joined.
    const ObjectId *sprites;
    int32_t spriteCount;
};

// The frames cut from a picture source: arrays of `count` entries each (the raw array only when
// conversion is deferred, the others otherwise).
struct AnimFrames {
    int32_t count, width, height;
    BitMap **bitmaps;
    Mask **masks;
    AlphaChannel **alphas;
    uint32_t **raw;                // ARGB words, the alpha byte from the source's alpha channel
};

// Cuts the frames of a picture source. 0, 1055, 1154, 1156 or 1000 (nothing made).
int CutAnimFrames(AnimBuildRequest *req, AnimFrames *out);
void FreeAnimFrames(AnimFrames *frames);
// Builds the object the request names. 0 (req->targetId holds the new id) or an error code.
int BuildAnim(lua_State *L, AnimBuildRequest *req);
// Loads an object of the target kind from a file (the body of LoadSprite): options from the
// table at index t (or, when it is a number, the transparent colour; 0: none). *id: a non-zero
// handle asks for an automatic id; the new id on return. 0 or an error code.
int LoadAnimObject(lua_State *L, int targetKind, ObjectId *id, const char *file, int t);

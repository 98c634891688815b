// Anims: numbered sequences of equally sized frames, each a picture triple. An anim is held in
// memory (every frame decoded and kept) or disk-based (only the open anim file is kept and each
// frame is decoded when it is needed). The anims live in one list in creation order.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"

struct lua_State;
struct AnimFile;
struct kvLayer;
struct LayerOptions;
struct TransformRecord;

struct AnimNode {
    AnimNode *next;
    ObjectId id;                   // an automatic id has number 0 and the node's address as handle
    int32_t width, height;         // size at which frames are shown and returned
    int32_t frameCount;            // at least 1
    uint32_t diskBased;
    int32_t storedWidth, storedHeight;   // size of the stored (or file) frames
    uint32_t smoothScale;          // disk-based frames scaled to width x height smoothly
    int32_t lockCount;             // running plays; non-zero means locked
    uint32_t isPrivate;            // a copy kept for layers, or freed while layers showed it
    int32_t transparentColour;     // 0xRRGGBB turned into the mask, -1 none
    AnimFile *animFile;            // disk-based anims only
    BitMap **bitmaps;              // in-memory anims: frameCount entries each
    Mask **masks;
    AlphaChannel **alphas;
    uint32_t **rawPixels;          // ARGB words of frames not converted yet (no display yet)
    char *fileName;                // disk-based anims: to reopen the file for a copy
    int32_t *delays;               // milliseconds, -1 not set; frameCount entries
};

extern AnimNode *AnimList;

// Flags of FindAnim.
enum {
    FINDANIM_FORCHANGE = 1,   // locked gives 1314; layers showing the anim get a private copy
    FINDANIM_PRIVATE = 2,     // private nodes are found too
    FINDANIM_NOCOPY = 4       // with FINDANIM_FORCHANGE: no private copy for the layers
};

// ---------------------------------------------------------------------------------------------
// The store (anim_objects.cpp)

// 0 and the node, 1041 (handle) or 1176 (number; error number set), 1314 (locked, for change).
int FindAnim(ObjectId id, AnimNode **out, int flags);
// Appends a cleared node holding the arrays given (taken over on success). A non-zero handle in
// *id is replaced by the node's address. The delays are all -1. 0 and *out (may be none) or 1000
// with nothing taken.
int AddAnimNode(ObjectId *id, int32_t width, int32_t height, int32_t frameCount, uint32_t diskBased,
                int32_t transparentColour, BitMap **bitmaps, Mask **masks, AlphaChannel **alphas,
                uint32_t **rawPixels, AnimNode **out);
// The triple of frame index (0-based). In memory: the stored planes (copy = 0; the caller must
// not free them) or new copies (copy = 1). Disk-based: always new planes decoded from the file,
// scaled to width x height unless unscaled. *owned (may be none) tells whether the caller frees
// them. 0, 1094, 1270, 1000.
int FetchAnimFrame(AnimNode *node, int32_t index, int copy, int unscaled, BitMap **bitmap, Mask **mask,
                   AlphaChannel **alpha, int *owned);
// Milliseconds: the delays entry when set; else a disk-based anim's file delay; else 0.
int32_t AnimFrameDelay(const AnimNode *node, int32_t index);
// Appends a copy (a disk-based source reopens its file). 0 and *out (may be none) or an error.
int CopyAnimNode(const AnimNode *source, ObjectId *newId, AnimNode **out);
// FreeAnim's body: 1340 while a selection draws into it, lookup errors only with report, 1314.
int FreeAnimObject(lua_State *L, ObjectId id, int report);
// Frees everything a node owns but the node.
void FreeAnimFrames(AnimNode *node);
// Frees the non-null entries and the arrays (any array may be none).
void FreeFrameArrays(BitMap **bitmaps, Mask **masks, AlphaChannel **alphas, uint32_t **rawPixels, int32_t count);
// Frees every private node no layer shows any more.
void PurgeAnimNodes(void);
// Converts the pending ARGB frames of every anim into bitmaps (the first display opened).
int BuildPendingAnimBitmaps(void);
int CountAnims(void);
// Frees every node, locked and private ones included (shutdown).
void FreeAllAnimNodes(void);
// Whether the current display draws into a frame of the anim (SelectAnim or a plane selection).
int IsAnimOutputTarget(const AnimNode *node);
// The frame-count-sized arrays of an in-memory anim: 0 or 1000 (nothing made).
int AllocFrameArrays(int32_t count, BitMap ***bitmaps, Mask ***masks, AlphaChannel ***alphas);

// ---------------------------------------------------------------------------------------------
// Building and changing (anim_create.cpp)

struct AnimBuildRequest;
// Builds an anim (target kind anim or disk-based anim) from a picture (grid or one frame) or an
// anim file. 0 (req->targetId holds the new id) or an error code.
int BuildAnimObject(AnimBuildRequest *req, AnimFile *file, const char *fileName, int32_t transparentColour);
// Every frame of an open anim file as ARGB words (conversion deferred) or converted triples with
// the transparent colour's mask; the delays come from the file. 0, 1270 or 1000 (nothing made).
int DecodeAnimFileFrames(AnimFile *file, int32_t width, int32_t height, int32_t frameCount, int deferred,
                         int32_t transparentColour, BitMap ***bitmaps, Mask ***masks, AlphaChannel ***alphas,
                         uint32_t ***raw, int32_t **delays);
// LoadAnim's body (LoadAnimObject with an anim target): options from the table at index t (or,
// when it is a number, the transparent colour). *id: a non-zero handle asks for an automatic
// id. 0 or an error code.
int LoadAnimFromFile(lua_State *L, ObjectId *id, const char *file, int t, int diskBased);
// The anim-file source of LoadAnimObject: when the file opens as an anim file (else *handled
// stays 0 and the still-picture loader goes on), an anim, disk-based anim or sprite (target
// kind) of all its frames. 0 or an error code.
int LoadFromAnimFile(int targetKind, ObjectId *id, const char *file, int32_t transparentColour, int *handled);
// CreateSprite's anim source: a sprite of copies of every frame of the anim. 0 or an error code.
int BuildSpriteFromAnim(ObjectId *target, ObjectId anim);
// Inserts (count > 0) or removes (count < 0) frames at position (1-based; 0 = the end).
// 1338, 1055, 1000.
int ResizeAnimFrames(AnimNode *node, int32_t count, int32_t position);
// Scales every frame of an in-memory anim (a disk-based one only stores the size). 0 or 1000.
int ScaleAnimNode(AnimNode *node, int32_t width, int32_t height, int smooth);

// ---------------------------------------------------------------------------------------------
// Anim layers (anim_layers.cpp)

// Adds a layer of type #ANIM on the current picture showing a copy of frame (0-based) at x, y.
// 0 and *out (may be none), or an error code.
int AddAnimLayer(ObjectId id, int32_t x, int32_t y, int32_t width, int32_t height, const TransformRecord *transform,
                 const LayerOptions *options, int32_t frame, kvLayer **out);
// Shows another frame (0-based) in an anim layer and redraws it. 0 or an error code.
int SetAnimLayerFrame(kvLayer *layer, int32_t frame);
// The topmost layer of the current picture showing the anim, or none.
kvLayer *FindTopAnimLayer(ObjectId id);

// ---------------------------------------------------------------------------------------------
// Playing (anim_play.cpp)

// Plays an anim at (x, y): speed in the anim speed constants or n x 20 ms, times rounds (0 for
// ever); with async the play becomes an #ADF_ANIM asynchronous drawing object whose handle goes
// to *asyncHandle. optionIndex: the option table (transform options) or 0. 0 or an error code.
int PlayAnimObject(lua_State *L, AnimNode *node, int32_t x, int32_t y, int32_t speed, int32_t times, int async,
                   int optionIndex, void **asyncHandle);
// The milliseconds between frames of a speed argument: -2 0, -1 60, -3 160, other negatives 0,
// n >= 0 n x 20; -4 (each frame's own delay) stays -4.
int32_t AnimSpeedToDelay(int32_t speed);

// ---------------------------------------------------------------------------------------------
// The library (anim_lib.cpp, anim_save.cpp)

int OpenAnimLib(lua_State *L);
void FreeAllAnims(lua_State *L);
// DisplayAnimAt: one frame (0-based) through DisplayObject without an option table.
int DisplayAnimAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t frame);
int AnimSaveAnim(lua_State *L);
int AnimBeginAnimStream(lua_State *L);
int AnimWriteAnimFrame(lua_State *L);
int AnimFinishAnimStream(lua_State *L);
// The frame (1-based) that SelectAnim makes the drawing target: the node and its stored planes.
// 0, the lookup errors, 1314, 1338 (disk-based), 1094.
int SelectAnimFrame(ObjectId id, int32_t frame, void **node, BitMap **bitmap, Mask **mask, AlphaChannel **alpha,
                    int32_t *width, int32_t *height);
// GetAttribute's answers for #ANIM.
int AnimAttribute(lua_State *L, int attribute);

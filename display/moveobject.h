// Moving objects: a brush, anim, text object, layer or sprite carried from a start point to an
// end point, straight or along a path style, one step per frame. A move runs inside its command
// (paced by the display refresh), as an asynchronous drawing object the script advances, or
// embedded in a transition, which steps it itself.
//
// The path arithmetic (moveobject_path.cpp) is a pure function of the context: MoveSetupPath
// fills the steps from the start, the end, the speed and the style, and MoveAdvance moves the
// position by one step. Drawing and frame stepping live in moveobject.cpp.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "platform/os.h"
#include "runtime/handler_support.h"

struct lua_State;
struct kvLayer;

// Path styles (#BOUNCE ...); 0 and anything above 7 is the straight move.
enum {
    MOVESTYLE_STRAIGHT = 0, MOVESTYLE_BOUNCE = 1, MOVESTYLE_SMOOTHOUT = 2, MOVESTYLE_DAMPED = 3,
    MOVESTYLE_SINE = 4, MOVESTYLE_BIGSINE = 5, MOVESTYLE_LOWERCURVE = 6, MOVESTYLE_UPPERCURVE = 7
};

// Phases: 0 travelling, 1..6 the bounces, 7..8 the damped swing, 9 sine settling.
enum { MOVEPHASE_TRAVEL = 0, MOVEPHASE_SINESETTLE = 9 };

// Kinds of moved objects.
enum { MOVEKIND_BRUSH = 3, MOVEKIND_ANIM = 4, MOVEKIND_TEXTOBJECT = 8, MOVEKIND_LAYER = 22, MOVEKIND_SPRITE = 32 };

enum { MOVE_SINE_ENTRIES = 79 };
// Speed and animspeed constants of the graphics library.
enum { MOVESPEED_NORMAL = -1, MOVESPEED_FAST = -2, MOVESPEED_SLOW = -3, MOVESPEED_DEFAULT = -4 };
// The position stand-in of MoveLayer for a coordinate of the layer's own.
enum { MOVE_USELAYERPOSITION = 100000 };

struct MoveContext {
    lua_State *state;
    BitMap *bitmap;                 // the object's current image triple (anim: current frame)
    Mask *mask;
    AlphaChannel *alpha;
    BitMap *composition;            // layers off: background and object composed here
    BitMap *background;             // layers off: the picture as it was when the move began
    int32_t kind;                   // MOVEKIND_*
    ObjectId object;                // a layer: its 1-based position
    int32_t style;
    int32_t x, y;
    int32_t endX, endY;
    int32_t previousX, previousY;
    int32_t width, height;
    int32_t xStep, yStep;
    int32_t baseSpeed;              // the bounce distances
    int32_t frameDelay;             // ms between frames; MOVESPEED_DEFAULT: each anim frame's own
    int32_t phase;
    int64_t xZone, yZone;           // SMOOTHOUT slow-down distances
    int32_t xDecrement, yDecrement;
    int32_t frame, frameCount;
    int32_t direction;              // 0 up, 1 up-right ... 7 up-left, clockwise
    int32_t sineStep;
    int32_t sineIndex;              // sine styles: table index; curves: distance travelled
    int32_t remainder, remainderUsed;
    union {
        double curveFactor;
        double sineTable[MOVE_SINE_ENTRIES];
    };
    void *anim;
    kvLayer *layer;
    int32_t layerIndex;
    int32_t async;
    int32_t embedded;               // a transition owns the context and skips the output checks
    int32_t diskAnim;
    OsTimeVal frameTimer;
    int32_t extraBlitFlags;
    int (*step)(MoveContext *ctx, int32_t *finished);
    void (*free)(MoveContext *ctx);
    uint32_t *lockCounter;
    uint32_t **spriteLocks;         // NULL-terminated
    int32_t rearm;
    int32_t finished;
};

// ---------------------------------------------------------------------------------------------
// Path arithmetic (moveobject_path.cpp): no drawing, no globals.

// Direction of travel from the signs of the two differences.
int32_t MoveDirection(int64_t dx, int64_t dy);
// Fills direction, steps, remainder, sine table or curve factor and the SMOOTHOUT figures from
// x, y, endX, endY, width, height and style for a resolved speed (at least 1). amplitude is the
// height of the sine path. Start and end must differ.
void MoveSetupPath(MoveContext *ctx, int32_t speed, double amplitude);
// Moves x, y by one step and changes phase; sets *finished on arrival.
void MoveAdvance(MoveContext *ctx, int32_t *finished);
// Steps a copy of the context until it arrives (at most `limit` steps): the number of steps.
int64_t MoveCountSteps(const MoveContext *ctx, int64_t limit);
// The resolved speed of a speed argument (-1 10, -2 15, -3 5), or 0 when it is not allowed.
int32_t MoveResolveSpeed(int32_t speed);
// The frame delay of an animspeed argument in milliseconds (-4 stays -4 for anims).
int32_t MoveFrameDelay(int32_t animSpeed, int32_t kind);

// ---------------------------------------------------------------------------------------------
// Running moves (moveobject.cpp)

// Set-up and driver of a move of a fresh context (MemAlloc'd, taken over: freed on every road
// unless embedded). layerName: MoveLayer by name, else none. Synchronous moves run to the end;
// asynchronous ones push their handle and set *results to 1. 0 or an error code.
int MoveObject(lua_State *L, MoveContext *ctx, int32_t speed, int32_t animSpeed, const char *layerName, int *results);
// One step: position, drawing, frames. 0 or an error code; *finished on arrival.
int MoveObjectStep(MoveContext *ctx, int32_t *finished);
// Lets go of the object's locks and the buffers; frees the context unless embedded.
void FreeMoveContext(MoveContext *ctx);
// Composition and background buffers at the current picture's size, the background copied from
// the display's picture. 0 or 1000.
int GrabMoveBackground(MoveContext *ctx);
// The asynchronous object's control callback: operation 0 follows a replaced layer, operation 6
// names the moved layer; the answer is always 0.
intptr_t MoveObjectHook(int op, void *argument, void *userdata);
// The transition engine's entry (registered with FxSetMoveObject by the library).
struct FxMoveContext;
int MoveObjectEmbedded(FxMoveContext *fx);

// The library (moveobject_lib.cpp): reads a Move command's arguments into a new context and runs it.
int ParseMoveArgs(lua_State *L, int32_t kind);
int OpenMoveObjectLib(lua_State *L);

// SCROLL effects hand the object to the moving-object engine: the effect fills a move context
// and steps it. The engine registers its MoveObject here; until one is registered the scroll
// numbers run as the HSTRIPES stand-in (see FxInstallEffect).
#pragma once
#include <cstdint>
#include "fx/transition.h"

// Position constants of the graphics library for the off-screen starts.
enum { FXPOS_LEFTOUT = -50000, FXPOS_RIGHTOUT = -40000, FXPOS_TOPOUT = -30000, FXPOS_BOTTOMOUT = -20000 };
enum { FXMOVE_NOOBJECT = 7, FXMOVE_LAYER = 22 };
enum { FXMOVE_FLAG_BGPIC_LAYERS = 64 };

// One move set up by a transition.
struct FxMoveContext {
  lua_State *state;
  int32_t objectType;          // FXMOVE_NOOBJECT with the images below, or FXMOVE_LAYER
  const BitMap *bitmap;
  const Mask *mask;
  const AlphaChannel *alpha;
  kvLayer *layer;
  int32_t transition;          // 1: moved for a transition
  int32_t width, height;
  int32_t startX, startY, endX, endY;  // may hold the FXPOS_* constants
  int32_t style;
  int32_t speed;
  int32_t flags;               // FXMOVE_FLAG_*
  int32_t frames;              // filled by MoveObject: frames the move draws
  // Filled by MoveObject: one frame of the move (sets *done on the last), and its release.
  int (*step)(FxMoveContext *ctx, int32_t *done);
  void (*free)(FxMoveContext *ctx, int completed);
  void *moverState;
};

typedef int (*FxMoveObjectFunc)(FxMoveContext *ctx);
// Registers the moving-object engine's set-up (none removes it).
void FxSetMoveObject(FxMoveObjectFunc moveObject);
FxMoveObjectFunc FxGetMoveObject(void);

// One running transition (a picture, brush, text object, picture part or layer coming in or
// going out with an effect), the step protocol every effect routine follows, and the effect
// numbers. The transition engine fills the record's references to layers, pictures and
// displays; the effect routines read and update it frame by frame.
#pragma once
#include <cstdint>
#include "gfx/bitmap.h"

struct lua_State;
struct kvLayer;
struct BGPicNode;
struct TransitionRecord;

// Step routine. Phase 0 (set-up) gets no done word; phase 1 draws the next frame and sets
// *done to 1 on the last one; phase 2 draws record->frame directly (seekable effects).
// Returns 0 or an error code (1000 when set-up cannot allocate).
typedef int (*FxStepFunc)(TransitionRecord *r, int32_t *done);
// Free routine: releases what the step routine allocated beyond the private state.
// completed is 1 when the transition ran to its end, 0 when cancelled or failed.
typedef void (*FxFreeFunc)(TransitionRecord *r, int completed);

// Kind of a transition (object type numbers).
enum {
  FXKIND_BGPIC = 1,
  FXKIND_BRUSH = 3,
  FXKIND_TEXTOBJECT = 8,
  FXKIND_BGPICPART = 13,
  FXKIND_LAYER = 22,
  FXKIND_HIDELAYER = 25,
  FXKIND_REMOVELAYER = 26
};

// Phases of the step protocol.
enum { FXPHASE_SETUP = 0, FXPHASE_RUN = 1, FXPHASE_SEEK = 2 };

// Speeds (NORMALSPEED, FASTSPEED, SLOWSPEED; any other value is the step itself).
enum { FXSPEED_NORMAL = -1, FXSPEED_FAST = -2, FXSPEED_SLOW = -3, FXSPEED_DEFAULT = -4 };
enum { FX_RANDOMPARAMETER = -1 };

// Blit flags of a transition: 4 always, 36 on an autoscaled display, plus 64 for a picture
// transition with layers on.
enum { FXBLIT_PLAIN = 4, FXBLIT_SCALED = 36, FXBLIT_LAYERS = 64 };

// Position of a picture not given by the "x" and "y" options.
enum { FX_POSITION_UNSET = 99999 };

struct TransitionRecord {
  lua_State *state;
  kvLayer *layer;      // layer worked on, or none
  BitMap *target;      // bitmap drawn into; none = the current display
  FxStepFunc step;
  FxFreeFunc free;
  int32_t kind;        // FXKIND_*
  int32_t effect;      // 0-140
  uint32_t idNumber;   // source object: number, or (layer kinds) 1-based layer position
  void *idHandle;
  int32_t x, y;        // destination position
  int32_t speed;       // from the command; the step size once set up
  int32_t givenSpeed;  // the command's speed, restored before a repeated set-up
  int32_t parameter;   // -1: the effect chooses
  int32_t width, height;                // source size
  int32_t pictureWidth, pictureHeight;  // size of the current picture
  int32_t undoType, undoLevel;
  BitMap *source;      // the new image
  BitMap *before;      // what was under the object, or the old picture
  BitMap *spare;       // second image of picture transitions
  Mask *mask;
  AlphaChannel *alpha;
  int32_t layerBuffers;          // the layer carries transition buffers
  int32_t savedPartOffset[2];
  int32_t layerOriginX, layerOriginY;
  BGPicNode *bgpic;
  int32_t ownsSource, ownsMask, ownsAlpha;
  int32_t partX, partY;
  int32_t layers;                // "layers" option
  int32_t reverse;
  int32_t blitFlags;
  int32_t displayScaled;
  int32_t async;
  int32_t restart;
  int32_t resized;
  int32_t realTimeLayer;         // the effect draws into the layer's transition buffers
  int32_t forceRealTimeLayers;
  int32_t pendingHide, pendingRemove;
  int32_t *lock;                 // source object's lock counter
  int32_t bgpicX, bgpicY;        // FX_POSITION_UNSET when not given
  int32_t bgpicEmu;
  BGPicNode *emulatedBGPic;
  void *privateState;            // the effect's own state, freed by the engine
  Mask *extraMask;
  AlphaChannel *extraAlpha;
  int32_t phase;                 // FXPHASE_*
  int32_t frame;                 // frames drawn so far
  int32_t frames;                // frames the effect draws, set in set-up
  int32_t noRefresh;             // draw into buffers only, no copy to the window
  int32_t rebuilding;
  int32_t following;             // a layer change is being taken in (changes it causes are not)
  int32_t stale;                 // the layer's images could not be taken again: no more frames
  int32_t finished;
};

// Effect numbers with their own meaning elsewhere.
enum {
  FX_HSTRIPES = 0,
  FX_HSTRIPES64 = 6,
  FX_VSTRIPES = 7,
  FX_VSTRIPES64 = 13,
  FX_HBLINDS8 = 14,
  FX_VBLINDS8 = 19,
  FX_VOPENCURTAIN = 24,
  FX_VCLOSECURTAIN = 25,
  FX_HOPENCURTAIN = 26,
  FX_HCLOSECURTAIN = 27,
  FX_BARS = 28,
  FX_QUARTERS = 29,
  FX_REVEALLEFT = 30,
  FX_REVEALRIGHT = 31,
  FX_REVEALTOP = 32,
  FX_REVEALBOTTOM = 33,
  FX_VLINES2 = 34,
  FX_HLINES2 = 35,
  FX_HLINES = 36,
  FX_VLINES = 37,
  FX_RECTCENTER = 38,
  FX_RECTNORTHWEST = 46,
  FX_SCROLLLEFT = 47,
  FX_SCROLLRIGHT = 48,
  FX_SCROLLTOP = 49,
  FX_SCROLLBOTTOM = 50,
  FX_SCROLLNORTHEAST = 51,
  FX_SCROLLSOUTHEAST = 52,
  FX_SCROLLSOUTHWEST = 53,
  FX_SCROLLNORTHWEST = 54,
  FX_STRETCHLEFT = 55,
  FX_STRETCHRIGHT = 56,
  FX_STRETCHTOP = 57,
  FX_STRETCHBOTTOM = 58,
  FX_HSTRETCHCENTER = 59,
  FX_VSTRETCHCENTER = 60,
  FX_ZOOMCENTER = 61,
  FX_ZOOMNORTHWEST = 69,
  FX_RECTBACKCENTER = 88,
  FX_RECTBACKNORTHWEST = 96,
  FX_HSTRANGEPUSH = 99,
  FX_VSTRANGEPUSH = 100,
  FX_UNNAMED = 113,  // taken as FX_RANDOMEFFECT
  FX_ZOOMIN = 118,
  FX_ZOOMOUT = 119,
  FX_RANDOMEFFECT = 140,
  FX_EFFECT_COUNT = 141
};

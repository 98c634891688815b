// The effect catalogue: every effect number 0-140 with its script constant, family, step and
// free routines and the sets it belongs to; the reverse pairs, the random choice, and the
// 145 script constants the transitionfx library registers.
#pragma once
#include <cstdint>
#include "fx/transition.h"

// Sets an effect number belongs to.
enum {
  FXF_PICTURE_ONLY = 1,     // needs the whole picture; objects run HSTRIPES instead
  FXF_SEEKABLE = 2,         // can draw any frame directly (phase 2)
  FXF_REVERSE_LAYER = 4,    // reversed on a layer it works in the transition buffers
  FXF_SELF_COMPOSING = 8,   // composes a masked source itself (no flattening)
  FXF_BEFORE_ALWAYS = 16,   // takes a before image in every mode
  FXF_BEFORE_PLAIN = 32,    // takes a before image outside real-time layer mode
  FXF_BEFORE_REALTIME = 64, // takes a before image in real-time layer mode
  FXF_KEEP_HIDDEN_VISIBLE = 128  // a layer being hidden stays visible in its before image
};

struct FxEffectEntry {
  const char *name;    // script constant without '#', none for 113
  const char *family;  // name of the routine family
  FxStepFunc step;     // routine installed for the number (a stand-in where noted)
  FxFreeFunc free;
  uint32_t flags;      // FXF_*
  int standIn;         // 1: the family is not built yet and the number runs as HSTRIPES
};

// The entry of an effect number; nullptr outside 0-140.
const FxEffectEntry *FxEffectInfo(int32_t effect);
int FxIsPictureOnly(int32_t effect);
// Seekable by its set and by the routine actually installed (stand-ins replay).
int FxIsSeekable(int32_t effect);
int FxIsReverseCapable(int32_t effect);
// Composes a masked or translucent source itself (the installed routine, not a stand-in).
int FxIsSelfComposing(int32_t effect);
// Whether the number currently runs the HSTRIPES stand-in.
int FxRunsStandIn(int32_t effect);
// The number a reversed transition runs (the reverse pairs; others unchanged).
int32_t FxReverseEffect(int32_t effect);
// A random effect 0-139 but 113; with objectsOnly never a picture-only one.
int32_t FxRandomEffect(int objectsOnly);
// Installs the step and free routines of record->effect. 0, or 1055 outside 0-139.
int FxInstallEffect(TransitionRecord *r);
// Calls the free routine (when there is private state) and frees the private state.
void FxFreeEffectState(TransitionRecord *r, int completed);

struct FxConstant {
  const char *name;
  int32_t value;
};
// The 145 constants of the transitionfx library (effects, aliases, RANDOMEFFECT,
// RANDOMPARAMETER), ended by a {nullptr, 0} entry.
extern const FxConstant kFxConstants[];

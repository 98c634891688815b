// The transition engine: runs one filled TransitionRecord on the current display (effect
// choice, substitutions, the object resolved into images or a layer, the images the effect
// needs, the frames paced to the display), or hands it to the script as an asynchronous
// drawing object; the transition buffers of a layer and the release of a record.
#pragma once
#include <cstdint>
#include "fx/transition.h"

struct kvLayer;

// 0 (ran to its end or stopped), 1 (an asynchronous drawing object was made and its handle
// pushed), or an error code. Only the caller's restart field is written back.
int DoTransitionFX(TransitionRecord *caller);

// The drawn state's transition buffers of the record's layer. 0 or 1000.
int AllocLayerFXBuffers(TransitionRecord *r);
// Frees the buffers of all three states, puts the part offsets back and carries out a pending
// hide or removal.
void FreeLayerFXBuffers(TransitionRecord *r);
// Frees the transition buffers of all three states of the layer.
void FxFreeLayerStateBuffers(kvLayer *layer);
// The record's source planes from the layer's drawn state (cut to the drawn rectangle, owned
// by the record, where they differ from it); the record's width and height must be the drawn
// size. 0 or an error code.
int FxTakeLayerImages(TransitionRecord *r, kvLayer *layer);
// Releases the record with everything it owns (unlocking the object once).
void FreeTransitionRecord(TransitionRecord *r, int completed);

// Lets go of the source object's lock; a second call does nothing.
void FxUnlockObject(TransitionRecord *r);

// Fills `into` (object-sized) with what lies under the object on the shown picture; the
// record's layer is left out unless keepLayerVisible.
void FxComposeUnderObject(TransitionRecord *r, BitMap *into, int keepLayerVisible);

// ---- "bgpicemu": a layer standing in for a BGPic ----

struct BGPicNode;
struct DisplayRecord;
// The record's emulated BGPic while it still exists (none when it was freed or without
// "bgpicemu").
BGPicNode *FxEmulatedBGPic(TransitionRecord *r);
// Composes the emulated BGPic into the record's source (made a copy owned by the record first,
// so that the layer's own image is never drawn over) and clears its refresh flag. 0 or 1000.
int FxComposeEmulatedBGPic(TransitionRecord *r);
// Set-up of a layer transition with "bgpicemu" (record's layer found): clears the current
// picture's refresh flag, marks the layer's picture-effect or scroll-emulation flag, and
// rescales the emulated BGPic to the layer scale size when it differs. 0 or an error code.
int FxPrepareBGPicEmulation(TransitionRecord *r, DisplayRecord *d);
// Clears the layer's emulation flags (end of the transition).
void FxEndBGPicEmulation(kvLayer *layer);

// Fills the effect routines' display and layer hooks (done by the library's open function).
void FxInstallDisplayHooks(void);

// ---- Test switches ----

// Pacing of synchronous runs (on by default): off, frames follow each other without waiting.
void FxSetPacing(int on);
// Called after every frame of a synchronous run (none removes it).
typedef void (*FxFrameObserver)(const TransitionRecord *r, void *user);
void FxSetFrameObserver(FxFrameObserver observer, void *user);

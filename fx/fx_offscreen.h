// Runs an effect on plain bitmaps, without a display: set-up, then one frame after another
// until the effect reports its last frame. Used by the contact-sheet tool, the benchmarks and
// the tests; the transition engine runs on-screen transitions itself.
#pragma once
#include <cstdint>
#include "fx/transition.h"

// Fills a record for an effect drawing `source` (with its optional mask and alpha) at (x, y)
// of `target`; `before` holds what lies under the object (object-sized), or none. The record
// owns nothing; the effect number must already be resolved (0-139).
void FxInitOffscreen(TransitionRecord *r, int32_t effect, int32_t speed, int32_t parameter, BitMap *source,
                     Mask *mask, AlphaChannel *alpha, BitMap *before, BitMap *target, int32_t x, int32_t y);

// Called after every frame; a non-zero result stops the run.
typedef int (*FxFrameHook)(TransitionRecord *r, void *user);

// Installs the routines, sets the effect up and draws frames until done or maxFrames. Stores
// the frames drawn. 0, an error of the set-up or a frame, or 1055 for an effect outside 0-139.
// The effect's state is freed before returning.
int FxRunOffscreen(TransitionRecord *r, int32_t maxFrames, FxFrameHook hook, void *user, int32_t *framesDrawn);

// Bringing a running transition to a given frame: directly for seekable effects, else by
// replaying every frame from the first without showing them.
#pragma once
#include "fx/transition.h"

// 0 or the step routine's error. force 0 lets a non-seekable effect that is already at the
// frame rebuild it from the record's buffers instead of replaying.
int FxSeek(TransitionRecord *r, int32_t frame, int force);

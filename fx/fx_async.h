// Asynchronous transitions: the callbacks of an #ADF_FX drawing object whose userdata is the
// transition record. The script advances it with AsyncDrawFrame, completes it with
// FinishAsyncDraw or drops it with CancelAsyncDraw; the layer code keeps it in step with its
// layer through the control callback.
#pragma once
#include <cstdint>
#include "fx/transition.h"

// Draws the next frame; *finished is set after the last one.
int AsyncFXDraw(void *record, int32_t *finished);
// Completes the transition: buffers freed, object unlocked, a hidden or removed layer so.
void AsyncFXFinish(void *record, int32_t finished);
// Releases the record (FreeTransitionRecord with the finished flag).
void AsyncFXFree(void *record, int32_t finished);
// Control messages 0-8; returns a number or an error code.
intptr_t AsyncFXControl(int op, void *argument, void *record);

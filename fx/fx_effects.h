// The effect routines installed from the catalogue: step and free routines of the band-wipe
// family and of the scale and scroll family.
#pragma once
#include "fx/transition.h"

// Band wipes (0-46, 88-96).
int FxHStripes(TransitionRecord *r, int32_t *done);
int FxVStripes(TransitionRecord *r, int32_t *done);
int FxHBlinds(TransitionRecord *r, int32_t *done);
int FxVBlinds(TransitionRecord *r, int32_t *done);
int FxVOpenCurtain(TransitionRecord *r, int32_t *done);
int FxVCloseCurtain(TransitionRecord *r, int32_t *done);
int FxHOpenCurtain(TransitionRecord *r, int32_t *done);
int FxHCloseCurtain(TransitionRecord *r, int32_t *done);
int FxBars(TransitionRecord *r, int32_t *done);
int FxQuarters(TransitionRecord *r, int32_t *done);
int FxRevealLeft(TransitionRecord *r, int32_t *done);
int FxRevealRight(TransitionRecord *r, int32_t *done);
int FxRevealTop(TransitionRecord *r, int32_t *done);
int FxRevealBottom(TransitionRecord *r, int32_t *done);
int FxVLines2(TransitionRecord *r, int32_t *done);
int FxHLines2(TransitionRecord *r, int32_t *done);
int FxHLines(TransitionRecord *r, int32_t *done);
int FxVLines(TransitionRecord *r, int32_t *done);
int FxRect(TransitionRecord *r, int32_t *done);
int FxRectBack(TransitionRecord *r, int32_t *done);

// Scale and scroll (47-69, 99, 100, 118, 119).
int FxScroll(TransitionRecord *r, int32_t *done);
void FxScrollFree(TransitionRecord *r, int completed);
int FxStretch(TransitionRecord *r, int32_t *done);
void FxStretchFree(TransitionRecord *r, int completed);
int FxZoomInOut(TransitionRecord *r, int32_t *done);
int FxStrangePush(TransitionRecord *r, int32_t *done);
void FxStrangePushFree(TransitionRecord *r, int completed);

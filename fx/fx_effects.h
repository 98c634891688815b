// The effect routines installed from the catalogue: step and free routines of every effect
// family, and the effect numbers the routines tell their members apart by.
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

// Effect numbers of the mixing, moving, shape, pixel and growing-band families.
enum {
  FX_HFLOWTOP = 70, FX_HFLOWBOTTOM = 71, FX_VFLOWLEFT = 72, FX_VFLOWRIGHT = 73,
  FX_HOPENGATE = 74, FX_HCLOSEGATE = 75, FX_VOPENGATE = 76, FX_VCLOSEGATE = 77,
  FX_PUSHLEFT = 78, FX_PUSHRIGHT = 79, FX_PUSHTOP = 80, FX_PUSHBOTTOM = 81,
  FX_PUZZLE = 82, FX_DIAGONAL = 83,
  FX_ROLLTOP = 84, FX_ROLLLEFT = 85, FX_WALLPAPERTOP = 86, FX_WALLPAPERLEFT = 87,
  FX_CLOCKWIPE = 97, FX_STAR = 98,
  FX_SLIDELEFT = 101, FX_SLIDERIGHT = 102, FX_SLIDETOP = 103, FX_SLIDEBOTTOM = 104,
  FX_SPIRAL = 105, FX_SWISS = 106, FX_QUADRECT = 107, FX_HSPLIT = 108, FX_VSPLIT = 109, FX_UPNDOWN = 110,
  FX_CARDTOP = 111, FX_CARDBOTTOM = 112, FX_SUN = 114, FX_CROSSFADE = 115, FX_FADE = 116, FX_BLEND = 117,
  FX_CRUSHLEFT = 120, FX_CRUSHRIGHT = 121, FX_CRUSHTOP = 122, FX_CRUSHBOTTOM = 123,
  FX_VFLIPCOIN = 124, FX_VLOWFLIPCOIN = 125, FX_HFLIPCOIN = 126, FX_HLOWFLIPCOIN = 127,
  FX_TURNDOWNTOP = 128, FX_TURNDOWNBOTTOM = 129, FX_TURNDOWNLEFT = 130, FX_TURNDOWNRIGHT = 131,
  FX_PIXELZOOM1 = 132, FX_PIXELZOOM2 = 133, FX_WATER1 = 134, FX_WATER4 = 137, FX_STRUDEL = 138, FX_DISSOLVE = 139
};

// Mixing effects (115-117, 134-139).
int FxFade(TransitionRecord *r, int32_t *done);
void FxFadeFree(TransitionRecord *r, int completed);
int FxCrossFade(TransitionRecord *r, int32_t *done);
void FxCrossFadeFree(TransitionRecord *r, int completed);
int FxDissolve(TransitionRecord *r, int32_t *done);
void FxDissolveFree(TransitionRecord *r, int completed);
int FxStrudel(TransitionRecord *r, int32_t *done);
void FxStrudelFree(TransitionRecord *r, int completed);
int FxWater(TransitionRecord *r, int32_t *done);
void FxWaterFree(TransitionRecord *r, int completed);

// Moving-picture effects (74-81, 101-104, 111, 112, 128-131).
int FxPush(TransitionRecord *r, int32_t *done);
int FxSlide(TransitionRecord *r, int32_t *done);
int FxCard(TransitionRecord *r, int32_t *done);
int FxHOpenGate(TransitionRecord *r, int32_t *done);
int FxHCloseGate(TransitionRecord *r, int32_t *done);
int FxVOpenGate(TransitionRecord *r, int32_t *done);
int FxVCloseGate(TransitionRecord *r, int32_t *done);
int FxTurnDown(TransitionRecord *r, int32_t *done);

// Shaped-mask and tile effects (82, 97, 98, 105, 106, 114).
int FxSun(TransitionRecord *r, int32_t *done);
void FxSunFree(TransitionRecord *r, int completed);
int FxStar(TransitionRecord *r, int32_t *done);
void FxStarFree(TransitionRecord *r, int completed);
int FxClockWipe(TransitionRecord *r, int32_t *done);
void FxClockWipeFree(TransitionRecord *r, int completed);
int FxSwiss(TransitionRecord *r, int32_t *done);
int FxSpiral(TransitionRecord *r, int32_t *done);
int FxPuzzle(TransitionRecord *r, int32_t *done);
void FxPuzzleFree(TransitionRecord *r, int completed);

// Pixel, flip, crush and rolling effects (84-87, 120-127, 132, 133).
int FxPixelZoom(TransitionRecord *r, int32_t *done);
void FxPixelZoomFree(TransitionRecord *r, int completed);
int FxFlipCoin(TransitionRecord *r, int32_t *done);
int FxCrush(TransitionRecord *r, int32_t *done);
int FxRoll(TransitionRecord *r, int32_t *done);
void FxRollFree(TransitionRecord *r, int completed);

// Growing-band effects (70-73, 83, 107-110).
int FxHFlowTop(TransitionRecord *r, int32_t *done);
int FxHFlowBottom(TransitionRecord *r, int32_t *done);
int FxVFlowLeft(TransitionRecord *r, int32_t *done);
int FxVFlowRight(TransitionRecord *r, int32_t *done);
void FxFlowFree(TransitionRecord *r, int completed);
int FxSplit(TransitionRecord *r, int32_t *done);
int FxUpNDown(TransitionRecord *r, int32_t *done);
int FxQuadRect(TransitionRecord *r, int32_t *done);
int FxDiagonal(TransitionRecord *r, int32_t *done);

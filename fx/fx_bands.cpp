// Band wipes: every frame copies one or more rectangles of the source to their final place.
// Horizontal and vertical members share one routine; `t` (transposed) swaps the axes, so
// "along" is the axis the bands travel and "across" the other one.
#include <cstring>
#include "fx/fx_effects.h"
#include "fx/fx_random.h"
#include "fx/fx_support.h"

namespace {

struct BandState {
  int32_t a, b, c;  // band size and positions, as each member uses them
};

BandState *State(TransitionRecord *r) { return (BandState *)r->privateState; }

int32_t Along(const TransitionRecord *r, int t) { return t ? r->height : r->width; }
int32_t Across(const TransitionRecord *r, int t) { return t ? r->width : r->height; }

// Draws the piece at (u, v) of size lu x lv in the member's own axes.
void Piece(TransitionRecord *r, int t, int32_t u, int32_t v, int32_t lu, int32_t lv) {
  if (t) FxDrawPiece(r, v, u, lv, lu);
  else FxDrawPiece(r, u, v, lu, lv);
}


// Set-up shared by the members: the private state, the step and the frame count. 0 or 1000.
int SetUp(TransitionRecord *r, int32_t step, int32_t frames) {
  if (FxAllocPrivate(r, sizeof(BandState))) return 1000;
  r->speed = step;
  r->frames = frames;
  return 0;
}

// ---- Stripes: bands of rows alternately from both edges ----

int StripesSetup(TransitionRecord *r, int t, int32_t first) {
  const int32_t along = Along(r, t);
  // Members 1-6 have fixed bands of 2 to 64; the first member (and every number that runs as
  // it) takes the parameter or a random band.
  const int32_t member = r->effect - first;
  int32_t band;
  if (member >= 1 && member <= 6) {
    band = 1 << member;
  } else if (r->parameter == FX_RANDOMPARAMETER) {
    const int32_t r1 = FxRand(), r2 = FxRand();
    const int32_t range = along / (r2 % 8 + 2);
    band = range > 0 ? r1 % range : 1;  // an image narrower than the divisor has no range
  } else {
    band = r->parameter;
  }
  int32_t step = FxStepsForSpeed(r->speed, along, 70, 30, 200);
  // A step beyond the image becomes W - 1, at least 1: a 1-pixel image still ends.
  if (step > along - 1) step = FxAtLeast1(along - 1);
  if (SetUp(r, step, FxCeilDiv(along - step, step, 0))) return 1000;
  // A band beyond the image draws as one band of the image's size.
  const int32_t across = Across(r, t);
  State(r)->a = band < 1 ? 1 : band > across ? FxAtLeast1(across) : band;
  return 0;
}

int Stripes(TransitionRecord *r, int32_t *done, int t, int32_t first) {
  if (r->phase == FXPHASE_SETUP) return StripesSetup(r, t, first);
  if (!FxBeginFrame(r)) return 0;
  BandState *s = State(r);
  const int32_t along = Along(r, t), across = Across(r, t), step = r->speed, band = s->a;
  if (r->frame == 0) s->b = 0;
  if (s->b >= along - step) {
    s->b = along - step;
    FxSetDone(done);
  }
  for (int32_t v = 0; v < across; v += 2 * band) {
    Piece(r, t, s->b, v, step, band);
    Piece(r, t, along - s->b - step, v + band, step, band);
  }
  s->b += step;
  FxEndFrame(r);
  return 0;
}

// ---- Blinds: a strip of every n-pixel cell grows ----

int Blinds(TransitionRecord *r, int32_t *done, int t, int32_t first) {
  BandState *s = State(r);
  const int32_t n = 8 << (r->effect - first);
  if (r->phase == FXPHASE_SETUP) {
    int32_t step = FxStepsForSpeed(r->speed, n, 8, 3, 20);
    if (step > n / 2) step = n / 2;
    return SetUp(r, step, FxCeilDiv(n - step, step, 0));
  }
  if (!FxBeginFrame(r)) return 0;
  const int32_t step = r->speed, count = Along(r, t) / n;
  if (r->frame == 0) s->b = step;
  if (s->b >= n) {
    s->b = n;
    FxSetDone(done);
  }
  for (int32_t k = 0; k <= count; k++) Piece(r, t, k * n + s->b - step, 0, step, Across(r, t));
  s->b += step;
  FxEndFrame(r);
  return 0;
}

// ---- Curtains: two bands meet in the middle (close) or part from it (open) ----

int OpenCurtain(TransitionRecord *r, int32_t *done, int t) {
  BandState *s = State(r);
  const int32_t along = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    int32_t step = FxStepsForSpeed(r->speed, along, 140, 60, 320);
    if (step > along / 4) step = FxAtLeast1(along / 4);
    return SetUp(r, step, FxCeilDiv(along - step - (along / 2 - 1) - 1, step + 1, 0));
  }
  if (!FxBeginFrame(r)) return 0;
  const int32_t step = r->speed;
  if (r->frame == 0) {
    s->a = along / 2;      // left (top) edge
    s->b = along / 2 - 1;  // right (bottom) edge
  }
  if (s->b >= along - step - 1) {
    s->b = along - step - 1;
    FxSetDone(done);
  }
  if (s->a - step < 0) s->a = step;
  Piece(r, t, s->b, 0, step + 1, Across(r, t));
  Piece(r, t, s->a - step, 0, step + 1, Across(r, t));
  s->a -= step + 1;
  s->b += step + 1;
  FxEndFrame(r);
  return 0;
}

int CloseCurtain(TransitionRecord *r, int32_t *done, int t) {
  BandState *s = State(r);
  const int32_t along = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    int32_t step = FxStepsForSpeed(r->speed, along, 140, 60, 320);
    if (step > along / 2) step = 1;
    return SetUp(r, step, FxCeilDiv(along / 2, step + 1, 0));
  }
  if (!FxBeginFrame(r)) return 0;
  const int32_t step = r->speed;
  if (r->frame == 0) {
    s->a = 0;
    s->b = along - 1;
  }
  if (s->a >= along / 2) FxSetDone(done);
  Piece(r, t, s->a, 0, step + 1, Across(r, t));
  Piece(r, t, s->b - step, 0, step + 1, Across(r, t));
  s->a += step + 1;
  s->b -= step + 1;
  FxEndFrame(r);
  return 0;
}

// ---- Reveal: one band sweeps from an edge ----

// `fromFar`: the band starts at the far edge; `halfCap`: a step above half the length becomes
// half the length (else 1).
int Reveal(TransitionRecord *r, int32_t *done, int t, int fromFar, int halfCap) {
  BandState *s = State(r);
  const int32_t along = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    int32_t step = FxStepsForSpeed(r->speed, along, 70, 30, 200);
    if (step > along / 2) step = halfCap ? FxAtLeast1(along / 2) : 1;
    return SetUp(r, step, FxCeilDiv(along - step - 1, step + 1, 0));
  }
  if (!FxBeginFrame(r)) return 0;
  const int32_t step = r->speed;
  if (r->frame == 0) s->b = fromFar ? along - 1 : 0;
  if (fromFar) {
    if (s->b <= step) {
      s->b = step;
      FxSetDone(done);
    }
    Piece(r, t, s->b - step, 0, step + 1, Across(r, t));
    s->b -= step + 1;
  } else {
    if (s->b >= along - step - 1) {
      s->b = along - step - 1;
      FxSetDone(done);
    }
    Piece(r, t, s->b, 0, step + 1, Across(r, t));
    s->b += step + 1;
  }
  FxEndFrame(r);
  return 0;
}

// ---- Lines: one pixel line a frame ----

// Two lines a frame, from both edges: the even lines left to right, the others right to left.
int Lines2(TransitionRecord *r, int32_t *done, int t) {
  BandState *s = State(r);
  const int32_t along = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    return SetUp(r, 1, FxCeilDiv(along, 2, 0));
  }
  if (!FxBeginFrame(r)) return 0;
  if (r->frame == 0) {
    s->a = 0;
    s->b = along % 2 ? along - 2 : along - 1;
  }
  if (s->a >= along) FxSetDone(done);
  if (s->b < 0) s->b = 0;
  if (s->a > along - 1) s->a = along - 1;
  Piece(r, t, s->a, 0, 1, Across(r, t));
  Piece(r, t, s->b, 0, 1, Across(r, t));
  s->a += 2;
  s->b -= 2;
  FxEndFrame(r);
  return 0;
}

// One line a frame: the even lines forwards, then the odd lines backwards.
int Lines(TransitionRecord *r, int32_t *done, int t) {
  BandState *s = State(r);
  const int32_t along = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    return SetUp(r, 1, FxCeilDiv(2 * along, 2, 0));
  }
  if (!FxBeginFrame(r)) return 0;
  if (r->frame == 0) s->b = 0;
  if (s->b >= 2 * along) FxSetDone(done);
  int32_t line = s->b;
  if (line >= along) {
    line = 2 * along - s->b + 1;
    if (line > along - 1) line = along - 1;
    if (line < 0) line = 0;
  }
  Piece(r, t, line, 0, 1, Across(r, t));
  s->b += 2;
  FxEndFrame(r);
  return 0;
}

}  // namespace

int FxHStripes(TransitionRecord *r, int32_t *done) { return Stripes(r, done, 0, FX_HSTRIPES); }
int FxVStripes(TransitionRecord *r, int32_t *done) { return Stripes(r, done, 1, FX_VSTRIPES); }
int FxHBlinds(TransitionRecord *r, int32_t *done) { return Blinds(r, done, 1, FX_HBLINDS8); }
int FxVBlinds(TransitionRecord *r, int32_t *done) { return Blinds(r, done, 0, FX_VBLINDS8); }
int FxVOpenCurtain(TransitionRecord *r, int32_t *done) { return OpenCurtain(r, done, 0); }
int FxVCloseCurtain(TransitionRecord *r, int32_t *done) { return CloseCurtain(r, done, 0); }
int FxHOpenCurtain(TransitionRecord *r, int32_t *done) { return OpenCurtain(r, done, 1); }
int FxHCloseCurtain(TransitionRecord *r, int32_t *done) { return CloseCurtain(r, done, 1); }
int FxRevealLeft(TransitionRecord *r, int32_t *done) { return Reveal(r, done, 0, 0, 0); }
int FxRevealRight(TransitionRecord *r, int32_t *done) { return Reveal(r, done, 0, 1, 0); }
int FxRevealTop(TransitionRecord *r, int32_t *done) { return Reveal(r, done, 1, 0, 1); }
int FxRevealBottom(TransitionRecord *r, int32_t *done) { return Reveal(r, done, 1, 1, 1); }
int FxVLines2(TransitionRecord *r, int32_t *done) { return Lines2(r, done, 0); }
int FxHLines2(TransitionRecord *r, int32_t *done) { return Lines2(r, done, 1); }
int FxHLines(TransitionRecord *r, int32_t *done) { return Lines(r, done, 1); }
int FxVLines(TransitionRecord *r, int32_t *done) { return Lines(r, done, 0); }

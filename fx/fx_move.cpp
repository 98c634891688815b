// Effects that move whole pictures: PUSH (the new picture pushes the old one out), SLIDE (the
// old one slides out over a colour, the new one slides in), CARD (two pictures stacked like a
// card turning), the GATEs (halves parting or closing) and TURNDOWN (a page folded over). They
// need the whole picture; each frame places whole pictures or halves of them, so each can draw
// any frame directly (seek). Horizontal and vertical members share one routine: `t`
// (transposed) swaps the axes, so "along" is the axis the pictures move on.
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"

namespace {

// FxOffsetState: a and b are the gate edges, b SLIDE's last position.
using MoveState = FxOffsetState;
MoveState *State(TransitionRecord *r) { return FxOffsets(r); }

int32_t Along(const TransitionRecord *r, int t) { return t ? r->height : r->width; }

// Draws (su, sv, lu, lv) of a picture at (du, dv), in the member's axes.
void Place(TransitionRecord *r, FxPic pic, int t, int32_t su, int32_t lu, int32_t du, int32_t flags) {
  if (t) FxPut(r, pic, 0, su, r->width, lu, 0, du, flags);
  else FxPut(r, pic, su, 0, lu, r->height, du, 0, flags);
}

// Start of a run or seek frame: false for any other phase. An emulated picture is recomposed
// (`refresh` names which sources).
bool BeginMove(TransitionRecord *r, int32_t refresh) {
  if (!FxBeginOffsetFrame(r)) return false;
  if (r->bgpicEmu && refresh) FxRefreshSources(r, refresh);
  return true;
}

// ---- PUSH ----

int Push(TransitionRecord *r, int32_t *done, int t, int far) {
  const int32_t d = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, d, 40, 10, 100), 1, FxAtLeast1(d));  // no overflow past the end
    return FxOffsetSetup(r, s, FxCeilDiv(d - s, s, 0));
  }
  if (!BeginMove(r, 3)) return 0;
  MoveState *m = State(r);
  if (m->offset >= d) {
    m->offset = d;
    FxSetDone(done);
  }
  const int32_t o = m->offset, flags = r->realTimeLayer ? FXDRAW_NOREFRESH : 0;
  Place(r, FxSourcePic(r), t, 0, d, far ? d - o : o - d, flags);
  Place(r, FxBeforePic(r), t, 0, d, far ? -o : o, flags);
  m->offset += r->speed;
  FxEndLayerFrame(r);
  return 0;
}

// ---- SLIDE ----

int Slide(TransitionRecord *r, int32_t *done, int t, int far) {
  const int32_t d = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    if (r->parameter == FX_RANDOMPARAMETER) r->parameter = 0;
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, d, 60, 30, 120), 1, 30);
    return FxOffsetSetup(r, s, FxCeilDiv(2 * d - s, s, 0));
  }
  const bool seek = r->phase == FXPHASE_SEEK;
  const uint32_t colour = (uint32_t)r->parameter & 0xFFFFFF;
  if (seek) FxFillBand(r, t, 0, d, colour, FXDRAW_NOREFRESH);
  MoveState *m = State(r);
  if (!BeginMove(r, 0)) return 0;
  int32_t o = m->offset;
  if (r->bgpicEmu) FxRefreshSources(r, o > d ? 2 : 3);
  if (o >= 2 * d) {
    o = m->offset = 2 * d;
    FxSetDone(done);
  }
  const int32_t s = r->speed, flags = seek ? FXDRAW_NOREFRESH : 0;
  int32_t at;
  if (o <= d) {
    at = far ? -o : o;
    if (!seek) FxFillBand(r, t, far ? d - o : m->b, s, colour, flags);
    if (d - o >= 1) Place(r, FxBeforePic(r), t, 0, d, at, flags);
  } else {
    at = o >= 2 * d ? 0 : far ? o - 2 * d : 2 * d - o;
    Place(r, FxSourcePic(r), t, 0, d, at, flags);
  }
  m->b = at;
  m->offset += s;
  FxEndFrame(r);
  return 0;
}

// ---- CARD ----

int Card(TransitionRecord *r, int32_t *done, int bottom) {
  const int32_t h = r->height;
  if (r->phase == FXPHASE_SETUP) {
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, r->width > h ? r->width : h, 60, 30, 120), 1, 30);
    return FxOffsetSetup(r, s, FxCeilDiv(h - s, s, 0));
  }
  if (!BeginMove(r, 3)) return 0;
  MoveState *m = State(r);
  if (m->offset >= h) {
    m->offset = h;
    FxSetDone(done);
  }
  const int32_t o = m->offset, q = o < h / 2 ? o : h - o;
  const FxPic p1 = bottom ? FxBeforePic(r) : FxSourcePic(r), p2 = bottom ? FxSourcePic(r) : FxBeforePic(r);
  const bool firstKind = bottom ? o >= h / 2 : o < h / 2;
  const int32_t h1 = firstKind ? q : h - q, s2 = firstKind ? 0 : h - 2 * q, h2 = firstKind ? h - q : q;
  const int32_t flags = FxQuietFlags(r);
  Place(r, p1, 1, q, h1, 0, flags);
  FxPut(r, p2, 0, s2, r->width, h2, 0, h1, flags);
  m->offset += r->speed;
  FxEndFrame(r);
  return 0;
}

// ---- GATES ----

// Open: the before image's halves part from the middle; a = upper (left) edge, b = lower.
int OpenGate(TransitionRecord *r, int32_t *done, int t) {
  const int32_t d = Along(r, t), half = d / 2 + d % 2;
  MoveState *m = State(r);
  if (r->phase == FXPHASE_SETUP) {
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, d, 80, 30, 200), 1, FxAtLeast1(d));
    if (FxOffsetSetup(r, s, FxCeilDiv(half - s, s, 0))) return 1000;
    State(r)->a = half - s;
    State(r)->b = d - half + s;
    return 0;
  }
  const bool seek = r->phase == FXPHASE_SEEK;
  if (seek) {
    m->a = half - r->frame * r->speed;
    m->b = d - half + r->frame * r->speed;
  } else if (r->phase == FXPHASE_RUN) {
    FxRevealLayer(r);
  } else {
    return 0;
  }
  const int32_t s = r->speed;
  if (m->b >= d || m->a < 1) {
    m->b = d;
    m->a = 0;
    FxSetDone(done);
  }
  const bool refreshed = r->bgpicEmu && (FxRefreshSources(r, 3) & 2);
  const int32_t flags = seek || refreshed ? FXDRAW_NOREFRESH : 0;
  if (seek || refreshed) {
    Place(r, FxSourcePic(r), t, m->a, m->b - m->a, m->a, flags);
  } else {
    Place(r, FxSourcePic(r), t, m->a, s, m->a, flags);
    Place(r, FxSourcePic(r), t, m->b - s, s, m->b - s, flags);
  }
  Place(r, FxBeforePic(r), t, 0, d / 2, m->a - d / 2, flags);
  Place(r, FxBeforePic(r), t, d / 2, d - d / 2, m->b, flags);
  m->a -= s;
  m->b += s;
  if (refreshed) FxEndLayerFrame(r);
  else FxEndFrame(r);
  return 0;
}

// Close: the source's halves come in from both edges until they meet.
int CloseGate(TransitionRecord *r, int32_t *done, int t) {
  const int32_t d = Along(r, t), half = d / 2;
  MoveState *m = State(r);
  if (r->phase == FXPHASE_SETUP) {
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, d, 80, 30, 200), 1, FxAtLeast1(d));
    if (FxOffsetSetup(r, s, FxCeilDiv(half - s, s, 0))) return 1000;
    State(r)->a = s;
    State(r)->b = d - s;
    if (r->realTimeLayer) FxPut(r, FxBeforePic(r), 0, 0, r->width, r->height, 0, 0, FXDRAW_NOREFRESH);
    return 0;
  }
  const bool seek = r->phase == FXPHASE_SEEK;
  if (seek) {
    FxPut(r, FxBeforePic(r), 0, 0, r->width, r->height, 0, 0, FXDRAW_NOREFRESH);
    m->a = r->frame * r->speed;
    m->b = d - r->frame * r->speed;
  } else if (r->phase == FXPHASE_RUN) {
    FxRevealLayer(r);
  } else {
    return 0;
  }
  const int32_t flags = seek ? FXDRAW_NOREFRESH : 0;
  if (r->bgpicEmu && (FxRefreshSources(r, 3) & 1))
    Place(r, FxBeforePic(r), t, m->a, m->b - m->a, m->a, FXDRAW_NOREFRESH);
  if (m->b <= d - half || m->a >= half) {
    m->a = half;
    m->b = d - half;
    FxSetDone(done);
    Place(r, FxSourcePic(r), t, 0, d, 0, flags);
  } else {
    Place(r, FxSourcePic(r), t, 0, half, m->a - half, flags);
    Place(r, FxSourcePic(r), t, half, d - half, m->b, flags);
  }
  m->a += r->speed;
  m->b -= r->speed;
  FxEndFrame(r);
  return 0;
}

}  // namespace

int FxPush(TransitionRecord *r, int32_t *done) {
  const int e = r->effect - FX_PUSHLEFT;  // left, right, top, bottom
  return Push(r, done, e >= 2, e == 1 || e == 3);
}

int FxSlide(TransitionRecord *r, int32_t *done) {
  const int e = r->effect - FX_SLIDELEFT;
  return Slide(r, done, e >= 2, e == 1 || e == 3);
}

int FxCard(TransitionRecord *r, int32_t *done) { return Card(r, done, r->effect == FX_CARDBOTTOM); }
int FxHOpenGate(TransitionRecord *r, int32_t *done) { return OpenGate(r, done, 1); }
int FxHCloseGate(TransitionRecord *r, int32_t *done) { return CloseGate(r, done, 1); }
int FxVOpenGate(TransitionRecord *r, int32_t *done) { return OpenGate(r, done, 0); }
int FxVCloseGate(TransitionRecord *r, int32_t *done) { return CloseGate(r, done, 0); }

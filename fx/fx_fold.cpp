// Effects that draw rescaled pictures every frame: FLIPCOIN (the old picture turns away like a
// coin, the new one turns in), CRUSH (the new picture pushes in and squeezes the old one) and
// TURNDOWN (a page folds over). The scaled copies live for one draw only. All can seek.
// Members share one routine per family: `t` (transposed) makes the vertical axis the one the
// pictures change along, `far` mirrors the member to the other edge.
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"

namespace {

// FxOffsetState: a and b are where FLIPCOIN drew its picture on the previous frame and its size.
using FoldState = FxOffsetState;
FoldState *State(TransitionRecord *r) { return FxOffsets(r); }

int32_t Along(const TransitionRecord *r, int t) { return t ? r->height : r->width; }

// Scales (su, lu) of a picture, whole across, to length `len` and draws it at `du`. 0 or the
// scaler's error.
int PutScaled(TransitionRecord *r, FxPic pic, int t, int32_t su, int32_t lu, int32_t len, int32_t du,
              int32_t flags) {
  FxScaled img;
  const int32_t across = t ? r->width : r->height;
  int rc = t ? FxScalePic(pic, 0, su, across, lu, across, len, &img) : FxScalePic(pic, su, 0, lu, across, len, across, &img);
  if (rc || !img.bitmap) return rc;
  if (t) FxPut(r, img.Pic(), 0, 0, across, len, 0, du, flags);
  else FxPut(r, img.Pic(), 0, 0, len, across, du, 0, flags);
  return 0;
}


// ---- FLIPCOIN ----

int FlipCoin(TransitionRecord *r, int32_t *done, int t, int low) {
  const int32_t d = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    if (r->parameter == FX_RANDOMPARAMETER) r->parameter = 0;
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, d, 60, 30, 120), 1, FxAtLeast1(2 * d));
    if (FxOffsetSetup(r, s, FxCeilDiv(2 * d - s, s, 0))) return 1000;
    State(r)->b = d;
    return 0;
  }
  const uint32_t colour = (uint32_t)r->parameter & 0xFFFFFF;
  const bool seek = r->phase == FXPHASE_SEEK;
  if (seek) FxFillBand(r, t, 0, d, colour, FXDRAW_NOREFRESH);
  if (!FxBeginOffsetFrame(r)) return 0;
  FoldState *f = State(r);
  if (r->bgpicEmu) FxRefreshSources(r, f->offset > d ? 2 : 3);
  if (f->offset >= 2 * d) {
    f->offset = 2 * d;
    FxSetDone(done);
  }
  const int32_t o = f->offset, k = FxAtLeast1(o > d ? o - d : d - o), at = low ? d - k : (d - k) / 2;
  const int32_t flags = seek ? FXDRAW_NOREFRESH : 0;
  int rc = PutScaled(r, o <= d ? FxBeforePic(r) : FxSourcePic(r), t, 0, d, k, at, flags);
  if (rc) return rc;
  if (o <= d && !seek) {
    // What the shrinking picture left since the previous frame.
    FxFillBand(r, t, f->a, at - f->a, colour, flags);
    FxFillBand(r, t, at + k, f->a + f->b - at - k, colour, flags);
  }
  f->a = at;
  f->b = k;
  f->offset += r->speed;
  FxEndFrame(r);
  return 0;
}

// ---- CRUSH ----

int Crush(TransitionRecord *r, int32_t *done, int t, int far) {
  const int32_t d = Along(r, t);
  if (r->phase == FXPHASE_SETUP) {
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, d, 60, 30, 120), 1, FxAtLeast1(d));
    return FxOffsetSetup(r, s, FxCeilDiv(d - s, s, 0));
  }
  if (!FxBeginOffsetFrame(r)) return 0;
  FoldState *f = State(r);
  if (r->bgpicEmu) FxRefreshSources(r, 3);
  if (f->offset >= d) {
    f->offset = d;
    FxSetDone(done);
  }
  const int32_t o = f->offset, rest = d - o, flags = FxQuietFlags(r);
  int rc = PutScaled(r, FxSourcePic(r), t, 0, d, o, far ? rest : 0, flags);
  if (!rc && rest > 0) rc = PutScaled(r, FxBeforePic(r), t, 0, d, rest, far ? 0 : o, flags);
  if (rc) return rc;
  f->offset += r->speed;
  FxEndFrame(r);
  return 0;
}

// ---- TURNDOWN ----

int TurnDown(TransitionRecord *r, int32_t *done, int t, int far) {
  const int32_t d = Along(r, t), half = d / 2;
  if (r->phase == FXPHASE_SETUP) {
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, d, 60, 30, 120), 1, FxAtLeast1(d));
    // The offset reaches its end d - s on frame ceil((d - s) / s): the frames really drawn.
    if (FxOffsetSetup(r, s, FxCeilDiv(d - s, s, 1))) return 1000;
    if (r->realTimeLayer) FxPut(r, FxBeforePic(r), 0, 0, r->width, r->height, 0, 0, FXDRAW_NOREFRESH);
    return 0;
  }
  const bool seek = r->phase == FXPHASE_SEEK;
  if (!FxBeginOffsetFrame(r)) return 0;
  FoldState *f = State(r);
  const int32_t s = r->speed, end = d - s, flags = FxQuietFlags(r);
  if (seek) FxPut(r, FxBeforePic(r), 0, 0, r->width, r->height, 0, 0, flags);
  if (r->bgpicEmu) FxRefreshSources(r, 3);
  // A range (start, length) of the member's edge, mirrored for the far members.
  auto M = [&](int32_t start, int32_t len) { return far ? d - start - len : start; };
  int rc = 0;
  if (f->offset >= end) {
    f->offset = end;
    FxSetDone(done);
    FxPut(r, FxSourcePic(r), 0, 0, r->width, r->height, 0, 0, flags);
  } else if (f->offset <= half) {
    const int32_t o = f->offset;
    rc = PutScaled(r, FxSourcePic(r), t, M(0, half), half, o, M(0, o), flags);
    if (!rc && o + s <= half) rc = PutScaled(r, FxBeforePic(r), t, M(0, half), half, half - o, M(o, half - o), flags);
  } else {
    // Past the middle the near half is the source's whole; the far half unfolds.
    const int32_t o = f->offset;
    if (t) FxPut(r, FxSourcePic(r), 0, M(0, half), r->width, half, 0, M(0, half), flags);
    else FxPut(r, FxSourcePic(r), M(0, half), 0, half, r->height, M(0, half), 0, flags);
    rc = PutScaled(r, FxSourcePic(r), t, M(half, d - half), d - half, o - half, M(half, o - half), flags);
  }
  if (rc) return rc;
  f->offset += s;
  FxEndFrame(r);
  return 0;
}

}  // namespace

int FxFlipCoin(TransitionRecord *r, int32_t *done) {
  const int e = r->effect - FX_VFLIPCOIN;  // V, VLOW, H, HLOW
  return FlipCoin(r, done, e < 2, e & 1);
}

int FxCrush(TransitionRecord *r, int32_t *done) {
  const int e = r->effect - FX_CRUSHLEFT;  // left, right, top, bottom
  return Crush(r, done, e >= 2, e & 1);
}

int FxTurnDown(TransitionRecord *r, int32_t *done) {
  const int e = r->effect - FX_TURNDOWNTOP;  // top, bottom, left, right
  return TurnDown(r, done, e < 2, e & 1);
}

// Drawing helpers of the effect families that move, mix or mask whole pictures: pieces of a
// picture placed in the object's area (onto the target, or into a layer's transition buffers),
// the area cleared back to what lies below, the source drawn through a mask over the before
// image, the end of a frame that shows a layer, scaled copies, and the speed tables.
#pragma once
#include <cstdint>
#include "fx/transition.h"

// One picture with its optional visibility planes (mask and alpha sized like the bitmap).
struct FxPic {
  const BitMap *bitmap;
  const Mask *mask;
  const AlphaChannel *alpha;
};
inline FxPic FxSourcePic(const TransitionRecord *r) { return FxPic{r->source, r->mask, r->alpha}; }
inline FxPic FxBeforePic(const TransitionRecord *r) { return FxPic{r->before, nullptr, nullptr}; }

// Layer draw flags of the current call: "buffers only" in a seek or while nothing is shown.
int32_t FxQuietFlags(const TransitionRecord *r);

// Draws (sx, sy, width, height) of the picture at (dx, dy) of the object's area, clipped to the
// area and to the picture: onto the target at the transition's position through the picture's
// planes, or in real-time layer mode into the layer's transition buffers (flags FXDRAW_*, the
// quiet flag added by itself).
void FxPut(TransitionRecord *r, FxPic pic, int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t dx,
           int32_t dy, int32_t flags);
// Makes a rectangle of the area show what lies below: transparent in the layer's transition
// buffers, the before image (when there is one) elsewhere.
void FxClearArea(TransitionRecord *r, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags);
// Draws the source's rectangle (x, y, width, height) at the same place through the given mask or
// alpha over the before image: composed in `frame` (object-sized) and copied to the target, or
// drawn into the layer's transition buffers.
void FxMaskedBlit(TransitionRecord *r, const BitMap *src, int32_t x, int32_t y, int32_t width, int32_t height,
                  const Mask *mask, const AlphaChannel *alpha, BitMap *frame, int32_t flags);
// End of a frame that changed the layer's transition buffers: the layer's rectangle is shown
// (unless nothing is to be shown) and the frame counted.
void FxEndLayerFrame(TransitionRecord *r);

// The speed constants mapped to their values; any other speed is returned as it is.
int32_t FxSpeedValue(int32_t speed, int32_t normal, int32_t fast, int32_t slow);
inline int32_t FxClamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// For every pixel: the source alpha byte (255 without one) where the mask bit is set (clear with
// invert), 0 elsewhere.
void ClipAlphaByMask(const Mask *mask, AlphaChannel *dst, const AlphaChannel *src, int32_t width, int32_t height,
                     int invert);

// A scaled copy that frees itself.
struct FxScaled {
  BitMap *bitmap = nullptr;
  Mask *mask = nullptr;
  AlphaChannel *alpha = nullptr;
  ~FxScaled();
  FxPic Pic() const { return FxPic{bitmap, mask, alpha}; }
};
// Scales the rectangle (sx, sy, sw, sh) of a picture to dw x dh. 0 or the scaler's error; a size
// below 1 gives an empty copy.
int FxScalePic(FxPic pic, int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dw, int32_t dh, FxScaled *out);

// ---- Layer buffers of the mixing effects ----

// A new alpha plane of the object's size holding the source's visibility (its mask or alpha,
// else fully opaque); nullptr when it cannot be allocated.
AlphaChannel *FxPrepareAlpha(const TransitionRecord *r);
// The source's pixels copied into the layer's transition bitmap.
void FxCopySourceToLayer(TransitionRecord *r);
// The layer's visibility plane set to the source's own visibility (visible) or cleared.
void FxSetLayerVisibility(TransitionRecord *r, int visible);
// Level-scaled visibility: the layer's alpha becomes `prepared` x level / 255; a layer with a
// mask instead shows the source from half the level on.
void FxScaleLayerVisibility(TransitionRecord *r, const AlphaChannel *prepared, int32_t level);

// Uncovers a rectangle of the area: the source drawn there through its planes, or on a layer
// being hidden the rectangle cleared to what lies below.
void FxUncover(TransitionRecord *r, int32_t x, int32_t y, int32_t width, int32_t height);

// Seek start of an effect that redraws its state whole: unless the layer's buffers are being
// rebuilt, the area goes back to where the effect began (a layer being hidden whole again,
// else what lies below).
void FxRestartArea(TransitionRecord *r);

// ---- Effects that move or rescale whole pictures by an offset ----

// The private state: the offset and two more positions, as each family uses them.
struct FxOffsetState {
  int32_t offset, a, b;
};
inline FxOffsetState *FxOffsets(TransitionRecord *r) { return (FxOffsetState *)r->privateState; }
// Set-up: the state, the step and the frame count; the offset starts at the step. 0 or 1000.
int FxOffsetSetup(TransitionRecord *r, int32_t step, int32_t frames);
// Start of a run or seek frame (a seek sets the offset of its frame); false in any other phase.
bool FxBeginOffsetFrame(TransitionRecord *r);
// Fills the lines (u, length) across the whole area with a colour: rows (t) or columns.
void FxFillBand(TransitionRecord *r, int t, int32_t u, int32_t length, uint32_t rgb, int32_t flags);

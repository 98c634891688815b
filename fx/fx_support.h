// Routines the effects share: speed and frame arithmetic, drawing one piece of a frame onto
// the target or into a layer's transition buffers, region refresh, rectangle fill, clipped
// copies, and the 8-bit plane made from a 1-bit mask. What needs a display or a layer goes
// through FxHooks, which the transition engine and the layer code fill in.
#pragma once
#include <cstdint>
#include "fx/transition.h"

// FxDrawStep flags.
enum {
  FXDRAW_COMBINE = 1,    // combine the source mask or alpha instead of copying it
  FXDRAW_BLEND = 2,      // blend the pixels through the source mask or alpha
  FXDRAW_ERASE = 4,      // make the rectangle transparent (reverse direction)
  FXDRAW_NOREFRESH = 8,  // do not show the change on the display
  FXDRAW_KEEPEXTRA = 16, // leave the record's extra mask and alpha alone
  FXDRAW_FORCEWINDOW = 32 // copy to the window even on an autoscaled display
};

// What an effect sees of the layer it runs on: the drawn state's transition buffers and the
// drawn position and size.
struct FxLayerView {
  BitMap *bitmap;
  Mask *mask;
  AlphaChannel *alpha;
  int32_t x, y, width, height;
};

// Display and layer services. Every entry may be none: the effect then skips that work.
struct FxHooks {
  // SafeBlt of a piece onto the current display (a record without a target).
  void (*drawToDisplay)(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                        int32_t width, int32_t height, const Mask *mask, const AlphaChannel *alpha,
                        int32_t blitFlags);
  // Fills a rectangle of the window itself with 0xRRGGBB.
  void (*fillWindow)(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb);
  // Copies a rectangle of the display's back buffer to the window.
  void (*bltToWindow)(int32_t x, int32_t y, int32_t width, int32_t height);
  // The current display's back buffer (the fill target on an autoscaled display).
  BitMap *(*backBuffer)(void);
  // Shows one changed region of a layer transition on the display.
  void (*blitRegion)(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                     int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, const Mask *mask,
                     const AlphaChannel *alpha, int32_t flags);
  // Recomposes the before image (bit 1) or the emulated picture (bit 2) when they changed;
  // returns the bits refreshed.
  int (*refreshSources)(TransitionRecord *r, int which);
  // Fills the view of a layer; 0 when the layer has no transition buffers.
  int (*layerView)(kvLayer *layer, FxLayerView *view);
  // Clears the layer's hidden and pending flags so that it is drawn.
  void (*revealLayer)(kvLayer *layer);
  // Moves the layer to (x, y); `option` is handed on (the end of a scroll passes its
  // completed flag).
  void (*setLayerPosition)(kvLayer *layer, int32_t x, int32_t y, int option);
};

// Installs the hooks (copied); nullptr removes them all.
void FxSetHooks(const FxHooks *hooks);
const FxHooks *FxGetHooks(void);

// Step size for a speed: distance / divisor for the three speed constants, the speed itself
// otherwise; never below 1.
int32_t FxStepsForSpeed(int32_t speed, int32_t distance, int32_t normal, int32_t fast, int32_t slow);
// Frames for a travel: 1 for a numerator below 1, else the rounded-up quotient plus 1 unless
// exact.
int32_t FxCeilDiv(int32_t numerator, int32_t divisor, int exact);

// Clips a copy of width x height from (sx, sy) to (dx, dy) against both sizes. 0 when nothing
// is left.
int FxClipPair(int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy, int32_t *width, int32_t *height,
               int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);
// Clipped pixel copy between bitmaps.
void FxCopyRegion(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t width,
                  int32_t height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);
// Clipped draw of a source (through its mask or alpha when given) onto a bitmap; with no
// destination the piece goes to the display through the hooks.
void FxSafeBlt(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
               int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
               int32_t dstHeight, const Mask *mask, const AlphaChannel *alpha, int32_t blitFlags);

int FxRefreshSources(TransitionRecord *r, int which);
void FxBlitRegion(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, const Mask *mask,
                  const AlphaChannel *alpha, int32_t flags);
// Fills a rectangle given relative to the object's position: on the target (the back buffer
// of an autoscaled display, the window when there is no target) or, in real-time layer mode,
// in the layer's transition bitmap.
void FxFillRect(TransitionRecord *r, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                int32_t flags);
// Draws one piece of a frame into a layer's transition buffers (flags FXDRAW_*).
void FxDrawStep(const BitMap *src, int32_t sx, int32_t sy, BitMap *fxBitMap, Mask *fxMask, AlphaChannel *fxAlpha,
                int32_t dx, int32_t dy, int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight,
                int32_t dstWidth, int32_t dstHeight, const Mask *srcMask, const AlphaChannel *srcAlpha,
                TransitionRecord *r, int32_t flags);
void ExpandMask1To8(const Mask *mask, AlphaChannel *alpha, int32_t width, int32_t height);
void PrepareFxMask(AlphaChannel *alpha, const Mask *mask, const AlphaChannel *srcAlpha, int32_t width,
                   int32_t height);

// ---- Helpers of the effect routines ----

// The view of the record's layer; 0 (view cleared) when there is none.
int FxLayerBuffers(TransitionRecord *r, FxLayerView *view);
// Phase-1 start of a frame: lets an attached layer be drawn.
void FxRevealLayer(TransitionRecord *r);
// Draws the rectangle (sx, sy, width, height) of the source at its final place: onto the target
// at (x + sx, y + sy), or in real-time layer mode into the layer's transition buffers.
void FxDrawPiece(TransitionRecord *r, int32_t sx, int32_t sy, int32_t width, int32_t height);
// Phase-1 end of a frame: copies the back buffer of an autoscaled display to the window and
// counts the frame.
void FxEndFrame(TransitionRecord *r);
// Allocates the private state (cleared) of `size` bytes. 0 or 1000.
int FxAllocPrivate(TransitionRecord *r, size_t size);
// Phase-1 start of a frame of a routine without seek: false in any other phase; else lets an
// attached layer be drawn.
bool FxBeginFrame(TransitionRecord *r);
// Marks the last frame (the done word is absent in set-up and seeks).
inline void FxSetDone(int32_t *done) {
  if (done) *done = 1;
}
inline int32_t FxAtLeast1(int32_t v) { return v < 1 ? 1 : v; }

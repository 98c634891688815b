// The layout of one text: measuring styled runs, cutting the text into runs with its format
// tags, wrapping, tabs, trimming, scaling, and handing the runs to the run renderer and the
// result to its destination.
#pragma once
#include <cstdint>

#include "text/text_state.h"

struct lua_State;
struct TransformRecord;
struct Matrix2D;

// A new copy of the state: every field, the text and both tables copied, the images and the
// cached drawing cleared. None when an allocation fails (nothing is left allocated).
TextState *CopyTextState(const TextState *state);
// A state for the text (lent, not copied) in the current font settings; every other field 0.
void InitTextState(TextState *state, const char *text, int32_t alignment, int32_t wrapWidth, int32_t encoding);
// Frees the images, the cached drawing, the text, both tables and the state (none: nothing).
void FreeTextState(TextState *state);
// Shadow and edge size into 1..64, a shadow direction above 7 becomes 3.
void ClampTextSettings(FontSettings *settings);
// The style bits the font engine is asked to draw: bold and italic only when the engine draws
// them itself or the run is anti-aliased; never underline, shadow or edge.
int32_t EngineStyle(FontHandle *font, int32_t style);
// Measures one run in the settings' font and applies the synthetic styles. 0 or the engine's
// error.
int MeasureStyledText(const char *text, int32_t length, int32_t encoding, TextMetrics *metrics,
                      const FontSettings *settings);

// Lays the state's text out and renders it. kind: TEXTKIND_*. noTags: brackets are ordinary
// characters. transform: none or the identity for unscaled text. image: receives the rendering
// for TEXTKIND_TEXTOBJECT (laid out at the transform's scale, not turned), and for every kind
// under TEXTRENDER_LAYEREXISTS (laid out and turned through the transform); the caller owns it.
// flags: TEXTRENDER_*. Every other kind draws onto the current output: the text laid out as it
// is, shown through the transform about its anchor as a picture of it would be. 0 or an error.
int RenderFormattedText(lua_State *L, void *layer, intptr_t layerWord, TextState *state, int kind, int noTags,
                        const TransformRecord *transform, void *result, int flags, RenderedTextImage *image);

// The font the settings draw with: their own, else the built-in one.
FontHandle *FontOf(const FontSettings *settings);
// What is left of a transform after the rendering: all of it for a font that can't scale, the
// turn and shear alone for one that was rendered at the scaled size. 1 when something is left.
int ResidualTransform(const TransformRecord *transform, FontHandle *font, Matrix2D *m);
// The rendering transformed by the matrix into new images (*out) about the text origin: the
// offsets (the picture's corner from the origin) become those of the new picture. 0 or an
// error code.
int TransformTextImage(const Matrix2D *m, int smooth, const RenderedTextImage *image, RenderedTextImage *out,
                       int32_t *offsetX, int32_t *offsetY);

// The run renderer: the runs as one picture (text_render.cpp). 0 or 1000 / an engine error.
int RenderTextRuns(const TextState *state, int32_t startX, int32_t wrapWidth, int antiAlias, int32_t alignment,
                   int extentOnly, TextRun *runs, RenderedTextImage *out);
void FreeRenderedTextImage(RenderedTextImage *image);
// The edge of a run: the coverage plane cov (width x height bytes, columns [x0, x1) in use)
// grown by e pixels to every side into out, (width + 2e + 1) x (height + 2e + 1) bytes of
// which columns [x0, min(x1 + 2e, width + 2e + 1)) are written. Cell (x, y) of out is the sum
// of the cells (k, j) of cov with x - 2e <= k <= x, x0 <= k < x1 and y - 2e <= j <= y, divided
// by 2e + 1 and clamped to 255 (aa), else 255 for any sum above 0. rowSums and sums are scratch
// planes of out's size. Each cell costs the same whatever e is.
void GrowCoverage(const uint8_t *cov, int32_t width, int32_t height, int32_t x0, int32_t x1, int32_t e, int aa,
                  int32_t *rowSums, int32_t *sums, uint8_t *out);

// Draws a rendering onto the current output at (x, y) (text_print.cpp). 0 or 1347.
int BlitTextImage(const RenderedTextImage *image, int32_t x, int32_t y);
// Hands the rendering to a new layer of that kind (TEXTKIND_TEXTOUT, TEXTKIND_PRINT) with its
// corner at (x, y) on the current picture, transformed by the transform (none: identity) about
// its anchor; the images belong to the layer afterwards, which keeps a copy of the state to lay
// the text out again when scaled. 0 or an error.
int AddTextImageLayer(lua_State *L, int kind, RenderedTextImage *image, int32_t x, int32_t y, const TextState *state,
                      const TransformRecord *transform);
// Sets the current display's text cursor (text_print.cpp).
void SetTextCursor(int32_t x, int32_t y);

// The layout alone (no scaling, no rendering): the runs in text order and the layout buffer
// they point into, both for the caller to free with FreeTextRuns. 0 or an error code.
int LayoutTextRuns(lua_State *L, TextState *state, int kind, int noTags, TextRun **runs, char **buffer);
void FreeTextRuns(TextRun *runs, char *buffer);

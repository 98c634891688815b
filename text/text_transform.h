// Text shown through a transform as a picture of it would be: the anchor point stays in place, a
// scalable font is laid out again at the new size and any other transform is done to the
// picture by the graphics core.
#pragma once
#include <cstdint>

#include "text/text_state.h"

struct TransformRecord;

// The corner of a width x height picture for a text origin at x, y whose picture lies at ox, oy
// from the origin; position constants place the picture's box as if it had no anchor (t may be
// none: no anchor).
void ResolveTextCorner(int32_t x, int32_t y, int32_t width, int32_t height, int32_t ox, int32_t oy,
                       const TransformRecord *t, int32_t *px, int32_t *py);
// Draws the text's picture (its corner at cornerX, cornerY from the text origin, laid out through
// base, none: identity) onto the current output through t, as a brush of that picture shown at
// (px, py) with t is drawn: t's anchor point stays where it lies on the untransformed picture.
// The text itself is left as it was. 0 or an error code.
int DrawTextThrough(const TextState *text, int kind, const TransformRecord *base, const RenderedTextImage *picture,
                    int32_t cornerX, int32_t cornerY, int32_t px, int32_t py, const TransformRecord *t);

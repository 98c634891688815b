// Changing the content of shape layers from a style table: the shape keys read into a shape
// record, the layer drawn anew from it in place of the old one, and the keys read back.
#pragma once
#include <cstdint>

#include "pictures/draw_render.h"

struct BGPicNode;
struct LayerOptions;
struct kvLayer;
struct lua_State;

// The shape a layer is to show: its geometry, colour and draw style. A polygon's points lie in
// buffers of the reader's, good until the next ReadShapeContent (the layer state built from the
// record copies them; FreeShapeContent lets them go).
struct ShapeContent {
    ShapeLayerState shape;     // LINE: x1 .. y2 are absolute end points
    int placed;                // a line: its end points place the layer
    int32_t shiftX, shiftY;    // new vertices: their offset moves the layer
};

int IsShapeLayerKind(int32_t type);
// Reads the shape keys of the table at t for a layer that is to become (or stay) `type`,
// starting from the layer's own shape, else from the current draw style and the layer's size.
// *changed is set when a key was present. A change of kind without the new kind's defining keys
// gives 1014; bad sizes and radii 1055.
int ReadShapeContent(lua_State *L, int t, const kvLayer *l, int32_t type, ShapeContent *c, int *changed);
void FreeShapeContent(ShapeContent *c);
// Draws the shape as a new layer that takes the place of the layer at `index` of the current
// picture (the old record is freed); lo gives its name, group and look. *out gets the new
// layer. 0 or an error code (the old layer stays then).
int RebuildShapeLayer(BGPicNode *pic, int32_t index, const ShapeContent *c, const LayerOptions *lo, kvLayer **out);
// Sets the shape keys of a shape layer into the table on top of the stack.
void PushShapeContent(lua_State *L, const kvLayer *l);

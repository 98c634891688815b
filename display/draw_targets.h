// The display side of the draw library: the current output target of the current display
// (the display itself, a selected BGPic, brush, mask or alpha channel, or the double buffer)
// described for the shape renderer, the option tables of the shape commands, and the shape
// layers the renderer hands to the layer code.
#pragma once

struct LayerState;
struct ShapeLayerState;
struct DrawTarget;
struct lua_State;

// Installs the target provider and the option reader of the draw commands.
void ConnectDrawTargets(void);
// Describes the current display's output target for the shape renderers (their re-render
// entries included). The record refers to itself, so it must stay where it was filled while
// it is used. 0, or 1347 without a current display.
int GetDisplayDrawTarget(lua_State *L, DrawTarget *target);

// The shape parameters (type, geometry, colour, style) a shape layer was made from, kept
// behind its requested state; none for a state the shape code did not make.
const ShapeLayerState *ShapeLayerParams(int layerType, const LayerState *sourceState);

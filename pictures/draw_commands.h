// The draw library's commands: SetFillStyle, SetFormStyle, Plot, ReadPixel, Cls, Box, Ellipse,
// Circle, Arc, Line and Polygon, with their constants. They read and check their arguments and
// hand the shape to the renderer; the display code supplies the current output target through
// a provider, and the option tables of the shape commands through a reader.
#pragma once
#include <cstdint>

#include "pictures/draw_render.h"

struct lua_State;

// Fills the description of the current output target. 0 or an error code.
typedef int (*DrawTargetProvider)(lua_State *L, DrawTarget *target);
void SetDrawTargetProvider(DrawTargetProvider provider);

// Reads the option table at `index` of a shape of width x height into the transform and the
// layer options (flags: 1 always, 4 "width" and "height" ignored, 8 "rotate" ignored). 0 or an
// error code.
typedef int (*DrawOptionReader)(lua_State *L, int index, int32_t width, int32_t height, int flags,
                                ShapeTransform *transform, void **layerOptions);
void SetDrawOptionReader(DrawOptionReader reader);

// Reads `count` (x, y) pairs from the table at `index` from its indexes 0, 1, 2 ... (count 0:
// until the x entry is nil) into `points` (room for MAX_POLYGON_POINTS + 1 points), closes and
// moves the polygon as FinishPolygonPoints does. 0, 1066 for a 1000th point with count 0, or
// 1189 for an entry that is no number.
int ReadPolygonTable(lua_State *L, int index, int32_t count, double *points, int32_t *outCount, int32_t *width,
                     int32_t *height, int32_t *minX, int32_t *minY);

// Registers the commands and the 27 constants and builds the tables (1000 when they can't be
// made); CloseDrawCommands frees the tables.
int OpenDrawCommands(lua_State *L);
void CloseDrawCommands(void);

// The draw library's style record: the current fill style (none, colour, gradient, texture)
// and form style (normal, or any mix of anti-alias, shadow and edge) that every shape command
// and every shape layer uses, its clamp, the rules of SetFillStyle and SetFormStyle as plain
// functions on a record, the library's named constants and its process-wide tables.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"

// Fill styles.
enum { FILLNONE = 0, FILLCOLOR = 1, FILLGRADIENT = 2, FILLTEXTURE = 3 };
// Form-style flags (shared with the text styles).
enum { FORM_NORMAL = 1, FORM_ANTIALIAS = 16, FORM_SHADOW = 32, FORM_EDGE = 64 };
// Shadow directions: north, then clockwise in steps of 45 degrees.
enum {
  SHDW_NORTH = 0,
  SHDW_NORTHEAST = 1,
  SHDW_EAST = 2,
  SHDW_SOUTHEAST = 3,
  SHDW_SOUTH = 4,
  SHDW_SOUTHWEST = 5,
  SHDW_WEST = 6,
  SHDW_NORTHWEST = 7
};
// Gradient type #LINEAR (the only one drawn).
enum { GRADIENT_LINEAR = 2 };
// Largest edge and shadow size.
enum { MAX_EFFECT_SIZE = 64 };

// Colours of the style are 0xRRGGBB, or 0xTTRRGGBB where TT is a transparency (0 opaque to 255
// invisible).
struct DrawStyle {
  int32_t fillStyle;       // FILLNONE..FILLTEXTURE
  uint32_t formStyle;      // FORM_NORMAL, or an OR of the other FORM_ flags (bit 0 may stay set)
  int32_t gradientType;    // stored only
  uint32_t gradientStart;  // 0xRRGGBB
  uint32_t gradientEnd;
  int32_t gradientAngle;   // degrees
  ObjectId texture;        // brush tiled by FILLTEXTURE, looked up when a shape is drawn
  int32_t edgeSize;        // 1..64
  uint32_t edgeColour;     // 0xTTRRGGBB
  int32_t shadowSize;      // 1..64
  int32_t shadowDirection; // SHDW_*
  uint32_t shadowColour;   // 0xTTRRGGBB
  int32_t thickness;       // outline width of FILLNONE shapes, at least 1
  int32_t textureX;        // start offset into the tiled brush
  int32_t textureY;
};

// The process-wide record (the layer code copies it into shape layers).
DrawStyle *GetDrawStyle(void);
// Clears a record and gives it the defaults.
void ResetDrawStyle(DrawStyle *style);
// Keeps a record within its ranges: thickness at least 1, edge and shadow size 1..64, a
// direction outside 0..7 becomes south-east, a fill style outside 0..3 becomes FILLNONE.
void ClampDrawStyle(DrawStyle *style);

// The arguments of SetFillStyle and SetFormStyle after the style number, as the handler read
// them: count = number of arguments in the call (the style included), values 2.. in the order
// given (numbers as doubles, integers exact); texture is argument 2 of FILLTEXTURE.
struct StyleArgs {
  int count;
  double value[5];  // value[i] is argument i + 1; value[0] is the style number
  ObjectId texture;
};
// SetFillStyle: 0, or 1055 for an unknown style (nothing changed). The clamp runs after a
// valid style.
int ApplyFillStyle(DrawStyle *style, const StyleArgs *args);
// SetFormStyle: 0, or 1193 when a combined style comes with further arguments (nothing
// changed).
int ApplyFormStyle(DrawStyle *style, const StyleArgs *args);

// Shadow offset (dx, dy) of a direction for size s.
void ShadowOffset(int32_t direction, int32_t size, int32_t *dx, int32_t *dy);

// Process-wide tables built once and freed at close: cosine and sine of whole degrees
// (DrawCosTable()[i] = cos(i), DrawSinTable()[i] = -sin(i), i = 0..360) and the renderers'
// point buffers. 0 or 1000; a second call keeps the tables.
int OpenDrawTables(void);
void CloseDrawTables(void);
const double *DrawCosTable(void);
const double *DrawSinTable(void);
// Scratch point buffers of DRAW_POINT_CAPACITY points each: three of integer pairs, three of
// double pairs (nullptr while the tables are closed).
enum { DRAW_POINT_CAPACITY = 1001 };
int32_t *DrawIntPoints(int which);
double *DrawDoublePoints(int which);

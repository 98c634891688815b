// The brush library's command handlers and the creating cores other code calls.
#pragma once
#include <cstdint>

#include "pictures/brush.h"

struct lua_State;

// CreateBrush's body (also the layer code's CreateLayer): a width x height brush filled with the
// colour, with a mask or an alpha channel when asked (all visible, or all invisible with clear).
// *id: a non-zero handle asks for an automatic id. 0, 1218 or 1000.
int CreateBrushObject(ObjectId *id, int32_t width, int32_t height, uint32_t colour, int withMask, int withAlpha,
                      int clear);
// A colour argument as a 32-bit word (-1 and 4294967295 are the same).
uint32_t ColourArg(lua_State *L, int i);

int CreateBrush(lua_State *L);
int LoadBrush(lua_State *L);
int CopyBrush(lua_State *L);
int ConvertToBrush(lua_State *L);
int GetBrushLink(lua_State *L);
int GrabDesktop(lua_State *L);

int ScaleBrush(lua_State *L);
int TintBrush(lua_State *L);
int ReplaceColors(lua_State *L);
int InvertBrush(lua_State *L);
int FlipBrush(lua_State *L);
int MixBrush(lua_State *L);
int BrushToGray(lua_State *L);
int RotateBrush(lua_State *L);
int TransformBrush(lua_State *L);
int SetBrushTransparency(lua_State *L);
int DeleteAlphaChannel(lua_State *L);
int CropBrush(lua_State *L);
int InvertMask(lua_State *L);
int InvertAlphaChannel(lua_State *L);
int FloodFill(lua_State *L);
int DeleteMask(lua_State *L);
int TrimBrush(lua_State *L);

// Lets the clipboard commands take a brush's picture and make brushes of pictures (brush_clipboard.cpp).
void ConnectBrushClipboard(void);

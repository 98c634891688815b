// Calls the display code makes into parts of the display subsystem that come with later work
// (layers and their redraw, sprites, asynchronous drawing, double buffering, off-screen
// selections, buttons, pointers, brushes). Their stand-ins live in display_pending.cpp; whoever
// builds one of these parts deletes its stand-in there and keeps the declaration's meaning.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"

struct lua_State;
struct DisplayRecord;
struct BGPicNode;
struct ClipRegionNode;

// Recomposes a rectangle of the BGPic (background, visible layers, sprites) into dst at the
// same coordinates (flags REDRAW_*, display/layer.h). 0. Built in display/layer_redraw.cpp.
int Redraw(DisplayRecord *display, BGPicNode *bgpic, BitMap *dst, int32_t x, int32_t y, int32_t width,
           int32_t height, int offset, int flags);
// Rebuilds the scaled and drawn states of every layer of the display's BGPic. Built in
// display/layer_state.cpp, as is DropScaledLayerStates.
int RebuildAllLayers(lua_State *L, DisplayRecord *display);
// Drops the layers' scaled states (back to the requested ones).
void DropScaledLayerStates(BGPicNode *bgpic);
// 0 when layers can be switched on now, else the error. Built in display/layer_objects.cpp.
int CanEnableLayers(lua_State *L, DisplayRecord *display);
// Layers that show a part of this BGPic get their own copy before it changes. 0 or an error.
// Built in display/bgpic_objects.cpp.
int DetachBGPicFromLayers(lua_State *L, BGPicNode *bgpic);
// Ends double buffering on the display: the drawing buffer becomes its picture, the output goes
// back to the display (the window is not redrawn). Built in display/output_select_doublebuffer.cpp.
void EndDisplayDoubleBuffer(lua_State *L, DisplayRecord *display);
// Ends any off-screen selection of the display: back into a suspended double buffer, else to the
// display (a selected shown BGPic gets its collected damage redrawn unless noRefresh); a BGPic
// drawn into through SelectBGPic modes 0/1 gets its picture and shown sets rescaled from the
// changed source. 0 or an error code. Built in display/output_select_end.cpp.
int SetBGPicOutput(lua_State *L, DisplayRecord *display, int noRefresh = 0);
// Frees the on-screen sprites of a BGPic.
void FreeOnScreenSprites(lua_State *L, BGPicNode *bgpic);
// Frees the asynchronous drawing objects of one display (none: of every display). Built in
// display/asyncdraw.cpp, as is PollAsyncDraws.
void FreeAsyncDraws(lua_State *L, DisplayRecord *display);
// The picture of a busy #ADF_FX object of the display, or none.
BGPicNode *PollAsyncDraws(DisplayRecord *display);
// Presents a double-buffered or buffer-presented display: its front buffer to the window (with
// `whole` also the strips of the display bitmap right of and below it). Built in
// display/output_select_doublebuffer.cpp.
void PresentDisplayBuffer(DisplayRecord *display, int whole, int flags);
// Replaces the front buffer of a double-buffered display by a black one of the display's shown
// size and shows it. 0 or 1000. Built in display/output_select_doublebuffer.cpp.
int ReallocScaledBuffer(DisplayRecord *display);
// Clears the pressed and over states of the BGPic's buttons. Built in display/event_buttons.cpp.
void ResetButtonStates(BGPicNode *bgpic);
// Layer buttons (built in display/layer_objects.cpp). The layer at a 1-based position of the
// BGPic's layer list, or none.
struct kvLayer;
kvLayer *GetButtonLayer(BGPicNode *bgpic, int position);
// 1 while the layer exists: its 1-based position (-1 when absent), its name ("" when none) and
// whether it is hidden (each output may be none); 0 when the layer is unknown.
int LayerButtonInfo(const kvLayer *layer, int *position, const char **name, int *hidden);
// Whether a point in window coordinates hits the layer's drawn shape (with pixelTest: a visible
// pixel of it).
int LayerButtonHitTest(DisplayRecord *display, const kvLayer *layer, int pixelTest, int32_t x, int32_t y);
// Shows the display's current pointer in its window (after the window opened).
void ApplyDisplayPointer(DisplayRecord *display);
// Recomposes a rectangle that a blit shares with sprites: the source goes under the sprites.
// Built in display/sprite_show.cpp, as are FreeOnScreenSprites and the sprite drawing that
// Redraw ends with (DrawSpriteInstances, display/sprite.h).
void RecomposeWithSprites(DisplayRecord *display, const BitMap *src, int32_t sx, int32_t sy, BitMap *dst,
                          int32_t dx, int32_t dy, int32_t width, int32_t height, int flags, const Mask *srcMask,
                          const AlphaChannel *srcAlpha, const ClipRegionNode *region);
// The image of a brush used as a texture: 0, or 1174 "Could not find brush %ld!". Built in
// display/bgpic_objects.cpp.
int GetTextureBrush(uint32_t brush, const BitMap **bitmap, int32_t *width, int32_t *height);
// Blits a brush onto a BGPic at a position (position constants resolved against the BGPic).
void DrawBrushOnBGPic(lua_State *L, void *brushHandle, void *bgpicHandle, int32_t x, int32_t y);

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

// Recomposes a rectangle of the BGPic (background, visible layers, sprites) into dst at the
// same coordinates. 0 or 1000.
int Redraw(DisplayRecord *display, BGPicNode *bgpic, BitMap *dst, int32_t x, int32_t y, int32_t width,
           int32_t height, int offset, int flags);
// Rebuilds the scaled and drawn states of every layer of the display's BGPic.
int RebuildAllLayers(lua_State *L, DisplayRecord *display);
// Drops the layers' scaled states (back to the requested ones).
void DropScaledLayerStates(BGPicNode *bgpic);
// 0 when layers can be switched on now, else the error.
int CanEnableLayers(lua_State *L, DisplayRecord *display);
// Layers that show a part of this BGPic get their own copy before it changes. 0 or an error.
int DetachBGPicFromLayers(lua_State *L, BGPicNode *bgpic);
// Ends double buffering on the display.
void EndDisplayDoubleBuffer(lua_State *L, DisplayRecord *display);
// Ends an off-screen output selection: output goes back to the display.
void SetBGPicOutput(lua_State *L, DisplayRecord *display);
// Frees the on-screen sprites of a BGPic.
void FreeOnScreenSprites(lua_State *L, BGPicNode *bgpic);
// Frees the asynchronous drawing objects of one display (none: of every display).
void FreeAsyncDraws(lua_State *L, DisplayRecord *display);
// The picture of a busy #ADF_FX object of the display, or none.
BGPicNode *PollAsyncDraws(DisplayRecord *display);
// Presents a double-buffered or buffer-presented display.
void PresentDisplayBuffer(DisplayRecord *display, int whole, int flags);
// Re-allocates the scaled presentation buffer of a double-buffered display. 0 or 1000.
int ReallocScaledBuffer(DisplayRecord *display);
// Clears the pressed and over states of the BGPic's buttons.
void ResetButtonStates(BGPicNode *bgpic);
// Shows the display's current pointer in its window (after the window opened).
void ApplyDisplayPointer(DisplayRecord *display);
// Recomposes a rectangle that a blit shares with sprites: the source goes under the sprites.
void RecomposeWithSprites(DisplayRecord *display, const BitMap *src, int32_t sx, int32_t sy, BitMap *dst,
                          int32_t dx, int32_t dy, int32_t width, int32_t height, int flags, const Mask *srcMask,
                          const AlphaChannel *srcAlpha);
// The image of a brush used as a texture: 0, or 1174 "Could not find brush %ld!".
int GetTextureBrush(uint32_t brush, const BitMap **bitmap, int32_t *width, int32_t *height);
// Blits a brush onto a BGPic at a position (position constants resolved against the BGPic).
void DrawBrushOnBGPic(lua_State *L, void *brushHandle, void *bgpicHandle, int32_t x, int32_t y);

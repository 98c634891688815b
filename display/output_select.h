// Off-screen output: a display draws into a selected BGPic, brush, mask or alpha channel until
// EndSelect, or into a hidden drawing buffer that Flip shows at once (double buffering).
//
// A selection fills the display's selection record (a BGPicNode-shaped record) and makes it the
// current picture; the first drawing into it prepares the target (GetOutputBitmap). Ending a
// selection (SetBGPicOutput) brings the output back to the display, or back into the double
// buffer when the selection was made while double buffering.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"

struct lua_State;
struct DisplayRecord;
struct BGPicNode;

// Selection modes of SelectBGPic and SelectBrush (#SELMODE_*).
enum { SELMODE_NORMAL = 0, SELMODE_COMBO = 1, SELMODE_LAYERS = 2 };

// Fills a selection or double-buffer record: kind, node, frame (0-based), id (none: number 0 and
// the record's address), the images in all three sets and the size in all three pairs. With
// clear the record is zero-filled and its layer list initialised first.
void InitBGPicRecord(BGPicNode *record, uint32_t kind, void *node, uint32_t frame, const ObjectId *id,
                     BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t width, int32_t height, int clear);

// Makes an object the drawing target of the current display: kind OBJTYPE_BGPIC (source images),
// OBJTYPE_BRUSH; outputType OBJTYPE_BRUSH, OBJTYPE_MASK or OBJTYPE_ALPHACHANNEL; frame 1-based
// (anims); mode SELMODE_*. 0 or an error code.
int SelectOutput(lua_State *L, uint32_t kind, ObjectId id, uint32_t outputType, int32_t frame, int mode);

// Ending a selection is SetBGPicOutput (display/display_pending.h), which the display code calls.

// Prepares the current display's selected target before the first drawing (a missing mask or
// alpha channel is created for MASK or ALPHACHANNEL output). Returns the bitmap to draw into
// (none for MASK/ALPHACHANNEL outputs) through *bitmap. 0 or an error code.
int GetOutputBitmap(DisplayRecord *display, BitMap **bitmap);

// Shows the drawing buffer in the window (Flip's body without the frame wait). 0 or 1244.
int FlipDisplay(DisplayRecord *display);
// Presents the current display and waits out the rest of its frame.
void VWaitDisplay(lua_State *L);

// Commands of the brush library.
int SelectBrush(lua_State *L);
int SelectMask(lua_State *L);
int SelectAlphaChannel(lua_State *L);
int BeginDoubleBuffer(lua_State *L);
int EndDoubleBuffer(lua_State *L);
int Flip(lua_State *L);
// Commands of the bgpic library.
int SelectBGPic(lua_State *L);
int EndSelect(lua_State *L);

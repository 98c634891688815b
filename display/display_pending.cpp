// Stand-ins for the parts of the display subsystem that later work builds (see
// display_pending.h). Each behaves as if its part had nothing to do: no layers, no sprites, no
// asynchronous drawing, no double buffering, no selections, no buttons, no custom pointers and
// no brushes. Whoever builds a part deletes its stand-in here.
#include "display/display_pending.h"

#include "display/bgpic.h"
#include "display/display.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "runtime/errors.h"

void DrawBrushOnBGPic(lua_State *L, void *brushHandle, void *bgpicHandle, int32_t x, int32_t y) {}

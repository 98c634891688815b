// Stand-ins for the parts of the display subsystem that later work builds (see
// display_pending.h). Each behaves as if its part had nothing to do: no layers, no sprites, no
// asynchronous drawing, no double buffering, no selections, no buttons, no custom pointers and
// no brushes. Whoever builds a part deletes its stand-in here.
#include "display/display_pending.h"

#include "display/bgpic.h"
#include "display/display.h"
#include "gfx/blit.h"
#include "runtime/errors.h"

// Without layers and sprites a redraw is the background alone.
int Redraw(DisplayRecord *display, BGPicNode *bgpic, BitMap *dst, int32_t x, int32_t y, int32_t width,
           int32_t height, int offset, int flags)
{
    if (!bgpic || !dst) return 0;
    const BitMap *src = bgpic->shownBitMap;
    if (display && display->bgpic == bgpic && display->displayBitMap) src = display->displayBitMap;
    if (!src) return 0;
    int32_t sx = x, sy = y, dx = x, dy = y;
    ClipBltRect(nullptr, &sx, &sy, &dx, &dy, &width, &height, src->width, src->height, dst->width,
                dst->height, 0);
    if (sx < 0 || sy < 0 || width < 1 || height < 1) return 0;
    BltBitMap(src, sx, sy, dst, dx, dy, width, height);
    return 0;
}

int RebuildAllLayers(lua_State *L, DisplayRecord *display) { return 0; }
void DropScaledLayerStates(BGPicNode *bgpic) {}
int CanEnableLayers(lua_State *L, DisplayRecord *display) { return 0; }
int DetachBGPicFromLayers(lua_State *L, BGPicNode *bgpic) { return 0; }
void EndDisplayDoubleBuffer(lua_State *L, DisplayRecord *display) {}
void SetBGPicOutput(lua_State *L, DisplayRecord *display)
{
    if (display) display->outputType = OBJTYPE_DISPLAY;
}
void FreeOnScreenSprites(lua_State *L, BGPicNode *bgpic) {}
void FreeAsyncDraws(lua_State *L, DisplayRecord *display) {}
BGPicNode *PollAsyncDraws(DisplayRecord *display) { return nullptr; }
void PresentDisplayBuffer(DisplayRecord *display, int whole, int flags) {}
int ReallocScaledBuffer(DisplayRecord *display) { return 0; }
void ResetButtonStates(BGPicNode *bgpic) {}
void ApplyDisplayPointer(DisplayRecord *display) {}
void RecomposeWithSprites(DisplayRecord *display, const BitMap *src, int32_t sx, int32_t sy, BitMap *dst,
                          int32_t dx, int32_t dy, int32_t width, int32_t height, int flags, const Mask *srcMask,
                          const AlphaChannel *srcAlpha)
{
}

int GetTextureBrush(uint32_t brush, const BitMap **bitmap, int32_t *width, int32_t *height)
{
    SetErrorNumber((long)brush);
    return 1174;
}

int RectOverlapsSprites(const BGPicNode *bgpic, int32_t x, int32_t y, int32_t width, int32_t height)
{
    return 0;
}

void DrawBrushOnBGPic(lua_State *L, void *brushHandle, void *bgpicHandle, int32_t x, int32_t y) {}

// The graphics library: its command table and its 140 constants, the open and close functions
// (the fallback display, every pointer and clip region) and the runtime-tag handlers of its
// drawing state (tag 5 the mask mode, tag 7 the alpha intensity).
#include <cstring>

#include "display/asyncdraw.h"
#include "display/display.h"
#include "display/graphics.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

int GraphicsMaskMode = MASKVISIBLE;
int GraphicsAlphaIntensity = -1;

int GfxRed(lua_State *L);
int GfxGreen(lua_State *L);
int GfxBlue(lua_State *L);
int GfxRGB(lua_State *L);
int GfxARGB(lua_State *L);
int GfxMixRGB(lua_State *L);
int GfxGetRealColor(lua_State *L);
int GfxGetRandomColor(lua_State *L);
int GfxGetPen(lua_State *L);
int GfxIsPicture(lua_State *L);
int GfxVWait(lua_State *L);
int GfxSetFPSLimit(lua_State *L);
int GfxGetFPSLimit(lua_State *L);
int GfxDumpVideoTime(lua_State *L);

static const luaL_reg GraphicsCommands[] = {
    {"Red", GfxRed},
    {"Green", GfxGreen},
    {"Blue", GfxBlue},
    {"RGB", GfxRGB},
    {"ARGB", GfxARGB},
    {"MixRGB", GfxMixRGB},
    {"GetRealColor", GfxGetRealColor},
    {"GetRandomColor", GfxGetRandomColor},
    {"GetPen", GfxGetPen},
    {"IsPicture", GfxIsPicture},
    {"VWait", GfxVWait},
    {"SetFPSLimit", GfxSetFPSLimit},
    {"GetFPSLimit", GfxGetFPSLimit},
    {"SaveSnapshot", GfxSaveSnapshot},
    {"GetAttribute", GfxGetAttribute},
    {"CreateClipRegion", GfxCreateClipRegion},
    {"SetClipRegion", GfxSetClipRegion},
    {"FreeClipRegion", GfxFreeClipRegion},
    {"CreatePointer", GfxCreatePointer},
    {"SetPointer", GfxSetPointer},
    {"FreePointer", GfxFreePointer},
    {"ShowPointer", GfxShowPointer},
    {"HidePointer", GfxHidePointer},
    {"MovePointer", GfxMovePointer},
    {"DumpVideoTime", GfxDumpVideoTime},
    {"AsyncDrawFrame", GfxAsyncDrawFrame},
    {"FinishAsyncDraw", GfxFinishAsyncDraw},
    {"CancelAsyncDraw", GfxCancelAsyncDraw},
    {nullptr, nullptr},
};

static const luaL_Constant GraphicsConstants[] = {
    // Positions.
    {"CENTER", nullptr, -100000}, {"LEFT", nullptr, -90000}, {"RIGHT", nullptr, -80000},
    {"TOP", nullptr, -70000}, {"BOTTOM", nullptr, -60000}, {"LEFTOUT", nullptr, -50000},
    {"RIGHTOUT", nullptr, -40000}, {"TOPOUT", nullptr, -30000}, {"BOTTOMOUT", nullptr, -20000},
    {"USELAYERPOSITION", nullptr, 100000}, {"KEEPASPRAT", nullptr, 100000},
    // Object types.
    {"BGPIC", nullptr, 1}, {"BRUSH", nullptr, 3}, {"ANIM", nullptr, 4}, {"TEXTOBJECT", nullptr, 8},
    {"TEXTOUT", nullptr, 9}, {"UNDO", nullptr, 10}, {"PRINT", nullptr, 11}, {"BRUSHPART", nullptr, 12},
    {"BGPICPART", nullptr, 13}, {"DISPLAY", nullptr, 21}, {"LAYER", nullptr, 22}, {"HIDEBRUSH", nullptr, 23},
    {"INSERTBRUSH", nullptr, 24}, {"HIDELAYER", nullptr, 25}, {"REMOVELAYER", nullptr, 26},
    {"SHAPE", nullptr, 28}, {"MASK", nullptr, 28}, {"NEXTFRAME", nullptr, 29}, {"ALPHACHANNEL", nullptr, 30},
    {"SPRITE", nullptr, 32}, {"NEXTFRAME2", nullptr, 34}, {"CLIPREGION", nullptr, 35}, {"POINTER", nullptr, 36},
    {"ASYNCDRAW", nullptr, 37}, {"DOUBLEBUFFER", nullptr, 38}, {"MEMORY", nullptr, 39},
    {"EVENTHANDLER", nullptr, 40}, {"INTERVAL", nullptr, 41}, {"TIMEOUT", nullptr, 42}, {"FONT", nullptr, 43},
    {"FILE", nullptr, 44}, {"DIRECTORY", nullptr, 45}, {"BRUSH_VS_BOX", nullptr, 46},
    {"LAYER_VS_BOX", nullptr, 47}, {"SPRITE_VS_BOX", nullptr, 48}, {"VECTORPATH", nullptr, 49},
    // Attributes.
    {"ATTRWIDTH", nullptr, 0}, {"ATTRHEIGHT", nullptr, 1}, {"ATTRMAXWIDTH", nullptr, 2},
    {"ATTRMAXHEIGHT", nullptr, 3}, {"ATTRBGPIC", nullptr, 4}, {"ATTRTRANSPARENTCOLOR", nullptr, 5},
    {"ATTRLAYERS", nullptr, 6}, {"ATTRXPOS", nullptr, 7}, {"ATTRYPOS", nullptr, 8}, {"ATTRTYPE", nullptr, 9},
    {"ATTRVISIBLE", nullptr, 10}, {"ATTRNUMFRAMES", nullptr, 11}, {"ATTRCURFRAME", nullptr, 12},
    {"ATTRLAYERID", nullptr, 13}, {"ATTRDURATION", nullptr, 14}, {"ATTRPITCH", nullptr, 15},
    {"ATTRHASMASK", nullptr, 16}, {"ATTRHASALPHA", nullptr, 17}, {"ATTRPOSITION", nullptr, 18},
    {"ATTRFORMAT", nullptr, 19}, {"ATTRBITRATE", nullptr, 20}, {"ATTRCURSORX", nullptr, 21},
    {"ATTRCURSORY", nullptr, 22}, {"ATTRONSCREEN", nullptr, 23}, {"ATTRBORDERLEFT", nullptr, 24},
    {"ATTRBORDERTOP", nullptr, 25}, {"ATTRBORDERRIGHT", nullptr, 26}, {"ATTRBORDERBOTTOM", nullptr, 27},
    {"ATTRHOSTWIDTH", nullptr, 28}, {"ATTRHOSTHEIGHT", nullptr, 29}, {"ATTRFONTASCENDER", nullptr, 30},
    {"ATTRFONTDESCENDER", nullptr, 31}, {"ATTRFONTNAME", nullptr, 32}, {"ATTRFONTSIZE", nullptr, 33},
    {"ATTRFONTSCALABLE", nullptr, 34}, {"ATTRFONTAA", nullptr, 35}, {"ATTRTEXT", nullptr, 36},
    {"ATTRFRAMEDELAY", nullptr, 37}, {"ATTRPOINTER", nullptr, 38}, {"ATTRCLIPREGION", nullptr, 39},
    {"ATTRSTATE", nullptr, 40}, {"ATTRACTIVE", nullptr, 41}, {"ATTRMODE", nullptr, 42},
    {"ATTRSCALEMODE", nullptr, 43}, {"ATTRSCALEWIDTH", nullptr, 44}, {"ATTRSCALEHEIGHT", nullptr, 45},
    {"ATTRBORDERLESS", nullptr, 46}, {"ATTRFIXED", nullptr, 47}, {"ATTRSIZEABLE", nullptr, 48},
    {"ATTRNOHIDE", nullptr, 49}, {"ATTRNOMODESWITCH", nullptr, 50}, {"ATTRTITLE", nullptr, 51},
    {"ATTRMARGINLEFT", nullptr, 52}, {"ATTRMARGINRIGHT", nullptr, 53}, {"ATTROUTPUTDEVICE", nullptr, 54},
    {"ATTRDOUBLEBUFFER", nullptr, 55}, {"ATTRHOSTDEPTH", nullptr, 56}, {"ATTRSIZE", nullptr, 57},
    {"ATTRFUNCTION", nullptr, 58}, {"ATTRUSERDATA", nullptr, 59}, {"ATTRCOUNT", nullptr, 60},
    {"ATTRNOCLOSE", nullptr, 61}, {"ATTRGROUP", nullptr, 62}, {"ATTRMASKMODE", nullptr, 63},
    {"ATTRALPHAINTENSITY", nullptr, 64}, {"ATTRRAWXPOS", nullptr, 65}, {"ATTRRAWYPOS", nullptr, 66},
    {"ATTRRAWWIDTH", nullptr, 67}, {"ATTRRAWHEIGHT", nullptr, 68},
    // Speeds.
    {"NORMALSPEED", nullptr, -1}, {"FASTSPEED", nullptr, -2}, {"SLOWSPEED", nullptr, -3},
    {"DEFAULTSPEED", nullptr, -4}, {"LINEAR", nullptr, 2},
    // Snapshots and file formats.
    {"SNAPWINDOW", nullptr, 0}, {"SNAPDISPLAY", nullptr, 1}, {"SNAPDESKTOP", nullptr, 2},
    {"IMGFMT_BMP", nullptr, 0}, {"IMGFMT_PNG", nullptr, 1}, {"IMGFMT_JPEG", nullptr, 2},
    {"IMGFMT_GIF", nullptr, 3}, {"IMGFMT_ILBM", nullptr, 4}, {"ANMFMT_GIF", nullptr, 0},
    {"ANMFMT_MJPEG", nullptr, 1}, {"IMAGETYPE_RASTER", nullptr, 0},
    // Pointers and asynchronous drawing.
    {"STDPTR_SYSTEM", nullptr, 0}, {"STDPTR_BUSY", nullptr, 1}, {"STDPTR_CUSTOM", nullptr, 2},
    {"ADF_FX", nullptr, 0}, {"ADF_MOVEOBJECT", nullptr, 1}, {"ADF_ANIM", nullptr, 2},
    // Others.
    {"NOTRANSPARENCY", nullptr, 4294967295.0}, {"NONE", nullptr, -1},
    {nullptr, nullptr, 0},
};

int OpenGraphicsLib(lua_State *L)
{
    if (!FallbackDisplay) {
        FallbackDisplay = (DisplayRecord *)MemAlloc(sizeof(DisplayRecord), 1);
        if (!FallbackDisplay) return 1000;
        FallbackDisplay->outputType = OBJTYPE_BRUSH;
    }
    GraphicsMaskMode = MASKVISIBLE;
    GraphicsAlphaIntensity = -1;
    luaL_openlib(L, nullptr, GraphicsCommands, 0);
    int code = RegisterCommandTable(GraphicsCommands, "graphics");
    if (code) return code;
    luaL_registerconstants(L, GraphicsConstants);
    RegisterAttributeProviders();
    InstallAsyncDraws();
    return 0;
}

void CloseGraphicsLib(lua_State *L)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next) d->pointer = nullptr;
    FreeAllClipRegions();
    FreeAllPointers();
    FreeScratchMask();
    MemFree(FallbackDisplay);
    FallbackDisplay = nullptr;
}

int GraphicsSetTagHandler(lua_State *L, uint32_t tag, intptr_t value)
{
    if (tag == RTAG_MASKMODE) GraphicsMaskMode = (int)value;
    else if (tag == RTAG_ALPHAINTENSITY) GraphicsAlphaIntensity = (int)value;
    else return 0;
    return 1;
}

int GraphicsGetTagHandler(lua_State *L, uint32_t tag, void *result)
{
    if (tag == RTAG_MASKMODE) *(int *)result = GraphicsMaskMode;
    else if (tag == RTAG_ALPHAINTENSITY) *(int *)result = GraphicsAlphaIntensity;
    else return 0;
    return 1;
}

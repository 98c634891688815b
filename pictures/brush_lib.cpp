// The brush library: its command table of 35 commands (the output selection, double buffering
// and SaveBrush are the display code's), its ten constants, the display commands,
// FreeBrush and the two drawing settings of selected masks and alpha channels.
#include "display/display.h"
#include "display/graphics.h"
#include "display/output_select.h"
#include "display/graphics.h"
#include "pictures/brush_commands.h"
#include "pictures/display_object.h"
#include "pictures/draw_render.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"

enum { ERR_WRONGUSAGE = 1055 };

static int DisplayBrush(lua_State *L)
{
    CheckArgs(L, 3, 4);
    ObjectId id = GetObjectIdArg(L, 1);
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3);
    return DisplayObject(L, nullptr, nullptr, OBJTYPE_BRUSH, id, 0, 0, 0, x, y, 0, 0, 0, 4, nullptr, nullptr,
                         nullptr, nullptr, 0);
}

static int DisplayBrushPart(lua_State *L)
{
    CheckArgs(L, 7, 8);
    ObjectId id = GetObjectIdArg(L, 1);
    int32_t sx = GetIntArg(L, 2), sy = GetIntArg(L, 3), x = GetIntArg(L, 4), y = GetIntArg(L, 5);
    int32_t w = GetIntArg(L, 6), h = GetIntArg(L, 7);
    return DisplayObject(L, nullptr, nullptr, OBJTYPE_BRUSHPART, id, 0, sx, sy, x, y, w, h, 0, 8, nullptr, nullptr,
                         nullptr, nullptr, 0);
}

static int FreeBrush(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return FreeBrushObject(L, GetObjectIdArg(L, 1), 1);
}

static int SetMaskMode(lua_State *L)
{
    CheckArgs(L, 1, 1);
    SetRuntimeTags(L, RTAG_MASKMODE, GetIntArg(L, 1), 0);
    return 0;
}

static int SetAlphaIntensity(lua_State *L)
{
    CheckArgs(L, 1, 1);
    double level = GetNumberOrPercentArg(L, 1, 255.0, 0, nullptr);
    if (!(level >= -1.0 && level < 256.0)) return ERR_WRONGUSAGE;
    SetRuntimeTags(L, RTAG_ALPHAINTENSITY, (int)level, 0);
    return 0;
}

static const luaL_reg BrushCommands[] = {
    {"CreateBrush", CreateBrush},
    {"DisplayBrush", DisplayBrush},
    {"DisplayBrushPart", DisplayBrushPart},
    {"ScaleBrush", ScaleBrush},
    {"FreeBrush", FreeBrush},
    {"TintBrush", TintBrush},
    {"ReplaceColors", ReplaceColors},
    {"InvertBrush", InvertBrush},
    {"FlipBrush", FlipBrush},
    {"MixBrush", MixBrush},
    {"BrushToGray", BrushToGray},
    {"RotateBrush", RotateBrush},
    {"GetBrushLink", GetBrushLink},
    {"SelectBrush", SelectBrush},
    {"CopyBrush", CopyBrush},
    {"SetBrushTransparency", SetBrushTransparency},
    {"LoadBrush", LoadBrush},
    {"SelectMask", SelectMask},
    {"SetMaskMode", SetMaskMode},
    {"SaveBrush", GfxSaveBrush},
    {"SelectAlphaChannel", SelectAlphaChannel},
    {"SetAlphaIntensity", SetAlphaIntensity},
    {"DeleteAlphaChannel", DeleteAlphaChannel},
    {"CropBrush", CropBrush},
    {"InvertMask", InvertMask},
    {"InvertAlphaChannel", InvertAlphaChannel},
    {"FloodFill", FloodFill},
    {"DeleteMask", DeleteMask},
    {"BeginDoubleBuffer", BeginDoubleBuffer},
    {"EndDoubleBuffer", EndDoubleBuffer},
    {"Flip", Flip},
    {"ConvertToBrush", ConvertToBrush},
    {"GrabDesktop", GrabDesktop},
    {"TransformBrush", TransformBrush},
    {"TrimBrush", TrimBrush},
    {nullptr, nullptr},
};

static const luaL_Constant BrushConstants[] = {
    {"MASKVISIBLE", nullptr, 0},
    {"MASKINVISIBLE", nullptr, 1},
    {"MASKVANILLACOPY", nullptr, 2},
    {"MASKXOR", nullptr, 3},
    {"MASKAND", nullptr, 4},
    {"MASKOR", nullptr, 5},
    {"VANILLACOPY", nullptr, -1},
    {"SELMODE_NORMAL", nullptr, 0},
    {"SELMODE_COMBO", nullptr, 1},
    {"SELMODE_LAYERS", nullptr, 2},
    {nullptr, nullptr, 0},
};

// The draw library's textures are brushes.
static int BrushTexture(ObjectId id, const BitMap **bitmap)
{
    BrushNode *b;
    int code = GetBrushNode(id, &b, 0);
    if (code) return code;
    *bitmap = b->bitmap;
    return 0;
}

int OpenBrushLib(lua_State *L)
{
    luaL_openlib(L, nullptr, BrushCommands, 0);
    int code = RegisterCommandTable(BrushCommands, "brush");
    if (code) return code;
    luaL_registerconstants(L, BrushConstants);
    SetDrawTextureLookup(BrushTexture);
    ConnectBrushClipboard();
    return 0;
}

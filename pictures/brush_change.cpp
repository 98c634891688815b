// The brush commands that change a brush: each looks the brush up for a change (refusing the
// brush that drawing goes to, a locked brush and, for most, a vector brush; detaching it from
// layers that show it), then works on its planes.
#include <cmath>
#include <cstring>

#include "display/display.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/kernels.h"
#include "gfx/scale.h"
#include "pictures/brush_commands.h"
#include "pictures/picture_flip.h"
#include "pictures/transform_record.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"

enum {
    ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055, ERR_ACTIVEBRUSH = 1149, ERR_LOCK = 1152, ERR_NEGATIVE = 1154,
    ERR_OUTOFRANGE = 1217, ERR_BADSIZE = 1218, ERR_ALLTRANSPARENT = 1383
};

enum { CHANGE_VECTOROK = 1 };

// The change preamble: the brush of argument i, ready to be changed.
static int BrushForChange(lua_State *L, int i, BrushNode **node, int how)
{
    ObjectId id = GetObjectIdArg(L, i);
    BrushNode *b;
    if (GetBrushNode(id, &b, 0) == 0 && IsBrushOutputTarget(b)) return ERR_ACTIVEBRUSH;
    return GetBrushNode(id, node, BRUSH_FORCHANGE | ((how & CHANGE_VECTOROK) ? 0 : BRUSH_NOVECTOR));
}

// A level argument: a number or a percentage of 255, truncated and clamped to 0..255.
static int32_t LevelArg(lua_State *L, int i)
{
    double v = GetNumberOrPercentArg(L, i, 255.0, 0, nullptr);
    if (!(v > 0)) return 0;
    return v >= 255 ? 255 : (int32_t)v;
}

// The 32-bit kernels compare through the bytes that hold colour.
static uint32_t CompareMask(const BitMapInfo *info) { return info->format == PIXFMT_XRGB32 ? 0xFFFFFF : 0xFFFFFF00u; }

int ScaleBrush(lua_State *L)
{
    CheckArgs(L, 3, 4);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, CHANGE_VECTOROK);
    if (code) return code;
    int32_t w = GetSizeArg(L, 2, b->width), h = GetSizeArg(L, 3, b->height);
    int smooth = GetOptIntArg(L, 4, 0);
    if ((code = ApplyKeepAspectRatio(b->width, b->height, &w, &h))) return code;
    if (w == b->width && h == b->height) return 0;
    if (!b->bitmap) {
        b->width = w;
        b->height = h;
        return 0;
    }
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    if ((code = ScaleBitMapTriple(b->bitmap, b->mask, b->alpha, 0, 0, nullptr, b->width, b->height, w, h, smooth, &bm,
                                  &mask, &alpha)))
        return code;
    ReplaceBrushPlanes(b, bm, mask, alpha, w, h);
    return 0;
}

int TintBrush(lua_State *L)
{
    CheckArgs(L, 3, 3);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    uint32_t colour = ColourArg(L, 2);
    return TintBitMapRect(b->bitmap, 0, 0, b->width, b->height, colour & 0xFFFFFF, LevelArg(L, 3));
}

// Runs one kernel front end over the whole locked bitmap.
static int WithLockedBrush(BrushNode *b, void (*work)(const BitMapInfo *, BrushNode *, const void *), const void *arg)
{
    BitMapInfo info;
    if (!LockBitMap(b->bitmap, &info)) return ERR_LOCK;
    work(&info, b, arg);
    UnLockBitMap();
    return 0;
}

static void InvertWork(const BitMapInfo *info, BrushNode *b, const void *) { InvertRect(info, 0, 0, b->width, b->height); }
static void GrayWork(const BitMapInfo *info, BrushNode *b, const void *) { GrayRect(info, 0, 0, b->width, b->height); }

int InvertBrush(lua_State *L)
{
    CheckArgs(L, 1, 1);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    return code ? code : WithLockedBrush(b, InvertWork, nullptr);
}

int BrushToGray(lua_State *L)
{
    CheckArgs(L, 1, 1);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    return code ? code : WithLockedBrush(b, GrayWork, nullptr);
}

// The (old, new) colour list: the colours as pixel values, ended by 0xFFFFFFFF.
struct ColourPairs {
    uint32_t *words;
    int32_t count;
};

static void ReplaceWork(const BitMapInfo *info, BrushNode *b, const void *arg)
{
    const ColourPairs *p = (const ColourPairs *)arg;
    for (int32_t i = 0; i < 2 * p->count; i++) p->words[i] = RGBToPixel(p->words[i] & 0xFFFFFF, info->format);
    ReplaceColorsRect(info, 0, 0, b->width, b->height, p->words, CompareMask(info));
}

int ReplaceColors(lua_State *L)
{
    CheckArgs(L, 2, 2);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    luaL_checktable(L, 2);
    int32_t pairs = 0;
    for (;; pairs++) {
        lua_rawgeti(L, 2, 2 * pairs);
        int end = lua_isnil(L, -1) || (uint32_t)luaL_numbertoword(luaL_checknumber(L, -1)) == 0xFFFFFFFFu;
        lua_pop(L, 1);
        if (end) break;
        lua_rawgeti(L, 2, 2 * pairs + 1);
        int missing = lua_isnil(L, -1);
        // Every colour is read here, before the block is allocated, so that an entry that is no
        // number raises with nothing to lose.
        if (!missing) luaL_checknumber(L, -1);
        lua_pop(L, 1);
        if (missing) return ERR_WRONGUSAGE;
    }
    if (pairs == 0) return 0;
    ColourPairs p = {(uint32_t *)MemAlloc(((size_t)pairs * 2 + 1) * 4, 0), pairs};
    if (!p.words) return ERR_NOMEM;
    for (int32_t i = 0; i < 2 * pairs; i++) {
        lua_rawgeti(L, 2, i);
        p.words[i] = (uint32_t)luaL_numbertoword(luaL_checknumber(L, -1));
        lua_pop(L, 1);
    }
    p.words[2 * pairs] = 0xFFFFFFFFu;
    code = WithLockedBrush(b, ReplaceWork, &p);
    MemFree(p.words);
    return code;
}

int FlipBrush(lua_State *L)
{
    CheckArgs(L, 2, 2);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    return FlipPictureTriple(b->bitmap, b->mask, b->alpha, b->width, b->height, GetIntArg(L, 2));
}

int MixBrush(lua_State *L)
{
    CheckArgs(L, 3, 3);
    BrushNode *b, *src;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    if ((code = GetBrushNode(GetObjectIdArg(L, 2), &src, 0))) return code;
    int32_t level = LevelArg(L, 3);
    if (!src->bitmap) return 0;
    int32_t w = b->width < src->width ? b->width : src->width;
    int32_t h = b->height < src->height ? b->height : src->height;
    return BltBitMapTransparent(b->bitmap, src->bitmap, src->mask, 0, 0, 0, 0, w, h, level, src->alpha,
                                src->width, src->height);
}

// Replaces the brush's planes by their transformation by the matrix.
static int TransformBrushPlanes(BrushNode *b, const double m[4], int smooth)
{
    if (!b->bitmap) {
        Matrix2D mm = {m[0], m[1], m[2], m[3]};
        TransformedSize(&mm, b->width, b->height, &b->width, &b->height, nullptr, nullptr);
        return 0;
    }
    Matrix2D mm = {m[0], m[1], m[2], m[3]};
    BitMap *bm;
    Mask *mask;
    AlphaChannel *alpha;
    int32_t w, h;
    int code = TransformBitMapTriple(b->bitmap, b->mask, b->alpha, 0, 0, b->width, b->height, &mm, smooth, &bm, &mask,
                                     &alpha, &w, &h);
    if (code) return code;
    ReplaceBrushPlanes(b, bm, mask, alpha, w, h);
    return 0;
}

int RotateBrush(lua_State *L)
{
    CheckArgs(L, 2, 5);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, CHANGE_VECTOROK);
    if (code) return code;
    int32_t angle = GetIntArg(L, 2);
    double sx = luaL_optnumber(L, 3, 1.0), sy = luaL_optnumber(L, 4, 1.0);
    int smooth = GetOptIntArg(L, 5, 0);
    if (sx == 0.0 || sy == 0.0) return ERR_WRONGUSAGE;
    double m[4];
    MakeTransformMatrix(m, 0, 0, b->width, b->height, sx, sy, angle % 360);
    if (CheckTransformMatrix(m)) return ERR_WRONGUSAGE;
    return TransformBrushPlanes(b, m, smooth);
}

int TransformBrush(lua_State *L)
{
    CheckArgs(L, 5, 6);
    double m[4];
    for (int i = 0; i < 4; i++) m[i] = luaL_checknumber(L, 2 + i);
    int smooth = GetOptIntArg(L, 6, 0);
    // A zero on the diagonal, a zero determinant or an entry that is no finite number gives no
    // picture that can be drawn.
    if (m[0] == 0.0 || m[3] == 0.0 || CheckTransformMatrix(m)) return ERR_WRONGUSAGE;
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, CHANGE_VECTOROK);
    return code ? code : TransformBrushPlanes(b, m, smooth);
}

int SetBrushTransparency(lua_State *L)
{
    CheckArgs(L, 2, 2);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    uint32_t colour = ColourArg(L, 2);
    // The new mask is made before the old planes go, so a failure leaves the brush as it was.
    Mask *mask = nullptr;
    if (colour != 0xFFFFFFFFu && !(mask = MaskFromColor(b->bitmap, b->width, b->height, colour & 0xFFFFFF)))
        return ERR_NOMEM;
    FreeMask(b->mask);
    FreeAlphaChannel(b->alpha);
    b->mask = mask;
    b->alpha = nullptr;
    b->transparentColor = (int32_t)colour;
    return 0;
}

// DeleteAlphaChannel and DeleteMask: the plane goes if there is one; without a mask the brush
// has no transparent colour either.
static int DeleteBrushPlane(lua_State *L, int alphaPlane)
{
    CheckArgs(L, 1, 1);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    if (alphaPlane) {
        FreeAlphaChannel(b->alpha);
        b->alpha = nullptr;
    } else {
        FreeMask(b->mask);
        b->mask = nullptr;
        b->transparentColor = -1;
    }
    return 0;
}

int DeleteAlphaChannel(lua_State *L) { return DeleteBrushPlane(L, 1); }
int DeleteMask(lua_State *L) { return DeleteBrushPlane(L, 0); }

// Replaces the planes by the region's copy.
static int CutBrush(BrushNode *b, int32_t x, int32_t y, int32_t w, int32_t h)
{
    BitMap *bm;
    Mask *mask;
    AlphaChannel *alpha;
    int code = CutBitMapRegion(b->bitmap, b->mask, b->alpha, x, y, w, h, &bm, &mask, &alpha);
    if (code) return code;
    ReplaceBrushPlanes(b, bm, mask, alpha, w, h);
    return 0;
}

int CropBrush(lua_State *L)
{
    CheckArgs(L, 5, 5);
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3), w = GetIntArg(L, 4), h = GetIntArg(L, 5);
    if (w < 1 || h < 1) return ERR_BADSIZE;
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    x = ResolveXPos(x, w, b->width, 0.0);
    y = ResolveYPos(y, h, b->height, 0.0);
    if (x < 0 || y < 0) return ERR_NEGATIVE;
    if (x >= b->width || y >= b->height) return ERR_OUTOFRANGE;
    if (w > b->width - x) w = b->width - x;
    if (h > b->height - y) h = b->height - y;
    return CutBrush(b, x, y, w, h);
}

// InvertMask and InvertAlphaChannel: every byte of the plane inverted; a brush without that
// plane gives 1055.
static int InvertBrushPlane(lua_State *L, int alphaPlane)
{
    CheckArgs(L, 1, 1);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    uint8_t *pixels = alphaPlane ? (b->alpha ? b->alpha->pixels : nullptr) : (b->mask ? b->mask->pixels : nullptr);
    if (!pixels) return ERR_WRONGUSAGE;
    if (alphaPlane) InvertPlane(pixels, b->alpha->height, b->alpha->bytesPerRow);
    else InvertPlane(pixels, b->mask->height, b->mask->bytesPerRow);
    return 0;
}

int InvertMask(lua_State *L) { return InvertBrushPlane(L, 0); }
int InvertAlphaChannel(lua_State *L) { return InvertBrushPlane(L, 1); }

int FloodFill(lua_State *L)
{
    CheckArgs(L, 1, 5);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3);
    uint32_t fill = ColourArg(L, 4), border = ColourArg(L, 5);
    x = ResolveXPos(x, 1, b->width, 0.0);
    y = ResolveYPos(y, 1, b->height, 0.0);
    if (x < 0 || y < 0) return ERR_NEGATIVE;
    if (x >= b->width || y >= b->height) return ERR_OUTOFRANGE;
    BitMapInfo info;
    if (!LockBitMap(b->bitmap, &info)) return ERR_LOCK;
    code = FloodFillRect(&info, x, y, border & 0xFFFFFF, fill & 0xFFFFFF);
    UnLockBitMap();
    return code;
}

// Whether pixel (x, y) of the brush is visible through its mask or alpha channel. Only the
// picture's own columns are looked at: the bits that pad a mask row to whole bytes (which
// InvertMask sets) belong to no pixel.
static int PixelVisible(const BrushNode *b, int32_t x, int32_t y)
{
    if (b->mask) return MaskRowBit(b->mask->pixels + (size_t)y * b->mask->bytesPerRow, x);
    return b->alpha->pixels[(size_t)y * b->alpha->bytesPerRow + x] != 0;
}

int TrimBrush(lua_State *L)
{
    CheckArgs(L, 1, 1);
    BrushNode *b;
    int code = BrushForChange(L, 1, &b, 0);
    if (code) return code;
    int32_t left = 0, top = 0;
    if (b->mask || b->alpha) {
        int32_t x0 = b->width, y0 = b->height, x1 = -1, y1 = -1;
        for (int32_t y = 0; y < b->height; y++)
            for (int32_t x = 0; x < b->width; x++) {
                if (!PixelVisible(b, x, y)) continue;
                if (x < x0) x0 = x;
                if (x > x1) x1 = x;
                if (y < y0) y0 = y;
                y1 = y;
            }
        if (x1 < 0) return ERR_ALLTRANSPARENT;
        if (x0 != 0 || y0 != 0 || x1 != b->width - 1 || y1 != b->height - 1) {
            if ((code = CutBrush(b, x0, y0, x1 - x0 + 1, y1 - y0 + 1))) return code;
        }
        left = x0;
        top = y0;
    }
    lua_pushnumber(L, left);
    lua_pushnumber(L, top);
    return 2;
}

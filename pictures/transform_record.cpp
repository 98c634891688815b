// The transform record: initialisation, the matrix builder, the option reader that fills a
// record and a layer options record from a script's option table, and the transformed size.
#include "pictures/transform_record.h"

#include <cmath>
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "gfx/scale.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/vm/api.h"

enum {
    ERR_WRONGUSAGE = 1055, ERR_TABLEEXPECTED = 1140, ERR_BADINSERTPOS = 1370, ERR_NAMETOOLONG = 1373
};

void InitTransform(TransformRecord *t)
{
    memset(t, 0, sizeof *t);
    t->a = t->d = 1.0;
    t->scaleX = t->scaleY = 1.0;
}

int IsIdentityTransform(const TransformRecord *t)
{
    return t->a == 1.0 && t->d == 1.0 && t->b == 0.0 && t->c == 0.0;
}

int IsPositiveScale(const TransformRecord *t) { return t->b == 0.0 && t->c == 0.0 && t->a > 0.0 && t->d > 0.0; }

void MakeTransformMatrix(double m[4], int32_t targetWidth, int32_t targetHeight, int32_t srcWidth,
                         int32_t srcHeight, double scaleX, double scaleY, int32_t angle)
{
    double fx = scaleX, fy = scaleY;
    if (targetWidth != 0 && targetWidth != srcWidth && srcWidth > 0) fx = (double)targetWidth / srcWidth;
    if (targetHeight != 0 && targetHeight != srcHeight && srcHeight > 0) fy = (double)targetHeight / srcHeight;
    double s = 0.0, c = 1.0;
    switch (angle % 360) {
    case 0: break;
    case 90: case -270: s = 1.0; c = 0.0; break;
    case 180: case -180: s = 0.0; c = -1.0; break;
    case 270: case -90: s = -1.0; c = 0.0; break;
    default: {
        double r = angle * (M_PI / 180.0);
        s = sin(r);
        c = cos(r);
    }
    }
    // Screen y runs downwards, so a counter-clockwise turn maps (1, 0) to (cos, -sin).
    m[0] = fx * c;
    m[1] = -fx * s;
    m[2] = fy * s;
    m[3] = fy * c;
}

void GetObjectMatrix(TransformRecord *t, int32_t srcWidth, int32_t srcHeight)
{
    double m[4];
    if (t->explicitFlag) memcpy(m, t->explicitMatrix, sizeof m);
    else MakeTransformMatrix(m, t->width, t->height, srcWidth, srcHeight, t->scaleX, t->scaleY, t->rotate);
    t->a = m[0];
    t->b = m[1];
    t->c = m[2];
    t->d = m[3];
}

int CheckTransformMatrix(const double m[4])
{
    for (int i = 0; i < 4; i++)
        if (!std::isfinite(m[i])) return ERR_WRONGUSAGE;
    double det = m[0] * m[3] - m[1] * m[2];
    return (det == 0.0 || !std::isfinite(det)) ? ERR_WRONGUSAGE : 0;
}

int GetFieldSwitch(lua_State *L, int t, const char *key, int *out)
{
    lua_pushstring(L, key);
    lua_gettable(L, t);
    int present = !lua_isnil(L, -1);
    if (present) *out = lua_isnumber(L, -1) ? lua_tonumber(L, -1) != 0 : lua_toboolean(L, -1);
    lua_pop(L, 1);
    return present;
}

static int CountPictureLayers(const BGPicNode *pic)
{
    int n = 0;
    if (!pic || !pic->layers.first) return 0;
    for (const ListNode *l = pic->layers.first; l->succ; l = l->succ) n++;
    return n;
}

// A level option: a number or a percentage of 255, truncated and clamped to 0..255.
static int GetFieldLevel(lua_State *L, int t, const char *key, int32_t *out)
{
    double v;
    if (!GetFieldPercent(L, t, key, 255.0, 0, &v, nullptr, nullptr)) return 0;
    int32_t i = std::isfinite(v) ? (int32_t)fmax(-1.0, fmin(256.0, v)) : 0;
    *out = i < 0 ? 0 : i > 255 ? 255 : i;
    return 1;
}

static int ReadLayerOptions(lua_State *L, int t, LayerOptions *lo)
{
    int insertGiven = 0;
    GetFieldSwitch(L, t, "hidden", &lo->hidden);
    GetFieldLevel(L, t, "transparency", &lo->transparency);
    GetFieldLevel(L, t, "tint", &lo->tint);
    GetFieldUInt32(L, t, "tintcolor", &lo->tintColor, nullptr);
    int count = CountPictureLayers(CurrentPicture);
    if (GetFieldLayer(L, t, "insertpos", &lo->insertPos, &insertGiven)) {
        if (lo->insertPos < 0) return ERR_BADINSERTPOS;
        if (count > 0 && lo->insertPos > count + 1) lo->insertPos = count + 1;
    }
    GetFieldStringCopy(L, t, "group", lo->group, sizeof lo->group, nullptr);
    lua_pushstring(L, "name");
    lua_gettable(L, t);
    if (!lua_isnil(L, -1)) {
        size_t len = 0;
        const char *name = luaL_checknamedlstring(L, -1, "name", &len);
        if (len > 255) {
            lua_pop(L, 1);
            return ERR_NAMETOOLONG;
        }
        memcpy(lo->name, name, len);
        lo->name[len] = 0;
    }
    lua_pop(L, 1);
    if ((insertGiven && lo->insertPos != 0 && lo->insertPos != count + 1) || lo->hidden || lo->transparency ||
        lo->tint)
        lo->fullRedraw = 1;
    return 0;
}

// A scale factor: 0 or not finite is refused.
static int GetFieldScale(lua_State *L, int t, const char *key, double *out, int *found)
{
    if (!GetFieldDouble(L, t, key, out, found)) return 0;
    return (*out == 0.0 || !std::isfinite(*out)) ? ERR_WRONGUSAGE : 0;
}

int PrepareTransformedImage(lua_State *L, int index, int32_t srcWidth, int32_t srcHeight, int32_t targetWidth,
                            int32_t targetHeight, int smoothDefault, TransformRecord *t, LayerOptions *lo,
                            int flags)
{
    if (flags & PTI_INIT) {
        InitTransform(t);
        t->width = targetWidth;
        t->height = targetHeight;
        if (!(flags & PTI_SMOOTHONROTATE)) t->smoothScale = smoothDefault;
        if (lo) memset(lo, 0, sizeof *lo);
    }
    if (index < 1 || lua_gettop(L) != index) return 0;
    if (!lua_istable(L, index)) {
        if (!(flags & PTI_NEEDTABLE)) return 0;
        SetErrorNumber(index);
        return ERR_TABLEEXPECTED;
    }
    int code, given = 0;
    double m[4];
    if (GetFieldNumberArray4(L, index, "transform", m, &given)) {
        // A matrix without an inverse (or with a zero on its diagonal) can't be drawn.
        if (m[0] == 0.0 || m[3] == 0.0 || CheckTransformMatrix(m)) return ERR_WRONGUSAGE;
        memcpy(t->explicitMatrix, m, sizeof m);
        t->explicitFlag = 1;
        t->a = m[0];
        t->b = m[1];
        t->c = m[2];
        t->d = m[3];
    } else {
        int sx = 0, sy = 0;
        if ((code = GetFieldScale(L, index, "scalex", &t->scaleX, &sx))) return code;
        if ((code = GetFieldScale(L, index, "scaley", &t->scaleY, &sy))) return code;
        if (!sx && !sy && !(flags & PTI_NOSIZE)) {
            GetFieldInt(L, index, "width", &t->width, nullptr);
            GetFieldInt(L, index, "height", &t->height, nullptr);
        }
        int rotate = 0;
        if (!(flags & PTI_NOROTATE) && GetFieldInt(L, index, "rotate", &rotate, nullptr)) {
            t->rotate = rotate % 360;
            if ((flags & PTI_SMOOTHONROTATE) && t->rotate) t->smoothScale = smoothDefault;
        }
        GetObjectMatrix(t, srcWidth, srcHeight);
    }
    int smooth;
    if (GetFieldSwitch(L, index, "smoothscale", &smooth)) t->smoothScale = smooth;
    double anchor;
    if (GetFieldDouble(L, index, "anchorx", &anchor, nullptr)) {
        if (!(anchor >= 0.0 && anchor <= 1.0)) return ERR_WRONGUSAGE;
        t->anchorX = anchor;
    }
    if (GetFieldDouble(L, index, "anchory", &anchor, nullptr)) {
        if (!(anchor >= 0.0 && anchor <= 1.0)) return ERR_WRONGUSAGE;
        t->anchorY = anchor;
    }
    return lo ? ReadLayerOptions(L, index, lo) : 0;
}

void TransformRecordSize(const TransformRecord *t, int32_t width, int32_t height, int32_t *outWidth,
                         int32_t *outHeight)
{
    if (t->b == 0.0 && t->c == 0.0 && t->a >= 0.0 && t->d >= 0.0) {
        if (t->a == 1.0 && t->d == 1.0) {
            *outWidth = width;
            *outHeight = height;
            return;
        }
        DisplayRecord *d = CurrentDisplay;
        if (d && d->layerScale && d->scaleWidth && d->scaleHeight && t->a == d->scaleX && t->d == d->scaleY &&
            CurrentPicture && width == CurrentPicture->width && height == CurrentPicture->height) {
            *outWidth = d->scaleWidth;
            *outHeight = d->scaleHeight;
            return;
        }
        double w = trunc(t->a * width), h = trunc(t->d * height);
        *outWidth = w < 1.0 ? 1 : w > 2147483647.0 ? INT32_MAX : (int32_t)w;
        *outHeight = h < 1.0 ? 1 : h > 2147483647.0 ? INT32_MAX : (int32_t)h;
        return;
    }
    Matrix2D m = {t->a, t->b, t->c, t->d};
    TransformedSize(&m, width, height, outWidth, outHeight, nullptr, nullptr);
}

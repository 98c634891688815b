// The draw library's command handlers (see pictures/draw_commands.h).
#include "pictures/draw_commands.h"

#include <cstring>

#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/values.h"

enum {
  ERR_NOMEM = 1000,
  ERR_WRONGUSAGE = 1055,
  ERR_LIMIT = 1066,
  ERR_NUMBEREXPECTED = 1138,
  ERR_TABLEEXPECTED = 1140,
  ERR_PIXELRANGE = 1168,
  ERR_TABLENUMBER = 1189,
  ERR_LAYERSON = 1271,
  ERR_DISPLAYCLOSED = 1347
};

static DrawTargetProvider gProvider;
static DrawOptionReader gOptionReader;

void SetDrawTargetProvider(DrawTargetProvider provider) { gProvider = provider; }
void SetDrawOptionReader(DrawOptionReader reader) { gOptionReader = reader; }

static int CurrentTarget(lua_State *L, DrawTarget *target) {
  memset(target, 0, sizeof *target);
  target->alphaIntensity = -1;
  return gProvider ? gProvider(L, target) : ERR_DISPLAYCLOSED;
}

static uint32_t OptColour(lua_State *L, int i) { return lua_isnoneornil(L, i) ? 0 : (uint32_t)luaL_checkinteger(L, i); }

// A number, or a string that converts; Nil is no number here (as for luaL_checknumber).
static bool IsNumberAt(lua_State *L, int i) { return !lua_isnoneornil(L, i) && lua_isnumber(L, i); }

static int32_t ResolvePoint(const DrawTarget *t, int axis, int32_t v) { return ResolveTargetPos(t, axis, v, 1, 0); }

// Whether (x, y) lies inside the clip rectangle and on a set bit of a shaped clip region.
static bool InsideClip(const DrawTarget *t, int32_t x, int32_t y) {
  const DrawClip c = TargetClipRect(t);
  if (x < c.x || y < c.y || x >= (int64_t)c.x + c.width || y >= (int64_t)c.y + c.height) return false;
  if (x < 0 || y < 0 || x >= t->width || y >= t->height) return false;
  if (c.mask) {
    if (x - c.x >= c.mask->width || y - c.y >= c.mask->height) return false;
    return MaskRowBit(c.mask->pixels + (ptrdiff_t)(y - c.y) * c.mask->bytesPerRow, x - c.x) != 0;
  }
  return true;
}

// ---- Styles -----------------------------------------------------------------------------------

// Reads the numbers of a style command into `a`; the texture brush of SetFillStyle(#FILLTEXTURE)
// at argument 2. Reading stops at the first argument that is no number: its index is returned
// (0 when all were read), so the values before it are applied and the error reported after.
static int ReadStyleArgs(lua_State *L, StyleArgs *a, bool texture) {
  memset(a, 0, sizeof *a);
  const int n = lua_gettop(L);
  for (int i = 1; i <= n && i <= 5; i++) {
    if (texture && i == 2 && lua_islightuserdata(L, 2)) {
      a->texture = GetObjectIdArg(L, 2);
      a->count = 2;
      continue;
    }
    if (!IsNumberAt(L, i)) return i;
    a->value[i - 1] = lua_tonumber(L, i);
    if (texture && i == 2) a->texture = GetObjectIdArg(L, 2);
    a->count = i;
  }
  return 0;
}

static int SetFillStyle(lua_State *L) {
  CheckArgs(L, 1, 5);
  const int style = luaO_toint32(luaL_checknumber(L, 1));
  StyleArgs a;
  const int bad = ReadStyleArgs(L, &a, style == FILLTEXTURE);
  const int rc = ApplyFillStyle(GetDrawStyle(), &a);
  if (rc) return rc;
  if (bad) {
    SetErrorNumber(bad);
    return ERR_NUMBEREXPECTED;
  }
  return 0;
}

static int SetFormStyle(lua_State *L) {
  CheckArgs(L, 1, 4);
  luaL_checkinteger(L, 1);
  StyleArgs a;
  const int bad = ReadStyleArgs(L, &a, false);
  if (bad) {
    SetErrorNumber(bad);
    return ERR_NUMBEREXPECTED;
  }
  return ApplyFormStyle(GetDrawStyle(), &a);
}

// ---- Pixels -----------------------------------------------------------------------------------

static int Plot(lua_State *L) {
  CheckArgs(L, 2, 3);
  int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
  const uint32_t colour = OptColour(L, 3);
  DrawTarget t;
  int rc = CurrentTarget(L, &t);
  if (rc) return rc;
  if (t.layersOn) return ERR_LAYERSON;
  if ((rc = PrepareDrawTarget(&t))) return rc;
  x = ResolvePoint(&t, 0, x);
  y = ResolvePoint(&t, 1, y);
  if (!InsideClip(&t, x, y)) return 0;
  if (t.hooks && t.hooks->overlapsSprites && t.hooks->overlapsSprites(t.user, x, y, 1, 1)) return 0;
  const int32_t T = (int32_t)(colour >> 24);
  const uint32_t rgb = colour & 0xFFFFFF;
  if (t.kind == DRAWTARGET_DISPLAY) {
    uint32_t pixel = rgb;
    if (t.bitmap) {
      if (T) pixel = MixColors(ReadBitMapPixel(t.bitmap, x, y, 0), rgb, 255 - T);
      WriteBitMapPixel(t.bitmap, x, y, pixel, 0);
    }
    if (t.hooks && t.hooks->windowRectFill) t.hooks->windowRectFill(t.user, x, y, 1, 1, pixel);
    return 0;
  }
  if (t.bitmap) {
    const uint32_t pixel = T && !t.alpha ? MixColors(ReadBitMapPixel(t.bitmap, x, y, 0), rgb, 255 - T) : rgb;
    WriteBitMapPixel(t.bitmap, x, y, pixel, 0);
  }
  if (t.mask && x < t.mask->width && y < t.mask->height)
    WriteBitMapPixel(t.mask, x, y, (uint32_t)(t.bitmap ? MASKVANILLACOPY : t.maskMode), 1);
  if (t.alpha && x < t.alpha->width && y < t.alpha->height) {
    const int32_t v = t.bitmap || t.alphaIntensity < 0 ? 255 - T : (t.alphaIntensity > 255 ? 255 : t.alphaIntensity);
    t.alpha->pixels[(ptrdiff_t)y * t.alpha->bytesPerRow + x] = (uint8_t)v;
  }
  return 0;
}

static int ReadPixel(lua_State *L) {
  CheckArgs(L, 2, 2);
  int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
  DrawTarget t;
  const int rc = CurrentTarget(L, &t);
  if (rc) return rc;
  x = ResolvePoint(&t, 0, x);
  y = ResolvePoint(&t, 1, y);
  if (!InsideClip(&t, x, y)) return ERR_PIXELRANGE;
  double value = 0;
  switch (t.kind) {
    case DRAWTARGET_BGPIC:
    case DRAWTARGET_BRUSH:
    case DRAWTARGET_DISPLAY:
      value = t.bitmap ? ReadBitMapPixel(t.bitmap, x, y, 0) : 0;
      break;
    case DRAWTARGET_MASK:
      value = t.mask ? ReadBitMapPixel(t.mask, x, y, 1) : 1;
      break;
    case DRAWTARGET_ALPHA:
      value = t.alpha && x < t.alpha->width && y < t.alpha->height
                  ? t.alpha->pixels[(ptrdiff_t)y * t.alpha->bytesPerRow + x]
                  : 255;
      break;
    default:
      break;
  }
  lua_pushnumber(L, value);
  return 1;
}

static int Cls(lua_State *L) {
  CheckArgs(L, 0, 1);
  const uint32_t colour = OptColour(L, 1);
  DrawTarget t;
  int rc = CurrentTarget(L, &t);
  if (rc) return rc;
  if (!IsOffScreenTarget(&t)) return t.hooks && t.hooks->clearPicture ? t.hooks->clearPicture(t.user) : 0;
  if ((rc = PrepareDrawTarget(&t))) return rc;
  const int32_t w = t.width, h = t.height;
  if (t.bitmap) RectFillBitMap(t.bitmap, 0, 0, w, h, colour & 0xFFFFFF);
  if (t.alpha) {
    const int32_t v = t.bitmap || t.alphaIntensity < 0 ? 255 : (t.alphaIntensity > 255 ? 255 : t.alphaIntensity);
    FillAlphaChannelRect(t.alpha, 0, 0, w, h, (uint8_t)v);
  }
  if (t.mask) FillMaskRect(t.mask, 0, 0, w, h, t.bitmap ? MASKVANILLACOPY : t.maskMode);
  return 0;
}

// ---- Shapes -----------------------------------------------------------------------------------

// What the argument at the options position gave.
struct ShapeOptions {
  ShapeTransform transform;
  void *layerOptions;
  int number;       // the position held a number
  double value;     // that number
  int fromTable;    // the shape's own field was found in the table
  int32_t field;    // its value
};

// Reads the argument at the options position: a number, or a table when it is the last
// argument (through the option reader, plus the shape's own field `key`). With `rotationAt`,
// a rotation at that position counts when it is the last argument and the options held a number.
static int ReadShapeOptions(lua_State *L, int at, int rotationAt, const char *key, int32_t width, int32_t height,
                            int readerFlags, ShapeOptions *o) {
  memset(o, 0, sizeof *o);
  o->transform = IdentityTransform();
  const int n = lua_gettop(L);
  if (n < at || lua_isnil(L, at)) return 0;
  if (lua_istable(L, at)) {
    if (n != at) return 0;
    if (gOptionReader) {
      const int rc = gOptionReader(L, at, width, height, readerFlags, &o->transform, &o->layerOptions);
      if (rc) return rc;
    }
    if (key) {
      // The getter returns 1 when the field is there (a bad type raises), so its result is no error code.
      int found = 0, v = 0;
      GetFieldInt(L, at, key, &v, &found);
      o->fromTable = found;
      o->field = v;
    }
    return 0;
  }
  o->number = 1;
  o->value = luaL_checknumber(L, at);
  if (rotationAt && n == rotationAt) RotationMatrix(GetIntArg(L, rotationAt), o->transform.m);
  return 0;
}

static int Box(lua_State *L) {
  CheckArgs(L, 4, 7);
  const int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2), w = GetIntArg(L, 3), h = GetIntArg(L, 4);
  const uint32_t colour = OptColour(L, 5);
  ShapeOptions o;
  int rc = ReadShapeOptions(L, 6, 7, "roundlevel", w, h, 1, &o);
  if (rc) return rc;
  const int32_t roundlevel = o.number ? luaO_toint32(o.value) : o.fromTable ? o.field : 0;
  if (w < 1 || h < 1) return ERR_WRONGUSAGE;
  DrawTarget t;
  if ((rc = CurrentTarget(L, &t))) return rc;
  return DrawBox(&t, nullptr, nullptr, GetDrawStyle(), x, y, w, h, colour, roundlevel, &o.transform, o.layerOptions, 0);
}

// Ellipse and Circle: the rotation or options at `at`.
static int EllipseCommand(lua_State *L, int type, int32_t xr, int32_t yr, int at) {
  const int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
  const uint32_t colour = OptColour(L, at - 1);
  const int64_t w = 2 * (int64_t)xr + 1, h = 2 * (int64_t)yr + 1;
  ShapeOptions o;
  int rc = ReadShapeOptions(L, at, 0, nullptr, (int32_t)(w > INT32_MAX ? INT32_MAX : w),
                            (int32_t)(h > INT32_MAX ? INT32_MAX : h), type == SHAPE_CIRCLE ? 1 | 8 : 1, &o);
  if (rc) return rc;
  if (o.number) RotationMatrix(luaO_toint32(o.value), o.transform.m);
  if (xr < 1 || yr < 1) return ERR_WRONGUSAGE;
  DrawTarget t;
  if ((rc = CurrentTarget(L, &t))) return rc;
  return DrawEllipseShape(&t, nullptr, nullptr, GetDrawStyle(), type, x, y, xr, yr, colour, &o.transform,
                          o.layerOptions, 0);
}

static int Ellipse(lua_State *L) {
  CheckArgs(L, 4, 6);
  return EllipseCommand(L, SHAPE_ELLIPSE, GetIntArg(L, 3), GetIntArg(L, 4), 6);
}

static int Circle(lua_State *L) {
  CheckArgs(L, 3, 5);
  const int32_t r = GetIntArg(L, 3);
  return EllipseCommand(L, SHAPE_CIRCLE, r, r, 5);
}

static int Arc(lua_State *L) {
  CheckArgs(L, 6, 9);
  const int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2), xr = GetIntArg(L, 3), yr = GetIntArg(L, 4);
  const int32_t start = GetIntArg(L, 5), end = GetIntArg(L, 6);
  const uint32_t colour = OptColour(L, 7);
  const int64_t w = 2 * (int64_t)xr + 1, h = 2 * (int64_t)yr + 1;
  ShapeOptions o;
  int rc = ReadShapeOptions(L, 8, 9, "clockwise", (int32_t)(w > INT32_MAX ? INT32_MAX : w),
                            (int32_t)(h > INT32_MAX ? INT32_MAX : h), 1, &o);
  if (rc) return rc;
  const int32_t clockwise = o.number ? o.value != 0 : o.fromTable ? o.field != 0 : 1;
  if (xr < 1 || yr < 1 || start < 0 || end < 0) return ERR_WRONGUSAGE;
  if (start == end) return 0;
  DrawTarget t;
  if ((rc = CurrentTarget(L, &t))) return rc;
  return DrawArcShape(&t, nullptr, nullptr, GetDrawStyle(), x, y, xr, yr, start, end, clockwise, colour, &o.transform,
                      o.layerOptions, 0);
}

static int Line(lua_State *L) {
  CheckArgs(L, 4, 7);
  const int32_t x1 = GetIntArg(L, 1), y1 = GetIntArg(L, 2), x2 = GetIntArg(L, 3), y2 = GetIntArg(L, 4);
  const uint32_t colour = OptColour(L, 5);
  const int64_t w = (x2 > x1 ? (int64_t)x2 - x1 : (int64_t)x1 - x2) + 1;
  const int64_t h = (y2 > y1 ? (int64_t)y2 - y1 : (int64_t)y1 - y2) + 1;
  ShapeOptions o;
  int rc = ReadShapeOptions(L, 6, 7, "thickness", (int32_t)(w > INT32_MAX ? INT32_MAX : w),
                            (int32_t)(h > INT32_MAX ? INT32_MAX : h), 1 | 4, &o);
  if (rc) return rc;
  const int32_t thickness = o.number ? luaO_toint32(o.value) : o.fromTable ? o.field : 1;
  DrawTarget t;
  if ((rc = CurrentTarget(L, &t))) return rc;
  return DrawLineShape(&t, nullptr, nullptr, GetDrawStyle(), x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1, y1, x2, y2,
                       colour, thickness, &o.transform, o.layerOptions, 0);
}

int ReadPolygonTable(lua_State *L, int index, int32_t count, double *points, int32_t *outCount, int32_t *width,
                     int32_t *height, int32_t *minX, int32_t *minY) {
  int32_t n = 0;
  for (;; n++) {
    if (count > 0 && n >= count) break;
    lua_rawgeti(L, index, 2 * n);
    const bool end = count == 0 && lua_isnil(L, -1);
    if (end) {
      lua_pop(L, 1);
      break;
    }
    if (n >= MAX_POLYGON_POINTS) {
      lua_pop(L, 1);
      return ERR_LIMIT;
    }
    lua_rawgeti(L, index, 2 * n + 1);
    if (!IsNumberAt(L, -2) || !IsNumberAt(L, -1)) {
      lua_pop(L, 2);
      SetErrorString("polygon");
      return ERR_TABLENUMBER;
    }
    points[2 * n] = lua_tonumber(L, -2);
    points[2 * n + 1] = lua_tonumber(L, -1);
    lua_pop(L, 2);
  }
  FinishPolygonPoints(points, n, outCount, width, height, minX, minY);
  return 0;
}

static int Polygon(lua_State *L) {
  CheckArgs(L, 4, 6);
  const int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
  if (!lua_istable(L, 3)) {
    SetErrorNumber(3);
    return ERR_TABLEEXPECTED;
  }
  const int32_t count = GetIntArg(L, 4);
  const uint32_t colour = OptColour(L, 5);
  if (count < 2 || count > MAX_POLYGON_POINTS - 1) return ERR_WRONGUSAGE;
  // The points are read into one buffer kept for all calls (commands run on one thread and
  // Polygon never runs inside itself): an option or drawing error raised further on then leaves
  // no block behind.
  static double points[2 * (MAX_POLYGON_POINTS + 1)];
  int32_t n, w, h, mx, my;
  int rc = ReadPolygonTable(L, 3, count, points, &n, &w, &h, &mx, &my);
  ShapeOptions o;
  if (!rc) rc = ReadShapeOptions(L, 6, 0, nullptr, w, h, 1, &o);
  if (!rc && o.number) RotationMatrix(luaO_toint32(o.value), o.transform.m);
  DrawTarget t;
  if (!rc) rc = CurrentTarget(L, &t);
  if (!rc)
    rc = DrawPolygonShape(&t, nullptr, nullptr, GetDrawStyle(), (int32_t)((int64_t)x + mx), (int32_t)((int64_t)y + my),
                          w, h, points, n, colour, &o.transform, o.layerOptions, 0);
  return rc;
}

// ---- Registration -----------------------------------------------------------------------------

static const luaL_reg DrawCommands[] = {
    {"SetFillStyle", SetFillStyle}, {"SetFormStyle", SetFormStyle}, {"Plot", Plot}, {"ReadPixel", ReadPixel},
    {"Cls", Cls}, {"Box", Box}, {"Ellipse", Ellipse}, {"Circle", Circle}, {"Arc", Arc}, {"Line", Line},
    {"Polygon", Polygon}, {nullptr, nullptr},
};

static const luaL_Constant DrawLibConstants[] = {
    {"BLACK", nullptr, 0x000000},  {"MAROON", nullptr, 0x800000},  {"GREEN", nullptr, 0x008000},
    {"OLIVE", nullptr, 0x808000},  {"NAVY", nullptr, 0x000080},    {"PURPLE", nullptr, 0x800080},
    {"TEAL", nullptr, 0x008080},   {"GRAY", nullptr, 0x808080},    {"SILVER", nullptr, 0xC0C0C0},
    {"RED", nullptr, 0xFF0000},    {"LIME", nullptr, 0x00FF00},    {"YELLOW", nullptr, 0xFFFF00},
    {"BLUE", nullptr, 0x0000FF},   {"FUCHSIA", nullptr, 0xFF00FF}, {"AQUA", nullptr, 0x00FFFF},
    {"WHITE", nullptr, 0xFFFFFF},  {"FILLNONE", nullptr, 0},       {"FILLCOLOR", nullptr, 1},
    {"FILLGRADIENT", nullptr, 2},  {"FILLTEXTURE", nullptr, 3},    {"BOX", nullptr, 14},
    {"CIRCLE", nullptr, 15},       {"ELLIPSE", nullptr, 16},       {"LINE", nullptr, 17},
    {"PLOT", nullptr, 18},         {"POLYGON", nullptr, 27},       {"ARC", nullptr, 31},
    {nullptr, nullptr, 0},
};

int OpenDrawCommands(lua_State *L) {
  ResetDrawStyle(GetDrawStyle());
  int rc = OpenDrawTables();
  if (rc) return rc;
  luaL_openlib(L, nullptr, DrawCommands, 0);
  rc = RegisterCommandTable(DrawCommands, "draw");
  if (rc) return rc;
  luaL_registerconstants(L, DrawLibConstants);
  return 0;
}

void CloseDrawCommands(void) { CloseDrawTables(); }

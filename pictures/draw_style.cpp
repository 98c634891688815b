// The draw style record, its rules and the draw library's tables (see pictures/draw_style.h).
#include "pictures/draw_style.h"

#include <cmath>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/values.h"

enum { ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055, ERR_NUMBEREXPECTED = 1138, ERR_TOOMANYARGS = 1193 };

// The defaults, field by field as DrawStyle lists them.
static const DrawStyle kDefaultStyle = {FILLNONE, FORM_NORMAL,      GRADIENT_LINEAR, 0x0000FF, 0x000000, 0,
                                        {0, nullptr}, 2,           0x0093DD,        4,        SHDW_SOUTHEAST,
                                        0x000000,    1,            0,               0};
static DrawStyle gStyle = kDefaultStyle;

DrawStyle *GetDrawStyle(void) { return &gStyle; }

void ResetDrawStyle(DrawStyle *style) { *style = kDefaultStyle; }

static int32_t ClampRange(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

void ClampDrawStyle(DrawStyle *style) {
  if (style->thickness < 1) style->thickness = 1;
  style->shadowSize = ClampRange(style->shadowSize, 1, MAX_EFFECT_SIZE);
  style->edgeSize = ClampRange(style->edgeSize, 1, MAX_EFFECT_SIZE);
  if ((uint32_t)style->shadowDirection > SHDW_NORTHWEST) style->shadowDirection = SHDW_SOUTHEAST;
  if ((uint32_t)style->fillStyle > FILLTEXTURE) style->fillStyle = FILLNONE;
}

// Numbers read the way the handlers read integers and colour words.
static int32_t ToInt(double v) { return luaO_toint32(v); }
static uint32_t ToWord(double v) { return (uint32_t)luaL_numbertoword(v); }

static int MissingArgument(int index) {
  SetErrorNumber(index);
  return ERR_NUMBEREXPECTED;
}

int ApplyFillStyle(DrawStyle *style, const StyleArgs *args) {
  const int n = args->count;
  const double *v = args->value;
  switch (ToInt(v[0])) {
    case FILLNONE:
      style->fillStyle = FILLNONE;
      style->thickness = n >= 2 ? ToInt(v[1]) : 1;
      break;
    case FILLCOLOR:
      style->fillStyle = FILLCOLOR;
      break;
    case FILLGRADIENT:
      // Values are stored as they are read: an argument missing further on keeps the earlier ones.
      style->fillStyle = FILLGRADIENT;
      if (n < 2) return MissingArgument(2);
      style->gradientType = ToInt(v[1]);
      if (n < 3) return MissingArgument(3);
      style->gradientStart = ToWord(v[2]);
      if (n < 4) return MissingArgument(4);
      style->gradientEnd = ToWord(v[3]);
      style->gradientAngle = n >= 5 ? ToInt(v[4]) : 0;
      break;
    case FILLTEXTURE:
      style->fillStyle = FILLTEXTURE;
      if (n < 2) return MissingArgument(2);
      style->texture = args->texture;
      style->textureX = n >= 3 ? ToInt(v[2]) : 0;
      style->textureY = n >= 4 ? ToInt(v[3]) : 0;
      break;
    default:
      return ERR_WRONGUSAGE;
  }
  ClampDrawStyle(style);
  return 0;
}

int ApplyFormStyle(DrawStyle *style, const StyleArgs *args) {
  const int n = args->count;
  const double *v = args->value;
  const uint32_t form = (uint32_t)ToInt(v[0]);
  if (form & FORM_NORMAL) {
    style->formStyle = FORM_NORMAL;
  } else if (form == FORM_SHADOW) {
    style->formStyle |= FORM_SHADOW;
    if (n >= 2) style->shadowColour = ToWord(v[1]);
    if (n >= 3) style->shadowSize = ToInt(v[2]);
    if (n >= 4) style->shadowDirection = ToInt(v[3]);
  } else if (form == FORM_EDGE) {
    style->formStyle |= FORM_EDGE;
    // Four arguments set the flag alone.
    if (n == 2 || n == 3) style->edgeColour = ToWord(v[1]);
    if (n == 3) style->edgeSize = ToInt(v[2]);
  } else {
    if (n > 1) return ERR_TOOMANYARGS;
    style->formStyle |= form;
  }
  ClampDrawStyle(style);
  return 0;
}

void ShadowOffset(int32_t direction, int32_t size, int32_t *dx, int32_t *dy) {
  static const int8_t kX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
  static const int8_t kY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
  const uint32_t d = (uint32_t)direction <= SHDW_NORTHWEST ? (uint32_t)direction : (uint32_t)SHDW_SOUTHEAST;
  *dx = kX[d] * size;
  *dy = kY[d] * size;
}

// ---- Tables ----------------------------------------------------------------------------------

static double *gCos, *gSin;
static int32_t *gIntPoints[3];
static double *gDoublePoints[3];

int OpenDrawTables(void) {
  if (gCos) return 0;
  double *c = (double *)MemAlloc(sizeof(double) * 361, 0);
  double *s = (double *)MemAlloc(sizeof(double) * 361, 0);
  int32_t *ip[3];
  double *dp[3];
  bool ok = c && s;
  for (int i = 0; i < 3; i++) {
    ip[i] = (int32_t *)MemAlloc(sizeof(int32_t) * 2 * DRAW_POINT_CAPACITY, 0);
    dp[i] = (double *)MemAlloc(sizeof(double) * 2 * DRAW_POINT_CAPACITY, 0);
    ok = ok && ip[i] && dp[i];
  }
  if (!ok) {
    MemFree(c);
    MemFree(s);
    for (int i = 0; i < 3; i++) {
      MemFree(ip[i]);
      MemFree(dp[i]);
    }
    return ERR_NOMEM;
  }
  // Entry i holds cos and sin of (360 - i) degrees: the cosine of i and the negated sine of i.
  for (int i = 0; i <= 360; i++) {
    const double r = (360 - i) * (M_PI / 180.0);
    c[i] = std::cos(r);
    s[i] = std::sin(r);
  }
  gCos = c;
  gSin = s;
  for (int i = 0; i < 3; i++) {
    gIntPoints[i] = ip[i];
    gDoublePoints[i] = dp[i];
  }
  return 0;
}

void CloseDrawTables(void) {
  MemFree(gCos);
  MemFree(gSin);
  gCos = gSin = nullptr;
  for (int i = 0; i < 3; i++) {
    MemFree(gIntPoints[i]);
    MemFree(gDoublePoints[i]);
    gIntPoints[i] = nullptr;
    gDoublePoints[i] = nullptr;
  }
}

const double *DrawCosTable(void) { return gCos; }
const double *DrawSinTable(void) { return gSin; }
int32_t *DrawIntPoints(int which) { return which >= 0 && which < 3 ? gIntPoints[which] : nullptr; }
double *DrawDoublePoints(int which) { return which >= 0 && which < 3 ? gDoublePoints[which] : nullptr; }

// The moveobject library: MoveBrush, MoveAnim, MoveTextObject, MoveLayer and MoveSprite, and the
// path-style constants.
#include <cstring>

#include "display/moveobject.h"
#include "fx/fx_scroll.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

// Kinds whose seventh positional argument is the animspeed.
static int HasFrames(int32_t kind) { return kind == MOVEKIND_ANIM || kind == MOVEKIND_SPRITE; }

int ParseMoveArgs(lua_State *L, int32_t kind)
{
    CheckArgs(L, 5, HasFrames(kind) ? 8 : 7);
    MoveContext args;
    memset(&args, 0, sizeof args);
    args.kind = kind;
    const char *layerName = nullptr;
    if (kind == MOVEKIND_LAYER && lua_type(L, 1) == LUA_TSTRING) layerName = lua_tostring(L, 1);
    else args.object = GetObjectIdArg(L, 1);
    args.x = GetIntArg(L, 2);
    args.y = GetIntArg(L, 3);
    args.endX = GetIntArg(L, 4);
    args.endY = GetIntArg(L, 5);
    int speed = MOVESPEED_NORMAL, animSpeed = MOVESPEED_NORMAL, fx = 0, async = 0;
    const int n = lua_gettop(L);
    if (n == 6 && lua_istable(L, 6)) {
        GetFieldInt(L, 6, "fx", &fx, nullptr);
        GetFieldInt(L, 6, "speed", &speed, nullptr);
        GetFieldInt(L, 6, "animspeed", &animSpeed, nullptr);
        GetFieldInt(L, 6, "async", &async, nullptr);
    } else {
        speed = GetOptIntArg(L, 6, speed);
        if (HasFrames(kind)) {
            animSpeed = GetOptIntArg(L, 7, animSpeed);
            fx = GetOptIntArg(L, 8, fx);
        } else {
            fx = GetOptIntArg(L, 7, fx);
        }
    }
    // The fx argument names the path style (#BOUNCE ...); other values move straight.
    args.style = fx;
    args.async = async;
    MoveContext *c = (MoveContext *)MemAlloc(sizeof(MoveContext), 0);
    if (!c) return 1000;
    memcpy(c, &args, sizeof args);
    int results;
    int code = MoveObject(L, c, speed, animSpeed, layerName, &results);
    return code ? code : results;
}

static int MoveBrush(lua_State *L) { return ParseMoveArgs(L, MOVEKIND_BRUSH); }
static int MoveAnim(lua_State *L) { return ParseMoveArgs(L, MOVEKIND_ANIM); }
static int MoveTextObject(lua_State *L) { return ParseMoveArgs(L, MOVEKIND_TEXTOBJECT); }
static int MoveLayer(lua_State *L) { return ParseMoveArgs(L, MOVEKIND_LAYER); }
static int MoveSprite(lua_State *L) { return ParseMoveArgs(L, MOVEKIND_SPRITE); }

static const luaL_reg MoveObjectCommands[] = {
    {"MoveBrush", MoveBrush},   {"MoveAnim", MoveAnim},     {"MoveTextObject", MoveTextObject},
    {"MoveLayer", MoveLayer},   {"MoveSprite", MoveSprite}, {nullptr, nullptr},
};

static const luaL_Constant MoveObjectConstants[] = {
    {"BOUNCE", nullptr, MOVESTYLE_BOUNCE},   {"SMOOTHOUT", nullptr, MOVESTYLE_SMOOTHOUT},
    {"DAMPED", nullptr, MOVESTYLE_DAMPED},   {"SINE", nullptr, MOVESTYLE_SINE},
    {"BIGSINE", nullptr, MOVESTYLE_BIGSINE}, {"LOWERCURVE", nullptr, MOVESTYLE_LOWERCURVE},
    {"UPPERCURVE", nullptr, MOVESTYLE_UPPERCURVE}, {nullptr, nullptr, 0},
};

int OpenMoveObjectLib(lua_State *L)
{
    luaL_openlib(L, nullptr, MoveObjectCommands, 0);
    int code = RegisterCommandTable(MoveObjectCommands, "moveobject");
    if (code) return code;
    luaL_registerconstants(L, MoveObjectConstants);
    FxSetMoveObject(MoveObjectEmbedded);
    return 0;
}

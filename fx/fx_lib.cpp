// The transitionfx command library: eight commands that fill a transition record from their
// arguments and run it, and GetRandomFX.
#include "fx/fx_engine.h"

#include <cstring>
#include "display/bgpic.h"
#include "display/display.h"
#include "display/layer.h"
#include "fx/fx_catalogue.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

void StartRecord(lua_State *L, TransitionRecord *r, int32_t kind) {
  memset(r, 0, sizeof *r);
  r->state = L;
  r->kind = kind;
  r->effect = FX_RANDOMEFFECT;
  r->speed = FXSPEED_NORMAL;
  r->parameter = FX_RANDOMPARAMETER;
  r->undoLevel = 1;
  r->bgpicX = r->bgpicY = FX_POSITION_UNSET;
}

// An integer field that may also be given as a boolean (true counts as 1).
void GetFieldFlagOrInt(lua_State *L, int t, const char *key, int32_t *out) {
  lua_pushstring(L, key);
  lua_gettable(L, t);
  const int boolean = lua_isboolean(L, -1);
  const int value = boolean ? lua_toboolean(L, -1) : 0;
  lua_pop(L, 1);
  if (boolean) {
    *out = value ? 1 : 0;
    return;
  }
  int v;
  if (GetFieldInt(L, t, key, &v, nullptr)) *out = v;
}

void ParseFXOptions(lua_State *L, int t, TransitionRecord *r) {
  static const struct {
    const char *key;
    size_t offset;
  } kFields[] = {
      {"type", offsetof(TransitionRecord, effect)},
      {"speed", offsetof(TransitionRecord, speed)},
      {"parameter", offsetof(TransitionRecord, parameter)},
      {"undolevel", offsetof(TransitionRecord, undoLevel)},
      {"dx", offsetof(TransitionRecord, x)},
      {"dy", offsetof(TransitionRecord, y)},
      {"layers", offsetof(TransitionRecord, layers)},
      {"forcerealtimelayers", offsetof(TransitionRecord, forceRealTimeLayers)},
      {"async", offsetof(TransitionRecord, async)},
  };
  r->effect = FX_RANDOMEFFECT;
  r->speed = FXSPEED_NORMAL;
  r->parameter = FX_RANDOMPARAMETER;
  r->undoLevel = 1;
  for (const auto &f : kFields) GetFieldFlagOrInt(L, t, f.key, (int32_t *)((char *)r + f.offset));
}

// The optional arguments from `first` on: an option table in their place, or effect, speed and
// parameter. Returns the table's index, or 0.
int ReadOptional(lua_State *L, int first, TransitionRecord *r) {
  if (lua_gettop(L) == first && lua_istable(L, first)) {
    ParseFXOptions(L, first, r);
    return first;
  }
  r->effect = GetOptIntArg(L, first, FX_RANDOMEFFECT);
  r->speed = GetOptIntArg(L, first + 1, FXSPEED_NORMAL);
  r->parameter = GetOptIntArg(L, first + 2, FX_RANDOMPARAMETER);
  return 0;
}

// A layer argument: its 1-based position, or its name on the current picture.
int GetLayerArg(lua_State *L, int i, int32_t *position) {
  if (lua_type(L, i) == LUA_TNUMBER) {
    *position = GetIntArg(L, i);
    return 0;
  }
  if (lua_type(L, i) == LUA_TSTRING) {
    const char *name = lua_tostring(L, i);
    *position = LayerNameLookup ? LayerNameLookup(L, name) : 0;
    if (*position > 0) return 0;
    SetErrorString(name);
    return 1369;
  }
  SetErrorNumber(i);
  return 1183;
}

void SetId(TransitionRecord *r, ObjectId id) {
  r->idNumber = id.number;
  r->idHandle = id.handle;
}

// Runs the record, again from the start while the display changed size during the run.
int Run(TransitionRecord *r) {
  int code;
  do {
    r->restart = 0;
    code = DoTransitionFX(r);
  } while (!code && r->restart);
  return code;
}

// DisplayBrushFX(id, x, y [, effect, speed, parameter]) and DisplayTextObjectFX.
int ObjectFX(lua_State *L, int32_t kind) {
  CheckArgs(L, 3, 6);
  TransitionRecord r;
  StartRecord(L, &r, kind);
  SetId(&r, GetObjectIdArg(L, 1));
  r.x = GetIntArg(L, 2);
  r.y = GetIntArg(L, 3);
  ReadOptional(L, 4, &r);
  return Run(&r);
}

int DisplayBrushFX(lua_State *L) { return ObjectFX(L, FXKIND_BRUSH); }
int DisplayTextObjectFX(lua_State *L) { return ObjectFX(L, FXKIND_TEXTOBJECT); }

// DisplayTransitionFX(id [, effect, speed, parameter])
int DisplayTransitionFX(lua_State *L) {
  CheckArgs(L, 1, 4);
  TransitionRecord r;
  StartRecord(L, &r, FXKIND_BGPIC);
  SetId(&r, GetObjectIdArg(L, 1));
  int t = ReadOptional(L, 2, &r);
  if (t) {
    int v;
    if (GetFieldInt(L, t, "x", &v, nullptr)) r.bgpicX = v;
    if (GetFieldInt(L, t, "y", &v, nullptr)) r.bgpicY = v;
    // A picture transition always runs inside the command.
    if (r.async) return 1055;
  }
  return Run(&r);
}

// DisplayBGPicPartFX(id, x, y, width, height [, effect, speed, parameter, dx, dy, layers])
int DisplayBGPicPartFX(lua_State *L) {
  CheckArgs(L, 5, 11);
  TransitionRecord r;
  StartRecord(L, &r, FXKIND_BGPICPART);
  SetId(&r, GetObjectIdArg(L, 1));
  r.partX = GetIntArg(L, 2);
  r.partY = GetIntArg(L, 3);
  r.width = GetIntArg(L, 4);
  r.height = GetIntArg(L, 5);
  r.x = r.partX;
  r.y = r.partY;
  if (!ReadOptional(L, 6, &r)) {
    r.x = GetOptIntArg(L, 9, r.partX);
    r.y = GetOptIntArg(L, 10, r.partY);
    r.layers = lua_isboolean(L, 11) ? lua_toboolean(L, 11) : GetOptIntArg(L, 11, 0);
  }
  if (r.layers && !(CurrentDisplay && CurrentDisplay->layersEnabled)) return 1055;
  return Run(&r);
}

// ShowLayerFX, HideLayerFX, RemoveLayerFX(layer [, effect, speed, parameter])
int LayerFX(lua_State *L, int32_t kind) {
  CheckArgs(L, 1, 4);
  TransitionRecord r;
  StartRecord(L, &r, kind);
  int32_t position;
  int code = GetLayerArg(L, 1, &position);
  if (code) return code;
  r.idNumber = (uint32_t)position;
  int t = ReadOptional(L, 2, &r);
  if (t && kind == FXKIND_LAYER) {
    GetFieldFlagOrInt(L, t, "bgpicemu", &r.bgpicEmu);
    if (r.bgpicEmu) {
      ObjectId id;
      int found = 0;
      GetFieldObjectId(L, t, "bgpic", &id, &found);
      if (!found) return 1014;
      BGPicNode *b;
      if ((code = GetBGPicNode(id, &b, 0))) return code;
      r.emulatedBGPic = b;
      b->layersChanged = 0;
    }
  }
  r.reverse = kind != FXKIND_LAYER;
  return Run(&r);
}

int ShowLayerFX(lua_State *L) { return LayerFX(L, FXKIND_LAYER); }
int HideLayerFX(lua_State *L) { return LayerFX(L, FXKIND_HIDELAYER); }
int RemoveLayerFX(lua_State *L) { return LayerFX(L, FXKIND_REMOVELAYER); }

// UndoFX(type, id [, effect, speed, parameter, level])
int UndoFX(lua_State *L) {
  CheckArgs(L, 2, 6);
  TransitionRecord r;
  StartRecord(L, &r, FXKIND_REMOVELAYER);
  r.undoType = GetIntArg(L, 1);
  const ObjectId id = GetObjectIdArg(L, 2);
  if (!ReadOptional(L, 3, &r)) r.undoLevel = GetOptIntArg(L, 6, 1);
  if (!CurrentDisplay || !CurrentDisplay->layersEnabled) return 1078;
  r.reverse = 1;
  // The level-th matching layer counted from the top.
  BGPicNode *pic = CurrentPicture;
  int32_t position = CountLayers(pic), matches = 0;
  for (kvLayer *l = position ? GetLayerByIndex(pic, position) : nullptr; l && position > 0;
       l = --position > 0 ? l->pred : nullptr) {
    if (l->type == r.undoType && ObjectIdMatches(l->source, id) && ++matches == r.undoLevel) break;
  }
  if (position < 1 || matches != r.undoLevel || r.undoLevel < 1) return 1041;
  r.idNumber = (uint32_t)position;
  return Run(&r);
}

// GetRandomFX(objects)
int GetRandomFX(lua_State *L) {
  CheckArgs(L, 1, 1);
  const int objects = lua_isboolean(L, 1) ? lua_toboolean(L, 1) : GetIntArg(L, 1);
  lua_pushnumber(L, FxRandomEffect(objects != 0));
  return 1;
}

const luaL_reg kTransitionFXCommands[] = {
    {"DisplayBrushFX", DisplayBrushFX},
    {"DisplayTextObjectFX", DisplayTextObjectFX},
    {"DisplayTransitionFX", DisplayTransitionFX},
    {"DisplayBGPicPartFX", DisplayBGPicPartFX},
    {"UndoFX", UndoFX},
    {"ShowLayerFX", ShowLayerFX},
    {"HideLayerFX", HideLayerFX},
    {"RemoveLayerFX", RemoveLayerFX},
    {"GetRandomFX", GetRandomFX},
    {nullptr, nullptr},
};

}  // namespace

int OpenTransitionFXLib(lua_State *L) {
  static luaL_Constant constants[160];
  int n = 0;
  for (const FxConstant *c = kFxConstants; c->name && n < 159; c++, n++)
    constants[n] = luaL_Constant{c->name, nullptr, (lua_Number)c->value};
  constants[n] = luaL_Constant{nullptr, nullptr, 0};
  FxInstallDisplayHooks();
  luaL_openlib(L, nullptr, kTransitionFXCommands, 0);
  int code = RegisterCommandTable(kTransitionFXCommands, "transitionfx");
  if (code) return code;
  luaL_registerconstants(L, constants);
  return 0;
}

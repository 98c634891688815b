// The bgpic library's commands and the helpers its handlers share.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"

struct lua_State;

// The id argument of a creating command (a BGPic, or the brush of BGPicToBrush): a number, or
// Nil for an automatic id, which goes on as (0, 1) until the new record gives it its handle.
ObjectId ReadNewBGPicId(lua_State *L, int i, int *isNil);
// A numbered creation first frees an older BGPic of that number (a missing one is no error).
int FreeOlderBGPic(lua_State *L, ObjectId id, int isNil);
// Pushes the handle of an object made with an automatic id; returns the result count.
int PushNewBGPic(lua_State *L, int isNil, ObjectId id);

// LoadBGPic's work: the picture file with a transparent colour (0xFFFFFFFF none) or its alpha
// channel, and a palette (owned from then on; none: the file's colour table). 0 or an error code.
int LoadBGPicCore(ObjectId *id, const char *name, uint32_t transparent, int loadAlpha, uint32_t *palette);

int LoadBGPic(lua_State *L);

// The bgpic library's commands and the helpers its handlers share.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"

struct lua_State;

// A numbered creation first frees an older BGPic of that number (a missing one is no error).
int FreeOlderBGPic(lua_State *L, ObjectId id, int isNil);

// LoadBGPic's work: the picture file with a transparent colour (0xFFFFFFFF none) or its alpha
// channel, and a palette (owned from then on; none: the file's colour table). 0 or an error code.
int LoadBGPicCore(ObjectId *id, const char *name, uint32_t transparent, int loadAlpha, uint32_t *palette);

int LoadBGPic(lua_State *L);

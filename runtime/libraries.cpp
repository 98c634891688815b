// The registration table of the eighteen command libraries, and the shutdown order.
#include "runtime/libraries.h"
#include "runtime/vm/api.h"

const LibraryEntry LibraryTable[] = {
    {"string", OpenStringLib},
    {"math", OpenMathLib},
    {"graphics", OpenGraphicsLib},
    {"draw", OpenDrawLib},
    {"moveobject", OpenMoveObjectLib},
    {"dos", OpenDosLib},
    {"event", OpenEventLib},
    {"system", OpenSystemLib},
    {"layers", OpenLayersLib},
    {"text", OpenTextLib},
    {"anim", OpenAnimLib},
    {"display", OpenDisplayLib},
    {"sound", OpenSoundLib},
    {"brush", OpenBrushLib},
    {"bgpic", OpenBGPicLib},
    {"transitionfx", OpenTransitionFXLib},
    {"sprite", OpenSpriteLib},
    {"memblock", OpenMemBlockLib},
    {nullptr, nullptr},
};

const int LibraryCount = 18;

int OpenAllLibraries(lua_State *L)
{
    for (int i = 0; LibraryTable[i].open; i++) {
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        int code = LibraryTable[i].open(L);
        lua_settop(L, 0);
        if (code != 0) return code;
    }
    return 0;
}

void CloseAllLibraries(lua_State *L)
{
    FreeScaleTables(L);
    StopAllSound(L);
    FreeAllDisplays(L);
    CloseGraphicsLib(L);
    CloseDrawLib(L);
    FreeAllBrushes(L);
    FreeAllBGPics(L);
    FreeAllSprites(L);
    CloseSystemLib(L);
    CloseTextLib(L);
    FreeAllAnims(L);
    CloseLayersLib(L);
    CloseDosLib(L);
    FreeAllMemBlocks(L);
    CloseEventLib(L);
    FreeSoundObjects(L);
}

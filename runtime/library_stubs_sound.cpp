// Stand-ins for the sound library until it is built. Whoever builds it deletes this file.
#include "runtime/libraries.h"

int OpenSoundLib(lua_State *L) { return 0; }
void FreeSoundObjects(lua_State *L) {}
void StopAllSound(lua_State *L) {}
int SoundSetTagHandler(lua_State *L, uint32_t tag, intptr_t value) { return 0; }
int SoundGetTagHandler(lua_State *L, uint32_t tag, void *result) { return 0; }

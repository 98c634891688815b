// The command libraries and their registration table.
//
// PlayerMain opens the libraries in the order of LibraryTable; PlayerCleanup closes them in
// its own fixed order. Every open function gets the global table pushed on the stack and
// returns 0 or an error code. Every close function is safe when its library never opened.
// A library that is not built yet has a stub in runtime/library_stubs.cpp that registers
// nothing; whoever builds a library deletes its stubs there.
#pragma once
#include <cstdint>

struct lua_State;
struct ClArgsRecord;
struct AppletRecord;

typedef int (*LibraryOpenFunc)(lua_State *L);

struct LibraryEntry {
    const char *name;       // library name as shown in the command list ("string", "math", ...)
    LibraryOpenFunc open;   // registers the library's commands and constants
};

// The 18 libraries in opening order; terminated by {nullptr, nullptr}.
extern const LibraryEntry LibraryTable[];
// Number of real entries in LibraryTable (18).
extern const int LibraryCount;

// Opens every library of the table in order: pushes the global table, calls the open
// function, empties the stack. Returns 0 or the first non-zero code.
int OpenAllLibraries(lua_State *L);

// Closes every library in the shutdown order (scaling tables, sound playback, displays,
// graphics, draw, brushes, BGPics, sprites, system, text, anims, layers, dos, memory
// blocks, event, sound objects).
void CloseAllLibraries(lua_State *L);

int OpenStringLib(lua_State *L);
int OpenMathLib(lua_State *L);
int OpenGraphicsLib(lua_State *L);
int OpenDrawLib(lua_State *L);
int OpenMoveObjectLib(lua_State *L);
int OpenDosLib(lua_State *L);
int OpenEventLib(lua_State *L);
int OpenSystemLib(lua_State *L);
int OpenLayersLib(lua_State *L);
int OpenTextLib(lua_State *L);
int OpenAnimLib(lua_State *L);
int OpenDisplayLib(lua_State *L);
int OpenSoundLib(lua_State *L);
int OpenBrushLib(lua_State *L);
int OpenBGPicLib(lua_State *L);
int OpenTransitionFXLib(lua_State *L);
int OpenSpriteLib(lua_State *L);
int OpenMemBlockLib(lua_State *L);

void CloseSystemLib(lua_State *L);
void CloseGraphicsLib(lua_State *L);
void CloseDrawLib(lua_State *L);
void CloseTextLib(lua_State *L);
void CloseLayersLib(lua_State *L);
void CloseDosLib(lua_State *L);
void CloseEventLib(lua_State *L);
void FreeAllBrushes(lua_State *L);
void FreeAllBGPics(lua_State *L);
void FreeAllSprites(lua_State *L);
void FreeAllAnims(lua_State *L);
void FreeAllMemBlocks(lua_State *L);
void FreeSoundObjects(lua_State *L);
void FreeAllDisplays(lua_State *L);
void StopAllSound(lua_State *L);
void FreeScaleTables(lua_State *L);

// Runtime-setting handlers of the graphics and sound libraries, registered by PlayerMain
// after all libraries are open (graphics first). Each returns non-zero when it served the tag.
int GraphicsSetTagHandler(lua_State *L, uint32_t tag, intptr_t value);
int SoundSetTagHandler(lua_State *L, uint32_t tag, intptr_t value);
int GraphicsGetTagHandler(lua_State *L, uint32_t tag, void *result);
int SoundGetTagHandler(lua_State *L, uint32_t tag, void *result);

// Start-up steps after the applet is loaded: create the declared objects (0 or the error code
// of the command that failed), then open the first display with the PRIVATE3 text.
int CreatePreprocObjects(lua_State *L, ClArgsRecord *clargs, AppletRecord *applet);
int OpenInitialDisplay(lua_State *L, const char *private3);

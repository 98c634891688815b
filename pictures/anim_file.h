// Animation files opened once and asked for frames by number: IFF ANIM and GIF by the program's
// own decoders, other formats through the platform's anim decoder hooks.
#pragma once
#include <cstdint>

enum { ANIMFILE_IFF = 1, ANIMFILE_GIF = 2, ANIMFILE_PLATFORM = 3 };

struct AnimFile {
  void *decoder;   // IffAnimReader, GifReader, or the platform's record
  uint32_t kind;   // ANIMFILE_*
};

// Opens an animation file (names go through the file layer). The file name becomes the error
// string. 0; 1045 (can't be read), 1356 (no animation of a known format, or a broken one), 1000.
int LoadAnimFile(const char *name, AnimFile **handle, int32_t *width, int32_t *height, int32_t *frameCount);
// A new MemAlloc'd buffer of width x height words 0x00RRGGBB of frame index (0-based), or none
// (the caller reports 1270).
uint32_t *GetAnimFileFrame(AnimFile *handle, int32_t index);
// The frame's delay in milliseconds.
int32_t GetAnimFileDelay(AnimFile *handle, int32_t index);
void FreeAnimFile(AnimFile *handle);  // none is ignored
// 1 when the file opens as an animation of more than one frame, else 0.
int IsAnimFile(const char *name);

// IFF ANIM animations: a first frame stored as an ILBM, then one FORM per frame holding a
// byte-vertical delta (operation 5, plain or XOR) against the frame one or two back.
#pragma once
#include <cstdint>

struct IffAnimReader;

// Opens the file and reads the first frame and the frame table. None for a file that is no
// IFF ANIM of up to 8 planes with at least one delta frame, a broken one, or memory.
IffAnimReader *OpenIffAnim(const char *name, int32_t *width, int32_t *height, int32_t *frameCount);
// A new MemAlloc'd buffer of width x height words 0x00RRGGBB of frame index (0-based), or none
// when the index is out of range or the frame's delta is broken.
uint32_t *GetIffAnimFrame(IffAnimReader *reader, int32_t index);
// The frame's delay in milliseconds (jiffies x 1000 / 60); 0 for the last frame or out of range.
int32_t GetIffAnimDelay(IffAnimReader *reader, int32_t index);
void CloseIffAnim(IffAnimReader *reader);  // none is ignored

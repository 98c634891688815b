// GIF87a/GIF89a animations: the file is scanned once into a frame table, then any frame comes
// back as a screen-sized buffer of words 0x00RRGGBB. One composed canvas is kept, so frames
// asked for in order are decoded once each; random access restarts at the nearest key frame.
#pragma once
#include <cstdint>

struct GifReader;

// Opens a GIF through the file layer and scans every frame. With sizeOnly only the header is
// read: the size is returned and no reader. None on failure (an unreadable, broken or empty
// file, a screen size below 1 or above the picture limit, or memory).
GifReader *OpenGifAnim(const char *name, int32_t *width, int32_t *height, int32_t *frameCount, int sizeOnly);
// A new MemAlloc'd buffer of width x height words with frame index (0-based) composed on the
// screen, or none (index out of range, broken data, memory).
uint32_t *GetGifFrame(GifReader *reader, int32_t index);
// The frame's delay in milliseconds (hundredths x 10); 0 for an index out of range.
int32_t GetGifFrameDelay(GifReader *reader, int32_t index);
// Closes the file and frees everything; none is ignored.
void CloseGifAnim(GifReader *reader);

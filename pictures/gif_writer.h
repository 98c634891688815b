// GIF89a writer: frames of 8-bit palette indexes, each with its own local colour table and a
// graphic control extension; the first frame carries the looping extension. With "optimize"
// only the changed part of a frame is written and unchanged pixels are left transparent.
#pragma once
#include <cstdint>

struct GifWriter;

// Creates the file and writes the header. 0; 1055 for a side below 1 or above 65535; 1000;
// 1052 when the file can't be created (error string: the file name); 1005 when a write fails
// (nothing is left then). The file is a new one beside an older file of the name, which it
// replaces at GifWriterClose only when every write succeeded. A frame after one with a given
// transparent index (disposal 2) is written whole, never against what that one left.
int GifWriterOpen(const char *name, int32_t width, int32_t height, GifWriter **writer);
// Appends one frame of width x height indices (the writer's size). The palette (256 words
// 0x00RRGGBB) gets entries colours..255 set to 0xFFFFFFFF, and with optimize unchanged pixels of
// the indices become colours - 1. transparentIndex -1: the frame leaves colours - 1 as its
// transparent slot. delay in milliseconds. 0, 1055 (bad size or colours outside 1..256), 1000,
// or 1005 when a write fails (then and afterwards).
int GifWriterAddFrame(GifWriter *writer, uint8_t *indices, int32_t width, int32_t height, int32_t delay,
                      uint32_t *palette, int32_t colours, int32_t transparentIndex, int optimize);
// Writes the trailer, closes the file and frees the writer (none is ignored). 0 once the file
// is in place, or 1005 when any write of the file or its close failed: the new file is then
// removed and an older one of its name stays as it was.
int GifWriterClose(GifWriter *writer);
// Gives the file up (removed; an older one of its name stays) and frees the writer.
void GifWriterDiscard(GifWriter *writer);

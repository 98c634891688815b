// The program's own still-picture readers (IFF ILBM, BMP, GIF) and the IFF ILBM writer. Readers
// go through the file layer, so "PROGDIR:" and linked files work. Pixels come out as MemAlloc'd
// words 0x00RRGGBB, rows top to bottom, without padding.
#pragma once
#include <cstdint>

// Checks a picture size read from a file, in 64 bits: 0; 1358 when either side is below 1;
// 1000 when width x height exceeds the platform decoder's OS_MAX_PICTURE_PIXELS.
int CheckPictureSize(int64_t width, int64_t height);

struct FileHandle;
// A reader's decoding step on the open file, with the arguments of the readers below.
typedef int (*PictureDecoder)(FileHandle *fh, int32_t *width, int32_t *height, uint32_t **pixels,
                              uint32_t **palette);
// Opens the file (1045), decodes it and closes it; the outputs are cleared first and the file
// name is the error string of a failure.
int ReadPictureFile(const char *name, PictureDecoder decode, int32_t *width, int32_t *height, uint32_t **pixels,
                    uint32_t **palette);

// Every reader: `pixels` none asks for the size only. `palette` (may be none) receives a
// MemAlloc'd table of 256 words 0x00RRGGBB for a picture made of palette indexes (entries the
// file does not give are 0), else none. `keyColour` (may be none) receives the colour of the
// file's transparent index (GIF), else -1. Returns 0, 1045 (can't open), 1358 (not this format,
// a broken file or a size below 1), 1000 (memory, or too large); nothing stays allocated after
// a failure.
int ReadILBM(const char *name, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palette);
int ReadBMP(const char *name, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palette);
// The first frame of a GIF, on its logical screen; pixels of the transparent index come out in
// the key colour.
int ReadGIFPicture(const char *name, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palette,
                   int32_t *keyColour);

// Writes width x height words (0x00RRGGBB, top byte ignored) as a 24-plane ByteRun1 ILBM,
// in place of an older file only once the new one is whole. 0; 1055 for a side below 1 or
// above 65535 (before any file is touched); 1000; 1052 when the file can't be created (error
// string: the file name); 1005 when a write or the close fails (an older file stays as it was,
// nothing of the new one is left).
int WriteILBM(const char *name, const uint32_t *pixels, int32_t width, int32_t height);

// The one entry through which pictures are loaded from files: the reader is chosen by the first
// bytes, the result shaped by an alpha mode.
#pragma once
#include <cstdint>
#include "gfx/bitmap.h"

// Alpha modes of LoadImageFile.
enum {
  LOADALPHA_NONE = 0,      // colour words only; a delivered alpha channel is freed
  LOADALPHA_REQUIRE = 1,   // colour words and the alpha channel; none fails with 1170 (also any
                           // mode other than 0, 2, 3)
  LOADALPHA_MERGE = 2,     // one buffer of RGBA words (memory bytes R, G, B, A)
  LOADALPHA_OPTIONAL = 3   // colour words and the alpha channel when there is one
};

// Bytes looked at to choose the reader; a shorter file reads as zero-filled.
enum { PICTURE_SNIFF_BYTES = 64 };

// Loads a picture file (names go through the file layer: "PROGDIR:" and linked files work).
// palette (may be nullptr) receives, for a picture of palette indexes (ILBM, BMP, GIF), a
// MemAlloc'd table of 256 words 0x00RRGGBB, else nullptr; unused2..3 are accepted and ignored.
// pixels: receives a MemAlloc'd buffer of width x height
// words 0x00RRGGBB (or RGBA words in mode 2); nullptr asks for the size only (no alpha mode is
// applied then). alpha (may be nullptr) receives the AlphaChannel or nullptr; mask (may be
// nullptr) always nullptr; keyColour (may be nullptr) the colour of a GIF's transparent index,
// else -1. Returns 0, 1045 (the file can't
// be opened), 1358 (unknown format), 1170 (mode 1 without alpha), 1000, or a reader's code.
// The file name is the error string of every failure. Nothing stays allocated after a failure.
int LoadImageFile(const char *name, uint32_t **palette, intptr_t unused2, intptr_t unused3, int alphaMode,
                  uint32_t **pixels, AlphaChannel **alpha, Mask **mask, int32_t *keyColour, int32_t *width,
                  int32_t *height);

// Reader kinds of PictureKind.
enum {
  PICKIND_UNKNOWN = 0,
  PICKIND_ILBM = 1,
  PICKIND_PNG = 2,
  PICKIND_JPEG = 3,
  PICKIND_BMP = 4,
  PICKIND_TIFF = 5,
  PICKIND_GIF = 6
};
// The reader the first PICTURE_SNIFF_BYTES bytes of a file call for.
int PictureKind(const uint8_t head[PICTURE_SNIFF_BYTES]);

// Animation output that needs no anim object: the list of open anim streams (GIF or AVI files
// written frame by frame), the frame composition of a stream, GIF frames made from bitmaps by the
// colour quantiser, and single-picture GIF files. The script commands (BeginAnimStream,
// WriteAnimFrame, FinishAnimStream, SaveAnim) read their arguments and call these.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"

struct BitMap;
struct GifWriter;

enum { ANIMSTREAM_GIF = 0, ANIMSTREAM_AVI = 1 };

struct AnimStreamNode {
  AnimStreamNode *next;
  ObjectId id;       // a Nil id gets the node's address as its handle
  int32_t width, height;
  int32_t format;    // ANIMSTREAM_*
  void *writer;      // GifWriter or AviWriter
};

// Options of a GIF frame (WriteAnimFrame, SaveAnim) with their defaults.
struct GifFrameOptions {
  int32_t colours = 256;            // 2..256
  int dither = 0;
  int32_t transparentColour = -1;   // 0xRRGGBB written as transparent, -1 none
  int optimize = 1;
  int32_t delay = 0;                // milliseconds
};

// Opens a GIF (format 0) or AVI (format 1, with fps, JPEG quality and the path's file part as
// title) stream and appends it; a numbered id first finishes a stream of that number; a Nil id
// (handle non-zero) receives the node's address. 0; 1055 (empty name, a side below 1, another
// format); the writer's error; 1000.
int BeginAnimStreamNode(ObjectId *id, const char *file, int32_t width, int32_t height, int32_t format, int32_t fps,
                        int32_t quality, AnimStreamNode **stream);
// 0 and the stream; 1041 for a handle that names none; else 1341 with the number as error number.
int FindAnimStream(ObjectId id, AnimStreamNode **stream);
// Writes one frame: the picture at (x, y) on a frame of the stream's size filled with the
// transparent colour (black without one), without its mask or alpha channel; the picture itself
// when it has the stream's size and stands at (0, 0). 0, 1055 (colours outside 2..256), 1000,
// 1152 or the writer's error; the stream stays usable after a failed frame.
int WriteAnimStreamFrame(AnimStreamNode *stream, const BitMap *picture, int32_t x, int32_t y,
                         const GifFrameOptions *options);
// Unlinks the stream, closes its writer (GIF trailer, AVI indexes and headers) and frees it.
// Returns the writer's close result (0 or 1005).
int FinishAnimStream(AnimStreamNode *stream);
// Closes every stream still open (at shutdown).
void FreeAllAnimStreams(void);

// One GIF frame from a bitmap: reduced by the quantiser to at most options->colours colours,
// one palette slot always kept for transparency (pixels of the transparent colour, and only
// those, land in it), then written with the options' delay and optimize flag. indices: a buffer
// of the writer's width x height bytes. 0, 1055, 1000, 1152, 1005.
int WriteGifFrameFromBitMap(GifWriter *writer, const BitMap *frame, int32_t width, int32_t height,
                            const GifFrameOptions *options, uint8_t *indices);
// A single-frame GIF file of the bitmap (the picture writer's GIF format): 0, 1055, 1000, 1152,
// 1052, 1005.
int SaveGifPicture(const char *name, const BitMap *bitmap, int32_t colours, int dither, int32_t transparentColour);

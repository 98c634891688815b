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
  char *file;        // the file's name as given, for the message of a failed write
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
// title) stream and appends it; a numbered id first finishes a stream of that number, and when
// that one's file could not be completed its 1005 (naming that file) is returned and no new
// stream begins; a Nil id (handle non-zero) receives the node's address. 0; 1055 (empty name, a
// side below 1, another format); the writer's error; 1000. The file takes the place of an older
// one of its name only when the stream is finished whole.
int BeginAnimStreamNode(ObjectId *id, const char *file, int32_t width, int32_t height, int32_t format, int32_t fps,
                        int32_t quality, AnimStreamNode **stream);
// 0 and the stream; 1041 for a handle that names none; else 1341 with the number as error number.
int FindAnimStream(ObjectId id, AnimStreamNode **stream);
// Writes one frame: the picture at (x, y) on a frame of the stream's size filled with the
// transparent colour (black without one), without its mask or alpha channel; the picture itself
// when it has the stream's size and stands at (0, 0). 0, 1055 (colours outside 2..256), 1000,
// 1152 or the writer's error (1005 naming the file, after which every frame and the finish
// fail); the stream stays usable after a frame that failed otherwise.
int WriteAnimStreamFrame(AnimStreamNode *stream, const BitMap *picture, int32_t x, int32_t y,
                         const GifFrameOptions *options);
// Unlinks the stream, closes its writer (GIF trailer, AVI indexes and headers) and frees it.
// 0 once the file is whole and in place; 1005 (naming the file) when any write or the close
// failed: nothing of the new file is left and an older file of its name stays as it was.
int FinishAnimStream(AnimStreamNode *stream);
// Unlinks and frees the stream, giving its file up: an older file of its name stays as it was.
void AbandonAnimStream(AnimStreamNode *stream);
// Finishes every stream still open (at the end of the script); a file that could not be
// completed is told on standard error.
void FreeAllAnimStreams(void);

// One GIF frame from a bitmap: reduced by the quantiser to at most options->colours colours,
// one palette slot always kept for transparency (pixels of the transparent colour, and only
// those, land in it), then written with the options' delay and optimize flag. indices: a buffer
// of the writer's width x height bytes. 0, 1055, 1000, 1152, 1005.
int WriteGifFrameFromBitMap(GifWriter *writer, const BitMap *frame, int32_t width, int32_t height,
                            const GifFrameOptions *options, uint8_t *indices);
// A GIF pixel is shown or not: with alpha from GIF_SHOWN_ALPHA up (at least half covered) it
// is written opaque, below that transparent.
enum { GIF_SHOWN_ALPHA = 128 };
// A single-frame GIF file of width x height words 0xAARRGGBB (the picture writer's GIF format),
// quantised to at most `colours` colours. With `shaped` set the pixels whose alpha is below
// GIF_SHOWN_ALPHA get the transparent index, whose palette entry is transparentColour, and no
// other pixel does (the words of those pixels are changed); without it the alpha is ignored and
// every pixel is opaque. 0, 1055 (before any file is touched), 1000, 1052, 1005.
int SaveGifPicture(const char *name, uint32_t *argb, int32_t width, int32_t height, int32_t colours, int dither,
                   int shaped, uint32_t transparentColour);

// Anim streams, GIF frames from bitmaps and single-picture GIF files.
#include "pictures/anim_stream.h"

#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/quantise.h"
#include "pictures/avi_writer.h"
#include "pictures/gif_writer.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

static AnimStreamNode *g_streams;

int FindAnimStream(ObjectId id, AnimStreamNode **stream) {
  for (AnimStreamNode *s = g_streams; s; s = s->next)
    if (ObjectIdMatches(s->id, id)) {
      *stream = s;
      return 0;
    }
  *stream = nullptr;
  if (id.handle) return 1041;
  SetErrorNumber((long)id.number);
  return 1341;
}

static int CloseWriter(AnimStreamNode *s) {
  return s->format == ANIMSTREAM_GIF ? GifWriterClose((GifWriter *)s->writer)
                                     : AviWriterClose((AviWriter *)s->writer);
}

int FinishAnimStream(AnimStreamNode *stream) {
  AnimStreamNode **link = &g_streams;
  while (*link && *link != stream) link = &(*link)->next;
  if (*link) *link = stream->next;
  const int err = CloseWriter(stream);
  MemFree(stream);
  return err;
}

void FreeAllAnimStreams(void) {
  while (g_streams) FinishAnimStream(g_streams);
}

int BeginAnimStreamNode(ObjectId *id, const char *file, int32_t width, int32_t height, int32_t format, int32_t fps,
                        int32_t quality, AnimStreamNode **stream) {
  if (stream) *stream = nullptr;
  if (!file || !*file || width < 1 || height < 1 || (format != ANIMSTREAM_GIF && format != ANIMSTREAM_AVI))
    return 1055;
  AnimStreamNode *old;
  if (!id->handle && FindAnimStream(*id, &old) == 0) FinishAnimStream(old);
  void *writer = nullptr;
  int err;
  if (format == ANIMSTREAM_GIF) {
    err = GifWriterOpen(file, width, height, (GifWriter **)&writer);
  } else {
    err = AviWriterOpen(file, fps, 1, width, height, quality, 0, GetFilePart(file), (AviWriter **)&writer);
  }
  if (err) return err;
  AnimStreamNode *s = (AnimStreamNode *)MemAlloc(sizeof(AnimStreamNode), 1);
  if (!s) {
    if (format == ANIMSTREAM_GIF) GifWriterClose((GifWriter *)writer);
    else AviWriterClose((AviWriter *)writer);
    return 1000;
  }
  s->width = width;
  s->height = height;
  s->format = format;
  s->writer = writer;
  if (id->handle) id->handle = s;
  s->id = *id;
  AnimStreamNode **link = &g_streams;
  while (*link) link = &(*link)->next;
  *link = s;
  if (stream) *stream = s;
  return 0;
}

int WriteGifFrameFromBitMap(GifWriter *writer, const BitMap *frame, int32_t width, int32_t height,
                            const GifFrameOptions *o, uint8_t *indices) {
  if (o->colours < 2 || o->colours > 256) return 1055;
  BitMapInfo info;
  if (!LockBitMap(frame, &info)) return 1152;
  uint32_t palette[256] = {};
  int32_t count = o->colours;
  const int ok = QuantizeBitMap(info.pixels, info.format, info.bytesPerPixel, width, height, info.modulo, indices,
                                palette, &count, o->transparentColour, 1, o->dither);
  UnLockBitMap();
  if (!ok) return 1000;
  return GifWriterAddFrame(writer, indices, width, height, o->delay, palette, count,
                           o->transparentColour != -1 ? count - 1 : -1, o->optimize);
}

// The frame of a stream: the picture itself, or a new frame with the picture copied onto it.
static int ComposeFrame(const AnimStreamNode *s, const BitMap *picture, int32_t x, int32_t y, uint32_t fill,
                        BitMap **frame) {
  if (x == 0 && y == 0 && picture->width == s->width && picture->height == s->height) {
    *frame = const_cast<BitMap *>(picture);
    return 0;
  }
  BitMap *f = AllocBitMap(s->width, s->height);
  if (!f) return 1000;
  RectFillBitMap(f, 0, 0, s->width, s->height, fill);
  const int32_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
  const int64_t x1 = (int64_t)x + picture->width < s->width ? (int64_t)x + picture->width : s->width;
  const int64_t y1 = (int64_t)y + picture->height < s->height ? (int64_t)y + picture->height : s->height;
  if (x1 > x0 && y1 > y0)
    BltBitMap(picture, x0 - x, y0 - y, f, x0, y0, (int32_t)(x1 - x0), (int32_t)(y1 - y0));
  *frame = f;
  return 0;
}

int WriteAnimStreamFrame(AnimStreamNode *s, const BitMap *picture, int32_t x, int32_t y, const GifFrameOptions *o) {
  if (o->colours < 2 || o->colours > 256) return 1055;
  BitMap *frame;
  int err = ComposeFrame(s, picture, x, y, o->transparentColour != -1 ? (uint32_t)o->transparentColour : 0, &frame);
  if (err) return err;
  if (s->format == ANIMSTREAM_AVI) {
    err = AviWriterAddFrame((AviWriter *)s->writer, frame, s->width, s->height);
  } else {
    uint8_t *indices = (uint8_t *)MemAlloc((size_t)s->width * (size_t)s->height, 0);
    err = indices ? WriteGifFrameFromBitMap((GifWriter *)s->writer, frame, s->width, s->height, o, indices) : 1000;
    MemFree(indices);
  }
  if (frame != picture) FreeBitMap(frame);
  return err;
}

int SaveGifPicture(const char *name, const BitMap *bitmap, int32_t colours, int dither, int32_t transparentColour) {
  if (!bitmap || colours < 2 || colours > 256) return 1055;
  GifWriter *w;
  int err = GifWriterOpen(name, bitmap->width, bitmap->height, &w);
  if (err) return err;
  uint8_t *indices = (uint8_t *)MemAlloc((size_t)bitmap->width * (size_t)bitmap->height, 0);
  GifFrameOptions o;
  o.colours = colours;
  o.dither = dither;
  o.transparentColour = transparentColour;
  o.optimize = 0;
  err = indices ? WriteGifFrameFromBitMap(w, bitmap, bitmap->width, bitmap->height, &o, indices) : 1000;
  MemFree(indices);
  const int closed = GifWriterClose(w);
  return err ? err : closed;
}

// Anim streams, GIF frames from bitmaps and single-picture GIF files.
#include "pictures/anim_stream.h"

#include <cstring>

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

// Ends the stream's writer: finishes the file (keep set) or gives it up. 0 or 1005.
static int EndWriter(AnimStreamNode *s, int keep) {
  if (s->format == ANIMSTREAM_GIF) {
    if (keep) return GifWriterClose((GifWriter *)s->writer);
    GifWriterDiscard((GifWriter *)s->writer);
  } else {
    if (keep) return AviWriterClose((AviWriter *)s->writer);
    AviWriterDiscard((AviWriter *)s->writer);
  }
  return 0;
}

static void Unlink(AnimStreamNode *stream) {
  AnimStreamNode **link = &g_streams;
  while (*link && *link != stream) link = &(*link)->next;
  if (*link) *link = stream->next;
}

static void FreeNode(AnimStreamNode *s) {
  MemFree(s->file);
  MemFree(s);
}

// A writer's 1005 names the stream's file.
static int Named(const AnimStreamNode *s, int code) { return code == 1005 ? WriteFailure(s->file) : code; }

int FinishAnimStream(AnimStreamNode *stream) {
  Unlink(stream);
  const int err = Named(stream, EndWriter(stream, 1));
  FreeNode(stream);
  return err;
}

void AbandonAnimStream(AnimStreamNode *stream) {
  Unlink(stream);
  EndWriter(stream, 0);
  FreeNode(stream);
}

void FreeAllAnimStreams(void) {
  while (AnimStreamNode *s = g_streams) {
    g_streams = s->next;
    if (EndWriter(s, 1)) PrintWriteFailure(s->file);
    FreeNode(s);
  }
}

int BeginAnimStreamNode(ObjectId *id, const char *file, int32_t width, int32_t height, int32_t format, int32_t fps,
                        int32_t quality, AnimStreamNode **stream) {
  if (stream) *stream = nullptr;
  if (!file || !*file || width < 1 || height < 1 || (format != ANIMSTREAM_GIF && format != ANIMSTREAM_AVI))
    return 1055;
  AnimStreamNode *old;
  if (!id->handle && FindAnimStream(*id, &old) == 0) {
    const int err = FinishAnimStream(old);
    if (err) return err;
  }
  AnimStreamNode *s = (AnimStreamNode *)MemAlloc(sizeof(AnimStreamNode), 1);
  const size_t length = strlen(file) + 1;
  if (s) s->file = (char *)MemAlloc(length, 0);
  if (!s || !s->file) {
    MemFree(s);
    return 1000;
  }
  memcpy(s->file, file, length);
  int err;
  if (format == ANIMSTREAM_GIF) {
    err = GifWriterOpen(file, width, height, (GifWriter **)&s->writer);
  } else {
    err = AviWriterOpen(file, fps, 1, width, height, quality, 0, GetFilePart(file), (AviWriter **)&s->writer);
  }
  if (err) {
    err = Named(s, err);
    FreeNode(s);
    return err;
  }
  s->width = width;
  s->height = height;
  s->format = format;
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
  return Named(s, err);
}

// A colour that no shown pixel has: `preferred` when it is free, else the lowest free one; -1
// when the shown pixels have all 2^24 colours, -2 without memory.
static int32_t FreeColour(const uint32_t *argb, size_t n, uint32_t preferred) {
  const uint32_t shown = (uint32_t)GIF_SHOWN_ALPHA << 24;
  size_t i = 0;
  while (i < n && !(argb[i] >= shown && (argb[i] & 0xFFFFFF) == preferred)) i++;
  if (i == n) return (int32_t)preferred;
  uint8_t *seen = (uint8_t *)MemAlloc((size_t)1 << 21, 1);  // one bit a colour
  if (!seen) return -2;
  for (i = 0; i < n; i++)
    if (argb[i] >= shown) seen[(argb[i] & 0xFFFFFF) >> 3] |= (uint8_t)(1u << (argb[i] & 7));
  int32_t found = -1;
  for (size_t b = 0; b < ((size_t)1 << 21) && found < 0; b++)
    if (seen[b] != 0xFF) found = (int32_t)(b << 3 | (size_t)__builtin_ctz(~(unsigned)seen[b] & 0xFF));
  MemFree(seen);
  return found;
}

int SaveGifPicture(const char *name, uint32_t *argb, int32_t width, int32_t height, int32_t colours, int dither,
                   int shaped, uint32_t transparentColour) {
  if (!argb || colours < 2 || colours > 256 || width < 1 || height < 1 || width > 65535 || height > 65535)
    return 1055;
  const size_t n = (size_t)width * (size_t)height;
  const uint32_t shown = (uint32_t)GIF_SHOWN_ALPHA << 24;
  // Clear pixels take a colour that no shown one has, which the quantiser keeps out of the
  // palette and maps, alone, to the transparent slot. Should the shown pixels have every colour,
  // the clear ones take a shown pixel's colour and are put in the slot afterwards.
  size_t clear = 0, firstShown = n;
  for (size_t i = 0; shaped && i < n; i++) {
    if (argb[i] < shown) clear++;
    else if (firstShown == n) firstShown = i;
  }
  int32_t key = -1;
  if (clear) {
    key = FreeColour(argb, n, transparentColour & 0xFFFFFF);
    if (key == -2) return 1000;
    const uint32_t fill = key >= 0 ? (uint32_t)key : firstShown < n ? argb[firstShown] & 0xFFFFFF : 0;
    for (size_t i = 0; i < n; i++)
      if (argb[i] < shown) argb[i] = fill;
  }
  uint8_t *indices = (uint8_t *)MemAlloc(n, 0);
  if (!indices) return 1000;
  uint32_t palette[256] = {};
  int32_t count = colours;
  if (!QuantizeBitMap((const uint8_t *)argb, PIXFMT_XRGB32, 4, width, height, width, indices, palette, &count, key, 1,
                      dither)) {
    MemFree(indices);
    return 1000;
  }
  if (clear) {
    for (size_t i = 0; i < n; i++)
      if (argb[i] < shown) indices[i] = (uint8_t)(count - 1);
    palette[count - 1] = transparentColour & 0xFFFFFF;
  }
  GifWriter *w;
  int err = GifWriterOpen(name, width, height, &w);
  if (!err) {
    err = GifWriterAddFrame(w, indices, width, height, 0, palette, count, clear ? count - 1 : -1, 0);
    if (err) GifWriterDiscard(w);
    else err = GifWriterClose(w);
  }
  MemFree(indices);
  return err;
}

// OpenDML AVI writer: header block, movi data with standard indexes reserved in place, the
// legacy idx1 index collected in a temporary file, AVIX parts.
#include "pictures/avi_writer.h"

#include <cstring>

#include "gfx/bitmap.h"
#include "gfx/scale.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

enum {
  AVI_SUPER_ENTRIES = 1022,
  AVI_STD_ENTRIES = 2044,
  AVI_INDEX_CHUNK = 16384,  // a standard index: 8 bytes of header, 16376 of body
  AVI_AUDIO_RATE = 44100,
  AVI_AUDIO_BYTES_PER_SECOND = 176400,
  AVI_TEXT_MAX = 1023
};

// The comment of the INFO list: 144 characters, so the list and the movi data keep their
// places behind a title of the same length.
static const char kAviComment[] =
    "Motion-JPEG video with a silent 16-bit stereo PCM track at 44100 Hz, stored in OpenDML parts "
    "with standard and super indexes and a legacy index.";
static_assert(sizeof kAviComment == 145, "the comment fills 145 bytes with its zero");
static const char kAviSoftware[] = "Kestrovia by Quorvane";

struct AviSuperEntry {
  int64_t offset;
  uint32_t size;
  uint32_t startFrame;  // frames written when the entry began; its duration follows from it
};

struct AviWriter {
  FileHandle *file;
  FileHandle *index;  // the legacy idx1 chunk being collected
  char indexName[KV_PATH_SIZE];
  char title[AVI_TEXT_MAX + 1];
  int32_t width, height, fps, usPerFrame, quality, smooth;
  int32_t samplesPerFrame;
  uint8_t *audio;  // one frame of silence
  uint64_t totalSamples, samplesInPart;
  OsData *jpeg;
  uint32_t largestVideo;
  uint64_t totalVideo, videoInPart;
  uint32_t frames, framesInPart;
  int64_t partStart, partLimit, laterPartLimit, moviAt;
  int32_t indexPairs;  // standard index pairs reserved in the current part
  int firstPart;
  int failed;
  AviSuperEntry super[2][AVI_SUPER_ENTRIES];
  int32_t superCount;
  uint32_t std[2][AVI_STD_ENTRIES][2];  // offset from the base, size
  int32_t stdCount;
  int64_t stdBase;  // base offset of the standard indexes being filled (their part's start)
};

// ---------------------------------------------------------------------------------------------
// Little-endian building blocks

struct Buf {
  uint8_t *p;
  size_t n;
};
static void PutBytes(Buf *b, const void *s, size_t n) {
  memcpy(b->p + b->n, s, n);
  b->n += n;
}
static void Put32(Buf *b, uint32_t v) {
  const uint8_t x[4] = {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
  PutBytes(b, x, 4);
}
static void Put16(Buf *b, uint32_t v) {
  const uint8_t x[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
  PutBytes(b, x, 2);
}
static void Put64(Buf *b, uint64_t v) {
  Put32(b, (uint32_t)v);
  Put32(b, (uint32_t)(v >> 32));
}
static void PutId(Buf *b, const char *id) { PutBytes(b, id, 4); }
// A chunk header: id and size; for a list, its type follows.
static void PutHeader(Buf *b, const char *id, uint32_t size, const char *listType = nullptr) {
  PutId(b, id);
  Put32(b, size);
  if (listType) PutId(b, listType);
}
static void PutZeros(Buf *b, size_t n) {
  memset(b->p + b->n, 0, n);
  b->n += n;
}

static size_t TextSize(const char *s) { return (strlen(s) + 1 + 3) & ~(size_t)3; }
static void PutText(Buf *b, const char *id, const char *s) {
  const size_t n = TextSize(s), len = strlen(s);
  PutHeader(b, id, (uint32_t)n);
  PutBytes(b, s, len);
  PutZeros(b, n - len);
}

static void WriteAt(AviWriter *w, FileHandle *fh, int64_t at, const void *data, size_t n) {
  if (at >= 0) FSeek(fh, at, FSEEK_START);
  if (FWrite(fh, data, n) != n) w->failed = 1;
}
static void Write32At(AviWriter *w, int64_t at, uint32_t v) {
  uint8_t x[4];
  Buf b = {x, 0};
  Put32(&b, v);
  WriteAt(w, w->file, at, x, 4);
}
static int64_t Position(AviWriter *w) { return FSeek(w->file, 0, FSEEK_CURRENT); }
static int64_t EndOfFile(AviWriter *w) {
  FSeek(w->file, 0, FSEEK_END);
  return Position(w);
}

// ---------------------------------------------------------------------------------------------
// Header block (from offset 12 up to the movi list)

static size_t HeaderSize(const AviWriter *w) {
  return 33288 - 12 + TextSize(w->title) + TextSize(kAviSoftware);
}

static void PutSuperIndex(const AviWriter *w, Buf *b, int stream) {
  PutHeader(b, "indx", 16376);
  Put16(b, 4);
  b->p[b->n++] = 0;  // subtype
  b->p[b->n++] = 0;  // index of indexes
  Put32(b, (uint32_t)w->superCount);
  PutId(b, stream ? "01dc" : "00wb");
  PutZeros(b, 12);
  for (int i = 0; i < AVI_SUPER_ENTRIES; i++) {
    const AviSuperEntry *e = &w->super[stream][i];
    if (i >= w->superCount) {
      PutZeros(b, 16);
      continue;
    }
    const uint32_t endFrame = i + 1 < w->superCount ? w->super[stream][i + 1].startFrame : w->frames;
    const uint32_t frames = endFrame - e->startFrame;
    Put64(b, (uint64_t)e->offset);
    Put32(b, e->size);
    Put32(b, stream ? frames : frames * (uint32_t)w->samplesPerFrame);
  }
}

static void WriteHeader(AviWriter *w) {
  const size_t n = TextSize(w->title) + TextSize(kAviSoftware);
  Buf b = {(uint8_t *)MemAlloc(HeaderSize(w), 1), 0};
  if (!b.p) {
    w->failed = 1;
    return;
  }
  const uint64_t maxBytes = w->frames ? w->totalVideo / w->frames * 1000000 / (uint64_t)w->usPerFrame : 0;
  PutHeader(&b, "LIST", (uint32_t)(33268 + n), "hdrl");
  PutHeader(&b, "avih", 56);
  const uint32_t avih[14] = {(uint32_t)w->usPerFrame, (uint32_t)maxBytes, 0, 0x10, w->frames, 0, 2, 0,
                             (uint32_t)w->width, (uint32_t)w->height, 0, 0, 0, 0};
  for (uint32_t v : avih) Put32(&b, v);

  PutHeader(&b, "LIST", 16476, "strl");
  PutHeader(&b, "strh", 56);
  PutId(&b, "auds");
  PutZeros(&b, 4 + 4 + 2 + 2 + 4);  // handler, flags, priority, language, initial frames
  Put32(&b, 4);
  Put32(&b, AVI_AUDIO_BYTES_PER_SECOND);
  Put32(&b, 0);
  Put32(&b, (uint32_t)w->totalSamples);
  Put32(&b, (uint32_t)w->samplesPerFrame * 4);
  Put32(&b, 0xFFFFFFFF);
  Put32(&b, 4);
  PutZeros(&b, 8);
  PutHeader(&b, "strf", 16);
  Put16(&b, 1);
  Put16(&b, 2);
  Put32(&b, AVI_AUDIO_RATE);
  Put32(&b, AVI_AUDIO_BYTES_PER_SECOND);
  Put16(&b, 4);
  Put16(&b, 16);
  PutSuperIndex(w, &b, 0);

  PutHeader(&b, "LIST", 16500, "strl");
  PutHeader(&b, "strh", 56);
  PutId(&b, "vids");
  PutId(&b, "MJPG");
  PutZeros(&b, 4 + 2 + 2 + 4);
  Put32(&b, (uint32_t)w->usPerFrame);
  Put32(&b, 1000000);
  Put32(&b, 0);
  Put32(&b, w->frames);
  Put32(&b, w->largestVideo);
  PutZeros(&b, 8);  // quality, sample size
  Put16(&b, 0);
  Put16(&b, 0);
  Put16(&b, (uint32_t)w->width);
  Put16(&b, (uint32_t)w->height);
  PutHeader(&b, "strf", 40);
  Put32(&b, 40);
  Put32(&b, (uint32_t)w->width);
  Put32(&b, (uint32_t)w->height);
  Put16(&b, 1);
  Put16(&b, 24);
  PutId(&b, "MJPG");
  Put32(&b, (uint32_t)((uint64_t)w->width * (uint64_t)w->height * 3));
  PutZeros(&b, 16);
  PutSuperIndex(w, &b, 1);

  PutHeader(&b, "LIST", 16, "odml");
  PutHeader(&b, "dmlh", 4);
  Put32(&b, w->frames);

  PutHeader(&b, "LIST", (uint32_t)(n + 176), "INFO");
  PutText(&b, "INAM", w->title);
  PutText(&b, "ISFT", kAviSoftware);
  PutText(&b, "ICMT", kAviComment);
  WriteAt(w, w->file, 12, b.p, b.n);
  MemFree(b.p);
}

// ---------------------------------------------------------------------------------------------
// Indexes

// A standard index chunk of one stream with the entries collected so far.
static void WriteStandardIndex(AviWriter *w, int stream, int64_t at) {
  Buf b = {(uint8_t *)MemAlloc(AVI_INDEX_CHUNK, 1), 0};
  if (!b.p) {
    w->failed = 1;
    return;
  }
  PutHeader(&b, stream ? "ix01" : "ix00", AVI_INDEX_CHUNK - 8);
  Put16(&b, 2);
  b.p[b.n++] = 0;
  b.p[b.n++] = 1;  // index of chunks
  Put32(&b, (uint32_t)w->stdCount);
  PutId(&b, stream ? "01dc" : "00wb");
  Put64(&b, (uint64_t)w->stdBase);
  Put32(&b, 0);
  for (int i = 0; i < AVI_STD_ENTRIES; i++) {
    Put32(&b, i < w->stdCount ? w->std[stream][i][0] : 0);
    Put32(&b, i < w->stdCount ? w->std[stream][i][1] : 0);
  }
  WriteAt(w, w->file, at, b.p, b.n);
  MemFree(b.p);
}

// Writes the filled standard indexes over their reserved places (the file position is kept).
static void FlushStandardIndexes(AviWriter *w) {
  if (w->superCount == 0) return;
  const int64_t back = Position(w);
  for (int s = 0; s < 2; s++) WriteStandardIndex(w, s, w->super[s][w->superCount - 1].offset);
  FSeek(w->file, back, FSEEK_START);
}

// Appends the legacy index collected so far as the idx1 chunk behind the first part's movi data.
static void AppendLegacyIndex(AviWriter *w) {
  uint8_t size[4];
  Buf b = {size, 0};
  Put32(&b, w->frames * 32);
  WriteAt(w, w->index, 4, size, 4);
  FSeek(w->index, 0, FSEEK_START);
  uint8_t *block = (uint8_t *)MemAlloc(16384, 0);
  if (!block) {
    w->failed = 1;
    return;
  }
  uint64_t left = 8 + (uint64_t)w->frames * 32;
  while (left > 0) {
    const size_t n = left < 16384 ? (size_t)left : 16384;
    if (FRead(w->index, block, n) != n) {
      w->failed = 1;
      break;
    }
    WriteAt(w, w->file, -1, block, n);
    left -= n;
  }
  MemFree(block);
}

// Patches the sizes of the current part's RIFF and movi lists.
static void PatchPartSizes(AviWriter *w) {
  const int64_t end = EndOfFile(w);
  Write32At(w, w->partStart + 4, (uint32_t)(end - w->partStart - 8));
  const uint64_t movi = (uint64_t)w->framesInPart * 16 + 4 + (uint64_t)w->indexPairs * 2 * AVI_INDEX_CHUNK +
                        w->samplesInPart * 4 + w->videoInPart;
  Write32At(w, w->moviAt + 4, (uint32_t)movi);
  FSeek(w->file, end, FSEEK_START);
}

// ---------------------------------------------------------------------------------------------

void AviWriterSetPartLimits(AviWriter *w, int64_t first, int64_t later) {
  w->partLimit = first;
  w->laterPartLimit = later;
}

int AviWriterOpen(const char *path, int32_t fps, int32_t flags, int32_t width, int32_t height, int32_t quality,
                  int smooth, const char *title, AviWriter **writer) {
  (void)flags;
  *writer = nullptr;
  if (fps < 1 || width < 1 || height < 1 || width > 65535 || height > 65535) return 1055;
  const int32_t us = 1000000 / fps;
  if (us < 1) return 1055;
  const int32_t rate = 1000000 / us;
  if (rate < 1 || rate > AVI_AUDIO_RATE || AVI_AUDIO_RATE % rate) return 1055;
  AviWriter *w = (AviWriter *)MemAlloc(sizeof(AviWriter), 1);
  if (!w) return 1000;
  w->fps = fps;
  w->usPerFrame = us;
  w->samplesPerFrame = AVI_AUDIO_RATE / rate;
  w->width = width;
  w->height = height;
  w->quality = quality;
  w->smooth = smooth;
  w->partLimit = 1000000000;
  w->laterPartLimit = 2000000000;
  w->firstPart = 1;
  if (title) {
    strncpy(w->title, title, AVI_TEXT_MAX);
    w->title[AVI_TEXT_MAX] = 0;
  }
  w->audio = (uint8_t *)MemAlloc((size_t)w->samplesPerFrame * 4, 1);
  if (!w->audio) {
    MemFree(w);
    return 1000;
  }
  int err = 0;
  w->file = FOpen(path, FMODE_REPLACE);
  if (!w->file) {
    SetErrorString(path);
    err = 1052;
  } else if (!OsTempFileNameSuffix(w->indexName, sizeof w->indexName, ".idx") ||
             !(w->index = FOpen(w->indexName, FMODE_READWRITE))) {
    SetErrorString(w->indexName);
    err = 1052;
  }
  if (err) {
    AviWriterDiscard(w);
    return err;
  }
  uint8_t riff[12] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
  WriteAt(w, w->file, 0, riff, 12);
  WriteHeader(w);
  w->moviAt = Position(w);
  const uint8_t movi[12] = {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'm', 'o', 'v', 'i'};
  WriteAt(w, w->file, -1, movi, 12);
  const uint8_t idx1[8] = {'i', 'd', 'x', '1', 0, 0, 0, 0};
  WriteAt(w, w->index, -1, idx1, 8);
  if (w->failed) {
    AviWriterDiscard(w);
    return 1005;
  }
  *writer = w;
  return 0;
}

// Starts an AVIX part behind the current one.
static void BeginPart(AviWriter *w) {
  if (w->firstPart) AppendLegacyIndex(w);
  PatchPartSizes(w);
  w->partStart = Position(w);
  const uint8_t head[24] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', 'X',
                            'L', 'I', 'S', 'T', 0, 0, 0, 0, 'm', 'o', 'v', 'i'};
  WriteAt(w, w->file, -1, head, 24);
  w->moviAt = w->partStart + 12;
  w->partLimit = w->laterPartLimit;
  w->firstPart = 0;
  w->framesInPart = 0;
  w->samplesInPart = w->videoInPart = 0;
  w->indexPairs = 0;
}

// Writes one chunk: id, size (padded to 4), data, zero padding; an optional second piece of
// data follows the first (the JPEG with its identifier replaced). Returns the padded size.
static uint32_t WriteChunk(AviWriter *w, const char *id, const uint8_t *data, size_t n, const uint8_t *tail,
                           size_t tailLength) {
  const size_t total = n + tailLength, padded = (total + 3) & ~(size_t)3;
  uint8_t head[8];
  Buf b = {head, 0};
  PutHeader(&b, id, (uint32_t)padded);
  WriteAt(w, w->file, -1, head, 8);
  if (n) WriteAt(w, w->file, -1, data, n);
  if (tailLength) WriteAt(w, w->file, -1, tail, tailLength);
  const uint8_t zeros[4] = {};
  if (padded > total) WriteAt(w, w->file, -1, zeros, padded - total);
  return (uint32_t)padded;
}

static void LegacyEntry(AviWriter *w, const char *id, int64_t at, uint32_t size) {
  uint8_t e[16];
  Buf b = {e, 0};
  PutId(&b, id);
  Put32(&b, 0x10);
  Put32(&b, (uint32_t)at);
  Put32(&b, size);
  WriteAt(w, w->index, -1, e, 16);
}

// The JPEG of a frame: the bitmap scaled to the writer's size, as 0x00RRGGBB words.
static int EncodeFrame(AviWriter *w, const BitMap *bitmap, int32_t width, int32_t height) {
  BitMap *scaled = nullptr;
  if (width != w->width || height != w->height) {
    const int err = ScaleBitMapTriple(bitmap, nullptr, nullptr, 0, 0, nullptr, width, height, w->width, w->height,
                                      w->smooth, &scaled, nullptr, nullptr);
    if (err) return err;
    if (!scaled) return 1000;
    bitmap = scaled;
  }
  BitMapInfo info;
  if (!LockBitMap(bitmap, &info)) {
    FreeBitMap(scaled);
    return 1152;
  }
  uint32_t *words = nullptr;
  const uint32_t *pixels = (const uint32_t *)info.pixels;
  int32_t bytesPerRow = bitmap->bytesPerRow;
  if (info.format != PIXFMT_XRGB32) {
    words = BitMapToARGB(bitmap, w->width, w->height);
    pixels = words;
    bytesPerRow = w->width * 4;
  }
  UnLockBitMap();
  int err = pixels ? 0 : 1000;
  if (!err) {
    OsReleaseData(w->jpeg);
    w->jpeg = nullptr;
    err = OsEncodeJPEGToMemory(pixels, bytesPerRow, w->width, w->height, w->quality, &w->jpeg);
  }
  MemFree(words);
  FreeBitMap(scaled);
  return err;
}

int AviWriterAddFrame(AviWriter *w, const BitMap *bitmap, int32_t width, int32_t height) {
  if (!w || !bitmap || width < 1 || height < 1 || width > bitmap->width || height > bitmap->height) return 1055;
  if (w->failed) return 1005;
  const int64_t at = Position(w);
  const bool newPart = at - w->partStart > w->partLimit;
  const bool flush = newPart || w->stdCount == AVI_STD_ENTRIES || w->framesInPart == 0;
  if (flush && w->superCount == AVI_SUPER_ENTRIES) return 1066;
  int err = EncodeFrame(w, bitmap, width, height);
  if (err) return err;
  const uint8_t *jpeg = nullptr;
  const size_t jpegLength = OsGetDataBytes(w->jpeg, &jpeg);
  if (jpegLength > 0x7FFFFFF0u) return 1000;

  if (newPart) BeginPart(w);
  if (flush) {
    FlushStandardIndexes(w);
    const int64_t ix = Position(w);
    for (int s = 0; s < 2; s++) {
      AviSuperEntry *e = &w->super[s][w->superCount];
      e->offset = ix + (int64_t)s * AVI_INDEX_CHUNK;
      e->size = AVI_INDEX_CHUNK;
      e->startFrame = w->frames;
    }
    w->superCount++;
    w->indexPairs++;
    w->stdCount = 0;
    w->stdBase = w->partStart;
    for (int s = 0; s < 2; s++) WriteStandardIndex(w, s, -1);
  }

  const int64_t audioAt = Position(w);
  const uint32_t audioSize = WriteChunk(w, "00wb", w->audio, (size_t)w->samplesPerFrame * 4, nullptr, 0);
  const int64_t videoAt = Position(w);
  uint32_t videoSize;
  if (jpegLength >= 10 && !memcmp(jpeg + 6, "JFIF", 4)) {
    uint8_t head[10];
    memcpy(head, jpeg, 6);
    memcpy(head + 6, "AVI1", 4);
    videoSize = WriteChunk(w, "01dc", head, 10, jpeg + 10, jpegLength - 10);
  } else {
    videoSize = WriteChunk(w, "01dc", jpeg, jpegLength, nullptr, 0);
  }
  w->std[0][w->stdCount][0] = (uint32_t)(audioAt + 8 - w->stdBase);
  w->std[0][w->stdCount][1] = audioSize;
  w->std[1][w->stdCount][0] = (uint32_t)(videoAt + 8 - w->stdBase);
  w->std[1][w->stdCount][1] = videoSize;
  w->stdCount++;
  if (videoSize > w->largestVideo) w->largestVideo = videoSize;
  if (w->firstPart) {
    LegacyEntry(w, "00wb", audioAt, audioSize);
    LegacyEntry(w, "01dc", videoAt, videoSize);
  }
  w->frames++;
  w->framesInPart++;
  w->totalVideo += videoSize;
  w->videoInPart += videoSize;
  w->totalSamples += (uint64_t)w->samplesPerFrame;
  w->samplesInPart += (uint64_t)w->samplesPerFrame;
  return w->failed ? 1005 : 0;
}

// Finishes the file and puts it in place (keep set and every write done) or gives it up; the
// temporary index file goes either way; frees the writer.
static int EndWriter(AviWriter *w, int keep) {
  if (keep && w->file && w->index) {
    FlushStandardIndexes(w);
    EndOfFile(w);
    if (w->firstPart) AppendLegacyIndex(w);
    PatchPartSizes(w);
    WriteHeader(w);
  }
  if (w->file && !FCloseSave(w->file, keep && !w->failed)) w->failed = 1;
  if (w->index) FClose(w->index);
  if (w->indexName[0]) OsDelete(w->indexName);
  const int err = w->failed ? 1005 : 0;
  OsReleaseData(w->jpeg);
  MemFree(w->audio);
  MemFree(w);
  return err;
}

int AviWriterClose(AviWriter *w) { return w ? EndWriter(w, 1) : 0; }

void AviWriterDiscard(AviWriter *w) {
  if (w) EndWriter(w, 0);
}

// IFF ANIM reader: first frame through the ILBM body readers, op-5 deltas in two buffers.
#include "pictures/iff_anim.h"

#include <cstring>

#include "pictures/byte_reader.h"
#include "pictures/iff_planar.h"
#include "pictures/picture_readers.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

struct IffAnimReader {
  FileHandle *file;
  ByteReader *br;
  uint8_t *firstFrame;  // planar image of frame 0
  uint8_t *buffers[2];  // the last two frames, for deltas against the frame two back
  uint8_t *current;     // the frame produced last
  uint8_t *chunky;      // one index a pixel
  uint32_t palette[256];
  uint32_t firstPalette[256];
  int32_t frameCount;
  int32_t nextFrame;  // the frame the next step produces (0: the first frame, no file access)
  int32_t width, height, planes, compression, masking;
  int halfBrite, ham6, ham8;
  int64_t firstDelta;  // file position of frame 1's FORM
  int64_t fileSize;
  uint32_t bufferIndex;
  int32_t *delays;  // frameCount entries, jiffies (1/60 s)
};

static const uint32_t kFORM = 0x464F524D, kBMHD = 0x424D4844, kANHD = 0x414E4844,
                      kCMAP = 0x434D4150, kDPAN = 0x4450414E, kCAMG = 0x43414D47, kBODY = 0x424F4459,
                      kDLTA = 0x444C5441;

static size_t PlanarSize(const IffAnimReader *r) {
  return (size_t)PlaneRowBytes(r->width) * (size_t)r->height * (size_t)r->planes;
}

// The chunk header at the reader's position: false when fewer than 8 bytes are left.
static bool ChunkHeader(ByteReader *br, uint32_t *id, uint32_t *size) {
  uint8_t h[8];
  if (ByteReaderRead(br, h, 8) != 8) return false;
  *id = (uint32_t)h[0] << 24 | (uint32_t)h[1] << 16 | (uint32_t)h[2] << 8 | h[3];
  *size = (uint32_t)h[4] << 24 | (uint32_t)h[5] << 16 | (uint32_t)h[6] << 8 | h[7];
  return true;
}

static int64_t Padded(uint32_t size) { return (int64_t)size + (size & 1); }

static void Rewind(IffAnimReader *r) {
  const size_t n = PlanarSize(r);
  memcpy(r->buffers[0], r->firstFrame, n);
  memcpy(r->buffers[1], r->firstFrame, n);
  memcpy(r->palette, r->firstPalette, sizeof r->palette);
  r->bufferIndex = 0;
  r->current = r->firstFrame;
  r->nextFrame = 0;
  ByteReaderSeek(r->br, r->firstDelta);
}

// Reads the first FORM's chunks up to its BODY. False without BMHD, with more than 8 planes, a
// zero size or no BODY.
static bool ReadFirstFrameHeader(IffAnimReader *r, int32_t *dpanFrames, int64_t *bodyEnd) {
  ByteReader *br = r->br;
  bool haveHeader = false;
  uint32_t id, size;
  while (ChunkHeader(br, &id, &size)) {
    const int64_t start = ByteReaderTell(br);
    if (id == kBODY) {
      if (!haveHeader) return false;
      *bodyEnd = start + Padded(size);
      return true;
    }
    if (id == kBMHD) {
      uint8_t b[11];
      if (ByteReaderRead(br, b, sizeof b) != sizeof b) return false;
      IffBitmapHeader hd;
      ParseBMHD(b, &hd);
      r->width = hd.width;
      r->height = hd.height;
      r->planes = hd.planes;
      r->masking = hd.masking;
      r->compression = hd.compression;
      if (r->planes < 1 || r->planes > 8 || CheckPictureSize(r->width, r->height)) return false;
      haveHeader = true;
    } else if (id == kANHD) {
      ByteReaderSeek(br, start + 14);
      r->delays[0] = (int32_t)ByteReaderBE32(br);
    } else if (id == kCMAP) {
      ReadCMAPEntries(br, size, r->palette);
    } else if (id == kDPAN) {
      ByteReaderSeek(br, start + 2);
      *dpanFrames = (int32_t)ByteReaderBE16(br);
    } else if (id == kCAMG) {
      const uint32_t mode = ByteReaderBE32(br);
      r->halfBrite = (mode & 0x80) != 0;
      if (mode & 0x800) (r->planes < 7 ? r->ham6 : r->ham8) = 1;
    }
    ByteReaderSeek(br, start + Padded(size));
  }
  return false;
}

// True when a FORM header stands at the position.
static bool FormAt(IffAnimReader *r, int64_t position) {
  if (position + 12 > r->fileSize) return false;
  ByteReaderSeek(r->br, position);
  uint32_t id, size;
  return ChunkHeader(r->br, &id, &size) && id == kFORM;
}

// Walks the chain of delta FORMs from firstDelta: the count, and each frame's reltime as the
// delay of the frame before it. False when something other than a FORM stands in the chain.
static bool CountFrames(IffAnimReader *r, int32_t *count, bool store) {
  int64_t at = r->firstDelta;
  int32_t n = 1;
  while (at + 8 <= r->fileSize) {
    ByteReaderSeek(r->br, at);
    uint32_t id, size;
    if (!ChunkHeader(r->br, &id, &size) || id != kFORM) return false;
    if (store && n < r->frameCount) {
      // The ANHD among the FORM's chunks.
      const int64_t end = at + 8 + Padded(size);
      ByteReaderSeek(r->br, at + 12);
      uint32_t cid, csize;
      while (ByteReaderTell(r->br) + 8 <= end && ChunkHeader(r->br, &cid, &csize)) {
        const int64_t start = ByteReaderTell(r->br);
        if (cid == kANHD) {
          ByteReaderSeek(r->br, start + 14);
          r->delays[n - 1] = (int32_t)ByteReaderBE32(r->br);
          break;
        }
        ByteReaderSeek(r->br, start + Padded(csize));
      }
    }
    n++;
    at += 8 + Padded(size);
  }
  *count = n;
  return true;
}

static bool OpenFrames(IffAnimReader *r) {
  uint8_t head[24];
  r->fileSize = r->file->size;
  ByteReaderInit(r->br, r->file);
  if (ByteReaderRead(r->br, head, 24) != 24 || memcmp(head, "FORM", 4) || memcmp(head + 8, "ANIM", 4) ||
      memcmp(head + 12, "FORM", 4) || memcmp(head + 20, "ILBM", 4))
    return false;
  r->delays = (int32_t *)MemAlloc(sizeof(int32_t), 1);
  if (!r->delays) return false;
  int32_t dpanFrames = 0;
  int64_t bodyEnd = 0;
  if (!ReadFirstFrameHeader(r, &dpanFrames, &bodyEnd)) return false;
  if (r->halfBrite) ExtraHalfBrite(r->palette);
  memcpy(r->firstPalette, r->palette, sizeof r->palette);
  const size_t planar = PlanarSize(r);
  r->firstFrame = (uint8_t *)MemAlloc(planar, 1);
  r->buffers[0] = (uint8_t *)MemAlloc(planar, 1);
  r->buffers[1] = (uint8_t *)MemAlloc(planar, 1);
  r->chunky = (uint8_t *)MemAlloc((size_t)r->width * (size_t)r->height, 1);
  if (!r->firstFrame || !r->buffers[0] || !r->buffers[1] || !r->chunky) return false;
  ByteReaderSync(r->br);
  if (r->compression) ReadBodyByteRun1(r->file, r->firstFrame, r->width, r->height, r->planes, r->masking);
  else ReadBodyPlain(r->file, r->firstFrame, r->width, r->height, r->planes, r->masking);
  ByteReaderInit(r->br, r->file);

  const uint32_t firstSize = (uint32_t)head[16] << 24 | (uint32_t)head[17] << 16 | (uint32_t)head[18] << 8 | head[19];
  r->firstDelta = 20 + Padded(firstSize);
  if (!FormAt(r, r->firstDelta)) {
    r->firstDelta = bodyEnd;
    if (!FormAt(r, r->firstDelta)) return false;
  }
  int32_t counted;
  if (!CountFrames(r, &counted, false) || counted < 2) return false;
  // DPAN may name fewer frames than stored (the loop frames at the end); never more.
  r->frameCount = dpanFrames > 1 && dpanFrames < counted ? dpanFrames : counted;
  const int32_t firstDelay = r->delays[0];
  MemFree(r->delays);
  r->delays = (int32_t *)MemAlloc((size_t)r->frameCount * sizeof(int32_t), 1);
  if (!r->delays) return false;
  r->delays[0] = firstDelay;
  CountFrames(r, &counted, true);
  Rewind(r);
  return true;
}

void CloseIffAnim(IffAnimReader *r) {
  if (!r) return;
  if (r->file) FClose(r->file);
  MemFree(r->br);
  MemFree(r->firstFrame);
  MemFree(r->buffers[0]);
  MemFree(r->buffers[1]);
  MemFree(r->chunky);
  MemFree(r->delays);
  MemFree(r);
}

IffAnimReader *OpenIffAnim(const char *name, int32_t *width, int32_t *height, int32_t *frameCount) {
  IffAnimReader *r = (IffAnimReader *)MemAlloc(sizeof(IffAnimReader), 1);
  if (!r) return nullptr;
  r->file = FOpen(name, FMODE_READ);
  r->br = (ByteReader *)MemAlloc(sizeof(ByteReader), 0);
  if (!r->file || !r->br || !OpenFrames(r)) {
    CloseIffAnim(r);
    return nullptr;
  }
  *width = r->width;
  *height = r->height;
  *frameCount = r->frameCount;
  return r;
}

// Applies an op-5 delta to the target planes; false when an offset, op count or run leaves the
// delta data or the column.
static bool ApplyDelta(IffAnimReader *r, const uint8_t *d, size_t size, uint8_t *target, bool xorMode) {
  if (size < 64) return false;
  const int32_t rowBytes = PlaneRowBytes(r->width), h = r->height;
  for (int32_t p = 0; p < r->planes; p++) {
    size_t pos = (size_t)d[4 * p] << 24 | (size_t)d[4 * p + 1] << 16 | (size_t)d[4 * p + 2] << 8 | d[4 * p + 3];
    if (pos == 0) continue;
    uint8_t *plane = target + (size_t)p * (size_t)rowBytes * (size_t)h;
    for (int32_t col = 0; col < rowBytes; col++) {
      if (pos >= size) return false;
      int32_t ops = d[pos++], row = 0;
      uint8_t *at = plane + col;
      while (ops-- > 0) {
        if (pos >= size) return false;
        const uint8_t op = d[pos++];
        int32_t n;
        if (op & 0x80) {
          n = op & 0x7F;
          if (pos + (size_t)n > size || row + n > h) return false;
          for (int32_t k = 0; k < n; k++, row++) {
            uint8_t *b = at + (size_t)row * (size_t)rowBytes;
            *b = xorMode ? (uint8_t)(*b ^ d[pos++]) : d[pos++];
          }
        } else if (op == 0) {
          if (pos + 2 > size) return false;
          n = d[pos];
          const uint8_t v = d[pos + 1];
          pos += 2;
          if (row + n > h) return false;
          for (int32_t k = 0; k < n; k++, row++) {
            uint8_t *b = at + (size_t)row * (size_t)rowBytes;
            *b = xorMode ? (uint8_t)(*b ^ v) : v;
          }
        } else {
          row += op;
        }
      }
    }
  }
  return true;
}

// Decodes the delta FORM at the position into the next buffer.
static bool DecodeAnimDelta(IffAnimReader *r) {
  ByteReader *br = r->br;
  const int64_t formAt = ByteReaderTell(br);
  uint32_t id, size;
  uint8_t type[4];
  if (!ChunkHeader(br, &id, &size) || id != kFORM || ByteReaderRead(br, type, 4) != 4) return false;
  const int64_t end = formAt + 8 + Padded(size);
  bool haveHeader = false;
  int operation = 0, interleave = 0;
  while (ByteReaderTell(br) + 8 <= end && ChunkHeader(br, &id, &size)) {
    const int64_t start = ByteReaderTell(br);
    if (id == kANHD) {
      uint8_t a[24];
      if (ByteReaderRead(br, a, sizeof a) != sizeof a) return false;
      operation = a[0];
      if (r->nextFrame > 0)
        r->delays[r->nextFrame - 1] = (int32_t)((uint32_t)a[14] << 24 | (uint32_t)a[15] << 16 | (uint32_t)a[16] << 8 | a[17]);
      interleave = a[18];
      haveHeader = true;
    } else if (id == kCMAP) {
      ReadCMAPEntries(br, size, r->palette);
      if (r->halfBrite) ExtraHalfBrite(r->palette);
    } else if (id == kDLTA) {
      if (!haveHeader || operation != 5) return false;
      // The delta can't be larger than what is left of the file.
      if ((int64_t)size > r->fileSize - start) return false;
      uint8_t *d = (uint8_t *)MemAlloc(size ? size : 1, 0);
      if (!d) return false;
      const bool ok = ByteReaderRead(br, d, size) == size;
      uint8_t *target = r->buffers[r->bufferIndex];
      const bool applied = ok && ApplyDelta(r, d, size, target, interleave == 1);
      MemFree(d);
      if (!applied) return false;
      if (interleave == 0) r->bufferIndex ^= 1;
      r->current = target;
      ByteReaderSeek(br, end);
      return true;
    }
    ByteReaderSeek(br, start + Padded(size));
  }
  return false;
}

uint32_t *GetIffAnimFrame(IffAnimReader *r, int32_t n) {
  if (!r || n < 0 || n >= r->frameCount) return nullptr;
  if (n < r->nextFrame) Rewind(r);
  while (r->nextFrame <= n) {
    if (r->nextFrame == 0) {
      memcpy(r->palette, r->firstPalette, sizeof r->palette);
      r->current = r->firstFrame;
    } else if (!DecodeAnimDelta(r)) {
      Rewind(r);
      return nullptr;
    }
    r->nextFrame++;
  }
  uint32_t *out = (uint32_t *)MemAlloc((size_t)r->width * (size_t)r->height * 4, 0);
  if (out) {
    PlanarToChunky(r->current, r->width, r->height, r->planes, PlaneRowBytes(r->width), r->chunky, r->width);
    if (r->ham6) DecodeHAM6Rows(r->chunky, out, r->palette, r->width, r->height);
    else if (r->ham8) DecodeHAM8Rows(r->chunky, out, r->palette, r->width, r->height);
    else ChunkyToRGB(r->chunky, out, r->palette, r->width, r->height);
  }
  if (r->nextFrame == r->frameCount) Rewind(r);
  return out;
}

int32_t GetIffAnimDelay(IffAnimReader *r, int32_t index) {
  if (!r || index < 0 || index >= r->frameCount) return 0;
  const int64_t ms = (int64_t)(uint32_t)r->delays[index] * 1000 / 60;
  return ms > INT32_MAX ? INT32_MAX : (int32_t)ms;
}

// IFF ILBM pictures: 1 to 8 planes through a palette (plain, HAM6, HAM8, Extra-Half-Brite) or
// 24 planes of true colour, rows plain or ByteRun1-packed.
#include <cstring>

#include "pictures/byte_reader.h"
#include "pictures/iff_planar.h"
#include "pictures/picture_readers.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

// Reads the BMHD fields behind the chunk id; false for a chunk cut short.
static bool ReadBMHD(FileHandle *fh, IffBitmapHeader *hd) {
  uint8_t b[4 + 11];
  if (FRead(fh, b, sizeof b) != sizeof b) return false;
  ParseBMHD(b + 4, hd);
  return true;
}

// Mode bits of a CAMG chunk found before the BODY, else 0.
static uint32_t ReadCAMG(FileHandle *fh) {
  uint8_t b[8];
  if (!FindIFFChunk(fh, "CAMG") || FRead(fh, b, 8) != 8) return 0;
  return (uint32_t)b[4] << 24 | (uint32_t)b[5] << 16 | (uint32_t)b[6] << 8 | b[7];
}

// Palette of the CMAP chunk (looked for behind the body first, then before it); false without.
static bool ReadPalette(FileHandle *fh, uint32_t *palette) {
  if (!FindIFFChunk(fh, "CMAP")) return false;
  ByteReader *br = (ByteReader *)MemAlloc(sizeof(ByteReader), 0);
  if (!br) return false;
  ByteReaderInit(br, fh);
  ReadCMAPEntries(br, ByteReaderBE32(br), palette);
  MemFree(br);
  return true;
}

static int DecodeILBM(FileHandle *fh, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palOut) {
  IffBitmapHeader hd;
  if (!FindIFFChunk(fh, "BMHD") || !ReadBMHD(fh, &hd)) return 1358;
  int err = CheckPictureSize(hd.width, hd.height);
  if (err) return err;
  if (hd.planes < 1 || (hd.planes > 8 && hd.planes != 24)) return 1358;
  *width = hd.width;
  *height = hd.height;
  if (!pixels) return 0;

  const uint32_t mode = hd.planes < 24 ? ReadCAMG(fh) : 0;
  const bool ham = (mode & 0x800) != 0, halfBrite = (mode & 0x80) != 0;
  const size_t count = (size_t)hd.width * (size_t)hd.height;
  const int32_t rowBytes = PlaneRowBytes(hd.width);
  uint32_t *out = (uint32_t *)MemAlloc(count * 4, 0);
  if (!out) return 1000;
  if (!FindIFFChunk(fh, "BODY")) {
    MemFree(out);
    return 1358;
  }
  FSeek(fh, 4, FSEEK_CURRENT);  // the BODY size: rows are read until the picture is complete
  uint8_t *planes = (uint8_t *)MemAlloc((size_t)rowBytes * (size_t)hd.height * (size_t)hd.planes, 1);
  uint8_t *index = hd.planes < 24 ? (uint8_t *)MemAlloc(count, 1) : nullptr;
  uint32_t *table = (uint32_t *)MemAlloc(256 * 4, 1);
  if (!planes || !table || (hd.planes < 24 && !index)) {
    err = 1000;
  } else {
    if (hd.compression) ReadBodyByteRun1(fh, planes, hd.width, hd.height, hd.planes, hd.masking);
    else ReadBodyPlain(fh, planes, hd.width, hd.height, hd.planes, hd.masking);
    if (hd.planes == 24) {
      Planar24ToRGB(planes, hd.width, hd.height, rowBytes, out);
    } else {
      PlanarToChunky(planes, hd.width, hd.height, hd.planes, rowBytes, index, hd.width);
      if (!ReadPalette(fh, table)) {
        err = 1358;
      } else if (ham && hd.planes > 6) {
        DecodeHAM8Rows(index, out, table, hd.width, hd.height);
      } else if (ham) {
        DecodeHAM6Rows(index, out, table, hd.width, hd.height);
      } else {
        if (halfBrite) ExtraHalfBrite(table);
        ChunkyToRGB(index, out, table, hd.width, hd.height);
      }
    }
  }
  MemFree(planes);
  MemFree(index);
  if (!err && palOut && hd.planes < 24 && !ham) {
    *palOut = table;
    table = nullptr;
  }
  MemFree(table);
  if (err) {
    MemFree(out);
    return err;
  }
  *pixels = out;
  return 0;
}

int ReadILBM(const char *name, int32_t *width, int32_t *height, uint32_t **pixels, uint32_t **palette) {
  return ReadPictureFile(name, DecodeILBM, width, height, pixels, palette);
}

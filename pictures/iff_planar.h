// Building blocks of the IFF readers (ILBM pictures and ANIM animations): the chunk search,
// the BODY readers (plain and ByteRun1), planar-to-chunky conversion and the palette modes
// (plain palette, HAM6, HAM8, Extra-Half-Brite).
//
// A planar image holds nPlanes planes one after the other, each a block of `height` rows of
// PlaneRowBytes(width) bytes; bit 7 of a row's first byte is the leftmost pixel.
#pragma once
#include <cstddef>
#include <cstdint>

struct FileHandle;
struct ByteReader;

// The fields of a BMHD chunk that the readers use.
struct IffBitmapHeader {
  int32_t width, height;
  int planes, masking, compression;
};
// From the first 11 bytes of a BMHD chunk's data (width, height, x, y, planes, masking,
// compression).
void ParseBMHD(const uint8_t *data, IffBitmapHeader *header);

// Bytes of one plane row: whole 16-bit words.
inline int32_t PlaneRowBytes(int32_t width) { return ((width + 15) / 16) * 2; }

// Scans byte by byte from the current position for the four-letter id. A scan ends at the id
// (true; the position is then just behind it), at an occurrence of "BODY" when another id is
// searched (false; the position is left at the "BODY", so a following search for it finds it
// at once) or at the end of the file. A second scan is made after a scan that reached the end,
// starting at offset 12.
bool FindIFFChunk(FileHandle *fh, const char id[4]);

// Read height rows of nPlanes plane rows from the current position into the planar image;
// with masking 1 the mask row behind each row's planes is passed over. ByteRun1 packets never
// write past their row (the rest of such a packet is dropped). Data that ends early leaves the
// rest of the image as it was. True when every row was read.
bool ReadBodyPlain(FileHandle *fh, uint8_t *planes, int32_t width, int32_t height, int32_t nPlanes, int masking);
bool ReadBodyByteRun1(FileHandle *fh, uint8_t *planes, int32_t width, int32_t height, int32_t nPlanes,
                      int masking);
// One ByteRun1-packed row of n bytes into dst (none: decoded and dropped). False at the end of
// the data.
bool UnpackByteRun1Row(ByteReader *br, uint8_t *dst, size_t n);
// Packs n bytes with ByteRun1 into dst, which must hold MaxByteRun1Size(n) bytes; returns the
// packed size.
size_t PackByteRun1(const uint8_t *src, size_t n, uint8_t *dst);
inline size_t MaxByteRun1Size(size_t n) { return n + (n + 127) / 128; }

// 1 to 8 planes: one index byte a pixel into out (rows outRowLength bytes apart).
void PlanarToChunky(const uint8_t *planes, int32_t width, int32_t height, int32_t nPlanes, int32_t rowBytes,
                    uint8_t *out, int32_t outRowLength);
// 24 planes (red bits 0-7 in planes 0-7, green 8-15, blue 16-23): words 0x00RRGGBB, rows packed.
void Planar24ToRGB(const uint8_t *planes, int32_t width, int32_t height, int32_t rowBytes, uint32_t *out);

// Index bytes to words 0x00RRGGBB through a 256-entry palette.
void ChunkyToRGB(const uint8_t *index, uint32_t *out, const uint32_t *palette, int32_t width, int32_t height);
// Hold-and-modify: every row starts black; the top two index bits (bits 5-4 for HAM6, 7-6 for
// HAM8) choose a palette entry or which component of the pixel to the left is replaced.
void DecodeHAM6Rows(const uint8_t *index, uint32_t *out, const uint32_t *palette, int32_t width, int32_t height);
void DecodeHAM8Rows(const uint8_t *index, uint32_t *out, const uint32_t *palette, int32_t width, int32_t height);
// Extra-Half-Brite: entry 32 + i becomes entry i with R, G and B halved, for i = 0..31.
void ExtraHalfBrite(uint32_t *palette);
// Reads a CMAP body of `size` bytes: size / 3 triples, of which the first 256 go into the
// palette as 0x00RRGGBB (the rest is passed over). Returns the entries stored.
int ReadCMAPEntries(ByteReader *br, uint32_t size, uint32_t *palette);

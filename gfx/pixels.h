// Pixel formats and single-pixel conversion between a pixel's memory layout
// and 8-bit R, G, B channels.
#pragma once
#include <cstdint>

// Layout of one pixel: codes 0 to 12. "Word" is the pixel read as one
// little-endian 16- or 32-bit number; "swapped" formats store the 16-bit word
// with its two bytes exchanged.
typedef int32_t PixelFormat;

enum {
  PIXFMT_RGB15 = 0,     // R bits 10-14, G 5-9, B 0-4
  PIXFMT_BGR15 = 1,     // B bits 10-14, G 5-9, R 0-4
  PIXFMT_RGB15SW = 2,   // format 0 byte-swapped
  PIXFMT_BGR15SW = 3,   // format 1 byte-swapped
  PIXFMT_RGB16 = 4,     // R bits 11-15, G 5-10, B 0-4 (RGB565)
  PIXFMT_BGR16 = 5,     // B bits 11-15, G 5-10, R 0-4
  PIXFMT_RGB16SW = 6,   // format 4 byte-swapped
  PIXFMT_BGR16SW = 7,   // format 5 byte-swapped
  PIXFMT_RGB24 = 8,     // memory bytes R, G, B
  PIXFMT_BGR24 = 9,     // memory bytes B, G, R
  PIXFMT_XRGB32 = 10,   // word 0x00RRGGBB
  PIXFMT_BGRX32 = 11,   // memory bytes: spare, R, G, B (every allocated bitmap)
  PIXFMT_RGBX32 = 12,   // R bits 24-31, G 16-23, B 8-15
  PIXFMT_COUNT = 13
};

// Bytes of one pixel of the format (2, 3 or 4), 0 for an unknown format.
int PixelFormatBytes(PixelFormat format);

// Stores R, G, B of the pixel at `pixel` into rgb[0..2]. 15/16-bit fields are
// widened by shifting (31 reads as 248). A format above 12 stores nothing.
void ReadPixelRGB(const void *pixel, PixelFormat format, uint8_t rgb[3]);
// Packs rgb[0..2] into one pixel at `pixel`. 15/16-bit fields take the top bits
// of each channel; 32-bit pixels get 0 in their spare byte. A format above 12
// stores nothing.
void WritePixelRGB(void *pixel, PixelFormat format, const uint8_t rgb[3]);

// Colour 0xRRGGBB as a pixel value of the format: the 32-bit word for 4-byte
// formats, b0 << 16 | b1 << 8 | b2 of the memory bytes for 3-byte formats
// (0x00RRGGBB for format 8, 0x00BBGGRR for format 9), the 16-bit word as it is
// stored for 2-byte formats. 0 for an unknown format.
uint32_t RGBToPixel(uint32_t rgb, PixelFormat format);
// The inverse: a pixel value in the sense of RGBToPixel back to 0xRRGGBB.
uint32_t PixelToRGB(uint32_t value, PixelFormat format);

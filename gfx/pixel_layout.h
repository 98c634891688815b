// Compile-time pixel layouts for the kernels. A kernel is written once as a
// template over one of these and instantiated per pixel size (raw work:
// copies, compares, inversion) or per format (channel work).
//
// Size layouts: Raw (the pixel value: 32-bit word, b0 << 16 | b1 << 8 | b2 of
// three bytes, or the 16-bit word), kBytes, Load, Store.
// Format layouts add ToRGB (pixel value -> 0x00RRGGBB) and FromRGB
// (0x00RRGGBB -> pixel value; 32-bit pixels get a zero spare byte, 16-bit
// channels keep their top bits: & 0xF8, green of 565 & 0xFC).
#pragma once
#include <cstdint>
#include <cstring>
#include "gfx/pixels.h"

// Hot row loops are compiled for the baseline processor, AVX2 and AVX-512,
// and the processor picks one at run time (GCC on x86-64; other compilers
// build the baseline only). Put it on functions that handle a whole row.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KV_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define KV_VECTOR_CLONES
#endif

struct PixSize32 {
  typedef uint32_t Raw;
  static constexpr int kBytes = 4;
  static inline Raw Load(const uint8_t *p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
  static inline void Store(uint8_t *p, Raw v) { std::memcpy(p, &v, 4); }
};
struct PixSize24 {
  typedef uint32_t Raw;
  static constexpr int kBytes = 3;
  static inline Raw Load(const uint8_t *p) { return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2]; }
  static inline void Store(uint8_t *p, Raw v) { p[0] = (uint8_t)(v >> 16); p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)v; }
};
struct PixSize16 {
  typedef uint16_t Raw;
  static constexpr int kBytes = 2;
  static inline Raw Load(const uint8_t *p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
  static inline void Store(uint8_t *p, Raw v) { std::memcpy(p, &v, 2); }
};

inline uint32_t SwapRB24(uint32_t v) { return (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF); }
inline uint16_t Swap16(uint32_t v) { return (uint16_t)((v & 0xFF) << 8 | (v >> 8 & 0xFF)); }

// Format 10: word 0x00RRGGBB.
struct PixFmt10 : PixSize32 {
  static constexpr PixelFormat kFormat = PIXFMT_XRGB32;
  static constexpr uint32_t kSpare = 0xFF000000u;  // the byte that holds no channel
  static inline uint32_t ToRGB(Raw v) { return v & 0xFFFFFF; }
  static inline Raw FromRGB(uint32_t c) { return c & 0xFFFFFF; }
};
// Format 11: memory bytes spare, R, G, B (the word byte-reversed).
struct PixFmt11 : PixSize32 {
  static constexpr PixelFormat kFormat = PIXFMT_BGRX32;
  static constexpr uint32_t kSpare = 0x000000FFu;
  static inline uint32_t ToRGB(Raw v) { return __builtin_bswap32(v) & 0xFFFFFF; }
  static inline Raw FromRGB(uint32_t c) { return __builtin_bswap32(c & 0xFFFFFF); }
};
// Format 12: R in bits 24-31, G 16-23, B 8-15.
struct PixFmt12 : PixSize32 {
  static constexpr PixelFormat kFormat = PIXFMT_RGBX32;
  static constexpr uint32_t kSpare = 0x000000FFu;
  static inline uint32_t ToRGB(Raw v) { return v >> 8; }
  static inline Raw FromRGB(uint32_t c) { return (c & 0xFFFFFF) << 8; }
};
// Format 8: bytes R, G, B.
struct PixFmt8 : PixSize24 {
  static constexpr PixelFormat kFormat = PIXFMT_RGB24;
  static inline uint32_t ToRGB(Raw v) { return v; }
  static inline Raw FromRGB(uint32_t c) { return c & 0xFFFFFF; }
};
// Format 9: bytes B, G, R.
struct PixFmt9 : PixSize24 {
  static constexpr PixelFormat kFormat = PIXFMT_BGR24;
  static inline uint32_t ToRGB(Raw v) { return SwapRB24(v); }
  static inline Raw FromRGB(uint32_t c) { return SwapRB24(c & 0xFFFFFF); }
};
// Formats 0 to 7: 15/16-bit words, RGB or BGR, native or byte-swapped.
template <int F>
struct PixFmt16 : PixSize16 {
  static constexpr PixelFormat kFormat = F;
  static constexpr bool kSwapped = (F & 2) != 0;
  static constexpr bool kBGR = (F & 1) != 0;
  static constexpr bool k565 = F >= 4;
  static inline uint32_t ToRGB(Raw raw) {
    uint32_t v = kSwapped ? Swap16(raw) : raw;
    uint32_t hi, g, lo;
    if (k565) { hi = (v >> 11 & 0x1F) << 3; g = (v >> 5 & 0x3F) << 2; lo = (v & 0x1F) << 3; }
    else { hi = (v >> 10 & 0x1F) << 3; g = (v >> 5 & 0x1F) << 3; lo = (v & 0x1F) << 3; }
    return kBGR ? (lo << 16 | g << 8 | hi) : (hi << 16 | g << 8 | lo);
  }
  static inline Raw FromRGB(uint32_t c) {
    uint32_t r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
    uint32_t hi = kBGR ? b : r, lo = kBGR ? r : b, v;
    if (k565) v = (hi & 0xF8) << 8 | (g & 0xFC) << 3 | lo >> 3;
    else v = (hi & 0xF8) << 7 | (g & 0xF8) << 2 | lo >> 3;
    return kSwapped ? Swap16(v) : (uint16_t)v;
  }
};

// Channels of 0x00RRGGBB `a` moved toward `b` by w / 256 (w 0..256):
// a + (((b - a) * w) >> 8) with a signed product and an arithmetic shift.
inline uint32_t MixRGB(uint32_t a, uint32_t b, int32_t w) {
  const int32_t ar = (int32_t)(a >> 16 & 0xFF), ag = (int32_t)(a >> 8 & 0xFF), ab = (int32_t)(a & 0xFF);
  const int32_t br = (int32_t)(b >> 16 & 0xFF), bg = (int32_t)(b >> 8 & 0xFF), bb = (int32_t)(b & 0xFF);
  const int32_t r = ar + (((br - ar) * w) >> 8);
  const int32_t g = ag + (((bg - ag) * w) >> 8);
  const int32_t bl = ab + (((bb - ab) * w) >> 8);
  return (uint32_t)(r & 0xFF) << 16 | (uint32_t)(g & 0xFF) << 8 | (uint32_t)(bl & 0xFF);
}

// The same step on all four bytes of two 32-bit words at once, whatever
// byte each channel sits in: a + (((b - a) * w) >> 8) equals
// (a * (256 - w) + b * w) >> 8 (the shift floors either way), which has no
// negative terms and fits 16 bits, so two bytes share one multiply.
inline uint32_t MixWords(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t lo = ((a & 0x00FF00FFu) * iw + (b & 0x00FF00FFu) * w) >> 8 & 0x00FF00FFu;
  const uint32_t hi = (((a >> 8) & 0x00FF00FFu) * iw + ((b >> 8) & 0x00FF00FFu) * w) & 0xFF00FF00u;
  return lo | hi;
}

// The step on two pixel values of layout L, giving a pixel value: 32-bit
// pixels are mixed in place and their spare byte cleared, the others go
// through 0x00RRGGBB.
template <class L>
inline typename L::Raw MixPixel(typename L::Raw a, typename L::Raw b, uint32_t w) {
  if constexpr (L::kBytes == 4) {
    return MixWords(a, b, w) & ~L::kSpare;
  } else {
    return L::FromRGB(MixRGB(L::ToRGB(a), L::ToRGB(b), (int32_t)w));
  }
}

// Calls fn(Layout{}) with the format layout of the format; returns false (and
// calls nothing) for a format of another pixel size than the family's.
template <class Fn> inline bool WithFormat32(PixelFormat f, Fn &&fn) {
  switch (f) {
    case PIXFMT_XRGB32: fn(PixFmt10{}); return true;
    case PIXFMT_BGRX32: fn(PixFmt11{}); return true;
    case PIXFMT_RGBX32: fn(PixFmt12{}); return true;
  }
  return false;
}
template <class Fn> inline bool WithFormat24(PixelFormat f, Fn &&fn) {
  switch (f) {
    case PIXFMT_RGB24: fn(PixFmt8{}); return true;
    case PIXFMT_BGR24: fn(PixFmt9{}); return true;
  }
  return false;
}
template <class Fn> inline bool WithFormat16(PixelFormat f, Fn &&fn) {
  switch (f) {
    case 0: fn(PixFmt16<0>{}); return true;
    case 1: fn(PixFmt16<1>{}); return true;
    case 2: fn(PixFmt16<2>{}); return true;
    case 3: fn(PixFmt16<3>{}); return true;
    case 4: fn(PixFmt16<4>{}); return true;
    case 5: fn(PixFmt16<5>{}); return true;
    case 6: fn(PixFmt16<6>{}); return true;
    case 7: fn(PixFmt16<7>{}); return true;
  }
  return false;
}
// The 24-bit members' pick: format 8 has R in its first byte, every other
// format is taken as format 9 (B first).
template <class Fn> inline void WithLayout24(PixelFormat f, Fn &&fn) {
  if (f == PIXFMT_RGB24) fn(PixFmt8{});
  else fn(PixFmt9{});
}
// Any format: fn gets the format layout; false for a format above 12.
template <class Fn> inline bool WithFormat(PixelFormat f, Fn &&fn) {
  return WithFormat32(f, fn) || WithFormat24(f, fn) || WithFormat16(f, fn);
}

// Running test bit over a mask row starting at bit offset x.
struct MaskBitWalker {
  const uint8_t *byte;
  uint8_t bit;
  inline void Start(const uint8_t *row, int32_t x) { byte = row + (x >> 3); bit = (uint8_t)(0x80 >> (x & 7)); }
  inline bool Test() const { return (*byte & bit) != 0; }
  inline void Next() { bit >>= 1; if (!bit) { bit = 0x80; ++byte; } }
};
// The same over a mask row that is written.
struct MaskBitCursor {
  uint8_t *byte;
  uint8_t bit;
  inline void Start(uint8_t *row, int32_t x) { byte = row + (x >> 3); bit = (uint8_t)(0x80 >> (x & 7)); }
  inline void Set() { *byte |= bit; }
  inline void Clear() { *byte &= (uint8_t)~bit; }
  inline void Toggle() { *byte ^= bit; }
  inline void Put(bool on) { if (on) Set(); else Clear(); }
  inline void Next() { bit >>= 1; if (!bit) { bit = 0x80; ++byte; } }
};

// Picture detection and loading from untrusted bytes: the bytes become a linked file in memory
// (a ":::chunkS" name) and go through LoadImageFile in every alpha mode and size-only, then
// straight to the platform decoder.
#include <cstddef>
#include <cstdint>

#include "gfx/bitmap.h"
#include "gfx/picload.h"
#include "platform/os.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  if (RegisterMemorySection(data, size) != 0) return 0;
  char name[KV_PATH_SIZE];
  if (MakeChunkName("fuzz.pic", name, sizeof name, -1, (uint32_t)size, 0, nullptr, data)) {
    for (int mode = -1; mode <= 4; mode++) {
      uint32_t *pixels = nullptr;
      AlphaChannel *alpha = nullptr;
      Mask *mask = nullptr;
      int32_t key, w, h;
      if (LoadImageFile(name, 0, 0, 0, mode, mode == -1 ? nullptr : &pixels, &alpha, &mask, &key, &w, &h) == 0 &&
          pixels) {
        // Touch the first and the last word and the alpha rows.
        volatile uint32_t sink = pixels[0] ^ pixels[(size_t)w * (size_t)h - 1];
        (void)sink;
        if (alpha) {
          volatile uint8_t a = alpha->pixels[(size_t)(h - 1) * (size_t)alpha->bytesPerRow + (size_t)(w - 1)];
          (void)a;
        }
      }
      MemFree(pixels);
      FreeAlphaChannel(alpha);
    }
  }
  UnregisterMemorySection(data);
  int32_t w, h;
  int hasAlpha;
  OsLoadImage(data, size, &w, &h, nullptr, nullptr, &hasAlpha);
  return 0;
}

// GIF reader on untrusted bytes (behind "GIF89a"): the still picture, then the animation with
// its frames in order and out of order.
#include "pictures/gif_reader.h"
#include "pictures/picture_readers.h"
#include "runtime/memory.h"
#include "tests/fuzz/fuzz_common_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20)) return 0;
  FuzzFile f("GIF89a", 6, data, size);
  if (!f.ok) return 0;
  int32_t w, h, key, frames;
  uint32_t *px = nullptr, *pal = nullptr;
  if (ReadGIFPicture(f.name, &w, &h, &px, &pal, &key) == 0) {
    volatile uint32_t sink = px[0] ^ px[(size_t)w * (size_t)h - 1] ^ pal[255];
    (void)sink;
  }
  MemFree(px);
  MemFree(pal);
  GifReader *r = OpenGifAnim(f.name, &w, &h, &frames, 0);
  if (!r) return 0;
  const int32_t n = frames < 32 ? frames : 32;
  for (int32_t i = 0; i < n; i++) MemFree(GetGifFrame(r, i));
  MemFree(GetGifFrame(r, frames - 1));
  MemFree(GetGifFrame(r, frames / 2));
  MemFree(GetGifFrame(r, 0));
  GetGifFrameDelay(r, frames - 1);
  CloseGifAnim(r);
  return 0;
}

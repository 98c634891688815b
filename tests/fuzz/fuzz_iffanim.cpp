// IFF ANIM reader on untrusted bytes (behind "FORM", size, "ANIM", "FORM", size, "ILBM")
// through the anim file handle: every frame in order, then out of order, and the delays.
#include "pictures/anim_file.h"
#include "runtime/memory.h"
#include "tests/fuzz/fuzz_common_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const uint8_t head[24] = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'N', 'I', 'M',
                                   'F', 'O', 'R', 'M', 0, 0, 0, 0, 'I', 'L', 'B', 'M'};
  // The first four input bytes are the first frame's FORM size.
  uint8_t h[24];
  memcpy(h, head, 24);
  if (size >= 4) {
    memcpy(h + 16, data, 4);
    data += 4;
    size -= 4;
  }
  FuzzFile f(h, 24, data, size);
  if (!f.ok) return 0;
  AnimFile *af;
  int32_t w, ht, frames;
  if (LoadAnimFile(f.name, &af, &w, &ht, &frames)) return 0;
  const int32_t n = frames < 32 ? frames : 32;
  for (int32_t i = 0; i < n; i++) {
    MemFree(GetAnimFileFrame(af, i));
    GetAnimFileDelay(af, i);
  }
  MemFree(GetAnimFileFrame(af, frames - 1));
  MemFree(GetAnimFileFrame(af, 1));
  FreeAnimFile(af);
  return 0;
}

// LoadAnim's loader on untrusted bytes behind a GIF or IFF ANIM header (the first input byte
// chooses the header and whether the anim is disk-based): every frame fetched, then the anim
// copied, scaled and given more and fewer frames.
#include "pictures/anim.h"
#include "runtime/settings.h"
#include "tests/fuzz/fuzz_common_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  static const char *const heads[] = {"GIF89a", "FORM\0\0\0\0ANIMFORM"};
  static const size_t headLengths[] = {6, 16};
  const int kind = data[0] & 1, diskBased = (data[0] >> 1) & 1;
  FuzzFile f(heads[kind], headLengths[kind], data + 1, size - 1);
  if (!f.ok) return 0;
  RuntimeSettings.quiet = 1;
  ObjectId id = {1, nullptr};
  if (LoadAnimFromFile(nullptr, &id, f.name, 0, diskBased) == 0) {
    AnimNode *a;
    if (FindAnim(id, &a, 0) == 0) {
      const int32_t n = a->frameCount < 32 ? a->frameCount : 32;
      for (int32_t i = 0; i < n; i++) {
        BitMap *bm;
        Mask *mk;
        AlphaChannel *al;
        int owned;
        if (FetchAnimFrame(a, i, 1, 0, &bm, &mk, &al, &owned) == 0) {
          FreeBitMap(bm);
          FreeMask(mk);
          FreeAlphaChannel(al);
        }
        AnimFrameDelay(a, i);
      }
      ObjectId copyId = {2, nullptr};
      CopyAnimNode(a, &copyId, nullptr);
      if (a->width <= 256 && a->height <= 256) {
        ScaleAnimNode(a, a->width / 2 + 1, a->height + 1, 0);
        ResizeAnimFrames(a, 2, 1);
        ResizeAnimFrames(a, -1, 0);
      }
    }
  }
  FreeAllAnimNodes();
  return 0;
}

// The animation file handle: format detection and dispatch to the decoders.
#include "pictures/anim_file.h"

#include <cstring>

#include "pictures/gif_reader.h"
#include "pictures/iff_anim.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

int LoadAnimFile(const char *name, AnimFile **handle, int32_t *width, int32_t *height, int32_t *frameCount) {
  *handle = nullptr;
  SetErrorString(name);
  FileHandle *fh = FOpen(name, FMODE_READ);
  if (!fh) return 1045;
  uint8_t head[64] = {};
  FRead(fh, head, sizeof head);
  FClose(fh);
  AnimFile *af = (AnimFile *)MemAlloc(sizeof(AnimFile), 1);
  if (!af) return 1000;
  if (!memcmp(head, "FORM", 4) && !memcmp(head + 8, "ANIM", 4)) {
    af->decoder = OpenIffAnim(name, width, height, frameCount);
    af->kind = ANIMFILE_IFF;
  } else if (!memcmp(head, "GIF87", 5) || !memcmp(head, "GIF89", 5)) {
    af->decoder = OpenGifAnim(name, width, height, frameCount, 0);
    af->kind = ANIMFILE_GIF;
  }
  if (!af->decoder) {
    af->kind = ANIMFILE_PLATFORM;
    if (!OsLoadAnim(af)) {
      MemFree(af);
      SetErrorString(name);
      return 1356;
    }
  }
  *handle = af;
  return 0;
}

uint32_t *GetAnimFileFrame(AnimFile *af, int32_t index) {
  if (!af) return nullptr;
  switch (af->kind) {
    case ANIMFILE_IFF: return GetIffAnimFrame((IffAnimReader *)af->decoder, index);
    case ANIMFILE_GIF: return GetGifFrame((GifReader *)af->decoder, index);
    default:
      OsGetAnimFrame(af, index);  // the platform's hook decodes no format here
      return nullptr;
  }
}

int32_t GetAnimFileDelay(AnimFile *af, int32_t index) {
  if (!af) return 0;
  switch (af->kind) {
    case ANIMFILE_IFF: return GetIffAnimDelay((IffAnimReader *)af->decoder, index);
    case ANIMFILE_GIF: return GetGifFrameDelay((GifReader *)af->decoder, index);
    default: return OsGetAnimDelay(af, index);
  }
}

void FreeAnimFile(AnimFile *af) {
  if (!af) return;
  switch (af->kind) {
    case ANIMFILE_IFF: CloseIffAnim((IffAnimReader *)af->decoder); break;
    case ANIMFILE_GIF: CloseGifAnim((GifReader *)af->decoder); break;
    default: OsFreeAnim(af); break;
  }
  MemFree(af);
}

int IsAnimFile(const char *name) {
  AnimFile *af;
  int32_t w, h, frames = 0;
  if (LoadAnimFile(name, &af, &w, &h, &frames)) return 0;
  FreeAnimFile(af);
  return frames > 1;
}

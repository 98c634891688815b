// The module replayer on untrusted bytes: ModInit, then ModRender for half a second with the
// last byte choosing position requests, so every effect parameter and song position is played.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/mod_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1084 || size > (1u << 20)) return 0;
  // The replayer writes into its module (the invert-loop effect), so it gets a copy.
  std::vector<uint8_t> module(data, data + size);
  memcpy(&module[1080], "M.K.", 4);
  size_t recordSize = ModInit(nullptr, module.data(), module.size(), 48000);
  if (!recordSize) return 0;
  std::vector<uint8_t> record(recordSize);
  ModulePlayer *mp = reinterpret_cast<ModulePlayer *>(record.data());
  ModInit(mp, module.data(), module.size(), 48000);
  int16_t pcm[2 * 1200];
  for (int block = 0; block < 24; block++) {
    if (block == 12) ModRequestPosition(mp, data[size - 1]);
    ModApplyRequest(mp);
    ModRender(mp, pcm, pcm + 1, 4, 1200, 0, 16, 2);
  }
  return 0;
}

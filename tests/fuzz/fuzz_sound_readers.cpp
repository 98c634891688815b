// Sound files from untrusted bytes: the bytes become a linked file in memory (a ":::chunkS"
// name), are recognised and read through the own readers or the platform decoder, whole and
// as a stream, and the MPEG probe looks at them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/filelayer.h"
#include "sound/sample_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  if (size >= 4) MpegHeaderBitRate(data);
  MpegTagLength(data, size);
  MpegHasVbrMarker(data, size);
  if (RegisterMemorySection(data, size) != 0) return 0;
  char name[KV_PATH_SIZE];
  if (MakeChunkName("fuzz.snd", name, sizeof name, -1, (uint32_t)size, 0, nullptr, data)) {
    SampleBuffer *buffer = nullptr;
    uint32_t length;
    int rate, code;
    if (LoadSampleFile(name, &buffer, &length, &rate, &code) == 0 && length) {
      volatile uint8_t last = buffer->data[length - 1];
      (void)last;
    }
    FreeSampleBuffer(buffer);
    SampleFile *sf = nullptr;
    if (OpenSampleFile(name, 1, &sf) == 0) {
      // Streams read in blocks of at most 4096 frames of the delivered layout.
      std::vector<uint8_t> block((size_t)4096 * (sf->readBytesPerFrame > 0 ? sf->readBytesPerFrame : 1));
      for (int i = 0; i < 64; i++) {
        int end = 0;
        if (ReadSampleData(sf, block.data(), 4096, &end) <= 0 || end) break;
      }
      SeekSampleFile(sf, sf->frames / 2);
      ReadSampleData(sf, block.data(), 4096, nullptr);
      CloseSampleFile(sf);
    }
  }
  UnregisterMemorySection(data);
  return 0;
}

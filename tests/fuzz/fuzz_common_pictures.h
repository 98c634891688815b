// Shared by the picture and animation fuzz targets: the input becomes a linked file in memory
// (a ":::chunkS" name) behind an optional fixed header, so the readers see it through the file
// layer like any linked file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/filelayer.h"
#include "runtime/memory.h"

struct FuzzFile {
  std::vector<uint8_t> bytes;
  char name[KV_PATH_SIZE];
  bool ok;
  FuzzFile(const void *head, size_t headLength, const uint8_t *data, size_t size)
      : bytes((const uint8_t *)head, (const uint8_t *)head + headLength) {
    bytes.insert(bytes.end(), data, data + size);
    ok = RegisterMemorySection(bytes.data(), bytes.size()) == 0 &&
         MakeChunkName("fuzz.bin", name, sizeof name, -1, (uint32_t)bytes.size(), 0, nullptr, bytes.data());
  }
  ~FuzzFile() { UnregisterMemorySection(bytes.data()); }
};

// A still-picture reader of the ReadILBM/ReadBMP kind: a size query, then a full decode whose
// first and last pixels and palette end are touched.
typedef int (*FuzzStillReader)(const char *, int32_t *, int32_t *, uint32_t **, uint32_t **);
inline int FuzzStill(const char *head, const uint8_t *data, size_t size, FuzzStillReader read) {
  if (size > (1u << 20)) return 0;
  FuzzFile f(head, strlen(head), data, size);
  if (!f.ok) return 0;
  int32_t w, h;
  read(f.name, &w, &h, nullptr, nullptr);
  uint32_t *px = nullptr, *pal = nullptr;
  if (read(f.name, &w, &h, &px, &pal) == 0) {
    volatile uint32_t sink = px[0] ^ px[(size_t)w * (size_t)h - 1] ^ (pal ? pal[255] : 0);
    (void)sink;
  }
  MemFree(px);
  MemFree(pal);
  return 0;
}

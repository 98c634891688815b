// Shared helpers of the picture and animation tests: files in the build tree, byte builders,
// and a preview sheet that collects decoded pictures into one PNG for a person to look at.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/os.h"
#include "runtime/memory.h"

inline std::string TestPath(const std::string &name) { return std::string(KV_BINARY_DIR) + "/pic_" + name; }

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

inline std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::vector<uint8_t> b;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return b;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
  fclose(f);
  return b;
}

// Appends numbers to a byte vector.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes &u8(uint32_t x) { v.push_back((uint8_t)x); return *this; }
  Bytes &be16(uint32_t x) { return u8(x >> 8).u8(x); }
  Bytes &be32(uint32_t x) { return be16(x >> 16).be16(x); }
  Bytes &le16(uint32_t x) { return u8(x).u8(x >> 8); }
  Bytes &le32(uint32_t x) { return le16(x).le16(x >> 16); }
  Bytes &str(const char *s) { while (*s) v.push_back((uint8_t)*s++); return *this; }
  Bytes &raw(const std::vector<uint8_t> &b) { v.insert(v.end(), b.begin(), b.end()); return *this; }
  size_t size() const { return v.size(); }
};

// Pictures laid out left to right in rows, each scaled up by an integer factor, written as one
// PNG under previews/.
struct PreviewSheet {
  struct Item { std::vector<uint32_t> px; int w, h; };
  std::vector<Item> items;
  void Add(const uint32_t *px, int w, int h) { items.push_back({std::vector<uint32_t>(px, px + (size_t)w * h), w, h}); }
  void Save(const std::string &file, int scale = 4, int perRow = 6) {
    if (items.empty()) return;
    int cellW = 0, cellH = 0;
    for (const Item &i : items) {
      cellW = std::max(cellW, i.w * scale + 8);
      cellH = std::max(cellH, i.h * scale + 8);
    }
    const int cols = std::min<int>(perRow, (int)items.size());
    const int rows = ((int)items.size() + perRow - 1) / perRow;
    const int W = cols * cellW, H = rows * cellH;
    std::vector<uint32_t> sheet((size_t)W * H, 0xFF808080u);
    for (size_t n = 0; n < items.size(); n++) {
      const Item &it = items[n];
      const int ox = (int)(n % perRow) * cellW + 4, oy = (int)(n / perRow) * cellH + 4;
      for (int y = 0; y < it.h * scale; y++)
        for (int x = 0; x < it.w * scale; x++)
          sheet[(size_t)(oy + y) * W + ox + x] = 0xFF000000u | it.px[(size_t)(y / scale) * it.w + x / scale];
    }
    const std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    OsMakeDir(dir.c_str());
    EXPECT_EQ(OsSavePNG((dir + "/" + file).c_str(), sheet.data(), W, H, 0), 0);
  }
};

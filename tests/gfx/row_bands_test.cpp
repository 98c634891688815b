// Row bands: every row done exactly once, in bands no smaller than asked (one band for a
// picture below twice that), however the rows divide.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>
#include "gfx/row_bands.h"

namespace {

struct Seen {
  std::vector<std::atomic<int>> rows;
  std::mutex lock;
  std::vector<std::pair<int32_t, int32_t>> bands;
  explicit Seen(int32_t n) : rows(n) {}
};

void Mark(void *user, int32_t first, int32_t end) {
  Seen *s = (Seen *)user;
  for (int32_t y = first; y < end; y++) s->rows[y]++;
  std::lock_guard<std::mutex> hold(s->lock);
  s->bands.push_back({first, end});
}

TEST(RowBands, EveryRowOnceInBandsOfAtLeastTheLeastSize) {
  for (int32_t rows : {0, 1, 63, 64, 127, 128, 129, 1080, 4099})
    for (int32_t minRows : {0, 1, 64, 500}) {
      Seen seen(rows);
      RunRowBands(rows, minRows, Mark, &seen);
      for (int32_t y = 0; y < rows; y++) ASSERT_EQ(seen.rows[y], 1) << rows << " rows, row " << y;
      EXPECT_LE(seen.bands.size(), 4u);
      if (rows < 2 * minRows) {
        EXPECT_LE(seen.bands.size(), 1u) << rows << " rows";
      }
      for (auto [first, end] : seen.bands) {
        if (seen.bands.size() > 1) {
          EXPECT_GE(end - first, minRows) << rows << " rows";
        }
      }
    }
}

}  // namespace

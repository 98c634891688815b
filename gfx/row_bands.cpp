// Bands of rows on threads started for the call and joined before it returns: nothing waits on
// a thread that is not already working on its band.
#include "gfx/row_bands.h"

#include <pthread.h>
#include <unistd.h>

namespace {

constexpr int32_t kMaxBands = 4;

struct Band {
  RowBandFunc work;
  void *user;
  int32_t first, end;
};

void *RunBand(void *p) {
  const Band *b = (const Band *)p;
  b->work(b->user, b->first, b->end);
  return nullptr;
}

int32_t BandLimit() {
  static const int32_t limit = [] {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return (int32_t)(cores < 1 ? 1 : cores > kMaxBands ? kMaxBands : cores);
  }();
  return limit;
}

}  // namespace

void RunRowBands(int32_t rows, int32_t minRows, RowBandFunc work, void *user) {
  if (rows < 1) return;
  int32_t bands = rows / (minRows < 1 ? 1 : minRows);
  if (bands > BandLimit()) bands = BandLimit();
  if (bands <= 1) {
    work(user, 0, rows);
    return;
  }
  Band band[kMaxBands];
  pthread_t thread[kMaxBands];
  bool started[kMaxBands] = {};
  for (int32_t i = 0; i < bands; i++)
    band[i] = Band{work, user, (int32_t)((int64_t)rows * i / bands), (int32_t)((int64_t)rows * (i + 1) / bands)};
  for (int32_t i = 1; i < bands; i++) started[i] = pthread_create(&thread[i], nullptr, RunBand, &band[i]) == 0;
  RunBand(&band[0]);
  for (int32_t i = 1; i < bands; i++) {
    if (started[i]) pthread_join(thread[i], nullptr);
    else RunBand(&band[i]);
  }
}

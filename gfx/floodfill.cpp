// Boundary flood fill: everything connected to the seed up to the border
// colour takes the fill colour. The depth-first order of span seeding (the
// whole fill from a seed in the row above finishes before the walk goes on;
// the row above before the row below) runs on an explicit stack of spans so
// that large areas cannot exhaust the call stack.
#include "gfx/kernels.h"
#include <cstring>
#include "gfx/pixel_layout.h"
#include "runtime/memory.h"

namespace {

// A filled span and how far the walk over its neighbour rows has come.
struct SpanFrame {
  int32_t y, left, right;
  int32_t walkX;  // next pixel of the neighbour row to look at
  int32_t phase;  // 0 the row above, 1 the row below
  int32_t seeding;
};

struct SpanStack {
  SpanFrame *frames;
  size_t count, capacity;
};

bool Push(SpanStack *st, const SpanFrame &f) {
  if (st->count == st->capacity) {
    size_t cap = st->capacity ? st->capacity * 2 : 256;
    SpanFrame *n = (SpanFrame *)MemAlloc(cap * sizeof(SpanFrame), 0);
    if (!n) return false;
    if (st->count) memcpy(n, st->frames, st->count * sizeof(SpanFrame));
    MemFree(st->frames);
    st->frames = n;
    st->capacity = cap;
  }
  st->frames[st->count++] = f;
  return true;
}

template <class P>
struct Filler {
  const FloodFillRecord *rec;
  uint32_t cmp, border, fill;
  ptrdiff_t step;
  int32_t right, bottom;  // exclusive area ends

  uint8_t *At(int32_t x, int32_t y) const { return rec->pixels + y * step + (ptrdiff_t)x * P::kBytes; }
  uint32_t Get(int32_t x, int32_t y) const { return (uint32_t)P::Load(At(x, y)) & cmp; }
  bool Inside(int32_t x, int32_t y) const { return x >= rec->left && x < right && y >= rec->top && y < bottom; }

  // Steps 1 to 3: fills the span through (x, y); false when nothing was filled.
  bool FillSpan(int32_t x, int32_t y, SpanFrame *f) const {
    if (!Inside(x, y) || Get(x, y) == border) return false;
    const typename P::Raw fv = (typename P::Raw)rec->fill;
    P::Store(At(x, y), fv);
    int32_t l = x;
    while (l - 1 >= rec->left && Get(l - 1, y) != border) P::Store(At(--l, y), fv);
    int32_t r = x;
    while (r + 1 < right && Get(r + 1, y) != border) P::Store(At(++r, y), fv);
    *f = SpanFrame{y, l, r, l, 0, 1};
    return true;
  }

  int Run(int32_t x, int32_t y) {
    SpanStack st = {nullptr, 0, 0};
    SpanFrame f;
    int result = 0;
    if (FillSpan(x, y, &f) && !Push(&st, f)) return 1000;
    while (st.count) {
      SpanFrame *top = &st.frames[st.count - 1];
      const int32_t ny = top->phase == 0 ? top->y - 1 : top->y + 1;
      const bool rowExists = top->phase == 0 ? top->y > rec->top : top->y < bottom - 1;
      if (!rowExists || top->walkX > top->right) {
        if (top->phase == 0) {
          top->phase = 1;
          top->walkX = top->left;
          top->seeding = 1;
        } else {
          st.count--;
        }
        continue;
      }
      const int32_t wx = top->walkX++;
      const uint32_t v = Get(wx, ny);
      if (v == border || v == fill) {
        top->seeding = 1;
      } else if (top->seeding) {
        top->seeding = 0;
        if (FillSpan(wx, ny, &f) && !Push(&st, f)) {
          result = 1000;
          break;
        }
      }
    }
    MemFree(st.frames);
    return result;
  }
};

template <class P>
int FloodFillRun(const FloodFillRecord *rec, int32_t x, int32_t y, uint32_t compareMask) {
  if (!rec || !rec->pixels || rec->width <= 0 || rec->height <= 0) return 0;
  Filler<P> f;
  f.rec = rec;
  f.cmp = compareMask;
  f.border = rec->border & compareMask;
  f.fill = rec->fill & compareMask;
  f.step = (ptrdiff_t)rec->modulo * P::kBytes;
  f.right = rec->left + rec->width;
  f.bottom = rec->top + rec->height;
  // A seed outside the area on any side fills nothing.
  if (!f.Inside(x, y)) return 0;
  return f.Run(x, y);
}

}  // namespace

int FloodFill32(const FloodFillRecord *rec, int32_t x, int32_t y, uint32_t compareMask) {
  return FloodFillRun<PixSize32>(rec, x, y, compareMask);
}
int FloodFill24(const FloodFillRecord *rec, int32_t x, int32_t y) {
  return FloodFillRun<PixSize24>(rec, x, y, 0xFFFFFF);
}
int FloodFill16(const FloodFillRecord *rec, int32_t x, int32_t y) {
  return FloodFillRun<PixSize16>(rec, x, y, 0xFFFF);
}

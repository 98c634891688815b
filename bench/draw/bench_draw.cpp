// Speed of drawing filled anti-aliased shapes through DrawShape (outline, picture, coverage,
// composition and the blit onto the target) onto a 1920 x 1080 picture, in megapixels of the
// shape's box a second, beside the coverage routine alone (a filled anti-aliased polygon into an
// 8-bit image of that box) measured in the same run, and the ratio of the two.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench/bench_timing.h"
#include "gfx/blit.h"
#include "pictures/draw_render.h"

namespace {

// A star of `points` tips in a box of size x size.
std::vector<double> Star(int points, int size) {
  std::vector<double> p;
  const double c = (size - 1) / 2.0;
  for (int i = 0; i <= 2 * points; i++) {
    const double a = i * M_PI / points, r = (i & 1) ? c * 0.45 : c;
    p.push_back(std::round(c + r * std::cos(a)));
    p.push_back(std::round(c + r * std::sin(a)));
  }
  return p;
}

}  // namespace

int main() {
  if (OpenDrawTables()) return 1;
  BitMap *screen = AllocBitMap(1920, 1080);
  RectFillBitMap(screen, 0, 0, 1920, 1080, 0x204060);
  DrawTargetHooks hooks;
  memset(&hooks, 0, sizeof hooks);
  DrawTarget target;
  memset(&target, 0, sizeof target);
  target.kind = DRAWTARGET_BRUSH;
  target.bitmap = screen;
  target.width = 1920;
  target.height = 1080;
  target.alphaIntensity = -1;
  target.hooks = &hooks;
  DrawStyle style;
  ResetDrawStyle(&style);
  style.fillStyle = FILLCOLOR;
  style.formStyle = FORM_NORMAL | FORM_ANTIALIAS;

  printf("%-26s %12s %14s %8s   (Mpx/s of the shape's box; ratio = DrawShape / coverage alone)\n", "shape",
         "DrawShape", "coverage alone", "ratio");
  const int radii[] = {10, 50, 200};
  for (int kind = 0; kind < 2; kind++) {
    for (int r : radii) {
      const int size = 2 * r + 1;
      const double px = (double)size * size;
      std::vector<double> star = Star(32, size);
      int x = 0;
      const double tShape = BenchBestTime([&] {
        // Spread over the picture so every call draws onto fresh pixels.
        x = (x + 37) % (1920 - size - 8);
        const int y = (x * 7) % (1080 - size - 8);
        if (kind == 0)
          DrawEllipseShape(&target, nullptr, nullptr, &style, SHAPE_CIRCLE, x, y, r, r, 0xFFCC00, nullptr, nullptr, 0);
        else
          DrawPolygonShape(&target, nullptr, nullptr, &style, x, y, size, size, star.data(), (int32_t)star.size() / 2,
                           0xFFCC00, nullptr, nullptr, 0);
      }, 2000, 0.2, 5);
      // The coverage routine alone on an 8-bit image of the same box.
      cv::Mat img(size, size, CV_8UC1, cv::Scalar(0));
      std::vector<cv::Point> poly;
      if (kind == 0) {
        cv::ellipse2Poly(cv::Point(r, r), cv::Size(r, r), 0, 0, 360, r >= 15 ? 5 : r >= 10 ? 18 : 30, poly);
      } else {
        for (size_t i = 0; i + 1 < star.size(); i += 2) poly.push_back(cv::Point((int)star[i], (int)star[i + 1]));
      }
      const double tAlone = BenchBestTime([&] {
        const cv::Point *pts = poly.data();
        const int n = (int)poly.size();
        cv::fillPoly(img, &pts, &n, 1, cv::Scalar(255), cv::LINE_AA);
      }, 2000, 0.2, 5);
      char name[64];
      snprintf(name, sizeof name, "%s r=%d (%dx%d)", kind == 0 ? "circle" : "star64", r, size, size);
      printf("%-26s %12.1f %14.1f %8.2f\n", name, px / tShape / 1e6, px / tAlone / 1e6, tAlone / tShape);
    }
  }
  FreeBitMap(screen);
  CloseDrawTables();
  return 0;
}

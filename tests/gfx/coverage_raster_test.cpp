// The line and polygon routines opened on first use draw exactly what OpenCV's C++ routines
// draw, and report the library's own error codes.
#include <gtest/gtest.h>

#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "gfx/coverage.h"
#include "gfx/coverage_raster.h"

namespace {

const int32_t W = 61, H = 47;

struct Image {
  CoverageImage *cov;
  Image() { cov = CreateCoverageMask(W, H, nullptr, nullptr); }
  ~Image() { FreeCoverageMask(cov); }
  cv::Mat Mat() const { return cv::Mat(H, W, CV_8UC1, cov->pixels, (size_t)cov->rowStep); }
};

void ExpectSame(const Image &got, const Image &want, const char *what) {
  for (int32_t y = 0; y < H; y++)
    ASSERT_EQ(memcmp(got.cov->pixels + (size_t)y * got.cov->rowStep, want.cov->pixels + (size_t)y * want.cov->rowStep,
                     (size_t)W),
              0)
        << what << ", row " << y;
}

TEST(CoverageRaster, LinesMatchOpenCV) {
  struct Case {
    int32_t x1, y1, x2, y2, thickness;
    int type;
  } cases[] = {
      {3, 4, 50, 40, 1, cv::LINE_8},    {3, 4, 50, 40, 1, cv::LINE_AA},  {5, 40, 55, 2, 7, cv::LINE_AA},
      {0, 20, 60, 20, 3, cv::LINE_8},   {30, 30, 30, 30, 9, cv::LINE_AA}, {-400, -90, 900, 300, 2, cv::LINE_AA},
      {10, 10, 11, 46, 255, cv::LINE_8},
  };
  for (const Case &c : cases) {
    Image got, want;
    ASSERT_EQ(RasterLine(got.cov, c.x1, c.y1, c.x2, c.y2, c.thickness, c.type), 0);
    cv::Mat m = want.Mat();
    cv::line(m, cv::Point(c.x1, c.y1), cv::Point(c.x2, c.y2), cv::Scalar(255), c.thickness, c.type, 0);
    ExpectSame(got, want, "line");
  }
}

TEST(CoverageRaster, PolygonsMatchOpenCV) {
  const std::vector<cv::Point> shapes[] = {
      {{5, 5}, {50, 9}, {30, 40}},                                  // triangle
      {{2, 2}, {58, 2}, {30, 20}, {58, 44}, {2, 44}},               // concave
      {{5, 5}, {55, 40}, {55, 5}, {5, 40}},                         // self-crossing
      {{20, 20}},                                                   // one point
      {{-30, 10}, {70, 3}, {40, 60}},                               // partly outside
  };
  struct Mode {
    int32_t thickness;
    int type;
  } modes[] = {{0, cv::LINE_8}, {0, cv::LINE_AA}, {1, cv::LINE_8}, {4, cv::LINE_AA}};
  for (const auto &pts : shapes) {
    for (const Mode &m : modes) {
      Image got, want;
      ASSERT_EQ(RasterPolygon(got.cov, pts.data(), (int32_t)pts.size(), m.thickness, m.type), 0);
      cv::Mat mat = want.Mat();
      const cv::Point *list[1] = {pts.data()};
      const int counts[1] = {(int)pts.size()};
      if (m.thickness > 0) cv::polylines(mat, list, counts, 1, true, cv::Scalar(255), m.thickness, m.type, 0);
      else cv::fillPoly(mat, list, counts, 1, cv::Scalar(255), m.type, 0, cv::Point());
      ExpectSame(got, want, m.thickness ? "outline" : "fill");
    }
  }
}

// A check that fails inside the library comes back as its status; nothing is drawn.
TEST(CoverageRaster, LibraryErrorsBecomeStatusCodes) {
  Image img;
  EXPECT_EQ(RasterLine(img.cov, 0, 0, 9, 9, 0, cv::LINE_8), cv::Error::StsAssert);
  EXPECT_EQ(RasterLine(img.cov, 0, 0, 9, 9, 40000, cv::LINE_AA), cv::Error::StsAssert);
  for (int32_t y = 0; y < H; y++)
    for (int32_t x = 0; x < W; x++) ASSERT_EQ(img.cov->pixels[(size_t)y * img.cov->rowStep + x], 0);
}

}  // namespace

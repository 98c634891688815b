// OpenCV's drawing routines through their C entry points, resolved with dlopen on first use.
// The C entry points draw with the same code as the C++ ones; they are used because plain C
// symbols can be looked up by name.
#include "gfx/coverage_raster.h"

#include <cstring>
#include <exception>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>
#include <typeinfo>

#include "gfx/coverage.h"
#include "platform/os.h"

static_assert(sizeof(CvPoint) == sizeof(cv::Point), "a point list is handed over as it is");

struct RasterRoutines {
  decltype(&cvInitMatHeader) initMatHeader;   // in the core library the image library depends on
  decltype(&cvLine) line;
  decltype(&cvPolyLine) polyLine;
  decltype(&cvFillPoly) fillPoly;
};

// The routines, or nullptr when the library or one of them is missing.
static const RasterRoutines *OpenRoutines(void) {
  static const char *const names[] = {"cvInitMatHeader", "cvLine", "cvPolyLine", "cvFillPoly", nullptr};
  static RasterRoutines routines;
  return OsOpenLibrary(KV_OPENCV_IMGPROC_LIBRARY, names, &routines, sizeof routines) ? nullptr : &routines;
}

static const RasterRoutines *Routines(void) {
  static const RasterRoutines *routines = OpenRoutines();
  return routines;
}

// The status of an exception the library threw. Its exception type is matched by name, since
// its type information lives in the library that is not linked.
static int StatusOf(const std::exception &e) {
  if (strcmp(typeid(e).name(), "N2cv9ExceptionE") == 0) {
    int code = static_cast<const cv::Exception &>(e).code;
    return code < 0 ? code : cv::Error::StsError;
  }
  return cv::Error::StsError;
}

// The library's matrix header over the image's pixels.
static void MatOver(const RasterRoutines *r, CoverageImage *image, CvMat *mat) {
  r->initMatHeader(mat, image->height, image->width, CV_8UC1, image->pixels, image->rowStep);
}

// Runs one drawing call of the library; 0, or the status of what it threw.
template <class Draw>
static int Guarded(Draw draw) {
  try {
    draw();
  } catch (const std::bad_alloc &) {
    return cv::Error::StsNoMem;
  } catch (const std::exception &e) {
    return StatusOf(e);
  } catch (...) {
    return cv::Error::StsError;
  }
  return 0;
}

int RasterLine(CoverageImage *image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t thickness,
               int lineType) {
  const RasterRoutines *r = Routines();
  if (!r) return cv::Error::StsNotImplemented;
  return Guarded([&] {
    CvMat mat;
    MatOver(r, image, &mat);
    r->line(&mat, cvPoint(x1, y1), cvPoint(x2, y2), cvRealScalar(255), thickness, lineType, 0);
  });
}

int RasterPolygon(CoverageImage *image, const cv::Point *points, int32_t count, int32_t thickness, int lineType) {
  const RasterRoutines *r = Routines();
  if (!r) return cv::Error::StsNotImplemented;
  CvPoint *list[1] = {(CvPoint *)points};
  int counts[1] = {count};
  return Guarded([&] {
    CvMat mat;
    MatOver(r, image, &mat);
    if (thickness > 0) r->polyLine(&mat, list, counts, 1, 1, cvRealScalar(255), thickness, lineType, 0);
    else r->fillPoly(&mat, list, counts, 1, cvRealScalar(255), lineType, 0);
  });
}

// The line and polygon routines behind the coverage images, taken from OpenCV's image-processing
// library, which is opened on first use: loading it and its dependencies at start-up would cost
// more than the rest of start-up together, and most applets never draw through it.
#pragma once
#include <cstdint>
#include <opencv2/core/types.hpp>

struct CoverageImage;

// Line of value 255 from (x1, y1) to (x2, y2) of the thickness; lineType cv::LINE_8 or
// cv::LINE_AA. Returns 0, or the library's negative error code (cv::Error::StsNoMem when memory
// ran out, cv::Error::StsNotImplemented when the library cannot be opened).
int RasterLine(CoverageImage *image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t thickness,
               int lineType);
// The closed polygon of count points: its outline of the thickness, or filled when the
// thickness is 0. Results as RasterLine.
int RasterPolygon(CoverageImage *image, const cv::Point *points, int32_t count, int32_t thickness, int lineType);

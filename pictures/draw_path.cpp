// One outline into a picture: the plotting context over the planes, the coverage mask drawn by
// the coverage wrappers and plotted, or a thin line drawn straight through the plotter. Also
// the composition of anti-aliased coverage into a shape picture.
#include <cstring>

#include "gfx/coverage.h"
#include "gfx/pixel_layout.h"
#include "pictures/draw_compose.h"
#include "pictures/draw_render.h"

enum { ERR_NOMEM = 1000 };

static void SetupPlotContext(PlotContext *ctx, BitMap *bitmap, uint32_t rgb, int32_t transparency, int32_t maskMode,
                             Mask *mask, AlphaChannel *alpha, const DrawClip *clip, const BitMap *fill) {
  memset(ctx, 0, sizeof *ctx);
  rgb &= 0xFFFFFF;
  if (bitmap) {
    ctx->dst = bitmap->pixels;
    ctx->bytesPerPixel = bitmap->bytesPerPixel;
    ctx->dstModulo = bitmap->bytesPerPixel ? bitmap->bytesPerRow / bitmap->bytesPerPixel : 0;
    ctx->format = bitmap->format;
    ctx->dstWidth = bitmap->width;
    ctx->dstHeight = bitmap->height;
  } else {
    // No colour plane: a pixel size that matches no format writes no pixel (at offset 0).
    ctx->format = PIXFMT_BGRX32;
    ctx->dstWidth = mask ? mask->width : alpha ? alpha->width : 0;
    ctx->dstHeight = mask ? mask->height : alpha ? alpha->height : 0;
  }
  if (mask) {
    ctx->dstMask = mask->pixels;
    ctx->dstMaskBytesPerRow = mask->bytesPerRow;
    if (mask->width < ctx->dstWidth) ctx->dstWidth = mask->width;
    if (mask->height < ctx->dstHeight) ctx->dstHeight = mask->height;
  }
  if (alpha) {
    ctx->dstAlpha = alpha->pixels;
    ctx->dstAlphaBytesPerRow = alpha->bytesPerRow;
    if (alpha->width < ctx->dstWidth) ctx->dstWidth = alpha->width;
    if (alpha->height < ctx->dstHeight) ctx->dstHeight = alpha->height;
  }
  if (fill && bitmap && fill->format == bitmap->format && fill->width >= bitmap->width &&
      fill->height >= bitmap->height) {
    ctx->pattern = fill->pixels;
    ctx->patternModulo = fill->bytesPerRow / fill->bytesPerPixel;
  }
  ctx->colour = RGBToPixel(rgb, ctx->format);
  ctx->r = rgb >> 16 & 255;
  ctx->g = rgb >> 8 & 255;
  ctx->b = rgb & 255;
  ctx->level = 255 - (transparency & 255);
  ctx->coverage = ctx->level;
  ctx->thickness = 1;
  ctx->maskMode = maskMode;
  if (clip) {
    ctx->clip = 1;
    ctx->clipX = clip->x;
    ctx->clipY = clip->y;
    ctx->clipWidth = clip->width;
    ctx->clipHeight = clip->height;
    if (clip->mask) {
      ctx->clipMask = clip->mask->pixels;
      ctx->clipMaskBytesPerRow = clip->mask->bytesPerRow;
      if (clip->mask->width < ctx->clipWidth) ctx->clipWidth = clip->mask->width;
      if (clip->mask->height < ctx->clipHeight) ctx->clipHeight = clip->mask->height;
    }
  }
}

int DrawShapePath(int32_t x, int32_t y, int32_t width, int32_t height, BitMap *bitmap, const int32_t *points,
                  int32_t count, uint32_t rgb, int32_t transparency, int32_t maskMode, int filled, Mask *mask,
                  AlphaChannel *alpha, const DrawClip *clip, const BitMap *fill, int line, int32_t thickness,
                  int antialias, const DrawStyle *style) {
  if (!bitmap && !mask && !alpha) return 0;
  PlotContext ctx;
  SetupPlotContext(&ctx, bitmap, rgb, transparency, maskMode, mask, alpha, clip, fill);
  if (line && thickness <= 1) {
    const int64_t x1 = (int64_t)x + points[0], y1 = (int64_t)y + points[1];
    const int64_t x2 = (int64_t)x + points[2], y2 = (int64_t)y + points[3];
    if (antialias) DrawLineAA(&ctx, (int32_t)x1, (int32_t)y1, (int32_t)x2, (int32_t)y2);
    else DrawThickLine(&ctx, (int32_t)x1, (int32_t)y1, (int32_t)x2, (int32_t)y2);
    return 0;
  }
  uint8_t *data;
  int32_t rowStep;
  CoverageImage *cov = CreateCoverageMask(width, height, &data, &rowStep);
  if (!cov) return ERR_NOMEM;
  int rc;
  if (line) {
    rc = MaskLine(cov, points[0], points[1], points[2], points[3], antialias,
                  thickness > MAX_COVERAGE_THICKNESS ? MAX_COVERAGE_THICKNESS : thickness);
  } else if (filled) {
    rc = MaskPolygon(cov, points, count, 0, 0);
  } else {
    int32_t t = style ? style->thickness : 1;
    if (t > MAX_COVERAGE_THICKNESS) t = MAX_COVERAGE_THICKNESS;
    rc = MaskPolygon(cov, points, count, antialias, t < 1 ? 1 : t);
  }
  if (rc == 0) PlotCoverageMask(data, x, y, &ctx, width, height, rowStep, !antialias);
  FreeCoverageMask(cov);
  return rc == ERR_NOMEM ? rc : 0;
}

// ---- Composition ------------------------------------------------------------------------------

void ComposeCoverage(BitMap *image, AlphaChannel *imageAlpha, int32_t dx, int32_t dy, const uint8_t *coverage,
                     int32_t coverageStride, int32_t width, int32_t height, uint32_t rgb, const BitMap *fill,
                     int32_t level, int first) {
  if (!image || !imageAlpha || image->bytesPerPixel != 4 || level <= 0) return;
  if (level > 255) level = 255;
  // Only the part that lies on the image.
  int32_t cx = 0, cy = 0;
  if (dx < 0) { cx = -dx; width += dx; dx = 0; }
  if (dy < 0) { cy = -dy; height += dy; dy = 0; }
  if (dx + (int64_t)width > image->width) width = image->width - dx;
  if (dy + (int64_t)height > image->height) height = image->height - dy;
  if (width < 1 || height < 1) return;
  if (fill && (fill->bytesPerPixel != 4 || cx + width > fill->width || cy + height > fill->height)) fill = nullptr;
  WithFormat32(image->format, [&](auto layout) {
    using L = decltype(layout);
    const typename L::Raw solid = L::FromRGB(rgb & 0xFFFFFF);
    if (first) {
      // Nothing lies below: the colour (or the fill) goes into the whole row, the coverage
      // scaled by the level into the alpha channel.
      for (int32_t j = 0; j < height; j++) {
        const uint8_t *cov = coverage + (ptrdiff_t)(cy + j) * coverageStride + cx;
        uint32_t *d = (uint32_t *)(image->pixels + (ptrdiff_t)(dy + j) * image->bytesPerRow) + dx;
        uint8_t *da = imageAlpha->pixels + (ptrdiff_t)(dy + j) * imageAlpha->bytesPerRow + dx;
        if (fill && fill->format == image->format) {
          memcpy(d, fill->pixels + (ptrdiff_t)(cy + j) * fill->bytesPerRow + (ptrdiff_t)cx * 4, (size_t)width * 4);
        } else if (fill) {
          const uint8_t *f = fill->pixels + (ptrdiff_t)(cy + j) * fill->bytesPerRow + (ptrdiff_t)cx * 4;
          for (int32_t i = 0; i < width; i++) d[i] = L::FromRGB(PixFmt11::ToRGB(PixFmt11::Load(f + i * 4)));
        } else {
          for (int32_t i = 0; i < width; i++) d[i] = solid;
        }
        if (level == 255) memcpy(da, cov, (size_t)width);
        else
          for (int32_t i = 0; i < width; i++) da[i] = (uint8_t)((cov[i] * level + 127) / 255);
      }
      return;
    }
    for (int32_t j = 0; j < height; j++) {
      const uint8_t *cov = coverage + (ptrdiff_t)(cy + j) * coverageStride + cx;
      uint8_t *d = image->pixels + (ptrdiff_t)(dy + j) * image->bytesPerRow + (ptrdiff_t)dx * 4;
      uint8_t *da = imageAlpha->pixels + (ptrdiff_t)(dy + j) * imageAlpha->bytesPerRow + dx;
      const uint8_t *f = fill ? fill->pixels + (ptrdiff_t)(cy + j) * fill->bytesPerRow + (ptrdiff_t)cx * 4 : nullptr;
      for (int32_t i = 0; i < width; i++) {
        const int32_t c = cov[i];
        if (!c) continue;
        const int32_t sa = level == 255 ? c : (c * level + 127) / 255;
        if (!sa) continue;
        const typename L::Raw src = f ? L::FromRGB(PixFmt11::ToRGB(PixFmt11::Load(f + i * 4))) : solid;
        const int32_t a = da[i];
        if (a == 0 || sa == 255) {
          L::Store(d + i * 4, src);
          da[i] = (uint8_t)sa;
          continue;
        }
        // Straight-alpha "over": weights sa for the new colour and a (255 - sa) / 255 for the old.
        const uint32_t k = (uint32_t)a * (uint32_t)(255 - sa);
        const uint32_t den = (uint32_t)sa * 255 + k;
        const uint32_t s = L::ToRGB(src), o = L::ToRGB(L::Load(d + i * 4));
        uint32_t out = 0;
        for (int sh = 0; sh <= 16; sh += 8) {
          const uint32_t cs = s >> sh & 255, co = o >> sh & 255;
          out |= ((cs * (uint32_t)sa * 255 + co * k + den / 2) / den) << sh;
        }
        L::Store(d + i * 4, L::FromRGB(out));
        da[i] = (uint8_t)((den + 127) / 255);
      }
    }
  });
}

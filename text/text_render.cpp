// The run renderer: the runs of a laid-out text as one picture with a mask or an alpha
// channel, each run drawn once into a one-line scratch plane and placed with its synthetic
// bold and italic, underline, shadow and edge.
#include <climits>
#include <cstring>

#include "gfx/pixels.h"
#include "gfx/scale.h"
#include "runtime/memory.h"
#include "text/font.h"
#include "text/text_layout.h"

void FreeRenderedTextImage(RenderedTextImage *image)
{
    FreeTriple(image->bitmap, image->mask, image->alpha);
    image->bitmap = nullptr;
    image->mask = nullptr;
    image->alpha = nullptr;
}

// The planes of the picture, cleared. 0 or 1000 (also for a size beyond one plane's limit).
static int AllocTextImage(RenderedTextImage *out, int64_t width, int64_t height, int useAlpha)
{
    if (width < 1 || height < 1 || !BitMapSizeFits(width, height)) return 1000;
    out->bitmap = AllocBitMap((int32_t)width, (int32_t)height);
    if (out->bitmap) {
        memset(out->bitmap->pixels, 0, (size_t)out->bitmap->bytesPerRow * (size_t)height);
        if (useAlpha) out->alpha = AllocAlphaChannel((int32_t)width, (int32_t)height, 1);
        else out->mask = AllocMask(out->bitmap, (int32_t)width, (int32_t)height, 1);
    }
    if (!out->bitmap || (!out->alpha && !out->mask)) {
        FreeRenderedTextImage(out);
        return 1000;
    }
    return 0;
}

static int NeedsAlpha(const FontSettings *s)
{
    return (s->colour >> 24) || ((s->style & TEXTSTYLE_SHADOW) && (s->shadowColour >> 24)) ||
           ((s->style & TEXTSTYLE_EDGE) && (s->edgeColour >> 24)) || (s->style & TEXTSTYLE_ANTIALIAS);
}

// One coverage plane: width x height bytes, with the column span [x0, x1) in use.
struct Shape {
    uint8_t *cov;
    uint32_t *picture;          // colour bitmap fonts: the glyph picture's pixels (0xRRGGBB)
    int32_t width, height;
    int32_t x0, x1;
};

// Draws the covered pixels of the shape (shape x 0 at image x ox, row 0 at image y oy) in the
// colour 0xTTRRGGBB, or in the shape's own picture.
static void PutShape(RenderedTextImage *img, const Shape *s, int32_t ox, int32_t oy, uint32_t colour, int aa)
{
    BitMap *bm = img->bitmap;
    uint32_t level = 255 - (colour >> 24);
    uint32_t pixel = RGBToPixel(colour & 0xFFFFFF, bm->format);
    for (int32_t y = 0; y < s->height; y++) {
        int32_t iy = oy + y;
        if (iy < 0 || iy >= bm->height) continue;
        uint32_t *row = (uint32_t *)(bm->pixels + (size_t)iy * bm->bytesPerRow);
        const uint8_t *cov = s->cov + (size_t)y * s->width;
        for (int32_t x = s->x0; x < s->x1; x++) {
            uint32_t c = cov[x];
            int32_t ix = ox + x;
            if (!c || ix < 0 || ix >= bm->width) continue;
            uint32_t p = s->picture ? RGBToPixel(s->picture[(size_t)y * s->width + x], bm->format) : pixel;
            if (img->mask) {
                row[ix] = p;
                PutMaskRowBit(img->mask->pixels + (size_t)iy * img->mask->bytesPerRow, ix, 1);
                continue;
            }
            uint8_t *a = img->alpha->pixels + (size_t)iy * img->alpha->bytesPerRow + ix;
            if (!aa) {
                row[ix] = p;
                *a = (uint8_t)level;
                continue;
            }
            // Coverage composited over what the picture holds already.
            uint32_t cv = c * level / 255, old = *a;
            if (!cv) continue;
            uint32_t na = old + cv - old * cv / 255;
            uint32_t oldRgb = PixelToRGB(row[ix], bm->format), rgb = PixelToRGB(p, bm->format), mixed = 0;
            uint32_t w = old ? cv * 255 / na : 255;
            for (int sh = 0; sh < 24; sh += 8) {
                uint32_t o = (oldRgb >> sh) & 255, n = (rgb >> sh) & 255;
                mixed |= ((o * (255 - w) + n * w) / 255) << sh;
            }
            row[ix] = RGBToPixel(mixed, bm->format);
            *a = (uint8_t)na;
        }
    }
}

// Bold by doubling: every row or-ed with itself one pixel to the right.
static void Embolden(Shape *s)
{
    for (int32_t y = 0; y < s->height; y++) {
        uint8_t *row = s->cov + (size_t)y * s->width;
        for (int32_t x = s->x1 - 1; x > s->x0; x--)
            if (row[x - 1]) row[x] = 255;
    }
}

// Moves row y of the shape (and its picture) by dx pixels within the span.
static void ShiftRow(Shape *s, int32_t y, int32_t dx)
{
    if (!dx) return;
    uint8_t *row = s->cov + (size_t)y * s->width;
    uint32_t *pic = s->picture ? s->picture + (size_t)y * s->width : nullptr;
    int32_t n = s->x1 - s->x0;
    if (dx > 0) {
        for (int32_t x = s->x1 - 1; x >= s->x0; x--) {
            int32_t from = x - dx;
            row[x] = from >= s->x0 ? row[from] : 0;
            if (pic) pic[x] = from >= s->x0 ? pic[from] : 0;
        }
    } else {
        for (int32_t x = s->x0; x < s->x0 + n; x++) {
            int32_t from = x - dx;
            row[x] = from < s->x1 ? row[from] : 0;
            if (pic) pic[x] = from < s->x1 ? pic[from] : 0;
        }
    }
}

// Italic by shearing: rows above the baseline lean right, rows below it left.
static void Slant(Shape *s, int32_t baseline)
{
    int32_t d = baseline, sh = baseline / 2;
    for (int32_t y = 0; y < s->height; y++) {
        d--;
        if (d & 1) sh--;
        ShiftRow(s, y, sh);
    }
}

static void Underline(Shape *s, int32_t pen, int32_t advance, int32_t baseline, int32_t lineHeight)
{
    int32_t d = lineHeight - baseline;
    int32_t third = d / 3 < 1 ? 1 : d / 3;
    int32_t top = d == 0 ? baseline : d == 1 ? baseline + 1 : baseline + third;
    int32_t rows = d < 2 ? 1 : third;
    int32_t x0 = pen < s->x0 ? s->x0 : pen, x1 = pen + advance > s->x1 ? s->x1 : pen + advance;
    for (int32_t y = top; y < top + rows && y < s->height; y++)
        for (int32_t x = x0; x < x1; x++) s->cov[(size_t)y * s->width + x] = 255;
}

void GrowCoverage(const uint8_t *cov, int32_t width, int32_t height, int32_t x0, int32_t x1, int32_t e, int aa,
                  int32_t *rowSums, int32_t *sums, uint8_t *out)
{
    const int32_t w = width + 2 * e + 1, h = height + 2 * e + 1, span = 2 * e + 1;
    const int32_t end = x1 + 2 * e < w ? x1 + 2 * e : w;
    // Horizontal box sums of each source row into rowSums (aligned to the grown plane): the
    // window [x - 2e, x] moves one column a step, so each sum costs two additions.
    for (int32_t y = 0; y < height; y++) {
        const uint8_t *row = cov + (size_t)y * width;
        int32_t *dst = rowSums + (size_t)y * w;
        int32_t sum = 0;
        for (int32_t x = x0; x < end; x++) {
            if (x < x1) sum += row[x];
            if (x - span >= x0 && x - span < x1) sum -= row[x - span];
            dst[x] = sum;
        }
    }
    // Vertical box sums, a row from the one above it.
    for (int32_t y = 0; y < h; y++) {
        int32_t *dst = sums + (size_t)y * w;
        const int32_t *above = y > 0 ? dst - w : nullptr;
        const int32_t *in = y < height ? rowSums + (size_t)y * w : nullptr;
        const int32_t *gone = y - span >= 0 && y - span < height ? rowSums + (size_t)(y - span) * w : nullptr;
        for (int32_t x = x0; x < end; x++)
            dst[x] = (above ? above[x] : 0) + (in ? in[x] : 0) - (gone ? gone[x] : 0);
    }
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = x0; x < end; x++) {
            int32_t v = sums[(size_t)y * w + x];
            out[(size_t)y * w + x] = aa ? (uint8_t)(v / span > 255 ? 255 : v / span) : v ? 255 : 0;
        }
}

// The shape grown by e pixels to every side (GrowCoverage).
static void GrowEdge(const Shape *s, int32_t e, int aa, int32_t *sums, int32_t *rowSums, Shape *out)
{
    int32_t w = s->width + 2 * e + 1, h = s->height + 2 * e + 1;
    out->width = w;
    out->height = h;
    out->picture = nullptr;
    out->x0 = s->x0;
    out->x1 = s->x1 + 2 * e < w ? s->x1 + 2 * e : w;
    GrowCoverage(s->cov, s->width, s->height, s->x0, s->x1, e, aa, rowSums, sums, out->cov);
}

static void ShadowOffset(int32_t direction, int32_t size, int32_t *dx, int32_t *dy)
{
    static const int8_t dirs[8][2] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};
    int32_t d = direction >= 0 && direction < 8 ? direction : 3;
    *dx = dirs[d][0] * size;
    *dy = dirs[d][1] * size;
}

// Scratch planes shared by all runs of one text.
struct RunScratch {
    Mask *mask;
    AlphaChannel *alpha;
    BitMap *picture;
    Shape shape, grown;
    int32_t *sums, *rowSums;
};

static void FreeScratch(RunScratch *r)
{
    FreeMask(r->mask);
    FreeAlphaChannel(r->alpha);
    FreeBitMap(r->picture);
    MemFree(r->shape.cov);
    MemFree(r->shape.picture);
    MemFree(r->grown.cov);
    MemFree(r->sums);
    MemFree(r->rowSums);
}

static int AllocScratch(RunScratch *r, int32_t width, int32_t height, int aa, int colourFont, int32_t maxEdge)
{
    memset(r, 0, sizeof *r);
    size_t cells = (size_t)width * height;
    if (aa) r->alpha = AllocAlphaChannel(width, height, 1);
    else r->mask = AllocMask(nullptr, width, height, 1);
    r->shape.cov = (uint8_t *)MemAlloc(cells, 1);
    r->shape.width = width;
    r->shape.height = height;
    int ok = (r->alpha || r->mask) && r->shape.cov;
    if (colourFont) {
        r->picture = AllocBitMap(width, height);
        r->shape.picture = (uint32_t *)MemAlloc(cells * 4, 1);
        ok = ok && r->picture && r->shape.picture;
        if (r->picture) memset(r->picture->pixels, 0, (size_t)r->picture->bytesPerRow * height);
    }
    if (maxEdge) {
        size_t grown = (size_t)(width + 2 * maxEdge + 1) * (height + 2 * maxEdge + 1);
        r->grown.cov = (uint8_t *)MemAlloc(grown, 1);
        r->sums = (int32_t *)MemAlloc(grown * 4, 1);
        r->rowSums = (int32_t *)MemAlloc(grown * 4, 1);
        ok = ok && r->grown.cov && r->sums && r->rowSums;
    }
    if (!ok) {
        FreeScratch(r);
        return 1000;
    }
    return 0;
}

// Draws the run's glyphs into the scratch plane and reads them into the shape (clearing the
// scratch behind them).
static int DrawRunShape(RunScratch *r, FontHandle *font, const TextRun *run, int32_t pen, int32_t encoding, int aa)
{
    Shape *s = &r->shape;
    // The span leaves room for what bold, italic and the underline add beside the glyphs.
    const TextMetrics *m = &run->metrics;
    int32_t lead = m->inkLeft < 0 ? m->inkLeft : 0, reach = m->totalWidth;
    if (m->advance > reach) reach = m->advance;
    if (m->inkRight + 1 > reach) reach = m->inkRight + 1;
    int32_t x0 = pen + lead - s->height - 2, x1 = pen + reach + s->height + 2;
    s->x0 = x0 < 0 ? 0 : x0;
    s->x1 = x1 > s->width ? s->width : x1;
    if (s->x1 <= s->x0) s->x1 = s->x0;
    for (int32_t y = 0; y < s->height; y++) memset(s->cov + (size_t)y * s->width + s->x0, 0, s->x1 - s->x0);
    FontClip clip = {s->x0, 0, s->x1 - s->x0, s->height};
    void *target = aa ? (void *)r->alpha : (void *)r->mask;
    int code = RenderFontRun(font, target, r->picture, pen, 0, run->text, run->length,
                             EngineStyle(font, run->settings.style), encoding, &clip, -1);
    for (int32_t y = 0; y < s->height; y++) {
        uint8_t *cov = s->cov + (size_t)y * s->width;
        if (aa) {
            uint8_t *a = r->alpha->pixels + (size_t)y * r->alpha->bytesPerRow;
            for (int32_t x = s->x0; x < s->x1; x++) cov[x] = a[x], a[x] = 0;
        } else {
            uint8_t *m = r->mask->pixels + (size_t)y * r->mask->bytesPerRow;
            for (int32_t x = s->x0; x < s->x1; x++) {
                cov[x] = MaskRowBit(m, x) ? 255 : 0;
                PutMaskRowBit(m, x, 0);
            }
        }
        if (r->picture) {
            uint32_t *pic = s->picture + (size_t)y * s->width;
            const uint8_t *src = r->picture->pixels + (size_t)y * r->picture->bytesPerRow;
            for (int32_t x = s->x0; x < s->x1; x++) pic[x] = PixelToRGB(((const uint32_t *)src)[x], r->picture->format);
        }
    }
    return code;
}

int RenderTextRuns(const TextState *st, int32_t startX, int32_t wrapWidth, int antiAlias, int32_t alignment,
                   int extentOnly, TextRun *runs, RenderedTextImage *out)
{
    memset(out, 0, sizeof *out);
    FontHandle *font = st->settings.font ? st->settings.font : GetBuiltinFont();
    if (!font) return 1064;
    int32_t lineHeight = font->lineHeight;
    if (!runs) {
        out->drawnWidth = out->fullWidth = 1;
        out->height = lineHeight < 1 ? 1 : lineHeight;
        return extentOnly ? 0 : AllocTextImage(out, 1, out->height, 0);
    }
    // 1-4: the extent.
    int allFirst = 1;
    for (TextRun *r = runs; r; r = r->next)
        if (r->y != 0) allFirst = 0;
    if (!allFirst) startX = 0;
    int64_t minX = INT64_MAX, minTop = INT64_MAX, maxBottom = INT64_MIN, maxX = INT64_MIN, textRight = INT64_MIN;
    int64_t maxY = 0;
    int useAlpha = 0, colourFont = font->kind == FONTKIND_COLOURBITMAP;
    int32_t maxEdge = 0;
    for (TextRun *r = runs; r; r = r->next) {
        r->x -= startX;
        const TextMetrics *m = &r->metrics;
        int64_t x = r->x;
        int64_t left = x + (m->inkLeft < 0 ? m->inkLeft : 0) + m->leftExtension;
        if (left < minX) minX = left;
        if (m->topExtension < minTop) minTop = m->topExtension;
        if (m->bottomExtension > maxBottom) maxBottom = m->bottomExtension;
        if (x + m->totalWidth + m->rightExtension > maxX) maxX = x + m->totalWidth + m->rightExtension;
        if (x + m->inkRight + 1 > textRight) textRight = x + m->inkRight + 1;
        if (r->y > maxY) maxY = r->y;
        useAlpha |= NeedsAlpha(&r->settings);
        if ((r->settings.style & TEXTSTYLE_EDGE) && r->settings.edgeSize > maxEdge) maxEdge = r->settings.edgeSize;
    }
    int64_t height = maxBottom + lineHeight + maxY + 1 - minTop;
    int64_t fullWidth = maxX - minX;
    if (fullWidth < 1) fullWidth = 1;
    int64_t drawn = fullWidth;
    if (wrapWidth > 0 && drawn > wrapWidth - minX) drawn = wrapWidth - minX;
    if (drawn < 1) drawn = 1;
    if (fullWidth > INT32_MAX || height > INT32_MAX || minX < INT32_MIN || minTop < INT32_MIN) return 1000;
    // 5: alignment, line by line.
    if (alignment == TEXTALIGN_CENTER || alignment == TEXTALIGN_RIGHT) {
        for (TextRun *first = runs; first;) {
            TextRun *last = first;
            while (last->next && last->next->y == first->y) last = last->next;
            int64_t right = (int64_t)last->x + last->metrics.inkRight;
            int64_t shift = textRight - right - 1;
            if (alignment == TEXTALIGN_CENTER) shift /= 2;
            TextRun *after = last->next;
            for (TextRun *r = first; r != after; r = r->next) r->x += (int32_t)shift;
            first = after;
        }
    }
    out->offsetX = (int32_t)minX;
    out->offsetY = (int32_t)minTop;
    out->fullWidth = (int32_t)fullWidth;
    out->drawnWidth = (int32_t)drawn;
    out->height = (int32_t)height;
    out->firstLineOffset = startX;
    if (extentOnly) return 0;

    int code = AllocTextImage(out, fullWidth, height, useAlpha);
    if (code) return code;
    RunScratch sc;
    if ((code = AllocScratch(&sc, (int32_t)fullWidth, lineHeight + 1, antiAlias != 0, colourFont, maxEdge))) {
        FreeRenderedTextImage(out);
        return code;
    }
    int32_t baseline = font->baseline;
    for (TextRun *r = runs; r && !code; r = r->next) {
        const FontSettings *s = &r->settings;
        int32_t pen = (int32_t)(r->x - minX), placeY = (int32_t)(r->y - minTop);
        if ((code = DrawRunShape(&sc, font, r, pen, st->encoding, antiAlias != 0))) break;
        if (!antiAlias && !colourFont && (s->style & TEXTSTYLE_BOLD) && !FontEngineStyles(font, TEXTSTYLE_BOLD))
            Embolden(&sc.shape);
        if (!antiAlias && (s->style & TEXTSTYLE_ITALIC) && !FontEngineStyles(font, TEXTSTYLE_ITALIC))
            Slant(&sc.shape, baseline);
        if (s->style & TEXTSTYLE_UNDERLINED) Underline(&sc.shape, pen, r->metrics.advance, baseline, lineHeight);
        int edge = (s->style & TEXTSTYLE_EDGE) && maxEdge;
        int32_t e = edge ? s->edgeSize : 0;
        if (edge) GrowEdge(&sc.shape, e, antiAlias != 0, sc.sums, sc.rowSums, &sc.grown);
        if (s->style & TEXTSTYLE_SHADOW) {
            int32_t dx, dy;
            ShadowOffset(s->shadowDirection, s->shadowSize, &dx, &dy);
            Shape plain = sc.shape;
            plain.picture = nullptr;
            if (edge) PutShape(out, &sc.grown, dx - e, placeY + dy - e, s->shadowColour, antiAlias != 0);
            else PutShape(out, &plain, dx, placeY + dy, s->shadowColour, antiAlias != 0);
        }
        if (edge) PutShape(out, &sc.grown, -e, placeY - e, s->edgeColour, antiAlias != 0);
        PutShape(out, &sc.shape, 0, placeY, s->colour, antiAlias != 0);
    }
    FreeScratch(&sc);
    if (code) FreeRenderedTextImage(out);
    return code;
}

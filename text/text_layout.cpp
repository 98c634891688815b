// The line layout of one text: tags turned into runs, words wrapped, tabs resolved, trailing
// blanks trimmed, scalable fonts scaled for a transform; then the run renderer and the output.
#include "text/text_layout.h"

#include <cmath>
#include <cstring>

#include "display/display.h"
#include "gfx/scale.h"
#include "pictures/transform_record.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "text/font.h"
#include "text/text_lib.h"
#include "text/text_tags.h"

// ---------------------------------------------------------------------------------------------
// States and settings

TextState *CopyTextState(const TextState *s)
{
    TextState *c = (TextState *)MemAlloc(sizeof *c, 1);
    if (!c) return nullptr;
    *c = *s;
    memset(c->images, 0, sizeof c->images);
    c->cachedDrawing = nullptr;
    c->text = nullptr;
    c->wordBreaks = nullptr;
    c->tabResults = nullptr;
    if (s->text) {
        size_t n = strlen(s->text) + 1;
        c->text = (char *)MemAlloc(n, 0);
        if (!c->text) goto fail;
        memcpy(c->text, s->text, n);
    }
    if (s->wordBreaks) {
        c->wordBreaks = (int32_t *)MemAlloc(((size_t)s->wordBreakCount + 1) * sizeof(int32_t), 1);
        if (!c->wordBreaks) goto fail;
        memcpy(c->wordBreaks, s->wordBreaks, (size_t)s->wordBreakCount * sizeof(int32_t));
    }
    if (s->tabResults) {
        c->tabResults = (int32_t *)MemAlloc(((size_t)s->tabResultCount + 1) * sizeof(int32_t), 1);
        if (!c->tabResults) goto fail;
        memcpy(c->tabResults, s->tabResults, (size_t)s->tabResultCount * sizeof(int32_t));
    }
    return c;
fail:
    MemFree(c->text);
    MemFree(c->wordBreaks);
    MemFree(c);
    return nullptr;
}

void InitTextState(TextState *st, const char *text, int32_t alignment, int32_t wrapWidth, int32_t encoding)
{
    memset(st, 0, sizeof *st);
    st->settings = *GetFontSettings();
    st->text = (char *)text;
    st->alignment = alignment;
    st->wrapWidth = wrapWidth;
    st->encoding = encoding;
}

void FreeTextState(TextState *s)
{
    if (!s) return;
    for (int i = 0; i < 2; i++) FreeTriple(s->images[i].bitmap, s->images[i].mask, s->images[i].alpha);
    MemFree(s->cachedDrawing);
    MemFree(s->text);
    MemFree(s->wordBreaks);
    MemFree(s->tabResults);
    MemFree(s);
}

static int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

void ClampTextSettings(FontSettings *s)
{
    s->shadowSize = Clamp(s->shadowSize, 1, 64);
    s->edgeSize = Clamp(s->edgeSize, 1, 64);
    if ((uint32_t)s->shadowDirection > 7) s->shadowDirection = 3;
}

static FontHandle *FontOf(const FontSettings *s) { return s->font ? s->font : GetBuiltinFont(); }

int32_t EngineStyle(FontHandle *font, int32_t style)
{
    int aa = style & TEXTSTYLE_ANTIALIAS;
    int32_t out = style & (TEXTSTYLE_NORMAL | TEXTSTYLE_ANTIALIAS);
    if ((style & TEXTSTYLE_BOLD) && (aa || FontEngineStyles(font, TEXTSTYLE_BOLD))) out |= TEXTSTYLE_BOLD;
    if ((style & TEXTSTYLE_ITALIC) && (aa || FontEngineStyles(font, TEXTSTYLE_ITALIC))) out |= TEXTSTYLE_ITALIC;
    return out;
}

int MeasureStyledText(const char *text, int32_t length, int32_t encoding, TextMetrics *m, const FontSettings *s)
{
    memset(m, 0, sizeof *m);
    FontHandle *font = FontOf(s);
    int code = MeasureFontRun(font, text, length, EngineStyle(font, s->style), encoding, m);
    if (code) return code;
    m->lineHeight = font->lineHeight;
    int aa = s->style & TEXTSTYLE_ANTIALIAS;
    if ((s->style & TEXTSTYLE_BOLD) && !aa && !FontEngineStyles(font, TEXTSTYLE_BOLD)) m->inkRight += 1;
    if ((s->style & TEXTSTYLE_ITALIC) && !aa && !FontEngineStyles(font, TEXTSTYLE_ITALIC)) {
        m->inkRight += font->baseline / 2;
        m->inkLeft -= (font->lineHeight - font->baseline) / 2;
    }
    m->totalWidth = m->inkRight >= m->advance ? m->inkRight + 1 : m->advance;
    if (s->style & TEXTSTYLE_EDGE) {
        m->topExtension = m->leftExtension = -s->edgeSize;
        m->bottomExtension = m->rightExtension = s->edgeSize;
    }
    if (s->style & TEXTSTYLE_SHADOW) {
        int32_t z = s->shadowSize;
        switch (s->shadowDirection) {
        case 0: m->topExtension -= z; break;
        case 1: m->rightExtension += z, m->topExtension -= z; break;
        case 2: m->rightExtension += z; break;
        case 4: m->bottomExtension += z; break;
        case 5: m->leftExtension -= z, m->bottomExtension += z; break;
        case 6: m->leftExtension -= z; break;
        case 7: m->leftExtension -= z, m->topExtension -= z; break;
        default: m->rightExtension += z, m->bottomExtension += z; break;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The layout pass

// A growable table of words (the word-break and the tab-result table).
struct WordTable {
    int32_t *words;
    int32_t count, capacity;
};

static int TableAdd(WordTable *t, int32_t v)
{
    if (t->count + 1 >= t->capacity) {
        int32_t cap = t->capacity ? t->capacity * 2 : 16;
        int32_t *w = (int32_t *)MemAlloc((size_t)cap * sizeof(int32_t), 1);
        if (!w) return 1000;
        if (t->words) memcpy(w, t->words, (size_t)t->count * sizeof(int32_t));
        MemFree(t->words);
        t->words = w;
        t->capacity = cap;
    }
    t->words[t->count++] = v;
    return 0;
}

struct Layout {
    const TextState *st;
    int tabsJump;               // #PRINT: TAB goes to the tab stops
    char *buf;
    int32_t used, runStart;
    FontSettings cur;
    TextRun *head, **tail;      // placed runs
    TextRun *word, **wordTail;  // runs of the word being read
    int32_t x, y;               // pen of the next word; top of the current line
    int32_t lineHeight;
    int32_t wrap, leftMargin;
    const int32_t *stops;
    int32_t stopCount;
    int32_t wordIndex;
    const int32_t *givenBreaks;
    int32_t givenBreakCount, breakPos;
    const int32_t *givenTabs;
    int32_t givenTabCount, tabPos;
    WordTable breaks, tabs;     // built by this layout
};

static void FreeRuns(TextRun *r)
{
    while (r) {
        TextRun *n = r->next;
        MemFree(r);
        r = n;
    }
}

static int CloseRun(Layout *l)
{
    if (l->used == l->runStart) return 0;
    TextRun *r = (TextRun *)MemAlloc(sizeof *r, 1);
    if (!r) return 1000;
    r->text = l->buf + l->runStart;
    r->length = l->used - l->runStart;
    r->settings = l->cur;
    l->runStart = l->used;
    *l->wordTail = r;
    l->wordTail = &r->next;
    return MeasureStyledText(r->text, r->length, l->st->encoding, &r->metrics, &r->settings);
}

// Places the runs of the word at the pen, one after the other; returns the right edge.
static int32_t PlaceWord(Layout *l, int32_t x)
{
    int32_t right = x;
    for (TextRun *r = l->word; r; r = r->next) {
        r->x = x;
        r->y = l->y;
        int32_t edge = x + r->metrics.totalWidth + r->metrics.rightExtension;
        if (edge > right) right = edge;
        x += r->metrics.advance;
    }
    return right;
}

static int BreakHere(Layout *l, int32_t right)
{
    if (l->givenBreaks) {
        while (l->breakPos < l->givenBreakCount && l->givenBreaks[l->breakPos] < l->wordIndex) l->breakPos++;
        if (l->breakPos < l->givenBreakCount && l->givenBreaks[l->breakPos] == l->wordIndex) {
            l->breakPos++;
            return 1;
        }
        return 0;
    }
    // A word that already starts a line stays there, however wide it is.
    return l->wrap > 0 && right > l->wrap && l->x > 0;
}

static int EndWord(Layout *l)
{
    if (!l->word) return 0;
    int32_t right = PlaceWord(l, l->x);
    if (BreakHere(l, right)) {
        if (!l->givenBreaks && TableAdd(&l->breaks, l->wordIndex)) return 1000;
        l->y += l->lineHeight;
        l->x = 0;
        PlaceWord(l, 0);
    }
    for (TextRun *r = l->word; r; r = r->next) l->x = r->x + r->metrics.advance;
    *l->tail = l->word;
    l->tail = l->wordTail;
    l->word = nullptr;
    l->wordTail = &l->word;
    l->wordIndex++;
    return 0;
}

static void NewLine(Layout *l)
{
    l->y += l->lineHeight;
    l->x = 0;
}

static int Tab(Layout *l)
{
    int32_t stop = -1;
    if (l->givenTabs) {
        stop = l->tabPos < l->givenTabCount ? l->givenTabs[l->tabPos++] : -1;
        if (stop >= l->stopCount) stop = -1;
    } else {
        int32_t p = l->x + l->leftMargin;
        for (int32_t k = 0; k < l->stopCount; k++)
            if (l->stops[k] > p) {
                stop = k;
                break;
            }
        if (stop >= 0 && l->wrap > 0 && l->stops[stop] - l->leftMargin >= l->wrap) stop = -1;
        if (TableAdd(&l->tabs, stop)) return 1000;
    }
    if (stop < 0) NewLine(l);
    else l->x = l->stops[stop] - l->leftMargin;
    return 0;
}

static void Put(Layout *l, char c) { l->buf[l->used++] = c; }

static int ReadText(lua_State *L, Layout *l, const char *text, int32_t length, int noTags)
{
    TagColourStack stack = {nullptr, 0, 0};
    if (!noTags) {
        stack.capacity = CountColourTags(text, length);
        if (stack.capacity) {
            stack.colours = (uint32_t *)MemAlloc((size_t)stack.capacity * sizeof(uint32_t), 0);
            if (!stack.colours) return 1000;
        }
    }
    int code = 0;
    int32_t i = 0;
    while (!code && i < length) {
        char c = text[i];
        if (!noTags && (c == '[' || c == ']')) {
            if (i + 1 < length && text[i + 1] == c) {
                Put(l, c);
                i += 2;
            } else if (c == ']') {
                code = 1252;
            } else if (!(code = CloseRun(l))) {
                code = ParseTextTag(L, text, length, &i, &l->cur, &stack);
            }
            continue;
        }
        i++;
        if (c == '\r' || c == '\n' || (c == '\t' && l->tabsJump)) {
            if (!(code = CloseRun(l)) && !(code = EndWord(l))) {
                if (c == '\n') NewLine(l);
                else if (c == '\t') code = Tab(l);
            }
        } else if (c == ' ' || c == '\t') {
            Put(l, ' ');
            if (!(code = CloseRun(l))) code = EndWord(l);
        } else {
            Put(l, c);
        }
    }
    if (!code && !(code = CloseRun(l))) code = EndWord(l);
    MemFree(stack.colours);
    if (code == 1252) SetErrorNumber(0);
    return code;
}

// Trailing blanks go from the last run of every line when it is underlined or the text is not
// left-aligned; a run left empty is dropped and the run before it on the line is looked at.
static int TrimLines(Layout *l, int32_t alignment)
{
    int32_t n = 0;
    for (TextRun *r = l->head; r; r = r->next) n++;
    if (!n) return 0;
    TextRun **runs = (TextRun **)MemAlloc((size_t)n * sizeof(TextRun *), 0);
    if (!runs) return 1000;
    n = 0;
    for (TextRun *r = l->head; r; r = r->next) runs[n++] = r;
    int code = 0;
    for (int32_t end = n - 1; end >= 0 && !code;) {
        int32_t first = end;
        while (first > 0 && runs[first - 1]->y == runs[end]->y) first--;
        for (int32_t k = end; k >= first; k--) {
            TextRun *r = runs[k];
            if (!(r->settings.style & TEXTSTYLE_UNDERLINED) && alignment == TEXTALIGN_LEFT) break;
            int32_t len = r->length;
            while (len > 0 && r->text[len - 1] == ' ') len--;
            if (len == r->length) break;
            r->length = len;
            if (len > 0) {
                code = MeasureStyledText(r->text, len, l->st->encoding, &r->metrics, &r->settings);
                break;
            }
        }
        end = first - 1;
    }
    // Relink without the dropped runs.
    TextRun **tail = &l->head;
    for (int32_t k = 0; k < n; k++) {
        if (runs[k]->length == 0) {
            MemFree(runs[k]);
            continue;
        }
        *tail = runs[k];
        tail = &runs[k]->next;
    }
    *tail = nullptr;
    MemFree(runs);
    return code;
}

int ResidualTransform(const TransformRecord *t, FontHandle *font, Matrix2D *m)
{
    *m = {t->a, t->b, t->c, t->d};
    if (font && font->scalable) {
        double fx = hypot(m->a, m->b), fy = hypot(m->c, m->d);
        if (fx > 0 && fy > 0) *m = {m->a / fx, m->b / fx, m->c / fy, m->d / fy};
    }
    return fabs(m->a - 1.0) > 1e-9 || fabs(m->d - 1.0) > 1e-9 || fabs(m->b) > 1e-9 || fabs(m->c) > 1e-9;
}

int TransformTextImage(const Matrix2D *m, int smooth, const RenderedTextImage *img, RenderedTextImage *out,
                       int32_t *offsetX, int32_t *offsetY)
{
    memset(out, 0, sizeof *out);
    int32_t w, h;
    int code = TransformBitMapTriple(img->bitmap, img->mask, img->alpha, 0, 0, img->drawnWidth, img->height, m, smooth,
                                     &out->bitmap, &out->mask, &out->alpha, &w, &h);
    if (code) return code;
    // The picture's centre stays where it was.
    *offsetX += (img->drawnWidth - w) / 2;
    *offsetY += (img->height - h) / 2;
    out->drawnWidth = out->fullWidth = w;
    out->height = h;
    return 0;
}

static int32_t ScaleWord(int32_t v, double f) { return (int32_t)lround(v * f); }

// The layout settings of a state for a kind; the tables a state carries are followed.
static void BeginLayout(Layout *l, TextState *st, int kind, FontHandle *font, int32_t *stops)
{
    memset(l, 0, sizeof *l);
    l->st = st;
    l->tabsJump = kind == TEXTKIND_PRINT;
    l->cur = st->settings;
    l->cur.font = font;
    l->tail = &l->head;
    l->wordTail = &l->word;
    l->leftMargin = kind == TEXTKIND_PRINT ? st->leftMargin : 0;
    l->wrap = kind == TEXTKIND_PRINT ? st->wrapWidth - st->leftMargin + 1 : st->wrapWidth;
    l->stopCount = kind == TEXTKIND_PRINT ? Clamp(st->tabCount, 0, TEXT_TAB_STOPS) : 0;
    memcpy(stops, st->tabStops, sizeof st->tabStops);
    l->stops = stops;
    l->givenBreaks = st->wordBreaks;
    l->givenBreakCount = st->wordBreakCount;
    l->givenTabs = st->tabResults;
    l->givenTabCount = st->tabResultCount;
}

// Reads the text into runs, then trims the lines. The runs and the buffer stay in l.
static int RunLayout(lua_State *L, Layout *l, int32_t startX, int noTags)
{
    const char *text = l->st->text ? l->st->text : "";
    int32_t length = (int32_t)strlen(text);
    l->lineHeight = FontOf(&l->cur)->lineHeight;
    l->x = startX;
    l->buf = (char *)MemAlloc((size_t)length + 2, 1);
    if (!l->buf) return 1000;
    int code = ReadText(L, l, text, length, noTags);
    if (!code) code = TrimLines(l, l->st->alignment);
    return code;
}

static void EndLayout(Layout *l)
{
    FreeRuns(l->head);
    FreeRuns(l->word);
    MemFree(l->buf);
    MemFree(l->breaks.words);
    MemFree(l->tabs.words);
}

int LayoutTextRuns(lua_State *L, TextState *st, int kind, int noTags, TextRun **runs, char **buffer)
{
    *runs = nullptr;
    *buffer = nullptr;
    FontHandle *font = FontOf(&st->settings);
    if (!font) return 1064;
    Layout l;
    int32_t stops[TEXT_TAB_STOPS];
    BeginLayout(&l, st, kind, font, stops);
    int code = RunLayout(L, &l, kind == TEXTKIND_PRINT ? st->cursorX - l.leftMargin : 0, noTags);
    if (!code) {
        *runs = l.head;
        *buffer = l.buf;
        l.head = nullptr;
        l.buf = nullptr;
    }
    EndLayout(&l);
    return code;
}

void FreeTextRuns(TextRun *runs, char *buffer)
{
    FreeRuns(runs);
    MemFree(buffer);
}

int RenderFormattedText(lua_State *L, void *layer, intptr_t layerWord, TextState *st, int kind, int noTags,
                        const TransformRecord *transform, void *result, int flags, RenderedTextImage *image)
{
    FontHandle *font = FontOf(&st->settings);
    if (!font) return 1064;
    if ((st->settings.style & TEXTSTYLE_ANTIALIAS) && !font->antiAlias) return 1255;
    Layout l;
    int32_t stops[TEXT_TAB_STOPS];
    BeginLayout(&l, st, kind, font, stops);
    int32_t cursorX = st->cursorX, cursorY = st->cursorY;

    // A transform that scales a scalable font renders the text at the scaled size.
    int scaled = 0;
    if (transform && !IsIdentityTransform(transform) && font->scalable) {
        double fx = hypot(transform->a, transform->b), fy = hypot(transform->c, transform->d);
        if (fx > 0 && fy > 0 && std::isfinite(fx) && std::isfinite(fy)) {
            scaled = 1;
            SetFontScale(font, fx, fy);
            if (fx != 1.0) {
                l.leftMargin = ScaleWord(l.leftMargin, fx);
                l.wrap = ScaleWord(l.wrap, fx);
                for (int32_t k = 0; k < l.stopCount; k++) stops[k] = ScaleWord(stops[k], fx);
                l.cur.shadowSize = ScaleWord(l.cur.shadowSize, fx);
                l.cur.edgeSize = ScaleWord(l.cur.edgeSize, fx);
                ClampTextSettings(&l.cur);
                if (flags & TEXTRENDER_SCALECURSOR) {
                    cursorX = ScaleWord(cursorX, fx);
                    cursorY = ScaleWord(cursorY, fy);
                }
            }
        }
    }
    int32_t startX = kind == TEXTKIND_PRINT ? cursorX - l.leftMargin : 0;
    RenderedTextImage img;
    memset(&img, 0, sizeof img);
    int code = RunLayout(L, &l, startX, noTags);
    if (!code)
        code = RenderTextRuns(st, startX, l.wrap, st->settings.style & TEXTSTYLE_ANTIALIAS, st->alignment, 0,
                              l.head, &img);
    if (scaled) SetFontScale(font, 1.0, 1.0);

    if (!code && (flags & TEXTRENDER_KEEPTABLES)) {
        if (!st->wordBreaks && l.breaks.words) {
            st->wordBreaks = l.breaks.words;
            st->wordBreakCount = l.breaks.count;
            l.breaks.words = nullptr;
        } else if (!st->wordBreaks) {
            // An empty table still records that this layout's breaks are to be kept.
            st->wordBreaks = (int32_t *)MemAlloc(sizeof(int32_t), 1);
            st->wordBreakCount = 0;
        }
        if (!st->tabResults && l.tabs.words) {
            st->tabResults = l.tabs.words;
            st->tabResultCount = l.tabs.count;
            l.tabs.words = nullptr;
        }
    }
    EndLayout(&l);
    if (code) return code;

    if (kind == TEXTKIND_TEXTOBJECT) {
        if (image) *image = img;
        else FreeRenderedTextImage(&img);
        return 0;
    }
    Matrix2D m;
    if (transform && ResidualTransform(transform, font, &m)) {
        RenderedTextImage turned;
        code = TransformTextImage(&m, transform->smoothScale, &img, &turned, &img.offsetX, &img.offsetY);
        FreeRenderedTextImage(&img);
        if (code) return code;
        int32_t ox = img.offsetX, oy = img.offsetY, first = img.firstLineOffset;
        img = turned;
        img.offsetX = ox;
        img.offsetY = oy;
        img.firstLineOffset = first;
    }
    if (!(flags & TEXTRENDER_LAYEREXISTS)) {
        int32_t x, y;
        if (kind == TEXTKIND_PRINT) {
            x = st->leftMargin + img.firstLineOffset + img.offsetX;
            y = st->cursorY + img.offsetY;
        } else {
            x = IsXPosConstant(st->x) ? ResolveXPos(st->x, img.drawnWidth, 0, 0.0)
                                      : ClampCoord((int64_t)st->x + img.offsetX);
            y = IsYPosConstant(st->y) ? ResolveYPos(st->y, img.height, 0, 0.0)
                                      : ClampCoord((int64_t)st->y + img.offsetY);
        }
        DisplayRecord *d = CurrentDisplay;
        if (d && d->layersEnabled && d->outputType == OBJTYPE_DISPLAY) code = AddTextImageLayer(L, kind, &img, x, y, st, transform);
        else code = BlitTextImage(&img, x, y);
        if (!code && kind == TEXTKIND_PRINT && !(flags & (TEXTRENDER_LAYEREXISTS | TEXTRENDER_KEEPTABLES)))
            SetTextCursor(l.x + st->leftMargin, st->cursorY + l.y);
    } else if (image) {
        // Laid out again for a layer that exists: the layer takes the new rendering.
        *image = img;
        return 0;
    }
    FreeRenderedTextImage(&img);
    return code;
}

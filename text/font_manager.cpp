// The font manager: the list of faces found in fontconfig's files and in "Fonts", their names
// read from the files' name tables, and the lookup of a font's file. Every walk through a file
// (collection offsets, resource lengths, table directories, name records) is checked against the
// file's size, so damaged files are skipped without reading outside them.
#include "text/font_manager.h"

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "text/text_codes.h"

static SystemFontEntry *FontList = nullptr;
static int FontListBuilt = 0;

SystemFontEntry *GetFontList(void) { return FontList; }

void FreeFontList(void)
{
    while (FontList) {
        SystemFontEntry *next = FontList->next;
        MemFree(FontList);
        FontList = next;
    }
    FontListBuilt = 0;
}

// ---------------------------------------------------------------------------------------------
// Style words

struct StyleWord {
    const char *word;
    int32_t value;
};
static const StyleWord WeightWords[] = {
    {"thin", 0}, {"extralight", 40}, {"extra-light", 40}, {"ultralight", 40}, {"ultra-light", 40},
    {"light", 50}, {"book", 75}, {"normal", 80}, {"regular", 80}, {"medium", 100},
    {"semibold", 180}, {"semi-bold", 180}, {"semi", 180}, {"demibold", 180}, {"demi-bold", 180}, {"demi", 180},
    {"bold", 200}, {"extrabold", 205}, {"extra-bold", 205}, {"ultrabold", 205}, {"ultra-bold", 205},
    {"heavy", 210}, {"black", 210}, {"extrablack", 215}, {"extra-black", 215}, {"ultrablack", 215},
    {"ultra-black", 215}, {nullptr, 0}};
static const StyleWord SlantWords[] = {{"roman", 0}, {"italic", 100}, {"oblique", 110}, {nullptr, 0}};

void ClassifyFontStyle(const char *style, int32_t *weight, int32_t *slant)
{
    *weight = 80;
    *slant = 0;
    const char *p = style;
    while (*p) {
        while (*p == ' ') p++;
        size_t n = strcspn(p, " ");
        for (const StyleWord *w = WeightWords; w->word; w++)
            if (strlen(w->word) == n && strncasecmp(w->word, p, n) == 0) *weight = w->value;
        for (const StyleWord *w = SlantWords; w->word; w++)
            if (strlen(w->word) == n && strncasecmp(w->word, p, n) == 0) *slant = w->value;
        p += n;
    }
}

int IsRegularStyleName(const char *style)
{
    static const char *const names[] = {"regular", "plain", "normal", "book", "roman"};
    for (const char *n : names)
        if (strcasecmp(style, n) == 0) return 1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Entries

int AddFontEntry(const char *path, const char *family, const char *style, int bitmap, int64_t resourceBase,
                 int64_t length, int64_t collectionOffset, const uint8_t *sizes, int sizeCount)
{
    char full[2 * FONT_NAME_TEXT_SIZE + 2];
    snprintf(full, sizeof full, "%s%s%s", family, style[0] ? " " : "", style);
    SystemFontEntry **tail = &FontList;
    for (; *tail; tail = &(*tail)->next)
        if (strcasecmp((*tail)->fullName, full) == 0) return 0;
    size_t fullLen = strlen(full) + 1, familyLen = strlen(family) + 1, pathLen = strlen(path) + 1;
    SystemFontEntry *e = (SystemFontEntry *)MemAlloc(sizeof(SystemFontEntry) + fullLen + familyLen + pathLen, 1);
    if (!e) return 1000;
    e->fullName = (char *)(e + 1);
    e->family = e->fullName + fullLen;
    e->path = e->family + familyLen;
    memcpy(e->fullName, full, fullLen);
    memcpy(e->family, family, familyLen);
    memcpy(e->path, path, pathLen);
    ClassifyFontStyle(style, &e->weight, &e->slant);
    e->resourceBase = resourceBase;
    e->length = length;
    e->collectionOffset = collectionOffset;
    e->bitmap = bitmap;
    if (sizeCount > FONT_MAX_SIZES) sizeCount = FONT_MAX_SIZES;
    if (sizeCount > 0) memcpy(e->sizes, sizes, (size_t)sizeCount);
    e->sizeCount = sizeCount;
    *tail = e;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Reading faces

static int Read16(FileHandle *fh, uint32_t *v)
{
    uint8_t b[2];
    if (FRead(fh, b, 2) != 2) return 0;
    *v = (uint32_t)b[0] << 8 | b[1];
    return 1;
}

static int Read32(FileHandle *fh, uint32_t *v)
{
    uint8_t b[4];
    if (FRead(fh, b, 4) != 4) return 0;
    *v = (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
    return 1;
}

static int64_t FileSize(FileHandle *fh)
{
    int64_t here = FSeek(fh, 0, FSEEK_END);
    int64_t size = FSeek(fh, here, FSEEK_START);
    return size;
}

// Moves to an absolute position; 0 when it lies beyond the end.
static int SeekInside(FileHandle *fh, int64_t size, int64_t position)
{
    if (position < 0 || position > size) return 0;
    FSeek(fh, position, FSEEK_START);
    return 1;
}

static int IsEnglishName(uint32_t platform, uint32_t language)
{
    static const uint32_t english[] = {0x0409, 0x0809, 0x0C09, 0x1009, 0x1409, 0x1809, 0x1C09, 0x4009};
    if (platform == 1) return language == 0;
    if (platform != 3) return 0;
    for (uint32_t l : english)
        if (language == l) return 1;
    return 0;
}

int ReadFontNames(FileHandle *fh, char *family, char *style, int64_t base)
{
    family[0] = style[0] = 0;
    int64_t size = FileSize(fh);
    int64_t start = FSeek(fh, 0, FSEEK_CURRENT);
    uint32_t hi, lo, tableCount;
    if (!Read16(fh, &hi) || !Read16(fh, &lo) || !Read16(fh, &tableCount)) return 0;
    uint32_t version = hi << 16 | lo;
    if (version != 0x00010000 && version != 0x4F54544F /* OTTO */ && version != 0x74727565 /* true */) return 0;
    if (!SeekInside(fh, size, start + 12)) return 0;
    uint32_t nameOffset = 0;
    int found = 0;
    for (uint32_t i = 0; i < tableCount && !found; i++) {
        uint8_t tag[4];
        uint32_t checksum, offset, length;
        if (FRead(fh, tag, 4) != 4 || !Read32(fh, &checksum) || !Read32(fh, &offset) || !Read32(fh, &length))
            return 0;
        if (strncasecmp((const char *)tag, "name", 4) == 0) {
            nameOffset = offset;
            found = 1;
        }
    }
    if (!found) return 0;
    int64_t table = base + (int64_t)nameOffset;
    uint32_t recordCount, stringArea;
    if (!SeekInside(fh, size, table + 2) || !Read16(fh, &recordCount) || !Read16(fh, &stringArea)) return 0;
    int64_t record = table + 6;
    for (uint32_t i = 0; i < recordCount; i++, record += 12) {
        uint32_t f[6];   // platform, encoding, language, name id, length, offset
        if (!SeekInside(fh, size, record)) return 0;
        for (uint32_t &v : f)
            if (!Read16(fh, &v)) return 0;
        if ((f[3] != 1 && f[3] != 2) || !IsEnglishName(f[0], f[2])) continue;
        if (f[4] > 511) return 0;
        char text[512];
        if (!SeekInside(fh, size, table + stringArea + f[5]) || FRead(fh, text, f[4]) != f[4]) return 0;
        char *out = f[3] == 1 ? family : style;
        size_t n = 0;
        for (uint32_t k = 0; k < f[4]; k++)
            if (text[k] != 0) out[n++] = text[k];
        out[n] = 0;
        if (family[0] && style[0]) return 1;
    }
    return 1;
}

// Adds one face, and for a regular style (flag 0) the bare family too.
static void AddFace(const char *path, const char *family, const char *style, int64_t base, int64_t length,
                    int64_t collection, int flag)
{
    if (!family[0]) return;
    AddFontEntry(path, family, style, 0, base, length, collection, nullptr, 0);
    if (IsRegularStyleName(style) && flag == 0) AddFontEntry(path, family, "", 0, base, length, collection, nullptr, 0);
}

static int EndsWith(const char *name, const char *suffix)
{
    size_t n = strlen(name), k = strlen(suffix);
    return n >= k && strcasecmp(name + n - k, suffix) == 0;
}

static void ScanBitmapContents(FileHandle *fh, const char *path)
{
    uint32_t id, count;
    if (!Read16(fh, &id)) return;
    if (id != 0x0F00 && id != 0x0F02 && id != 0x0F03) return;
    uint8_t sizes[FONT_MAX_SIZES];
    int sizeCount = 0;
    if (id != 0x0F03 && Read16(fh, &count)) {
        for (uint32_t i = 0; i < count; i++) {
            char entry[256];
            uint32_t size, skip;
            if (FRead(fh, entry, 256) != 256 || !Read16(fh, &size) || !Read16(fh, &skip)) break;
            if (size > 255) continue;
            int seen = 0;
            for (int k = 0; k < sizeCount; k++) seen |= sizes[k] == size;
            if (!seen && sizeCount < FONT_MAX_SIZES) sizes[sizeCount++] = (uint8_t)size;
        }
    }
    char family[FONT_NAME_TEXT_SIZE];
    snprintf(family, sizeof family, "%s", GetFilePart(path));
    family[strlen(family) - 5] = 0;   // the name ends in ".font"
    AddFontEntry(path, family, "", id != 0x0F03, 0, 0, 0, sizes, sizeCount);
}

void ScanFontFile(const char *path, int flag)
{
    if (strlen(path) < 6) return;
    int ttc = EndsWith(path, ".ttc"), dfont = EndsWith(path, ".dfont"), bitmap = EndsWith(path, ".font");
    int plain = EndsWith(path, ".ttf") || EndsWith(path, ".otf");
    if (!ttc && !dfont && !bitmap && !plain) return;
    FileHandle *fh = FOpen(path, FMODE_READ);
    if (!fh) return;
    int64_t size = FileSize(fh);
    char family[FONT_NAME_TEXT_SIZE], style[FONT_NAME_TEXT_SIZE];
    if (plain) {
        if (ReadFontNames(fh, family, style, 0)) AddFace(path, family, style, 0, size, 0, flag);
    } else if (ttc) {
        uint8_t tag[4];
        uint32_t version, count;
        if (FRead(fh, tag, 4) == 4 && memcmp(tag, "ttcf", 4) == 0 && Read32(fh, &version) && Read32(fh, &count) &&
            count <= (uint64_t)(size - 12) / 4) {
            for (uint32_t i = 0; i < count; i++) {
                uint32_t offset;
                if (!SeekInside(fh, size, 12 + 4 * (int64_t)i) || !Read32(fh, &offset)) break;
                if (!SeekInside(fh, size, offset)) continue;
                if (ReadFontNames(fh, family, style, 0)) AddFace(path, family, style, 0, 0, offset, flag);
            }
        }
    } else if (dfont) {
        int64_t position = 256;
        uint32_t length;
        while (position + 4 <= size && SeekInside(fh, size, position) && Read32(fh, &length)) {
            int64_t base = position + 4;
            if ((int64_t)length > size - base) break;
            if (ReadFontNames(fh, family, style, base)) AddFace(path, family, style, base, length, 0, flag);
            position = base + length;
        }
    } else {
        ScanBitmapContents(fh, path);
    }
    FClose(fh);
}

int ScanFontDirectory(const char *folder, int flag)
{
    FileLock *lock = LockFile(folder, 0);
    if (!lock) {
        SetErrorString(folder);
        return 1286;
    }
    const char *name;
    int isDir;
    OsFileInfo info;
    while (ReadNextDirEntry(lock, &name, &isDir, &info)) {
        if (isDir || strlen(name) < 6) continue;
        char path[KV_PATH_SIZE];
        snprintf(path, sizeof path, "%s", folder);
        if (AddPart(path, name, sizeof path)) ScanFontFile(path, flag);
    }
    if (lock->os) OsEndExamine(lock->os);
    UnLockFile(lock);
    return 0;
}

// A UTF-8 path from fontconfig as the Latin-1 text the file layer takes; 0 when it has
// characters beyond Latin-1 or does not fit.
static int Latin1Path(const char *utf8, char *out, size_t size)
{
    int32_t length = (int32_t)strlen(utf8), pos = 0;
    size_t n = 0;
    while (pos < length) {
        uint32_t c = NextTextCode(utf8, length, &pos, 1);
        if (c > 255 || n + 1 >= size) return 0;
        out[n++] = (char)c;
    }
    out[n] = 0;
    return 1;
}

static int ComparePaths(const void *a, const void *b)
{
    return strcmp(*(char *const *)a, *(char *const *)b);
}

void BuildFontList(int flag)
{
    if (FontListBuilt) return;
    FontListBuilt = 1;
    FcPattern *pattern = FcPatternCreate();
    FcObjectSet *objects = FcObjectSetBuild(FC_FILE, FC_INDEX, (char *)nullptr);
    FcFontSet *set = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    if (set && set->nfont > 0) {
        char **paths = (char **)MemAlloc(sizeof(char *) * (size_t)set->nfont, 1);
        int count = 0;
        for (int i = 0; paths && i < set->nfont; i++) {
            FcChar8 *file;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch) paths[count++] = (char *)file;
        }
        if (paths) qsort(paths, (size_t)count, sizeof(char *), ComparePaths);
        for (int i = 0; i < count; i++) {
            if (i > 0 && strcmp(paths[i], paths[i - 1]) == 0) continue;   // one scan per file
            char path[KV_PATH_SIZE];
            if (Latin1Path(paths[i], path, sizeof path)) ScanFontFile(path, flag);
        }
        MemFree(paths);
    }
    if (set) FcFontSetDestroy(set);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    ScanFontDirectory("Fonts", flag);   // a missing folder is no error
}

char *ExtractCollectionFace(const SystemFontEntry *e)
{
    FileHandle *in = FOpen(e->path, FMODE_READ);
    if (!in) return nullptr;
    int64_t size = FileSize(in);
    uint32_t tableCount = 0;
    uint8_t *directory = nullptr;
    FileHandle *out = nullptr;
    char *path = (char *)MemAlloc(KV_PATH_SIZE, 1);
    int ok = 0;
    if (path && SeekInside(in, size, e->collectionOffset + 4) && Read16(in, &tableCount) &&
        (uint64_t)e->collectionOffset + 12 + 16ull * tableCount <= (uint64_t)size) {
        size_t dirBytes = 12 + 16 * (size_t)tableCount;
        directory = (uint8_t *)MemAlloc(dirBytes, 0);
        if (directory && SeekInside(in, size, e->collectionOffset) && FRead(in, directory, dirBytes) == dirBytes &&
            OsTempFileName(path, KV_PATH_SIZE) && (out = FOpen(path, FMODE_WRITE)) != nullptr &&
            FWrite(out, directory, dirBytes) == dirBytes) {
            ok = 1;
            int64_t position = (int64_t)dirBytes;
            for (uint32_t i = 0; ok && i < tableCount; i++) {
                uint8_t *entry = directory + 12 + 16 * (size_t)i;
                uint32_t offset = (uint32_t)entry[8] << 24 | entry[9] << 16 | entry[10] << 8 | entry[11];
                uint32_t length = (uint32_t)entry[12] << 24 | entry[13] << 16 | entry[14] << 8 | entry[15];
                if ((uint64_t)offset + length > (uint64_t)size || !SeekInside(in, size, offset)) {
                    ok = 0;
                    break;
                }
                uint8_t chunk[8192];
                for (uint32_t done = 0; ok && done < length;) {
                    size_t n = length - done < sizeof chunk ? length - done : sizeof chunk;
                    ok = FRead(in, chunk, n) == n && FWrite(out, chunk, n) == n;
                    done += (uint32_t)n;
                }
                uint8_t pad[3] = {0, 0, 0};
                size_t padding = (4 - (length & 3)) & 3;
                if (ok && padding) ok = FWrite(out, pad, padding) == padding;
                entry[8] = (uint8_t)(position >> 24);
                entry[9] = (uint8_t)(position >> 16);
                entry[10] = (uint8_t)(position >> 8);
                entry[11] = (uint8_t)position;
                position += (int64_t)length + (int64_t)padding;
            }
            if (ok) {
                FSeek(out, 0, FSEEK_START);
                ok = FWrite(out, directory, dirBytes) == dirBytes;
            }
        }
    }
    if (out && !FClose(out)) ok = 0;
    FClose(in);
    MemFree(directory);
    if (!ok && path && path[0]) OsDelete(path);
    if (!ok) {
        MemFree(path);
        return nullptr;
    }
    return path;
}

char *FindSystemFont(const char *name, int32_t weight, int32_t slant, int plainFile, int64_t *base,
                     int64_t *length, int *temporary)
{
    *base = *length = 0;
    *temporary = 0;
    BuildFontList(0);
    for (const SystemFontEntry *e = FontList; e; e = e->next) {
        if (e->bitmap) continue;
        if (plainFile && (e->collectionOffset || e->resourceBase)) continue;
        if (weight == -1 ? strcasecmp(e->fullName, name) != 0
                         : strcasecmp(e->family, name) != 0 || e->weight != weight || e->slant != slant)
            continue;
        if (e->collectionOffset) {
            char *path = ExtractCollectionFace(e);
            *temporary = path != nullptr;
            return path;
        }
        size_t n = strlen(e->path) + 1;
        char *path = (char *)MemAlloc(n, 0);
        if (!path) return nullptr;
        memcpy(path, e->path, n);
        *base = e->resourceBase;
        *length = e->length;
        return path;
    }
    return nullptr;
}

// The message catalog: parsing a catalog image held in memory, looking texts up by message
// number, and loading the one catalog of the run through the file layer.
#include "runtime/catalog.h"

#include <cstring>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

enum {
    CATALOG_MIN_SIZE = 101,         // a catalog must be larger than 100 bytes
    CATALOG_MAX_SIZE = 64 << 20     // larger files are no catalog of ours
};
static const uint32_t CATALOG_END_MARK = 0xffffffffu;

static MessageCatalog *LoadedCatalog = nullptr;

static uint32_t PeekBE32(const unsigned char *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

MessageCatalog *ParseCatalog(const unsigned char *bytes, size_t size)
{
    if (!bytes || size < CATALOG_MIN_SIZE || size > CATALOG_MAX_SIZE) return nullptr;
    if (memcmp(bytes, "FORM", 4) != 0 || memcmp(bytes + 8, "CTLG", 4) != 0 ||
        memcmp(bytes + 12, "FVER", 4) != 0)
        return nullptr;

    size_t strs = 0;
    int found = 0;
    for (size_t off = 16; off + 4 <= size; off += 2) {
        if (memcmp(bytes + off, "STRS", 4) == 0) {
            strs = off;
            found = 1;
            break;
        }
    }
    if (!found) return nullptr;

    MessageCatalog *cat = (MessageCatalog *)MemAlloc(sizeof(MessageCatalog), 1);
    if (!cat) return nullptr;
    cat->data = (unsigned char *)MemAlloc(size + 4, 0);
    if (!cat->data) {
        MemFree(cat);
        return nullptr;
    }
    memcpy(cat->data, bytes, size);
    memset(cat->data + size, 0xff, 4);
    cat->size = size;
    cat->firstEntry = strs + 8;
    return cat;
}

void FreeMessageCatalog(MessageCatalog *cat)
{
    if (!cat) return;
    MemFree(cat->data);
    MemFree(cat);
}

// Entry: number (4), length (4), zero-terminated text padded to a multiple of 4. Writers differ
// on whether the length counts the terminator, so the step is taken from whichever of the
// length and the text's real size (terminator included) is larger; either way the next entry
// starts on the padded boundary. Every read stays inside the file's bytes.
const char *FindCatalogString(const MessageCatalog *cat, uint32_t n)
{
    if (!cat || !cat->data) return nullptr;
    const unsigned char *data = cat->data;
    const uint64_t size = cat->size;
    uint64_t pos = cat->firstEntry;

    while (pos + 8 <= size) {
        uint32_t number = PeekBE32(data + pos);
        if (number == CATALOG_END_MARK) break;
        uint64_t length = PeekBE32(data + pos + 4);
        uint64_t text = pos + 8;
        const void *zero = memchr(data + text, 0, (size_t)(size - text));
        if (!zero) break;       // text runs to the end of the file: malformed
        uint64_t textSize = (uint64_t)((const unsigned char *)zero - (data + text)) + 1;
        if (number == n) return (const char *)(data + text);
        uint64_t span = length > textSize ? length : textSize;
        pos = text + ((span + 3) & ~(uint64_t)3);
    }
    return nullptr;
}

// Steps over one conversion specifier starting at the '%' at s; writes its letters (flags,
// width, precision, length and conversion) into spec. Returns the character behind it.
static const char *ScanSpecifier(const char *s, char *spec, size_t specSize)
{
    size_t k = 0;
    s++;        // the '%'
    while (*s && strchr("-+ #0123456789.*hlLqjzt", *s)) {
        if (k + 1 < specSize) spec[k++] = *s;
        s++;
    }
    if (*s) {
        if (k + 1 < specSize) spec[k++] = *s;
        s++;
    }
    spec[k] = 0;
    return s;
}

int SameConversionSpecifiers(const char *builtIn, const char *candidate)
{
    if (!candidate) return 0;
    const char *a = builtIn ? builtIn : "";
    const char *b = candidate;
    for (;;) {
        while (*a && !(a[0] == '%' && a[1] != '%')) a += (a[0] == '%') ? 2 : 1;
        while (*b && !(b[0] == '%' && b[1] != '%')) b += (b[0] == '%') ? 2 : 1;
        if (!*a || !*b) return !*a && !*b;
        char sa[32], sb[32];
        a = ScanSpecifier(a, sa, sizeof sa);
        b = ScanSpecifier(b, sb, sizeof sb);
        if (strcmp(sa, sb) != 0) return 0;
    }
}

void SetLoadedCatalog(MessageCatalog *cat)
{
    if (LoadedCatalog && LoadedCatalog != cat) FreeMessageCatalog(LoadedCatalog);
    LoadedCatalog = cat;
}

const MessageCatalog *GetLoadedCatalog(void)
{
    return LoadedCatalog;
}

int LoadCatalog(const char *path)
{
    FreeCatalog();
    if (!path) return 0;
    FileHandle *fh = FOpen(path, FMODE_READ);
    if (!fh) return 0;

    int64_t size = fh->size;
    unsigned char *buffer = nullptr;
    if (size >= CATALOG_MIN_SIZE && size <= CATALOG_MAX_SIZE) {
        buffer = (unsigned char *)MemAlloc((size_t)size, 0);
        if (buffer && FRead(fh, buffer, (size_t)size) != (size_t)size) {
            MemFree(buffer);
            buffer = nullptr;
        }
    }
    FClose(fh);
    if (!buffer) return 0;

    MessageCatalog *cat = ParseCatalog(buffer, (size_t)size);
    MemFree(buffer);
    SetLoadedCatalog(cat);
    return cat != nullptr;
}

void FreeCatalog(void)
{
    SetLoadedCatalog(nullptr);
}

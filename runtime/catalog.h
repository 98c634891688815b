// The message catalog: an IFF file (FORM CTLG with FVER and STRS chunks) whose texts replace
// the built-in message texts of the same numbers. LoadCatalog and FreeCatalog (runtime/errors.h)
// read the file through the file layer and keep one catalog for the whole run.
//
// Layout: "FORM", a length, "CTLG", "FVER" at bytes 8 to 15; a "STRS" tag is searched from
// byte 16 on in steps of 2; its entries start 8 bytes behind the tag. Each entry: big-endian
// 32-bit message number, big-endian 32-bit length, the zero-terminated text, padded to a
// multiple of 4 bytes. The walk ends at the number 0xffffffff.
#pragma once
#include <cstddef>
#include <cstdint>

// One catalog held in memory: the whole file plus four bytes 0xffffffff as an end mark.
struct MessageCatalog {
    unsigned char *data;        // MemAlloc'd: file bytes followed by the end mark
    size_t size;                // file bytes, end mark excluded
    size_t firstEntry;          // offset of the first STRS entry
};

// Takes a copy of a catalog file image. Returns a new catalog, or none when the image is not
// a catalog (100 bytes or less, no "FORM"/"CTLG"/"FVER", no "STRS") or memory runs out.
MessageCatalog *ParseCatalog(const unsigned char *bytes, size_t size);
// Frees a catalog made by ParseCatalog (none is fine).
void FreeMessageCatalog(MessageCatalog *cat);
// The catalog's text for message number n, or none. The walk never reads past the file's
// bytes: an entry whose header, text or terminator would run beyond them ends the walk.
const char *FindCatalogString(const MessageCatalog *cat, uint32_t n);

// Whether a catalog text may replace a built-in text: both hold the same conversion
// specifiers in the same order ("%%" is no specifier). A built-in text of none accepts only a
// text without specifiers.
int SameConversionSpecifiers(const char *builtIn, const char *candidate);

// Makes cat the loaded catalog (freeing the one loaded before; none unloads). Used by
// LoadCatalog and by tests.
void SetLoadedCatalog(MessageCatalog *cat);
const MessageCatalog *GetLoadedCatalog(void);

// The font manager: which outline and bitmap fonts the system has. It lists the font files that
// fontconfig knows and the folder "Fonts" of the current directory, reads each face's family and
// style names itself, classifies the style into weight and slant, and answers which file holds
// a font of a given name.
#pragma once
#include <cstdint>

#include "runtime/filelayer.h"

enum { FONT_NAME_TEXT_SIZE = 512, FONT_MAX_SIZES = 64 };

// One face found (one allocation holding the record and its strings).
struct SystemFontEntry {
    SystemFontEntry *next;
    char *fullName;             // family, a blank and the style, or the family alone
    char *family;
    char *path;
    int32_t weight;             // 80 when the style names none
    int32_t slant;              // 0 when the style names none
    int64_t resourceBase;       // ".dfont": where the face's data starts, else 0
    int64_t length;             // ".dfont": the resource's length; plain files: the file size
    int64_t collectionOffset;   // ".ttc": the face's table directory, else 0
    int32_t bitmap;             // 1 for a disk bitmap font
    int32_t sizeCount;
    uint8_t sizes[FONT_MAX_SIZES];
};

// Builds the list unless it exists: fontconfig's files (sorted by path), then "Fonts". With
// flag 1 the bare-family duplicates of regular faces are left out.
void BuildFontList(int flag);
void FreeFontList(void);
SystemFontEntry *GetFontList(void);
// Adds the faces of one folder: 0, or 1286 when it can't be locked.
int ScanFontDirectory(const char *folder, int flag);
// Adds the faces of one file by its ending (".ttf", ".otf", ".ttc", ".dfont", ".font").
void ScanFontFile(const char *path, int flag);
// Reads family and style (FONT_NAME_TEXT_SIZE bytes each) of the face whose table directory
// starts at the file's current position; offsets of the face are relative to base. 1 or 0.
int ReadFontNames(FileHandle *fh, char *family, char *style, int64_t base);
int IsRegularStyleName(const char *style);
// Weight and slant of a style text.
void ClassifyFontStyle(const char *style, int32_t *weight, int32_t *slant);
// Appends an entry unless one of the same full name exists. 0 or 1000.
int AddFontEntry(const char *path, const char *family, const char *style, int bitmap, int64_t resourceBase,
                 int64_t length, int64_t collectionOffset, const uint8_t *sizes, int sizeCount);
// Copies a collection face into a temporary file of its own (its tables behind a fresh table
// directory); the path (MemAlloc'd), or none.
char *ExtractCollectionFace(const SystemFontEntry *e);
// The file of a font: weight -1 matches the full name, else family, weight and slant. Returns a
// MemAlloc'd path (the caller frees it) with *base and *length; a collection face comes back as
// a temporary file with *temporary = 1 (the caller deletes it). None when not found.
char *FindSystemFont(const char *name, int32_t weight, int32_t slant, int plainFile, int64_t *base,
                     int64_t *length, int *temporary);

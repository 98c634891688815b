// Font files made by the tests: renamed copies of the default outline font (plain, inside a
// collection, inside a resource file), a face that holds only a name table, and synthetic disk
// bitmap fonts. Also the font folder and fontconfig configuration the tests run against, so that
// no test depends on the fonts of the machine.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/default_fonts.h"

namespace fontfix {

typedef std::vector<uint8_t> Bytes;

inline void Put16(Bytes &b, uint32_t v) { b.push_back((uint8_t)(v >> 8)); b.push_back((uint8_t)v); }
inline void Put32(Bytes &b, uint32_t v) { Put16(b, v >> 16); Put16(b, v & 0xFFFF); }
inline void Set16(Bytes &b, size_t at, uint32_t v) { b[at] = (uint8_t)(v >> 8); b[at + 1] = (uint8_t)v; }
inline void Set32(Bytes &b, size_t at, uint32_t v) { Set16(b, at, v >> 16); Set16(b, at + 2, v & 0xFFFF); }
inline uint32_t Get32(const Bytes &b, size_t at)
{
    return (uint32_t)b[at] << 24 | (uint32_t)b[at + 1] << 16 | (uint32_t)b[at + 2] << 8 | b[at + 3];
}

inline bool WriteFile(const std::string &path, const Bytes &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// One record of a name table.
struct NameRecord {
    uint32_t platform, encoding, language, nameId;
    std::string text;           // Latin-1; Windows records are written as UTF-16BE
};

inline Bytes NameTable(const std::vector<NameRecord> &records)
{
    Bytes table, strings;
    Put16(table, 0);
    Put16(table, (uint32_t)records.size());
    Put16(table, 6 + 12 * (uint32_t)records.size());
    for (const NameRecord &r : records) {
        Bytes s;
        for (unsigned char c : r.text) {
            if (r.platform == 3) s.push_back(0);
            s.push_back(c);
        }
        Put16(table, r.platform);
        Put16(table, r.encoding);
        Put16(table, r.language);
        Put16(table, r.nameId);
        Put16(table, (uint32_t)s.size());
        Put16(table, (uint32_t)strings.size());
        strings.insert(strings.end(), s.begin(), s.end());
    }
    table.insert(table.end(), strings.begin(), strings.end());
    return table;
}

// Family and style in Macintosh and Windows English records.
inline std::vector<NameRecord> FamilyStyle(const std::string &family, const std::string &style)
{
    return {{1, 0, 0, 1, family}, {1, 0, 0, 2, style}, {1, 0, 0, 4, family + " " + style},
            {3, 1, 0x409, 1, family}, {3, 1, 0x409, 2, style}, {3, 1, 0x409, 4, family + " " + style}};
}

// The default sans font with a new name table appended and its directory entry moved there.
inline Bytes RenamedDefaultFont(const std::vector<NameRecord> &names)
{
    const DefaultFont &f = DefaultFonts[0];
    Bytes font(f.data, f.data + f.length);
    while (font.size() % 4) font.push_back(0);
    Bytes table = NameTable(names);
    uint32_t count = (uint32_t)font[4] << 8 | font[5];
    for (uint32_t i = 0; i < count; i++) {
        size_t entry = 12 + 16 * (size_t)i;
        if (memcmp(&font[entry], "name", 4) == 0) {
            Set32(font, entry + 8, (uint32_t)font.size());
            Set32(font, entry + 12, (uint32_t)table.size());
        }
    }
    font.insert(font.end(), table.begin(), table.end());
    return font;
}

// A collection holding one face.
inline Bytes CollectionOf(const Bytes &face)
{
    Bytes ttc;
    ttc.insert(ttc.end(), {'t', 't', 'c', 'f'});
    Put32(ttc, 0x00010000);
    Put32(ttc, 1);
    Put32(ttc, 16);
    Bytes copy = face;
    uint32_t count = (uint32_t)copy[4] << 8 | copy[5];
    for (uint32_t i = 0; i < count; i++) Set32(copy, 12 + 16 * i + 8, Get32(copy, 12 + 16 * i + 8) + 16);
    ttc.insert(ttc.end(), copy.begin(), copy.end());
    return ttc;
}

// A resource file: 256 bytes of header, then the face as a length-prefixed resource, then a map.
inline Bytes ResourceFileOf(const Bytes &face)
{
    Bytes r(256, 0);
    Set32(r, 0, 256);
    Set32(r, 4, 256 + 4 + (uint32_t)face.size());
    Set32(r, 8, 4 + (uint32_t)face.size());
    Set32(r, 12, 30);
    Put32(r, (uint32_t)face.size());
    r.insert(r.end(), face.begin(), face.end());
    Bytes map(30, 0xEE);    // not a resource: its first word reads as a length beyond the file
    r.insert(r.end(), map.begin(), map.end());
    return r;
}

// An sfnt of nothing but a name table.
inline Bytes NamesOnlyFace(const std::vector<NameRecord> &names)
{
    Bytes f;
    Put32(f, 0x00010000);
    Put16(f, 1);
    Put16(f, 16);
    Put16(f, 0);
    Put16(f, 0);
    f.insert(f.end(), {'n', 'a', 'm', 'e'});
    Put32(f, 0);
    Put32(f, 28);
    Bytes table = NameTable(names);
    Put32(f, (uint32_t)table.size());
    f.insert(f.end(), table.begin(), table.end());
    return f;
}

// ---------------------------------------------------------------------------------------------
// Disk bitmap fonts

struct DiskFont {
    int ySize = 8, xSize = 8, baseline = 6, low = 'A', high = 'C', flags = 0, style = 0;
    int modulo = 4;
    std::vector<uint8_t> strip;           // ySize rows of modulo bytes
    std::vector<uint32_t> locations;      // high - low + 2
    std::vector<int16_t> spacing, kerning;
    // Colour fonts (style 64): planes of ySize x modulo bytes, colours 0x0RGB.
    int depth = 0, planePick = 0;
    std::vector<std::vector<uint8_t>> planes;
    std::vector<uint16_t> colours;
};

// The size file of a disk font (a hunk file whose data start at byte 32).
inline Bytes SizeFile(const DiskFont &d)
{
    Bytes b(186, 0);
    Set16(b, 50, 0x0f80);
    auto data = [&](const Bytes &block) {
        uint32_t ptr = (uint32_t)b.size() - 32;
        b.insert(b.end(), block.begin(), block.end());
        return ptr;
    };
    Set16(b, 110, (uint32_t)d.ySize);
    b[112] = (uint8_t)d.style;
    b[113] = (uint8_t)d.flags;
    Set16(b, 114, (uint32_t)d.xSize);
    Set16(b, 116, (uint32_t)d.baseline);
    b[122] = (uint8_t)d.low;
    b[123] = (uint8_t)d.high;
    Set16(b, 128, (uint32_t)d.modulo);
    if (!d.strip.empty()) Set32(b, 124, data(Bytes(d.strip)));
    Bytes loc;
    for (uint32_t l : d.locations) Put32(loc, l);
    Set32(b, 130, data(loc));
    if (!d.spacing.empty()) {
        Bytes s;
        for (int16_t v : d.spacing) Put16(s, (uint16_t)v);
        Set32(b, 134, data(s));
    }
    if (!d.kerning.empty()) {
        Bytes k;
        for (int16_t v : d.kerning) Put16(k, (uint16_t)v);
        Set32(b, 138, data(k));
    }
    if (d.style & 64) {
        b[144] = (uint8_t)d.depth;
        b[148] = (uint8_t)d.planePick;
        Bytes colours;
        for (uint16_t c : d.colours) Put16(colours, c);
        uint32_t coloursPtr = data(colours);
        Bytes table;
        Put16(table, 0);
        Put16(table, (uint32_t)d.colours.size());
        Put32(table, coloursPtr);
        Set32(b, 150, data(table));
        for (size_t i = 0; i < d.planes.size(); i++) Set32(b, 154 + 4 * i, data(Bytes(d.planes[i])));
    }
    return b;
}

// A contents file listing (size file name, y size) entries.
inline Bytes ContentsFile(uint32_t id, const std::vector<std::pair<std::string, int>> &entries)
{
    Bytes b;
    Put16(b, id);
    Put16(b, (uint32_t)entries.size());
    for (const auto &e : entries) {
        Bytes name(256, 0);
        memcpy(name.data(), e.first.data(), e.first.size());
        b.insert(b.end(), name.begin(), name.end());
        Put16(b, (uint32_t)e.second);
        Put16(b, 0);
    }
    return b;
}

// A proportional font of the characters A, B, C: A is 3 pixels wide (a filled block), B 2, C 4,
// each glyph a solid block of its width; spacing A 4, B 3, C 5, the last glyph 2 wide (advance 3);
// kerning A -1, B 0, C 1.
inline DiskFont ProportionalFont()
{
    DiskFont d;
    d.flags = 0x20;
    d.modulo = 2;
    // Strip columns: A at 0..2, B at 3..4, C at 5..8, last glyph at 9..10.
    d.strip.assign((size_t)d.ySize * d.modulo, 0);
    for (int row = 0; row < d.ySize; row++) {
        d.strip[(size_t)row * 2] = 0xFF;        // columns 0-7
        d.strip[(size_t)row * 2 + 1] = 0xE0;    // columns 8-10
    }
    d.locations = {0u << 16 | 3, 3u << 16 | 2, 5u << 16 | 4, 9u << 16 | 2};
    d.spacing = {4, 3, 5, 3};
    d.kerning = {-1, 0, 1, 0};
    return d;
}

// A colour font of A and B (and the last glyph), 2 planes: every pixel of A has index 1, of B
// index 2, of the last glyph index 0; the colour table gives index 0 a colour (white) too.
inline DiskFont ColourFont()
{
    DiskFont d;
    d.style = 64;
    d.low = 'A';
    d.high = 'B';
    d.modulo = 2;
    d.ySize = 4;
    d.baseline = 3;
    d.xSize = 4;
    d.depth = 2;
    d.planePick = 3;
    d.locations = {0u << 16 | 4, 4u << 16 | 4, 8u << 16 | 4};
    std::vector<uint8_t> p0(8, 0), p1(8, 0);
    for (int row = 0; row < 4; row++) {
        p0[(size_t)row * 2] = 0xF0;    // A: plane 0 only -> index 1
        p1[(size_t)row * 2] = 0x0F;    // B: plane 1 only -> index 2
    }
    d.planes = {p0, p1};
    d.colours = {0xFFF, 0xF00, 0x0F0};
    return d;
}

// Writes a disk font "name" with its size files into folder: name.font and name/SIZE.
inline bool WriteDiskFont(const std::string &folder, const std::string &name, const std::vector<int> &sizes,
                          const DiskFont &font, uint32_t contentsId = 0x0f00)
{
    mkdir(folder.c_str(), 0755);
    mkdir((folder + "/" + name).c_str(), 0755);
    std::vector<std::pair<std::string, int>> entries;
    for (int s : sizes) {
        entries.push_back({name + "/" + std::to_string(s), s});
        if (!WriteFile(folder + "/" + name + "/" + std::to_string(s), SizeFile(font))) return false;
    }
    return WriteFile(folder + "/" + name + ".font", ContentsFile(contentsId, entries));
}

// ---------------------------------------------------------------------------------------------
// The test font folder

// Family names of the test faces.
#define KV_TEST_SANS "Kestrel Test Sans"
#define KV_TEST_COLLECTION "Kestrel Collection"
#define KV_TEST_RESOURCE "Kestrel Resource"

// Writes the faces into dir/faces and dir/fonts.conf naming that one folder (and a cache folder
// of its own). Returns the configuration's path, or "" on failure.
inline std::string WriteTestFontFolder(const std::string &dir)
{
    mkdir(dir.c_str(), 0755);
    std::string faces = dir + "/faces";
    mkdir(faces.c_str(), 0755);
    bool ok = WriteFile(faces + "/KestrelSans.ttf", RenamedDefaultFont(FamilyStyle(KV_TEST_SANS, "Regular"))) &&
              WriteFile(faces + "/KestrelCollection.ttc",
                        CollectionOf(RenamedDefaultFont(FamilyStyle(KV_TEST_COLLECTION, "Bold")))) &&
              WriteFile(faces + "/KestrelResource.dfont",
                        ResourceFileOf(RenamedDefaultFont(FamilyStyle(KV_TEST_RESOURCE, "Italic")))) &&
              WriteFile(faces + "/NamesOnly.ttf",
                        NamesOnlyFace({{3, 1, 0x407, 1, "Deutsch"}, {3, 1, 0x409, 1, "Kestrel Names"},
                                       {3, 1, 0x409, 2, "Light Oblique"}})) &&
              WriteDiskFont(faces, "kestrel", {8, 11, 8}, ProportionalFont());
    std::string conf = dir + "/fonts.conf";
    std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
                       "  <dir>" + faces + "</dir>\n  <cachedir>" + dir + "/cache</cachedir>\n</fontconfig>\n";
    ok = ok && WriteFile(conf, Bytes(text.begin(), text.end()));
    return ok ? conf : "";
}

// A fresh folder under the build tree for one test program, with the font folder written and
// FONTCONFIG_FILE pointing at it (call before the first font lookup).
inline std::string UseTestFontFolder(const char *binaryDir, const char *programName)
{
    std::string dir = std::string(binaryDir) + "/test-fonts-" + programName;
    std::string conf = WriteTestFontFolder(dir);
    setenv("FONTCONFIG_FILE", conf.c_str(), 1);
    return dir;
}

}  // namespace fontfix

// Applet containers: "KVA\0" and one-byte-tagged sections (big-endian numbers), the packed
// form ("KVZ\0", four zero bytes, one zlib stream) and applets appended to the player.
#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "tools/kvasm/kvasm_lib.h"

void AsmPutU8(std::vector<uint8_t> *b, uint32_t v) { b->push_back((uint8_t)v); }
void AsmPutU16(std::vector<uint8_t> *b, uint32_t v) {
  b->push_back((uint8_t)(v >> 8));
  b->push_back((uint8_t)v);
}
void AsmPutU32(std::vector<uint8_t> *b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b->push_back((uint8_t)(v >> s));
}

namespace {

void Text(std::vector<uint8_t> *b, const std::string &s) {
  b->insert(b->end(), s.begin(), s.end());
  b->push_back(0);
}
void Section(std::vector<uint8_t> *out, int tag, const std::vector<uint8_t> &body) {
  out->push_back((uint8_t)tag);
  out->insert(out->end(), body.begin(), body.end());
}

// The AppletLocator compiled into the player: "KVZ\0", four zero bytes, the maker's name
// padded to 32 bytes, the offset word 0xdeadc0de (none appended), c0 de ca fe c0 ca c0 1a, 0.
void LocatorPattern(uint8_t *p) {
  memset(p, 0, 53);
  memcpy(p, "KVZ", 4);
  memcpy(p + 8, "Quorvane", 8);
  static const uint8_t tail[13] = {0xde, 0xad, 0xc0, 0xde, 0xc0, 0xde, 0xca, 0xfe, 0xc0, 0xca, 0xc0, 0x1a, 0x00};
  memcpy(p + 40, tail, 13);
}

}  // namespace

int AsmReadFile(const std::string &path, std::vector<uint8_t> *out) {
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return 1;
  out->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  int bad = ferror(f);
  fclose(f);
  return bad ? 1 : 0;
}

int AsmWriteFile(const std::string &path, const std::vector<uint8_t> &data) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return 1;
  size_t n = data.empty() ? 0 : fwrite(data.data(), 1, data.size(), f);
  int bad = n != data.size();
  if (fclose(f) != 0) bad = 1;
  return bad;
}

int AsmVersionWritten(const AsmProgram *prog) { return prog->versionGiven || !prog->noAuto; }

int AsmBuildApplet(AsmProgram *prog, const std::vector<uint8_t> &bytecode, std::vector<uint8_t> *out,
                   std::string *err) {
  out->clear();
  out->insert(out->end(), {'K', 'V', 'A', 0});
  if (AsmVersionWritten(prog)) {
    std::vector<uint8_t> b;
    AsmPutU8(&b, (uint32_t)prog->verMajor);
    AsmPutU8(&b, (uint32_t)prog->verMinor);
    Section(out, 0x0a, b);
  }
  for (const AsmSection &s : prog->sections) Section(out, s.tag, s.body);
  if (!prog->decls.empty()) {
    // names and linked data live in a skipped section just before the declarations
    std::vector<uint8_t> blob;
    size_t blobStart = out->size() + 5;
    std::vector<uint32_t> nameOff, linkOff, linkSize;
    for (const AsmDecl &d : prog->decls) {
      nameOff.push_back((uint32_t)(blobStart + blob.size()));
      Text(&blob, d.file);
      uint32_t lo = 0, ls = 0;
      if (d.linkData) {
        std::vector<uint8_t> data;
        std::string path = d.file;
        if (!path.empty() && path[0] != '/') path = prog->dirName + path;
        if (AsmReadFile(path, &data)) {
          *err = prog->fileName + ": cannot read linked file " + path;
          return 1;
        }
        lo = (uint32_t)(blobStart + blob.size());
        ls = (uint32_t)data.size();
        blob.insert(blob.end(), data.begin(), data.end());
      }
      linkOff.push_back(lo);
      linkSize.push_back(ls);
    }
    std::vector<uint8_t> b;
    AsmPutU32(&b, (uint32_t)blob.size());
    b.insert(b.end(), blob.begin(), blob.end());
    Section(out, 0x00, b);
    b.clear();
    AsmPutU32(&b, (uint32_t)prog->decls.size());
    for (size_t i = 0; i < prog->decls.size(); i++) {
      const AsmDecl &d = prog->decls[i];
      AsmPutU8(&b, (uint32_t)d.type);
      AsmPutU32(&b, d.id);
      AsmPutU32(&b, nameOff[i]);
      AsmPutU32(&b, (uint32_t)d.file.size() + 1);
      AsmPutU32(&b, linkOff[i]);
      AsmPutU32(&b, linkSize[i]);
      AsmPutU32(&b, d.param1);
      AsmPutU32(&b, d.param2);
      AsmPutU32(&b, d.line);
      b.insert(b.end(), d.block.begin(), d.block.end());
    }
    Section(out, 0x02, b);
  }
  if (!prog->links.empty()) {
    std::vector<uint8_t> b;
    AsmPutU32(&b, (uint32_t)prog->links.size());
    AsmPutU32(&b, 0);
    for (const AsmLink &l : prog->links) {
      Text(&b, l.name);
      AsmPutU32(&b, (uint32_t)l.data.size());
      b.insert(b.end(), l.data.begin(), l.data.end());
    }
    Section(out, 0x1a, b);
  }
  if (!prog->noAuto) {
    // one source range: line n of the text is line n in error reports
    std::vector<uint8_t> b;
    AsmPutU32(&b, 1);
    AsmPutU32(&b, 1);
    AsmPutU32(&b, (uint32_t)(prog->lineCount > 0 ? prog->lineCount : 1));
    AsmPutU32(&b, 0);
    Text(&b, prog->fileName);
    Text(&b, prog->sourceName);
    Section(out, 0x1b, b);
  }
  if (!prog->exports.empty()) {
    std::vector<uint8_t> b;
    AsmPutU32(&b, (uint32_t)prog->exports.size());
    for (const AsmExport &e : prog->exports) {
      AsmPutU32(&b, e.value);
      Text(&b, e.name);
    }
    Section(out, 0x09, b);
  }
  std::vector<uint8_t> b;
  AsmPutU32(&b, (uint32_t)bytecode.size());
  b.insert(b.end(), bytecode.begin(), bytecode.end());
  Section(out, 0x01, b);
  out->insert(out->end(), prog->tail.begin(), prog->tail.end());
  return 0;
}

int AsmPack(const std::vector<uint8_t> &applet, std::vector<uint8_t> *out, std::string *err) {
  uLongf size = compressBound((uLong)applet.size());
  out->assign(8 + size, 0);
  memcpy(out->data(), "KVZ", 4);
  if (compress2(out->data() + 8, &size, applet.data(), (uLong)applet.size(), Z_DEFAULT_COMPRESSION) != Z_OK) {
    *err = "zlib compression failed";
    return 1;
  }
  out->resize(8 + size);
  return 0;
}

int AsmUnpack(const std::vector<uint8_t> &packed, size_t offset, std::vector<uint8_t> *out, std::string *err) {
  if (packed.size() < offset + 8 || memcmp(packed.data() + offset, "KVZ", 4) != 0) {
    *err = "not a packed applet";
    return 1;
  }
  z_stream zs;
  memset(&zs, 0, sizeof zs);
  if (inflateInit(&zs) != Z_OK) {
    *err = "zlib initialisation failed";
    return 1;
  }
  zs.next_in = (Bytef *)packed.data() + offset + 8;
  zs.avail_in = (uInt)(packed.size() - offset - 8);
  out->clear();
  uint8_t buf[16384];
  int rc;
  do {
    zs.next_out = buf;
    zs.avail_out = sizeof buf;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    out->insert(out->end(), buf, buf + (sizeof buf - zs.avail_out));
  } while (rc != Z_STREAM_END);
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) {
    *err = "invalid or incomplete zlib stream";
    return 1;
  }
  return 0;
}

int AsmAppend(const std::vector<uint8_t> &player, const std::vector<uint8_t> &applet, std::vector<uint8_t> *out,
              std::string *err) {
  uint8_t pat[53];
  LocatorPattern(pat);
  size_t found = 0, at = 0;
  for (size_t i = 0; i + 53 <= player.size(); i++) {
    if (player[i] == 'K' && memcmp(player.data() + i, pat, 53) == 0) {
      found++;
      at = i;
    }
  }
  if (found != 1) {
    *err = found ? "the player holds more than one applet locator" : "no free applet locator in the player";
    return 1;
  }
  if (player.size() > 0xffffffffu) {
    *err = "player too large";
    return 1;
  }
  *out = player;
  uint32_t off = (uint32_t)player.size();
  (*out)[at + 40] = (uint8_t)(off >> 24);
  (*out)[at + 41] = (uint8_t)(off >> 16);
  (*out)[at + 42] = (uint8_t)(off >> 8);
  (*out)[at + 43] = (uint8_t)off;
  out->insert(out->end(), applet.begin(), applet.end());
  return 0;
}

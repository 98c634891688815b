// Byte-order conversion of a whole chunk (little-endian <-> big-endian), field by field.
#include "tools/kvasm/kvasm_lib.h"

namespace {

struct Walk {
  const std::vector<uint8_t> *in;
  size_t pos;
  int srcBig;
  std::vector<uint8_t> *out;
  int bad;
};

// Copies an n-byte field reversed; returns its value as read in the source order.
uint64_t Field(Walk *w, int n) {
  if (w->bad || w->pos + (size_t)n > w->in->size()) {
    w->bad = 1;
    return 0;
  }
  uint64_t v = 0;
  for (int i = 0; i < n; i++) {
    uint8_t b = (*w->in)[w->pos + (size_t)i];
    if (w->srcBig) v = (v << 8) | b;
    else v |= (uint64_t)b << (8 * i);
  }
  for (int i = n - 1; i >= 0; i--) w->out->push_back((*w->in)[w->pos + (size_t)i]);
  w->pos += (size_t)n;
  return v;
}

void Bytes(Walk *w, uint64_t n) {
  if (w->bad || n > w->in->size() - w->pos) {
    w->bad = 1;
    return;
  }
  w->out->insert(w->out->end(), w->in->begin() + (long)w->pos, w->in->begin() + (long)(w->pos + n));
  w->pos += n;
}

void String(Walk *w) { Bytes(w, Field(w, 4)); }

void Function(Walk *w, int depth) {
  if (depth > 250) { w->bad = 1; return; }
  String(w);
  Field(w, 4);
  Bytes(w, 4);
  uint64_t n = Field(w, 4);
  for (uint64_t i = 0; i < n && !w->bad; i++) Field(w, 4);
  n = Field(w, 4);
  for (uint64_t i = 0; i < n && !w->bad; i++) { String(w); Field(w, 4); Field(w, 4); }
  n = Field(w, 4);
  for (uint64_t i = 0; i < n && !w->bad; i++) String(w);
  n = Field(w, 4);
  for (uint64_t i = 0; i < n && !w->bad; i++) {
    if (w->pos >= w->in->size()) { w->bad = 1; break; }
    uint8_t t = (*w->in)[w->pos];
    Bytes(w, 1);
    if (t == 3) Field(w, 8);
    else if (t == 4) String(w);
    else if (t != 0) w->bad = 1;
  }
  n = Field(w, 4);
  for (uint64_t i = 0; i < n && !w->bad; i++) Function(w, depth + 1);
  n = Field(w, 4);
  for (uint64_t i = 0; i < n && !w->bad; i++) Field(w, 4);
}

}  // namespace

int AsmSwapChunk(const std::vector<uint8_t> &in, std::vector<uint8_t> *out, std::string *err) {
  out->clear();
  if (in.size() < 21 || in[0] != 0x1b || in[1] != 'K' || in[2] != 'V' || in[3] != 'B') {
    *err = "not a bytecode chunk";
    return 1;
  }
  Walk w = {&in, 0, in[4] != 1, out, 0};
  Bytes(&w, 4);
  out->push_back(w.srcBig ? 1 : 0);
  w.pos++;
  Bytes(&w, 8);
  Field(&w, 8);
  Function(&w, 0);
  if (w.bad) {
    *err = "malformed chunk";
    return 1;
  }
  Bytes(&w, in.size() - w.pos);  // anything behind the chunk stays as it is
  return 0;
}

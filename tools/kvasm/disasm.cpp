// Disassembler: bytecode (loaded through lua_load, so it passed the checker) back to kvasm
// text that reassembles to the same bytes. Applets keep their other sections as raw
// .section lines.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/vm/api.h"
#include "runtime/vm/bytecode.h"
#include "tools/kvasm/kvasm_lib.h"

namespace {

std::string Quote(const std::string &s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    if (c == '"') r += "\\\"";
    else if (c == '\\') r += "\\\\";
    else if (c >= 32 && c < 127) r += (char)c;
    else {
      char b[8];
      snprintf(b, sizeof b, "\\x%02x", c);
      r += b;
    }
  }
  return r + "\"";
}

std::string Hex(const uint8_t *p, size_t n) {
  std::string r = "hex\"";
  char b[4];
  for (size_t i = 0; i < n; i++) {
    snprintf(b, sizeof b, "%02x", p[i]);
    r += b;
  }
  return r + "\"";
}

std::string NumText(double x) {
  if (std::isnan(x)) {
    uint64_t bits;
    memcpy(&bits, &x, sizeof bits);
    char b[40];
    snprintf(b, sizeof b, "numbits(0x%016llx)", (unsigned long long)bits);
    return b;
  }
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  char b[40];
  snprintf(b, sizeof b, "%.17g", x);
  return b;
}

AsmConst ToConst(const TObject *o) {
  AsmConst k;
  k.kind = ttype(o);
  k.num = 0;
  if (k.kind == LUA_TNUMBER) k.num = nvalue(o);
  else if (k.kind == LUA_TSTRING) k.str.assign(svalue(o), tsvalue(o)->len);
  else k.kind = 0;
  return k;
}

// A constant operand: its literal when the assembler's pooling finds this very index.
std::string KText(const Proto *f, int idx) {
  AsmConst k = ToConst(&f->k[idx]);
  for (int i = 0; i < idx; i++)
    if (AsmSameConst(ToConst(&f->k[i]), k)) return "k" + std::to_string(idx);
  return AsmConstText(k);
}

std::string RK(const Proto *f, int x) {
  if (ISK(x)) return KText(f, INDEXK(x));
  return "r" + std::to_string(x);
}

std::string R(int x) { return "r" + std::to_string(x); }
std::string Count(int field) { return field == 0 ? "*" : std::to_string(field - 1); }

// Fields an opcode uses; an instruction with bits set elsewhere is written as a raw word.
Instruction UsedMask(int op) {
  const Instruction A = MASK1(SIZE_A, POS_A), B = MASK1(SIZE_B, POS_B), C = MASK1(SIZE_C, POS_C);
  const Instruction O = MASK1(SIZE_OP, POS_OP), BX = MASK1(SIZE_Bx, POS_Bx);
  switch (op) {
    case OP_MOVE: case OP_LOADNIL: case OP_GETUPVAL: case OP_SETUPVAL:
    case OP_UNM: case OP_NOT: case OP_BNOT:
      return O | A | B;
    case OP_LOADK: case OP_GETGLOBAL: case OP_SETGLOBAL: case OP_SETLIST: case OP_SETLISTO:
    case OP_CLOSURE: case OP_FORLOOP: case OP_TFORPREP:
      return O | A | BX;
    case OP_JMP:
      return 0xffffffffu;
    case OP_TFORLOOP:
      return O | A | C;
    case OP_CLOSE:
      return O | A;
    default:
      return O | A | B | C;
  }
}

struct Dis {
  std::string out;
  int fnCounter;
};

void Line(Dis *d, const std::string &s) {
  d->out += s;
  d->out += '\n';
}

void Function(Dis *d, const Proto *f, const Proto *parent, const std::string &name) {
  std::string attrs = " params=" + std::to_string(f->numparams) + " stack=" + std::to_string(f->maxstacksize) +
                      " line=" + std::to_string(f->lineDefined);
  if (f->is_vararg) attrs += " vararg=" + std::to_string(f->is_vararg);
  if (f->sizeupvalues == 0 && f->nups) attrs += " upvals=" + std::to_string(f->nups);
  if (f->sizelineinfo == 0) attrs += " nolines";
  Line(d, parent ? ".func " + name + attrs : ".main" + attrs);
  if (!parent || f->source != parent->source) {
    if (f->source) Line(d, ".source " + Quote(std::string(getstr(f->source), f->source->len)));
  }
  for (int i = 0; i < f->sizeupvalues; i++)
    Line(d, ".upval " + Quote(std::string(getstr(f->upvalues[i]), f->upvalues[i]->len)));
  for (int i = 0; i < f->sizek; i++) Line(d, ".const " + AsmConstText(ToConst(&f->k[i])));
  for (int i = 0; i < f->sizelocvars; i++)
    Line(d, ".local " + Quote(std::string(getstr(f->locvars[i].varname), f->locvars[i].varname->len)) + " " +
                std::to_string(f->locvars[i].startpc) + " " + std::to_string(f->locvars[i].endpc));
  std::vector<int> isTarget((size_t)f->sizecode + 1, 0);
  for (int pc = 0; pc < f->sizecode; pc++) {
    Instruction i = f->code[pc];
    int op = GET_OPCODE(i);
    if (op == OP_JMP) isTarget[(size_t)(pc + 1 + GETARG_sJ(i))] = 1;
    if (op == OP_FORLOOP || op == OP_TFORPREP) isTarget[(size_t)(pc + 1 + GETARG_sBx(i))] = 1;
  }
  std::vector<std::string> childNames;
  for (int i = 0; i < f->sizep; i++) childNames.push_back("f" + std::to_string(++d->fnCounter));
  long lastLine = -1;
  for (int pc = 0; pc < f->sizecode; pc++) {
    Instruction i = f->code[pc];
    int op = GET_OPCODE(i);
    if (isTarget[(size_t)pc]) Line(d, "L" + std::to_string(pc) + ":");
    if (f->sizelineinfo && f->lineinfo[pc] != lastLine) {
      lastLine = f->lineinfo[pc];
      Line(d, ".line " + std::to_string(f->lineinfo[pc]));
    }
    int a = GETARG_A(i), b = GETARG_B(i), c = GETARG_C(i), bx = GETARG_Bx(i);
    std::string t;
    if (op >= NUM_OPCODES || (i & ~UsedMask(op)) != 0) {
      char buf[40];
      snprintf(buf, sizeof buf, ".word 0x%08x", (unsigned)i);
      t = buf;
    } else {
      std::string mn = luaP_opname(op);
      for (char &ch : mn) ch = (char)tolower((unsigned char)ch);
      switch (op) {
        case OP_MOVE: case OP_LOADNIL: case OP_UNM: case OP_NOT: case OP_BNOT:
          t = mn + " " + R(a) + ", " + R(b);
          break;
        case OP_LOADK: case OP_GETGLOBAL: case OP_SETGLOBAL:
          t = mn + " " + R(a) + ", " + KText(f, bx);
          break;
        case OP_LOADBOOL: case OP_NEWTABLE:
          t = mn + " " + R(a) + ", " + std::to_string(b) + ", " + std::to_string(c);
          break;
        case OP_GETUPVAL: case OP_SETUPVAL:
          t = mn + " " + R(a) + ", u" + std::to_string(b);
          break;
        case OP_GETTABLE: case OP_SELF:
          t = mn + " " + R(a) + ", " + R(b) + ", " + RK(f, c);
          break;
        case OP_CONCAT:
          t = mn + " " + R(a) + ", " + R(b) + ", " + R(c);
          break;
        case OP_JMP: {
          t = "jmp L" + std::to_string(pc + 1 + GETARG_sJ(i));
          if (GETARG_G(i)) t += ", " + std::to_string(GETARG_G(i));
          break;
        }
        case OP_EQ: case OP_LT: case OP_LE:
          t = mn + " " + std::to_string(a) + ", " + RK(f, b) + ", " + RK(f, c);
          break;
        case OP_TEST:
          t = mn + " " + R(a) + ", " + R(b) + ", " + std::to_string(c);
          break;
        case OP_CALL: case OP_TAILCALL:
          t = mn + " " + R(a) + ", " + Count(b) + ", " + Count(c);
          break;
        case OP_RETURN:
          t = mn + " " + R(a) + ", " + Count(b) + ", " + std::to_string(c);
          break;
        case OP_FORLOOP: case OP_TFORPREP:
          t = mn + " " + R(a) + ", L" + std::to_string(pc + 1 + GETARG_sBx(i));
          break;
        case OP_TFORLOOP:
          t = mn + " " + R(a) + ", " + std::to_string(c + 1);
          break;
        case OP_SETLIST:
          t = mn + " " + R(a) + ", " + std::to_string(bx & ~31) + ", " + std::to_string((bx & 31) + 1);
          break;
        case OP_SETLISTO:
          t = mn + " " + R(a) + ", " + std::to_string(bx);
          break;
        case OP_CLOSE:
          t = mn + " " + R(a);
          break;
        case OP_CLOSURE:
          t = mn + " " + R(a) + ", " + childNames[(size_t)bx] + ", raw";
          break;
        default:  // arithmetic
          t = mn + " " + R(a) + ", " + RK(f, b) + ", " + RK(f, c);
          break;
      }
    }
    Line(d, "  " + t);
  }
  for (int i = 0; i < f->sizep; i++) {
    Function(d, f->p[i], f, childNames[(size_t)i]);
    Line(d, ".end");
  }
}

int DisBytecode(const uint8_t *p, size_t n, Dis *d, std::string *err) {
  lua_State *L = lua_open();
  if (!L) {
    *err = "cannot create the interpreter state";
    return 1;
  }
  int code = AsmLoadChunk(L, p, n, "?");
  if (code) {
    lua_close(L);
    *err = "the loader refuses this bytecode (error " + std::to_string(code) + ")";
    return 1;
  }
  const Proto *f = clvalue(L->top - 1)->l.p;
  if (n > 4 && p[4] != 1) Line(d, "; big-endian bytecode: assemble with --big-endian");
  Function(d, f, nullptr, "main");
  lua_close(L);
  return 0;
}

// Sizes of applet sections, as the player reads them.
struct SecReader {
  const std::vector<uint8_t> *b;
  size_t pos;
  int bad;
  int major, minor;
};

uint32_t RU(SecReader *s, int n) {
  if (s->bad || s->pos + (size_t)n > s->b->size()) { s->bad = 1; return 0; }
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v = (v << 8) | (*s->b)[s->pos++];
  return v;
}
void Skip(SecReader *s, uint64_t n) {
  if (s->bad || n > s->b->size() - s->pos) { s->bad = 1; return; }
  s->pos += (size_t)n;
}
void SkipText(SecReader *s) {
  while (!s->bad) {
    if (s->pos >= s->b->size()) { s->bad = 1; return; }
    if ((*s->b)[s->pos++] == 0) return;
  }
}

void SkipDeclaration(SecReader *s) {
  int type = (int)RU(s, 1);
  Skip(s, 32);
  switch (type) {
    case 0: if (s->major == 4 && s->minor == 7) Skip(s, 23); break;
    case 1: Skip(s, 10); break;
    case 2:
      if (s->major > 2) Skip(s, 1);
      if (AsmVersionAtLeast(s->major, s->minor, 4, 1)) Skip(s, 12);
      break;
    case 5: Skip(s, 8); break;
    case 7: Skip(s, 12); break;
    case 10: {
      Skip(s, 40);
      for (int l = 0; l < 2 && !s->bad; l++) Skip(s, (uint64_t)RU(s, 4) * 20);
      Skip(s, RU(s, 2));
      if (s->major == 4 && s->minor == 7) Skip(s, 19);
      break;
    }
    default: break;
  }
}

// Skips one section body; returns 0 when the tag is unknown.
int SkipSection(SecReader *s, int tag) {
  uint32_t n;
  switch (tag) {
    case 0x00: Skip(s, RU(s, 4)); break;
    case 0x02: n = RU(s, 4); for (uint32_t i = 0; i < n && !s->bad; i++) SkipDeclaration(s); break;
    case 0x03: case 0x05: case 0x16: Skip(s, 4); break;
    case 0x04: Skip(s, RU(s, 2)); break;
    case 0x06: Skip(s, 8); break;
    case 0x07: case 0x1d: break;
    case 0x08: case 0x1b:
      n = RU(s, 4);
      for (uint32_t i = 0; i < n && !s->bad; i++) {
        Skip(s, 12);
        SkipText(s);
        if (tag == 0x1b) SkipText(s);
      }
      break;
    case 0x09: n = RU(s, 4); for (uint32_t i = 0; i < n && !s->bad; i++) { Skip(s, 4); SkipText(s); } break;
    case 0x0a: s->major = (int)RU(s, 1); s->minor = (int)RU(s, 1); break;
    case 0x0b: case 0x0c: case 0x0d: case 0x0e: case 0x0f: SkipText(s); break;
    case 0x10: case 0x12: case 0x13: case 0x14: case 0x15: case 0x17: case 0x18: case 0x19: case 0x1e: Skip(s, 1); break;
    case 0x11: {
      uint32_t kind = RU(s, 1);
      if (kind == 1 || kind == 3) Skip(s, 4);
      else if (kind == 2) Skip(s, 8);
      else if (kind == 4) { Skip(s, 20); if (AsmVersionAtLeast(s->major, s->minor, 3, 2)) Skip(s, 1); }
      break;
    }
    case 0x1a:
      n = RU(s, 4);
      Skip(s, 4);
      for (uint32_t i = 0; i < n && !s->bad; i++) {
        SkipText(s);
        uint32_t size = RU(s, 4);
        if (size == 0xffffffffu) Skip(s, 8);
        else Skip(s, size);
      }
      break;
    case 0x1c: Skip(s, 10); break;
    default: return 0;
  }
  return 1;
}

int DisApplet(const std::vector<uint8_t> &b, Dis *d, std::string *err) {
  Line(d, ".noauto");
  SecReader s = {&b, 4, 0, 0, 0};
  for (;;) {
    if (s.pos >= b.size()) {
      *err = "applet without a bytecode section";
      return 1;
    }
    size_t start = s.pos;
    int tag = b[s.pos++];
    if (tag == 0x01) {
      uint32_t n = RU(&s, 4);
      if (s.bad || n > b.size() - s.pos) {
        *err = "truncated bytecode section";
        return 1;
      }
      size_t code = s.pos;
      s.pos += n;
      if (s.pos < b.size()) Line(d, ".tail " + Hex(b.data() + s.pos, b.size() - s.pos));
      return DisBytecode(b.data() + code, n, d, err);
    }
    if (!SkipSection(&s, tag)) {
      *err = "unknown section " + std::to_string(tag);
      return 1;
    }
    if (s.bad) {
      *err = "truncated section " + std::to_string(tag);
      return 1;
    }
    char t[24];
    snprintf(t, sizeof t, ".section 0x%02x", tag);
    std::string line = t;
    if (s.pos > start + 1) line += " " + Hex(b.data() + start + 1, s.pos - start - 1);
    Line(d, line);
  }
}

}  // namespace

std::string AsmConstText(const AsmConst &k) {
  if (k.kind == 3) return NumText(k.num);
  if (k.kind == 4) return Quote(k.str);
  return "nil";
}

int AsmDisassemble(const std::vector<uint8_t> &image, const std::string &name, std::string *text, std::string *err) {
  Dis d;
  d.fnCounter = 0;
  d.out = "; disassembled from " + name + "\n";
  int rc;
  if (image.size() >= 4 && memcmp(image.data(), "\033KVB", 4) == 0) {
    rc = DisBytecode(image.data(), image.size(), &d, err);
  } else if (image.size() >= 4 && memcmp(image.data(), "KVA", 4) == 0) {
    rc = DisApplet(image, &d, err);
  } else if (image.size() >= 8 && memcmp(image.data(), "KVZ", 4) == 0) {
    std::vector<uint8_t> applet;
    if (AsmUnpack(image, 0, &applet, err)) return 1;
    if (applet.size() < 4 || memcmp(applet.data(), "KVA", 4) != 0) {
      *err = "packed file holds no applet";
      return 1;
    }
    d.out += "; packed applet: assemble with --pack\n";
    rc = DisApplet(applet, &d, err);
  } else {
    *err = "neither bytecode nor an applet";
    return 1;
  }
  if (rc) return 1;
  *text = d.out;
  return 0;
}

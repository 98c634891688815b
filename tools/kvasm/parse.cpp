// kvasm text front end: lines -> AsmProgram (functions, instructions, constants, debug
// information, labels, applet directives).
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tools/kvasm/kvasm_lib.h"

namespace {

// SETLIST stores fields in groups of this size.
const int LFIELDS = 32;

enum TokKind { T_END, T_IDENT, T_NUM, T_STR, T_HEX, T_CONSTNAME, T_PUNCT };

struct Tok {
  int kind;
  std::string text;  // identifier, string bytes, constant name, punctuation
  double num;
  int isInt;
  std::vector<uint8_t> bytes;  // hex"..."
};

struct Parser {
  AsmProgram *prog;
  AsmFunc *fn;
  int line;
  std::string err;
};

int Fail(Parser *ps, const std::string &msg) {
  if (ps->err.empty()) ps->err = ps->prog->fileName + ":" + std::to_string(ps->line) + ": " + msg;
  return 1;
}

std::string Lower(const std::string &s) {
  std::string r = s;
  for (char &c : r) c = (char)tolower((unsigned char)c);
  return r;
}

int HexVal(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits one line into tokens; stops at a ';' outside strings.
int Tokenize(Parser *ps, const std::string &s, std::vector<Tok> *out) {
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = (unsigned char)s[i];
    if (c == ';') break;
    if (isspace(c)) { i++; continue; }
    Tok t;
    t.kind = T_END;
    t.num = 0;
    t.isInt = 0;
    if (c == '"') {
      i++;
      std::string v;
      int closed = 0;
      while (i < n) {
        char d = s[i++];
        if (d == '"') { closed = 1; break; }
        if (d != '\\') { v += d; continue; }
        if (i >= n) break;
        char e = s[i++];
        switch (e) {
          case 'n': v += '\n'; break;
          case 't': v += '\t'; break;
          case 'r': v += '\r'; break;
          case 'a': v += '\a'; break;
          case 'b': v += '\b'; break;
          case 'f': v += '\f'; break;
          case 'v': v += '\v'; break;
          case '\\': v += '\\'; break;
          case '"': v += '"'; break;
          case '\'': v += '\''; break;
          case 'x': {
            int h1 = i < n ? HexVal(s[i]) : -1, h2 = i + 1 < n ? HexVal(s[i + 1]) : -1;
            if (h1 < 0 || h2 < 0) return Fail(ps, "bad \\x escape");
            v += (char)(h1 * 16 + h2);
            i += 2;
            break;
          }
          default:
            if (isdigit((unsigned char)e)) {
              int val = e - '0', cnt = 1;
              while (cnt < 3 && i < n && isdigit((unsigned char)s[i])) { val = val * 10 + (s[i++] - '0'); cnt++; }
              if (val > 255) return Fail(ps, "escape above 255");
              v += (char)val;
            } else {
              return Fail(ps, std::string("unknown escape \\") + e);
            }
        }
      }
      if (!closed) return Fail(ps, "unfinished string");
      t.kind = T_STR;
      t.text = v;
    } else if (c == 'h' && s.compare(i, 4, "hex\"") == 0) {
      i += 4;
      int closed = 0, half = -1;
      while (i < n) {
        char d = s[i++];
        if (d == '"') { closed = 1; break; }
        if (isspace((unsigned char)d)) continue;
        int h = HexVal(d);
        if (h < 0) return Fail(ps, "bad digit in hex string");
        if (half < 0) half = h; else { t.bytes.push_back((uint8_t)(half * 16 + h)); half = -1; }
      }
      if (!closed) return Fail(ps, "unfinished hex string");
      if (half >= 0) return Fail(ps, "odd number of digits in hex string");
      t.kind = T_HEX;
    } else if (c == '#') {
      i++;
      size_t st = i;
      while (i < n && (isalnum((unsigned char)s[i]) || s[i] == '_')) i++;
      if (i == st) return Fail(ps, "constant name expected after #");
      t.kind = T_CONSTNAME;
      t.text = s.substr(st, i - st);
    } else if (isdigit(c) || ((c == '-' || c == '+' || c == '.') && i + 1 < n && (isdigit((unsigned char)s[i + 1]) || s[i + 1] == '.'))) {
      size_t st = i;
      if (s[i] == '-' || s[i] == '+') i++;
      if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        i += 2;
        while (i < n && HexVal(s[i]) >= 0) i++;
      } else {
        while (i < n && (isdigit((unsigned char)s[i]) || s[i] == '.')) i++;
        if (i < n && (s[i] == 'e' || s[i] == 'E')) {
          i++;
          if (i < n && (s[i] == '-' || s[i] == '+')) i++;
          while (i < n && isdigit((unsigned char)s[i])) i++;
        }
      }
      std::string txt = s.substr(st, i - st);
      t.kind = T_NUM;
      t.text = txt;
      const char *p = txt.c_str();
      int neg = 0;
      if (*p == '-' || *p == '+') { neg = *p == '-'; p++; }
      if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        if (!p[2]) return Fail(ps, "bad number " + txt);
        double v = (double)strtoull(p + 2, nullptr, 16);
        t.num = neg ? -v : v;
        t.isInt = 1;
      } else {
        char *end = nullptr;
        t.num = strtod(txt.c_str(), &end);
        if (!end || *end) return Fail(ps, "bad number " + txt);
        t.isInt = txt.find_first_of(".eE") == std::string::npos;
      }
    } else if (isalpha(c) || c == '_' || c == '.' || c == '@') {
      size_t st = i;
      i++;
      while (i < n && (isalnum((unsigned char)s[i]) || s[i] == '_' || s[i] == '.')) i++;
      t.kind = T_IDENT;
      t.text = s.substr(st, i - st);
    } else if (strchr(",=()*:-", c)) {
      t.kind = T_PUNCT;
      t.text = std::string(1, (char)c);
      i++;
    } else {
      return Fail(ps, std::string("unexpected character '") + (char)c + "'");
    }
    out->push_back(t);
  }
  return 0;
}

// ---- operand groups: a line's tokens after the mnemonic, split at commas ----

typedef std::vector<Tok> Group;

int SplitOperands(Parser *ps, const std::vector<Tok> &toks, size_t from, std::vector<Group> *out) {
  Group cur;
  int depth = 0;
  for (size_t i = from; i < toks.size(); i++) {
    const Tok &t = toks[i];
    if (t.kind == T_PUNCT && t.text == "(") depth++;
    if (t.kind == T_PUNCT && t.text == ")") depth--;
    if (t.kind == T_PUNCT && t.text == "," && depth == 0) {
      if (cur.empty()) return Fail(ps, "empty operand");
      out->push_back(cur);
      cur.clear();
      continue;
    }
    cur.push_back(t);
  }
  if (!cur.empty()) out->push_back(cur);
  else if (!out->empty()) return Fail(ps, "empty operand");
  return 0;
}

int ParseRegIndex(const std::string &s, const char *prefix, int *out) {
  size_t pl = strlen(prefix);
  if (s.size() <= pl || s.compare(0, pl, prefix) != 0) return 0;
  long v = 0;
  for (size_t i = pl; i < s.size(); i++) {
    if (!isdigit((unsigned char)s[i])) return 0;
    v = v * 10 + (s[i] - '0');
    if (v > 1000000) return 0;
  }
  *out = (int)v;
  return 1;
}

int FindAlias(AsmFunc *f, const std::string &name) {
  for (size_t i = f->aliases.size(); i-- > 0;)
    if (f->aliases[i].name == name) return f->aliases[i].reg;
  return -1;
}

int FindUpvalName(AsmFunc *f, const std::string &name) {
  for (size_t i = 0; i < f->upvals.size(); i++)
    if (f->upvals[i].name == name) return (int)i;
  return -1;
}

// A register: rN or a named local.
int GetReg(Parser *ps, const Group &g, int maxv, int *out) {
  if (maxv > MAXSTACK - 1) maxv = MAXSTACK - 1;  // r0..r249; raw words reach further
  if (g.size() != 1 || g[0].kind != T_IDENT) return Fail(ps, "register expected");
  int r;
  if (ParseRegIndex(g[0].text, "r", &r)) {
    if (r > maxv) return Fail(ps, "register " + g[0].text + " out of range");
    *out = r;
    return 0;
  }
  r = FindAlias(ps->fn, g[0].text);
  if (r < 0) return Fail(ps, "unknown register " + g[0].text);
  if (r > maxv) return Fail(ps, "register " + g[0].text + " out of range");
  *out = r;
  return 0;
}

// A plain integer (counts, flags) within lo..hi.
int GetInt(Parser *ps, const Group &g, long lo, long hi, long *out) {
  if (g.size() != 1 || g[0].kind != T_NUM || !g[0].isInt) return Fail(ps, "integer expected");
  double v = g[0].num;
  if (v < (double)lo || v > (double)hi) return Fail(ps, "value " + g[0].text + " out of range");
  *out = (long)v;
  return 0;
}

// A natural count ("*" = open) -> field value count + 1, or 0 for open.
int GetCount(Parser *ps, const Group &g, long maxField, long *out) {
  if (g.size() == 1 && g[0].kind == T_PUNCT && g[0].text == "*") { *out = 0; return 0; }
  long v;
  if (GetInt(ps, g, 0, maxField - 1, &v)) return 1;
  *out = v + 1;
  return 0;
}

int PoolConst(AsmFunc *f, const AsmConst &k) {
  for (size_t i = 0; i < f->k.size(); i++)
    if (AsmSameConst(f->k[i], k)) return (int)i;
  f->k.push_back(k);
  return (int)f->k.size() - 1;
}

// A constant literal: number, string, nil, #NAME, inf, nan, numbits(0x...).
int ParseConstLiteral(Parser *ps, const Group &g, AsmConst *k, int *isLiteral) {
  *isLiteral = 1;
  k->kind = 0;
  k->num = 0;
  k->str.clear();
  if (g.size() == 1 && g[0].kind == T_NUM) { k->kind = 3; k->num = g[0].num; return 0; }
  if (g.size() == 1 && g[0].kind == T_STR) { k->kind = 4; k->str = g[0].text; return 0; }
  if (g.size() == 1 && g[0].kind == T_CONSTNAME) {
    if (!AsmLookupConstant(g[0].text, k)) return Fail(ps, "unknown constant #" + g[0].text);
    return 0;
  }
  if (g.size() == 1 && g[0].kind == T_IDENT) {
    const std::string &s = g[0].text;
    if (s == "nil") { k->kind = 0; return 0; }
    if (s == "inf") { k->kind = 3; k->num = HUGE_VAL; return 0; }
    if (s == "nan") { k->kind = 3; k->num = std::nan(""); return 0; }
  }
  if (g.size() == 2 && g[0].kind == T_PUNCT && g[0].text == "-" && g[1].kind == T_IDENT && g[1].text == "inf") {
    k->kind = 3;
    k->num = -HUGE_VAL;
    return 0;
  }
  if (g.size() == 4 && g[0].kind == T_IDENT && g[0].text == "numbits" && g[2].kind == T_NUM) {
    const std::string &t = g[2].text;
    if (t.size() < 3 || t[0] != '0' || (t[1] != 'x' && t[1] != 'X')) return Fail(ps, "numbits needs a hex word");
    uint64_t bits = strtoull(t.c_str() + 2, nullptr, 16);
    k->kind = 3;
    memcpy(&k->num, &bits, sizeof bits);
    return 0;
  }
  *isLiteral = 0;
  return 0;
}

// A constant operand -> its index (kN names an index directly).
int GetConstIndex(Parser *ps, const Group &g, long maxIndex, int *out) {
  int idx;
  if (g.size() == 1 && g[0].kind == T_IDENT && ParseRegIndex(g[0].text, "k", &idx)) {
    if (idx > maxIndex) return Fail(ps, "constant index out of range");
    *out = idx;
    return 0;
  }
  AsmConst k;
  int lit;
  if (ParseConstLiteral(ps, g, &k, &lit)) return 1;
  if (!lit) return Fail(ps, "constant expected");
  idx = PoolConst(ps->fn, k);
  if (idx > maxIndex) return Fail(ps, "too many constants for this operand");
  *out = idx;
  return 0;
}

// RK operand: register or constant.
int GetRK(Parser *ps, const Group &g, int *out) {
  if (g.size() == 1 && g[0].kind == T_IDENT) {
    int r;
    if (ParseRegIndex(g[0].text, "r", &r) || FindAlias(ps->fn, g[0].text) >= 0) {
      if (GetReg(ps, g, MAXINDEXRK - 1, &r)) return 1;
      *out = r;
      return 0;
    }
  }
  int idx;
  if (GetConstIndex(ps, g, (long)MAXARG_B - MAXINDEXRK, &idx)) return 1;
  *out = idx + MAXINDEXRK;
  return 0;
}

int GetUpval(Parser *ps, const Group &g, int *out) {
  if (g.size() == 1 && g[0].kind == T_IDENT) {
    int u;
    if (ParseRegIndex(g[0].text, "u", &u)) {
      if (u > (int)MAXARG_B) return Fail(ps, "upvalue index out of range");
      *out = u;
      return 0;
    }
    u = FindUpvalName(ps->fn, g[0].text);
    if (u >= 0) { *out = u; return 0; }
  }
  return Fail(ps, "upvalue expected (uN or an upvalue name)");
}

int GetName(Parser *ps, const Group &g, std::string *out) {
  if (g.size() != 1 || g[0].kind != T_IDENT) return Fail(ps, "name expected");
  *out = g[0].text;
  return 0;
}

void Emit(Parser *ps, Instruction w, int fix = FIX_NONE, const std::string &ref = std::string()) {
  AsmInsn in;
  in.word = w;
  in.srcLine = ps->line;
  in.line = ps->fn->hasStickyLine ? ps->fn->stickyLine : ps->line;
  in.fix = fix;
  in.ref = ref;
  in.closureAuto = 0;
  ps->fn->code.push_back(in);
}

int Expect(Parser *ps, const std::vector<Group> &ops, size_t lo, size_t hi) {
  if (ops.size() < lo || ops.size() > hi) return Fail(ps, "wrong number of operands");
  return 0;
}

// The first register not held by a named local or a parameter.
int FreeRegister(AsmFunc *f) {
  int r = f->params + (f->vararg ? 1 : 0);
  for (const AsmAlias &a : f->aliases)
    if (a.reg + 1 > r) r = a.reg + 1;
  return r;
}

// cmd [rX =] Name(args): the command's global (lower-cased), the arguments above it, CALL.
int ParseCmd(Parser *ps, const std::vector<Tok> &toks, size_t from) {
  size_t i = from;
  int base = -1, wantResult = 0;
  if (i + 1 < toks.size() && toks[i + 1].kind == T_PUNCT && toks[i + 1].text == "=") {
    Group g(1, toks[i]);
    if (GetReg(ps, g, MAXARG_A, &base)) return 1;
    wantResult = 1;
    i += 2;
  }
  if (i >= toks.size() || toks[i].kind != T_IDENT) return Fail(ps, "command name expected");
  std::string name = Lower(toks[i].text);
  i++;
  if (i >= toks.size() || toks[i].kind != T_PUNCT || toks[i].text != "(") return Fail(ps, "'(' expected");
  size_t close = toks.size() - 1;
  if (toks[close].kind != T_PUNCT || toks[close].text != ")") return Fail(ps, "')' expected at the end");
  std::vector<Tok> inner(toks.begin() + (long)i + 1, toks.begin() + (long)close);
  std::vector<Group> args;
  if (SplitOperands(ps, inner, 0, &args)) return 1;
  if (base < 0) base = FreeRegister(ps->fn);
  if (base + (int)args.size() >= MAXSTACK) return Fail(ps, "command call needs registers beyond r249");
  for (size_t a = 0; a < args.size(); a++) {
    int target = base + 1 + (int)a;
    const Group &g = args[a];
    int r;
    if (g.size() == 1 && g[0].kind == T_IDENT && (ParseRegIndex(g[0].text, "r", &r) || FindAlias(ps->fn, g[0].text) >= 0)) {
      if (GetReg(ps, g, MAXSTACK - 1, &r)) return 1;
      if (r > base && r <= base + (int)args.size() && r != target)
        return Fail(ps, "argument register " + g[0].text + " lies in the command's call frame");
      if (r != target) Emit(ps, CREATE_ABC(OP_MOVE, target, r, 0));
      continue;
    }
    AsmConst k;
    int lit;
    if (ParseConstLiteral(ps, g, &k, &lit)) return 1;
    if (!lit) return Fail(ps, "argument must be a register, a local or a constant");
    if (k.kind == 0) {
      Emit(ps, CREATE_ABC(OP_LOADNIL, target, target, 0));
    } else {
      int idx = PoolConst(ps->fn, k);
      if (idx > (int)MAXARG_Bx) return Fail(ps, "too many constants");
      Emit(ps, CREATE_ABx(OP_LOADK, target, idx));
    }
  }
  // dotted names index into library tables: a.b -> globals["a"]["b"]
  size_t dot = name.find('.');
  AsmConst k;
  k.kind = 4;
  k.num = 0;
  k.str = name.substr(0, dot);
  Emit(ps, CREATE_ABx(OP_GETGLOBAL, base, PoolConst(ps->fn, k)));
  while (dot != std::string::npos) {
    size_t next = name.find('.', dot + 1);
    k.str = name.substr(dot + 1, next == std::string::npos ? std::string::npos : next - dot - 1);
    if (k.str.empty()) return Fail(ps, "bad command name");
    int idx = PoolConst(ps->fn, k);
    if (idx > (int)MAXARG_C - MAXINDEXRK) return Fail(ps, "too many constants");
    Emit(ps, CREATE_ABC(OP_GETTABLE, base, base, idx + MAXINDEXRK));
    dot = next;
  }
  Emit(ps, CREATE_ABC(OP_CALL, base, (int)args.size() + 1, wantResult ? 2 : 1));
  return 0;
}

// Operand forms of the instructions.
enum {
  FORM_ABRKRK,    // rA, RK, RK (arithmetic, settable)
  FORM_CONDJUMP,  // RK, RK, label: the comparison with A = arg, then a jump to the label
  FORM_AB,        // rA, rB
  FORM_ABX,       // rA, constant
  FORM_UPVAL,     // rA, upvalue
  FORM_INDEX,     // rA, rB, RK
  FORM_COMPARE,   // A, RK, RK
  FORM_JUMP,      // label: G = arg; -1: an optional second operand gives G (default 0)
  FORM_TESTJUMP,  // rA, label: TEST with C = arg, then a jump to the label
  FORM_CALL,      // rA, count [, count]: C = arg when not given
  FORM_LOOP,      // rA, label (sBx)
  FORM_LOADBOOL,
  FORM_NEWTABLE,
  FORM_CONCAT,
  FORM_TEST,
  FORM_RETURN,
  FORM_RETSUB,
  FORM_TFORLOOP,
  FORM_SETLIST,
  FORM_SETLISTO,
  FORM_CLOSE,
  FORM_CLOSURE
};

struct MnemonicEntry {
  const char *name;
  int op;
  int form;
  long arg;  // see the form
};

const MnemonicEntry kMnemonics[] = {
    {"add", OP_ADD, FORM_ABRKRK, 0},         {"sub", OP_SUB, FORM_ABRKRK, 0},
    {"mul", OP_MUL, FORM_ABRKRK, 0},         {"div", OP_DIV, FORM_ABRKRK, 0},
    {"divint", OP_DIVINT, FORM_ABRKRK, 0},   {"mod", OP_MOD, FORM_ABRKRK, 0},
    {"lsh", OP_LSH, FORM_ABRKRK, 0},         {"rsh", OP_RSH, FORM_ABRKRK, 0},
    {"or", OP_OR, FORM_ABRKRK, 0},           {"and", OP_AND, FORM_ABRKRK, 0},
    {"xor", OP_XOR, FORM_ABRKRK, 0},         {"pow", OP_POW, FORM_ABRKRK, 0},
    {"settable", OP_SETTABLE, FORM_ABRKRK, 0},
    {"jeq", OP_EQ, FORM_CONDJUMP, 1},        {"jne", OP_EQ, FORM_CONDJUMP, 0},
    {"jlt", OP_LT, FORM_CONDJUMP, 1},        {"jge", OP_LT, FORM_CONDJUMP, 0},
    {"jle", OP_LE, FORM_CONDJUMP, 1},        {"jgt", OP_LE, FORM_CONDJUMP, 0},
    {"move", OP_MOVE, FORM_AB, 0},           {"loadnil", OP_LOADNIL, FORM_AB, 0},
    {"unm", OP_UNM, FORM_AB, 0},             {"not", OP_NOT, FORM_AB, 0},
    {"bnot", OP_BNOT, FORM_AB, 0},
    {"loadk", OP_LOADK, FORM_ABX, 0},        {"getglobal", OP_GETGLOBAL, FORM_ABX, 0},
    {"setglobal", OP_SETGLOBAL, FORM_ABX, 0},
    {"getupval", OP_GETUPVAL, FORM_UPVAL, 0}, {"setupval", OP_SETUPVAL, FORM_UPVAL, 0},
    {"gettable", OP_GETTABLE, FORM_INDEX, 0}, {"self", OP_SELF, FORM_INDEX, 0},
    {"eq", OP_EQ, FORM_COMPARE, 0},          {"lt", OP_LT, FORM_COMPARE, 0},
    {"le", OP_LE, FORM_COMPARE, 0},
    {"jmp", OP_JMP, FORM_JUMP, -1},          {"goto", OP_JMP, FORM_JUMP, 0},
    {"gosub", OP_JMP, FORM_JUMP, GOSUB_FLAG},
    {"jt", OP_TEST, FORM_TESTJUMP, 1},       {"jf", OP_TEST, FORM_TESTJUMP, 0},
    {"call", OP_CALL, FORM_CALL, 1},         {"tailcall", OP_TAILCALL, FORM_CALL, 0},
    {"forloop", OP_FORLOOP, FORM_LOOP, 0},   {"tforprep", OP_TFORPREP, FORM_LOOP, 0},
    {"loadbool", OP_LOADBOOL, FORM_LOADBOOL, 0},
    {"newtable", OP_NEWTABLE, FORM_NEWTABLE, 0},
    {"concat", OP_CONCAT, FORM_CONCAT, 0},
    {"test", OP_TEST, FORM_TEST, 0},
    {"return", OP_RETURN, FORM_RETURN, 0},
    {"retsub", OP_RETURN, FORM_RETSUB, 0},
    {"tforloop", OP_TFORLOOP, FORM_TFORLOOP, 0},
    {"setlist", OP_SETLIST, FORM_SETLIST, 0},
    {"setlisto", OP_SETLISTO, FORM_SETLISTO, 0},
    {"close", OP_CLOSE, FORM_CLOSE, 0},
    {"closure", OP_CLOSURE, FORM_CLOSURE, 0},
    {nullptr, 0, 0, 0}};

int ParseInstruction(Parser *ps, const std::string &mn, const std::vector<Tok> &toks, size_t from) {
  if (mn == "cmd") return ParseCmd(ps, toks, from);
  std::vector<Group> ops;
  if (SplitOperands(ps, toks, from, &ops)) return 1;
  const MnemonicEntry *e = kMnemonics;
  while (e->name && mn != e->name) e++;
  if (!e->name) return Fail(ps, "unknown instruction " + mn);
  int a = 0, b = 0, c = 0;
  long v = 0, v2 = 0;
  std::string name;

  switch (e->form) {
    case FORM_ABRKRK:
      if (Expect(ps, ops, 3, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetRK(ps, ops[1], &b) || GetRK(ps, ops[2], &c)) return 1;
      Emit(ps, CREATE_ABC(e->op, a, b, c));
      break;
    case FORM_CONDJUMP:
      if (Expect(ps, ops, 3, 3) || GetRK(ps, ops[0], &b) || GetRK(ps, ops[1], &c) || GetName(ps, ops[2], &name)) return 1;
      Emit(ps, CREATE_ABC(e->op, e->arg, b, c));
      Emit(ps, CREATE_J(OP_JMP, 0, 0), FIX_JUMP, name);
      break;
    case FORM_AB:
      if (Expect(ps, ops, 2, 2) || GetReg(ps, ops[0], MAXARG_A, &a) || GetReg(ps, ops[1], MAXARG_B, &b)) return 1;
      Emit(ps, CREATE_ABC(e->op, a, b, 0));
      break;
    case FORM_ABX:
      if (Expect(ps, ops, 2, 2) || GetReg(ps, ops[0], MAXARG_A, &a) || GetConstIndex(ps, ops[1], MAXARG_Bx, &b)) return 1;
      Emit(ps, CREATE_ABx(e->op, a, b));
      break;
    case FORM_UPVAL:
      if (Expect(ps, ops, 2, 2) || GetReg(ps, ops[0], MAXARG_A, &a) || GetUpval(ps, ops[1], &b)) return 1;
      Emit(ps, CREATE_ABC(e->op, a, b, 0));
      break;
    case FORM_INDEX:
      if (Expect(ps, ops, 3, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetReg(ps, ops[1], MAXARG_B, &b) || GetRK(ps, ops[2], &c)) return 1;
      Emit(ps, CREATE_ABC(e->op, a, b, c));
      break;
    case FORM_COMPARE:
      if (Expect(ps, ops, 3, 3) || GetInt(ps, ops[0], 0, MAXARG_A, &v) || GetRK(ps, ops[1], &b) || GetRK(ps, ops[2], &c)) return 1;
      Emit(ps, CREATE_ABC(e->op, v, b, c));
      break;
    case FORM_JUMP: {
      if (Expect(ps, ops, 1, e->arg < 0 ? 2 : 1) || GetName(ps, ops[0], &name)) return 1;
      long g = e->arg < 0 ? 0 : e->arg;
      if (ops.size() == 2 && GetInt(ps, ops[1], 0, 3, &g)) return 1;
      Emit(ps, CREATE_J(OP_JMP, 0, g), FIX_JUMP, name);
      break;
    }
    case FORM_TESTJUMP:
      if (Expect(ps, ops, 2, 2) || GetReg(ps, ops[0], MAXARG_A, &a) || GetName(ps, ops[1], &name)) return 1;
      Emit(ps, CREATE_ABC(OP_TEST, a, a, e->arg));
      Emit(ps, CREATE_J(OP_JMP, 0, 0), FIX_JUMP, name);
      break;
    case FORM_CALL:
      if (Expect(ps, ops, 2, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetCount(ps, ops[1], MAXARG_B, &v)) return 1;
      v2 = e->arg;
      if (ops.size() == 3 && GetCount(ps, ops[2], MAXARG_C, &v2)) return 1;
      Emit(ps, CREATE_ABC(e->op, a, v, v2));
      break;
    case FORM_LOOP:
      if (Expect(ps, ops, 2, 2) || GetReg(ps, ops[0], MAXARG_A, &a) || GetName(ps, ops[1], &name)) return 1;
      Emit(ps, CREATE_AsBx(e->op, a, 0), FIX_SBX, name);
      break;
    case FORM_LOADBOOL:
      if (Expect(ps, ops, 2, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetInt(ps, ops[1], 0, MAXARG_B, &v)) return 1;
      if (ops.size() == 3 && GetInt(ps, ops[2], 0, MAXARG_C, &v2)) return 1;
      Emit(ps, CREATE_ABC(OP_LOADBOOL, a, v, v2));
      break;
    case FORM_NEWTABLE:
      if (Expect(ps, ops, 1, 3) || GetReg(ps, ops[0], MAXARG_A, &a)) return 1;
      if (ops.size() > 1 && GetInt(ps, ops[1], 0, MAXARG_B, &v)) return 1;
      if (ops.size() > 2 && GetInt(ps, ops[2], 0, MAXARG_C, &v2)) return 1;
      Emit(ps, CREATE_ABC(OP_NEWTABLE, a, v, v2));
      break;
    case FORM_CONCAT:
      if (Expect(ps, ops, 3, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetReg(ps, ops[1], MAXARG_B, &b) || GetReg(ps, ops[2], MAXARG_C, &c)) return 1;
      Emit(ps, CREATE_ABC(OP_CONCAT, a, b, c));
      break;
    case FORM_TEST:
      if (Expect(ps, ops, 3, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetReg(ps, ops[1], MAXARG_B, &b) || GetInt(ps, ops[2], 0, MAXARG_C, &v)) return 1;
      Emit(ps, CREATE_ABC(OP_TEST, a, b, v));
      break;
    case FORM_RETURN:
      if (Expect(ps, ops, 1, 3) || GetReg(ps, ops[0], MAXARG_A, &a)) return 1;
      v = 1;
      if (ops.size() > 1 && GetCount(ps, ops[1], MAXARG_B, &v)) return 1;
      if (ops.size() > 2 && GetInt(ps, ops[2], 0, MAXARG_C, &v2)) return 1;
      Emit(ps, CREATE_ABC(OP_RETURN, a, v, v2));
      break;
    case FORM_RETSUB:
      if (Expect(ps, ops, 0, 0)) return 1;
      Emit(ps, CREATE_ABC(OP_RETURN, 0, 1, 1));
      break;
    case FORM_TFORLOOP:
      if (Expect(ps, ops, 2, 2) || GetReg(ps, ops[0], MAXARG_A, &a) || GetInt(ps, ops[1], 1, MAXARG_C + 1, &v)) return 1;
      Emit(ps, CREATE_ABC(OP_TFORLOOP, a, 0, v - 1));
      break;
    case FORM_SETLIST:
      if (Expect(ps, ops, 3, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetInt(ps, ops[1], 0, MAXARG_Bx, &v) ||
          GetInt(ps, ops[2], 1, LFIELDS, &v2))
        return 1;
      if (v % LFIELDS) return Fail(ps, "setlist base must be a multiple of 32");
      Emit(ps, CREATE_ABx(OP_SETLIST, a, v + v2 - 1));
      break;
    case FORM_SETLISTO:
      if (Expect(ps, ops, 2, 2) || GetReg(ps, ops[0], MAXARG_A, &a) || GetInt(ps, ops[1], 0, MAXARG_Bx, &v)) return 1;
      Emit(ps, CREATE_ABx(OP_SETLISTO, a, v));
      break;
    case FORM_CLOSE:
      if (Expect(ps, ops, 1, 1) || GetReg(ps, ops[0], MAXARG_A, &a)) return 1;
      Emit(ps, CREATE_ABC(OP_CLOSE, a, 0, 0));
      break;
    case FORM_CLOSURE: {
      if (Expect(ps, ops, 2, 3) || GetReg(ps, ops[0], MAXARG_A, &a) || GetName(ps, ops[1], &name)) return 1;
      std::string mode;
      if (ops.size() == 3 && (GetName(ps, ops[2], &mode) || mode != "raw")) return Fail(ps, "third operand of closure can only be raw");
      Emit(ps, CREATE_ABx(OP_CLOSURE, a, 0), FIX_CLOSURE, name);
      ps->fn->code.back().closureAuto = ops.size() == 2;
      break;
    }
  }
  return 0;
}

// ---- directives ----

// key=value attributes of .func/.main/.declare
struct Attr {
  std::string key;
  Group value;  // empty for a bare flag
};

int ParseAttrs(Parser *ps, const std::vector<Tok> &toks, size_t from, std::vector<Attr> *out) {
  for (size_t i = from; i < toks.size();) {
    if (toks[i].kind != T_IDENT) return Fail(ps, "attribute name expected");
    Attr at;
    at.key = toks[i].text;
    i++;
    if (i < toks.size() && toks[i].kind == T_PUNCT && toks[i].text == "=") {
      i++;
      if (i >= toks.size()) return Fail(ps, "value expected after " + at.key + "=");
      if (toks[i].kind == T_PUNCT && toks[i].text == "-" && i + 1 < toks.size() && toks[i + 1].kind == T_NUM) {
        Tok t = toks[i + 1];
        t.num = -t.num;
        t.text = "-" + t.text;
        at.value.push_back(t);
        i += 2;
      } else {
        at.value.push_back(toks[i]);
        i++;
        // colon-separated lists (regions)
        while (i + 1 < toks.size() && toks[i].kind == T_PUNCT && toks[i].text == ":") {
          at.value.push_back(toks[i + 1]);
          i += 2;
        }
      }
    }
    out->push_back(at);
  }
  return 0;
}

int AttrInt(Parser *ps, const Attr &at, long lo, long hi, long *out) {
  if (at.value.size() != 1) return Fail(ps, at.key + " needs one number");
  return GetInt(ps, at.value, lo, hi, out);
}

int FuncAttrs(Parser *ps, AsmFunc *f, const std::vector<Tok> &toks, size_t from) {
  std::vector<Attr> attrs;
  if (ParseAttrs(ps, toks, from, &attrs)) return 1;
  for (const Attr &at : attrs) {
    long v;
    if (at.key == "params") { if (AttrInt(ps, at, 0, 255, &v)) return 1; f->params = (int)v; }
    else if (at.key == "vararg") { f->vararg = 1; if (!at.value.empty()) { if (AttrInt(ps, at, 0, 255, &v)) return 1; f->vararg = (int)v; } }
    else if (at.key == "stack") { if (AttrInt(ps, at, 0, 255, &v)) return 1; f->maxStack = (int)v; }
    else if (at.key == "upvals") { if (AttrInt(ps, at, 0, 255, &v)) return 1; f->nups = (int)v; }
    else if (at.key == "line") { if (AttrInt(ps, at, 0, 0x7fffffff, &v)) return 1; f->lineDefined = (int)v; }
    else if (at.key == "nolines") f->noLines = 1;
    else return Fail(ps, "unknown attribute " + at.key);
  }
  return 0;
}

AsmFunc *NewFunc(AsmProgram *prog, AsmFunc *parent, const std::string &name, int line) {
  AsmFunc *f = new AsmFunc();
  f->name = name;
  f->parent = parent;
  f->defLine = line;
  f->lineDefined = parent ? line : 0;
  f->params = 0;
  f->vararg = 0;
  f->maxStack = -1;
  f->nups = -1;
  f->noLines = 0;
  f->hasSource = 0;
  f->stickyLine = 0;
  f->hasStickyLine = 0;
  prog->allFuncs.push_back(f);
  return f;
}

int FindLabel(AsmFunc *f, const std::string &name) {
  for (const AsmLabel &l : f->labels)
    if (l.name == name) return l.pc;
  return -1;
}

// Resolves jumps, closures and local ranges of a function whose text has ended.
int FinishFunc(Parser *ps, AsmFunc *f) {
  int n = (int)f->code.size();
  for (int pc = 0; pc < n; pc++) {
    AsmInsn &in = f->code[pc];
    ps->line = in.srcLine;
    if (in.fix == FIX_JUMP || in.fix == FIX_SBX) {
      int target = FindLabel(f, in.ref);
      if (target < 0) return Fail(ps, "unknown label " + in.ref);
      int off = target - (pc + 1);
      if (in.fix == FIX_JUMP) SETARG_sJ(in.word, off);
      else {
        if (off < -MAXARG_sBx || off > MAXARG_sBx) return Fail(ps, "jump too far");
        SETARG_sBx(in.word, off);
      }
      in.fix = FIX_NONE;
    } else if (in.fix == FIX_CLOSURE) {
      int idx = -1;
      for (size_t i = 0; i < f->children.size(); i++)
        if (f->children[i]->name == in.ref) idx = (int)i;
      if (idx < 0) return Fail(ps, "unknown function " + in.ref);
      SETARG_Bx(in.word, idx);
      in.fix = FIX_NONE;
    }
  }
  // Closure pseudo-instructions are inserted after the jumps are fixed, shifting offsets.
  for (int pc = 0; pc < (int)f->code.size(); pc++) {
    AsmInsn in = f->code[pc];
    if (GET_OPCODE(in.word) != OP_CLOSURE || !in.closureAuto) continue;
    f->code[pc].closureAuto = 0;
    AsmFunc *child = f->children[GETARG_Bx(in.word)];
    std::vector<AsmInsn> pseudo;
    for (const AsmUpval &u : child->upvals) {
      AsmInsn p = in;
      p.closureAuto = 0;
      if (u.srcKind == UPSRC_REG) p.word = CREATE_ABC(OP_MOVE, 0, u.srcIndex, 0);
      else if (u.srcKind == UPSRC_UPVAL) p.word = CREATE_ABC(OP_GETUPVAL, 0, u.srcIndex, 0);
      else {
        ps->line = in.srcLine;
        return Fail(ps, "upvalue " + u.name + " of " + child->name + " has no source (write .upval NAME = rN or uN)");
      }
      pseudo.push_back(p);
    }
    if (pseudo.empty()) continue;
    int count = (int)pseudo.size();
    f->code.insert(f->code.begin() + pc + 1, pseudo.begin(), pseudo.end());
    // shift jumps across the insertion point
    for (int j = 0; j < (int)f->code.size(); j++) {
      if (j > pc && j <= pc + count) continue;
      Instruction &w = f->code[j].word;
      int op = GET_OPCODE(w);
      if (op != OP_JMP && op != OP_FORLOOP && op != OP_TFORPREP) continue;
      int off = op == OP_JMP ? GETARG_sJ(w) : GETARG_sBx(w);
      int target = j + 1 + off;
      int nj = j > pc ? j + count : j;  // new index of this jump
      int nt = target > pc ? target + count : target;
      int noff = nt - (nj + 1);
      if (op == OP_JMP) SETARG_sJ(w, noff); else SETARG_sBx(w, noff);
    }
    for (AsmLabel &l : f->labels)
      if (l.pc > pc) l.pc += count;
    for (AsmLocal &l : f->locals) {
      if (l.startpc > pc) l.startpc += count;
      if (l.endpc > pc) l.endpc += count;
    }
    pc += count;
  }
  for (AsmLocal &l : f->locals)
    if (l.endpc < 0) l.endpc = (int)f->code.size();
  return 0;
}

// A 32-bit word from a number: negatives in two's complement.
uint32_t WordOf(double v) {
  if (v < 0) return (uint32_t)(int32_t)v;
  return (uint32_t)v;
}

// A big-endian number of 1, 2 or 4 bytes.
void PutWidth(std::vector<uint8_t> *b, int width, uint32_t v) {
  if (width == 1) AsmPutU8(b, v);
  else if (width == 2) AsmPutU16(b, v);
  else AsmPutU32(b, v);
}

// Reads numbers (and a trailing string) of a .display directive.
int NumArgs(Parser *ps, const std::vector<Tok> &toks, size_t from, size_t want, std::vector<uint32_t> *out) {
  for (size_t i = from; i < toks.size(); i++) {
    if (toks[i].kind == T_PUNCT && toks[i].text == ",") continue;
    if (toks[i].kind == T_PUNCT && toks[i].text == "-" && i + 1 < toks.size() && toks[i + 1].kind == T_NUM) {
      out->push_back((uint32_t)(int32_t)-toks[i + 1].num);
      i++;
      continue;
    }
    if (toks[i].kind == T_CONSTNAME) {
      AsmConst k;
      if (!AsmLookupConstant(toks[i].text, &k) || k.kind != 3) return Fail(ps, "unknown number constant #" + toks[i].text);
      out->push_back(WordOf(k.num));
      continue;
    }
    if (toks[i].kind != T_NUM) return Fail(ps, "number expected");
    out->push_back(WordOf(toks[i].num));
  }
  if (want != (size_t)-1 && out->size() != want) return Fail(ps, "wrong number of values");
  return 0;
}

struct DisplayKey {
  const char *name;
  int tag;
  int layout;  // 0 none, 1 u8, 2 i16 i16, 3 u32, 4 u32 u32
};
// Value count and byte width of each layout.
const size_t kLayoutCounts[] = {0, 1, 2, 1, 2};
const int kLayoutWidths[] = {0, 1, 2, 4, 4};
const DisplayKey kDisplayKeys[] = {
    {"size", 0x03, 2},        {"color", 0x05, 3},      {"pos", 0x06, 4},       {"desktop", 0x07, 0},
    {"mode", 0x10, 1},        {"borderless", 0x12, 1}, {"fixed", 0x13, 1},     {"sizeable", 0x14, 1},
    {"titlebar", 0x15, 1},    {"screen", 0x16, 2},     {"depth", 0x17, 1},     {"hidepointer", 0x18, 1},
    {"nomodeswitch", 0x19, 1}, {"reset", 0x1d, 0},     {"nohide", 0x1e, 1},    {nullptr, 0, 0}};

int ParseDisplay(Parser *ps, const std::vector<Tok> &toks) {
  if (toks.size() < 2 || toks[1].kind != T_IDENT) return Fail(ps, ".display needs a setting name");
  std::string key = toks[1].text;
  AsmSection sec;
  std::vector<uint32_t> v;
  if (key == "backfill") {
    if (NumArgs(ps, toks, 2, (size_t)-1, &v)) return 1;
    if (v.empty()) return Fail(ps, "backfill needs a kind");
    static const size_t counts[] = {0, 1, 2, 1, 5};
    uint32_t kind = v[0];
    if (kind < 1 || kind > 4) return Fail(ps, "backfill kind must be 1 to 4");
    size_t need = counts[kind];
    int withScale = kind == 4 && v.size() == need + 2;
    if (v.size() != need + 1 && !withScale) return Fail(ps, "wrong number of backfill values");
    sec.tag = 0x11;
    AsmPutU8(&sec.body, kind);
    for (size_t i = 1; i <= need; i++) AsmPutU32(&sec.body, v[i]);
    if (withScale) AsmPutU8(&sec.body, v[need + 1]);
  } else if (key == "scale") {
    if (NumArgs(ps, toks, 2, 4, &v)) return 1;
    sec.tag = 0x1c;
    AsmPutU8(&sec.body, v[0]);
    AsmPutU32(&sec.body, v[1]);
    AsmPutU32(&sec.body, v[2]);
    AsmPutU8(&sec.body, v[3]);
  } else {
    const DisplayKey *d = kDisplayKeys;
    while (d->name && key != d->name) d++;
    if (!d->name) return Fail(ps, "unknown display setting " + key);
    sec.tag = d->tag;
    if (NumArgs(ps, toks, 2, (size_t)-1, &v)) return 1;
    if (d->layout == 1 && v.empty()) v.push_back(1);  // flags default to on
    if (v.size() != kLayoutCounts[d->layout]) return Fail(ps, "wrong number of values for " + key);
    for (uint32_t x : v) PutWidth(&sec.body, kLayoutWidths[d->layout], x);
  }
  ps->prog->sections.push_back(sec);
  return 0;
}

struct DeclKind {
  const char *name;
  int type;
};
const DeclKind kDeclKinds[] = {{"bgpic", 0}, {"brush", 1}, {"anim", 2}, {"music", 3}, {"sample", 4}, {"button", 5},
                               {"keydown", 6}, {"sprite", 7}, {"file", 8}, {"font", 9}, {"display", 10}, {nullptr, 0}};

// The version the player reads declarations with: the version section (always written
// first), or 0.0 when .noauto leaves it out.
void DeclVersion(AsmProgram *p, int *major, int *minor) {
  int written = AsmVersionWritten(p);
  *major = written ? p->verMajor : 0;
  *minor = written ? p->verMinor : 0;
}

// One field of a declaration's block: its attribute name, width in bytes and the value
// written when the attribute is not given. Lists end with a null name.
struct BlockField {
  const char *key;
  int width;
  long def;
};

const BlockField kBGPicFields[] = {{"fill", 1, 0},    {"color1", 4, 0}, {"color2", 4, 0}, {"angle", 2, 0},
                                   {"texture", 4, 0}, {"texx", 4, 0},   {"texy", 4, 0},   {nullptr, 0, 0}};
const BlockField kBrushFields[] = {{"w", 2, 0}, {"h", 2, 0}, {"x", 2, 0}, {"y", 2, 0}, {"alpha", 2, -1}, {nullptr, 0, 0}};
const BlockField kAnimDiskFields[] = {{"fromdisk", 1, 0}, {nullptr, 0, 0}};
// The frame layout of anims and sprites.
const BlockField kFrameFields[] = {{"w", 2, 0}, {"h", 2, 0}, {"frames", 2, 0}, {"perrow", 2, 0},
                                   {"x", 2, 0}, {"y", 2, 0}, {nullptr, 0, 0}};
const BlockField kButtonFields[] = {{"v1", 2, 0}, {"v2", 2, 0}, {"v3", 2, 0}, {"v4", 2, 0}, {nullptr, 0, 0}};
// A display's fields before its region lists and title ...
const BlockField kDisplayFields[] = {{"bgpic", 4, 0},  {"x", 4, -100000}, {"y", 4, -100000}, {"w", 4, 640},
                                     {"h", 4, 480},    {"color", 4, 0},   {"flags", 4, 0x400}, {"given", 4, 0},
                                     {"scalew", 4, 0}, {"scaleh", 4, 0},  {nullptr, 0, 0}};
// ... and its fill fields after them.
const BlockField kDisplayFillFields[] = {{"fill", 1, 1},    {"gradend", 4, 0}, {"angle", 2, 0},
                                         {"texture", 4, 0}, {"texx", 4, 0},    {"texy", 4, 0}, {nullptr, 0, 0}};

typedef std::vector<std::pair<std::string, long>> FieldValues;

// Encodes a declaration's block from the values given by name.
struct BlockWriter {
  const FieldValues *vals;
  std::vector<const char *> known;  // the names this type's block has
  std::vector<uint8_t> *out;
};

long FieldValue(const FieldValues &vals, const char *key, long def) {
  for (auto &p : vals)
    if (p.first == key) return p.second;
  return def;
}

// Makes the fields known to the type and, with write, appends them.
void PutFields(BlockWriter *w, const BlockField *f, int write) {
  for (; f->key; f++) {
    w->known.push_back(f->key);
    if (write) PutWidth(w->out, f->width, (uint32_t)FieldValue(*w->vals, f->key, f->def));
  }
}

// .declare KIND ID "file" key=value ...: the block is encoded for the version the player
// reads the declarations with.
int ParseDeclare(Parser *ps, const std::vector<Tok> &toks) {
  AsmProgram *prog = ps->prog;
  if (toks.size() < 3 || toks[1].kind != T_IDENT || toks[2].kind != T_NUM)
    return Fail(ps, ".declare needs a kind and an id");
  const DeclKind *dk = kDeclKinds;
  while (dk->name && Lower(toks[1].text) != dk->name) dk++;
  if (!dk->name) return Fail(ps, "unknown object kind " + toks[1].text);
  int major, minor;
  DeclVersion(prog, &major, &minor);
  AsmDecl d;
  d.type = dk->type;
  d.id = WordOf(toks[2].num);
  d.param1 = d.type == 9 ? 0 : 0xffffffffu;  // no transparency colour by default
  d.param2 = 0;
  d.line = (uint32_t)ps->line;
  d.linkData = 0;
  size_t i = 3;
  if (i < toks.size() && toks[i].kind == T_STR) d.file = toks[i++].text;
  std::vector<Attr> attrs;
  if (ParseAttrs(ps, toks, i, &attrs)) return 1;
  // named values of the per-type blocks
  FieldValues vals;
  std::string title;
  std::vector<std::vector<long>> drag, size;
  for (const Attr &at : attrs) {
    long v;
    if (at.key == "link") { d.linkData = 1; continue; }
    if (at.key == "title") {
      if (at.value.size() != 1 || at.value[0].kind != T_STR) return Fail(ps, "title needs a string");
      title = at.value[0].text;
      continue;
    }
    if (at.key == "drag" || at.key == "region") {
      if (at.value.size() != 5) return Fail(ps, at.key + " needs type:x:y:w:h");
      std::vector<long> r;
      for (const Tok &t : at.value) {
        if (t.kind != T_NUM) return Fail(ps, "number expected in region");
        r.push_back((long)t.num);
      }
      (at.key == "drag" ? drag : size).push_back(r);
      continue;
    }
    if (at.value.size() == 1 && at.value[0].kind == T_CONSTNAME) {
      AsmConst k;
      if (!AsmLookupConstant(at.value[0].text, &k) || k.kind != 3) return Fail(ps, "unknown number constant #" + at.value[0].text);
      v = (long)k.num;
    } else if (AttrInt(ps, at, -2147483648L, 4294967295L, &v)) {
      return 1;
    }
    if (at.key == "p1" || at.key == "transparency" || at.key == "size") d.param1 = (uint32_t)v;
    else if (at.key == "p2" || at.key == "loadalpha" || at.key == "engine") d.param2 = (uint32_t)v;
    else if (at.key == "line") d.line = (uint32_t)v;
    else vals.push_back({at.key, v});
  }
  BlockWriter w = {&vals, {}, &d.block};
  int fullVersion = major == 4 && minor == 7;
  switch (d.type) {
    case 0:
      PutFields(&w, kBGPicFields, fullVersion);
      break;
    case 1:
      PutFields(&w, kBrushFields, 1);
      break;
    case 2:
      PutFields(&w, kAnimDiskFields, major > 2);
      PutFields(&w, kFrameFields, AsmVersionAtLeast(major, minor, 4, 1));
      break;
    case 5:
      PutFields(&w, kButtonFields, 1);
      break;
    case 7:
      PutFields(&w, kFrameFields, 1);
      break;
    case 10: {
      std::vector<uint8_t> &b = d.block;
      PutFields(&w, kDisplayFields, 1);
      for (auto *list : {&drag, &size}) {
        AsmPutU32(&b, (uint32_t)list->size());
        for (auto &r : *list)
          for (long x : r) AsmPutU32(&b, (uint32_t)x);
      }
      if (title.size() > 32767) return Fail(ps, "title too long");
      AsmPutU16(&b, (uint32_t)title.size());
      b.insert(b.end(), title.begin(), title.end());
      PutFields(&w, kDisplayFillFields, fullVersion);
      break;
    }
    default:
      break;
  }
  for (auto &p : vals) {
    int ok = 0;
    for (const char *k : w.known) ok |= p.first == k;
    if (!ok) return Fail(ps, "unknown field " + p.first + " for " + dk->name);
  }
  prog->decls.push_back(d);
  return 0;
}

int ParseDirective(Parser *ps, const std::vector<Tok> &toks) {
  AsmProgram *prog = ps->prog;
  const std::string &d = toks[0].text;
  AsmFunc *f = ps->fn;
  if (d == ".func") {
    if (toks.size() < 2 || toks[1].kind != T_IDENT) return Fail(ps, ".func needs a name");
    for (AsmFunc *c : f->children)
      if (c->name == toks[1].text) return Fail(ps, "function " + toks[1].text + " defined twice here");
    AsmFunc *nf = NewFunc(prog, f, toks[1].text, ps->line);
    f->children.push_back(nf);
    ps->fn = nf;
    return FuncAttrs(ps, nf, toks, 2);
  }
  if (d == ".end") {
    if (!f->parent) return Fail(ps, ".end without .func");
    if (FinishFunc(ps, f)) return 1;
    ps->fn = f->parent;
    return 0;
  }
  if (d == ".main") {
    if (f->parent) return Fail(ps, ".main inside a function");
    return FuncAttrs(ps, f, toks, 1);
  }
  if (d == ".upval") {
    if (toks.size() < 2) return Fail(ps, ".upval needs a name");
    AsmUpval u;
    u.srcKind = UPSRC_NONE;
    u.srcIndex = 0;
    if (toks[1].kind == T_STR || toks[1].kind == T_IDENT) u.name = toks[1].text;
    else return Fail(ps, ".upval needs a name");
    if (u.name.empty()) return Fail(ps, "empty upvalue name");
    std::string src = toks[1].kind == T_IDENT ? u.name : std::string();
    if (toks.size() >= 4 && toks[2].kind == T_PUNCT && toks[2].text == "=" && toks[3].kind == T_IDENT) src = toks[3].text;
    else if (toks.size() != 2) return Fail(ps, "write .upval NAME [= rN | uN | name]");
    AsmFunc *p = f->parent;
    int idx;
    if (p && !src.empty()) {
      if (ParseRegIndex(src, "r", &idx)) { u.srcKind = UPSRC_REG; u.srcIndex = idx; }
      else if (ParseRegIndex(src, "u", &idx)) { u.srcKind = UPSRC_UPVAL; u.srcIndex = idx; }
      else if ((idx = FindAlias(p, src)) >= 0) { u.srcKind = UPSRC_REG; u.srcIndex = idx; }
      else if ((idx = FindUpvalName(p, src)) >= 0) { u.srcKind = UPSRC_UPVAL; u.srcIndex = idx; }
      else if (toks.size() >= 4) return Fail(ps, "unknown upvalue source " + src);
    }
    f->upvals.push_back(u);
    return 0;
  }
  if (d == ".reg" || d == ".local") {
    // .reg NAME rN        register alias only
    // .local NAME [rN] [START END]   debug entry (+ alias with rN)
    if (toks.size() < 2 || (toks[1].kind != T_IDENT && toks[1].kind != T_STR)) return Fail(ps, d + " needs a name");
    std::string name = toks[1].text;
    size_t i = 2;
    int reg = -1;
    if (i < toks.size() && toks[i].kind == T_IDENT) {
      if (!ParseRegIndex(toks[i].text, "r", &reg) || reg >= MAXSTACK) return Fail(ps, "register r0..r249 expected");
      i++;
    }
    if (reg >= 0) {
      if (toks[1].kind != T_IDENT) return Fail(ps, "a register alias needs a plain name");
      f->aliases.push_back({name, reg});
    }
    if (d == ".reg") {
      if (reg < 0 || i != toks.size()) return Fail(ps, "write .reg NAME rN");
      return 0;
    }
    if (name.empty()) return Fail(ps, "empty local name");
    AsmLocal l;
    l.name = name;
    l.startpc = (int)f->code.size();
    l.endpc = -1;
    if (i < toks.size()) {
      if (i + 2 != toks.size() || toks[i].kind != T_NUM || toks[i + 1].kind != T_NUM) return Fail(ps, "write .local NAME [rN] [START END]");
      l.startpc = (int)toks[i].num;
      l.endpc = (int)toks[i + 1].num;
    }
    f->locals.push_back(l);
    return 0;
  }
  if (d == ".line") {
    if (toks.size() == 2 && toks[1].kind == T_IDENT && toks[1].text == "auto") { f->hasStickyLine = 0; return 0; }
    if (toks.size() != 2 || toks[1].kind != T_NUM || toks[1].num < -2147483648.0 || toks[1].num > 2147483647.0)
      return Fail(ps, "write .line N or .line auto");
    f->stickyLine = (int)toks[1].num;
    f->hasStickyLine = 1;
    return 0;
  }
  if (d == ".source") {
    if (toks.size() != 2 || toks[1].kind != T_STR) return Fail(ps, ".source needs a string");
    if (!f->parent) prog->sourceName = toks[1].text;
    f->hasSource = 1;
    f->source = toks[1].text;
    return 0;
  }
  if (d == ".const") {
    // appends a constant to the pool as written (duplicates too)
    Group g(toks.begin() + 1, toks.end());
    AsmConst k;
    int lit;
    if (g.empty() || ParseConstLiteral(ps, g, &k, &lit)) return g.empty() ? Fail(ps, ".const needs a value") : 1;
    if (!lit) return Fail(ps, ".const needs a literal");
    f->k.push_back(k);
    return 0;
  }
  if (d == ".word") {
    std::vector<uint32_t> v;
    if (NumArgs(ps, toks, 1, (size_t)-1, &v)) return 1;
    for (uint32_t w : v) Emit(ps, w);
    return 0;
  }
  // applet directives (main level only)
  if (f->parent && d != ".export") return Fail(ps, d + " is only allowed outside functions");
  if (d == ".version") {
    if (toks.size() != 2 || toks[1].kind != T_NUM) return Fail(ps, "write .version MAJOR.MINOR");
    const std::string &t = toks[1].text;
    size_t dot = t.find('.');
    prog->verMajor = atoi(t.c_str());
    prog->verMinor = dot == std::string::npos ? 0 : atoi(t.c_str() + dot + 1);
    if (prog->verMajor > 255 || prog->verMinor > 255) return Fail(ps, "version out of range");
    if (!prog->decls.empty()) return Fail(ps, ".version must come before .declare");
    prog->versionGiven = 1;
    return 0;
  }
  if (d == ".noauto") {
    if (!prog->decls.empty()) return Fail(ps, ".noauto must come before .declare");
    prog->noAuto = 1;
    return 0;
  }
  if (d == ".info") {
    if (toks.size() != 3 || toks[1].kind != T_NUM || toks[1].num < 1 || toks[1].num > 5 || toks[2].kind != T_STR)
      return Fail(ps, "write .info N \"text\" (N = 1 to 5)");
    AsmSection s;
    s.tag = 0x0a + (int)toks[1].num;
    s.body.assign(toks[2].text.begin(), toks[2].text.end());
    s.body.push_back(0);
    prog->sections.push_back(s);
    return 0;
  }
  if (d == ".export") {
    AsmExport e;
    if (toks.size() == 2 && toks[1].kind == T_IDENT) {
      e.name = Lower(toks[1].text);
      e.label = toks[1].text;
      e.value = 0;
    } else if (toks.size() == 3 && toks[1].kind == T_STR && toks[2].kind == T_NUM) {
      e.name = toks[1].text;
      e.value = WordOf(toks[2].num);
    } else {
      return Fail(ps, "write .export LABEL or .export \"name\" VALUE");
    }
    prog->exports.push_back(e);
    return 0;
  }
  if (d == ".link") {
    if (toks.size() != 3 || toks[1].kind != T_STR || toks[2].kind != T_STR) return Fail(ps, "write .link \"name\" \"hostfile\"");
    AsmLink l;
    l.name = toks[1].text;
    std::string host = toks[2].text;
    if (!host.empty() && host[0] != '/') host = prog->dirName + host;
    if (AsmReadFile(host, &l.data)) return Fail(ps, "cannot read " + host);
    prog->links.push_back(l);
    return 0;
  }
  if (d == ".display") return ParseDisplay(ps, toks);
  if (d == ".declare") return ParseDeclare(ps, toks);
  if (d == ".section") {
    if (toks.size() < 2 || toks[1].kind != T_NUM || toks[1].num < 0 || toks[1].num > 255) return Fail(ps, "write .section 0xNN hex\"...\"");
    AsmSection s;
    s.tag = (int)toks[1].num;
    for (size_t i = 2; i < toks.size(); i++) {
      if (toks[i].kind == T_HEX) s.body.insert(s.body.end(), toks[i].bytes.begin(), toks[i].bytes.end());
      else if (toks[i].kind == T_STR) s.body.insert(s.body.end(), toks[i].text.begin(), toks[i].text.end());
      else return Fail(ps, "section body must be hex\"...\" or \"...\"");
    }
    prog->sections.push_back(s);
    return 0;
  }
  if (d == ".tail") {
    for (size_t i = 1; i < toks.size(); i++) {
      if (toks[i].kind != T_HEX) return Fail(ps, ".tail needs hex\"...\"");
      prog->tail.insert(prog->tail.end(), toks[i].bytes.begin(), toks[i].bytes.end());
    }
    return 0;
  }
  return Fail(ps, "unknown directive " + d);
}

int ParseLine(Parser *ps, const std::string &text) {
  std::vector<Tok> toks;
  if (Tokenize(ps, text, &toks)) return 1;
  size_t i = 0;
  // labels: NAME ':'
  while (i + 1 < toks.size() && toks[i].kind == T_IDENT && toks[i + 1].kind == T_PUNCT && toks[i + 1].text == ":") {
    const std::string &name = toks[i].text;
    if (FindLabel(ps->fn, name) >= 0) return Fail(ps, "label " + name + " defined twice");
    ps->fn->labels.push_back({name, (int)ps->fn->code.size()});
    i += 2;
  }
  if (i >= toks.size()) return 0;
  if (toks[i].kind != T_IDENT) return Fail(ps, "instruction or directive expected");
  if (toks[i].text[0] == '.') {
    std::vector<Tok> rest(toks.begin() + (long)i, toks.end());
    return ParseDirective(ps, rest);
  }
  return ParseInstruction(ps, toks[i].text, toks, i + 1);
}

}  // namespace

int AsmVersionAtLeast(int major, int minor, int wantMajor, int wantMinor) {
  return major > wantMajor || (major == wantMajor && minor >= wantMinor);
}

int AsmSameConst(const AsmConst &a, const AsmConst &b) {
  if (a.kind != b.kind) return 0;
  if (a.kind == 3) return memcmp(&a.num, &b.num, sizeof(double)) == 0;
  if (a.kind == 4) return a.str == b.str;
  return 1;
}

int AsmParse(const std::string &text, const std::string &path, AsmProgram *prog, std::string *err) {
  size_t slash = path.find_last_of('/');
  prog->fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  prog->dirName = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  prog->sourceName = prog->fileName;
  prog->verMajor = 4;
  prog->verMinor = 7;
  prog->versionGiven = 0;
  prog->noAuto = 0;
  Parser ps;
  ps.prog = prog;
  ps.line = 0;
  prog->main = NewFunc(prog, nullptr, "main", 0);
  ps.fn = prog->main;
  size_t pos = 0;
  int line = 0;
  while (pos <= text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string l = text.substr(pos, nl - pos);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    line++;
    ps.line = line;
    if (ParseLine(&ps, l)) { *err = ps.err; return 1; }
    if (nl == text.size()) break;
    pos = nl + 1;
  }
  prog->lineCount = line;
  if (ps.fn != prog->main) {
    ps.line = ps.fn->defLine;
    Fail(&ps, "function " + ps.fn->name + " has no .end");
    *err = ps.err;
    return 1;
  }
  if (FinishFunc(&ps, prog->main)) { *err = ps.err; return 1; }
  if (!prog->main->hasSource) prog->main->source = prog->sourceName;
  for (AsmExport &e : prog->exports) {
    if (e.label.empty()) continue;
    int pc = FindLabel(prog->main, e.label);
    if (pc < 0) { *err = prog->fileName + ": exported label " + e.label + " is not a label of the main function"; return 1; }
    e.value = (uint32_t)pc;
  }
  return 0;
}

void AsmFree(AsmProgram *prog) {
  for (AsmFunc *f : prog->allFuncs) delete f;
  prog->allFuncs.clear();
  prog->main = nullptr;
}

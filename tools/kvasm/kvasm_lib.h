// kvasm: assembler for the player's bytecode and applet containers (a build and test tool).
//
// Text -> AsmProgram (parse.cpp) -> prototypes -> luaU_dump (build.cpp) -> applet container
// (container.cpp); disassembly of bytecode back to text (disasm.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/vm/opcodes.h"

struct lua_State;
struct Proto;

// One pooled constant: kind 0 nil, 3 number, 4 string (the bytecode's constant types).
struct AsmConst {
  int kind;
  double num;
  std::string str;
};

// Pending fix-ups of an instruction, resolved when its function ends.
enum { FIX_NONE = 0, FIX_JUMP = 1, FIX_SBX = 2, FIX_CLOSURE = 3 };

struct AsmInsn {
  Instruction word;
  int line;         // line information written for the instruction
  int srcLine;      // line of the text (for messages)
  int fix;          // FIX_*
  std::string ref;  // label or function name of the fix-up
  int closureAuto;  // CLOSURE: emit the pseudo-instructions from the callee's .upval sources
};

struct AsmLocal {
  std::string name;
  int startpc;
  int endpc;  // -1: the end of the function
};

// Where an upvalue of a nested function comes from in its enclosing function.
enum { UPSRC_NONE = 0, UPSRC_REG = 1, UPSRC_UPVAL = 2 };

struct AsmUpval {
  std::string name;  // empty: unnamed
  int srcKind;       // UPSRC_*
  int srcIndex;
};

struct AsmLabel {
  std::string name;
  int pc;
};

struct AsmAlias {
  std::string name;
  int reg;
};

struct AsmFunc {
  std::string name;
  AsmFunc *parent;
  int defLine;          // text line of .func
  int lineDefined;      // written line defined
  int params;
  int vararg;
  int maxStack;         // -1: computed
  int nups;             // -1: the number of .upval lines
  int noLines;          // no line information
  int hasSource;        // source given with .source
  std::string source;
  std::vector<AsmInsn> code;
  std::vector<AsmConst> k;
  std::vector<AsmLocal> locals;
  std::vector<AsmUpval> upvals;
  std::vector<AsmFunc *> children;
  std::vector<AsmLabel> labels;
  std::vector<AsmAlias> aliases;
  int hasStickyLine;    // 0: each instruction carries its own text line
  int stickyLine;       // line set by .line
};

// One applet section written as it stands (tag and body).
struct AsmSection {
  int tag;
  std::vector<uint8_t> body;
};

// One declared object (section 0x02).
struct AsmDecl {
  int type;
  uint32_t id;
  std::string file;
  uint32_t param1, param2;
  uint32_t line;
  int linkData;                 // embed the file's bytes as linked data
  std::vector<uint8_t> block;   // the type's block, already encoded
};

struct AsmLink {
  std::string name;
  std::vector<uint8_t> data;
};

struct AsmExport {
  std::string name;
  std::string label;  // label of the main function, or empty with a raw value
  uint32_t value;
};

struct AsmProgram {
  std::string fileName;    // the text's own file name (no directory)
  std::string dirName;     // directory of the text, for .link and linked declarations
  std::string sourceName;  // source of the main function (default: fileName)
  AsmFunc *main;
  int lineCount;
  int verMajor, verMinor, versionGiven;
  int noAuto;              // no automatic version and source-range sections
  std::vector<AsmSection> sections;  // explicit sections in text order
  std::vector<AsmDecl> decls;
  std::vector<AsmLink> links;
  std::vector<AsmExport> exports;
  std::vector<uint8_t> tail;         // raw bytes after the bytecode section
  std::vector<AsmFunc *> allFuncs;   // for freeing
};

// Parses a kvasm text. Returns 0, or 1 with a message "FILE:LINE: text" in *err.
int AsmParse(const std::string &text, const std::string &path, AsmProgram *prog, std::string *err);
void AsmFree(AsmProgram *prog);

// Builds the prototypes and dumps them with the runtime's writer into *out (little-endian).
int AsmBuildBytecode(AsmProgram *prog, std::vector<uint8_t> *out, std::string *err);

// Rewrites a little-endian chunk in big-endian byte order (header byte 4 = 0). 0 or 1.
int AsmSwapChunk(const std::vector<uint8_t> &in, std::vector<uint8_t> *out, std::string *err);

// 1 when the applet starts with a version section: one given, or the automatic one.
int AsmVersionWritten(const AsmProgram *prog);
// Applet container: "KVA\0" and sections around the bytecode.
int AsmBuildApplet(AsmProgram *prog, const std::vector<uint8_t> &bytecode, std::vector<uint8_t> *out,
                   std::string *err);
// Packed form: "KVZ\0", four zero bytes, one zlib stream.
int AsmPack(const std::vector<uint8_t> &applet, std::vector<uint8_t> *out, std::string *err);
int AsmUnpack(const std::vector<uint8_t> &packed, size_t offset, std::vector<uint8_t> *out, std::string *err);
// Copies the player image, writes the applet's offset into its AppletLocator and appends it.
int AsmAppend(const std::vector<uint8_t> &player, const std::vector<uint8_t> &applet, std::vector<uint8_t> *out,
              std::string *err);

// Disassembles a file image (bare bytecode in either order, applet or packed applet) into text
// that reassembles to the same bytes.
int AsmDisassemble(const std::vector<uint8_t> &image, const std::string &name, std::string *text,
                   std::string *err);

// Resolves a #NAME constant from the player's constant tables. 1 when found.
int AsmLookupConstant(const std::string &name, AsmConst *out);

// Whole-file helpers.
int AsmReadFile(const std::string &path, std::vector<uint8_t> *out);
int AsmWriteFile(const std::string &path, const std::vector<uint8_t> &data);

// Text form of a constant as the assembler reads it back.
std::string AsmConstText(const AsmConst &k);
// 1 when two constants are the same pool entry (numbers compared bit for bit).
int AsmSameConst(const AsmConst &a, const AsmConst &b);
// 1 when the container version major.minor is wantMajor.wantMinor or later.
int AsmVersionAtLeast(int major, int minor, int wantMajor, int wantMinor);

// Big-endian numbers of the applet container, appended to b.
void AsmPutU8(std::vector<uint8_t> *b, uint32_t v);
void AsmPutU16(std::vector<uint8_t> *b, uint32_t v);
void AsmPutU32(std::vector<uint8_t> *b, uint32_t v);

// lua_load of a chunk held in memory: 0 or the loader's error code.
int AsmLoadChunk(lua_State *L, const uint8_t *p, size_t n, const char *name);

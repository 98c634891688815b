// kvasm command line.
//   kvasm [--bytecode | --big-endian | --pack] [-o OUT] IN.kvs
//   kvasm --append PLAYER [--pack] -o OUT IN.kvs
//   kvasm -d FILE [-o OUT]
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/vm/api.h"
#include "tools/kvasm/kvasm_lib.h"

namespace {

void Usage() {
  fprintf(stderr,
          "usage: kvasm [--bytecode | --big-endian | --pack] [-o OUT] IN.kvs\n"
          "       kvasm --append PLAYER [--pack] -o OUT IN.kvs\n"
          "       kvasm -d FILE [-o OUT]\n");
}

int Die(const std::string &msg) {
  fprintf(stderr, "kvasm: %s\n", msg.c_str());
  return 1;
}

// The loader's verdict on the assembled code (fixtures may be malformed on purpose).
void CheckLoads(const std::vector<uint8_t> &bc, const std::string &name) {
  lua_State *L = lua_open();
  if (!L) return;
  int code = AsmLoadChunk(L, bc.data(), bc.size(), name.c_str());
  if (code) fprintf(stderr, "kvasm: warning: %s: the player's loader refuses this bytecode (error %d)\n", name.c_str(), code);
  lua_close(L);
}

enum OutputMode { OUT_APPLET, OUT_BYTECODE, OUT_BIG };

// The file image of a parsed program: an applet (packed with pack), or the bytecode in either
// byte order. 0, or 1 with the message in *err.
int BuildImage(AsmProgram *prog, const std::string &in, int asApplet, OutputMode mode, int pack,
               std::vector<uint8_t> *result, std::string *err) {
  std::vector<uint8_t> bc;
  if (AsmBuildBytecode(prog, &bc, err)) {
    *err = in + ": " + *err;
    return 1;
  }
  CheckLoads(bc, prog->sourceName);
  if (asApplet) {
    std::vector<uint8_t> applet;
    if (AsmBuildApplet(prog, bc, &applet, err)) return 1;
    if (pack) return AsmPack(applet, result, err);
    *result = applet;
    return 0;
  }
  if (mode == OUT_BIG) return AsmSwapChunk(bc, result, err);
  *result = bc;
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  OutputMode mode = OUT_APPLET;
  int pack = 0, disasm = 0;
  std::string out, in, player;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--bytecode") mode = OUT_BYTECODE;
    else if (a == "--big-endian") mode = OUT_BIG;
    else if (a == "--pack") pack = 1;
    else if (a == "-d") disasm = 1;
    else if (a == "-o" && i + 1 < argc) out = argv[++i];
    else if (a == "--append" && i + 1 < argc) player = argv[++i];
    else if (a == "-h" || a == "--help") { Usage(); return 0; }
    else if (!a.empty() && a[0] == '-') { Usage(); return 2; }
    else if (in.empty()) in = a;
    else { Usage(); return 2; }
  }
  if (in.empty()) { Usage(); return 2; }
  std::vector<uint8_t> src;
  if (AsmReadFile(in, &src)) return Die("cannot read " + in);
  std::string err;

  if (disasm) {
    std::string text;
    if (AsmDisassemble(src, in, &text, &err)) return Die(in + ": " + err);
    if (out.empty()) {
      fwrite(text.data(), 1, text.size(), stdout);
      return 0;
    }
    if (AsmWriteFile(out, std::vector<uint8_t>(text.begin(), text.end()))) return Die("cannot write " + out);
    return 0;
  }

  AsmProgram prog;
  if (AsmParse(std::string(src.begin(), src.end()), in, &prog, &err)) {
    AsmFree(&prog);
    fprintf(stderr, "%s\n", err.c_str());
    return 1;
  }
  std::vector<uint8_t> result;
  int failed = BuildImage(&prog, in, !player.empty() || mode == OUT_APPLET, mode, pack, &result, &err);
  AsmFree(&prog);
  if (failed) return Die(err);
  if (!player.empty()) {
    if (out.empty()) return Die("--append needs -o OUT");
    std::vector<uint8_t> image, joined;
    if (AsmReadFile(player, &image)) return Die("cannot read " + player);
    if (AsmAppend(image, result, &joined, &err)) return Die(player + ": " + err);
    result = joined;
  }
  if (out.empty()) {
    out = in;
    size_t dot = out.find_last_of('.');
    size_t slash = out.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) out.resize(dot);
    out += mode == OUT_APPLET ? ".kva" : ".kvb";
  }
  if (AsmWriteFile(out, result)) return Die("cannot write " + out);
  if (!player.empty()) chmod(out.c_str(), 0755);
  return 0;
}

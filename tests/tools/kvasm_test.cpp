// kvasm: round trips through the runtime's loader and writer in both byte orders, the
// disassembler, the encodings of the short forms, the applet container as the player's own
// reader sees it, packing, appending to a player image, and the command line.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "runtime/applet.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/player.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/bytecode.h"
#include "tools/kvasm/kvasm_lib.h"

namespace {

const char *kExample = R"(; counter.kvs
.version 4.7
.info 1 "Counter"
.display size 320 200
.export Start

.local count r0
Start:
        loadk   count, 0
loop:
        add     count, count, 1
        cmd     DebugPrint("count", count)
        jlt     count, 3, loop

        .func twice params=1
        .upval base = count
                add     r1, r0, r0
                getupval r2, base
                add     r1, r1, r2
                return  r1, 1
        .end
        closure r1, twice
        move    r2, count
        call    r1, 1, 1
        gosub   sub
        return  r0, 0

sub:    loadk   r3, "bytes: \x00\xff\n"
        loadk   r3, -0
        loadk   r3, 0
        loadk   r3, nan
        loadk   r3, -inf
        retsub
)";

struct Assembled {
  AsmProgram prog;
  std::vector<uint8_t> bc;
  std::string err;
  ~Assembled() { AsmFree(&prog); }
};

int Assemble(const std::string &text, Assembled *a, const std::string &path = "/tmp/dir/counter.kvs") {
  if (AsmParse(text, path, &a->prog, &a->err)) return 1;
  return AsmBuildBytecode(&a->prog, &a->bc, &a->err);
}

struct Reader {
  const std::vector<uint8_t> *b;
  int done;
};
const char *ReadOnce(lua_State *, void *data, size_t *size) {
  Reader *r = (Reader *)data;
  if (r->done) return nullptr;
  r->done = 1;
  *size = r->b->size();
  return (const char *)r->b->data();
}
int Collect(lua_State *, const void *p, size_t n, void *data) {
  auto *v = (std::vector<uint8_t> *)data;
  v->insert(v->end(), (const uint8_t *)p, (const uint8_t *)p + n);
  return 0;
}

// Loads bytecode and dumps it again; returns the loader's code.
int LoadDump(const std::vector<uint8_t> &bc, std::vector<uint8_t> *dump) {
  lua_State *L = lua_open();
  Reader r = {&bc, 0};
  int code = lua_load(L, ReadOnce, &r, "chunk");
  if (code == 0 && dump) lua_dump(L, -1, Collect, dump);
  lua_close(L);
  return code;
}

std::vector<uint32_t> Words(const AsmFunc *f) {
  std::vector<uint32_t> w;
  for (const AsmInsn &i : f->code) w.push_back(i.word);
  return w;
}

TEST(Kvasm, RoundTripsInBothByteOrders) {
  Assembled a;
  ASSERT_EQ(Assemble(kExample, &a), 0) << a.err;
  std::vector<uint8_t> dump;
  ASSERT_EQ(LoadDump(a.bc, &dump), 0);
  EXPECT_EQ(dump, a.bc);

  std::vector<uint8_t> be, back;
  std::string err;
  ASSERT_EQ(AsmSwapChunk(a.bc, &be, &err), 0) << err;
  EXPECT_EQ(be[4], 0);
  EXPECT_NE(be, a.bc);
  dump.clear();
  ASSERT_EQ(LoadDump(be, &dump), 0);
  EXPECT_EQ(dump, a.bc);  // the writer writes little-endian
  ASSERT_EQ(AsmSwapChunk(dump, &back, &err), 0);
  EXPECT_EQ(back, be);
}

TEST(Kvasm, DisassemblyReassemblesToTheSameBytes) {
  Assembled a;
  ASSERT_EQ(Assemble(kExample, &a), 0) << a.err;
  std::vector<uint8_t> applet, packed, be;
  std::string err;
  ASSERT_EQ(AsmBuildApplet(&a.prog, a.bc, &applet, &err), 0);
  ASSERT_EQ(AsmPack(applet, &packed, &err), 0);
  ASSERT_EQ(AsmSwapChunk(a.bc, &be, &err), 0);

  struct Case {
    const char *name;
    const std::vector<uint8_t> *image;
  } cases[] = {{"bytecode", &a.bc}, {"big-endian", &be}, {"applet", &applet}, {"packed", &packed}};
  for (const Case &c : cases) {
    std::string text;
    ASSERT_EQ(AsmDisassemble(*c.image, "x", &text, &err), 0) << c.name << ": " << err;
    Assembled b;
    ASSERT_EQ(Assemble(text, &b, "/tmp/other/name.kvs"), 0) << c.name << ": " << b.err << "\n" << text;
    std::vector<uint8_t> out = b.bc;
    if (c.image == &be) {
      ASSERT_EQ(AsmSwapChunk(b.bc, &out, &err), 0);
    }
    if (c.image == &applet || c.image == &packed) {
      ASSERT_EQ(AsmBuildApplet(&b.prog, b.bc, &out, &err), 0);
      if (c.image == &packed) {
        std::vector<uint8_t> p;
        ASSERT_EQ(AsmPack(out, &p, &err), 0);
        out = p;
      }
    }
    EXPECT_EQ(out, *c.image) << c.name << "\n" << text;
  }
}

TEST(Kvasm, LinesSourceAndEncodings) {
  Assembled a;
  ASSERT_EQ(Assemble(kExample, &a), 0) << a.err;
  const AsmFunc *m = a.prog.main;
  EXPECT_EQ(a.prog.sourceName, "counter.kvs");
  EXPECT_EQ(m->source, "counter.kvs");
  // "loadk count, 0" is on line 9, "add count, count, 1" on line 11
  EXPECT_EQ(m->code[0].line, 9);
  EXPECT_EQ(m->code[1].line, 11);
  // cmd: arguments, the lower-cased global, CALL with 2 arguments and no result (base r1)
  std::vector<uint32_t> w = Words(m);
  EXPECT_EQ(w[2], CREATE_ABx(OP_LOADK, 2, 2));  // "count" is constant 2 (after 0 and 1)
  EXPECT_EQ(w[3], CREATE_ABC(OP_MOVE, 3, 0, 0));
  EXPECT_EQ(w[4], CREATE_ABx(OP_GETGLOBAL, 1, 3));
  EXPECT_EQ(m->k[3].str, "debugprint");
  EXPECT_EQ(w[5], CREATE_ABC(OP_CALL, 1, 3, 1));
  for (int i = 2; i <= 5; i++) EXPECT_EQ(m->code[(size_t)i].line, 12);
  // jlt count, 3, loop -> LT 1 + JMP back to index 1
  EXPECT_EQ(w[6], CREATE_ABC(OP_LT, 1, 0, MAXINDEXRK + 4));
  EXPECT_EQ(w[7], CREATE_J(OP_JMP, 1 - 8, 0));
  // closure + its pseudo-instruction from ".upval base = count"
  EXPECT_EQ(w[8], CREATE_ABx(OP_CLOSURE, 1, 0));
  EXPECT_EQ(w[9], CREATE_ABC(OP_MOVE, 0, 0, 0));
  // gosub sub (index 14) with the Gosub flag; retsub = RETURN with C = 1
  EXPECT_EQ(w[12], CREATE_J(OP_JMP, 14 - 13, GOSUB_FLAG));
  EXPECT_EQ(w.back(), CREATE_ABC(OP_RETURN, 0, 1, 1));
  // -0 and 0 are different constants; nan is pooled once per bit pattern
  int zeros = 0;
  for (const AsmConst &k : m->k) zeros += k.kind == 3 && k.num == 0;
  EXPECT_EQ(zeros, 2);
  // the nested function carries the upvalue's name, its line defined is its .func line
  ASSERT_EQ(m->children.size(), 1u);
  EXPECT_EQ(m->children[0]->upvals[0].name, "base");
  EXPECT_EQ(m->children[0]->lineDefined, 15);
  // the export is the lower-cased label name with its index
  ASSERT_EQ(a.prog.exports.size(), 1u);
  EXPECT_EQ(a.prog.exports[0].name, "start");
  EXPECT_EQ(a.prog.exports[0].value, 0u);
}

TEST(Kvasm, ShortFormsAndCounts) {
  Assembled a;
  ASSERT_EQ(Assemble(R"(
.reg x r1
top:  jeq x, "a", top
      jne x, 1, top
      jge x, r2, top
      jgt 2, x, top
      jle x, x, top
      jt x, top
      jf x, top
      goto top
      call r4, *, *
      tailcall r4, 2
      setlist r0, 32, 5
      tforloop r0, 2
      jmp top, 3
      return r2, *
)", &a), 0) << a.err;
  std::vector<uint32_t> w = Words(a.prog.main);
  EXPECT_EQ(w[0], CREATE_ABC(OP_EQ, 1, 1, MAXINDEXRK + 0));
  EXPECT_EQ(w[2], CREATE_ABC(OP_EQ, 0, 1, MAXINDEXRK + 1));
  EXPECT_EQ(w[4], CREATE_ABC(OP_LT, 0, 1, 2));
  EXPECT_EQ(w[6], CREATE_ABC(OP_LE, 0, MAXINDEXRK + 2, 1));
  EXPECT_EQ(w[8], CREATE_ABC(OP_LE, 1, 1, 1));
  EXPECT_EQ(w[10], CREATE_ABC(OP_TEST, 1, 1, 1));
  EXPECT_EQ(w[12], CREATE_ABC(OP_TEST, 1, 1, 0));
  EXPECT_EQ(w[14], CREATE_J(OP_JMP, -15, 0));
  EXPECT_EQ(w[15], CREATE_ABC(OP_CALL, 4, 0, 0));
  EXPECT_EQ(w[16], CREATE_ABC(OP_TAILCALL, 4, 3, 0));
  EXPECT_EQ(w[17], CREATE_ABx(OP_SETLIST, 0, 36));
  EXPECT_EQ(w[18], CREATE_ABC(OP_TFORLOOP, 0, 0, 1));
  EXPECT_EQ(w[19], CREATE_J(OP_JMP, -20, 3));
  EXPECT_EQ(w[20], CREATE_ABC(OP_RETURN, 2, 0, 0));
}

TEST(Kvasm, ErrorsNameFileAndLine) {
  struct {
    const char *text;
    const char *message;
  } cases[] = {
      {"  nop r0\n", "t.kvs:1: unknown instruction nop"},
      {"\n  goto nowhere\n  return r0\n", "t.kvs:2: unknown label nowhere"},
      {"  move r0, r300\n", "t.kvs:1: register r300 out of range"},
      {"  move r0, x\n", "t.kvs:1: unknown register x"},
      {".func f\n  return r0\n", "t.kvs:1: function f has no .end"},
      {"  loadk r0, \"abc\n", "t.kvs:1: unfinished string"},
      {"  closure r0, g\n  return r0\n", "t.kvs:1: unknown function g"},
      {"a:\na:\n", "t.kvs:2: label a defined twice"},
      {".func f\n.version 4.7\n.end\n", "t.kvs:2: .version is only allowed outside functions"},
  };
  for (auto &c : cases) {
    Assembled a;
    EXPECT_NE(Assemble(c.text, &a, "dir/t.kvs"), 0) << c.text;
    EXPECT_EQ(a.err, c.message);
  }
}

TEST(Kvasm, MalformedFixturesAreWrittenButRefusedByTheLoader) {
  struct {
    const char *text;
    int code;
  } cases[] = {
      {".word 0x0000002b\nreturn r0\n", 1203},                  // opcode 43
      {"goto end\nend: .word 0x00000000\n", 1203},              // ends without RETURN
      {".main stack=251\nreturn r0\n", 1203},
      {".main params=3 stack=2\nreturn r0\n", 1203},
      {"getglobal r0, 5\nreturn r0\n", 1203},
      {".main upvals=1\n.upval a\n.upval b\nreturn r0\n", 1201},
  };
  for (auto &c : cases) {
    Assembled a;
    ASSERT_EQ(Assemble(c.text, &a), 0) << c.text << a.err;
    EXPECT_EQ(LoadDump(a.bc, nullptr), c.code) << c.text;
  }
}

TEST(Kvasm, PackAndAppend) {
  std::vector<uint8_t> applet = {'K', 'V', 'A', 0, 1, 0, 0, 0, 0}, packed, unpacked, out;
  std::string err;
  ASSERT_EQ(AsmPack(applet, &packed, &err), 0);
  ASSERT_GE(packed.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(packed.begin(), packed.begin() + 8),
            (std::vector<uint8_t>{'K', 'V', 'Z', 0, 0, 0, 0, 0}));
  EXPECT_EQ(packed[8], 0x78);  // zlib stream header
  ASSERT_EQ(AsmUnpack(packed, 0, &unpacked, &err), 0);
  EXPECT_EQ(unpacked, applet);

  // a fake player image holding one free locator
  std::vector<uint8_t> loc(53, 0);
  memcpy(loc.data(), "KVZ", 4);
  memcpy(loc.data() + 8, "Quorvane", 8);
  const uint8_t tail[13] = {0xde, 0xad, 0xc0, 0xde, 0xc0, 0xde, 0xca, 0xfe, 0xc0, 0xca, 0xc0, 0x1a, 0};
  memcpy(loc.data() + 40, tail, 13);
  std::vector<uint8_t> player(1000, 0x90);
  player.insert(player.begin() + 100, loc.begin(), loc.end());
  ASSERT_EQ(AsmAppend(player, applet, &out, &err), 0) << err;
  ASSERT_EQ(out.size(), player.size() + applet.size());
  uint32_t off = ((uint32_t)out[140] << 24) | ((uint32_t)out[141] << 16) | ((uint32_t)out[142] << 8) | out[143];
  EXPECT_EQ(off, player.size());
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + (long)off, out.end()), applet);
  // the patched locator is no longer free; a second append finds none
  std::vector<uint8_t> again;
  EXPECT_NE(AsmAppend(out, applet, &again, &err), 0);
  // two free locators are ambiguous
  player.insert(player.begin() + 500, loc.begin(), loc.end());
  EXPECT_NE(AsmAppend(player, applet, &again, &err), 0);
}

// The container as the player's own applet reader sees it.
class KvasmApplet : public ::testing::Test {
 protected:
  std::string dir;
  char savedCwd[PATH_MAX];
  lua_State *L = nullptr;
  ClArgsRecord *clargs = nullptr;
  AppletRecord *applet = nullptr;

  void SetUp() override {
    ASSERT_NE(getcwd(savedCwd, sizeof savedCwd), nullptr);
    char tmpl[] = "/tmp/kvasmtest.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    L = lua_open();
    clargs = (ClArgsRecord *)MemAlloc(sizeof(ClArgsRecord), 1);
    applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
    SetAppletDisplayDefaults(applet);
    RuntimeSettings.quiet = 1;
    AppendedAppletOffset = 0;
  }
  void TearDown() override {
    SetLinkedFiles(nullptr, 0, nullptr);
    FreeAppletContents(applet);
    MemFree(applet);
    MemFree(clargs);
    lua_close(L);
    DeleteTempFiles();
    RuntimeSettings.quiet = 0;
    ASSERT_EQ(chdir(savedCwd), 0);
    std::system(("rm -rf '" + dir + "'").c_str());
  }
};

TEST_F(KvasmApplet, PlayerReadsWhatKvasmWrites) {
  ASSERT_EQ(AsmWriteFile(dir + "/pic.png", {1, 2, 3, 4, 5}), 0);
  ASSERT_EQ(AsmWriteFile(dir + "/data.bin", {9, 8, 7}), 0);
  std::string text = R"(.version 4.7
.display size 320 200
.declare brush 7 "pic.png" link w=16 h=8
.declare display 2 title="Two" w=100 h=50 drag=1:2:3:4:5
.link "data.bin" "data.bin"
.export Here
  loadk r0, 1
Here:
  return r0
)";
  Assembled a;
  ASSERT_EQ(Assemble(text, &a, dir + "/app.kvs"), 0) << a.err;
  std::vector<uint8_t> image;
  std::string err;
  ASSERT_EQ(AsmBuildApplet(&a.prog, a.bc, &image, &err), 0) << err;
  ASSERT_EQ(AsmWriteFile(dir + "/app.kva", image), 0);
  snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s/app.kva", dir.c_str());
  ASSERT_EQ(LoadScriptFile(clargs, applet, L), 0);

  ASSERT_EQ(applet->bytecodeLength, a.bc.size());
  EXPECT_EQ(memcmp(applet->bytecode, a.bc.data(), a.bc.size()), 0);
  // declarations in order: the default display of ".display size", the brush, the display
  int brushes = 0, displays = 0;
  for (PreprocObject *o = applet->objects; o; o = o->next) {
    if (o->type == PREPROC_BRUSH) {
      brushes++;
      EXPECT_EQ(o->id, 7u);
      EXPECT_NE(strstr(o->fileName, "pic.png"), nullptr);
      EXPECT_EQ(o->linkSize, 5u);
      EXPECT_EQ(memcmp(image.data() + o->linkOffset, "\1\2\3\4\5", 5), 0);
      EXPECT_EQ(o->line, 3);
      ASSERT_NE(o->block, nullptr);
      EXPECT_EQ(((PictureDeclBlock *)o->block)->width, 16);
      EXPECT_EQ(((PictureDeclBlock *)o->block)->globalAlpha, -1);
    }
    if (o->type == PREPROC_DISPLAY && o->id == 2) {
      displays++;
      DisplayDecl *d = (DisplayDecl *)o->block;
      ASSERT_NE(d, nullptr);
      EXPECT_STREQ(d->title, "Two");
      EXPECT_EQ(d->width, 100);
      EXPECT_EQ(d->dragRegionCount, 1);
      EXPECT_EQ(d->dragRegions[0].height, 5);
    }
  }
  EXPECT_EQ(brushes, 1);
  EXPECT_EQ(displays, 1);
  // source range: file and source are the text's own name, line n is line n
  ASSERT_NE(applet->sourceRanges, nullptr);
  EXPECT_STREQ(applet->sourceRanges->fileName, "app.kvs");
  EXPECT_STREQ(applet->sourceRanges->sourceName, "app.kvs");
  EXPECT_EQ(applet->sourceRanges->firstLine, 1);
  EXPECT_EQ(applet->sourceRanges->lineOffset, 0);
  // linked file
  ASSERT_NE(applet->linkedFiles, nullptr);
  EXPECT_STREQ(applet->linkedFiles->name, "data.bin");
  EXPECT_EQ(applet->linkedFiles->size, 3u);
  EXPECT_EQ(memcmp(image.data() + applet->linkedFiles->offset, "\x09\x08\x07", 3), 0);
  // label registry: "here" -> index 1
  lua_pushstring(L, "labels");
  lua_rawget(L, LUA_REGISTRYINDEX);
  ASSERT_TRUE(lua_istable(L, -1));
  lua_pushstring(L, "here");
  lua_rawget(L, -2);
  EXPECT_EQ(lua_tonumber(L, -1), 1);
  lua_settop(L, 0);
}

// Every declaration kind is encoded in the layout of the version the player reads them with.
TEST_F(KvasmApplet, DeclarationLayoutFollowsTheVersion) {
  const char *heads[] = {"", ".version 2.0\n", ".version 3.1\n", ".version 4.0\n", ".version 4.1\n", ".noauto\n"};
  for (const char *head : heads) {
    std::string text = std::string(head) +
                       ".declare bgpic 1 \"a.png\" fill=2\n"
                       ".declare brush 2 \"b.png\" w=3\n"
                       ".declare anim 3 \"c.anim\" frames=4 fromdisk=1\n"
                       ".declare music 4 \"d.mod\"\n"
                       ".declare sample 5 \"e.wav\"\n"
                       ".declare button 6 v1=1 v2=2 v3=3 v4=4\n"
                       ".declare keydown 7 \"ESC\"\n"
                       ".declare sprite 8 \"f.png\" frames=2\n"
                       ".declare file 9 \"g.txt\"\n"
                       ".declare font 10 \"h.font\" size=12\n"
                       ".declare display 11 title=\"T\" region=1:0:0:10:10\n"
                       "  return r0\n";
    Assembled a;
    ASSERT_EQ(Assemble(text, &a, dir + "/v.kvs"), 0) << head << a.err;
    std::vector<uint8_t> image;
    std::string err;
    ASSERT_EQ(AsmBuildApplet(&a.prog, a.bc, &image, &err), 0);
    ASSERT_EQ(AsmWriteFile(dir + "/v.kva", image), 0);
    FreeAppletContents(applet);
    memset(applet, 0, sizeof *applet);
    SetAppletDisplayDefaults(applet);
    snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s/v.kva", dir.c_str());
    ASSERT_EQ(LoadScriptFile(clargs, applet, L), 0) << head;
    ASSERT_EQ(applet->bytecodeLength, a.bc.size()) << head;
    int count = 0;
    for (PreprocObject *o = applet->objects; o; o = o->next) count++;
    EXPECT_EQ(count, 11) << head;
    // the disassembler splits the sections the same way: its text gives the same bytes
    std::string textOut;
    ASSERT_EQ(AsmDisassemble(image, "v", &textOut, &err), 0) << head << err;
    Assembled b;
    ASSERT_EQ(Assemble(textOut, &b, dir + "/w.kvs"), 0) << b.err;
    std::vector<uint8_t> again;
    ASSERT_EQ(AsmBuildApplet(&b.prog, b.bc, &again, &err), 0);
    EXPECT_EQ(again, image) << head;
  }
}

std::string Shell(const std::string &cmd) {
  std::string out;
  FILE *p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return "popen failed";
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (rc != 0) out += "[exit " + std::to_string(rc) + "]";
  return out;
}

TEST(KvasmCommandLine, AssembleDisassembleAndErrors) {
  char tmpl[] = "/tmp/kvasmcli.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string d = tmpl, exe = KVASM_EXE;
  ASSERT_EQ(AsmWriteFile(d + "/c.kvs", std::vector<uint8_t>(kExample, kExample + strlen(kExample))), 0);
  EXPECT_EQ(Shell(exe + " " + d + "/c.kvs"), "");
  EXPECT_EQ(Shell(exe + " --bytecode -o " + d + "/c.kvb " + d + "/c.kvs"), "");
  EXPECT_EQ(Shell(exe + " --big-endian -o " + d + "/cbe.kvb " + d + "/c.kvs"), "");
  EXPECT_EQ(Shell(exe + " --pack -o " + d + "/cp.kva " + d + "/c.kvs"), "");
  for (std::string f : {"c.kva", "c.kvb", "cp.kva"}) {
    EXPECT_EQ(Shell(exe + " -d " + d + "/" + f + " -o " + d + "/re.kvs"), "");
    std::string flag = f == "c.kvb" ? "--bytecode" : f == "cp.kva" ? "--pack" : "";
    EXPECT_EQ(Shell(exe + " " + flag + " -o " + d + "/re.out " + d + "/re.kvs"), "");
    EXPECT_EQ(Shell("cmp " + d + "/" + f + " " + d + "/re.out"), "") << f;
  }
  std::vector<uint8_t> be;
  ASSERT_EQ(AsmReadFile(d + "/cbe.kvb", &be), 0);
  EXPECT_EQ(be[4], 0);
  // an error names the file and line and fails
  ASSERT_EQ(AsmWriteFile(d + "/bad.kvs", {'\n', ' ', 'f', 'o', 'o', '\n'}), 0);
  EXPECT_EQ(Shell(exe + " " + d + "/bad.kvs"), "bad.kvs:2: unknown instruction foo\n[exit 256]");
  // a fixture the loader refuses is still written, with a warning
  ASSERT_EQ(AsmWriteFile(d + "/mal.kvs", std::vector<uint8_t>{'m', 'o', 'v', 'e', ' ', 'r', '0', ',', 'r', '0', '\n'}), 0);
  std::string msg = Shell(exe + " --bytecode " + d + "/mal.kvs");
  EXPECT_NE(msg.find("error 1203"), std::string::npos) << msg;
  EXPECT_EQ(access((d + "/mal.kvb").c_str(), F_OK), 0);
  std::system(("rm -rf '" + d + "'").c_str());
}

}  // namespace

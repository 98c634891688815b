// Builders of applet containers and minimal bytecode for the player's tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/vm/opcodes.h"

// Big-endian container bytes.
struct Bytes {
    std::string s;
    Bytes &u8(unsigned v) { s.push_back((char)(v & 0xff)); return *this; }
    Bytes &u16(unsigned v) { return u8(v >> 8).u8(v); }
    Bytes &u32(uint32_t v) { return u16(v >> 16).u16(v & 0xffff); }
    Bytes &str(const std::string &t) { s += t; return *this; }
    Bytes &cstr(const std::string &t) { s += t; s.push_back(0); return *this; }
    Bytes &raw(const std::string &t) { s += t; return *this; }
    size_t size() const { return s.size(); }
};

// Little-endian bytecode: the 21-byte header and one main function whose code is `count`
// instructions: (count - 1) MOVE 0 0 followed by RETURN 0 1 0.
inline std::string MinimalBytecode(int count = 1)
{
    std::string b("\x1bKVB", 4);
    const unsigned char sizes[] = {1, 4, 4, 4, 6, 8, 9, 9, 8};
    b.append((const char *)sizes, sizeof sizes);
    double test = 31415926.535897933;
    char num[8];
    memcpy(num, &test, 8);
    b.append(num, 8);
    auto i32 = [&](uint32_t v) { b.append((const char *)&v, 4); };
    i32(0);                 // source: none (the chunk name is used)
    i32(0);                 // line defined
    b.push_back(0);         // upvalues
    b.push_back(0);         // parameters
    b.push_back(0);         // vararg
    b.push_back(2);         // max stack size
    i32(0);                 // line information
    i32(0);                 // locals
    i32(0);                 // upvalue names
    i32(0);                 // constants
    i32(0);                 // prototypes
    i32((uint32_t)count);
    for (int i = 0; i + 1 < count; i++) i32(CREATE_ABC(OP_MOVE, 0, 0, 0));
    i32(CREATE_ABC(OP_RETURN, 0, 1, 0));
    return b;
}

// Little-endian bytecode of a main function with string constants, the given code and, when
// lines is not empty, one line number per instruction.
#include <vector>
inline std::string MainBytecode(const std::vector<std::string> &strings, const std::vector<uint32_t> &code,
                                const std::vector<int> &lines, int maxStack = 4)
{
    std::string b = MinimalBytecode().substr(0, 21);
    auto i32 = [&](uint32_t v) { b.append((const char *)&v, 4); };
    i32(0);
    i32(0);
    b.push_back(0);
    b.push_back(0);
    b.push_back(0);
    b.push_back((char)maxStack);
    i32((uint32_t)lines.size());
    for (int l : lines) i32((uint32_t)l);
    i32(0);
    i32(0);
    i32((uint32_t)strings.size());
    for (const std::string &k : strings) {
        b.push_back(4);
        i32((uint32_t)k.size() + 1);
        b += k;
        b.push_back(0);
    }
    i32(0);
    i32((uint32_t)code.size());
    for (uint32_t w : code) i32(w);
    return b;
}

// A main chunk that calls the undefined global "nofunc" on line `line`.
inline std::string FailingBytecode(int line)
{
    return MainBytecode({"nofunc"},
                        {CREATE_ABx(OP_GETGLOBAL, 0, 0), CREATE_ABC(OP_CALL, 0, 1, 1), CREATE_ABC(OP_RETURN, 0, 1, 0)},
                        {line, line, line});
}

// A complete applet: "KVA\0", the given sections, then the bytecode section.
inline std::string Applet(const std::string &sections, const std::string &bytecode = MinimalBytecode())
{
    Bytes a;
    a.raw(std::string("KVA\0", 4)).raw(sections).u8(0x01).u32((uint32_t)bytecode.size()).raw(bytecode);
    return a.s;
}

inline void WriteFileBytes(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

inline std::string ReadFileBytes(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return data;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    return data;
}

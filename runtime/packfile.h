// Packed files: one zlib stream behind a four-byte magic and four zero bytes.
// "KVPK" files of the dos library and packed applets ("KVZ" and a zero byte) use it.
#pragma once
#include <cstdint>

struct lua_State;

// Packs the whole source file into dest: magic (4 bytes), 4 zero bytes, zlib stream.
// outSize (may be nullptr) receives the packed file's size. Returns 0 or an error code.
int DeflateFile(const char *magic, const char *source, const char *dest, int64_t *outSize);

// Unpacks the stream found at sourceOffset of source (after checking the magic and
// skipping 4 bytes) into dest. outSize (may be nullptr) receives the unpacked size.
// Returns 0 or an error code.
int InflateFile(const char *magic, const char *source, const char *dest, int64_t sourceOffset,
                int64_t *outSize);

// Handlers of the dos library's CompressFile(source, dest) and DecompressFile(source, dest),
// for its command table. Both refuse to write a file onto itself.
int CompressFileCmd(lua_State *L);
int DecompressFileCmd(lua_State *L);

// IFF ILBM reader on untrusted bytes: size query and full decode with palette.
#include "pictures/picture_readers.h"
#include "tests/fuzz/fuzz_common_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return FuzzStill("", data, size, ReadILBM); }

// Linked font files from untrusted bytes: the flags header (with its skipped length) and the font
// behind it, opened by both engines from a memory section.
#include <cstdint>
#include <initializer_list>

#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "text/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > (1u << 20)) return 0;
    static int started = 0;
    if (!started) started = InitFontSystem(nullptr) == 0;
    if (RegisterMemorySection(data, size) != 0) return 0;
    char name[KV_PATH_SIZE];
    if (MakeChunkName("font", name, sizeof name, -1, (uint32_t)size, 0, nullptr, data)) {
        for (int engine : {FONTENGINE_NATIVE, FONTENGINE_INBUILT}) {
            FontHandle *font = nullptr;
            if (LoadFont(name, 12, engine, 1, 1, &font) == 0) {
                TextMetrics m;
                MeasureFontRun(font, "Hello", 5, 0, 0, &m);
                UnloadFont(font);
            }
        }
    }
    UnregisterMemorySection(data);
    return 0;
}

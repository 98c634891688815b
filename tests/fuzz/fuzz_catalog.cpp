// Message catalogs from untrusted bytes: parsing, lookups and message filling.
#include <cstddef>
#include <cstdint>

#include "runtime/catalog.h"
#include "runtime/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MessageCatalog *cat = ParseCatalog(data, size);
    if (!cat) return 0;
    SetLoadedCatalog(cat);
    char buf[ERR_TEXT_SIZE];
    SetErrorString("name.png");
    SetErrorNumber(42);
    for (int code = ERR_FIRST_CODE; code <= ERR_LAST_CODE; code++)
        FormatErrorMessage(code, buf, sizeof buf);
    FindCatalogString(cat, 0xfffffffeu);
    FreeCatalog();
    return 0;
}

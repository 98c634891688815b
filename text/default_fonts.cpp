// Lookup of the compiled-in default fonts.
#include "text/default_fonts.h"

#include <strings.h>

const DefaultFont *FindDefaultFont(const char *name)
{
    for (const DefaultFont &f : DefaultFonts)
        if (strcasecmp(f.name, name) == 0) return &f;
    return nullptr;
}

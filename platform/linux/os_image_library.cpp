// SDL_image, opened when the first picture is decoded or encoded: loading it with its format
// libraries at start-up would cost every applet time.
#include <SDL.h>
#include <SDL_image.h>

#include <type_traits>

#include "platform/linux/os_internal.h"

// The table's pointers have the types of the routines the header declares.
static_assert(std::is_same_v<decltype(OsImageRoutines::isPNG), decltype(&IMG_isPNG)> &&
              std::is_same_v<decltype(OsImageRoutines::isWEBP), decltype(&IMG_isWEBP)> &&
              std::is_same_v<decltype(OsImageRoutines::loadTyped), decltype(&IMG_LoadTyped_RW)> &&
              std::is_same_v<decltype(OsImageRoutines::savePNG), decltype(&IMG_SavePNG_RW)> &&
              std::is_same_v<decltype(OsImageRoutines::saveJPG), decltype(&IMG_SaveJPG_RW)>);

static const OsImageRoutines *OpenImageLibrary(void)
{
    static const char *const names[] = {"IMG_isPNG",      "IMG_isJPG",      "IMG_isTIF",
                                        "IMG_isWEBP",     "IMG_LoadTyped_RW", "IMG_SavePNG_RW",
                                        "IMG_SaveJPG_RW", nullptr};
    static OsImageRoutines routines;
    return OsOpenLibrary(KV_SDL2_IMAGE_LIBRARY, names, &routines, sizeof routines) ? nullptr : &routines;
}

const OsImageRoutines *OsImageLibrary(void)
{
    static const OsImageRoutines *routines = OpenImageLibrary();
    return routines;
}

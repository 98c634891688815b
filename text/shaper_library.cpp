// HarfBuzz's routines, looked up by name when the first native font is opened.
#include "text/shaper_library.h"

#include "platform/os.h"

static const ShaperRoutines *OpenShaperLibrary(void)
{
    static const char *const names[] = {"hb_ft_font_create_referenced",
                                        "hb_font_destroy",
                                        "hb_buffer_create",
                                        "hb_buffer_destroy",
                                        "hb_buffer_allocation_successful",
                                        "hb_buffer_clear_contents",
                                        "hb_buffer_add_codepoints",
                                        "hb_buffer_guess_segment_properties",
                                        "hb_buffer_get_glyph_infos",
                                        "hb_buffer_get_glyph_positions",
                                        "hb_shape",
                                        nullptr};
    static ShaperRoutines routines;
    return OsOpenLibrary(KV_HARFBUZZ_LIBRARY, names, &routines, sizeof routines) ? nullptr : &routines;
}

const ShaperRoutines *ShaperLibrary(void)
{
    static const ShaperRoutines *routines = OpenShaperLibrary();
    return routines;
}

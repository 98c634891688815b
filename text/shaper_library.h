// HarfBuzz, the shaper of native fonts, opened with the first native font: loading it with its
// dependencies at start-up would cost every applet time, and most print with the built-in fonts.
#pragma once
#include <hb-ft.h>
#include <hb.h>

struct ShaperRoutines {
    decltype(&hb_ft_font_create_referenced) fontCreateReferenced;
    decltype(&hb_font_destroy) fontDestroy;
    decltype(&hb_buffer_create) bufferCreate;
    decltype(&hb_buffer_destroy) bufferDestroy;
    decltype(&hb_buffer_allocation_successful) bufferAllocationSuccessful;
    decltype(&hb_buffer_clear_contents) bufferClearContents;
    decltype(&hb_buffer_add_codepoints) bufferAddCodepoints;
    decltype(&hb_buffer_guess_segment_properties) bufferGuessSegmentProperties;
    decltype(&hb_buffer_get_glyph_infos) bufferGetGlyphInfos;
    decltype(&hb_buffer_get_glyph_positions) bufferGetGlyphPositions;
    decltype(&hb_shape) shape;
};

// The routines, or nullptr when the library can't be opened.
const ShaperRoutines *ShaperLibrary(void);

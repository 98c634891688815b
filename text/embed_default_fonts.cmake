# Generates the source that holds the default fonts' bytes (included by the top CMakeLists.txt
# after the kv_text library is defined). Each file's length is checked against the length the
# program expects; a different file stops the build.
find_path(KV_VERA_DIR Vera.ttf PATHS /usr/share/fonts/truetype/ttf-bitstream-vera NO_DEFAULT_PATH)
if(NOT KV_VERA_DIR)
  message(FATAL_ERROR "Vera.ttf not found: install ttf-bitstream-vera (scripts/setup)")
endif()
set(KV_DEFAULT_FONTS_SOURCE ${CMAKE_BINARY_DIR}/generated/default_fonts_data.cpp)
add_custom_command(OUTPUT ${KV_DEFAULT_FONTS_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DFONT_DIR=${KV_VERA_DIR} -DOUTPUT=${KV_DEFAULT_FONTS_SOURCE}
          -P ${CMAKE_SOURCE_DIR}/text/embed_default_fonts_run.cmake
  DEPENDS ${KV_VERA_DIR}/Vera.ttf ${KV_VERA_DIR}/VeraSe.ttf ${KV_VERA_DIR}/VeraMono.ttf
          ${CMAKE_SOURCE_DIR}/text/embed_default_fonts_run.cmake
  COMMENT "Embedding the default fonts")
target_sources(kv_text PRIVATE ${KV_DEFAULT_FONTS_SOURCE})

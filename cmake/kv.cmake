# Helpers shared by the build files.

set(KV_FOLDER_LIBS "")

# kv_folder_library(NAME DIR...): a static library of the .cpp files directly in DIRs.
function(kv_folder_library name)
  set(srcs "")
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND srcs ${found})
  endforeach()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_include_directories(${name} SYSTEM PRIVATE ${OpenCV_INCLUDE_DIRS})
    target_link_libraries(${name} PRIVATE PkgConfig::SDL2 PkgConfig::SDL2IMAGE PkgConfig::SNDFILE
                          PkgConfig::FREETYPE PkgConfig::FONTCONFIG ZLIB::ZLIB)
    set(KV_FOLDER_LIBS ${KV_FOLDER_LIBS} ${name} PARENT_SCOPE)
  endif()
endfunction()

# kv_library_soname(VAR FILE): the name the dynamic loader knows the shared library FILE by (its
# soname; the resolved file itself when that can't be read), for opening it on first use.
function(kv_library_soname var file)
  get_filename_component(name ${file} REALPATH)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${file} OUTPUT_VARIABLE dump ERROR_QUIET)
  if(dump MATCHES "SONAME +([^\n ]+)")
    set(name ${CMAKE_MATCH_1})
  endif()
  set(${var} ${name} PARENT_SCOPE)
endfunction()

# Environment every test runs in: headless video and audio.
set(KV_TEST_ENV "SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy")

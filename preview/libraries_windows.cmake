# The preview's libraries on Windows: static builds of Debian 12's sources made by
# scripts/windows-libs, in TERVANE_WINDOWS_LIBS (by default the script's current build
# for this architecture under ~/.cache), with zlib from Debian's libz-mingw-w64-dev.
# Defines tervane_preview_libraries, TERVANE_PREVIEW_FONT and tervane_font_beside(), or
# sets TERVANE_PREVIEW_SKIPPED when the libraries were not built.
set(TERVANE_WINDOWS_LIBS "" CACHE PATH
  "Prefix of scripts/windows-libs' static libraries for this architecture (empty: its current build in ~/.cache)")
if(TERVANE_WINDOWS_LIBS)
  set(prefix ${TERVANE_WINDOWS_LIBS})
else()
  if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(cache_home $ENV{XDG_CACHE_HOME})
  else()
    set(cache_home $ENV{HOME}/.cache)
  endif()
  set(prefix ${cache_home}/tervane/windows-libs/${CMAKE_SYSTEM_PROCESSOR}/current)
endif()
if(NOT EXISTS ${prefix}/.complete)
  if(TERVANE_WINDOWS_LIBS)
    message(FATAL_ERROR "TERVANE_WINDOWS_LIBS=${TERVANE_WINDOWS_LIBS} holds no complete build of scripts/windows-libs")
  endif()
  message(WARNING "tervane-preview and tervane-studio are left out: run scripts/windows-libs "
                  "${CMAKE_SYSTEM_PROCESSOR} to build their libraries (${prefix})")
  set(TERVANE_PREVIEW_SKIPPED TRUE)
  return()
endif()
# The keyed folder itself, so that a later build of the script does not change this
# build's libraries until it is configured again.
file(REAL_PATH ${prefix} prefix)
message(STATUS "Preview libraries: ${prefix}")

# libz.a by name: a plain "z" would find the import library of zlib1.dll.
find_library(TERVANE_WINDOWS_ZLIB NAMES libz.a REQUIRED)
find_file(TERVANE_PREVIEW_FONT DejaVuSansMono.ttf
  PATHS /usr/share/fonts/truetype/dejavu /usr/share/fonts/dejavu /usr/share/fonts
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

add_library(tervane_preview_libraries INTERFACE)
target_include_directories(tervane_preview_libraries SYSTEM INTERFACE ${prefix}/include ${prefix}/include/freetype2)
target_link_libraries(tervane_preview_libraries INTERFACE
  ${prefix}/lib/libzint-static.a ${prefix}/lib/libfreetype.a ${prefix}/lib/libpng16.a
  ${prefix}/lib/libzbar.a ${TERVANE_WINDOWS_ZLIB})
set(TERVANE_WINDOWS_LIBS_PREFIX ${prefix})

# The programs read the font from their own folder: a copy beside each one built here,
# and one installed beside the installed programs.
function(tervane_font_beside target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TERVANE_PREVIEW_FONT} $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
install(FILES ${TERVANE_PREVIEW_FONT} DESTINATION ${CMAKE_INSTALL_BINDIR})

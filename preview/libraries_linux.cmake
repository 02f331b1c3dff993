# The preview's libraries on Linux: Debian's packages (scripts/debian-packages.txt).
# Defines tervane_preview_libraries, TERVANE_PREVIEW_FONT and tervane_font_beside().
find_package(Freetype REQUIRED)
find_package(PNG REQUIRED)
# Debian ships libzint without a pkg-config file and puts the library in /usr/lib.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ZBAR REQUIRED IMPORTED_TARGET zbar)
find_path(ZINT_INCLUDE_DIR zint.h REQUIRED)
find_library(ZINT_LIBRARY NAMES zint PATHS /usr/lib REQUIRED)
find_file(TERVANE_PREVIEW_FONT DejaVuSansMono.ttf
  PATHS /usr/share/fonts/truetype/dejavu /usr/share/fonts/dejavu /usr/share/fonts
  NO_DEFAULT_PATH REQUIRED)

add_library(tervane_preview_libraries INTERFACE)
target_include_directories(tervane_preview_libraries INTERFACE ${ZINT_INCLUDE_DIR})
target_link_libraries(tervane_preview_libraries INTERFACE
  Freetype::Freetype PNG::PNG ${ZINT_LIBRARY} PkgConfig::ZBAR)

# The programs read the font where the system keeps it.
function(tervane_font_beside target)
endfunction()

# The one version of the programs is project(... VERSION) in the top CMakeLists.txt.
#
# tervane_version: an interface library whose include folder holds the generated
# tervane_version.h (TERVANE_VERSION "1.0.0"), read by the programs' --version.
# tervane_version_resource(<target> <description>): on Windows, a VERSIONINFO resource
# for the program (FileVersion and ProductVersion 1.0.0.0), compiled by windres.
configure_file(${CMAKE_CURRENT_LIST_DIR}/tervane_version.h.in
  ${CMAKE_BINARY_DIR}/generated/tervane_version.h @ONLY)
add_library(tervane_version INTERFACE)
target_include_directories(tervane_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# Taken here, at the top: a subproject (googletest) sets PROJECT_VERSION of its own.
set(TERVANE_VERSION ${PROJECT_VERSION})
set(TERVANE_VERSION_NUMBERS
  "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(TERVANE_FILE_VERSION
  "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(TERVANE_VERSION_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)

function(tervane_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(TERVANE_RC_PROGRAM ${target})
  set(TERVANE_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${TERVANE_VERSION_RC_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

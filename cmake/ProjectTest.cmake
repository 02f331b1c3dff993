# add_project_test(NAME <name> SOURCES <files...> [LIBS <libs...>] [ENV <VAR=value...>] [TIMEOUT <s>])
#
# Builds one GoogleTest binary and registers it as ONE CTest test (one process per
# binary, which keeps Wine runs cheap). In a Windows cross build the binary runs
# through CMAKE_CROSSCOMPILING_EMULATOR (wine64). TERVANE_BUILD_DIR and
# TERVANE_SOURCE_DIR are passed so tests can find the programs and fixtures.
function(add_project_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tervane_gtest_main)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(cmd ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_NAME}>)
  else()
    set(cmd $<TARGET_FILE:${T_NAME}>)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${cmd} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "TERVANE_BUILD_DIR=${CMAKE_BINARY_DIR};TERVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
endfunction()

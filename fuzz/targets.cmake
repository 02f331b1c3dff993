# The fuzz targets: tervane_fuzz_target(NAME SOURCES ... REQUIRES <libraries...>).
# fuzz/CMakeLists.txt builds them as libFuzzer programs; tests/hardening builds the
# same sources with a replay main that runs the seed corpus and the kept regression
# inputs as an ordinary test. A target whose libraries do not exist is left out.
set(fuzz_dir ${CMAKE_SOURCE_DIR}/fuzz)

tervane_fuzz_target(fuzz_field_reader
  SOURCES ${fuzz_dir}/fuzz_field_reader.cpp
  REQUIRES tervane_client_core)

tervane_fuzz_target(fuzz_allow_list
  SOURCES ${fuzz_dir}/fuzz_allow_list.cpp
  REQUIRES tervane_allow_list)

tervane_fuzz_target(fuzz_client_settings
  SOURCES ${fuzz_dir}/fuzz_client_settings.cpp
  REQUIRES tervane_client)

tervane_fuzz_target(fuzz_client_intake
  SOURCES ${fuzz_dir}/fuzz_client_intake.cpp
  REQUIRES tervane_client)

tervane_fuzz_target(fuzz_service_settings
  SOURCES ${fuzz_dir}/fuzz_service_settings.cpp
  REQUIRES tervane_service)
tervane_fuzz_target(fuzz_service_request
  SOURCES ${fuzz_dir}/fuzz_service_request.cpp
  REQUIRES tervane_service)

tervane_fuzz_target(fuzz_preview_reader
  SOURCES ${fuzz_dir}/fuzz_preview_reader.cpp
  REQUIRES tervane_preview_core)

tervane_fuzz_target(fuzz_studio_request
  SOURCES ${fuzz_dir}/fuzz_studio_request.cpp
  REQUIRES tervane_studio_api)

tervane_fuzz_target(fuzz_printer_stream
  SOURCES ${fuzz_dir}/fuzz_printer_stream.cpp
  REQUIRES tervane_studio_api)

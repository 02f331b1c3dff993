# Koldane: the first-generation print service, a console program that is also a
# service (install "-i", remove "-d", run when started by the service manager).
# tervane_service_platform (the dispatcher, status reports and service manager of both
# services) is defined in platform/. The database layer is linked in the top-level
# CMakeLists.txt once database/ has defined it.
if(WIN32)
  set(koldane_folder_source koldane_folder_win32.cpp)
else()
  set(koldane_folder_source koldane_folder_posix.cpp)
endif()
add_executable(Koldane koldane_main.cpp koldane_service.cpp ${koldane_folder_source})
target_link_libraries(Koldane PRIVATE tervane_service tervane_system_reports tervane_service_platform
  tervane_version)
tervane_version_resource(Koldane "Koldane print service")
if(WIN32)
  # The texts of its event-log entries (platform/event_messages.mc).
  # shell32: where ProgramData is (service/koldane_folder_win32.cpp).
  target_link_libraries(Koldane PRIVATE tervane_event_messages shell32)
endif()
install(TARGETS Koldane RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})

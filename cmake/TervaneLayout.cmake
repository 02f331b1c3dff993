# The file layout of the programs, chosen at build time.
#
# TERVANE_FHS=OFF (the default, and always on Windows): every program keeps its files in
# its own folder: barcode.ini and the argument log beside the client, NAME.INI and
# NAME.LOG beside a service, the job copy in the service's current folder.
# TERVANE_FHS=ON (Linux): the folders of the file-system hierarchy, from GNUInstallDirs
# (with the prefix /usr: /etc/tervane, /var/log/tervane, /var/lib/tervane).
#
# tervane_layout: an interface library whose include folder holds the generated
# tervane_layout.h (the three folders). The sources that place the files come in two
# forms, one per layout, and the folders' CMakeLists.txt pick one:
#   client/client_files_beside.cpp   client/client_files_fhs.cpp
#   service/service_paths_posix.cpp  service/service_paths_fhs.cpp
include(GNUInstallDirs)
if(TERVANE_FHS AND WIN32)
  message(FATAL_ERROR "TERVANE_FHS is for Linux: the Windows programs keep their files beside themselves")
endif()
set(TERVANE_SETTINGS_DIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}/tervane")
set(TERVANE_LOG_DIR "${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/log/tervane")
set(TERVANE_STATE_DIR "${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/tervane")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tervane_layout.h.in
  ${CMAKE_BINARY_DIR}/generated/tervane_layout.h @ONLY)
add_library(tervane_layout INTERFACE)
target_include_directories(tervane_layout INTERFACE ${CMAKE_BINARY_DIR}/generated)

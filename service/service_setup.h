// Who installs a print service into the system's service manager: the program itself
// (its install and remove commands), or its package. The packaged Linux build
// (TERVANE_FHS=ON) ships a hardened unit in the system's unit folder; a unit written by
// the install command would lie in /etc/systemd/system, take its place and run the
// service as root, and the remove command would stop, disable and delete the unit of
// that name there. One source per layout, picked in service/CMakeLists.txt:
//   service_setup_beside.cpp   the commands go on (Windows, and Linux beside the program)
//   service_setup_fhs.cpp      the commands are refused: the package's unit stays
#pragma once

enum class ServiceSetup { kInstall, kRemove };

// True when the install or remove command of the service name may go on. False in the
// packaged build, after printing to standard output that the package installs the
// service and the systemctl command to use instead.
bool ServiceSetupAllowed(const char* name, ServiceSetup command);

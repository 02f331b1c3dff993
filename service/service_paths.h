// Where a print service keeps its settings file and its log: beside its executable,
// named after it.
#pragma once
#include <cstddef>

// Fills settingsPath and logPath (each of size bytes, cut to size - 1 characters) from
// the executable's path.
//   Windows: the path in capitals, every ".EXE" replaced by ".INI" or ".LOG"
//            (C:\Services\Print.exe gives C:\SERVICES\PRINT.INI and C:\SERVICES\PRINT.LOG).
//   Linux:   file names are case-sensitive and programs carry no ".EXE", so ".INI" and
//            ".LOG" are appended to the path as it is (build/linux/service/Koldane.INI).
//   Linux, installed (TERVANE_FHS=ON): the executable's file name with ".INI" in the
//            settings folder and with ".LOG" in the log folder (/etc/tervane/Koldane.INI,
//            /var/log/tervane/Koldane.LOG).
void DeriveServicePaths(const char* executablePath, char* settingsPath, char* logPath,
                        std::size_t size);

// The three paths of a service: its executable and the two files named after it.
struct ServicePaths {
  static constexpr std::size_t kSize = 1024;
  char executable[kSize];
  char settings[kSize];
  char log[kSize];
};

#include <windows.h>

#include <cstdio>

#include "platform/temp_folder.h"

namespace platform {

std::string TemporaryFilesFolder() {
  char path[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof path, path);
  if (n == 0 || n >= sizeof path) return ".";
  while (n > 0 && (path[n - 1] == '\\' || path[n - 1] == '/')) --n;
  return std::string(path, n);
}

std::string MakeTemporaryFolder(const std::string& name) {
  // The user's temporary folder is private to the user; a folder made in it inherits
  // that. The suffix mixes the process id and a counter, and a taken name is skipped.
  static volatile LONG counter = 0;
  const std::string parent = TemporaryFilesFolder();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    const unsigned long mix =
        (GetCurrentProcessId() * 7919UL + static_cast<unsigned long>(InterlockedIncrement(&counter)) * 104729UL +
         GetTickCount()) & 0xFFFFFFUL;
    std::snprintf(suffix, sizeof suffix, "%06lx", mix);
    const std::string path = parent + "\\" + name + "-" + suffix;
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
  return std::string();
}

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

}  // namespace platform

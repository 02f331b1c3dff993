#include <windows.h>

#include "tests/support/driver_path.h"

namespace testsupport {

std::string DriverPath(const std::string& path) {
  // Wine exports its path converter from kernel32; Windows does not.
  using UnixName = char*(CDECL*)(const WCHAR*);
  auto convert = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return path;
  WCHAR wide[MAX_PATH * 2];
  if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2) == 0) return path;
  char* unix = convert(wide);
  if (!unix) return path;
  std::string out(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

}  // namespace testsupport
